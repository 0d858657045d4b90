// The shared drawing helpers: frames, focus dots, the two bar painters and the
// masked copies, each checked against pictures written from the drawing rules.
#include "widgets/RzCommon.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/gdi/text.h"
#include "platform/vcl/themes.h"
#include "tests/widgets/widget_pictures.h"
#include "widgets/RzGrafx.h"

namespace {

using widgettest::Rows;
using widgettest::TLegend;
using widgettest::TPage;

constexpr TColor kSentinel = 0x123456;
constexpr TColor kUL = 0x0000C0, kLR = 0xC00000;

TEST(Frames, SidesDrawUpperLeftThenLowerRightAndShrinkEvenWhenNothingIsDrawn) {
  TPage p(6, 5);
  TRect r = PaintSides(p.Canvas(), TRect{0, 0, 6, 5}, kUL, kLR, sdAllSides);
  const TLegend legend{{'.', kSentinel}, {'U', kUL}, {'L', kLR}};
  EXPECT_EQ(p.Picture(legend), Rows({"UUUUUL", "U....L", "U....L", "U....L", "LLLLLL"}));
  EXPECT_EQ(r, (TRect{1, 1, 5, 4}));

  TPage q(6, 5);
  r = PaintSides(q.Canvas(), TRect{0, 0, 6, 5}, kUL, kLR, TSides{sdLeft, sdBottom});
  EXPECT_EQ(q.Picture(legend), Rows({"U.....", "U.....", "U.....", "U.....", "LLLLLL"}));
  EXPECT_EQ(r, (TRect{1, 0, 6, 4}));

  TPage n(6, 5);
  r = PaintSides(n.Canvas(), TRect{0, 0, 6, 5}, clNone, clNone, sdAllSides);
  EXPECT_EQ(n.Picture(legend), Rows({"......", "......", "......", "......", "......"}));
  EXPECT_EQ(r, (TRect{1, 1, 5, 4}));

  TPage b(6, 6);
  r = PaintBevel(b.Canvas(), TRect{0, 0, 6, 6}, kUL, kLR, 2, sdAllSides);
  EXPECT_EQ(b.Picture(legend), Rows({"UUUUUL", "UUUULL", "UU..LL", "UU..LL", "ULLLLL", "LLLLLL"}));
  EXPECT_EQ(r, (TRect{2, 2, 4, 4}));
  EXPECT_EQ(PaintBevel(b.Canvas(), TRect{0, 0, 6, 6}, kUL, kLR, 0, sdAllSides), (TRect{0, 0, 6, 6}));
}

TEST(Frames, StylesUseTheirSystemColourPairs) {
  const TLegend legend{{'.', kSentinel}, {'S', clBtnShadow}, {'H', clBtnHighlight}, {'D', cl3DDkShadow},
                       {'L', cl3DLight},  {'T', clBtnText}};
  TPage groove(6, 5);
  TRect r = PaintFrameStyle(groove.Canvas(), TRect{0, 0, 6, 5}, fsGroove, sdAllSides);
  EXPECT_EQ(groove.Picture(legend), Rows({"SSSSSH", "SHHHSH", "SH..SH", "SSSSSH", "HHHHHH"}));
  EXPECT_EQ(r, (TRect{2, 2, 4, 3}));

  // A groove with only its top and left: the open ends get their corner pixels.
  TPage open(6, 5);
  r = PaintFrameStyle(open.Canvas(), TRect{0, 0, 6, 5}, fsGroove, TSides{sdLeft, sdTop});
  EXPECT_EQ(open.Picture(legend), Rows({"SSSSSS", "SHHHHH", "SH....", "SH....", "SH...."}));
  EXPECT_EQ(r, (TRect{2, 2, 6, 5}));

  TPage lowered(6, 6);
  r = PaintFrameStyle(lowered.Canvas(), TRect{0, 0, 6, 6}, fsLowered, sdAllSides);
  EXPECT_EQ(lowered.Picture(legend), Rows({"SSSSSH", "SDDDLH", "SD..LH", "SD..LH", "SLLLLH", "HHHHHH"}));
  EXPECT_EQ(r, (TRect{2, 2, 4, 4}));

  TPage down(6, 6);
  PaintFrameStyle(down.Canvas(), TRect{0, 0, 6, 6}, fsButtonDown, sdAllSides);
  EXPECT_EQ(down.Picture(legend), Rows({"TTTTTT", "TSSSST", "TS..ST", "TS..ST", "TSSSST", "TTTTTT"}));

  TPage flat(4, 4);
  r = PaintFrameStyle(flat.Canvas(), TRect{0, 0, 4, 4}, fsFlat, sdAllSides);
  EXPECT_EQ(flat.Picture(legend), Rows({"DDDD", "D..D", "D..D", "DDDD"}));

  TPage none(4, 4);
  EXPECT_EQ(PaintFrameStyle(none.Canvas(), TRect{0, 0, 4, 4}, fsNone, sdAllSides), (TRect{0, 0, 4, 4}));
  EXPECT_EQ(none.Picture(legend), Rows({"....", "....", "....", "...."}));
}

TEST(Frames, RoundedFlatFramesCutTheirCornersAndFocusDotsSkipEveryOtherPixel) {
  const TLegend legend{{'.', kSentinel}, {'C', kUL}, {'K', clBlack}};
  TPage p(6, 5);
  TRect r = PaintRoundedFlatFrame(p.Canvas(), TRect{0, 0, 6, 5}, kUL, sdAllSides);
  EXPECT_EQ(p.Picture(legend), Rows({"..CC..", ".C..C.", "C....C", ".C..C.", "..CC.."}));
  EXPECT_EQ(r, (TRect{2, 2, 4, 3}));

  TPage d(7, 5);
  r = PaintFocusDots(d.Canvas(), TRect{0, 0, 7, 5});
  EXPECT_EQ(d.Picture(legend), Rows({".K.K.K.", "K.....K", ".......", "K.....K", ".K.K.K."}));
  EXPECT_EQ(r, (TRect{1, 1, 6, 4}));
}

TEST(Frames, BordersStackOuterStyleBorderRingsAndInnerStyle) {
  const TColor border = 0x94AEAC, flat = 0x404040, back = 0xFFFFFF;
  const TColor fc = ShiftColor(flat, 30);
  const TLegend legend{{'.', kSentinel}, {'B', border}, {'F', fc}, {'S', clBtnShadow}, {'H', clBtnHighlight}};
  // The updater's bars: no outer style, one ring of border colour.
  TPage u(8, 5);
  TRect r = PaintBorders(u.Canvas(), TRect{0, 0, 8, 5}, fsNone, fsNone, 1, sdAllSides, 1, border, clBtnHighlight,
                         clBtnShadow, flat, 30, back, clBtnFace, false, true);
  EXPECT_EQ(u.Picture(legend), Rows({"BBBBBBBB", "B......B", "B......B", "B......B", "BBBBBBBB"}));
  EXPECT_EQ(r, (TRect{1, 1, 7, 4}));

  // A status outer bevel, then a soft flat inner frame that leaves its corners.
  TPage s(8, 6);
  r = PaintBorders(s.Canvas(), TRect{0, 0, 8, 6}, fsStatus, fsFlat, 0, sdAllSides, 1, border, clBtnHighlight,
                   clBtnShadow, flat, 30, back, clBtnFace, false, true);
  EXPECT_EQ(s.Picture(legend), Rows({"SSSSSSSH", "S.FFFF.H", "SF....FH", "SF....FH", "S.FFFF.H", "HHHHHHHH"}));
  EXPECT_EQ(r, (TRect{2, 2, 6, 4}));

  // Flat bold outer: two rings of the adjusted flat colour.
  TPage b(6, 6);
  r = PaintBorders(b.Canvas(), TRect{0, 0, 6, 6}, fsFlatBold, fsNone, 0, sdAllSides, 1, border, clBtnHighlight,
                   clBtnShadow, flat, 30, back, clBtnFace, false, false);
  EXPECT_EQ(b.Picture(legend), Rows({"FFFFFF", "FFFFFF", "FF..FF", "FF..FF", "FFFFFF", "FFFFFF"}));
  EXPECT_EQ(r, (TRect{2, 2, 4, 4}));
}

// ---- Bars ----

const TColor kBar = 0xC2B787, kBack = 0xFFFFFF;

// The segment bar's picture from its rules: N segments of S pixels after a margin M,
// each outlined in the back colour, the first Lit ones filled with the bar colour.
std::string SegmentPicture(int W, int H, bool Vertical, int N, int S, int M, int Lit) {
  std::string out;
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const int along = Vertical ? y : x, across = Vertical ? x : y, width = Vertical ? W : H;
      const int pos = along - M;
      char c = 'K';
      if (pos >= 0 && pos < N * S) {
        const int seg = pos / S, in = pos % S;
        const int index = Vertical ? N - seg : seg + 1;
        if (in > 0 && in < S - 1 && across > 0 && across < width - 1 && index <= Lit) c = 'B';
      }
      out += c;
    }
    out += '\n';
  }
  return out;
}

