#include "bizcontrols/vxBizStatusBar.h"

#include <gtest/gtest.h>

#include "bizcontrols/uHelpManager.h"
#include "platform/cx/cxdropdownedit.h"
#include "platform/cx/cxgrid.h"
#include "platform/cx/cxtextedit.h"
#include "platform/display/input.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/stdctrls.h"
#include "tests/bizcontrols/help_files.h"
#include "tests/support/TempFolder.h"
#include "tests/support/headless_gui.h"
#include "tests/support/manual_clock.h"

namespace {

using vxtest::WriteCp949;

class VxBizStatusBar : public ::testing::Test {
 protected:
  VxBizStatusBar() : exeName(Application->ExeName()), form(new TForm(Application)) {
    Application->SetExeName(program / "prog");
    form->SetBorderStyle(bsNone);
    form->SetBounds(0, 0, 500, 200);
    bar = new TvxBizStatusBar(form);
    bar->SetParent(form);
    Screen->OnActiveControlChange = TNotifyEvent(bar, &TvxBizStatusBar::OnActiveControlChange);
  }
  ~VxBizStatusBar() override {
    Screen->OnActiveControlChange = {};
    form->Free();
    Application->SetExeName(exeName);
  }
  std::string Shown() const { return bar->Edit()->Caption(); }
  template <class T>
  T* Add(TWinControl* Parent, const std::string& Name, int Top) {
    auto* c = new T(Parent);  // a frame owns its controls
    c->SetName(Name);
    c->SetBounds(10, Top, 150, 21);
    c->SetParent(Parent);
    return c;
  }

  TManualClock clock;
  THeadlessGui gui;
  TempFolder program;
  std::string exeName;
  TForm* form;
  TvxBizStatusBar* bar;
};

}  // namespace

TEST_F(VxBizStatusBar, ALineAtTheTopTheIconAndTheLabelAlongTheBottomOfTheForm) {
  EXPECT_EQ(bar->Align(), alBottom);
  EXPECT_EQ(bar->BoundsRect(), (TRect{0, 174, 500, 200}));
  EXPECT_EQ(bar->Color(), TColor(RGB(239, 240, 244)));
  EXPECT_EQ(bar->ShapeLine()->BoundsRect(), (TRect{0, 0, 500, 1}));
  EXPECT_EQ(bar->ShapeLine()->Brush()->Color(), TColor(RGB(146, 149, 156)));
  EXPECT_EQ(bar->ImagePre()->BoundsRect(), (TRect{10, 5, 65, 21}));
  EXPECT_EQ(bar->ImagePre()->Tag(), 300000);
  EXPECT_EQ(bar->ImagePre()->Picture()->Width(), 55);
  form->SetWidth(600);
  EXPECT_EQ(bar->Edit()->BoundsRect(), (TRect{70, 5, 598, 21})) << "the label follows the bar's width";
  EXPECT_EQ(bar->Edit()->Tag(), 999999);
  EXPECT_EQ(bar->Edit()->Style()->Font()->Name(), "굴림체");
}

TEST_F(VxBizStatusBar, HelpFilesInCp949AreReadWithTheirTextsWhateverTheirLineEnds) {
  ASSERT_TRUE(ForceDirectories(program / "Help"));
  WriteCp949(program / "Help/SAL200.wxt",
             "XNAME|다른 이름\r\nNAME|거래처 이름을 입력하세요\r\nno bar in this line\r\nPIPE|a|b c\r\nNAME|second\r\n");
  WriteCp949(program / "Help/unix.wxt", "EDTAMOUNT|금액 (원)\nEDTDATE|날짜\n");
  WriteCp949(program / "Help/EMPTY.wxt", "");
  struct {
    const char* file;
    const char* code;
    const char* text;
  } const cases[] = {
      {"SAL200", "name", "거래처 이름을 입력하세요"},  // not XNAME's text, though it comes first
      {"SAL200", "XNAME", "다른 이름"},
      {"SAL200", "PIPE", "a|b c"},
      {"SAL200", "no bar in this line", ""},
      {"SAL200", "", ""},
      {"SAL200", "AME", ""},
      {"unix", "EDTAMOUNT", "금액 (원)"},
      {"unix", "EDTDATE", "날짜"},
      {"EMPTY", "EDTDATE", ""},
      {"MISSING", "EDTDATE", ""},
      {"", "EDTDATE", ""},  // no file: nothing is looked up
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.code);
    bar->SetHelpFileName(c.file);
    bar->SetHelpText("before");
    bar->SetHelpCode(c.code);
    EXPECT_EQ(bar->HelpCode(), UpperCase(c.code));
    EXPECT_EQ(bar->HelpText(), c.text);
    EXPECT_EQ(Shown(), c.text);
  }
  bar->SetHelpFileName("SAL200");
  EXPECT_EQ(bar->HelpStringList()->Count(), 5);
  bar->SetHelpText("free text");
  EXPECT_EQ(bar->HelpCode(), "");
  EXPECT_EQ(Shown(), "free text");
}

