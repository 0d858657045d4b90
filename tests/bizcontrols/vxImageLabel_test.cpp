// The image labels and the transparent panel on a headless form: where the caption,
// the bullet and the stretched background land, and what shows through the panel.
#include "bizcontrols/vxImageLabel.h"

#include <gtest/gtest.h>

#include "bizcontrols/TransPanelSmp.h"
#include "bizcontrols/vxXLabelHelperPanel.h"
#include "platform/gdi/dib.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/stdctrls.h"
#include "tests/bizcontrols/biz_pictures.h"
#include "tests/support/headless_gui.h"

namespace {

using biztest::TPixels;

class Labels : public ::testing::Test {
 protected:
  THeadlessGui gui;
  TForm form{Application};

  void SetUp() override {
    form.SetBounds(0, 0, 320, 200);
    form.SetColor(0x808000);
  }

  template <class T>
  T* Add(int X, int Y, int W, int H) {
    auto* c = new T(&form);
    c->SetBounds(X, Y, W, H);
    c->SetParent(&form);
    return c;
  }

  int32_t Pixel(int X, int Y) { return int32_t(THeadlessGui::Pixel(&form, X, Y)); }
  // The form's pixel as last painted, without painting.
  int32_t Painted(int X, int Y) {
    auto buffer = form.BackBuffer();
    return int32_t(buffer->ColorFromRaw(buffer->GetRaw(X, Y)) & 0xFFFFFF);
  }
  TRect Ink(TControl* C, int32_t Rgb) { return biztest::Ink(&form, C, Rgb); }
};

TEST_F(Labels, TheBulletKeepsItsGapAndTheTextStartsBesideIt) {
  auto* label = Add<TvxIconLabel>(10, 10, 200, 20);
  label->SetAutoSize(false);
  label->SetCaption("Wide");
  label->Font()->SetColor(clRed);
  TPicture bullet;
  biztest::Solid(&bullet, 16, 8, 0xC00000);
  label->SetBulletImage(&bullet);
  EXPECT_EQ(label->BulletRightMargin(), 8);
  EXPECT_EQ(label->BulletLeftMargin(), 0);
  form.Show();
  const TRect text = Ink(label, ColorToRGB(clRed));
  EXPECT_GE(text.left, 24);
  EXPECT_LE(text.left, 26);
  EXPECT_EQ(Ink(label, 0xC00000).left, 0);

  auto* right = Add<TvxIconLabel>(10, 40, 200, 20);
  right->SetAutoSize(false);
  right->SetBulletAlignment(baRight);
  right->SetAlignment(taRightJustify);
  right->SetCaption("Wide");
  right->Font()->SetColor(clRed);
  right->SetBulletImage(&bullet);
  EXPECT_EQ(right->BulletLeftMargin(), 8);
  EXPECT_LE(Ink(right, ColorToRGB(clRed)).right, 200 - 24);
  EXPECT_EQ(Ink(right, 0xC00000).right, 199);

  right->SetBulletHide(true);
  EXPECT_LT(Ink(right, 0xC00000).left, 0);
}

TEST_F(Labels, AutoSizeGrowsToTextAndBulletAndNeverShrinks) {
  auto* label = Add<TvxIconLabel>(10, 10, 10, 20);
  TPicture bullet;
  biztest::Solid(&bullet, 16, 8, 0xC00000);
  label->SetBulletImage(&bullet);
  label->SetBulletLeftMargin(3);
  label->SetCaption("Some words");
  form.Show();
  THeadlessGui::Pump();
  TScratchCanvas measure;
  measure.SetFont(label->Font());
  EXPECT_EQ(label->Width(), measure.TextWidth("Some words") + 16 + 3 + 8);
  const int grown = label->Width();
  label->SetCaption("x");
  THeadlessGui::Pump();
  EXPECT_EQ(label->Width(), grown);

  auto* image = Add<TvxImageLabel>(10, 60, 10, 20);
  image->SetAutoSize(true);
  image->SetCaption("Some words");
  THeadlessGui::Pump();
  EXPECT_EQ(image->Width(), measure.TextWidth("Some words") + 12 + 12);
}

TEST_F(Labels, TheBulletCentresOnTheTextLineByLayout) {
  TPicture bullet;
  biztest::Solid(&bullet, 5, 7, 0xC00000);
  // A font whose text is 13 pixels high, for the documented case.
  TFont font;
  font.SetName("DejaVu Sans");
  TScratchCanvas measure;
  for (int h = -8; h > -20; --h) {
    font.SetHeight(h);
    measure.SetFont(&font);
    if (measure.TextHeight("Ag") == 13) break;
  }
  measure.SetFont(&font);
  const int th = measure.TextHeight("Ag");
  const struct {
    TTextLayout layout;
    int centre;  // the centre line
  } cases[] = {{tlTop, th / 2}, {tlCenter, 20 / 2}, {tlBottom, 20 - th / 2}};
  int y = 10;
  for (const auto& c : cases) {
    auto* label = Add<TvxIconLabel>(10, y, 100, 20);
    y += 30;
    label->SetAutoSize(false);
    label->SetFont(&font);
    label->SetCaption("Ag");
    label->SetLayout(c.layout);
    label->SetBulletImage(&bullet);
    form.Show();
    const int top = Ink(label, 0xC00000).top;
    EXPECT_EQ(top, c.centre + th % 2 - 7 / 2 - 1) << c.layout;
    if (c.layout == tlCenter && th == 13) {
      EXPECT_EQ(top, 7) << "11 - 4";
    }
  }
}

TEST_F(Labels, ADisabledCaptionIsDrawnTwiceHighlightUnderShadow) {
  auto* label = Add<TvxIconLabel>(10, 10, 100, 20);
  label->SetCaption("Wide");
  label->SetEnabled(false);
  form.Show();
  const TRect shadow = Ink(label, ColorToRGB(clBtnShadow)), light = Ink(label, ColorToRGB(clBtnHighlight));
  ASSERT_GE(shadow.left, 0);
  ASSERT_GE(light.left, 0);
  EXPECT_EQ(light.right, shadow.right + 1);
  EXPECT_EQ(light.bottom, shadow.bottom + 1);
}

TEST_F(Labels, TheCaptionsAcceleratorFocusesItsControlWhileThatLives) {
  Add<TEdit>(10, 80, 100, 21);  // takes the focus on showing
  auto* edit = Add<TEdit>(10, 50, 100, 21);
  auto* label = Add<TvxIconLabel>(10, 10, 100, 20);
  label->SetCaption("&Name");
  label->SetFocusControl(edit);
  form.Show();
  EXPECT_EQ(label->Perform(CM_DIALOGCHAR, 'X', 0), 0) << "another letter is another control's";
  EXPECT_FALSE(edit->Focused());
  EXPECT_EQ(label->Perform(CM_DIALOGCHAR, 'N', 0), 1);
  EXPECT_TRUE(edit->Focused());
  delete edit;
  EXPECT_EQ(label->FocusControl(), nullptr);
  EXPECT_EQ(label->Perform(CM_DIALOGCHAR, 'N', 0), 0);
}

TEST_F(Labels, TheBackgroundKeepsItsEdgesAndHasTheLabelsHeight) {
  biztest::TCodecs codecs;
  TempFolder dir;
  TPixels source(20, 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 20; ++x) source.Set(x, y, uint8_t(10 * x), uint8_t(40 * y), 200);
  const TPixels decoded = biztest::Encode(source, dir / "back.png");
  ASSERT_EQ(decoded.w, 20);
  TPicture picture;
  picture.LoadFromFile(dir / "back.png");
  const struct {
    int width, left, right;
    int (*from)(int x);
  } cases[] = {
      {60, 12, 12, [](int x) { return x <= 12 ? x : x < 48 ? 10 + (x - 13) % 3 : 8 + (x - 48); }},
      // A left margin below 4 still keeps 5 columns.
      {60, 2, 3, [](int x) { return x <= 4 ? x : x < 57 ? 9 + (x - 5) % 3 : 17 + (x - 57); }},
      {20, 12, 12, [](int x) { return x; }},
  };
  int y = 10;
  for (const auto& c : cases) {
    auto* label = Add<TvxImageLabel>(10, y, c.width, 30);
    y += 20;
    label->SetCaptionLeftMargin(c.left);
    label->SetCaptionRigthMargin(c.right);
    label->SetBackgroundImage(&picture);
    EXPECT_EQ(label->Height(), 6);
    form.Show();
    int wrong = 0;
    for (int row = 0; row < 6; ++row)
      for (int x = 0; x < c.width; ++x)
        wrong += Pixel(label->Left() + x, label->Top() + row) != decoded.Color(c.from(x), row);
    EXPECT_EQ(wrong, 0) << c.width << ": " << c.left << ", " << c.right;
  }
  // Margins stored as given never take the drawing outside the rows.
  auto* odd = Add<TvxImageLabel>(10, 100, 50, 10);
  odd->SetBackgroundImage(&picture);
  for (int right : {-40, 500}) {
    odd->SetCaptionRightMargin(right);
    EXPECT_EQ(odd->CaptionRightMargin(), right);
    odd->Invalidate();
    THeadlessGui::Pump();
  }
  odd->SetCaptionRigthMargin(-3);
  EXPECT_EQ(odd->CaptionRightMargin(), 0);
}

// ---- The transparent panel ----

TEST_F(Labels, ThePanelShowsItsParentAndRepaintsBothPlacesWhenMoved) {
  form.SetColor(clRed);
  auto* panel = Add<TTransPanel>(20, 20, 100, 60);
  auto* child = new TPanel(&form);
  child->SetBounds(10, 10, 20, 20);
  child->SetColor(clBlue);
  child->SetBevelOuter(bvNone);
  child->SetParent(panel);
  int clicks = 0;
  panel->OnClick = TNotifyEvent::FromFunction([&](TObject*) { ++clicks; });
  form.Show();
  EXPECT_EQ(Pixel(70, 60), ColorToRGB(clRed)) << "the parent shows through";
  EXPECT_EQ(Pixel(35, 35), ColorToRGB(clBlue)) << "children paint on top";
  THeadlessGui::Click(panel);
  EXPECT_EQ(clicks, 0) << "no clicks of its own";

  panel->SetBounds(150, 100, 100, 60);
  // Painted at once, without waiting for the messages.
  EXPECT_EQ(Painted(35, 35), ColorToRGB(clRed)) << "the old place is the parent's again";
  EXPECT_EQ(Painted(165, 115), ColorToRGB(clBlue));
  EXPECT_EQ(Painted(230, 150), ColorToRGB(clRed));

  form.SetColor(clLime);
  panel->Invalidate();
  EXPECT_EQ(Painted(230, 150), ColorToRGB(clLime)) << "invalidating repaints the parent under it now";
}

TEST_F(Labels, AnInvalidateFromThePanelsOwnPaintEnds) {
  auto* panel = Add<TTransPanel>(20, 20, 100, 60);
  int paints = 0;
  panel->OnPaint = TNotifyEvent::FromFunction([&](TObject*) {
    ++paints;
    panel->Canvas()->Rectangle(0, 0, 10, 10);
    panel->Invalidate();
  });
  form.Show();
  THeadlessGui::Pump();
  const int first = paints;
  EXPECT_GE(first, 1);
  THeadlessGui::Pump();
  THeadlessGui::Pump();
  EXPECT_EQ(paints, first) << "nothing is left to paint";
  EXPECT_EQ(Pixel(20, 20), ColorToRGB(clHighlight)) << "the handler draws with the panel's pen";
}

TEST_F(Labels, ClearingAPanelLeavesItsChildrenVisible) {
  form.SetColor(clRed);
  auto* panel = Add<TPanel>(20, 20, 100, 60);
  panel->SetColor(clLime);
  panel->SetBevelOuter(bvNone);
  auto* child = new TPanel(&form);
  child->SetBounds(30, 20, 20, 20);
  child->SetColor(clBlue);
  child->SetBevelOuter(bvNone);
  child->SetParent(panel);
  form.Show();
  EXPECT_EQ(Pixel(30, 30), ColorToRGB(clLime));
  vxXLabelHelperPanel::ClearPanel(panel);
  EXPECT_EQ(Pixel(30, 30), ColorToRGB(clRed)) << "the empty client area is cut away";
  EXPECT_EQ(Pixel(60, 50), ColorToRGB(clBlue)) << "the children stay";
}

}  // namespace
