// Colour look-ups against a plain nearest-colour search, every ditherer against the
// error-diffusion formulas worked out independently here, the octree quantiser's
// palettes, and its quality beside ImageMagick's.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/codecs/gif/GifTestUtil.h"

using namespace giftest;

namespace {

std::vector<PALETTEENTRY> EntriesOf(HPALETTE Palette) {
  std::vector<PALETTEENTRY> e(GetPaletteEntries(Palette, 0, 0, nullptr));
  GetPaletteEntries(Palette, 0, UINT(e.size()), e.data());
  return e;
}

// The indices of an 8-bit bitmap, rows top to bottom.
Bytes IndicesOf(TBitmap& Bmp) {
  Bytes out;
  for (int y = 0; y < Bmp.Height(); ++y) {
    const auto* row = static_cast<const uint8_t*>(Bmp.ScanLine(y));
    out.insert(out.end(), row, row + Bmp.Width());
  }
  return out;
}

// Back to R, G, B through the bitmap's palette.
Bytes ColorsOf(TBitmap& Bmp) {
  const std::vector<PALETTEENTRY> e = EntriesOf(Bmp.Palette());
  Bytes out;
  for (uint8_t i : IndicesOf(Bmp)) out.insert(out.end(), {e[i].peRed, e[i].peGreen, e[i].peBlue});
  return out;
}

double Psnr(const Bytes& A, const Bytes& B) {
  double se = 0;
  for (size_t i = 0; i < A.size(); ++i) se += (double(A[i]) - B[i]) * (double(A[i]) - B[i]);
  return se == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * double(A.size()) / se);
}

struct Weight {
  int rows, ahead, weight;
};
struct Filter {
  TDitherMode mode;
  int divisor;
  std::vector<Weight> weights;
};

// The error-diffusion filters: the share of the error that goes to the pixel Rows
// below and Ahead columns further in the direction of the current row.
const Filter kFilters[] = {
    {dmFloydSteinberg, 16, {{0, 1, 7}, {1, -1, 3}, {1, 0, 5}, {1, 1, 1}}},
    {dmStucki, 42, {{0, 1, 8}, {0, 2, 4}, {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2},
                    {2, -2, 1}, {2, -1, 2}, {2, 0, 4}, {2, 1, 2}, {2, 2, 1}}},
    {dmSierra, 32, {{0, 1, 5}, {0, 2, 3}, {1, -2, 2}, {1, -1, 4}, {1, 0, 5}, {1, 1, 4}, {1, 2, 2},
                    {2, -1, 2}, {2, 0, 3}, {2, 1, 2}}},
    {dmJaJuNI, 48, {{0, 1, 7}, {0, 2, 5}, {1, -2, 3}, {1, -1, 5}, {1, 0, 7}, {1, 1, 5}, {1, 2, 3},
                    {2, -2, 1}, {2, -1, 3}, {2, 0, 5}, {2, 1, 3}, {2, 2, 1}}},
    {dmSteveArche, 200, {{0, 2, 32}, {1, -3, 12}, {1, -1, 26}, {1, 1, 30}, {1, 3, 16}, {2, -2, 12},
                         {2, 0, 26}, {2, 2, 12}, {3, -3, 5}, {3, -1, 12}, {3, 1, 12}, {3, 3, 5}}},
    {dmBurkes, 32, {{0, 1, 8}, {0, 2, 4}, {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2}}},
    {dmNearest, 1, {}},
};

// Error diffusion over a whole-image error plane: rows alternate direction, the
// first left to right; each pixel takes (E + D/2) / D of what was spread to it.
template <class Lookup>
Bytes Diffuse(const Filter& F, int W, int H, const Bytes& Rgb, Lookup&& Look) {
  std::vector<int> err(size_t(W) * size_t(H) * 3, 0);
  Bytes out(size_t(W) * size_t(H));
  for (int y = 0; y < H; ++y) {
    const int dir = y % 2 == 0 ? 1 : -1;
    for (int k = 0; k < W; ++k) {
      const int x = dir > 0 ? k : W - 1 - k;
      const size_t at = size_t(y) * size_t(W) + size_t(x);
      int v[3];
      for (int c = 0; c < 3; ++c) v[c] = std::clamp(Rgb[at * 3 + size_t(c)] + (err[at * 3 + size_t(c)] + F.divisor / 2) / F.divisor, 0, 255);
      uint8_t back[3];
      out[at] = Look(v, back);
      for (int c = 0; c < 3; ++c)
        for (const Weight& w : F.weights) {
          const int nx = x + w.ahead * dir, ny = y + w.rows;
          if (nx >= 0 && nx < W && ny < H) err[(size_t(ny) * size_t(W) + size_t(nx)) * 3 + size_t(c)] += (v[c] - back[c]) * w.weight;
        }
    }
  }
  return out;
}

}  // namespace