TEST_F(VxBizStatusBar, NamingAFileMakesTheHelpFolderAndKeepsTheShownText) {
  bar->SetHelpText("kept");
  bar->SetHelpFileName("SAL200");
  EXPECT_TRUE(DirectoryExists(program / "Help"));
  EXPECT_EQ(Shown(), "kept");
}

TEST_F(VxBizStatusBar, RunTimeTextsComeBeforeTheFileAndGoOnlyWithTheirOwnCode) {
  ASSERT_TRUE(ForceDirectories(program / "Help"));
  WriteCp949(program / "Help/SAL200.wxt", "EDTNAME|from the file\r\n");
  bar->SetHelpFileName("SAL200");
  bar->SetTempHelpText("xedtName", "other code");
  bar->SetTempHelpText("edtName", "x");
  EXPECT_EQ(bar->GetHelpStingListText("EDTNAME"), "x");
  bar->SetTempHelpText("edtName", "changed");
  EXPECT_EQ(bar->GetHelpStingListText("EDTNAME"), "changed");
  bar->SetTempHelpText("EDTNAME", " ");
  EXPECT_EQ(bar->GetHelpStingListText("EDTNAME"), "from the file");
  EXPECT_EQ(bar->GetHelpStingListText("XEDTNAME"), "other code");
  // Lines the help editor changes in the bar's list are what the bar finds next.
  bar->HelpStringList()->Add("EDTCODE|added");
  bar->HelpStringList()->Delete(0);
  EXPECT_EQ(bar->GetHelpStingListText("EDTCODE"), "added");
  EXPECT_EQ(bar->GetHelpStingListText("EDTNAME"), "");
}

TEST_F(VxBizStatusBar, TheFocusMovingBetweenEditorsAndFramesChangesTheText) {
  ASSERT_TRUE(ForceDirectories(program / "Help"));
  WriteCp949(program / "Help/SAL200.wxt",
             "EDTNAME|이름\r\nFRMHEAD.EDTNAME|머리 이름\r\nEDTPLAIN|plain\r\nFRMHEAD|frame\r\nCBOKIND|종류\r\n");
  bar->SetHelpFileName("SAL200");
  auto* name = Add<TcxTextEdit>(form, "edtName", 10);
  auto* frame = new TFrame(form);
  frame->SetName("frmHead");
  frame->SetBounds(200, 0, 200, 100);
  frame->SetParent(form);
  auto* framed = Add<TcxTextEdit>(frame, "edtName", 10);
  auto* plain = Add<TEdit>(form, "edtPlain", 40);
  auto* nameless = Add<TEdit>(form, "", 70);
  auto* kind = Add<TcxComboBox>(form, "cboKind", 100);
  form->Show();
  struct {
    TWinControl* target;
    const char* text;
  } const steps[] = {
      {name, "이름"},           // the inner edit stands for its editor
      {framed, "머리 이름"},    // on a frame: the frame's name and the editor's
      {nameless, "머리 이름"},  // a nameless control that is no inner edit: unchanged
      {plain, "plain"},         // a named control itself
      {kind, "종류"},
      {name, "이름"},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.target->Name());
    gui.Click(s.target);
    clock.AdvanceMs(GetDoubleClickTime() + 1);
    ASSERT_TRUE(ProcessUntil([&] { return Screen->ActiveControl() && s.target->Focused(); }));
    EXPECT_EQ(Shown(), s.text);
  }
  EXPECT_EQ(bar->HelpCode(), "EDTNAME");
}

