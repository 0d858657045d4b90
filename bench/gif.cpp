// GIF image data coding against the reference library, and octree colour reduction
// against ImageMagick, in the same run; prints times and ratios (ours / reference)
// and, for the reduction, the PSNR of both results against the source.
#include <gif_lib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/timing.h"
#include "codecs/gif/GifImage.h"
#include "tests/codecs/gif/GifReference.h"

namespace {

using gifref::Bytes;

// The picture class without drawing, which these runs do not need.
class Image : public TGIFImage {
 protected:
  void Draw(TCanvas*, const TRect&) override {}
  void LoadFromClipboardFormat(uint16_t, HANDLE, HPALETTE) override {}
  void SaveToClipboardFormat(uint16_t&, HANDLE&, HPALETTE&) override {}
};

// Smooth colour fields with soft edges and a little sensor noise (rows of R, G, B).
Bytes Photo(int W, int H) {
  Bytes p(size_t(W) * size_t(H) * 3);
  uint32_t seed = 12345;
  auto noise = [&] {
    seed = seed * 1664525u + 1013904223u;
    return int(seed >> 29) - 4;
  };
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const double fx = x / double(W), fy = y / double(H);
      const double c[3] = {128 + 90 * std::sin(fx * 7.1 + fy * 2.3) + 30 * std::cos(fy * 13.0),
                           128 + 80 * std::sin(fy * 5.3 - fx * 3.7) + 25 * std::sin(fx * 17.0 + fy * 11.0),
                           128 + 70 * std::cos(fx * 4.2 + fy * 6.1) + 40 * ((int(x / 512 + y / 384) & 1) ? 1 : -1)};
      for (int k = 0; k < 3; ++k)
        p[(size_t(y) * size_t(W) + size_t(x)) * 3 + size_t(k)] = uint8_t(std::clamp(int(c[k]) + noise(), 0, 255));
    }
  return p;
}

// 256-colour indices of a photo-like picture: a smooth field, lightly dithered.
Bytes PhotoIndices(int W, int H) {
  Bytes p(size_t(W) * size_t(H));
  std::mt19937 rng(1);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const double fx = x / double(W), fy = y / double(H);
      const double v = 128 + 60 * std::sin(fx * 9.3 + fy * 3.1) + 50 * std::cos(fy * 11.0 - fx * 2.0) +
                       15 * std::sin((fx + fy) * 40.0);
      p[size_t(y) * size_t(W) + size_t(x)] = uint8_t(std::clamp(int(v) + int(rng() % 5) - 2, 0, 255));
    }
  return p;
}

Bytes NoiseIndices(int W, int H) {
  Bytes p(size_t(W) * size_t(H));
  std::mt19937 rng(2);
  for (auto& v : p) v = uint8_t(rng());
  return p;
}

// ---- Reference library ----

Bytes ReferenceEncode(int W, int H, const Bytes& Pixels, bool Interlaced) {
  Bytes out;
  int error = 0;
  GifFileType* gif = gifref::OpenWriter(out, &error);
  GifColorType colors[256];
  for (int i = 0; i < 256; ++i) colors[i] = {GifByteType(i), GifByteType(255 - i), GifByteType(i / 2)};
  ColorMapObject* map = GifMakeMapObject(256, colors);
  EGifPutScreenDesc(gif, W, H, 8, 0, map);
  EGifPutImageDesc(gif, 0, 0, W, H, Interlaced, nullptr);
  GifFreeMapObject(map);
  if (Interlaced) {
    static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (int y = start[pass]; y < H; y += step[pass])
        EGifPutLine(gif, const_cast<GifPixelType*>(Pixels.data()) + size_t(y) * size_t(W), W);
  } else {
    for (int y = 0; y < H; ++y) EGifPutLine(gif, const_cast<GifPixelType*>(Pixels.data()) + size_t(y) * size_t(W), W);
  }
  if (EGifCloseFile(gif, &error) != GIF_OK) throw std::runtime_error("reference encoder failed");
  return out;
}

void ReferenceDecode(const Bytes& File) {
  gifref::MemoryReader reader{&File};
  int error = 0;
  GifFileType* gif = gifref::OpenReader(reader, &error);
  if (!gif || DGifSlurp(gif) != GIF_OK) throw std::runtime_error("reference decoder failed");
  DGifCloseFile(gif, &error);
}

// ---- Ours ----

void Fill(Image& Img, int W, int H, const Bytes& Pixels, bool Interlaced) {
  for (int i = 0; i < 256; ++i) Img.GetColorMap()->Add(TColor(i | (255 - i) << 8 | (i / 2) << 16));
  auto frame = std::make_unique<TGIFSubImage>(&Img);
  frame->SetBoundsRect(Rect(0, 0, W, H));
  frame->SetInterlaced(Interlaced);
  std::memcpy(frame->Data(), Pixels.data(), Pixels.size());
  Img.Images()->Add(std::move(frame));
}

Bytes OurEncode(Image& Img) {
  TMemoryStream out;
  Img.SaveToStream(&out);
  const auto* p = static_cast<const uint8_t*>(out.Memory());
  return Bytes(p, p + out.Size());
}

void OurDecode(const Bytes& File) {
  TMemoryStream in;
  in.Write(File.data(), int64_t(File.size()));
  in.SetPosition(0);
  Image img;
  img.LoadFromStream(&in);
}

// Median times of Ours and Ref, run alternately so that a busy machine slows both
// alike (milliseconds).
std::pair<double, double> Alternate(const std::function<void()>& Ours, const std::function<void()>& Ref, int Rounds = 9) {
  auto ms = [](const std::function<void()>& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  };
  Ours(), Ref();
  std::vector<double> a, b;
  for (int i = 0; i < Rounds; ++i) a.push_back(ms(Ours)), b.push_back(ms(Ref));
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  return {a[a.size() / 2], b[b.size() / 2]};
}