TEST(GifLookups, SlowLookupIsTheNearestEntry) {
  LOGPALETTE256 lp;
  lp.palNumEntries = 100;
  std::mt19937 rng(4);
  for (int i = 0; i < 100; ++i) lp.palPalEntry[i] = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng() % 2 * 255), 0};
  for (HPALETTE pal : {WebPalette(), CreateHalftoneScreenPalette(), CreateGray4Palette(), CreatePalette(lp.get())}) {
    const std::vector<PALETTEENTRY> e = EntriesOf(pal);
    TSlowColorLookup lookup(pal);
    EXPECT_EQ(lookup.Colors(), int(e.size()));
    for (int n = 0; n < 2000; ++n) {
      const uint8_t r = uint8_t(rng()), g = uint8_t(rng()), b = uint8_t(rng());
      int best = 1 << 30;
      size_t want = 0;
      for (size_t i = 0; i < e.size(); ++i) {
        const int d = (e[i].peRed - r) * (e[i].peRed - r) + (e[i].peGreen - g) * (e[i].peGreen - g) +
                      (e[i].peBlue - b) * (e[i].peBlue - b);
        if (d < best) best = d, want = i;
      }
      uint8_t R, G, B;
      ASSERT_EQ(lookup.NearestIndex(r, g, b, R, G, B), want);
      ASSERT_EQ(R, e[want].peRed);
      ASSERT_EQ(B, e[want].peBlue);
    }
    DeleteObject(pal);
  }
}

TEST(GifLookups, FixedLookups) {
  TNetscapeColorLookup web;
  HPALETTE webPal = WebPalette();
  const std::vector<PALETTEENTRY> webEntries = EntriesOf(webPal);
  DeleteObject(webPal);
  uint8_t R, G, B;
  // Each channel (v + 3) div 51: 0..47 give 0, 48..98 give 51, 252..255 give 255.
  for (auto [v, level] : std::vector<std::pair<int, int>>{{0, 0}, {47, 0}, {48, 51}, {98, 51}, {99, 102}, {251, 204}, {252, 255}, {255, 255}}) {
    const uint8_t index = web.NearestIndex(uint8_t(v), 0, uint8_t(v), R, G, B);
    EXPECT_EQ(R, level) << v;
    EXPECT_EQ(B, level) << v;
    EXPECT_EQ(webEntries[index].peRed, level);
    EXPECT_EQ(webEntries[index].peBlue, level);
  }
  TGrayScaleLookup grey;
  EXPECT_EQ(grey.NearestIndex(255, 0, 0, R, G, B), 76);
  EXPECT_EQ(G, 76);
  EXPECT_EQ(grey.NearestIndex(255, 255, 255, R, G, B), 255);
  TMonochromeLookup mono;
  EXPECT_EQ(mono.NearestIndex(128, 128, 128, R, G, B), 1);
  EXPECT_EQ(R, 255);
  EXPECT_EQ(mono.NearestIndex(127, 127, 127, R, G, B), 0);
  EXPECT_EQ(R, 0);
}

TEST(GifDither, EveryFilterAsTheFormulasGiveIt) {
  const int W = 11, H = 7;
  const Bytes rgb = Plasma(W, H, 9);
  auto source = Bitmap24(W, H, rgb);
  for (const Filter& f : kFilters) {
    SCOPED_TRACE(int(f.mode));
    auto web = ReduceColors(source.get(), rmNetscape, f.mode, 8, nullptr);
    TNetscapeColorLookup lookup;
    EXPECT_EQ(IndicesOf(*web), Diffuse(f, W, H, rgb, [&](const int* v, uint8_t* back) {
                return lookup.NearestIndex(uint8_t(v[0]), uint8_t(v[1]), uint8_t(v[2]), back[0], back[1], back[2]);
              }));
    auto mono = ReduceColors(source.get(), rmMonochrome, f.mode, 8, nullptr);
    TMonochromeLookup monoLookup;
    EXPECT_EQ(IndicesOf(*mono), Diffuse(f, W, H, rgb, [&](const int* v, uint8_t* back) {
                return monoLookup.NearestIndex(uint8_t(v[0]), uint8_t(v[1]), uint8_t(v[2]), back[0], back[1], back[2]);
              }));
    // Uniform mid-grey in black and white: about half white when diffused, one
    // colour throughout without.
    auto grey = Bitmap24(40, 30, Bytes(40 * 30 * 3, 128));
    const Bytes bw = IndicesOf(*ReduceColors(grey.get(), rmMonochrome, f.mode, 8, nullptr));
    const double white = double(std::count(bw.begin(), bw.end(), 1)) / double(bw.size());
    if (f.mode == dmNearest)
      EXPECT_EQ(white, 1.0);
    else
      EXPECT_NEAR(white, 0.5, 0.05);
  }
}

