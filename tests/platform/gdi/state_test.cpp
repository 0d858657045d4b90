// Device-context state: saving and restoring, selections, clip combinations, and the
// conversions of blits between formats.
#include <gtest/gtest.h>

#include "tests/platform/gdi/gdi_test_util.h"

using gditest::DibDC;
using gditest::Picture;
using gditest::Rows;

namespace {

const COLORREF kBlack = RGB(0, 0, 0), kWhite = RGB(255, 255, 255), kRed = RGB(255, 0, 0), kGrey = RGB(128, 128, 128);

TEST(State, SaveAndRestoreBringBackObjectsColoursAndBitmaps) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP a = CreateBitmap(2, 2, 1, 32, nullptr), b = CreateBitmap(2, 2, 1, 32, nullptr);
  HPEN pen = CreatePen(PS_SOLID, 1, kRed);
  HGDIOBJ oldBitmap = SelectObject(dc, a);
  const int first = SaveDC(dc);
  SelectObject(dc, b);
  SelectObject(dc, pen);
  SetTextColor(dc, kRed);
  const int second = SaveDC(dc);
  EXPECT_EQ(second, first + 1);
  SetTextColor(dc, kWhite);
  EXPECT_TRUE(RestoreDC(dc, -1));
  EXPECT_EQ(GetTextColor(dc), kRed);
  EXPECT_TRUE(RestoreDC(dc, first));
  EXPECT_EQ(GetTextColor(dc), kBlack);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_BITMAP), reinterpret_cast<HGDIOBJ>(a));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), GetStockObject(BLACK_PEN));
  EXPECT_FALSE(RestoreDC(dc, -1));  // nothing saved any more
  // b is no longer selected anywhere; a still is.
  EXPECT_TRUE(DeleteObject(b));
  EXPECT_FALSE(DeleteObject(a));
  SelectObject(dc, oldBitmap);
  EXPECT_TRUE(DeleteObject(a));
  EXPECT_TRUE(DeleteObject(pen));
  DeleteDC(dc);
}

TEST(State, ClipRegionsCombineAndMove) {
  DibDC d(6, 3);
  HRGN left = CreateRectRgn(0, 0, 2, 3), right = CreateRectRgn(4, 0, 6, 3);
  SelectClipRgn(d.dc(), left);
  EXPECT_EQ(ExtSelectClipRgn(d.dc(), right, RGN_OR), COMPLEXREGION);
  OffsetClipRgn(d.dc(), 0, 1);
  HBRUSH red = CreateSolidBrush(kRed);
  RECT all{0, 0, 6, 3};
  FillRect(d.dc(), &all, red);
  EXPECT_EQ(GetPixel(d.dc(), 2, 1), CLR_INVALID);  // outside the clip area
  HRGN got = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetClipRgn(d.dc(), got), 1);
  EXPECT_TRUE(PtInRegion(got, 5, 2));
  SelectClipRgn(d.dc(), nullptr);
  EXPECT_EQ(GetClipRgn(d.dc(), got), 0);
  EXPECT_EQ(Picture(d.dc(), 6, 3, {{kRed, 'r'}, {kGrey, '.'}}), Rows({"......", "rr..rr", "rr..rr"}));
  for (HGDIOBJ h : {HGDIOBJ(left), HGDIOBJ(right), HGDIOBJ(got), HGDIOBJ(red)}) DeleteObject(h);
}

TEST(State, StaleDCAndObjectHandlesFailQuietly) {
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(GetObjectType(dc), OBJ_MEMDC);
  DeleteDC(dc);
  EXPECT_EQ(GetObjectType(dc), 0u);
  EXPECT_EQ(GetPixel(dc, 0, 0), CLR_INVALID);
  EXPECT_FALSE(BitBlt(dc, 0, 0, 1, 1, nullptr, 0, 0, BLACKNESS));
  EXPECT_EQ(SelectObject(dc, GetStockObject(WHITE_BRUSH)), nullptr);
  EXPECT_EQ(SaveDC(dc), 0);
}

