// Pictures through memory streams, warnings captured, generated indices and images,
// and the ImageMagick tools for tests that use them.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "codecs/gif/GifExtensions.h"
#include "tests/codecs/gif/GifReference.h"

namespace giftest {

using gifref::Bytes;

// The picture class with its warnings kept.
class TestImage : public TGIFImage {
 public:
  TestImage() {
    OnGIFWarning = TGIFWarning::FromFunction(
        [this](TObject*, TGIFSeverity, const std::string& Message) { Warnings.push_back(Message); });
  }
  std::vector<std::string> Warnings;
};

inline TMemoryStream StreamOf(const Bytes& In) {
  TMemoryStream s;
  if (!In.empty()) s.Write(In.data(), int64_t(In.size()));
  s.SetPosition(0);
  return s;
}

inline Bytes BytesOf(TMemoryStream& S) {
  const auto* p = static_cast<const uint8_t*>(S.Memory());
  return Bytes(p, p + S.Size());
}

inline std::unique_ptr<TestImage> Load(const Bytes& In) {
  auto image = std::make_unique<TestImage>();
  TMemoryStream s = StreamOf(In);
  image->LoadFromStream(&s);
  return image;
}

inline Bytes Save(TGIFImage& Image) {
  TMemoryStream s;
  Image.SaveToStream(&s);
  return BytesOf(s);
}

// The message of the GIFException that F raises, or "" when it raises none.
template <class F>
std::string ErrorOf(F&& Fn) {
  try {
    Fn();
  } catch (const GIFException& e) {
    return e.Message();
  }
  return "";
}

// Indices below Colors: runs of random length and stretches of noise, so that
// strings of every length and table growth both occur.
inline Bytes Indices(int Count, int Colors, uint32_t Seed, int NoisePercent = 50) {
  std::mt19937 rng(Seed);
  Bytes out;
  out.reserve(size_t(Count));
  while (int(out.size()) < Count) {
    const int n = 1 + int(rng() % 40);
    const bool noise = int(rng() % 100) < NoisePercent;
    const uint8_t c = uint8_t(rng() % uint32_t(Colors));
    for (int i = 0; i < n && int(out.size()) < Count; ++i) out.push_back(noise ? uint8_t(rng() % uint32_t(Colors)) : c);
  }
  return out;
}

inline std::vector<GifColorType> Greys(int Count) {
  std::vector<GifColorType> c;
  for (int i = 0; i < Count; ++i) {
    const auto v = GifByteType(Count > 1 ? i * 255 / (Count - 1) : 0);
    c.push_back({v, GifByteType(255 - v), v});
  }
  return c;
}

// A one-frame file of the reference library with a global table of 2^Bits colours.
inline gifref::File OneFrame(int Width, int Height, int Bits, const Bytes& Pixels, bool Interlaced = false) {
  gifref::File f;
  f.width = Width;
  f.height = Height;
  f.colorResolution = Bits;
  f.colors = Greys(1 << Bits);
  gifref::Frame fr;
  fr.width = Width;
  fr.height = Height;
  fr.interlaced = Interlaced;
  fr.pixels = Pixels;
  f.frames.push_back(fr);
  return f;
}

// ---- Files compared field by field ----

inline bool SameColors(const std::vector<GifColorType>& A, const std::vector<GifColorType>& B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](const GifColorType& x, const GifColorType& y) {
           return x.Red == y.Red && x.Green == y.Green && x.Blue == y.Blue;
         });
}

inline bool SameExtensions(const std::vector<gifref::Extension>& A, const std::vector<gifref::Extension>& B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](const auto& x, const auto& y) {
           return x.function == y.function && x.blocks == y.blocks;
         });
}

