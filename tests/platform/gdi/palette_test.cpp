// Palettes, colour tables and pixel formats, and regions.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "tests/platform/gdi/gdi_test_util.h"

using gditest::DibDC;

namespace {

HPALETTE MakePalette(std::initializer_list<COLORREF> colors) {
  LOGPALETTE256 lp;
  for (COLORREF c : colors) lp.palPalEntry[lp.palNumEntries++] = PALETTEENTRY{GetRValue(c), GetGValue(c), GetBValue(c), 0};
  return CreatePalette(lp.get());
}

TEST(Palette, EntriesCountAndNearestIndex) {
  HPALETTE p = MakePalette({RGB(0, 0, 0), RGB(255, 0, 0), RGB(0, 0, 255), RGB(255, 0, 0)});
  WORD count = 0;
  EXPECT_EQ(GetObject(p, sizeof count, &count), int(sizeof count));
  EXPECT_EQ(count, 4);
  PALETTEENTRY e[4];
  EXPECT_EQ(GetPaletteEntries(p, 1, 9, e), 3u);
  EXPECT_EQ(e[0].peRed, 255);
  EXPECT_EQ(GetNearestPaletteIndex(p, RGB(250, 10, 10)), 1u);  // lowest of two equal entries
  EXPECT_EQ(GetNearestPaletteIndex(p, RGB(10, 10, 200)), 2u);
  // Half way between black and blue: the lower index.
  EXPECT_EQ(GetNearestPaletteIndex(p, RGB(0, 0, 127)), 0u);
  EXPECT_EQ(GetNearestPaletteIndex(p, RGB(0, 0, 128)), 2u);
  DibDC d(1, 1);
  HPALETTE old = SelectPalette(d.dc(), p, FALSE);
  EXPECT_EQ(reinterpret_cast<HGDIOBJ>(old), GetStockObject(DEFAULT_PALETTE));
  EXPECT_EQ(RealizePalette(d.dc()), 0u);
  EXPECT_EQ(SelectPalette(d.dc(), old, FALSE), p);
  EXPECT_TRUE(DeleteObject(p));
  EXPECT_EQ(GetPaletteEntries(reinterpret_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), 0, 0, nullptr), 20u);
  HPALETTE half = CreateHalftonePalette(nullptr);
  EXPECT_EQ(GetPaletteEntries(half, 0, 0, nullptr), 256u);
  DeleteObject(half);
}

