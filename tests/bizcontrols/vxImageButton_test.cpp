// The image button: its generated and stretched pictures against the formulas applied
// to what an independent decoder reads from the same file, and its states, clicks,
// groups and caption on a headless form driven by injected input.
#include "bizcontrols/vxImageButton.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <string>
#include <vector>

#include "platform/display/input.h"
#include "platform/vcl/forms.h"
#include "tests/bizcontrols/biz_pictures.h"
#include "tests/support/headless_gui.h"

namespace {

using biztest::Ink;
using biztest::TPixels;
using vx::display::InjectMouseDown;
using vx::display::InjectMouseMove;
using vx::display::InjectMouseUp;

// The channel formulas, with exact halves rounded to even.
int Darker(int c) { return int(std::nearbyint(c * 7 / 10.0)); }
int Lighter(int c) { return 255 - int(std::nearbyint((255 - c) * 8 / 10.0)); }

// A column-coded picture: every column has colours of its own; its channel values
// include the exact halves of the darker formula and both ends of the scale. The
// bottom-left pixel (the key colour) is magenta, and so is one more pixel.
TPixels ColumnCoded(int W, int H) {
  static const uint8_t greens[] = {0, 100, 101, 255, 37};
  TPixels p(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) p.Set(x, y, uint8_t(5 + 10 * x), greens[(x + y) % 5], uint8_t(255 - 3 * x - y));
  p.Set(0, H - 1, 255, 0, 255);
  p.Set(W - 1, 0, 255, 0, 255);
  return p;
}

class ButtonPictures : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ext_ = GetParam();
    ASSERT_TRUE(biztest::FormatRegistered(ext_)) << "no picture class for ." << ext_;
    file_ = dir_ / ("up." + ext_);
    decoded_ = biztest::Encode(ColumnCoded(20, 4), file_);
    ASSERT_EQ(decoded_.w, 20);
    button_.UpImage()->LoadFromFile(file_);
  }

  biztest::TCodecs codecs_;
  TempFolder dir_;
  std::string ext_, file_;
  TPixels decoded_;
  TvxImageButton button_{nullptr};
};