TEST(GifReduce, MethodsPalettesAndTheSourceLeftAlone) {
  const int W = 30, H = 20;
  const Bytes rgb = Plasma(W, H, 2);
  auto source = Bitmap24(W, H, rgb);
  source->SetPixelFormat(pf32bit);
  // No reduction: a 24-bit copy.
  auto copy = ReduceColors(source.get(), rmNone, dmNearest, 8, nullptr);
  EXPECT_EQ(copy->PixelFormat(), pf24bit);
  EXPECT_EQ(copy->Canvas()->Pixels(5, 7), source->Canvas()->Pixels(5, 7));
  struct {
    TColorReduction method;
    size_t colors;
  } methods[] = {{rmWindows20, 20}, {rmWindows256, 256}, {rmWindowsGray, 4}, {rmMonochrome, 2},
                 {rmGrayScale, 256}, {rmNetscape, 216}, {rmQuantize, 8}, {rmQuantizeWindows, 256}};
  for (const auto& m : methods) {
    auto out = ReduceColors(source.get(), m.method, dmNearest, 3, nullptr);
    ASSERT_EQ(out->PixelFormat(), pf8bit) << m.method;
    EXPECT_EQ(out->Width(), W);
    // The palette the method names becomes the bitmap's table (padded to 256).
    EXPECT_EQ(EntriesOf(out->Palette()).size(), 256u);
    const Bytes idx = IndicesOf(*out);
    EXPECT_LT(size_t(*std::max_element(idx.begin(), idx.end())), m.colors) << m.method;
  }
  EXPECT_EQ(source->PixelFormat(), pf32bit);
  EXPECT_EQ(IndicesOf(*ReduceColors(source.get(), rmGrayScale, dmNearest, 8, nullptr))[0],
            (77 * rgb[0] + 150 * rgb[1] + 29 * rgb[2]) >> 8);
  // A given palette: the nearest of its colours; none given: nothing to map to.
  LOGPALETTE256 lp;
  lp.palNumEntries = 2;
  lp.palPalEntry[1] = {255, 255, 255, 0};
  HPALETTE two = CreatePalette(lp.get());
  const Bytes bw = IndicesOf(*ReduceColors(source.get(), rmPalette, dmNearest, 8, two));
  EXPECT_TRUE(std::all_of(bw.begin(), bw.end(), [](uint8_t v) { return v < 2; }));
  DeleteObject(two);
  EXPECT_TRUE(ReduceColors(source.get(), rmPalette, dmNearest, 8, nullptr)->Empty());
  EXPECT_EQ(ErrorOf([&] { ReduceColors(source.get(), rmQuantize, dmNearest, 9, nullptr); }), sInvalidBitSize);
}

