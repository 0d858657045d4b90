#include "platform/cx/cxbuttons.h"

#include <gtest/gtest.h>

#include "platform/cx/cxtextedit.h"
#include "platform/vcl/forms.h"
#include "tests/support/headless_gui.h"
#include "tests/support/manual_clock.h"

namespace {

using vx::display::InjectClick;

class CxButtons : public ::testing::Test {
 protected:
  CxButtons() : form(new TForm(Application)) {
    form->SetBorderStyle(bsNone);
    form->SetBounds(0, 0, 300, 200);
    edit = new TcxTextEdit(form);
    edit->SetBounds(10, 10, 100, 21);
    edit->SetParent(form);
  }
  ~CxButtons() override { form->Free(); }

  TcxButton* AddButton(TcxButtonKind Kind, int Left) {
    auto* b = new TcxButton(form);
    b->SetKind(Kind);
    b->SetBounds(Left, 50, 38, 22);
    b->SetParent(form);
    b->OnClick = TNotifyEvent::FromFunction([this](TObject*) { ++clicks; });
    return b;
  }
  // A click at a point of a control, apart in time from the next one.
  void ClickAt(TControl* C, int X, int Y) {
    gui.ClickAt(C, X, Y);
    clock.AdvanceMs(GetDoubleClickTime() + 1);
  }

  TManualClock clock;
  THeadlessGui gui;
  TForm* form;
  TcxTextEdit* edit;
  int clicks = 0;
};

}  // namespace

TEST_F(CxButtons, TheArrowPartOpensTheMenuUnderTheButtonAndTheMainPartClicks) {
  auto* split = AddButton(cxbkDropDownButton, 120);
  auto* whole = AddButton(cxbkDropDown, 170);
  auto* menu = new TPopupMenu(form);
  menu->Items()->Add(new TMenuItem(menu));
  menu->Items()->Items(0)->SetCaption("Item");
  split->SetDropDownMenu(menu);
  whole->SetDropDownMenu(menu);
  int popups = 0;
  split->OnDropDownMenuPopup = TcxButtonDropDownMenuPopupEvent::FromFunction(
      [&](TObject* Sender, TPopupMenu*& Menu, bool&) {
        EXPECT_EQ(Sender, split);
        EXPECT_EQ(Menu, menu);
        ++popups;
      });
  form->Show();
  gui.Pump();

  ClickAt(split, 10, 11);
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(menu->IsShowing());
  ClickAt(split, 33, 11);
  EXPECT_EQ(clicks, 1) << "the arrow part does not click";
  EXPECT_EQ(popups, 1);
  EXPECT_TRUE(menu->IsShowing());
  EXPECT_EQ(menu->PopupPoint(), split->ClientToScreen(TPoint{0, split->Height()}));
  menu->CloseUp();
  ClickAt(whole, 10, 11);
  EXPECT_EQ(clicks, 1) << "a drop-down button opens its menu instead";
  EXPECT_TRUE(menu->IsShowing());
  menu->CloseUp();

  // A handler may open none; the arrow then does what the handler says.
  split->OnDropDownMenuPopup =
      TcxButtonDropDownMenuPopupEvent::FromFunction([&](TObject*, TPopupMenu*&, bool& Handled) { Handled = true; });
  ClickAt(split, 33, 11);
  EXPECT_FALSE(menu->IsShowing());

  // A destroyed menu is forgotten by every button that had it.
  delete menu;
  EXPECT_EQ(split->DropDownMenu(), nullptr);
  EXPECT_EQ(whole->DropDownMenu(), nullptr);
  split->OnDropDownMenuPopup = nullptr;
  ClickAt(split, 33, 11);
  ClickAt(whole, 10, 11);
  EXPECT_EQ(clicks, 1);
}

TEST_F(CxButtons, AButtonThatCannotBeFocusedLeavesTheFocusAndADisabledOneIgnoresTheMouse) {
  auto* plain = AddButton(cxbkStandard, 120);
  auto* focusing = AddButton(cxbkStandard, 170);
  plain->SpeedButtonOptions()->SetCanBeFocused(false);
  form->Show();
  gui.Pump();
  ASSERT_EQ(Screen->ActiveControl(), edit->InnerControl());
  ClickAt(plain, 19, 11);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(Screen->ActiveControl(), edit->InnerControl());
  gui.Key(VK_TAB);
  EXPECT_EQ(Screen->ActiveControl(), focusing) << "Tab passes it by";
  ClickAt(plain, 19, 11);
  EXPECT_EQ(Screen->ActiveControl(), focusing);
  plain->SetEnabled(false);
  ClickAt(plain, 19, 11);
  EXPECT_EQ(clicks, 2);
}

TEST_F(CxButtons, TheGlyphIsDrawnInTheMiddleClearWhereItsCornerColourIsAndPaleWhenDisabled) {
  auto* b = AddButton(cxbkDropDownButton, 120);
  TBitmap glyph;
  glyph.SetSize(7, 6);
  glyph.Canvas()->Brush()->SetColor(clFuchsia);  // the clear colour (bottom left)
  glyph.Canvas()->FillRect(TRect{0, 0, 7, 6});
  glyph.Canvas()->Brush()->SetColor(clNavy);
  glyph.Canvas()->FillRect(TRect{2, 1, 5, 4});
  b->SetGlyph(&glyph);
  form->Show();
  // The button part is 38 - 15 wide: the glyph's left edge at (23 - 7) / 2.
  TRect r;
  b->RectInForm(r);
  const int x = r.left + 8, y = r.top + 8;
  EXPECT_EQ(THeadlessGui::Pixel(form, x + 3, y + 2), ColorToRGB(clNavy));
  EXPECT_EQ(THeadlessGui::Pixel(form, x, y), ColorToRGB(clBtnFace));
  b->SetEnabled(false);
  const COLORREF pale = THeadlessGui::Pixel(form, x + 3, y + 2);
  EXPECT_EQ(GetRValue(pale), GetBValue(pale));
  EXPECT_GT(GetRValue(pale), 127);
  EXPECT_EQ(THeadlessGui::Pixel(form, x, y), ColorToRGB(clBtnFace));
}
