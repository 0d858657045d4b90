// Pixel rules of lines and shapes, checked against pictures written out here.
#include <gtest/gtest.h>

#include "tests/platform/gdi/gdi_test_util.h"

using gditest::DibDC;
using gditest::Picture;
using gditest::Rows;

namespace {

const COLORREF kGrey = RGB(128, 128, 128), kBlack = RGB(0, 0, 0), kWhite = RGB(255, 255, 255),
               kRed = RGB(255, 0, 0);
const std::map<COLORREF, char> kLegend{{kGrey, '.'}, {kBlack, '#'}, {kWhite, 'o'}, {kRed, 'r'}};

struct Tools {
  explicit Tools(HDC dc, HPEN pen, HBRUSH brush) : dc_(dc) {
    oldPen_ = SelectObject(dc, pen);
    oldBrush_ = SelectObject(dc, brush);
    pen_ = pen, brush_ = brush;
  }
  ~Tools() {
    SelectObject(dc_, oldPen_);
    SelectObject(dc_, oldBrush_);
    DeleteObject(pen_);
    DeleteObject(brush_);
  }
  HDC dc_;
  HGDIOBJ oldPen_, oldBrush_;
  HPEN pen_;
  HBRUSH brush_;
};

TEST(Shapes, RectangleOutlinesItsEdgesAndFillsInside) {
  DibDC d(8, 7);
  Tools t(d.dc(), CreatePen(PS_SOLID, 1, kBlack), CreateSolidBrush(kWhite));
  Rectangle(d.dc(), 1, 1, 7, 6);  // 6 x 5
  EXPECT_EQ(Picture(d.dc(), 8, 7, kLegend), Rows({
                                                "........",
                                                ".######.",
                                                ".#oooo#.",
                                                ".#oooo#.",
                                                ".#oooo#.",
                                                ".######.",
                                                "........",
                                            }));
}

TEST(Shapes, NullPenRectangleIsOnePixelSmaller) {
  DibDC d(8, 7);
  Tools t(d.dc(), CreatePen(PS_NULL, 1, kBlack), CreateSolidBrush(kWhite));
  Rectangle(d.dc(), 1, 1, 7, 6);
  EXPECT_EQ(Picture(d.dc(), 8, 7, kLegend), Rows({
                                                "........",
                                                ".ooooo..",
                                                ".ooooo..",
                                                ".ooooo..",
                                                ".ooooo..",
                                                "........",
                                                "........",
                                            }));
}

TEST(Shapes, InsideFramePenStaysWithinTheBounds) {
  DibDC d(9, 8);
  Tools t(d.dc(), CreatePen(PS_INSIDEFRAME, 2, kBlack), CreateSolidBrush(kWhite));
  Rectangle(d.dc(), 1, 1, 8, 7);
  EXPECT_EQ(Picture(d.dc(), 9, 8, kLegend), Rows({
                                                ".........",
                                                ".#######.",
                                                ".#######.",
                                                ".##ooo##.",
                                                ".##ooo##.",
                                                ".#######.",
                                                ".#######.",
                                                ".........",
                                            }));
}

TEST(Shapes, LinesLeaveOutTheirLastPoint) {
  DibDC d(6, 6);
  Tools t(d.dc(), CreatePen(PS_SOLID, 1, kBlack), CreateSolidBrush(kWhite));
  MoveToEx(d.dc(), 0, 0, nullptr);
  LineTo(d.dc(), 5, 0);   // right
  LineTo(d.dc(), 5, 5);   // down
  LineTo(d.dc(), 0, 5);   // left
  MoveToEx(d.dc(), 1, 1, nullptr);
  LineTo(d.dc(), 4, 4);   // diagonal
  EXPECT_EQ(Picture(d.dc(), 6, 6, kLegend), Rows({
                                                "######",
                                                ".#...#",
                                                "..#..#",
                                                "...#.#",
                                                ".....#",
                                                ".#####",
                                            }));
  POINT p;
  GetCurrentPositionEx(d.dc(), &p);
  EXPECT_EQ(p, (POINT{4, 4}));
}

TEST(Shapes, DottedPensAlternateRunsOfThreeAndFillGapsWhenOpaque) {
  DibDC d(10, 2);
  Tools t(d.dc(), CreatePen(PS_DOT, 1, kBlack), CreateSolidBrush(kWhite));
  SetBkMode(d.dc(), TRANSPARENT);
  MoveToEx(d.dc(), 0, 0, nullptr);
  LineTo(d.dc(), 10, 0);
  SetBkMode(d.dc(), OPAQUE);
  SetBkColor(d.dc(), kRed);
  MoveToEx(d.dc(), 0, 1, nullptr);
  LineTo(d.dc(), 10, 1);
  EXPECT_EQ(Picture(d.dc(), 10, 2, kLegend), Rows({
                                                 "###...###.",
                                                 "###rrr###r",
                                             }));
}

TEST(Shapes, FillFrameAndInvertRectangles) {
  DibDC d(7, 5);
  HBRUSH red = CreateSolidBrush(kRed);
  RECT r{1, 1, 6, 4};
  FrameRect(d.dc(), &r, red);
  RECT inner{2, 2, 3, 3};
  FillRect(d.dc(), &inner, reinterpret_cast<HBRUSH>(uintptr_t(COLOR_WINDOW + 1)));
  EXPECT_EQ(Picture(d.dc(), 7, 5, kLegend), Rows({
                                                ".......",
                                                ".rrrrr.",
                                                ".ro..r.",
                                                ".rrrrr.",
                                                ".......",
                                            }));
  RECT all{0, 0, 7, 5};
  InvertRect(d.dc(), &all);
  EXPECT_EQ(GetPixel(d.dc(), 0, 0), RGB(127, 127, 127));
  EXPECT_EQ(GetPixel(d.dc(), 1, 1), RGB(0, 255, 255));
  DeleteObject(red);
}

TEST(Shapes, FocusRectangleInvertsEveryOtherPixelAndUndoesItself) {
  DibDC d(6, 5);
  RECT r{0, 0, 6, 5};
  DrawFocusRect(d.dc(), &r);
  const std::map<COLORREF, char> legend{{kGrey, '.'}, {RGB(127, 127, 127), 'x'}};
  EXPECT_EQ(Picture(d.dc(), 6, 5, legend), Rows({
                                               "x.x.x.",
                                               ".....x",
                                               "x....." ,
                                               ".....x",
                                               "x.x.x.",
                                           }));
  DrawFocusRect(d.dc(), &r);
  EXPECT_EQ(Picture(d.dc(), 6, 5, legend), Rows({
                                                                                      "......",
                                                                                      "......",
                                                                                      "......",
                                                                                      "......",
                                                                                      "......",
                                                                                  }));
}

TEST(Shapes, DrawEdgeRaisedInnerWithMiddle) {
  DibDC d(5, 4);
  RECT r{0, 0, 5, 4};
  DrawEdge(d.dc(), &r, BDR_RAISEDINNER, BF_RECT | BF_MIDDLE | BF_ADJUST);
  const std::map<COLORREF, char> legend{{GetSysColor(COLOR_BTNHIGHLIGHT), 'h'},
                                        {GetSysColor(COLOR_BTNSHADOW), 's'},
                                        {GetSysColor(COLOR_BTNFACE), 'f'}};
  EXPECT_EQ(Picture(d.dc(), 5, 4, legend), Rows({
                                               "hhhhs",
                                               "hfffs",
                                               "hfffs",
                                               "sssss",
                                           }));
  EXPECT_EQ(r, (RECT{1, 1, 4, 3}));
}

TEST(Shapes, DrawEdgeSunkenHasTwoRings) {
  DibDC d(6, 6, 32, RGB(1, 2, 3));
  RECT r{0, 0, 6, 6};
  DrawEdge(d.dc(), &r, EDGE_SUNKEN, BF_RECT);
  const std::map<COLORREF, char> legend{{GetSysColor(COLOR_BTNHIGHLIGHT), 'h'}, {GetSysColor(COLOR_BTNSHADOW), 's'},
                                        {GetSysColor(COLOR_3DDKSHADOW), 'd'},    {GetSysColor(COLOR_3DLIGHT), 'l'},
                                        {RGB(1, 2, 3), '.'}};
  EXPECT_EQ(Picture(d.dc(), 6, 6, legend), Rows({
                                               "sssssh",
                                               "sdddlh",
                                               "sd..lh",
                                               "sd..lh",
                                               "sllllh",
                                               "hhhhhh",
                                           }));
}

TEST(Shapes, PolygonFillsPixelCentresInside) {
  DibDC d(8, 6);
  Tools t(d.dc(), CreatePen(PS_NULL, 1, kBlack), CreateSolidBrush(kWhite));
  const POINT tri[3] = {{1, 1}, {7, 1}, {1, 5}};
  Polygon(d.dc(), tri, 3);
  EXPECT_EQ(Picture(d.dc(), 8, 6, kLegend), Rows({
                                                "........",
                                                ".ooooo..",
                                                ".oooo...",
                                                ".oo.....",
                                                ".o......",
                                                "........",
                                            }));
}

TEST(Shapes, ClippingAndOrigins) {
  DibDC d(8, 6);
  HBRUSH white = CreateSolidBrush(kWhite);
  const int saved = SaveDC(d.dc());
  SetViewportOrgEx(d.dc(), 2, 1, nullptr);
  IntersectClipRect(d.dc(), 0, 0, 4, 3);    // device (2,1)-(6,4)
  ExcludeClipRect(d.dc(), 1, 1, 2, 2);      // device (3,2)
  RECT all{-10, -10, 20, 20};
  FillRect(d.dc(), &all, white);
  RECT box;
  EXPECT_EQ(GetClipBox(d.dc(), &box), COMPLEXREGION);
  EXPECT_EQ(box, (RECT{0, 0, 4, 3}));
  RestoreDC(d.dc(), saved);
  POINT org;
  GetViewportOrgEx(d.dc(), &org);
  EXPECT_EQ(org, (POINT{0, 0}));
  EXPECT_EQ(Picture(d.dc(), 8, 6, kLegend), Rows({
                                                "........",
                                                "..oooo..",
                                                "..o.oo..",
                                                "..oooo..",
                                                "........",
                                                "........",
                                            }));
  // A selected region is in device units and ignores the origins.
  HRGN rgn = CreateRectRgn(0, 0, 1, 1);
  SelectClipRgn(d.dc(), rgn);
  SetWindowOrgEx(d.dc(), 5, 5, nullptr);
  EXPECT_EQ(PtVisible(d.dc(), 5, 5), TRUE);
  EXPECT_EQ(PtVisible(d.dc(), 0, 0), FALSE);
  DeleteObject(rgn);
  DeleteObject(white);
}

TEST(Shapes, StaleHandlesAreRefused) {
  HBRUSH b = CreateSolidBrush(kRed);
  EXPECT_EQ(GetObjectType(b), OBJ_BRUSH);
  EXPECT_TRUE(DeleteObject(b));
  EXPECT_EQ(GetObjectType(b), 0u);
  EXPECT_FALSE(DeleteObject(b));
  RECT r{0, 0, 1, 1};
  EXPECT_EQ(FillRect(nullptr, &r, b), 0);
  EXPECT_TRUE(DeleteObject(GetStockObject(DEFAULT_PALETTE)));
  EXPECT_EQ(GetObjectType(GetStockObject(DEFAULT_PALETTE)), OBJ_PAL);
}

}  // namespace