TEST(Bars, SegmentBarsFitTheirSegmentsAndLightTruncatedPercentages) {
  const TLegend legend{{'B', kBar}, {'K', kBack}};
  TPage p(60, 8);
  // 60 pixels cannot take 20 segments: 10 of 6, and 55% lights 5 of them.
  PaintSegmentBar(p.Canvas(), TRect{0, 0, 60, 8}, orHorizontal, kBar, kBack, 20, 55, false);
  EXPECT_EQ(p.Picture(legend), SegmentPicture(60, 8, false, 10, 6, 0, 5));

  // 103 pixels, 20 segments of 5: one pixel of margin before, two after.
  TPage q(103, 6);
  PaintSegmentBar(q.Canvas(), TRect{0, 0, 103, 6}, orHorizontal, kBar, kBack, 20, 49, false);
  EXPECT_EQ(q.Picture(legend), SegmentPicture(103, 6, false, 20, 5, 1, 9));

  // Vertical bars fill from the bottom; 84 pixels of 20 segments give 4-pixel
  // segments plus one more from what is left over.
  TPage v(7, 84);
  PaintSegmentBar(v.Canvas(), TRect{0, 0, 7, 84}, orVertical, kBar, kBack, 20, 30, false);
  EXPECT_EQ(v.Picture(legend), SegmentPicture(7, 84, true, 21, 4, 0, 6));

  // More than 100% lights every segment and draws nothing outside the bar.
  TPage over(64, 8, kSentinel);
  PaintSegmentBar(over.Canvas(), TRect{2, 0, 62, 8}, orHorizontal, kBar, kBack, 10, 250, false);
  const std::string full = over.Picture({{'B', kBar}, {'K', kBack}, {'.', kSentinel}});
  for (int y = 0; y < 8; ++y) {
    EXPECT_EQ(full[y * 65 + 0], '.');
    EXPECT_EQ(full[y * 65 + 63], '.');
  }
}