TEST(Palette, NearestIndexIsTheExactNearestForAnyPalette) {
  // Against a plain search over every entry: random palettes of 1 to 300 entries
  // (with repeated colours, so ties occur), random colours asked twice (the second
  // answer comes from what the palette remembers), and after the entries change.
  std::mt19937 rng(11);
  auto brute = [](const std::vector<PALETTEENTRY>& e, COLORREF c) {
    int best = 1 << 30;
    UINT index = 0;
    for (size_t i = 0; i < e.size(); ++i) {
      const int dr = e[i].peRed - GetRValue(c), dg = e[i].peGreen - GetGValue(c), db = e[i].peBlue - GetBValue(c);
      if (dr * dr + dg * dg + db * db < best) best = dr * dr + dg * dg + db * db, index = UINT(i);
    }
    return index;
  };
  for (int n : {1, 2, 16, 216, 256, 300}) {
    std::vector<PALETTEENTRY> e(static_cast<size_t>(n));
    for (auto& x : e) x = PALETTEENTRY{uint8_t(rng() % 8 * 36), uint8_t(rng()), uint8_t(rng() % 4 * 85), 0};
    std::vector<uint8_t> raw(sizeof(LOGPALETTE) + sizeof(PALETTEENTRY) * size_t(n));
    auto* lp = reinterpret_cast<LOGPALETTE*>(raw.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = WORD(n);
    std::memcpy(lp->palPalEntry, e.data(), sizeof(PALETTEENTRY) * size_t(n));
    HPALETTE p = CreatePalette(lp);
    for (int round = 0; round < 2; ++round) {
      std::mt19937 colors(static_cast<uint32_t>(n));
      for (int i = 0; i < 3000; ++i) {
        const COLORREF c = colors() & 0xFFFFFF;
        ASSERT_EQ(GetNearestPaletteIndex(p, c), brute(e, c)) << n << " entries, colour " << std::hex << c;
      }
      // New colours for the second round.
      for (auto& x : e) x = PALETTEENTRY{uint8_t(rng()), uint8_t(rng() % 3 * 127), uint8_t(rng()), 0};
      ASSERT_EQ(SetPaletteEntries(p, 0, UINT(n), e.data()), UINT(n));
    }
    DeleteObject(p);
  }
}

TEST(Palette, DibColorTablesOfTheSelectedBitmap) {
  const std::vector<RGBQUAD> table{{0, 0, 0, 0}, {255, 255, 255, 0}};
  DibDC d(9, 2, 1, RGB(255, 255, 255), table);
  RGBQUAD got[2];
  ASSERT_EQ(GetDIBColorTable(d.dc(), 0, 2, got), 2u);
  EXPECT_EQ(got[1].rgbRed, 255);
  // Changing the table recolours the picture without touching its bits.
  const RGBQUAD red{0, 0, 255, 0};
  EXPECT_EQ(SetDIBColorTable(d.dc(), 1, 1, &red), 1u);
  EXPECT_EQ(GetPixel(d.dc(), 8, 1), RGB(255, 0, 0));
  // One bit a pixel, most significant bit first, rows padded to 32 bits.
  const uint8_t* bits = static_cast<const uint8_t*>(d.bits());
  EXPECT_EQ(bits[0], 0xFF);
  EXPECT_EQ(bits[1], 0x80);
  EXPECT_EQ(bits[4], 0xFF);
}

TEST(Formats, FourBitNibblesAndSixteenBitMasks) {
  std::vector<RGBQUAD> table(16, RGBQUAD{0, 0, 0, 0});
  table[1] = RGBQUAD{0, 0, 128, 0};
  table[15] = RGBQUAD{255, 255, 255, 0};
  DibDC four(3, 1, 4, RGB(0, 0, 0), table);
  SetPixel(four.dc(), 0, 0, RGB(255, 255, 255));  // index 15
  SetPixel(four.dc(), 1, 0, RGB(128, 0, 0));      // index 1
  const uint8_t* b4 = static_cast<const uint8_t*>(four.bits());
  EXPECT_EQ(b4[0], 0xF1);
  EXPECT_EQ(b4[1], 0x00);
  // A 5-6-5 DIB section.
  struct {
    BITMAPINFOHEADER h;
    DWORD masks[3];
  } bi{{sizeof(BITMAPINFOHEADER), 2, -1, 1, 16, BI_BITFIELDS, 0, 0, 0, 0, 0}, {0xF800, 0x07E0, 0x001F}};
  void* bits = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(bm, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bm);
  SetPixel(dc, 0, 0, RGB(255, 0, 0));
  SetPixel(dc, 1, 0, RGB(0, 255, 0));
  uint16_t px[2];
  std::memcpy(px, bits, 4);
  EXPECT_EQ(px[0], 0xF800);
  EXPECT_EQ(px[1], 0x07E0);
  EXPECT_EQ(GetPixel(dc, 1, 0), RGB(0, 255, 0));
  DIBSECTION ds;
  EXPECT_EQ(GetObject(bm, sizeof ds, &ds), int(sizeof ds));
  EXPECT_EQ(ds.dsBmih.biCompression, BI_BITFIELDS);
  EXPECT_EQ(ds.dsBitfields[1], 0x07E0u);
  EXPECT_EQ(ds.dsBmih.biHeight, -1);
  EXPECT_EQ(ds.dsBm.bmBits, bits);
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bm);
}

TEST(Formats, DeviceBitmapsAndCompatibility) {
  // A fresh memory DC holds a one-pixel monochrome bitmap, so bitmaps compatible
  // with it are monochrome; with the screen they take the screen's format.
  HDC mem = CreateCompatibleDC(nullptr);
  HBITMAP mono = CreateCompatibleBitmap(mem, 4, 4);
  BITMAP bm;
  GetObject(mono, sizeof bm, &bm);
  EXPECT_EQ(bm.bmBitsPixel, 1);
  EXPECT_EQ(bm.bmBits, nullptr);
  EXPECT_EQ(bm.bmWidthBytes, 2);
  HDC screen = GetDC(nullptr);
  HBITMAP colour = CreateCompatibleBitmap(screen, 4, 4);
  GetObject(colour, sizeof bm, &bm);
  EXPECT_EQ(bm.bmBitsPixel, 32);
  EXPECT_EQ(GetDeviceCaps(screen, NUMCOLORS), -1);
  EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 96);
  ReleaseDC(nullptr, screen);
  // A bitmap selected into a DC is not deleted.
  HGDIOBJ old = SelectObject(mem, colour);
  EXPECT_FALSE(DeleteObject(colour));
  SelectObject(mem, old);
  EXPECT_TRUE(DeleteObject(colour));
  EXPECT_TRUE(DeleteObject(mono));
  DeleteDC(mem);
  // Rows of CreateBitmap's data are padded to 16 bits.
  const uint8_t rows[] = {0x80, 0x00, 0x40, 0x00};
  HBITMAP m = CreateBitmap(2, 2, 1, 1, rows);
  HDC d = CreateCompatibleDC(nullptr);
  old = SelectObject(d, m);
  EXPECT_EQ(GetPixel(d, 0, 0), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(d, 1, 1), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(d, 1, 0), RGB(0, 0, 0));
  SelectObject(d, old);
  DeleteDC(d);
  DeleteObject(m);
}

