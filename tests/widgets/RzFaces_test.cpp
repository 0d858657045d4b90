// The faces of the radio and bitmap buttons, compared with pictures built from the
// drawing rules: the radio's 13 x 13 letter maps with their role colours, captions
// drawn with a pinned font, and the bitmap button's state pictures.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>

#include "platform/gdi/dc.h"
#include "platform/gdi/text.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/themes.h"
#include "widgets/RzGrafx.h"
#include "tests/support/headless_gui.h"
#include "tests/widgets/widget_pictures.h"
#include "widgets/RzBmpBtn.h"
#include "widgets/RzRadChk.h"

namespace {

using vx::display::InjectMouseDown;
using vx::display::InjectMouseMove;
using vx::display::InjectMouseUp;
using widgettest::FormPixel;

constexpr TColor kFormColor = 0xE0E8F0;

// The radio pictures as letters, one per pixel.
constexpr std::array<const char*, 13> kUnchecked = {
    "TTTTEGFGETTTT", "TTEFALULAFETT", "TEGLUUUUULGET", "TFLUUYWYUUMFT", "EAUUWWWWWRRPE",
    "GLUYWWWWWYRMG", "FUUWWWWWWWRRF", "GLUYWWWWWYRMG", "EAUUWWWWWRRPE", "TFLURYWYRRMFT",
    "TEGMRRRRRMGET", "TTEFPMRMPFETT", "TTTTEGFGETTTT"};
constexpr std::array<const char*, 5> kCheckedMiddle = {"EAUUWBNBWRRPE", "GLUYBNNNBYRMG", "FUUWNNNNNWRRF",
                                                       "GLUYBNNNBYRMG", "EAUUWBNBWRRPE"};

char Letter(bool Checked, int X, int Y) {
  return Checked && Y >= 4 && Y <= 8 ? kCheckedMiddle[Y - 4][X] : kUnchecked[Y][X];
}

// What each letter becomes; T is the background.
using TRoles = std::function<TColor(char)>;

// The mask colours moved off by one in the red byte.
TColor Adjusted(TColor C) {
  const int32_t rgb = ColorToRGB(C);
  return rgb == 0x008080 || rgb == 0x00FF00 || rgb == 0x808080 ? rgb + 1 : rgb;
}

struct TRadioColors {
  TColor frame = clBtnShadow, highlight = clHighlight, disabled = clBtnFace, hot = clHighlight;
};

// The role colours of a hot-tracking radio button, from its drawing rules.
TRoles HotTrackRoles(bool FullColor, bool Enabled, bool Pressed, bool Over, TRadioColors K = {}) {
  std::map<char, TColor> m;
  m['W'] = clWindow;
  if (FullColor) {
    m['F'] = Adjusted(K.frame);
    m['G'] = BrightenColor(K.frame, 10);
    m['A'] = m['P'] = MixColors(K.frame, clWindow, 128);
    m['M'] = m['L'] = MixColors(K.frame, clWindow, 80);
    m['R'] = m['U'] = m['Y'] = clWindow;
    m['N'] = Adjusted(K.highlight);
    m['B'] = MixColors(K.highlight, clWindow, 153);
    m['E'] = clGreen;
  } else {
    m['F'] = m['G'] = m['E'] = Adjusted(K.frame);
    for (char c : std::string("APMLRUY")) m[c] = clWindow;
    m['N'] = m['B'] = Adjusted(K.highlight);
  }
  const TColor track = OppositeHueColor(K.hot, 180), light = track, dark = DimColor(track, 30);
  const TColor q = DimColor(clWindow, 20);
  if (!Enabled) {
    m['W'] = K.disabled;
    m['A'] = m['P'] = MixColors(K.frame, K.disabled, 128);
    m['M'] = m['L'] = MixColors(K.frame, K.disabled, 80);
    m['R'] = m['U'] = m['Y'] = K.disabled;
    m['N'] = clBtnShadow;
    m['B'] = MixColors(K.highlight, K.disabled, 128);
  } else if (FullColor && Pressed) {
    m['W'] = q;
    m['A'] = m['P'] = MixColors(K.frame, q, 128);
    m['M'] = m['L'] = MixColors(K.frame, q, 80);
    m['R'] = m['U'] = m['Y'] = q;
    m['B'] = MixColors(K.highlight, q, 153);
  } else if (FullColor && Over) {
    m['A'] = MixColors(K.frame, dark, 128);
    m['P'] = MixColors(K.frame, light, 128);
    m['M'] = MixColors(K.frame, dark, 80);
    m['L'] = MixColors(K.frame, light, 80);
    m['R'] = dark;
    m['U'] = light;
    m['Y'] = MixColors(light, clWindow, 128);
  }
  return [m](char c) { return m.at(c); };
}

// The glyph as it lands on the control: the outside takes the background, the mask
// colour the window colour and the soft edge the frame mixed half with the background.
void ExpectGlyph(TCustomForm* Form, int X, int Y, bool Checked, const TRoles& Roles, TColor Back,
                 TColor Frame = clBtnShadow) {
  Form->PaintNow();
  for (int y = 0; y < 13; ++y)
    for (int x = 0; x < 13; ++x) {
      const char letter = Letter(Checked, x, y);
      int32_t want = letter == 'T' ? ColorToRGB(Back) : ColorToRGB(Roles(letter));
      if (want == 0x008080) want = ColorToRGB(Back);
      if (want == 0x00FF00) want = ColorToRGB(clWindow);
      if (want == 0x008000) want = ColorToRGB(MixColors(Frame, Back, 128));
      ASSERT_EQ(FormPixel(Form, X + x, Y + y), want) << "pixel " << x << "," << y << " letter " << letter;
    }
}

class Faces : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    vx::gdi::SetFontFile("WidgetSans", "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
  }
  static void TearDownTestSuite() { vx::gdi::SetFontFile("WidgetSans", ""); }