class TextBars : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    vx::gdi::SetFontFile("WidgetSans", "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
  }
  static void TearDownTestSuite() { vx::gdi::SetFontFile("WidgetSans", ""); }

  static void UseFont(TCanvas* Canvas) {
    Canvas->Font()->SetName("WidgetSans");
    Canvas->Font()->SetHeight(-11);
  }

  // The text as the canvas draws it, black on white, centred on X at Y.
  static std::vector<bool> TextMask(int W, int H, int X, int Y, const std::string& Text) {
    TPage t(W, H, clWhite);
    UseFont(t.Canvas());
    t.Canvas()->Font()->SetColor(clBlack);
    t.Canvas()->Brush()->SetStyle(bsClear);
    SetTextAlign(t.Canvas()->Handle(), TA_CENTER);
    t.Canvas()->TextOut(X, Y, Text);
    std::vector<bool> mask;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) mask.push_back(ColorToRGB(t.Pixel(x, y)) == 0);
    return mask;
  }

  // Checks the bar against its rule: inside the filled part bar colour with the text in
  // the back colour, outside the other way round.
  static void ExpectTextBar(TPage& P, const TRect& Filled, const std::vector<bool>& Text, int W, int H) {
    int textPixels = 0;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const bool inside = x >= Filled.left && x < Filled.right && y >= Filled.top && y < Filled.bottom;
        const bool text = Text[y * W + x];
        textPixels += text;
        const TColor want = (inside != text) ? kBar : kBack;
        ASSERT_EQ(ColorToRGB(P.Pixel(x, y)), want) << "at " << x << "," << y;
      }
    EXPECT_GT(textPixels, 20);
  }
};

