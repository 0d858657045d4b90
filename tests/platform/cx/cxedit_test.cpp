// The editors worked as a user works them: through the mouse and the keyboard of a
// headless form.
#include <gtest/gtest.h>

#include "platform/cx/cxcurrencyedit.h"
#include "platform/cx/cxdropdownedit.h"
#include "platform/cx/cximagecombobox.h"
#include "platform/cx/cxlabel.h"
#include "platform/cx/cxtextedit.h"
#include "platform/vcl/clipbrd.h"
#include "platform/vcl/forms.h"
#include "tests/support/headless_gui.h"

namespace {

using vx::display::InjectMouseMove;
using vx::display::InjectText;

class CxEditors : public ::testing::Test {
 protected:
  CxEditors() : form(new TForm(Application)) {
    form->SetBorderStyle(bsNone);
    form->SetBounds(0, 0, 400, 300);
    form->SetColor(clBtnFace);
  }
  ~CxEditors() override { form->Free(); }

  template <class T>
  T* Add(int Top, const std::string& Name = "") {
    auto* e = new T(form);
    e->SetName(Name);
    e->SetBounds(10, Top, 150, 21);
    e->SetParent(form);
    return e;
  }
  void ShowForm() {
    form->Show();
    gui.Pump();
  }
  void Type(const std::string& Text) {
    InjectText(form, Text);
    gui.Pump();
  }
  COLORREF Pixel(TControl* C, int X, int Y) {
    TRect r;
    C->RectInForm(r);
    return THeadlessGui::Pixel(form, r.left + X, r.top + Y);
  }

  THeadlessGui gui;
  TForm* form;
};

}  // namespace

TEST_F(CxEditors, TheNamelessInnerEditTakesTheFocusAndTheEditorReportsEnterAndExit) {
  auto* first = Add<TcxTextEdit>(10, "edtFirst");
  auto* combo = Add<TcxComboBox>(40, "cbxKind");
  auto* money = Add<TcxCurrencyEdit>(70, "edtAmount");
  std::vector<std::string> log;
  for (TcxCustomEdit* e : std::vector<TcxCustomEdit*>{first, combo, money}) {
    e->OnEnter = TNotifyEvent::FromFunction([&log, e](TObject*) { log.push_back("enter " + e->Name()); });
    e->OnExit = TNotifyEvent::FromFunction([&log, e](TObject*) { log.push_back("exit " + e->Name()); });
  }
  ShowForm();
  EXPECT_EQ(Screen->ActiveControl(), first->InnerControl()) << "the form focuses its first editor";
  gui.Click(combo);
  TWinControl* active = Screen->ActiveControl();
  ASSERT_NE(active, nullptr);
  EXPECT_EQ(active->ClassName(), "TcxCustomComboBoxInnerEdit");
  EXPECT_TRUE(active->Name().empty());
  EXPECT_EQ(active->Parent(), combo);
  EXPECT_TRUE(combo->Focused());

  gui.Key(VK_TAB);
  EXPECT_EQ(Screen->ActiveControl()->ClassName(), "TcxCustomInnerTextEdit");
  EXPECT_EQ(Screen->ActiveControl()->Parent(), money);
  gui.Key(VK_TAB, {ssShift});
  gui.Key(VK_TAB, {ssShift});
  EXPECT_EQ(Screen->ActiveControl()->Parent(), first);
  // SetFocus on the editor, as code does, ends in the inner edit too.
  money->SetFocus();
  gui.Pump();
  EXPECT_EQ(Screen->ActiveControl(), money->InnerControl());
  EXPECT_EQ(log, (std::vector<std::string>{"enter edtFirst", "exit edtFirst", "enter cbxKind", "exit cbxKind", "enter edtAmount", "exit edtAmount",
                                           "enter cbxKind", "exit cbxKind", "enter edtFirst", "exit edtFirst",
                                           "enter edtAmount"}));
  gui.Key(VK_TAB);
  EXPECT_EQ(Screen->ActiveControl()->Parent(), first) << "Tab wraps round";
}

