// Block transfers: raster operations over every combination of bits, monochrome and
// colour conversion, stretching, masks and transparency.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/platform/gdi/gdi_test_util.h"

using gditest::DibDC;
using gditest::Picture;
using gditest::Rows;

namespace {

const COLORREF kBlack = RGB(0, 0, 0), kWhite = RGB(255, 255, 255);

// A monochrome bitmap from rows of '0'/'1'.
HBITMAP Mono(std::initializer_list<const char*> rows) {
  const int h = int(rows.size()), w = int(std::strlen(*rows.begin()));
  std::vector<uint8_t> bits(size_t(((w + 15) / 16) * 2 * h), 0);
  int y = 0;
  for (const char* r : rows) {
    for (int x = 0; x < w; ++x)
      if (r[x] == '1') bits[size_t(y * ((w + 15) / 16) * 2 + x / 8)] |= uint8_t(0x80 >> (x % 8));
    ++y;
  }
  return CreateBitmap(w, h, 1, 1, bits.data());
}

struct MemDC {
  explicit MemDC(HBITMAP b) : bm(b), dc(CreateCompatibleDC(nullptr)) { old = SelectObject(dc, bm); }
  ~MemDC() {
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bm);
  }
  HBITMAP bm;
  HDC dc;
  HGDIOBJ old;
};

// Every operation the drawing code uses, over the four (source, destination) bit
// pairs with a white pattern: the result must be the operation's truth table.
TEST(Blit, RasterOperationsOverAllBitPairs) {
  struct Op {
    DWORD rop;
    const char* table;  // results for (S,D) = (0,0) (0,1) (1,0) (1,1); pattern is 1
  };
  const Op ops[] = {{SRCCOPY, "0011"},  {SRCAND, "0001"},   {SRCPAINT, "0111"},   {SRCINVERT, "0110"},
                    {SRCERASE, "0010"}, {NOTSRCCOPY, "1100"}, {NOTSRCERASE, "1000"}, {MERGEPAINT, "1101"},
                    {DSTINVERT, "1010"}, {PATCOPY, "1111"},  {PATINVERT, "1010"},  {BLACKNESS, "0000"},
                    {WHITENESS, "1111"}, {MERGECOPY, "0011"}, {PATPAINT, "1111"},  {0x00B8074A, "1101"},
                    {0x00E20746, "0111"}};
  for (const Op& op : ops) {
    MemDC src(Mono({"0011"}));
    MemDC dst(Mono({"0101"}));
    HGDIOBJ old = SelectObject(dst.dc, GetStockObject(WHITE_BRUSH));
    BitBlt(dst.dc, 0, 0, 4, 1, src.dc, 0, 0, op.rop);
    std::string got;
    for (int x = 0; x < 4; ++x) got += GetPixel(dst.dc, x, 0) == kWhite ? '1' : '0';
    EXPECT_EQ(got, op.table) << std::hex << op.rop;
    SelectObject(dst.dc, old);
  }
}

TEST(Blit, MonochromeToColourTakesTheDestinationTextAndBackgroundColours) {
  MemDC src(Mono({"01", "10"}));
  DibDC dst(2, 2);
  SetTextColor(dst.dc(), RGB(255, 0, 0));
  SetBkColor(dst.dc(), RGB(0, 0, 255));
  BitBlt(dst.dc(), 0, 0, 2, 2, src.dc, 0, 0, SRCCOPY);
  EXPECT_EQ(Picture(dst.dc(), 2, 2, {{RGB(255, 0, 0), 't'}, {RGB(0, 0, 255), 'b'}}), Rows({"tb", "bt"}));
}

TEST(Blit, ColourToMonochromeMarksTheSourceBackgroundColour) {
  DibDC src(3, 1, 32, kBlack);
  SetPixel(src.dc(), 1, 0, RGB(10, 20, 30));
  SetPixel(src.dc(), 2, 0, RGB(10, 20, 31));
  SetBkColor(src.dc(), RGB(10, 20, 30));
  MemDC dst(CreateBitmap(3, 1, 1, 1, nullptr));
  BitBlt(dst.dc, 0, 0, 3, 1, src.dc(), 0, 0, SRCCOPY);
  EXPECT_EQ(Picture(dst.dc, 3, 1, {{kBlack, '0'}, {kWhite, '1'}}), Rows({"010"}));
}

TEST(Blit, StretchTakesTheNearestPixelAndMirrors) {
  DibDC src(3, 1);
  SetPixel(src.dc(), 0, 0, RGB(1, 0, 0));
  SetPixel(src.dc(), 1, 0, RGB(2, 0, 0));
  SetPixel(src.dc(), 2, 0, RGB(3, 0, 0));
  const std::map<COLORREF, char> legend{{RGB(1, 0, 0), 'a'}, {RGB(2, 0, 0), 'b'}, {RGB(3, 0, 0), 'c'}};
  DibDC dst(7, 2);
  StretchBlt(dst.dc(), 0, 0, 7, 1, src.dc(), 0, 0, 3, 1, SRCCOPY);
  StretchBlt(dst.dc(), 6, 1, -7, 1, src.dc(), 0, 0, 3, 1, SRCCOPY);
  EXPECT_EQ(Picture(dst.dc(), 7, 2, legend), Rows({"aaabbcc", "ccbbaaa"}));
  DibDC small(2, 1);
  StretchBlt(small.dc(), 0, 0, 2, 1, src.dc(), 0, 0, 3, 1, SRCCOPY);
  EXPECT_EQ(Picture(small.dc(), 2, 1, legend), Rows({"ab"}));
}

