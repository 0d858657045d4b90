// PNG decode and encode of large photo-like images against the reference library,
// in the same run; prints times and ratios (ours / reference).
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include "codecs/png/PngImage.h"

namespace {

struct Picture {
  uint32_t width, height;
  int channels;  // 3 RGB, 4 RGBA
  std::vector<uint8_t> pixels;  // rows of R, G, B[, A], top-down
};

// Smooth shapes, soft edges and a little sensor noise, the same on every run.
Picture MakePhoto(uint32_t W, uint32_t H, int Channels) {
  Picture p{W, H, Channels, std::vector<uint8_t>(size_t(W) * H * Channels)};
  uint32_t seed = 12345;
  auto noise = [&] {
    seed = seed * 1664525u + 1013904223u;
    return int(seed >> 29) - 4;
  };
  for (uint32_t y = 0; y < H; ++y) {
    uint8_t* row = p.pixels.data() + size_t(y) * W * Channels;
    for (uint32_t x = 0; x < W; ++x) {
      double fx = x / double(W), fy = y / double(H);
      double base[4] = {
          128 + 90 * std::sin(fx * 7.1 + fy * 2.3) + 30 * std::cos(fy * 13.0),
          128 + 80 * std::sin(fy * 5.3 - fx * 3.7) + 25 * std::sin(fx * 17.0 + fy * 11.0),
          128 + 70 * std::cos(fx * 4.2 + fy * 6.1) + 40 * ((int(x / 512 + y / 384) & 1) ? 1 : -1),
          200 + 55 * std::sin(fx * 3.0) * std::cos(fy * 2.0)};
      for (int c = 0; c < Channels; ++c)
        row[x * Channels + c] = uint8_t(std::clamp(int(base[c]) + (c < 3 ? noise() : 0), 0, 255));
    }
  }
  return p;
}

void ThrowError(png_structp, png_const_charp message) { throw std::runtime_error(message); }

std::vector<uint8_t> ReferenceEncode(const Picture& P) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, ThrowError, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp s, png_bytep d, png_size_t n) {
        auto* o = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(s));
        o->insert(o->end(), d, d + n);
      },
      [](png_structp) {});
  png_set_IHDR(png, info, P.width, P.height, 8, P.channels == 4 ? 6 : 2, 0, 0, 0);
  png_write_info(png, info);
  for (uint32_t y = 0; y < P.height; ++y)
    png_write_row(png, P.pixels.data() + size_t(y) * P.width * P.channels);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// Decodes into blue, green, red[, alpha] rows, the nearest to what our bitmap
// holds: into a new image (as a loader makes one), or into Reuse when given.
void ReferenceDecode(const std::vector<uint8_t>& File, std::vector<uint8_t>* Reuse = nullptr) {
  struct Source {
    const uint8_t* p;
    size_t left;
  } src{File.data(), File.size()};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, ThrowError, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_read_fn(png, &src, [](png_structp s, png_bytep d, png_size_t n) {
    auto* in = static_cast<Source*>(png_get_io_ptr(s));
    if (n > in->left) png_error(s, "short");
    std::memcpy(d, in->p, n);
    in->p += n;
    in->left -= n;
  });
  png_read_info(png, info);
  png_set_bgr(png);
  png_read_update_info(png, info);
  uint32_t h = png_get_image_height(png, info);
  size_t rowBytes = png_get_rowbytes(png, info);
  std::unique_ptr<uint8_t[]> fresh;
  uint8_t* out;
  if (Reuse) {
    Reuse->resize(rowBytes * h);
    out = Reuse->data();
  } else {
    fresh.reset(new uint8_t[rowBytes * h]);
    out = fresh.get();
  }
  for (uint32_t y = 0; y < h; ++y) png_read_row(png, out + (h - 1 - y) * rowBytes, nullptr);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
}

double BestSeconds(int Runs, const std::function<void()>& F) {
  double best = 1e9;
  for (int i = 0; i < Runs; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    F();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}

bool g_decode = true, g_encode = true;

void Run(const char* Name, const Picture& P) {
  const int runs = 2;
  std::vector<uint8_t> reference = ReferenceEncode(P);

  // Decode the reference library's file with both.
  double refDecode = !g_decode ? 0 : BestSeconds(runs, [&] { ReferenceDecode(reference); });
  std::vector<uint8_t> warm;
  double refDecodeWarm = !g_decode ? 0 : BestSeconds(runs, [&] { ReferenceDecode(reference, &warm); });
  TPNGObject png;
  double ourDecode = !g_decode ? 0 : BestSeconds(runs, [&] {
    TMemoryStream stream;
    stream.Write(reference.data(), int64_t(reference.size()));
    stream.SetPosition(0);
    png.LoadFromStream(&stream);
  });

  // Encode the same pixels with both, each at its default settings.
  std::vector<uint8_t> refFile;
  if (!g_decode) {
    TMemoryStream stream;
    stream.Write(reference.data(), int64_t(reference.size()));
    stream.SetPosition(0);
    png.LoadFromStream(&stream);
  }
  double refEncode = !g_encode ? 0 : BestSeconds(runs, [&] { refFile = ReferenceEncode(P); });
  size_t ourSize = 0;
  double ourEncode = !g_encode ? 0 : BestSeconds(runs, [&] {
    TMemoryStream stream;
    png.SaveToStream(&stream);
    ourSize = size_t(stream.Position());
  });

  std::printf("%s %ux%u\n", Name, P.width, P.height);
  if (g_decode) {
    std::printf("  decode: ours %.1f ms, reference %.1f ms, ratio %.2f (goal <= 1.20)\n",
                ourDecode * 1e3, refDecode * 1e3, ourDecode / refDecode);
    std::printf("  decode: reference into an already used buffer %.1f ms, ratio %.2f\n",
                refDecodeWarm * 1e3, ourDecode / refDecodeWarm);
  }
  if (g_encode)
    std::printf("  encode: ours %.1f ms (%zu bytes), reference %.1f ms (%zu bytes), ratio %.2f (goal <= 1.50)\n",
              ourEncode * 1e3, ourSize, refEncode * 1e3, refFile.size(), ourEncode / refEncode);
}

}  // namespace

// Arguments: "decode" or "encode" to run only that half.
int main(int argc, char** argv) {
  if (argc > 1) {
    g_decode = std::strcmp(argv[1], "decode") == 0;
    g_encode = std::strcmp(argv[1], "encode") == 0;
  }
  Run("RGB", MakePhoto(4096, 4096, 3));
  Run("RGBA", MakePhoto(4096, 4096, 4));
  return 0;
}