TEST(GifQuantizer, PalettesFromOneOrManyBitmaps) {
  // Two colours into 8 entries: those two first, exactly.
  Bytes two;
  for (int i = 0; i < 60; ++i) {
    const Bytes c = i % 3 ? Bytes{10, 20, 30} : Bytes{200, 100, 50};
    two.insert(two.end(), c.begin(), c.end());
  }
  auto bmp = Bitmap24(10, 6, two);
  auto reduced = ReduceColors(bmp.get(), rmQuantize, dmNearest, 3, nullptr);
  const std::vector<PALETTEENTRY> e = EntriesOf(reduced->Palette());
  EXPECT_EQ(std::make_tuple(e[0].peRed, e[0].peGreen, e[0].peBlue), std::make_tuple(10, 20, 30));
  EXPECT_EQ(std::make_tuple(e[1].peRed, e[1].peGreen, e[1].peBlue), std::make_tuple(200, 100, 50));
  EXPECT_EQ(ColorsOf(*reduced), two);
  // With the system colours: theirs at 0..9 and 246..255.
  HPALETTE windows = CreateQuantizedPalette(bmp.get(), 256, 8, true);
  const std::vector<PALETTEENTRY> w = EntriesOf(windows);
  const std::vector<PALETTEENTRY> sys = EntriesOf(reinterpret_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)));
  ASSERT_EQ(w.size(), 256u);
  for (int i = 0; i < 20; ++i) {
    const PALETTEENTRY& got = w[size_t(i < 10 ? i : i + 236)];
    EXPECT_EQ(std::make_tuple(got.peRed, got.peGreen, got.peBlue), std::make_tuple(sys[size_t(i)].peRed, sys[size_t(i)].peGreen, sys[size_t(i)].peBlue)) << i;
  }
  EXPECT_EQ(std::make_tuple(w[10].peRed, w[11].peRed), std::make_tuple(10, 200));
  DeleteObject(windows);
  // Fewer distinct colours than entries come through unchanged.
  const Bytes fifty = [] {
    Bytes b;
    for (int i = 0; i < 400; ++i) b.insert(b.end(), {uint8_t(i % 50 * 5), uint8_t(255 - i % 50 * 3), uint8_t(i % 50 * 41)});
    return b;
  }();
  auto many = Bitmap24(20, 20, fifty);
  EXPECT_EQ(ColorsOf(*ReduceColors(many.get(), rmQuantize, dmNearest, 8, nullptr)), fifty);
  // Several bitmaps share one palette.
  TList list;
  list.Add(bmp.get());
  list.Add(many.get());
  HPALETTE shared = CreateOptimizedPaletteFromManyBitmaps(&list, 64, 8, false);
  EXPECT_EQ(EntriesOf(shared).size(), 64u);
  DeleteObject(shared);
  TList empty;
  EXPECT_EQ(ErrorOf([&] { CreateOptimizedPaletteFromManyBitmaps(&empty, 64, 8, false); }), sInvalidBitmapList);
  EXPECT_EQ(ErrorOf([&] { CreateOptimizedPaletteFromManyBitmaps(nullptr, 64, 8, false); }), sInvalidBitmapList);
  for (auto [colors, bits] : std::vector<std::pair<int, int>>{{0, 8}, {257, 8}, {16, 0}, {16, 9}})
    EXPECT_EQ(ErrorOf([&] { CreateQuantizedPalette(bmp.get(), colors, bits, false); }), sInvalidBitSize) << colors << "/" << bits;
}

TEST(GifQuantizer, QualityBesideImageMagick) {
  const std::string convert = Convert();
  if (convert.empty()) GTEST_SKIP() << "ImageMagick is not installed";
  // Photo-like pictures: a smooth field, and ImageMagick's plasma.
  const int W = 240, H = 160;
  TempDir dir;
  const std::string plasma = dir / "plasma.ppm";
  ASSERT_EQ(Shell(convert + " -seed 5 -size " + std::to_string(W) + "x" + std::to_string(H) + " plasma:fractal " + plasma), 0);
  const Bytes plasmaFile = ReadFile(plasma);
  const Bytes pictures[2] = {Plasma(W, H, 11), Bytes(plasmaFile.end() - W * H * 3, plasmaFile.end())};
  for (int p = 0; p < 2; ++p) {
    const Bytes& rgb = pictures[p];
    const std::string in = dir / "in.ppm", out = dir / "out.ppm";
    Bytes ppm{'P', '6', '\n'};
    const std::string dims = std::to_string(W) + " " + std::to_string(H) + "\n255\n";
    ppm.insert(ppm.end(), dims.begin(), dims.end());
    ppm.insert(ppm.end(), rgb.begin(), rgb.end());
    WriteFile(in, ppm);
    auto bmp = Bitmap24(W, H, rgb);
    for (int bits : {4, 6, 8}) {
      const double ours = Psnr(rgb, ColorsOf(*ReduceColors(bmp.get(), rmQuantize, dmNearest, bits, nullptr)));
      ASSERT_EQ(Shell(convert + " " + in + " -dither None -colors " + std::to_string(1 << bits) + " " + out), 0);
      const Bytes theirs = ReadFile(out);
      const double im = Psnr(rgb, Bytes(theirs.end() - long(rgb.size()), theirs.end()));
      std::printf("picture %d, %d colours: PSNR ours %.2f dB, ImageMagick %.2f dB\n", p, 1 << bits, ours, im);
      // The octree is a quick quantiser: within 1.5 dB of ImageMagick's.
      EXPECT_GT(ours, im - 1.5) << (1 << bits) << " colours";
    }
  }
}
