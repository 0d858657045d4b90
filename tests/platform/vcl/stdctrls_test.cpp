#include "platform/vcl/stdctrls.h"

#include <gtest/gtest.h>

#include "platform/gdi/dib.h"
#include "platform/vcl/forms.h"
#include "tests/support/headless_gui.h"

namespace {

using vx::display::InjectKey;
using vx::display::InjectMouseDown;
using vx::display::InjectMouseMove;
using vx::display::InjectMouseUp;
using vx::display::InjectText;

constexpr UINT WM_DRIVE = WM_USER + 7;

// A form that runs a test's steps from a posted message, inside its modal loop.
class TDialogForm : public TForm {
  VX_CLASS(TDialogForm, TForm)

 public:
  explicit TDialogForm(TComponent* AOwner) : TForm(AOwner) {
    SetBorderStyle(bsNone);
    SetBounds(0, 0, 300, 200);
  }
  std::function<void()> drive;

  VX_MESSAGE_MAP(TDialogForm, TForm)
  VX_MESSAGE_HANDLER(WM_DRIVE, WMDrive)
  VX_END_MESSAGE_MAP

  void WMDrive(TMessage&) {
    if (drive) drive();
  }
};

class StdControls : public ::testing::Test {
 protected:
  THeadlessGui gui;
};

TButton* AddButton(TCustomForm* Form, const std::string& Caption, TModalResult Result, int X) {
  auto* b = new TButton(Form);
  b->SetCaption(Caption);
  b->SetModalResult(Result);
  b->SetBounds(X, 150, 75, 25);
  b->SetParent(Form);
  return b;
}

}  // namespace

TEST_F(StdControls, EnterAndEscapeClickTheDefaultAndCancelButtonsOfAModalForm) {
  TDialogForm form(Application);
  auto* edit = new TEdit(&form);
  edit->SetParent(&form);
  auto* ok = AddButton(&form, "OK", mrOk, 50);
  ok->SetDefault(true);
  auto* cancel = AddButton(&form, "Cancel", mrCancel, 130);
  cancel->SetCancel(true);
  auto* save = AddButton(&form, "&Save", mrRetry, 210);

  // Enter in the edit clicks the default button.
  form.drive = [&] { InjectKey(&form, VK_RETURN); };
  PostMessage(form.Handle(), WM_DRIVE, 0, 0);
  EXPECT_EQ(form.ShowModal(), mrOk);
  EXPECT_EQ(FocusedControl(), nullptr) << "the hidden form lost the focus";

  // Escape clicks the cancel button.
  form.drive = [&] { InjectKey(&form, VK_ESCAPE); };
  PostMessage(form.Handle(), WM_DRIVE, 0, 0);
  EXPECT_EQ(form.ShowModal(), mrCancel);

  // Enter on a focused button clicks that button, not the default one.
  form.drive = [&] {
    cancel->SetFocus();
    InjectKey(&form, VK_RETURN);
  };
  PostMessage(form.Handle(), WM_DRIVE, 0, 0);
  EXPECT_EQ(form.ShowModal(), mrCancel);

  // Space clicks the focused button when it is released; Alt with the accelerator
  // clicks its button.
  form.drive = [&] {
    save->SetFocus();
    InjectKey(&form, VK_SPACE);
  };
  PostMessage(form.Handle(), WM_DRIVE, 0, 0);
  EXPECT_EQ(form.ShowModal(), mrRetry);
  form.drive = [&] {
    edit->SetFocus();
    InjectKey(&form, 'S', {ssAlt});
  };
  PostMessage(form.Handle(), WM_DRIVE, 0, 0);
  EXPECT_EQ(form.ShowModal(), mrRetry);
}

TEST_F(StdControls, AButtonClicksOnlyWhenReleasedOverItAndWhileEnabled) {
  TDialogForm form(Application);
  auto* b = AddButton(&form, "Go", mrNone, 50);
  int clicks = 0;
  b->OnClick = TNotifyEvent::FromFunction([&](TObject*) { ++clicks; });
  form.Show();
  InjectMouseMove(&form, 60, 160);
  InjectMouseDown(&form, mbLeft, 60, 160);
  InjectMouseMove(&form, 10, 10, MK_LBUTTON);
  InjectMouseUp(&form, mbLeft, 10, 10);
  THeadlessGui::Pump();
  EXPECT_EQ(clicks, 0);
  EXPECT_TRUE(b->Focused()) << "the press took the focus";
  THeadlessGui::Click(b);
  EXPECT_EQ(clicks, 1);
  b->SetEnabled(false);
  THeadlessGui::Click(b);
  EXPECT_EQ(clicks, 1);
  // A button's click hands its result to the form even when it is none.
  form.SetModalResult(mrAbort);
  b->SetEnabled(true);
  THeadlessGui::Click(b);
  EXPECT_EQ(form.ModalResult(), mrNone);
}

