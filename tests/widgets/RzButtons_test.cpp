// Behaviour of the radio and bitmap buttons on a headless form: checking and its
// clicks, hot tracking, keyboard use, groups and modal results.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/vcl/extctrls.h"
#include "platform/vcl/forms.h"
#include "tests/support/headless_gui.h"
#include "widgets/RzBmpBtn.h"
#include "widgets/RzRadChk.h"

namespace {

using vx::display::InjectKeyDown;
using vx::display::InjectKeyUp;
using vx::display::InjectMouseDown;
using vx::display::InjectMouseLeave;
using vx::display::InjectMouseMove;
using vx::display::InjectMouseUp;

class Buttons : public ::testing::Test {
 protected:
  THeadlessGui gui;
  std::vector<std::string> log;  // outlives the form, whose end may still fire events
  TForm form{Application};

  void SetUp() override { form.SetBounds(0, 0, 300, 200); }

  TRzRadioButton* AddRadio(TWinControl* Parent, const std::string& Name, int Y) {
    auto* rb = new TRzRadioButton(&form);
    rb->SetName(Name);
    rb->SetCaption("&" + Name);
    rb->SetBounds(10, Y, 120, 17);
    rb->SetParent(Parent);
    return rb;
  }

  // A button with a picture of the given size: olive outside, red inside.
  TRzBmpButton* AddBmpButton(int X, int Y, int W, int H) {
    auto* b = new TRzBmpButton(&form);
    b->SetParent(&form);
    b->SetBounds(X, Y, 80, 30);
    TBitmap up;
    up.SetSize(W, H);
    up.Canvas()->Brush()->SetColor(clOlive);
    up.Canvas()->FillRect(TRect{0, 0, W, H});
    up.Canvas()->Brush()->SetColor(clRed);
    up.Canvas()->FillRect(TRect{2, 2, W - 2, H - 2});
    b->Bitmaps()->SetUp(&up);
    return b;
  }