TEST_P(ButtonPictures, GeneratedPicturesFollowTheFormulasAndKeepTheKeyColour) {
  ASSERT_EQ(std::fegetround(), FE_TONEAREST);
  button_.MakeDarker();
  button_.MakeLighter();
  const TPixels dark = biztest::PixelsOf(button_.DarkerBitmap()), light = biztest::PixelsOf(button_.LighterBitmap());
  ASSERT_EQ(dark.w, decoded_.w);
  ASSERT_EQ(light.h, decoded_.h);
  const int32_t key = decoded_.Color(0, decoded_.h - 1);
  int wrong = 0, keyed = 0;
  for (int y = 0; y < decoded_.h; ++y)
    for (int x = 0; x < decoded_.w; ++x) {
      const uint8_t* s = decoded_.At(x, y);
      const bool isKey = decoded_.Color(x, y) == key;
      keyed += isKey;
      for (int c = 0; c < 3; ++c) {
        wrong += dark.At(x, y)[c] != (isKey ? s[c] : Darker(s[c]));
        wrong += light.At(x, y)[c] != (isKey ? s[c] : Lighter(s[c]));
      }
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(keyed, 2);
  // The documented points of the two scales.
  EXPECT_EQ(Darker(255), 178);
  EXPECT_EQ(Darker(101), 71);
  EXPECT_EQ(Darker(5), 4);
  EXPECT_EQ(Darker(15), 10);
  EXPECT_EQ(Lighter(0), 51);
  EXPECT_EQ(Lighter(100), 131);
}

TEST_P(ButtonPictures, StretchKeepsBothEdgesAndRepeatsThreeMiddleColumns) {
  const struct {
    int width, left, right;
    int (*from)(int x);  // the picture's column for a button column
  } cases[] = {
      // 20 wide on 100 with margins 11: the middle strip starts at (11 + 9) div 2 = 10.
      {100, 11, 11, [](int x) { return x <= 11 ? x : x <= 88 ? 10 + (x - 12) % 3 : 9 + (x - 89); }},
      // Margins 0: a left part of 5 columns and a right part of the last 4.
      {100, 0, 0, [](int x) { return x <= 4 ? x : x <= 95 ? 10 + (x - 5) % 3 : 16 + (x - 96); }},
  };
  for (const auto& c : cases) {
    button_.SetWidth(c.width);
    button_.SetCaptionRightMargin(c.right);
    button_.SetCaptionLeftMargin(c.left);
    TBitmap source, stretched;
    source.Assign(button_.UpImage()->Graphic());
    button_.CreateButtonImage(&source, &stretched);
    const TPixels out = biztest::PixelsOf(&stretched);
    ASSERT_EQ(out.w, c.width);
    ASSERT_EQ(out.h, decoded_.h);
    int wrong = 0;
    for (int y = 0; y < out.h; ++y)
      for (int x = 0; x < out.w; ++x) wrong += out.Color(x, y) != decoded_.Color(c.from(x), y);
    EXPECT_EQ(wrong, 0) << "margins " << c.left << ", " << c.right;
  }
}

INSTANTIATE_TEST_SUITE_P(Files, ButtonPictures, ::testing::Values("png", "gif"));

// Whatever the sizes and margins, every stretched pixel is a pixel of the same source
// row, and nothing is read or written outside the rows (the sanitizer watches).
TEST(ImageButtonStretch, OddSizesAndMarginsStayInsideTheRows) {
  const struct {
    int picture, button, left, right;
  } cases[] = {{1, 75, 11, 11}, {10, 75, 11, 11}, {300, 75, 11, 11}, {20, 10, 11, 11},
               {3, 5, 0, 0},    {20, 100, 90, 5}, {20, 100, 11, 0},  {2, 200, 0, 150}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.picture << " on " << c.button << ", " << c.left << "/" << c.right);
    TvxImageButton button(nullptr);
    button.SetWidth(c.button);
    button.SetCaptionRightMargin(c.right);
    button.SetCaptionLeftMargin(c.left);
    EXPECT_GE(button.CaptionRightMargin(), 0);
    EXPECT_GE(button.CaptionLeftMargin(), 0);
    const TPixels picture = ColumnCoded(c.picture, 3);
    TBitmap source, stretched;
    biztest::ToBitmap(picture, &source);
    button.CreateButtonImage(&source, &stretched);
    const TPixels out = biztest::PixelsOf(&stretched);
    ASSERT_EQ(out.w, c.button);
    for (int y = 0; y < out.h; ++y)
      for (int x = 0; x < out.w; ++x) {
        bool found = false;
        for (int sx = 0; sx < picture.w && !found; ++sx) found = out.Color(x, y) == picture.Color(sx, y);
        ASSERT_TRUE(found) << "column " << x;
      }
  }
}