TEST_F(CxEditors, TypingReachesTheTextThroughTheEditorsKeyEventsAndRespectsMaxLength) {
  auto* edit = Add<TcxTextEdit>(10);
  int changes = 0;
  std::string keys;
  edit->Properties()->OnChange = TNotifyEvent::FromFunction([&](TObject* Sender) {
    EXPECT_EQ(Sender, edit);
    ++changes;
  });
  edit->OnKeyPress = TKeyPressEvent::FromFunction([&](TObject* Sender, char& Key) {
    EXPECT_EQ(Sender, edit);
    keys += Key;
    if (Key == '#') Key = 0;  // the editor's handler may swallow a character
  });
  edit->OnKeyDown = TKeyEvent::FromFunction([&](TObject*, WORD& Key, TShiftState) {
    if (Key == VK_DELETE) Key = 0;
  });
  ShowForm();
  gui.Click(edit);
  Type("ab#c 한글");
  EXPECT_EQ(edit->Text(), "abc 한글");
  EXPECT_EQ(keys, "ab#c ") << "characters beyond ASCII skip the key press event";
  EXPECT_EQ(changes, 6);
  gui.Key(VK_HOME);
  gui.Key(VK_DELETE);  // swallowed by the editor's OnKeyDown
  EXPECT_EQ(edit->Text(), "abc 한글");

  edit->Properties()->SetMaxLength(5);
  edit->SetText("");
  Type("123456789");
  EXPECT_EQ(edit->Text(), "12345");
  edit->SetText("code may set more");
  EXPECT_EQ(edit->Text(), "code may set more");
  edit->Properties()->SetReadOnly(true);
  edit->SelectAll();
  Type("x");
  EXPECT_EQ(edit->Text(), "code may set more");
}

TEST_F(CxEditors, CutCopyAndPasteGoThroughTheProgramsClipboard) {
  auto* from = Add<TcxTextEdit>(10);
  auto* to = Add<TcxTextEdit>(40);
  auto* locked = Add<TcxTextEdit>(70);
  locked->Properties()->SetReadOnly(true);
  ShowForm();
  from->SetText("first line");
  gui.Click(from);
  gui.Key('A', {ssCtrl});
  gui.Key('X', {ssCtrl});
  EXPECT_EQ(from->Text(), "");
  EXPECT_EQ(Clipboard()->AsText(), "first line");
  gui.Click(to);
  gui.Key('V', {ssCtrl});
  gui.Key(VK_INSERT, {ssShift});
  EXPECT_EQ(to->Text(), "first linefirst line");
  gui.Click(locked);
  gui.Key('V', {ssCtrl});
  EXPECT_EQ(locked->Text(), "") << "a read-only editor takes no paste";
  // A single-line editor pastes up to the first line break.
  Clipboard()->SetAsText("one\r\ntwo");
  to->SetText("");
  gui.Click(to);
  gui.Key('V', {ssCtrl});
  EXPECT_EQ(to->Text(), "one");
  to->SetSelStart(0);
  to->SetSelLength(2);
  gui.Key(VK_INSERT, {ssCtrl});
  EXPECT_EQ(Clipboard()->AsText(), "on");
}