  static int Count(std::vector<std::string>& Log, const std::string& What) {
    return int(std::count(Log.begin(), Log.end(), What));
  }
};

// ---- Radio buttons ----

TEST_F(Buttons, CheckingARadioButtonUnchecksItsSiblingsBeforeItsClick) {
  auto* fast = AddRadio(&form, "fast", 10);
  auto* safe = AddRadio(&form, "safe", 30);
  auto record = [&](TObject* s) {
    auto* rb = static_cast<TRzRadioButton*>(s);
    log.push_back(rb->Name() + (fast->Checked() ? " fast+" : " fast-") + (safe->Checked() ? " safe+" : " safe-"));
  };
  fast->OnClick = TNotifyEvent::FromFunction(record);
  safe->OnClick = TNotifyEvent::FromFunction(record);
  fast->SetChecked(true);
  safe->SetChecked(true);
  EXPECT_EQ(log, (std::vector<std::string>{"fast fast+ safe-", "safe fast- safe+"}));
  EXPECT_FALSE(fast->Checked());
  EXPECT_FALSE(fast->TabStop());
  EXPECT_TRUE(safe->TabStop()) << "only the checked button is a tab stop";
  safe->SetChecked(true);
  fast->SetChecked(false);
  EXPECT_EQ(log.size(), 2u) << "unchanged values and unchecking fire nothing";

  // Radio buttons of another parent are left alone.
  auto* panel = new TPanel(&form);
  panel->SetBounds(150, 0, 140, 100);
  panel->SetParent(&form);
  auto* other = AddRadio(panel, "other", 10);
  other->SetChecked(true);
  EXPECT_TRUE(safe->Checked());
  EXPECT_TRUE(other->Checked());
}

TEST_F(Buttons, APressChecksOnlyWhenReleasedInsideAndACheckedButtonStaysChecked) {
  auto* fast = AddRadio(&form, "fast", 10);
  auto* safe = AddRadio(&form, "safe", 30);
  int clicks = 0;
  safe->OnClick = TNotifyEvent::FromFunction([&](TObject*) { ++clicks; });
  form.Show();
  fast->SetChecked(true);
  // Pressed, dragged off and released outside: nothing, though the press took the focus.
  InjectMouseMove(&form, 20, 36);
  InjectMouseDown(&form, mbLeft, 20, 36);
  THeadlessGui::Pump();
  EXPECT_TRUE(safe->Focused());
  EXPECT_FALSE(safe->Checked()) << "focus from the mouse does not check";
  EXPECT_TRUE(safe->PressedLook());
  InjectMouseMove(&form, 200, 150, MK_LBUTTON);
  THeadlessGui::Pump();
  EXPECT_FALSE(safe->PressedLook());
  InjectMouseUp(&form, mbLeft, 200, 150);
  THeadlessGui::Pump();
  EXPECT_FALSE(safe->Checked());
  EXPECT_EQ(clicks, 0);
  // Released inside: checked, one click.
  THeadlessGui::Click(safe);
  EXPECT_TRUE(safe->Checked());
  EXPECT_FALSE(fast->Checked());
  EXPECT_EQ(clicks, 1);
  THeadlessGui::Click(safe);
  EXPECT_EQ(clicks, 1) << "clicking a checked button fires nothing";
}

TEST_F(Buttons, KeyboardFocusAcceleratorsAndTheDownKey) {
  auto* fast = AddRadio(&form, "fast", 10);
  auto* safe = AddRadio(&form, "safe", 30);
  fast->OnClick = TNotifyEvent::FromFunction([&](TObject*) { log.push_back("fast"); });
  safe->OnClick = TNotifyEvent::FromFunction([&](TObject*) { log.push_back("safe"); });
  form.Show();
  // Focus by the program (as by tabbing) checks the button.
  safe->SetFocus();
  THeadlessGui::Pump();
  EXPECT_TRUE(safe->Checked());
  // The accelerator takes the focus, which checks.
  EXPECT_EQ(fast->Perform(CM_DIALOGCHAR, 'F', 0), 1);
  THeadlessGui::Pump();
  EXPECT_TRUE(fast->Focused());
  EXPECT_TRUE(fast->Checked());
  EXPECT_FALSE(safe->Checked());
  EXPECT_EQ(fast->Perform(CM_DIALOGCHAR, 'X', 0), 0);
  // The down key clicks without checking.
  log.clear();
  EXPECT_EQ(safe->Perform(CM_DIALOGKEY, VK_DOWN, 0), 1);
  EXPECT_EQ(log, std::vector<std::string>{"safe"});
  EXPECT_FALSE(safe->Checked());
  EXPECT_EQ(safe->Perform(CM_DIALOGKEY, VK_UP, 0), 0);
}

TEST_F(Buttons, TabOnEnterMovesTheFocusLikeTab) {
  auto* fast = AddRadio(&form, "fast", 10);
  auto* next = AddBmpButton(10, 50, 20, 10);
  fast->SetTabOnEnter(true);
  form.Show();
  fast->SetFocus();
  THeadlessGui::Pump();
  char seen = 0;
  fast->OnKeyPress = TKeyPressEvent::FromFunction([&](TObject*, char& k) { seen = k; });
  THeadlessGui::Key(VK_RETURN);
  EXPECT_TRUE(next->Focused());
  EXPECT_EQ(seen, 0) << "no key press for the Enter";
}

TEST_F(Buttons, HotTrackingFollowsTheMouseAndDisabledButtonsIgnorePresses) {
  auto* fast = AddRadio(&form, "fast", 10);
  fast->SetHotTrack(true);
  fast->OnMouseEnter = TNotifyEvent::FromFunction([&](TObject*) { log.push_back("enter"); });
  fast->OnMouseLeave = TNotifyEvent::FromFunction([&](TObject*) { log.push_back("leave"); });
  form.Show();
  InjectMouseMove(&form, 20, 15);
  THeadlessGui::Pump();
  EXPECT_TRUE(fast->MouseOver());
  InjectMouseMove(&form, 250, 150);
  THeadlessGui::Pump();
  EXPECT_FALSE(fast->MouseOver());
  EXPECT_EQ(log, (std::vector<std::string>{"enter", "leave"}));

  fast->SetEnabled(false);
  THeadlessGui::Click(fast);
  EXPECT_FALSE(fast->Checked());
  EXPECT_FALSE(fast->Focused());
}

TEST_F(Buttons, CustomGlyphStripsSetTheGlyphSizeAndActionsDriveChecked) {
  auto* rb = AddRadio(&form, "fast", 10);
  TBitmap strip;
  strip.SetSize(78, 13);
  rb->SetCustomGlyphs(&strip);
  EXPECT_TRUE(rb->UseCustomGlyphs());
  EXPECT_EQ(rb->GlyphWidth(), 13);
  TBitmap wide;
  wide.SetSize(96, 10);
  rb->CustomGlyphs()->Assign(&wide);
  rb->SetUseCustomGlyphs(false);
  rb->SetUseCustomGlyphs(true);
  EXPECT_EQ(rb->GlyphWidth(), 16);
  EXPECT_EQ(rb->GlyphHeight(), 10);
  TBitmap empty;
  rb->SetCustomGlyphs(&empty);
  EXPECT_FALSE(rb->UseCustomGlyphs());
  EXPECT_EQ(rb->GlyphWidth(), 13);
  EXPECT_EQ(rb->GlyphHeight(), 13);

  TAction action(&form);
  action.SetChecked(true);
  rb->SetAction(&action);
  EXPECT_TRUE(rb->Checked());
  action.SetChecked(false);
  EXPECT_FALSE(rb->Checked());

  TRzCheckedActionLink link;
  TPanel notAButton(nullptr);
  EXPECT_THROW(link.Attach(&notAButton), EInvalidCast);
}

// ---- Bitmap buttons ----

TEST_F(Buttons, ABitmapButtonHandsItsModalResultToTheFormBeforeItsClick) {
  auto* b = AddBmpButton(10, 100, 60, 20);
  b->SetModalResult(mrYes);
  TModalResult seen = -1;
  b->OnClick = TNotifyEvent::FromFunction([&](TObject*) { seen = form.ModalResult(); });
  form.Show();
  THeadlessGui::Click(b);
  EXPECT_EQ(seen, mrYes);
  // A result of none is handed over too.
  form.SetModalResult(mrAbort);
  b->SetModalResult(mrNone);
  THeadlessGui::Click(b);
  EXPECT_EQ(form.ModalResult(), mrNone);
  EXPECT_EQ(seen, mrNone);
}

TEST_F(Buttons, ButtonsSizedToTheirPictureKeepThatSize) {
  TRzBmpButton* b = nullptr;
  form.BeginLoading();
  b = AddBmpButton(10, 10, 68, 18);
  EXPECT_EQ(b->Width(), 80) << "not while loading";
  form.EndLoading();
  EXPECT_EQ(b->Width(), 68);
  EXPECT_EQ(b->Height(), 18);
  b->SetBounds(10, 10, 200, 50);
  EXPECT_EQ(b->Width(), 68);
  EXPECT_EQ(b->Height(), 18);
  b->SetButtonBorder(bbSingle);
  EXPECT_EQ(b->Width(), 70);
  b->SetButtonBorder(bbButton);
  EXPECT_EQ(b->Height(), 22) << "two pixels a side in the new style";
  b->SetButtonStyle(bsWin31);
  EXPECT_EQ(b->Height(), 24);
  b->SetButtonSize(bszStretchToButton);
  b->SetBounds(10, 10, 100, 40);
  EXPECT_EQ(b->Width(), 100);
}

TEST_F(Buttons, EnterClicksAtOnceSpaceOnReleaseAndAPressDraggedOffDoesNothing) {
  auto* b = AddBmpButton(10, 10, 40, 20);
  b->SetBitmaps(b->Bitmaps());
  int clicks = 0;
  b->OnClick = TNotifyEvent::FromFunction([&](TObject*) { ++clicks; });
  form.Show();
  b->SetFocus();
  THeadlessGui::Pump();
  InjectKeyDown(&form, VK_RETURN);
  THeadlessGui::Pump();
  EXPECT_EQ(clicks, 1);
  InjectKeyUp(&form, VK_RETURN);
  InjectKeyDown(&form, VK_SPACE);
  THeadlessGui::Pump();
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(b->State(), bsDown);
  InjectKeyUp(&form, VK_SPACE);
  THeadlessGui::Pump();
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(b->State(), bsUp);

  InjectMouseMove(&form, 20, 20);
  InjectMouseDown(&form, mbLeft, 20, 20);
  THeadlessGui::Pump();
  EXPECT_EQ(b->State(), bsDown);
  InjectMouseMove(&form, 250, 150, MK_LBUTTON);
  THeadlessGui::Pump();
  EXPECT_EQ(b->State(), bsUp);
  InjectMouseUp(&form, mbLeft, 250, 150);
  THeadlessGui::Pump();
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(b->State(), bsUp);
}

TEST_F(Buttons, GroupedButtonsKeepOneDownAndRiseOnlyWhenAllMayBeUp) {
  auto* a = AddBmpButton(10, 10, 40, 20);
  auto* b = AddBmpButton(100, 10, 40, 20);
  a->SetGroupIndex(1);
  b->SetGroupIndex(1);
  form.Show();
  THeadlessGui::Click(a);
  EXPECT_TRUE(a->Down());
  EXPECT_EQ(a->State(), bsExclusive);
  THeadlessGui::Click(b);
  EXPECT_TRUE(b->Down());
  EXPECT_FALSE(a->Down());
  EXPECT_EQ(a->State(), bsUp);
  THeadlessGui::Click(b);
  EXPECT_TRUE(b->Down()) << "a down button stays down without AllowAllUp";
  b->SetAllowAllUp(true);
  EXPECT_TRUE(a->AllowAllUp()) << "the group takes the setting";
  THeadlessGui::Click(b);
  EXPECT_FALSE(b->Down());
  // Without a group a button never stays down.
  auto* c = AddBmpButton(200, 10, 40, 20);
  c->SetDown(true);
  EXPECT_FALSE(c->Down());
}

}  // namespace