  void SetUp() override {
    form.SetBounds(0, 0, 300, 200);
    form.SetColor(kFormColor);
    form.Font()->SetName("WidgetSans");
    form.Font()->SetHeight(-11);
  }

  TRzRadioButton* AddRadio(const std::string& Caption, int Y) {
    auto* rb = new TRzRadioButton(&form);
    rb->SetCaption(Caption);
    rb->SetBounds(10, Y, 120, 17);
    rb->SetParent(&form);
    rb->SetHotTrack(true);
    return rb;
  }

  THeadlessGui gui;
  TForm form{Application};
};

TEST_F(Faces, HotTrackingRadioGlyphsInEveryState) {
  auto* rb = AddRadio("Fast", 10);
  form.Show();
  THeadlessGui::Pump();
  EXPECT_EQ(rb->Color(), kFormColor) << "the parent's colour";
  ExpectGlyph(&form, 10, 12, false, HotTrackRoles(true, true, false, false), kFormColor);
  rb->SetChecked(true);
  ExpectGlyph(&form, 10, 12, true, HotTrackRoles(true, true, false, false), kFormColor);

  InjectMouseMove(&form, 15, 15);
  THeadlessGui::Pump();
  ExpectGlyph(&form, 10, 12, true, HotTrackRoles(true, true, false, true), kFormColor);
  InjectMouseDown(&form, mbLeft, 15, 15);
  THeadlessGui::Pump();
  ExpectGlyph(&form, 10, 12, true, HotTrackRoles(true, true, true, true), kFormColor);
  InjectMouseUp(&form, mbLeft, 15, 15);
  InjectMouseMove(&form, 250, 150);
  THeadlessGui::Pump();

  rb->SetEnabled(false);
  ExpectGlyph(&form, 10, 12, true, HotTrackRoles(true, false, false, false), kFormColor);
  rb->SetChecked(false);
  ExpectGlyph(&form, 10, 12, false, HotTrackRoles(true, false, false, false), kFormColor);
}

