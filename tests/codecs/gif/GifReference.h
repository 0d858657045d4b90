// Test oracle: reads and writes GIF files in memory with the system's reference
// library, and builds image data streams by hand (any sub-block size, clear codes
// deferred or left out, codes written as given).
#pragma once

#include <gif_lib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace gifref {

using Bytes = std::vector<uint8_t>;

// An extension: its function code and data sub-blocks.
struct Extension {
  int function = 0;
  std::vector<Bytes> blocks;
};

struct Frame {
  int left = 0, top = 0, width = 0, height = 0;
  bool interlaced = false;
  std::vector<GifColorType> colors;  // local table; empty for none
  Bytes pixels;                      // rows top to bottom
  std::vector<Extension> extensions;
};

struct File {
  int width = 0, height = 0, colorResolution = 8, background = 0, aspect = 0;
  std::vector<GifColorType> colors;  // global table; empty for none
  bool sorted = false;
  std::vector<Frame> frames;
  std::vector<Extension> trailing;  // after the last frame
};

namespace detail {
inline std::vector<Extension> Group(int count, const ExtensionBlock* blocks) {
  std::vector<Extension> out;
  for (int i = 0; i < count; ++i) {
    const ExtensionBlock& b = blocks[i];
    if (b.Function != CONTINUE_EXT_FUNC_CODE || out.empty()) out.push_back({b.Function, {}});
    out.back().blocks.emplace_back(b.Bytes, b.Bytes + b.ByteCount);
  }
  return out;
}
inline std::vector<GifColorType> Colors(const ColorMapObject* m) {
  if (!m) return {};
  return std::vector<GifColorType>(m->Colors, m->Colors + m->ColorCount);
}
inline ColorMapObject* MakeMap(std::vector<GifColorType> c) {
  if (c.empty()) return nullptr;
  size_t n = 2;
  while (n < c.size()) n *= 2;
  c.resize(n, GifColorType{0, 0, 0});
  return GifMakeMapObject(int(n), c.data());
}
}  // namespace detail

// The reference library over memory: a reader of In (which must outlive it) and a
// writer appending to Out.
struct MemoryReader {
  const Bytes* in;
  size_t at = 0;
};
inline GifFileType* OpenReader(MemoryReader& Reader, int* Error) {
  return DGifOpen(
      &Reader,
      [](GifFileType* g, GifByteType* buf, int n) {
        auto* r = static_cast<MemoryReader*>(g->UserData);
        const int k = int(std::min<size_t>(size_t(n), r->in->size() - r->at));
        std::memcpy(buf, r->in->data() + r->at, size_t(k));
        r->at += size_t(k);
        return k;
      },
      Error);
}
inline GifFileType* OpenWriter(Bytes& Out, int* Error) {
  return EGifOpen(
      &Out,
      [](GifFileType* g, const GifByteType* buf, int n) {
        auto* o = static_cast<Bytes*>(g->UserData);
        o->insert(o->end(), buf, buf + n);
        return n;
      },
      Error);
}

// Decodes a whole file; throws with giflib's error code on failure.
inline File Decode(const Bytes& In) {
  MemoryReader reader{&In};
  int error = 0;
  GifFileType* gif = OpenReader(reader, &error);
  if (!gif) throw std::runtime_error("giflib open failed: " + std::to_string(error));
  if (DGifSlurp(gif) != GIF_OK) {
    const int e = gif->Error;
    DGifCloseFile(gif, &error);
    throw std::runtime_error("giflib read failed: " + std::to_string(e));
  }
  File f;
  f.width = gif->SWidth;
  f.height = gif->SHeight;
  f.colorResolution = gif->SColorResolution;
  f.background = gif->SBackGroundColor;
  f.aspect = gif->AspectByte;
  f.colors = detail::Colors(gif->SColorMap);
  f.sorted = gif->SColorMap && gif->SColorMap->SortFlag;
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& s = gif->SavedImages[i];
    Frame fr;
    fr.left = s.ImageDesc.Left;
    fr.top = s.ImageDesc.Top;
    fr.width = s.ImageDesc.Width;
    fr.height = s.ImageDesc.Height;
    fr.interlaced = s.ImageDesc.Interlace;
    fr.colors = detail::Colors(s.ImageDesc.ColorMap);
    fr.pixels.assign(s.RasterBits, s.RasterBits + size_t(fr.width) * size_t(fr.height));
    fr.extensions = detail::Group(s.ExtensionBlockCount, s.ExtensionBlocks);
    f.frames.push_back(std::move(fr));
  }
  f.trailing = detail::Group(gif->ExtensionBlockCount, gif->ExtensionBlocks);
  DGifCloseFile(gif, &error);
  return f;
}