TEST_F(CxEditors, TheCurrencyEditorTakesNumbersOnlyAndShowsTheAmountInItsFormat) {
  auto* other = Add<TcxTextEdit>(40);
  auto* money = Add<TcxCurrencyEdit>(10);
  ShowForm();
  EXPECT_EQ(money->Text(), "0.00");
  gui.Click(money);
  EXPECT_EQ(money->Text(), "0") << "edited as a plain number";
  // Letters, a second minus and a third decimal are refused.
  gui.Key('A', {ssCtrl});
  Type("-12a-34.5x67");
  EXPECT_EQ(money->Text(), "-1234.56");
  EXPECT_DOUBLE_EQ(money->Value(), -1234.56);
  gui.Click(other);
  EXPECT_EQ(money->Text(), "-1,234.56");

  struct {
    const char* text;
    double value;
    const char* shown;
  } const cases[] = {
      {"1,234,567.891", 1234567.89, "1,234,567.89"},
      {"", 0, "0.00"},
      {"  7 ", 7, "7.00"},
      {"0.005", 0.01, "0.01"},
      {"nonsense", 0.01, "0.01"},  // no number: the amount stays
  };
  for (const auto& c : cases) {
    money->SetText(c.text);
    EXPECT_DOUBLE_EQ(money->Value(), c.value) << c.text;
    EXPECT_EQ(money->Text(), c.shown) << c.text;
  }
  money->Properties()->SetDecimalPlaces(0);
  money->Properties()->SetMinValue(-100);
  money->Properties()->SetMaxValue(100);
  money->SetValue(1e6);
  EXPECT_EQ(money->Text(), "100");
  gui.Click(money);
  gui.Key('A', {ssCtrl});
  Type("-5000");
  EXPECT_DOUBLE_EQ(money->Value(), -5000) << "the range applies when the amount is posted";
  gui.Key(VK_RETURN);
  EXPECT_DOUBLE_EQ(money->Value(), -100);
  EXPECT_EQ(money->Text(), "-100");
}

TEST_F(CxEditors, TheComboBoxChoosesItemsByIndexByKeysAndFromItsList) {
  auto* combo = Add<TcxComboBox>(10);
  for (const char* s : {"apple", "pear", "plum", "pear"}) combo->Properties()->Items()->Add(s);
  ShowForm();
  EXPECT_EQ(combo->ItemIndex(), -1);
  combo->SetItemIndex(3);
  EXPECT_EQ(combo->Text(), "pear");
  EXPECT_EQ(combo->ItemIndex(), 3) << "the chosen one of two equal items";
  combo->SetItemIndex(9);
  EXPECT_EQ(combo->ItemIndex(), 3) << "out of range changes nothing";
  combo->SetText("plum");
  EXPECT_EQ(combo->ItemIndex(), 2);
  combo->SetText("Plum");
  EXPECT_EQ(combo->ItemIndex(), -1);
  combo->Clear();
  EXPECT_EQ(combo->Text(), "");

  gui.Click(combo->InnerControl());
  gui.Key(VK_DOWN);
  gui.Key(VK_DOWN);
  EXPECT_EQ(combo->Text(), "pear");
  gui.Key(VK_UP);
  gui.Key(VK_UP);
  gui.Key(VK_UP);
  EXPECT_EQ(combo->ItemIndex(), 0);

  // The button drops the list down under the editor; a click on an item chooses it.
  const TRect b = combo->ButtonRect();
  TRect r;
  combo->RectInForm(r);
  vx::display::InjectClick(form, r.left + (b.left + b.right) / 2, r.top + 5);
  gui.Pump();
  ASSERT_TRUE(combo->DroppedDown());
  TCustomForm* list = Screen->Forms(Screen->FormCount() - 1);
  ASSERT_TRUE(list->IsPopupWindow());
  EXPECT_EQ(list->Left(), combo->ClientToScreen(TPoint{0, 0}).x);
  EXPECT_EQ(list->Top(), combo->ClientToScreen(TPoint{0, combo->Height()}).y);
  vx::display::InjectClick(list, 20, list->Height() * 5 / 8);  // the third of four rows
  gui.Pump();
  EXPECT_FALSE(combo->DroppedDown());
  EXPECT_EQ(combo->Text(), "plum");
  gui.Key(VK_F4);
  EXPECT_TRUE(combo->DroppedDown());
  gui.Key(VK_ESCAPE);
  EXPECT_FALSE(combo->DroppedDown());
}