TEST_F(Faces, RadioGlyphsFollowTheirColoursAndAFewColourScreen) {
  auto* rb = AddRadio("Fast", 10);
  TRadioColors k;
  k.frame = 0x00FF00;  // the mask colour itself: moved off by one
  k.highlight = 0x2040C0;
  k.hot = 0x20A020;
  rb->SetFrameColor(k.frame);
  rb->SetHighlightColor(k.highlight);
  rb->SetHotTrackColor(k.hot);
  rb->SetChecked(true);
  form.Show();
  ExpectGlyph(&form, 10, 12, true, HotTrackRoles(true, true, false, false, k), kFormColor, k.frame);
  InjectMouseMove(&form, 15, 15);
  THeadlessGui::Pump();
  ExpectGlyph(&form, 10, 12, true, HotTrackRoles(true, true, false, true, k), kFormColor, k.frame);
  InjectMouseMove(&form, 250, 150);
  THeadlessGui::Pump();

  vx::gdi::SetScreenFormat(8, 1024, 768);
  rb->Invalidate();
  ExpectGlyph(&form, 10, 12, true, HotTrackRoles(false, true, false, false, k), kFormColor, k.frame);
  vx::gdi::SetScreenFormat(32, 1024, 768);
}

TEST_F(Faces, CustomGlyphCellsFollowCheckedPressedAndEnabled) {
  auto* rb = AddRadio("Fast", 10);
  const TColor cells[6] = {0x101010, 0x202020, 0x303030, 0x404040, 0x505050, 0x606060};
  TBitmap strip;
  strip.SetSize(60, 10);
  for (int i = 0; i < 6; ++i) {
    strip.Canvas()->Brush()->SetColor(cells[i]);
    strip.Canvas()->FillRect(TRect{i * 10, 0, i * 10 + 10, 10});
  }
  rb->SetCustomGlyphs(&strip);
  form.Show();
  auto cell = [&] {
    form.PaintNow();
    return FormPixel(&form, 15, 16);
  };
  EXPECT_EQ(cell(), cells[0]);
  InjectMouseMove(&form, 15, 15);
  InjectMouseDown(&form, mbLeft, 15, 15);
  THeadlessGui::Pump();
  EXPECT_EQ(cell(), cells[2]);
  InjectMouseUp(&form, mbLeft, 15, 15);
  THeadlessGui::Pump();
  EXPECT_EQ(cell(), cells[1]);
  InjectMouseDown(&form, mbLeft, 15, 15);
  THeadlessGui::Pump();
  EXPECT_EQ(cell(), cells[3]);
  InjectMouseUp(&form, mbLeft, 15, 15);
  rb->SetEnabled(false);
  EXPECT_EQ(cell(), cells[5]);
  rb->SetChecked(false);
  EXPECT_EQ(cell(), cells[4]);
}

TEST_F(Faces, ThemedRadioButtonsAskForTheirStatesPart) {
  widgettest::TThemesOn themes;
  auto* rb = AddRadio("Fast", 10);
  form.Show();
  auto last = [&] {
    form.PaintNow();
    return themes.Last();
  };
  TThemeServices* s = ThemeServices();
  EXPECT_EQ(last(), s->GetElementDetails(tbRadioButtonUncheckedNormal));
  InjectMouseMove(&form, 15, 15);
  THeadlessGui::Pump();
  EXPECT_EQ(last(), s->GetElementDetails(tbRadioButtonUncheckedHot));
  InjectMouseDown(&form, mbLeft, 15, 15);
  THeadlessGui::Pump();
  EXPECT_EQ(last(), s->GetElementDetails(tbRadioButtonUncheckedPressed));
  InjectMouseUp(&form, mbLeft, 15, 15);
  THeadlessGui::Pump();
  EXPECT_EQ(last(), s->GetElementDetails(tbRadioButtonCheckedHot));
  InjectMouseMove(&form, 250, 150);
  THeadlessGui::Pump();
  EXPECT_EQ(last(), s->GetElementDetails(tbRadioButtonCheckedNormal));
  rb->SetEnabled(false);
  EXPECT_EQ(last(), s->GetElementDetails(tbRadioButtonCheckedDisabled));
}