TEST_F(StdControls, AnEditTypesDeletesSelectsAndKeepsToItsLimits) {
  TDialogForm form(Application);
  auto* edit = new TEdit(&form);
  edit->SetParent(&form);
  std::vector<std::string> changes;
  edit->OnChange = TNotifyEvent::FromFunction([&](TObject*) { changes.push_back(edit->Text()); });
  form.Show();
  ASSERT_TRUE(edit->Focused());
  InjectText(&form, "hello");
  THeadlessGui::Pump();
  EXPECT_EQ(edit->Text(), "hello");
  EXPECT_EQ(edit->SelStart(), 5);
  EXPECT_EQ(changes.size(), 5u);

  THeadlessGui::Key(VK_HOME);
  THeadlessGui::Key(VK_RIGHT, {ssShift});
  THeadlessGui::Key(VK_RIGHT, {ssShift});
  EXPECT_EQ(edit->SelText(), "he");
  InjectText(&form, "J");
  THeadlessGui::Pump();
  EXPECT_EQ(edit->Text(), "Jllo");
  THeadlessGui::Key(VK_END);
  THeadlessGui::Key(VK_BACK);
  THeadlessGui::Key(VK_HOME);
  THeadlessGui::Key(VK_DELETE);
  EXPECT_EQ(edit->Text(), "ll");

  // Characters beyond ASCII are whole characters: one step, one deletion.
  edit->SetText("");
  InjectText(&form, "한글a");
  THeadlessGui::Pump();
  EXPECT_EQ(edit->Text(), "한글a");
  THeadlessGui::Key(VK_LEFT);
  THeadlessGui::Key(VK_BACK);
  EXPECT_EQ(edit->Text(), "한a");
  EXPECT_EQ(edit->SelStart(), 1);

  // The limit refuses typing but not text set by code; read-only refuses all typing.
  edit->SetMaxLength(3);
  edit->SetSelStart(2);
  InjectText(&form, "xyz");
  THeadlessGui::Pump();
  EXPECT_EQ(edit->Text(), "한ax");
  edit->SetText("abcdef");
  EXPECT_EQ(edit->Text(), "abcdef");
  edit->SetReadOnly(true);
  InjectText(&form, "q");
  THeadlessGui::Key(VK_BACK);
  EXPECT_EQ(edit->Text(), "abcdef");
  EXPECT_EQ(changes.back(), "abcdef") << "setting the text from code is a change too";

  // The form's key preview sees characters first and can eat them.
  edit->SetReadOnly(false);
  edit->SetMaxLength(0);
  edit->SelectAll();
  form.SetKeyPreview(true);
  form.OnKeyPress = TKeyPressEvent::FromFunction([](TObject*, char& c) {
    if (c == '!') c = 0;
  });
  InjectText(&form, "a!b");
  THeadlessGui::Pump();
  EXPECT_EQ(edit->Text(), "ab");
}

TEST_F(StdControls, ClickingAnEditPlacesTheCaretAndDraggingSelects) {
  TDialogForm form(Application);
  auto* edit = new TEdit(&form);
  edit->SetBounds(10, 10, 200, 21);
  edit->SetParent(&form);
  edit->SetText("abcdefgh");
  form.Show();
  edit->SetSelStart(0);
  TScratchCanvas c;
  c.SetFont(edit->Font());
  const int x3 = 10 + 3 + c.TextWidth("abc");  // border and margin, then three letters
  InjectMouseDown(&form, mbLeft, x3, 20);
  InjectMouseMove(&form, 10 + 3 + c.TextWidth("abcdef"), 20, MK_LBUTTON);
  InjectMouseUp(&form, mbLeft, 10 + 3 + c.TextWidth("abcdef"), 20);
  THeadlessGui::Pump();
  EXPECT_EQ(edit->SelStart(), 3);
  EXPECT_EQ(edit->SelText(), "def");
}