TEST(Formats, GetDIBitsToIndexedAndSetDIBits) {
  DibDC d(2, 1, 32, RGB(255, 0, 0));
  BITMAPINFO256 bi{};
  bi.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 2, 1, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
  uint8_t px[4] = {};
  ASSERT_EQ(GetDIBits(d.dc(), d.bitmap(), 0, 1, px, bi.get(), DIB_RGB_COLORS), 1);
  const RGBQUAD q = bi.bmiColors[px[0]];
  EXPECT_EQ(RGB(q.rgbRed, q.rgbGreen, q.rgbBlue), RGB(255, 0, 0));
  // Back in through a 1-bit DIB with its own table.
  struct {
    BITMAPINFOHEADER h;
    RGBQUAD c[2];
  } mono{{sizeof(BITMAPINFOHEADER), 2, 1, 1, 1, BI_RGB, 0, 0, 0, 2, 0}, {{255, 0, 0, 0}, {0, 255, 0, 0}}};
  const uint8_t bits[4] = {0x40, 0, 0, 0};
  EXPECT_EQ(SetDIBits(d.dc(), d.bitmap(), 0, 1, bits, reinterpret_cast<BITMAPINFO*>(&mono), DIB_RGB_COLORS), 1);
  EXPECT_EQ(GetPixel(d.dc(), 0, 0), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(d.dc(), 1, 0), RGB(0, 255, 0));
}

TEST(Regions, CombineOffsetAndCompare) {
  HRGN a = CreateRectRgn(0, 0, 10, 10), b = CreateRectRgn(5, 5, 15, 15), r = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(CombineRgn(r, a, b, RGN_AND), SIMPLEREGION);
  RECT box;
  GetRgnBox(r, &box);
  EXPECT_EQ(box, (RECT{5, 5, 10, 10}));
  EXPECT_EQ(CombineRgn(r, a, b, RGN_OR), COMPLEXREGION);
  EXPECT_TRUE(PtInRegion(r, 12, 12));
  EXPECT_FALSE(PtInRegion(r, 12, 2));
  EXPECT_EQ(CombineRgn(r, a, b, RGN_XOR), COMPLEXREGION);
  EXPECT_FALSE(PtInRegion(r, 7, 7));
  EXPECT_EQ(CombineRgn(r, a, a, RGN_DIFF), NULLREGION);
  // Equal areas compare equal however they were built.
  HRGN left = CreateRectRgn(0, 0, 5, 10), right = CreateRectRgn(5, 0, 10, 10);
  EXPECT_EQ(CombineRgn(r, left, right, RGN_OR), SIMPLEREGION);
  EXPECT_TRUE(EqualRgn(r, a));
  OffsetRgn(r, 3, 4);
  GetRgnBox(r, &box);
  EXPECT_EQ(box, (RECT{3, 4, 13, 14}));
  for (HRGN h : {a, b, r, left, right}) DeleteObject(h);
}

TEST(Brushes, HatchGapsFollowTheBackgroundMode) {
  DibDC d(8, 8, 32, RGB(1, 1, 1));
  HBRUSH h = CreateHatchBrush(HS_CROSS, RGB(255, 0, 0));
  SetBkColor(d.dc(), RGB(0, 0, 255));
  SetBkMode(d.dc(), TRANSPARENT);
  RECT r{0, 0, 8, 8};
  FillRect(d.dc(), &r, h);
  EXPECT_EQ(GetPixel(d.dc(), 7, 0), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(d.dc(), 0, 7), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(d.dc(), 1, 1), RGB(1, 1, 1));
  SetBkMode(d.dc(), OPAQUE);
  FillRect(d.dc(), &r, h);
  EXPECT_EQ(GetPixel(d.dc(), 1, 1), RGB(0, 0, 255));
  DeleteObject(h);
}

}  // namespace