// The caption as DrawText puts it, black on white, in the radio's text rectangle.
std::vector<bool> CaptionMask(const std::string& Caption, int W, int H, int DX, int DY) {
  widgettest::TPage page(W, H, clWhite);
  TCanvas* c = page.Canvas();
  c->Font()->SetName("WidgetSans");
  c->Font()->SetHeight(-11);
  c->Font()->SetColor(clBlack);
  c->Brush()->SetStyle(bsClear);
  RECT r{18 + DX, 1 + DY, W - 1 + DX, H - 1 + DY};
  DrawText(c->Handle(), Caption.c_str(), int(Caption.size()), &r, DT_WORDBREAK | DT_EXPANDTABS);
  std::vector<bool> mask;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) mask.push_back(ColorToRGB(page.Pixel(x, y)) == 0);
  return mask;
}

TEST_F(Faces, CaptionsFocusDotsAndTheDisabledCaption) {
  auto* rb = AddRadio("Fast", 10);
  rb->Font()->SetColor(0x000080);
  form.Show();
  form.PaintNow();
  // Enabled: the caption in the font colour beside the glyph.
  const std::vector<bool> text = CaptionMask("Fast", 120, 17, 0, 0);
  int textPixels = 0;
  for (int y = 0; y < 17; ++y)
    for (int x = 14; x < 120; ++x) {
      const int32_t got = FormPixel(&form, 10 + x, 10 + y);
      ASSERT_EQ(got, text[y * 120 + x] ? 0x000080 : kFormColor) << x << "," << y;
      textPixels += text[y * 120 + x];
    }
  EXPECT_GT(textPixels, 20);

  // Focused: dots around the caption's width plus three, from x = 17.
  rb->SetFocus();
  THeadlessGui::Pump();
  form.PaintNow();
  widgettest::TPage measure(10, 10);
  measure.Canvas()->Font()->SetName("WidgetSans");
  measure.Canvas()->Font()->SetHeight(-11);
  const int right = 17 + measure.Canvas()->TextWidth("Fast") + 3;
  EXPECT_EQ(FormPixel(&form, 10 + 17, 10 + 1), 0);
  EXPECT_EQ(FormPixel(&form, 10 + 17, 10 + 2), kFormColor);
  EXPECT_EQ(FormPixel(&form, 10 + 18, 10 + 0), 0);
  EXPECT_EQ(FormPixel(&form, 10 + 19, 10 + 0), kFormColor);
  EXPECT_EQ(FormPixel(&form, 10 + right - 1, 10 + 3), 0);
  EXPECT_EQ(FormPixel(&form, 10 + right + 1, 10 + 3), kFormColor);

  // Disabled: highlight offset by one, then shadow over it.
  rb->SetEnabled(false);
  form.PaintNow();
  const std::vector<bool> shifted = CaptionMask("Fast", 120, 17, 1, 1);
  for (int y = 0; y < 17; ++y)
    for (int x = 14; x < 120; ++x) {
      const int32_t want = text[y * 120 + x]      ? ColorToRGB(clBtnShadow)
                           : shifted[y * 120 + x] ? ColorToRGB(clBtnHighlight)
                                                  : kFormColor;
      ASSERT_EQ(FormPixel(&form, 10 + x, 10 + y), want) << x << "," << y;
    }
}