TEST(Blit, SourceOutsideItsBitmapLeavesTheDestination) {
  DibDC src(2, 2, 32, kWhite);
  DibDC dst(4, 4);
  BitBlt(dst.dc(), 0, 0, 4, 4, src.dc(), -1, -1, SRCCOPY);
  EXPECT_EQ(Picture(dst.dc(), 4, 4, {{kWhite, 'o'}, {RGB(128, 128, 128), '.'}}), Rows({"....", ".oo.", ".oo.", "...."}));
}

TEST(Blit, OverlappingCopyWithinOneBitmap) {
  DibDC d(4, 1);
  for (int x = 0; x < 4; ++x) SetPixel(d.dc(), x, 0, RGB(x + 1, 0, 0));
  BitBlt(d.dc(), 1, 0, 3, 1, d.dc(), 0, 0, SRCCOPY);
  EXPECT_EQ(Picture(d.dc(), 4, 1, {{RGB(1, 0, 0), 'a'}, {RGB(2, 0, 0), 'b'}, {RGB(3, 0, 0), 'c'}}), Rows({"aabc"}));
}

TEST(Blit, MaskBltKeepsTheDestinationWhereTheMaskIsSet) {
  DibDC src(3, 1, 32, RGB(255, 0, 0));
  DibDC dst(3, 1, 32, RGB(0, 0, 255));
  HBITMAP mask = Mono({"101"});
  MaskBlt(dst.dc(), 0, 0, 3, 1, src.dc(), 0, 0, mask, 0, 0, MAKEROP4(0x00AA0029, SRCCOPY));
  EXPECT_EQ(Picture(dst.dc(), 3, 1, {{RGB(255, 0, 0), 's'}, {RGB(0, 0, 255), 'd'}}), Rows({"dsd"}));
  DeleteObject(mask);
}

TEST(Blit, TransparentBltSkipsTheKeyColour) {
  DibDC src(3, 1, 32, RGB(255, 0, 0));
  SetPixel(src.dc(), 1, 0, RGB(0, 255, 0));
  DibDC dst(6, 1, 32, RGB(0, 0, 255));
  TransparentBlt(dst.dc(), 0, 0, 6, 1, src.dc(), 0, 0, 3, 1, RGB(0, 255, 0));
  EXPECT_EQ(Picture(dst.dc(), 6, 1, {{RGB(255, 0, 0), 's'}, {RGB(0, 0, 255), 'd'}}), Rows({"ssddss"}));
}

TEST(Blit, PatternBrushIsAlignedToTheDeviceOrigin) {
  HBITMAP pat = Mono({"10", "01"});
  HBRUSH b = CreatePatternBrush(pat);
  DibDC d(4, 2);
  SetTextColor(d.dc(), kBlack);
  SetBkColor(d.dc(), kWhite);
  RECT r{1, 0, 4, 2};
  FillRect(d.dc(), &r, b);
  EXPECT_EQ(Picture(d.dc(), 4, 2, {{kWhite, 'o'}, {kBlack, '#'}, {RGB(128, 128, 128), '.'}}), Rows({".#o#", ".o#o"}));
  DeleteObject(b);
  DeleteObject(pat);
}

TEST(Blit, IndexedDestinationsTakeTheNearestEntryAndStretchDIBitsReadsBottomUp) {
  const std::vector<RGBQUAD> table{{0, 0, 0, 0}, {0, 0, 255, 0}, {255, 255, 255, 0}};
  DibDC d(2, 2, 8, RGB(250, 250, 250), table);
  const uint8_t* bits = static_cast<const uint8_t*>(d.bits());
  EXPECT_EQ(bits[0], 2);
  SetPixel(d.dc(), 1, 0, RGB(200, 10, 10));
  EXPECT_EQ(bits[1], 1);
  // A bottom-up 24-bit DIB of 2 x 2: its first row is the bottom one.
  BITMAPINFO256 bi{};
  bi.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 2, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  const uint8_t dib[16] = {0, 0, 0, 0, 0, 0, 0, 0,  // bottom row: black black
                           255, 255, 255, 0, 0, 255, 0, 0};  // top row: white red
  DibDC out(2, 2);
  StretchDIBits(out.dc(), 0, 0, 2, 2, 0, 0, 2, 2, dib, bi.get(), DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(Picture(out.dc(), 2, 2, {{kBlack, '#'}, {kWhite, 'o'}, {RGB(255, 0, 0), 'r'}}), Rows({"or", "##"}));
}

TEST(Blit, GetDIBitsConvertsAndDescribes) {
  DibDC d(3, 2, 32, RGB(1, 2, 3));
  BITMAPINFO256 bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  ASSERT_NE(GetDIBits(d.dc(), d.bitmap(), 0, 2, nullptr, bi.get(), DIB_RGB_COLORS), 0);
  EXPECT_EQ(bi.bmiHeader.biWidth, 3);
  EXPECT_EQ(bi.bmiHeader.biBitCount, 32);
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biHeight = 2;
  std::vector<uint8_t> px(size_t(12 * 2));
  EXPECT_EQ(GetDIBits(d.dc(), d.bitmap(), 0, 2, px.data(), bi.get(), DIB_RGB_COLORS), 2);
  EXPECT_EQ(px[0], 3);
  EXPECT_EQ(px[1], 2);
  EXPECT_EQ(px[2], 1);
  EXPECT_EQ(bi.bmiHeader.biSizeImage, 24u);
}

}  // namespace