TEST_F(VxBizStatusBar, AnInPlaceGridEditorShowsTheTextOfItsViewAndFocusedColumn) {
  ASSERT_TRUE(ForceDirectories(program / "Help"));
  WriteCp949(program / "Help/SAL200.wxt", "BVMAIN.COLAMOUNT|금액\r\nBVMAIN.COLNAME|이름\r\n");
  bar->SetHelpFileName("SAL200");
  auto* grid = new TcxGrid(form);
  grid->SetBounds(0, 0, 400, 150);
  grid->SetParent(form);
  TcxGridBandedTableView* view = grid->CreateView(TcxGridBandedTableView::StaticClass());
  view->SetName("bvMain");
  grid->Levels()->Add()->SetGridView(view);
  for (const char* name : {"colName", "colAmount"}) {
    TcxGridBandedColumn* c = view->CreateColumn();
    c->SetName(name);
    c->SetWidth(150);
    c->DataBinding()->SetValueType("String");
  }
  view->DataController()->AppendRecord();
  form->Show();
  gui.Pump();
  bar->SetHelpText("before");
  gui.Click(grid->ActiveSite());
  EXPECT_EQ(Shown(), "before") << "the grid site itself has no help code";
  for (const auto& [column, text] : {std::pair{1, "금액"}, std::pair{0, "이름"}}) {
    SCOPED_TRACE(text);
    view->Controller()->SetFocusedRecordIndex(0);
    view->Controller()->SetFocusedColumn(view->Columns(column));
    gui.Key(VK_F2);
    ASSERT_NE(grid->ActiveSite()->InplaceEditor(), nullptr);
    EXPECT_EQ(Shown(), text);
    gui.Key(VK_ESCAPE);
  }
}

TEST_F(VxBizStatusBar, TheIconAsksForThePasswordUntilItIsGivenOnce) {
  form->Show();
  gui.QueueLogin(std::nullopt);  // cancelled
  gui.QueueLogin("wrong");
  gui.QueueLogin("parvine3");
  const auto doubleClick = [&] {
    gui.Click(bar->ImagePre());
    gui.Click(bar->ImagePre());
    clock.AdvanceMs(GetDoubleClickTime() + 1);
  };
  for (int prompts : {1, 2, 3}) {
    EXPECT_FALSE(bar->LoggedIn());
    EXPECT_EQ(bar->HelpManager(), nullptr);
    doubleClick();
    EXPECT_EQ(gui.LoginPrompts(), prompts);
  }
  EXPECT_TRUE(bar->LoggedIn());
  TfHelpManager* editor = bar->HelpManager();
  ASSERT_NE(editor, nullptr) << "the right password opens the help editor";
  EXPECT_TRUE(editor->Visible());
  // Closed, it tells the bar; the next double click opens another one without a prompt.
  editor->Close();
  gui.Pump();
  ASSERT_EQ(bar->HelpManager(), nullptr);
  EXPECT_FALSE(editor->Visible());
  doubleClick();
  EXPECT_EQ(gui.LoginPrompts(), 3) << "no second prompt";
  ASSERT_NE(bar->HelpManager(), nullptr);
  EXPECT_NE(bar->HelpManager(), editor);
  doubleClick();
  EXPECT_EQ(gui.LoginPrompts(), 3);
  // The bar goes with its editors open and closed; the closing note of the open one
  // finds no bar.
}

TEST_F(VxBizStatusBar, TheHelpEditorEditsTheBarsOwnTexts) {
  ASSERT_TRUE(ForceDirectories(program / "Help"));
  WriteCp949(program / "Help/SAL200.wxt", "EDTNAME|이름\r\n");
  bar->SetHelpFileName("SAL200");
  bar->SetHelpCode("edtName");
  form->Show();
  gui.QueueLogin("parvine3");
  gui.Click(bar->ImagePre());
  gui.Click(bar->ImagePre());
  TfHelpManager* editor = bar->HelpManager();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->edt_HelpFileName->Text(), "SAL200");
  EXPECT_EQ(editor->edt_HelpCode->Text(), "EDTNAME");
  EXPECT_EQ(editor->edt_HelpText->Text(), "이름");
  EXPECT_EQ(editor->HelpStringList(), bar->HelpStringList());
  editor->edt_HelpText->SetText("새 이름");
  gui.Click(editor->btn_Set);
  gui.Click(editor->btn_Save);
  EXPECT_EQ(bar->GetHelpStingListText("EDTNAME"), "새 이름") << "saved texts are the bar's at once";
  EXPECT_EQ(vxtest::ReadCp949(program / "Help/SAL200.wxt", program / "read"), "EDTNAME|새 이름\r\n");
}