TEST_F(Faces, TransparentRadioButtonsShowWhatLiesUnderThem) {
  auto* shape = new TShape(&form);
  shape->SetBounds(10, 10, 50, 30);
  shape->Brush()->SetColor(clRed);
  shape->Pen()->SetColor(clRed);
  shape->SetParent(&form);
  auto* rb = AddRadio("Fast", 10);
  rb->SetTransparent(true);
  form.Show();
  form.PaintNow();
  // The glyph's outside and the caption's background come from the parent.
  EXPECT_EQ(FormPixel(&form, 10, 12), 0x0000FF);
  EXPECT_EQ(FormPixel(&form, 10 + 45, 10 + 15), 0x0000FF);
  EXPECT_EQ(FormPixel(&form, 10 + 80, 10 + 15), kFormColor);
  // The glyph itself is drawn over it.
  EXPECT_EQ(FormPixel(&form, 10 + 6, 12 + 6), ColorToRGB(clWindow));

  // Painting the parent under a control into a bitmap of its own.
  widgettest::TPage under(40, 20);
  PaintParentBackground(rb, under.Canvas(), false);
  EXPECT_EQ(ColorToRGB(under.Pixel(0, 0)), 0x0000FF);
  EXPECT_EQ(ColorToRGB(under.Pixel(39, 19)), 0x0000FF);
  rb->SetLeft(40);
  PaintParentBackground(rb, under.Canvas(), false);
  EXPECT_EQ(ColorToRGB(under.Pixel(19, 5)), 0x0000FF);
  EXPECT_EQ(ColorToRGB(under.Pixel(20, 5)), kFormColor);
  // Nothing without a parent.
  widgettest::TPage none(4, 4);
  TRzRadioButton orphan(nullptr);
  PaintParentBackground(&orphan, none.Canvas(), true);
  EXPECT_EQ(ColorToRGB(none.Pixel(1, 1)), 0x123456);
}

// Shows the colour guard of the glyph pictures.
class TGuardedRadio : public TRzRadioButton {
  VX_CLASS(TGuardedRadio, TRzRadioButton)

 public:
  explicit TGuardedRadio(TComponent* AOwner) : TRzRadioButton(AOwner) {}
  using TRzRadioButton::AdjustTransparentColor;
};

TEST_F(Faces, PictureColoursAreMovedOffTheMaskColoursWithoutChangingOtherChannels) {
  TGuardedRadio rb(nullptr);
  EXPECT_EQ(rb.AdjustTransparentColor(clOlive), 0x008081);
  EXPECT_EQ(rb.AdjustTransparentColor(clLime), 0x00FF01);
  EXPECT_EQ(rb.AdjustTransparentColor(clGray), 0x808081);
  EXPECT_EQ(rb.AdjustTransparentColor(0x123456), 0x123456);
  // A mask colour with full red is moved down, not carried into green.
  rb.SetWinMaskColor(clRed);
  EXPECT_EQ(rb.AdjustTransparentColor(clRed), 0x0000FE);
  EXPECT_EQ(rb.AdjustTransparentColor(clLime), clLime);
}

// ---- Bitmap buttons ----

// A picture from letters: O olive, R red, K black, B blue.
void Picture(TBitmap* B, std::initializer_list<const char*> Rows) {
  const int h = int(Rows.size()), w = int(std::string(*Rows.begin()).size());
  B->SetPixelFormat(pf24bit);
  B->SetSize(w, h);
  int y = 0;
  for (const char* row : Rows) {
    for (int x = 0; x < w; ++x) {
      const char c = row[x];
      B->Canvas()->SetPixels(x, y, c == 'O' ? clOlive : c == 'R' ? clRed : c == 'K' ? clBlack : clBlue);
    }
    ++y;
  }
}

std::string ButtonPicture(TControl* Button) {
  return widgettest::ControlPicture(Button, {{'F', kFormColor}, {'R', clRed}, {'B', clBlue}, {'K', clBlack},
                                             {'S', clBtnShadow}, {'W', clWhite}, {'G', clBtnFace}});
}