TEST(ImageButtonProperties, ClampsUseTheSizeAndMarginsOfTheMoment) {
  TvxImageButton b(nullptr);  // 75 x 25, margins 11 and 11
  const struct {
    void (TvxImageButton::*set)(int);
    int (TvxImageButton::*get)() const;
    int value, expected;
  } cases[] = {
      {&TvxImageButton::SetCaptionStartPosX, &TvxImageButton::CaptionStartPosX, -5, -1},
      {&TvxImageButton::SetCaptionStartPosX, &TvxImageButton::CaptionStartPosX, 5, 12},
      {&TvxImageButton::SetCaptionStartPosX, &TvxImageButton::CaptionStartPosX, 70, 63},
      {&TvxImageButton::SetCaptionStartPosX, &TvxImageButton::CaptionStartPosX, 30, 30},
      {&TvxImageButton::SetCaptionStartPosY, &TvxImageButton::CaptionStartPosY, -3, -1},
      {&TvxImageButton::SetCaptionStartPosY, &TvxImageButton::CaptionStartPosY, 40, 24},
      {&TvxImageButton::SetCaptionRightMargin, &TvxImageButton::CaptionRightMargin, 70, 63},
      {&TvxImageButton::SetCaptionRightMargin, &TvxImageButton::CaptionRightMargin, -5, 0},
      {&TvxImageButton::SetCaptionRightMargin, &TvxImageButton::CaptionRightMargin, 11, 11},
      {&TvxImageButton::SetCaptionLeftMargin, &TvxImageButton::CaptionLeftMargin, -4, 0},
      {&TvxImageButton::SetCaptionLeftMargin, &TvxImageButton::CaptionLeftMargin, 70, 63},
  };
  for (const auto& c : cases) {
    (b.*c.set)(c.value);
    EXPECT_EQ((b.*c.get)(), c.expected) << c.value;
  }
  EXPECT_EQ(b.CaptionStartPosX(), 64) << "the left margin places the start right after it";

  TPicture tall;
  biztest::Solid(&tall, 40, 31, 0x336699);
  b.SetUpImage(&tall);
  EXPECT_EQ(b.Height(), 31);
  b.SetWidth(120);
  b.SetCaption("x");
  b.Reset();
  EXPECT_EQ(b.Width(), 75);
  EXPECT_EQ(b.Height(), 25);
  EXPECT_EQ(b.Caption(), "");
}

// ---- On a form ----

class ImageButton : public ::testing::Test {
 protected:
  THeadlessGui gui;
  std::vector<std::string> log;
  TForm form{Application};

  void SetUp() override {
    form.SetBounds(0, 0, 320, 200);
    form.SetColor(clWhite);
  }

  TvxImageButton* Add(int X, int Y) {
    auto* b = new TvxImageButton(&form);
    b->SetBounds(X, Y, 75, 25);
    b->SetParent(&form);
    return b;
  }

  TPoint Middle(TControl* C) { return TPoint{C->Left() + C->Width() / 2, C->Top() + C->Height() / 2}; }
  int32_t At(TControl* C) {
    const TPoint p = Middle(C);
    return int32_t(THeadlessGui::Pixel(&form, p.x, p.y));
  }
  void Move(TPoint P) {
    InjectMouseMove(&form, P.x, P.y);
    THeadlessGui::Pump();
  }
  void Press(TPoint P) {
    InjectMouseDown(&form, mbLeft, P.x, P.y);
    THeadlessGui::Pump();
  }
  void Release(TPoint P) {
    InjectMouseUp(&form, mbLeft, P.x, P.y);
    THeadlessGui::Pump();
  }
  void Record(TvxImageButton* B) {
    B->OnMouseDown = TMouseEvent::FromFunction([this](TObject*, TMouseButton, TShiftState, int, int) {
      log.push_back("down");
    });
    B->OnMouseUp =
        TMouseEvent::FromFunction([this](TObject*, TMouseButton, TShiftState, int, int) { log.push_back("up"); });
    B->OnClick = TNotifyEvent::FromFunction([this](TObject*) { log.push_back("click"); });
  }
};