// Encodes a file (tables padded to powers of two).
inline Bytes Encode(const File& F) {
  Bytes out;
  int error = 0;
  GifFileType* gif = OpenWriter(out, &error);
  if (!gif) throw std::runtime_error("giflib open failed");
  bool gif89 = F.aspect != 0 || F.sorted || !F.trailing.empty();
  for (const Frame& fr : F.frames) gif89 = gif89 || !fr.extensions.empty();
  EGifSetGifVersion(gif, gif89);
  auto check = [&](int result) {
    if (result != GIF_OK) {
      const int e = gif->Error;
      EGifCloseFile(gif, &error);
      throw std::runtime_error("giflib write failed: " + std::to_string(e));
    }
  };
  auto extensions = [&](const std::vector<Extension>& List) {
    for (const Extension& e : List) {
      check(EGifPutExtensionLeader(gif, e.function));
      for (const Bytes& b : e.blocks) check(EGifPutExtensionBlock(gif, int(b.size()), b.data()));
      check(EGifPutExtensionTrailer(gif));
    }
  };
  gif->AspectByte = GifByteType(F.aspect);
  ColorMapObject* global = detail::MakeMap(F.colors);
  if (global) global->SortFlag = F.sorted;
  const int screen = EGifPutScreenDesc(gif, F.width, F.height, F.colorResolution, F.background, global);
  GifFreeMapObject(global);
  check(screen);
  for (const Frame& fr : F.frames) {
    extensions(fr.extensions);
    ColorMapObject* local = detail::MakeMap(fr.colors);
    const int desc = EGifPutImageDesc(gif, fr.left, fr.top, fr.width, fr.height, fr.interlaced, local);
    GifFreeMapObject(local);
    check(desc);
    std::vector<int> rows;
    if (fr.interlaced) {
      for (int pass = 0; pass < 4; ++pass)
        for (int y = (int[]){0, 4, 2, 1}[pass]; y < fr.height; y += (int[]){8, 8, 4, 2}[pass]) rows.push_back(y);
    } else {
      for (int y = 0; y < fr.height; ++y) rows.push_back(y);
    }
    for (int y : rows)
      check(EGifPutLine(gif, const_cast<GifPixelType*>(fr.pixels.data()) + size_t(y) * size_t(fr.width), fr.width));
    // The library keeps a copy of the local table that nothing else frees.
    GifFreeMapObject(gif->Image.ColorMap);
    gif->Image.ColorMap = nullptr;
  }
  extensions(F.trailing);
  if (EGifCloseFile(gif, &error) != GIF_OK) throw std::runtime_error("giflib close failed");
  return out;
}

// The image data of the first frame of a file (code size byte through terminator).
inline Bytes FirstImageData(const Bytes& In) {
  size_t at = 13;
  if (In[10] & 0x80) at += 3u << ((In[10] & 7) + 1);
  while (In[at] == '!') {
    at += 2;
    while (In[at]) at += In[at] + 1u;
    ++at;
  }
  const uint8_t packed = In[at + 9];
  at += 10;
  if (packed & 0x80) at += 3u << ((packed & 7) + 1);
  const size_t start = at++;
  while (In[at]) at += In[at] + 1u;
  return Bytes(In.begin() + long(start), In.begin() + long(at) + 1);
}