TEST_F(Faces, BitmapButtonsShowTheirStatePictureOverTheParent) {
  auto* b = new TRzBmpButton(&form);
  b->SetParent(&form);
  b->SetBounds(20, 20, 80, 30);
  TBitmap up, down, hot;
  Picture(&up, {"OOOOO", "ORRRO", "ORORO", "OOOOO"});
  Picture(&down, {"BBBBB", "BOOOB", "BOOOB", "BBBBB"});
  Picture(&hot, {"OOOOO", "OBBBO", "OBBBO", "OOOOO"});
  b->Bitmaps()->SetUp(&up);
  b->Bitmaps()->SetDown(&down);
  form.Show();
  EXPECT_EQ(b->Width(), 5);
  EXPECT_EQ(ButtonPicture(b), widgettest::Rows({"FFFFF", "FRRRF", "FRFRF", "FFFFF"}));
  InjectMouseMove(&form, 22, 21);
  InjectMouseDown(&form, mbLeft, 22, 21);
  THeadlessGui::Pump();
  EXPECT_EQ(ButtonPicture(b), widgettest::Rows({"BBBBB", "BFFFB", "BFFFB", "BBBBB"}));
  InjectMouseUp(&form, mbLeft, 22, 21);
  THeadlessGui::Pump();
  // The hot picture shows while the mouse is over the button.
  b->Bitmaps()->SetHot(&hot);
  InjectMouseMove(&form, 23, 22);
  THeadlessGui::Pump();
  EXPECT_EQ(ButtonPicture(b), widgettest::Rows({"FFFFF", "FBBBF", "FBBBF", "FFFFF"}));
  InjectMouseMove(&form, 250, 150);
  THeadlessGui::Pump();
  EXPECT_EQ(ButtonPicture(b), widgettest::Rows({"FFFFF", "FRRRF", "FRFRF", "FFFFF"}));
}

TEST_F(Faces, ADisabledButtonWithoutItsPictureShowsUpGreyed) {
  auto* b = new TRzBmpButton(&form);
  b->SetParent(&form);
  TBitmap up;
  Picture(&up, {"OOOOO", "OKKOO", "OKRRO", "OOOOO"});
  b->Bitmaps()->SetUp(&up);
  b->SetBounds(20, 20, 5, 4);
  b->SetEnabled(false);
  form.Show();
  // Black parts turn shadow with white one pixel down and right; the rest button face.
  EXPECT_EQ(ButtonPicture(b), widgettest::Rows({"GGGGG", "GSSGG", "GSWWG", "GGWGG"}));
}

TEST_F(Faces, StayDownButtonsShowThePatternWhereTheirPictureIsTransparent) {
  auto* b = new TRzBmpButton(&form);
  b->SetParent(&form);
  TBitmap up;
  Picture(&up, {"OOOOOO", "OOOOOO", "OORROO", "OOOOOO", "OOOOOO", "OOOOOO"});
  b->Bitmaps()->SetUp(&up);
  b->SetButtonBorder(bbSingle);
  b->SetGroupIndex(1);
  b->SetDown(true);
  form.Show();
  EXPECT_EQ(b->State(), bsExclusive);
  EXPECT_EQ(b->Width(), 8);
  // The brush pattern is white where x and y are both even or both odd.
  EXPECT_EQ(ButtonPicture(b), widgettest::Rows({"WGWGWGWG", "GWGWGWGW", "WGWGWGWG", "GWGRRWGW", "WGWGWGWG",
                                                "GWGWGWGW", "WGWGWGWG", "GWGWGWGW"}));
  b->SetShowDownPattern(false);
  b->SetColor(clBlue);
  EXPECT_EQ(ButtonPicture(b), widgettest::Rows({"BBBBBBBB", "BBBBBBBB", "BBBBBBBB", "BBBRRBBB", "BBBBBBBB",
                                                "BBBBBBBB", "BBBBBBBB", "BBBBBBBB"}));
  TBitmap* pattern = DownPatternBitmap();
  EXPECT_EQ(pattern->Width(), 8);
  EXPECT_EQ(ColorToRGB(pattern->Canvas()->Pixels(3, 5)), 0xFFFFFF);
  EXPECT_EQ(ColorToRGB(pattern->Canvas()->Pixels(3, 4)), ColorToRGB(clBtnFace));
}