TEST_F(ImageButton, StatePicturesTakeTurnsByPriority) {
  enum : int32_t { up = 0x203040, down = 0x0000C0, over = 0x00C000, focused = 0xC00000, disabled = 0x808080 };
  auto* other = Add(20, 100);  // first in tab order: the focus on showing
  auto* b = Add(20, 20);
  biztest::Solid(b->UpImage(), 75, 25, up);
  biztest::Solid(b->DownImage(), 75, 25, down);
  biztest::Solid(b->OverImage(), 75, 25, over);
  biztest::Solid(b->FocusedImage(), 75, 25, focused);
  biztest::Solid(b->DisableImage(), 75, 25, disabled);
  form.Show();
  EXPECT_EQ(At(b), up);
  Move(Middle(b));
  EXPECT_EQ(At(b), over);
  Press(Middle(b));
  EXPECT_EQ(At(b), down) << "pressed before hot";
  Release(Middle(b));
  EXPECT_TRUE(b->Focused());
  EXPECT_EQ(At(b), focused) << "the release leaves it not hot";
  Move(Middle(b));
  Move(TPoint{b->Left() + 5, b->Top() + 3});
  EXPECT_EQ(At(b), over) << "hot before focused";
  Move(TPoint{300, 190});
  EXPECT_EQ(At(b), focused);
  other->SetFocus();
  EXPECT_EQ(At(b), up);
  b->SetGroupIndex(1);
  b->SetDown(true);
  EXPECT_EQ(At(b), down) << "a latched button shows down";
  b->SetEnabled(false);
  EXPECT_FALSE(b->Down());
  EXPECT_EQ(At(b), disabled);
  b->SetEnabled(true);
  b->DisableImage()->SetGraphic(nullptr);
  b->SetHotTrack(false);
  Move(Middle(b));
  EXPECT_EQ(At(b), up) << "without hot tracking the mouse changes nothing";
}

TEST_F(ImageButton, AMissingPictureIsTheUpPictureDarkenedOrLightened) {
  const int32_t colour = 0x64C805;  // R 5, G 200, B 100
  Add(20, 100);  // takes the focus
  auto* b = Add(20, 20);
  biztest::Solid(b->UpImage(), 75, 25, colour);
  form.Show();
  auto mapped = [&](int (*f)(int)) {
    return f(colour & 0xFF) | f((colour >> 8) & 0xFF) << 8 | f((colour >> 16) & 0xFF) << 16;
  };
  Move(Middle(b));
  EXPECT_EQ(At(b), mapped(Lighter));
  Press(Middle(b));
  EXPECT_EQ(At(b), mapped(Darker));
  Release(Middle(b));
  // The key colour shows the button's own colour in every state.
  const int32_t corner = int32_t(THeadlessGui::Pixel(&form, b->Left(), b->Top() + 24));
  EXPECT_EQ(corner, ColorToRGB(b->Color()));

  // An empty up picture generates nothing: a plain raised face.
  b->UpImage()->Bitmap()->SetSize(0, 0);
  ASSERT_NE(b->UpImage()->Graphic(), nullptr);
  Press(Middle(b));
  EXPECT_EQ(At(b), ColorToRGB(clBtnFace));
  EXPECT_TRUE(b->DarkerBitmap()->Empty());
  Release(Middle(b));
}

TEST_F(ImageButton, APressThatStartsOutsideDoesNotClickAndTheModalResultGoesToTheForm) {
  auto* b = Add(20, 20);
  Record(b);
  b->SetModalResult(mrOk);
  form.Show();
  Move(Middle(b));
  Press(Middle(b));
  Release(Middle(b));
  EXPECT_EQ(log, (std::vector<std::string>{"down", "click", "up"})) << "the click comes before the release";
  EXPECT_EQ(form.ModalResult(), mrOk);

  // Pressed outside, released inside.
  log.clear();
  form.SetModalResult(mrNone);
  Move(TPoint{200, 150});
  Press(TPoint{200, 150});
  Move(Middle(b));
  Release(Middle(b));
  EXPECT_EQ(log, std::vector<std::string>{});
  EXPECT_EQ(form.ModalResult(), mrNone);

  // Pressed inside, released outside.
  Press(Middle(b));
  Move(TPoint{200, 150});
  Release(TPoint{200, 150});
  EXPECT_EQ(log, (std::vector<std::string>{"down", "up"}));
  EXPECT_FALSE(b->Pressed());

  // From code: the modal result, no OnClick; a result of 0 is handed over too.
  log.clear();
  b->Click();
  EXPECT_EQ(log, std::vector<std::string>{});
  EXPECT_EQ(form.ModalResult(), mrOk);
  b->SetModalResult(mrNone);
  b->Click();
  EXPECT_EQ(form.ModalResult(), mrNone);
}