// Everything but the colour resolution, which a writer recomputes from its tables.
inline testing::AssertionResult Same(const gifref::File& A, const gifref::File& B) {
  if (A.width != B.width || A.height != B.height) return testing::AssertionFailure() << "screen size";
  if (A.background != B.background || A.aspect != B.aspect) return testing::AssertionFailure() << "background or aspect";
  if (!SameColors(A.colors, B.colors)) return testing::AssertionFailure() << "global colours";
  if (A.frames.size() != B.frames.size()) return testing::AssertionFailure() << "frame count";
  for (size_t i = 0; i < A.frames.size(); ++i) {
    const gifref::Frame &a = A.frames[i], &b = B.frames[i];
    if (a.left != b.left || a.top != b.top || a.width != b.width || a.height != b.height || a.interlaced != b.interlaced)
      return testing::AssertionFailure() << "descriptor of frame " << i;
    if (!SameColors(a.colors, b.colors)) return testing::AssertionFailure() << "local colours of frame " << i;
    if (a.pixels != b.pixels) return testing::AssertionFailure() << "pixels of frame " << i;
    if (!SameExtensions(a.extensions, b.extensions)) return testing::AssertionFailure() << "extensions of frame " << i;
  }
  if (!SameExtensions(A.trailing, B.trailing)) return testing::AssertionFailure() << "trailing extensions";
  return testing::AssertionSuccess();
}

// ---- ImageMagick ----

// The ImageMagick converter, or "" when it is not installed.
inline std::string Convert() {
  for (const char* p : {"/usr/bin/convert-im6.q16", "/usr/bin/convert"})
    if (std::filesystem::exists(p)) return p;
  return "";
}

// A temporary folder of the test's own, removed with the object.
class TempDir {
 public:
  TempDir() {
    std::string t = (std::filesystem::temp_directory_path() / "vxgifXXXXXX").string();
    if (!mkdtemp(t.data())) throw std::runtime_error("mkdtemp");
    path_ = t;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string operator/(const std::string& Name) const { return (path_ / Name).string(); }

 private:
  std::filesystem::path path_;
};

inline int Shell(const std::string& Command) { return std::system(Command.c_str()); }

inline Bytes ReadFile(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

inline void WriteFile(const std::string& Path, const Bytes& Data) {
  std::ofstream f(Path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(Data.data()), std::streamsize(Data.size()));
}

// A 24-bit bitmap from rows of R, G, B.
inline std::unique_ptr<TBitmap> Bitmap24(int Width, int Height, const Bytes& Rgb) {
  auto bmp = std::make_unique<TBitmap>();
  bmp->SetPixelFormat(pf24bit);
  bmp->SetSize(Width, Height);
  for (int y = 0; y < Height; ++y) {
    auto* row = static_cast<uint8_t*>(bmp->ScanLine(y));
    for (int x = 0; x < Width; ++x) {
      const uint8_t* p = &Rgb[(size_t(y) * size_t(Width) + size_t(x)) * 3];
      row[3 * x] = p[2];
      row[3 * x + 1] = p[1];
      row[3 * x + 2] = p[0];
    }
  }
  return bmp;
}

// A smooth photo-like picture (rows of R, G, B), the same on every run.
inline Bytes Plasma(int Width, int Height, uint32_t Seed = 7) {
  std::mt19937 rng(Seed);
  std::uniform_real_distribution<double> phase(0, 6.28);
  double ph[6];
  for (double& p : ph) p = phase(rng);
  Bytes out(size_t(Width) * size_t(Height) * 3);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      const double fx = x / double(Width), fy = y / double(Height);
      const double v[3] = {128 + 100 * std::sin(fx * 6.1 + ph[0]) * std::cos(fy * 4.3 + ph[1]),
                           128 + 100 * std::sin(fy * 7.7 + ph[2] + fx * 2.0), 128 + 100 * std::cos(fx * 3.1 + fy * 5.2 + ph[4])};
      for (int c = 0; c < 3; ++c) {
        const int n = int(rng() % 9) - 4;
        out[(size_t(y) * size_t(Width) + size_t(x)) * 3 + size_t(c)] = uint8_t(std::clamp(int(v[c]) + n, 0, 255));
      }
    }
  return out;
}

}  // namespace giftest
