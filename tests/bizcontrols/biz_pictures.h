// Pictures for the business control tests: pixels written as a PPM file, made into a
// PNG or GIF file by an independent encoder (ImageMagick) and read back by its decoder,
// so that what a control shows can be set against the pixels the file really holds.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "codecs/gif/GifImage.h"
#include "codecs/png/PngImage.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/graphics.h"
#include "tests/support/TempFolder.h"
#include "tests/support/headless_gui.h"
#include "tests/support/run_program.h"
#include "tests/support/script_file.h"

namespace biztest {

// RGB pixels, row by row from the top.
struct TPixels {
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;

  TPixels() = default;
  TPixels(int W, int H) : w(W), h(H), rgb(size_t(W) * size_t(H) * 3) {}
  uint8_t* At(int X, int Y) { return &rgb[(size_t(Y) * size_t(w) + size_t(X)) * 3]; }
  const uint8_t* At(int X, int Y) const { return &rgb[(size_t(Y) * size_t(w) + size_t(X)) * 3]; }
  void Set(int X, int Y, uint8_t R, uint8_t G, uint8_t B) {
    uint8_t* p = At(X, Y);
    p[0] = R;
    p[1] = G;
    p[2] = B;
  }
  // As a colour value 0x00BBGGRR.
  int32_t Color(int X, int Y) const {
    const uint8_t* p = At(X, Y);
    return int32_t(p[0] | p[1] << 8 | p[2] << 16);
  }
};

inline void WritePpm(const std::string& Path, const TPixels& P) {
  std::string bytes = "P6\n" + std::to_string(P.w) + " " + std::to_string(P.h) + "\n255\n";
  bytes.append(reinterpret_cast<const char*>(P.rgb.data()), P.rgb.size());
  WriteFileBytes(Path, bytes);
}

inline TPixels ReadPpm(const std::string& Path) {
  const std::string bytes = ReadFileBytes(Path);
  int w = 0, h = 0, max = 0, used = 0;
  if (std::sscanf(bytes.c_str(), "P6 %d %d %d%n", &w, &h, &max, &used) != 3 || max != 255) return {};
  TPixels p(w, h);
  if (bytes.size() < size_t(used) + 1 + p.rgb.size()) return {};
  std::copy(bytes.begin() + used + 1, bytes.begin() + used + 1 + long(p.rgb.size()), p.rgb.begin());
  return p;
}

inline bool Convert(const std::vector<std::string>& Args) {
  std::vector<std::string> argv{"convert"};
  argv.insert(argv.end(), Args.begin(), Args.end());
  const auto r = vxtest::RunProgram(argv);
  return r.exited && r.exitCode == 0;
}

// Writes the pixels as File (its format by its extension) with ImageMagick, and answers
// the pixels ImageMagick reads back from it.
inline TPixels Encode(const TPixels& P, const std::string& File) {
  const std::string raw = File + ".in.ppm", back = File + ".out.ppm";
  WritePpm(raw, P);
  if (!Convert({raw, File}) || !Convert({File, "-depth", "8", back})) {
    ADD_FAILURE() << "ImageMagick could not make " << File;
    return {};
  }
  return ReadPpm(back);
}

// The pixels of a 24-bit bitmap.
inline TPixels PixelsOf(TBitmap* B) {
  B->SetPixelFormat(pf24bit);
  TPixels p(B->Width(), B->Height());
  for (int y = 0; y < p.h; ++y) {
    const auto* row = static_cast<const uint8_t*>(B->ScanLine(y));
    for (int x = 0; x < p.w; ++x) p.Set(x, y, row[3 * x + 2], row[3 * x + 1], row[3 * x]);
  }
  return p;
}

// A bitmap of the pixels.
inline void ToBitmap(const TPixels& P, TBitmap* B) {
  B->SetPixelFormat(pf24bit);
  B->SetSize(P.w, P.h);
  for (int y = 0; y < P.h; ++y) {
    auto* row = static_cast<uint8_t*>(B->ScanLine(y));
    for (int x = 0; x < P.w; ++x) {
      const uint8_t* s = P.At(x, y);
      row[3 * x] = s[2];
      row[3 * x + 1] = s[1];
      row[3 * x + 2] = s[0];
    }
  }
}

// A picture of one colour with its bottom-left pixel, the key colour of transparent
// drawing, set apart in magenta.
inline void Solid(TPicture* Picture, int W, int H, int32_t Rgb) {
  TPixels p(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) p.Set(x, y, uint8_t(Rgb), uint8_t(Rgb >> 8), uint8_t(Rgb >> 16));
  p.Set(0, H - 1, 255, 0, 255);
  TBitmap b;
  ToBitmap(p, &b);
  Picture->Assign(&b);
}

// The picture codecs registered for a test's life, as the package's Initialize does.
class TCodecs {
 public:
  TCodecs() {
    GIFImageInitialize();
    PngImageInitialize();
  }
  ~TCodecs() {
    PngImageFinalize();
    GIFImageFinalize();
  }
  TCodecs(const TCodecs&) = delete;
  TCodecs& operator=(const TCodecs&) = delete;
};

// True when a picture class is registered for the extension.
inline bool FormatRegistered(const std::string& Ext) {
  return GraphicFileMask(TGraphic::StaticClass()).find("*." + Ext) != std::string::npos;
}

// The box of a colour's pixels in a control's area of its painted form (right and
// bottom inclusive); left -1 when there are none.
inline TRect Ink(TCustomForm* Form, TControl* C, int32_t Rgb) {
  TRect r{-1, -1, -1, -1};
  const TPoint at = C->ClientToParent(TPoint{0, 0}, Form);
  for (int y = 0; y < C->Height(); ++y)
    for (int x = 0; x < C->Width(); ++x)
      if (int32_t(THeadlessGui::Pixel(Form, at.x + x, at.y + y)) == Rgb) {
        if (r.left < 0 || x < r.left) r.left = x;
        if (r.top < 0) r.top = y;
        r.right = std::max<int>(r.right, x);
        r.bottom = y;
      }
  return r;
}

}  // namespace biztest