TEST_F(ImageButton, LatchingButtonsOfAGroupKeepOneDown) {
  auto* a = Add(10, 10);
  auto* b = Add(100, 10);
  auto* c = Add(190, 10);
  auto* solo = Add(10, 100);
  a->SetGroupIndex(1);
  b->SetGroupIndex(1);
  c->SetGroupIndex(2);
  EXPECT_TRUE(a->Latching()) << "a group makes a button latch";
  form.Show();
  auto click = [&](TvxImageButton* B) {
    Move(Middle(B));
    Press(Middle(B));
    Release(Middle(B));
  };
  click(a);
  click(c);
  EXPECT_TRUE(a->Down());
  EXPECT_TRUE(c->Down()) << "another group is another matter";
  click(b);
  EXPECT_TRUE(b->Down());
  EXPECT_FALSE(a->Down());
  click(b);
  EXPECT_TRUE(b->Down()) << "a second press does not raise it";
  a->SetDown(true);
  EXPECT_TRUE(a->Down());
  EXPECT_FALSE(b->Down());
  EXPECT_TRUE(c->Down());
  solo->SetDown(true);
  EXPECT_FALSE(solo->Down()) << "no group, no down";
  a->SetLatching(false);
  EXPECT_FALSE(a->Down());
}

TEST_F(ImageButton, CaptionPlacesByAlignmentAndStartPositionAndSinksWhenDown) {
  auto* b = Add(20, 20);
  b->SetWidth(200);
  b->SetCaption("Ab");
  b->SetDefaultCaptionColor(clRed);
  form.Show();
  const int32_t red = ColorToRGB(clRed);
  const TRect centred = Ink(&form, b, red);
  ASSERT_GE(centred.left, 0) << "no picture: a raised face, and the caption on it";
  EXPECT_NEAR((centred.left + centred.right) / 2.0, 100, 2);
  EXPECT_NEAR((centred.top + centred.bottom) / 2.0, 12.5, 3);

  b->SetCaptionAlign(TCaptionAlign::caNone);
  b->SetCaptionStartPosX(20);
  b->SetCaptionStartPosY(-1);
  const TRect fromX = Ink(&form, b, red);
  EXPECT_GE(fromX.left, 20);
  EXPECT_LE(fromX.left, 22);
  EXPECT_EQ(fromX.top, centred.top) << "still centred vertically";

  b->SetCaptionStartPosX(-1);
  b->SetCaptionStartPosY(-1);
  EXPECT_EQ(Ink(&form, b, red).left, centred.left) << "(-1, -1) centres";

  b->SetCaptionStartPosX(20);
  b->SetCaptionStartPosY(5);
  const TRect top = Ink(&form, b, red);
  b->SetGroupIndex(1);
  b->SetDown(true);
  const TRect sunk = Ink(&form, b, red);
  EXPECT_EQ(sunk.top, top.top + 1);
  EXPECT_EQ(sunk.left, top.left);

  b->SetEnabled(false);
  b->SetDisableCaptionColor(clBlue);
  EXPECT_GE(Ink(&form, b, ColorToRGB(clBlue)).left, 0);
  EXPECT_LT(Ink(&form, b, red).left, 0);
}

TEST_F(ImageButton, AnImageButtonIsThePictureAloneUnstretched) {
  Add(20, 100);  // takes the focus
  auto* b = Add(20, 20);
  biztest::Solid(b->UpImage(), 30, 10, 0x0000C0);
  b->SetHeight(25);
  b->SetCaption("Ab");
  b->SetDefaultCaptionColor(clRed);
  b->SetImageButton(true);
  form.Show();
  EXPECT_EQ(int32_t(THeadlessGui::Pixel(&form, b->Left() + 10, b->Top() + 5)), 0x0000C0);
  EXPECT_NE(int32_t(THeadlessGui::Pixel(&form, b->Left() + 50, b->Top() + 5)), 0x0000C0) << "not stretched";
  EXPECT_LT(Ink(&form, b, ColorToRGB(clRed)).left, 0) << "no caption";
}

}  // namespace