TEST(Convert, TrueColourToIndexedAndBack) {
  const std::vector<RGBQUAD> table{{0, 0, 0, 0}, {0, 0, 255, 0}, {0, 255, 0, 0}, {255, 255, 255, 0}};
  DibDC src(4, 1, 24, kBlack);
  SetPixel(src.dc(), 1, 0, RGB(240, 20, 20));
  SetPixel(src.dc(), 2, 0, RGB(30, 220, 30));
  SetPixel(src.dc(), 3, 0, RGB(250, 250, 240));
  DibDC idx(4, 1, 8, kBlack, table);
  BitBlt(idx.dc(), 0, 0, 4, 1, src.dc(), 0, 0, SRCCOPY);
  const uint8_t* bits = static_cast<const uint8_t*>(idx.bits());
  EXPECT_EQ(bits[0], 0);
  EXPECT_EQ(bits[1], 1);
  EXPECT_EQ(bits[2], 2);
  EXPECT_EQ(bits[3], 3);
  // Indices go through the table on the way back to true colour, stretched 2x.
  DibDC back(8, 1, 32, kGrey);
  StretchBlt(back.dc(), 0, 0, 8, 1, idx.dc(), 0, 0, 4, 1, SRCCOPY);
  EXPECT_EQ(Picture(back.dc(), 8, 1, {{kBlack, '#'}, {kRed, 'r'}, {RGB(0, 255, 0), 'g'}, {kWhite, 'o'}}),
            Rows({"##rrggoo"}));
}

TEST(Convert, MonochromeSourceStretchedOntoColour) {
  const uint8_t rows[] = {0x40, 0x00};  // 0 1 0 0
  HBITMAP m = CreateBitmap(4, 1, 1, 1, rows);
  HDC mdc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(mdc, m);
  DibDC d(8, 2);
  SetTextColor(d.dc(), kRed);
  SetBkColor(d.dc(), kWhite);
  StretchBlt(d.dc(), 0, 0, 8, 2, mdc, 0, 0, 4, 1, SRCCOPY);
  EXPECT_EQ(Picture(d.dc(), 8, 2, {{kRed, 'r'}, {kWhite, 'o'}}), Rows({"rroorrrr", "rroorrrr"}));
  SelectObject(mdc, old);
  DeleteDC(mdc);
  DeleteObject(m);
}