TEST_F(CxEditors, StylesFollowTheStateAndTheLabelDrawsItsCaption) {
  auto* other = Add<TcxTextEdit>(40);
  auto* edit = Add<TcxTextEdit>(10);
  auto* label = Add<TcxLabel>(70);
  edit->Style()->SetColor(clYellow);
  edit->StyleFocused()->SetColor(clAqua);
  edit->StyleHot()->SetColor(clLime);
  edit->StyleDisabled()->SetTextColor(clRed);
  label->Style()->SetColor(TColor(0xF4F0EF));
  label->Style()->Font()->SetColor(clBlack);
  label->SetCaption("WWWW");
  ShowForm();
  const TPoint mid{75, 10};
  EXPECT_EQ(Pixel(edit, mid.x, mid.y), ColorToRGB(clYellow));
  TRect r;
  edit->RectInForm(r);
  InjectMouseMove(form, r.left + mid.x, r.top + mid.y);
  gui.Pump();
  EXPECT_EQ(Pixel(edit, mid.x, mid.y), ColorToRGB(clLime)) << "hot";
  gui.Click(edit);
  EXPECT_EQ(Pixel(edit, mid.x, mid.y), ColorToRGB(clAqua)) << "focused";
  gui.Click(other);
  EXPECT_EQ(Pixel(edit, 140, 2), ColorToRGB(clYellow));
  edit->SetEnabled(false);
  EXPECT_EQ(edit->ViewStyle(), edit->StyleDisabled());
  EXPECT_EQ(Pixel(edit, mid.x, mid.y), ColorToRGB(clBtnFace)) << "the disabled default";
  EXPECT_EQ(edit->ViewStyle()->TextColor(), clRed);
  EXPECT_EQ(edit->ViewStyle()->BorderStyle(), ebs3D) << "taken from Style";

  EXPECT_EQ(Pixel(label, 140, 10), 0xF4F0EFu);
  bool ink = false;
  for (int x = 0; x < 40 && !ink; ++x)
    for (int y = 0; y < 21 && !ink; ++y) ink = Pixel(label, x, y) == 0;
  EXPECT_TRUE(ink) << "the caption is drawn in the style's font colour";
}

TEST_F(CxEditors, TheImageComboBoxShowsTheChosenDescriptionAndGivesItsValue) {
  auto* combo = Add<TcxImageComboBox>(10);
  auto* items = combo->Properties()->Items();
  items->Add(Variant::Null(), "all");
  items->Add(Variant("3"), "third");
  items->Add(Variant("1"), "first");
  int changes = 0;
  combo->Properties()->OnChange = TNotifyEvent::FromFunction([&](TObject*) { ++changes; });
  ShowForm();
  EXPECT_TRUE(combo->EditValue().IsNull());
  combo->SetEditValue(Variant("1"));
  EXPECT_EQ(combo->ItemIndex(), 2);
  EXPECT_EQ(combo->Text(), "first");
  combo->SetItemIndex(7);
  EXPECT_EQ(combo->ItemIndex(), 2) << "out of range changes nothing";

  // A click drops the list down under the editor; a click on an item chooses it.
  gui.Click(combo);
  EXPECT_TRUE(combo->Focused());
  ASSERT_TRUE(combo->DroppedDown());
  TCustomForm* list = Screen->Forms(Screen->FormCount() - 1);
  ASSERT_TRUE(list->IsPopupWindow());
  vx::display::InjectClick(list, 20, list->Height() / 2);  // the second of three rows
  gui.Pump();
  EXPECT_FALSE(combo->DroppedDown());
  EXPECT_EQ(combo->EditValue(), Variant("3"));
  gui.Key(VK_UP);
  gui.Key(VK_UP);
  EXPECT_EQ(combo->ItemIndex(), 0);
  gui.Key(VK_DOWN);
  EXPECT_EQ(combo->Text(), "third");
  EXPECT_EQ(changes, 4);
  // Items gone from under the choice take it with them.
  items->Delete(2);
  items->Delete(1);
  EXPECT_EQ(combo->ItemIndex(), -1);
  EXPECT_EQ(combo->Text(), "");
}
