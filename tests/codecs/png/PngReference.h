// Test oracle: writes and reads PNG files with the system's reference library, and
// helpers for building files and comparing pixels.
#pragma once

#include <png.h>
#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "codecs/png/PngImage.h"

namespace pngref {

// An image as PNG samples: rows of raw sample bytes in file order (16-bit samples
// big-endian, samples below 8 bits packed), without interlacing.
struct Image {
  uint32_t width = 0, height = 0;
  int colorType = 0, bitDepth = 8;
  bool interlaced = false;
  std::vector<png_color> palette;
  std::vector<uint8_t> trnsAlpha;  // palette images
  bool hasTrnsColor = false;
  png_color_16 trnsColor{};
  uint32_t gamma = 0;  // gAMA value, 0 when absent
  std::vector<std::vector<uint8_t>> rows;

  int Channels() const {
    switch (colorType) {
      case 0: case 3: return 1;
      case 2: return 3;
      case 4: return 2;
      default: return 4;
    }
  }
  size_t RowBytes() const { return (size_t(width) * Channels() * bitDepth + 7) / 8; }
  // Sample Channel of pixel X in row Y.
  uint32_t Sample(uint32_t X, uint32_t Y, int Channel) const {
    const auto& row = rows[Y];
    size_t index = size_t(X) * Channels() + Channel;
    if (bitDepth == 16) return uint32_t(row[2 * index]) << 8 | row[2 * index + 1];
    if (bitDepth == 8) return row[index];
    size_t bit = index * bitDepth;
    return (row[bit / 8] >> (8 - bitDepth - bit % 8)) & ((1u << bitDepth) - 1);
  }
  void SetSample(uint32_t X, uint32_t Y, int Channel, uint32_t V) {
    auto& row = rows[Y];
    size_t index = size_t(X) * Channels() + Channel;
    if (bitDepth == 16) {
      row[2 * index] = uint8_t(V >> 8);
      row[2 * index + 1] = uint8_t(V);
    } else if (bitDepth == 8) {
      row[index] = uint8_t(V);
    } else {
      size_t bit = index * bitDepth;
      int shift = int(8 - bitDepth - bit % 8);
      uint8_t mask = uint8_t(((1u << bitDepth) - 1) << shift);
      row[bit / 8] = uint8_t((row[bit / 8] & ~mask) | ((V << shift) & mask));
    }
  }
};

// Content of a test image: smooth gradients with noise, so every filter has work.
inline Image MakeImage(uint32_t W, uint32_t H, int ColorType, int BitDepth, unsigned Seed) {
  Image img;
  img.width = W;
  img.height = H;
  img.colorType = ColorType;
  img.bitDepth = BitDepth;
  img.rows.assign(H, std::vector<uint8_t>(img.RowBytes(), 0));
  std::mt19937 rng(Seed);
  uint32_t max = (1u << BitDepth) - 1;
  if (ColorType == 3) {
    int entries = 1 << BitDepth;
    for (int i = 0; i < entries; ++i)
      img.palette.push_back(png_color{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
  }
  for (uint32_t y = 0; y < H; ++y)
    for (uint32_t x = 0; x < W; ++x)
      for (int c = 0; c < img.Channels(); ++c) {
        uint32_t v;
        if (rng() % 4 == 0) v = rng() & max;
        else v = uint32_t((uint64_t(x * (c + 1) + y * 3) * max) / (W + H + 1)) & max;
        img.SetSample(x, y, c, v);
      }
  return img;
}

namespace detail {
inline void WriteToVector(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
inline void NoFlush(png_structp) {}
struct ReadState {
  const uint8_t* data;
  size_t size, pos;
};
inline void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
  auto* s = static_cast<ReadState*>(png_get_io_ptr(png));
  if (s->pos + length > s->size) png_error(png, "read past end");
  std::memcpy(out, s->data + s->pos, length);
  s->pos += length;
}
inline void ThrowError(png_structp, png_const_charp message) { throw std::runtime_error(message); }
inline void IgnoreWarning(png_structp, png_const_charp) {}
}  // namespace detail

// Writes Img with the reference library; Filters is a PNG_FILTER_* mask.
inline std::vector<uint8_t> Write(const Image& Img, int Filters = PNG_ALL_FILTERS, int Level = 6) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, detail::ThrowError,
                                            detail::IgnoreWarning);
  png_infop info = png_create_info_struct(png);
  try {
    png_set_write_fn(png, &out, detail::WriteToVector, detail::NoFlush);
    png_set_IHDR(png, info, Img.width, Img.height, Img.bitDepth, Img.colorType,
                 Img.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!Img.palette.empty())
      png_set_PLTE(png, info, Img.palette.data(), int(Img.palette.size()));
    if (!Img.trnsAlpha.empty() || Img.hasTrnsColor) {
      png_color_16 color = Img.trnsColor;
      png_set_tRNS(png, info, Img.trnsAlpha.empty() ? nullptr : Img.trnsAlpha.data(),
                   int(Img.trnsAlpha.size()), Img.hasTrnsColor ? &color : nullptr);
    }
    if (Img.gamma) png_set_gAMA_fixed(png, info, Img.gamma);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, Filters);
    png_set_compression_level(png, Level);
    png_write_info(png, info);
    std::vector<png_bytep> rows(Img.height);
    for (uint32_t y = 0; y < Img.height; ++y) rows[y] = const_cast<png_bytep>(Img.rows[y].data());
    png_write_image(png, rows.data());
    png_write_end(png, info);
  } catch (...) {
    png_destroy_write_struct(&png, &info);
    throw;
  }
  png_destroy_write_struct(&png, &info);
  return out;
}