TEST_F(StdControls, AMemoKeepsLinesAndTextTogether) {
  TDialogForm form(Application);
  auto* memo = new TMemo(&form);
  memo->SetParent(&form);
  memo->Lines()->Add("first");
  memo->Lines()->Add("second");
  EXPECT_EQ(memo->Text(), "first\r\nsecond\r\n");
  form.Show();
  memo->SetFocus();
  memo->SetSelStart(5);  // the end of "first"
  InjectText(&form, "!");
  InjectKey(&form, VK_RETURN);
  InjectText(&form, "new");
  THeadlessGui::Pump();
  ASSERT_EQ(memo->Lines()->Count(), 3);
  EXPECT_EQ(memo->Lines()->Strings(0), "first!");
  EXPECT_EQ(memo->Lines()->Strings(1), "new");
  THeadlessGui::Key(VK_DOWN);
  THeadlessGui::Key(VK_BACK);
  EXPECT_EQ(memo->Lines()->Strings(2), "seond") << "down keeps the column";
  THeadlessGui::Key(VK_HOME);
  THeadlessGui::Key(VK_BACK);  // joins the lines
  EXPECT_EQ(memo->Lines()->Strings(1), "newseond");
  memo->SetText("a\r\nb");
  EXPECT_EQ(memo->Lines()->Count(), 2);
  EXPECT_EQ(memo->Lines()->Strings(1), "b");
}

TEST_F(StdControls, ACheckBoxClicksOnEveryChangeOfState) {
  TDialogForm form(Application);
  auto* box = new TCheckBox(&form);
  box->SetCaption("&Remember");
  box->SetBounds(10, 10, 120, 17);
  box->SetParent(&form);
  std::vector<int> states;
  box->OnClick = TNotifyEvent::FromFunction([&](TObject*) { states.push_back(int(box->State())); });
  form.Show();
  THeadlessGui::Click(box);
  box->SetChecked(false);
  box->SetChecked(false);  // no change, no click
  box->SetAllowGrayed(true);
  THeadlessGui::Click(box);
  THeadlessGui::Click(box);
  THeadlessGui::Key(VK_SPACE);
  EXPECT_EQ(states, (std::vector<int>{cbChecked, cbUnchecked, cbChecked, cbGrayed, cbUnchecked}));
  THeadlessGui::Key('R', {ssAlt});
  EXPECT_TRUE(box->Checked());
}

TEST_F(StdControls, LabelsSizeToTheirTextAndFocusTheirControl) {
  TDialogForm form(Application);
  auto* label = new TLabel(&form);
  label->SetParent(&form);
  label->SetCaption("&Name:");
  TScratchCanvas c;
  c.SetFont(label->Font());
  EXPECT_EQ(label->Width(), c.TextWidth("Name:"));
  EXPECT_EQ(label->Height(), c.TextHeight("Name:"));
  // Right-aligned auto-sized labels keep their right edge.
  label->SetAlignment(taRightJustify);
  label->SetLeft(100);
  const int right = label->Left() + label->Width();
  label->SetCaption("Longer name:");
  EXPECT_EQ(label->Left() + label->Width(), right);
  // Word wrap keeps the width and grows downwards.
  label->SetWordWrap(true);
  label->SetAutoSize(false);
  label->SetWidth(c.TextWidth("Longer") + 2);
  label->SetAutoSize(true);
  EXPECT_EQ(label->Height(), 2 * c.TextHeight("X"));

  auto* edit = new TEdit(&form);
  edit->SetParent(&form);
  auto* other = new TEdit(&form);
  other->SetParent(&form);
  label->SetCaption("&Name:");
  label->SetFocusControl(other);
  form.Show();
  EXPECT_TRUE(edit->Focused());
  THeadlessGui::Key('N', {ssAlt});
  EXPECT_TRUE(other->Focused());
  delete other;
  EXPECT_EQ(label->FocusControl(), nullptr);
}

TEST_F(StdControls, ALabelPaintsItsTextOverItsParentWhenTransparent) {
  TDialogForm form(Application);
  form.SetColor(clNavy);
  auto* label = new TLabel(&form);
  label->SetParent(&form);
  label->SetCaption("MMMM");
  label->Font()->SetColor(clYellow);
  label->SetColor(clWhite);
  form.Show();
  auto count = [&](COLORREF colour) {
    int n = 0;
    for (int y = 0; y < label->Height(); ++y)
      for (int x = 0; x < label->Width(); ++x) n += THeadlessGui::Pixel(&form, x, y) == colour;
    return n;
  };
  const COLORREF white = RGB(255, 255, 255), navy = RGB(0, 0, 128), yellow = RGB(255, 255, 0);
  EXPECT_GT(count(yellow), 10);
  EXPECT_GT(count(white), 10);
  EXPECT_EQ(count(navy), 0);
  label->SetTransparent(true);
  THeadlessGui::Pump();
  EXPECT_EQ(count(white), 0);
  EXPECT_GT(count(navy), 10);
  EXPECT_GT(count(yellow), 10);
}