// Packs codes least significant bit first, each at its own width.
class CodeWriter {
 public:
  void Put(int Code, int Width) {
    bucket_ |= uint64_t(Code) << bits_;
    bits_ += Width;
    while (bits_ >= 8) {
      bytes_.push_back(uint8_t(bucket_));
      bucket_ >>= 8;
      bits_ -= 8;
    }
  }
  // The packed bytes (a partial last byte included), as an image data stream: the
  // code size byte, sub-blocks of BlockSize bytes and, unless left out, the
  // terminator.
  Bytes Stream(int CodeSize, int BlockSize = 255, bool Terminator = true) const {
    Bytes data = bytes_;
    if (bits_ > 0) data.push_back(uint8_t(bucket_));
    Bytes out{uint8_t(CodeSize)};
    for (size_t i = 0; i < data.size(); i += size_t(BlockSize)) {
      const size_t n = std::min(size_t(BlockSize), data.size() - i);
      out.push_back(uint8_t(n));
      out.insert(out.end(), data.begin() + long(i), data.begin() + long(i + n));
    }
    if (Terminator) out.push_back(0);
    return out;
  }

 private:
  Bytes bytes_;
  uint64_t bucket_ = 0;
  int bits_ = 0;
};

// A plain LZW encoder of its own. With DeferClear the table, once full, stays as it
// is and no clear code follows (decoders must go on with 12-bit codes).
inline Bytes LZWStream(const Bytes& Pixels, int CodeSize, int BlockSize, bool DeferClear) {
  const int clear = 1 << CodeSize, eoi = clear + 1;
  CodeWriter w;
  int width = CodeSize + 1, next = clear + 2;
  std::map<uint32_t, int> table;
  w.Put(clear, width);
  int prefix = -1;
  for (uint8_t p : Pixels) {
    if (prefix < 0) {
      prefix = p;
      continue;
    }
    const uint32_t key = uint32_t(prefix) << 8 | p;
    auto it = table.find(key);
    if (it != table.end()) {
      prefix = it->second;
      continue;
    }
    w.Put(prefix, width);
    if (next < 4096) {
      table[key] = next++;
      if (next > (1 << width) && width < 12) ++width;
    } else if (!DeferClear) {
      w.Put(clear, width);
      table.clear();
      width = CodeSize + 1;
      next = clear + 2;
    }
    prefix = p;
  }
  if (prefix >= 0) w.Put(prefix, width);
  w.Put(eoi, width);
  return w.Stream(CodeSize, BlockSize);
}

// Frames the image data of one frame as a whole file: a global table of
// 2^CodeSize greys, the descriptor and the data (any bytes given).
inline Bytes WrapImageData(int Width, int Height, int Bits, const Bytes& ImageData, bool Interlaced = false) {
  Bytes f{'G', 'I', 'F', '8', '9', 'a', uint8_t(Width), uint8_t(Width >> 8), uint8_t(Height), uint8_t(Height >> 8),
          uint8_t(0x80 | (Bits - 1) << 4 | (Bits - 1)), 0, 0};
  for (int i = 0; i < (1 << Bits); ++i) {
    const uint8_t v = uint8_t(i * 255 / ((1 << Bits) - 1));
    f.insert(f.end(), {v, v, v});
  }
  f.insert(f.end(), {',', 0, 0, 0, 0, uint8_t(Width), uint8_t(Width >> 8), uint8_t(Height), uint8_t(Height >> 8),
                     uint8_t(Interlaced ? 0x40 : 0)});
  f.insert(f.end(), ImageData.begin(), ImageData.end());
  f.push_back(';');
  return f;
}

}  // namespace gifref