// Reads a file with the reference library into raw samples (deinterlaced).
inline Image Read(const std::vector<uint8_t>& Bytes) {
  Image img;
  detail::ReadState state{Bytes.data(), Bytes.size(), 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, detail::ThrowError,
                                           detail::IgnoreWarning);
  png_infop info = png_create_info_struct(png);
  try {
    png_set_read_fn(png, &state, detail::ReadFromMemory);
    png_read_info(png, info);
    img.width = png_get_image_width(png, info);
    img.height = png_get_image_height(png, info);
    img.colorType = png_get_color_type(png, info);
    img.bitDepth = png_get_bit_depth(png, info);
    img.interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    png_colorp palette;
    int count;
    if (png_get_PLTE(png, info, &palette, &count)) img.palette.assign(palette, palette + count);
    png_bytep alpha;
    png_color_16p color;
    if (png_get_tRNS(png, info, &alpha, &count, &color)) {
      if (img.colorType == 3) img.trnsAlpha.assign(alpha, alpha + count);
      else {
        img.hasTrnsColor = true;
        img.trnsColor = *color;
      }
    }
    png_fixed_point gamma;
    if (png_get_gAMA_fixed(png, info, &gamma)) img.gamma = uint32_t(gamma);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    img.rows.assign(img.height, std::vector<uint8_t>(png_get_rowbytes(png, info)));
    std::vector<png_bytep> rows(img.height);
    for (uint32_t y = 0; y < img.height; ++y) rows[y] = img.rows[y].data();
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
  } catch (...) {
    png_destroy_read_struct(&png, &info, nullptr);
    throw;
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return img;
}

// The gamma table a gAMA value gives: level I is shown as
// round((I / 255) ^ (1 / (gamma / 100000 * 2.2)) * 255).
inline std::array<uint8_t, 256> GammaFor(uint32_t Gamma) {
  std::array<uint8_t, 256> t;
  for (int i = 0; i < 256; ++i) {
    double v = Gamma == 0 ? i : std::nearbyint(std::pow(i / 255.0, 1.0 / (Gamma / 100000.0 * 2.2)) * 255);
    t[i] = uint8_t(v);
  }
  return t;
}

// The colour pixel (X, Y) of Img is shown with, as RGB, and its alpha.
inline void Expected(const Image& Img, uint32_t X, uint32_t Y, COLORREF& Color, int& Alpha) {
  auto g = GammaFor(Img.gamma);
  auto level = [&](uint32_t s) -> uint8_t {
    if (Img.bitDepth == 16) return uint8_t(s >> 8);
    return uint8_t(s * 255 / ((1u << Img.bitDepth) - 1));
  };
  Alpha = -1;
  switch (Img.colorType) {
    case 0: {
      uint8_t v = g[level(Img.Sample(X, Y, 0))];
      Color = RGB(v, v, v);
      break;
    }
    case 2:
      Color = RGB(g[level(Img.Sample(X, Y, 0))], g[level(Img.Sample(X, Y, 1))],
                  g[level(Img.Sample(X, Y, 2))]);
      break;
    case 3: {
      const png_color& c = Img.palette.at(Img.Sample(X, Y, 0));
      Color = RGB(g[c.red], g[c.green], g[c.blue]);
      break;
    }
    case 4: {
      uint8_t v = g[level(Img.Sample(X, Y, 0))];
      Color = RGB(v, v, v);
      Alpha = level(Img.Sample(X, Y, 1));
      break;
    }
    case 6:
      Color = RGB(g[level(Img.Sample(X, Y, 0))], g[level(Img.Sample(X, Y, 1))],
                  g[level(Img.Sample(X, Y, 2))]);
      Alpha = level(Img.Sample(X, Y, 3));
      break;
  }
}

// Bytes of a PNG file built chunk by chunk, for malformed inputs.
class FileBuilder {
 public:
  FileBuilder() { bytes_ = {137, 80, 78, 71, 13, 10, 26, 10}; }
  FileBuilder& Chunk(const char* Name, const std::vector<uint8_t>& Data, bool GoodCrc = true) {
    return RawChunk(uint32_t(Data.size()), Name, Data, GoodCrc);
  }
  FileBuilder& RawChunk(uint32_t Length, const char* Name, const std::vector<uint8_t>& Data,
                        bool GoodCrc = true) {
    Put32(Length);
    bytes_.insert(bytes_.end(), Name, Name + 4);
    bytes_.insert(bytes_.end(), Data.begin(), Data.end());
    uint32_t crc = uint32_t(::crc32(0, reinterpret_cast<const Bytef*>(Name), 4));
    if (!Data.empty()) crc = uint32_t(::crc32(crc, Data.data(), uInt(Data.size())));
    Put32(GoodCrc ? crc : crc ^ 1);
    return *this;
  }
  static std::vector<uint8_t> Ihdr(uint32_t W, uint32_t H, int Depth, int Type, int Interlace = 0,
                                   int Compression = 0, int Filter = 0) {
    std::vector<uint8_t> d;
    for (uint32_t v : {W, H})
      for (int s = 24; s >= 0; s -= 8) d.push_back(uint8_t(v >> s));
    d.insert(d.end(), {uint8_t(Depth), uint8_t(Type), uint8_t(Compression), uint8_t(Filter),
                       uint8_t(Interlace)});
    return d;
  }
  // A zlib stream of the given raw (filtered) image bytes.
  static std::vector<uint8_t> Deflate(const std::vector<uint8_t>& Raw) {
    std::vector<uint8_t> out(compressBound(uLong(Raw.size())));
    uLongf size = uLongf(out.size());
    compress2(out.data(), &size, Raw.data(), uLong(Raw.size()), 9);
    out.resize(size);
    return out;
  }
  std::vector<uint8_t>& Bytes() { return bytes_; }

 private:
  void Put32(uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) bytes_.push_back(uint8_t(v >> s));
  }
  std::vector<uint8_t> bytes_;
};

}  // namespace pngref