TEST(Convert, GetDIBitsRowsCountFromTheBottomUnlessTopDown) {
  DibDC d(1, 3, 32, kBlack);
  SetPixel(d.dc(), 0, 0, kRed);  // top row
  BITMAPINFO256 bi{};
  bi.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 1, 3, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  uint32_t px[3] = {};
  // Bottom-up: the last row of the buffer is the top of the picture.
  EXPECT_EQ(GetDIBits(d.dc(), d.bitmap(), 0, 3, px, bi.get(), DIB_RGB_COLORS), 3);
  EXPECT_EQ(px[2] & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(px[0] & 0xFFFFFF, 0u);
  // Only scan line 2 (the top one) of a bottom-up request.
  uint32_t one[3] = {7, 7, 7};
  EXPECT_EQ(GetDIBits(d.dc(), d.bitmap(), 2, 1, one, bi.get(), DIB_RGB_COLORS), 1);
  EXPECT_EQ(one[2] & 0xFFFFFF, 0xFF0000u);
  bi.bmiHeader.biHeight = -3;
  EXPECT_EQ(GetDIBits(d.dc(), d.bitmap(), 0, 3, px, bi.get(), DIB_RGB_COLORS), 3);
  EXPECT_EQ(px[0] & 0xFFFFFF, 0xFF0000u);
}

TEST(Shapes2, EllipseAndRoundRectStaySymmetricInTheirBounds) {
  DibDC d(9, 7, 32, kGrey);
  HGDIOBJ op = SelectObject(d.dc(), GetStockObject(BLACK_PEN));
  HGDIOBJ ob = SelectObject(d.dc(), GetStockObject(WHITE_BRUSH));
  Ellipse(d.dc(), 0, 0, 9, 7);
  const std::string pic = Picture(d.dc(), 9, 7, {{kBlack, '#'}, {kWhite, 'o'}, {kGrey, '.'}});
  // Mirror images left-right and top-bottom, touching all four sides.
  std::vector<std::string> rows;
  for (size_t p = 0; p < pic.size(); p = pic.find('\n', p) + 1) rows.push_back(pic.substr(p, 9));
  for (int y = 0; y < 7; ++y) {
    EXPECT_EQ(rows[size_t(y)], std::string(rows[size_t(y)].rbegin(), rows[size_t(y)].rend()));
    EXPECT_EQ(rows[size_t(y)], rows[size_t(6 - y)]);
  }
  EXPECT_NE(rows[0].find('#'), std::string::npos);
  EXPECT_EQ(rows[3][0], '#');
  EXPECT_EQ(rows[3][4], 'o');
  EXPECT_EQ(rows[0][0], '.');
  DibDC r(8, 6, 32, kGrey);
  SelectObject(r.dc(), GetStockObject(BLACK_PEN));
  SelectObject(r.dc(), GetStockObject(WHITE_BRUSH));
  RoundRect(r.dc(), 0, 0, 8, 6, 4, 4);
  EXPECT_EQ(GetPixel(r.dc(), 0, 0), kGrey);
  EXPECT_EQ(GetPixel(r.dc(), 3, 0), kBlack);
  EXPECT_EQ(GetPixel(r.dc(), 0, 3), kBlack);
  EXPECT_EQ(GetPixel(r.dc(), 3, 3), kWhite);
  EXPECT_EQ(GetPixel(r.dc(), 7, 5), kGrey);
  SelectObject(d.dc(), op);
  SelectObject(d.dc(), ob);
}

TEST(Shapes2, PolygonFillModes) {
  // A pentagram: alternate leaves the centre empty, winding fills it.
  const POINT star[5] = {{10, 0}, {16, 19}, {0, 7}, {20, 7}, {4, 19}};
  DibDC a(21, 20, 32, kGrey), w(21, 20, 32, kGrey);
  for (DibDC* d : {&a, &w}) {
    SelectObject(d->dc(), GetStockObject(NULL_PEN));
    SelectObject(d->dc(), GetStockObject(WHITE_BRUSH));
  }
  Polygon(a.dc(), star, 5);
  SetPolyFillMode(w.dc(), WINDING);
  Polygon(w.dc(), star, 5);
  EXPECT_EQ(GetPixel(a.dc(), 10, 10), kGrey);
  EXPECT_EQ(GetPixel(w.dc(), 10, 10), kWhite);
  EXPECT_EQ(GetPixel(a.dc(), 10, 3), kWhite);
  EXPECT_EQ(GetPixel(w.dc(), 10, 3), kWhite);
}

TEST(Blit2, MaskBltBackgroundOperationWithAPattern) {
  DibDC d(4, 1, 32, kGrey);
  HBRUSH red = CreateSolidBrush(kRed);
  HGDIOBJ old = SelectObject(d.dc(), red);
  const uint8_t rows[] = {0xA0, 0x00};  // 1 0 1 0
  HBITMAP mask = CreateBitmap(4, 1, 1, 1, rows);
  // Where the mask is 1 keep the destination, elsewhere paint the pattern.
  MaskBlt(d.dc(), 0, 0, 4, 1, nullptr, 0, 0, mask, 0, 0, MAKEROP4(0x00AA0029, PATCOPY));
  EXPECT_EQ(Picture(d.dc(), 4, 1, {{kRed, 'r'}, {kGrey, '.'}}), Rows({".r.r"}));
  SelectObject(d.dc(), old);
  DeleteObject(red);
  DeleteObject(mask);
}

}  // namespace