TEST_F(TextBars, ThePercentTextIsOneStringInTwoColoursCentredOnHalfTheRightEdge) {
  TPage p(100, 16);
  UseFont(p.Canvas());
  PaintTextBar(p.Canvas(), TRect{0, 0, 100, 16}, orHorizontal, kBar, kBack, 37, true);
  const int y = (16 - p.Canvas()->TextHeight("X")) / 2;
  ExpectTextBar(p, TRect{0, 0, 37, 16}, TextMask(100, 16, 50, y, "37%"), 100, 16);

  // Zero: nothing filled, the text in the bar colour.
  TPage z(100, 16);
  UseFont(z.Canvas());
  PaintTextBar(z.Canvas(), TRect{0, 0, 100, 16}, orHorizontal, kBar, kBack, 0, true);
  ExpectTextBar(z, TRect{0, 0, 0, 16}, TextMask(100, 16, 50, y, "0%"), 100, 16);

  // Past 100 the bar is full and the number is printed as given.
  TPage o(100, 16);
  UseFont(o.Canvas());
  PaintTextBar(o.Canvas(), TRect{0, 0, 100, 16}, orHorizontal, kBar, kBack, 150, true);
  ExpectTextBar(o, TRect{0, 0, 100, 16}, TextMask(100, 16, 50, y, "150%"), 100, 16);
}

TEST_F(TextBars, VerticalBarsFillFromTheBottomAndInsetBarsCentreOnHalfTheirRightEdge) {
  TPage p(30, 60);
  UseFont(p.Canvas());
  PaintTextBar(p.Canvas(), TRect{0, 0, 30, 60}, orVertical, kBar, kBack, 25, true);
  const int h = p.Canvas()->TextHeight("X");
  ExpectTextBar(p, TRect{0, 45, 30, 60}, TextMask(30, 60, 15, (60 - h) / 2, "25%"), 30, 60);

  // A bar inside a frame: x is half of the right edge, not the middle of the bar.
  TPage q(120, 20, kBack);
  UseFont(q.Canvas());
  PaintTextBar(q.Canvas(), TRect{40, 2, 118, 18}, orHorizontal, kBar, kBack, 50, true);
  std::vector<bool> mask = TextMask(120, 20, 59, 2 + (16 - h) / 2, "50%");
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 120; ++x)
      if (x < 40 || x >= 118 || y < 2 || y >= 18) mask[y * 120 + x] = false;
  ExpectTextBar(q, TRect{40, 2, 79, 18}, mask, 120, 20);

  // Without the percentage the bar is plain.
  TPage n(40, 10);
  PaintTextBar(n.Canvas(), TRect{0, 0, 40, 10}, orHorizontal, kBar, kBack, 25, false);
  std::string want;
  for (int y = 0; y < 10; ++y) want += std::string(10, 'B') + std::string(30, 'K') + "\n";
  EXPECT_EQ(n.Picture({{'B', kBar}, {'K', kBack}}), want);
}

// ---- Themes ----

class Themed : public ::testing::Test {
 protected:
  widgettest::TThemesOn themes;
  widgettest::TThemesOn::TDrawn& drawn = themes.Drawn();
};