#include "platform/gdi/dc.h"

namespace {

TEST(Shapes, WindowDCsDrawAtTheirOriginWithinTheVisibleArea) {
  auto buffer = vx::gdi::Surface::Create(12, 8, 32, false);
  vx::gdi::SetWindowDCProvider([&](HWND, bool whole, vx::gdi::WindowSurface& out) {
    out.surface = buffer;
    out.origin = whole ? POINT{2, 1} : POINT{4, 3};
    out.visible = RECT{4, 3, 8, 6};
    return true;
  });
  HWND wnd = reinterpret_cast<HWND>(uintptr_t(42));
  HDC dc = GetDC(wnd);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(WindowFromDC(dc), wnd);
  HBRUSH white = CreateSolidBrush(kWhite);
  RECT r{0, 0, 100, 100};
  FillRect(dc, &r, white);
  RECT box;
  GetClipBox(dc, &box);
  EXPECT_EQ(box, (RECT{0, 0, 4, 3}));
  ReleaseDC(wnd, dc);
  int inside = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 12; ++x)
      if (buffer->GetRaw(x, y) == 0xFFFFFF) {
        ++inside;
        EXPECT_TRUE(x >= 4 && x < 8 && y >= 3 && y < 6) << x << "," << y;
      }
  EXPECT_EQ(inside, 12);
  vx::gdi::SetWindowDCProvider(nullptr);
  EXPECT_EQ(GetDC(wnd), nullptr);
  DeleteObject(white);
}

}  // namespace