void CodingCase(const char* Name, int W, int H, const Bytes& Pixels, bool Interlaced) {
  Image img;
  Fill(img, W, H, Pixels, Interlaced);
  const Bytes ours = OurEncode(img);
  const Bytes ref = ReferenceEncode(W, H, Pixels, Interlaced);
  const auto [encOurs, encRef] = Alternate([&] { OurEncode(img); }, [&] { ReferenceEncode(W, H, Pixels, Interlaced); });
  const auto [decOurs, decRef] = Alternate([&] { OurDecode(ours); }, [&] { ReferenceDecode(ref); });
  std::printf("%-34s encode %7.1f ms vs %7.1f ms  ratio %.2f  (%s bytes: %zu vs %zu)\n", Name, encOurs, encRef,
              encOurs / encRef, ours == ref ? "same" : "differing", ours.size(), ref.size());
  std::printf("%-34s decode %7.1f ms vs %7.1f ms  ratio %.2f\n", "", decOurs, decRef, decOurs / decRef);
}

// ---- Colour reduction ----

double Psnr(const Bytes& A, const Bytes& B) {
  double se = 0;
  for (size_t i = 0; i < A.size(); ++i) {
    const double d = double(A[i]) - double(B[i]);
    se += d * d;
  }
  const double mse = se / double(A.size());
  return 10 * std::log10(255.0 * 255.0 / mse);
}

void WritePpm(const std::string& Path, int W, int H, const Bytes& Rgb) {
  std::ofstream f(Path, std::ios::binary);
  f << "P6\n" << W << " " << H << "\n255\n";
  f.write(reinterpret_cast<const char*>(Rgb.data()), std::streamsize(Rgb.size()));
}

Bytes ReadPpm(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  std::string magic;
  int w, h, max;
  f >> magic >> w >> h >> max;
  f.get();
  Bytes rgb(size_t(w) * size_t(h) * 3);
  f.read(reinterpret_cast<char*>(rgb.data()), std::streamsize(rgb.size()));
  return rgb;
}

// Milliseconds of a shell command, the best of Runs.
double TimeCommand(const std::string& Command, int Runs) {
  double best = 1e30;
  for (int i = 0; i < Runs; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    if (std::system(Command.c_str()) != 0) return -1;
    best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}

void ReductionCase(int W, int H) {
  const Bytes rgb = Photo(W, H);
  TBitmap bmp;
  bmp.SetPixelFormat(pf24bit);
  bmp.SetSize(W, H);
  for (int y = 0; y < H; ++y) {
    auto* row = static_cast<uint8_t*>(bmp.ScanLine(y));
    for (int x = 0; x < W; ++x)
      for (int k = 0; k < 3; ++k) row[3 * x + k] = rgb[(size_t(y) * size_t(W) + size_t(x)) * 3 + size_t(2 - k)];
  }
  std::unique_ptr<TBitmap> reduced;
  const double ours = vxbench::Time([&] { reduced = ReduceColors(&bmp, rmQuantize, dmNearest, 8, nullptr); }, 1) / 1000;
  Bytes back(rgb.size());
  {
    HPALETTE pal = reduced->Palette();
    PALETTEENTRY e[256];
    GetPaletteEntries(pal, 0, 256, e);
    for (int y = 0; y < H; ++y) {
      const auto* row = static_cast<const uint8_t*>(reduced->ScanLine(y));
      for (int x = 0; x < W; ++x) {
        uint8_t* p = &back[(size_t(y) * size_t(W) + size_t(x)) * 3];
        p[0] = e[row[x]].peRed, p[1] = e[row[x]].peGreen, p[2] = e[row[x]].peBlue;
      }
    }
  }
  std::printf("octree 256 colours %dx%d: ours %.1f ms, PSNR %.2f dB\n", W, H, ours, Psnr(rgb, back));

  const char* convert = std::filesystem::exists("/usr/bin/convert-im6.q16") ? "/usr/bin/convert-im6.q16" : nullptr;
  if (!convert) {
    std::printf("  ImageMagick not installed: no comparison\n");
    return;
  }
  const std::string dir =
      (std::filesystem::temp_directory_path() / ("vx_bench_gif_" + std::to_string(getpid()))).string();
  std::filesystem::create_directories(dir);
  const std::string in = dir + "/in.ppm", out = dir + "/out.ppm";
  WritePpm(in, W, H, rgb);
  const std::string base = std::string(convert) + " " + in + " ";
  const double copy = TimeCommand(base + out, 3);
  for (const char* dither : {"", "-dither None "}) {
    const double im = TimeCommand(base + dither + "-colors 256 " + out, 3);
    const double quantise = im - copy;
    std::printf("  ImageMagick %s-colors 256: %.1f ms (%.1f ms of it quantising), PSNR %.2f dB; time ratio %.2f\n",
                dither, im, quantise, Psnr(rgb, ReadPpm(out)), ours / quantise);
  }
  std::filesystem::remove_all(dir);
}

}  // namespace

int main() {
  std::printf("GIF (ours vs reference library; ratio = ours / reference, below 1 is faster)\n");
  CodingCase("4000x3000 photo, 256 colours", 4000, 3000, PhotoIndices(4000, 3000), false);
  CodingCase("4000x3000 photo, interlaced", 4000, 3000, PhotoIndices(4000, 3000), true);
  CodingCase("2000x2000 noise, 256 colours", 2000, 2000, NoiseIndices(2000, 2000), false);
  ReductionCase(2000, 2000);
  return 0;
}