TEST_F(Faces, CaptionsOverAStretchedPictureMoveWhenDown) {
  auto* b = new TRzBmpButton(&form);
  b->SetParent(&form);
  TBitmap up;
  Picture(&up, {"BB", "BB"});
  b->Bitmaps()->SetUp(&up);
  b->SetButtonSize(bszStretchToButton);
  b->SetBounds(20, 20, 60, 24);
  b->SetCaption("Yes");
  b->Font()->SetColor(clWhite);
  b->SetShowFocus(false);
  form.Show();
  auto whiteBox = [&] {
    form.PaintNow();
    TRect box{1000, 1000, -1, -1};
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < 60; ++x) {
        const int32_t c = FormPixel(&form, 20 + x, 20 + y);
        EXPECT_TRUE(c == 0xFF0000 || c == 0xFFFFFF) << x << "," << y;
        if (c == 0xFFFFFF)
          box = TRect{std::min<int>(box.left, x), std::min<int>(box.top, y), std::max<int>(box.right, x),
                      std::max<int>(box.bottom, y)};
      }
    return box;
  };
  const TRect up1 = whiteBox();
  ASSERT_LE(up1.left, up1.right) << "caption drawn";
  // Centred: equal room left and right, within a pixel.
  EXPECT_LE(std::abs(up1.left - (59 - up1.right)), 2);
  InjectMouseMove(&form, 30, 30);
  InjectMouseDown(&form, mbLeft, 30, 30);
  THeadlessGui::Pump();
  const TRect down1 = whiteBox();
  EXPECT_EQ(down1.left, up1.left + 1);
  EXPECT_EQ(down1.top, up1.top + 1);
  InjectMouseUp(&form, mbLeft, 30, 30);
  THeadlessGui::Pump();
}

TEST_F(Faces, PicturesAtTheirOwnSizeArePlacedByLayoutMarginAndSpacing) {
  auto* b = new TRzBmpButton(&form);
  b->SetParent(&form);
  TBitmap up;
  Picture(&up, {"RRRR", "RRRR", "RRRR", "RRRR"});
  b->Bitmaps()->SetUp(&up);
  b->SetButtonSize(bszNeither);
  b->SetBounds(20, 20, 60, 30);
  b->SetShowFocus(false);
  form.Show();
  TBitmap measure;
  measure.Canvas()->Font()->Assign(b->Font());
  const int textWidth = measure.Canvas()->TextWidth("Yes");
  struct TCase {
    TButtonLayout layout;
    int margin, spacing;
    const char* caption;
    int x, y;  // where the 4 x 4 picture lands in the 60 x 30 button
  } cases[] = {
      {blGlyphLeft, -1, 4, "", 28, 13},  // no caption: no spacing, centred
      {blGlyphRight, 5, 4, "", 51, 13},
      {blGlyphTop, 3, 4, "", 28, 3},
      {blGlyphBottom, 3, 4, "", 28, 23},
      {blGlyphLeft, -1, -1, "Yes", (60 - (4 + textWidth)) / 3, 13},  // a third of the room each
      {blGlyphLeft, -1, 6, "Yes", 30 - (4 + 6 + textWidth) / 2, 13},
      {blGlyphLeft, 2, -1, "Yes", 2, 13},
      {blGlyphRight, 2, -1, "Yes", 54, 13},
  };
  for (const TCase& c : cases) {
    b->SetLayout(c.layout);
    b->SetMargin(c.margin);
    b->SetSpacing(c.spacing);
    b->SetCaption(c.caption);
    form.PaintNow();
    TRect box{1000, 1000, -1, -1};
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 60; ++x)
        if (FormPixel(&form, 20 + x, 20 + y) == ColorToRGB(clRed))
          box = TRect{std::min<int>(box.left, x), std::min<int>(box.top, y), std::max<int>(box.right, x + 1),
                      std::max<int>(box.bottom, y + 1)};
    EXPECT_EQ(box, Bounds(c.x, c.y, 4, 4)) << "layout " << c.layout << " margin " << c.margin << " spacing "
                                           << c.spacing << " caption '" << c.caption << "'";
  }
}

}  // namespace