TEST_F(Themed, ThemedSegmentBarsDrawTheChunkPartAndVerticalChunksComeUpsideDown) {
  TPage p(52, 10);
  PaintSegmentBar(p.Canvas(), TRect{0, 0, 52, 10}, orHorizontal, kBar, kBack, 20, 50, true);
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_EQ(drawn[0].first, ThemeServices()->GetElementDetails(tpChunk));
  EXPECT_EQ(drawn[0].second, (TRect{1, 1, 26, 9}));

  TPage v(10, 42);
  PaintSegmentBar(v.Canvas(), TRect{0, 0, 10, 42}, orVertical, kBar, kBack, 20, 25, true);
  ASSERT_EQ(drawn.size(), 2u);
  EXPECT_EQ(drawn[1].first, ThemeServices()->GetElementDetails(tpChunkVert));
  EXPECT_EQ(drawn[1].second, (TRect{0, 0, 8, 10})) << "drawn into a bitmap of the chunk's size";
  // Mirrored: the mark of the part's first row lands on the chunk's last row.
  EXPECT_EQ(ColorToRGB(v.Pixel(4, 40)), 0xFF00FF);
  EXPECT_NE(ColorToRGB(v.Pixel(4, 31)), 0xFF00FF);

  // Zero percent still shows a one-pixel chunk.
  TPage z(10, 42);
  PaintSegmentBar(z.Canvas(), TRect{0, 0, 10, 42}, orVertical, kBar, kBack, 20, 0, true);
  EXPECT_EQ(drawn[2].second, (TRect{0, 0, 8, 1}));
  // Without theme awareness the classic bar is drawn.
  PaintSegmentBar(z.Canvas(), TRect{0, 0, 10, 42}, orVertical, kBar, kBack, 20, 0, false);
  EXPECT_EQ(drawn.size(), 3u);
}

// ---- Bitmaps ----

// A 4 x 4 picture: olive is the colour left out.
void FillPicture(TBitmap* B) {
  B->SetPixelFormat(pf24bit);
  B->SetSize(4, 4);
  const char* rows[] = {"OOOO", "ORRO", "OBBO", "OOOO"};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      B->Canvas()->SetPixels(x, y, rows[y][x] == 'O' ? clOlive : rows[y][x] == 'R' ? clRed : clBlue);
}

// A checkerboard of two greys.
void Checker(TPage& P, int W, int H) {
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) P.Canvas()->SetPixels(x, y, (x + y) % 2 ? TColor(0x202020) : TColor(0xE0E0E0));
}

TEST(Bitmaps, MaskedCopiesLeaveTheTransparentColourOutWhateverTheCanvasColours) {
  TBitmap pic;
  FillPicture(&pic);
  const TLegend legend{{'a', 0x202020}, {'b', 0xE0E0E0}, {'R', clRed}, {'B', clBlue}};
  for (int mode = 0; mode < 2; ++mode) {
    TPage p(6, 6);
    Checker(p, 6, 6);
    // Colours on the canvas that would spoil a mask taken through them.
    p.Canvas()->Brush()->SetColor(clBtnFace);
    p.Canvas()->Font()->SetColor(clYellow);
    if (mode == 0)
      BlitMasked(p.Canvas(), &pic, TRect{1, 1, 5, 5}, clOlive, TRect{0, 0, 4, 4});
    else
      BlitTransparent(p.Canvas(), &pic, TRect{1, 1, 5, 5}, clOlive, TRect{0, 0, 4, 4});
    EXPECT_EQ(p.Picture(legend), Rows({"bababa", "ababab", "baRRba", "abBBab", "bababa", "ababab"}))
        << "mode " << mode;
  }

  // Stretched to twice the size; tiled with the last tiles cut.
  TPage s(8, 8);
  Checker(s, 8, 8);
  StretchMasked(s.Canvas(), &pic, TRect{0, 0, 8, 8}, clOlive);
  EXPECT_EQ(s.Picture(legend), Rows({"babababa", "abababab", "baRRRRba", "abRRRRab", "baBBBBba", "abBBBBab",
                                      "babababa", "abababab"}));
  TPage t(7, 6);
  Checker(t, 7, 6);
  TileMasked(t.Canvas(), &pic, TRect{0, 0, 7, 6}, clOlive);
  EXPECT_EQ(t.Picture(legend), Rows({"bababab", "aRRbaRR", "bBBabBB", "abababa", "bababab", "aRRbaRR"}));
}

TEST(Bitmaps, FlipVerticalMirrorsRows) {
  TBitmap pic;
  FillPicture(&pic);
  FlipVertical(&pic);
  const char* rows[] = {"OOOO", "OBBO", "ORRO", "OOOO"};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      const TColor want = rows[y][x] == 'O' ? clOlive : rows[y][x] == 'R' ? clRed : clBlue;
      EXPECT_EQ(ColorToRGB(pic.Canvas()->Pixels(x, y)), want) << x << "," << y;
    }
}

}  // namespace
