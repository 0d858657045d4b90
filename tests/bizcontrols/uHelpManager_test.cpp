#include "bizcontrols/uHelpManager.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <functional>

#include "bizcontrols/vxBizStatusBar.h"
#include "platform/cx/cxgridviewinfo.h"
#include "platform/display/input.h"
#include "platform/rtl/sysutils.h"
#include "tests/bizcontrols/help_files.h"
#include "tests/support/TempFolder.h"
#include "tests/support/headless_gui.h"
#include "tests/support/manual_clock.h"

namespace {

using Rows = std::vector<std::string>;
const Rows kFileRows = {"EDTNAME|이름", "PIPE|a|b"};

// The editor as the status bar opens it: on the lines of the bar's help file.
class HelpManager : public ::testing::Test {
 protected:
  HelpManager() : exeName(Application->ExeName()) {
    Application->SetExeName(program / "prog");
    EXPECT_TRUE(ForceDirectories(program / "Help"));
    vxtest::WriteCp949(File(), "EDTNAME|이름\r\nno bar in this line\r\nPIPE|a|b\r\n");
    list.LoadFromFile(File(), TvxBizStatusBar::HelpFileEncoding());
    form = new TfHelpManager(Application);
    form->SetHelpFileName("SAL200");
    form->SetHelpCode("EDTNAME");
    form->SetHelpText("이름");
    form->SetHelpStringList(&list);
    form->Show();
    gui.Pump();
    EXPECT_EQ(Screen->ActiveForm(), form);
  }
  ~HelpManager() override {
    form->Free();
    Application->SetExeName(exeName);
  }

  std::string File() const { return program / "Help/SAL200.wxt"; }
  TcxGridBandedTableView* View() const { return form->grd_MainBandedTableView1; }
  Rows GridRows() const {
    Rows rows;
    auto* data = View()->DataController();
    for (int r = 0; r < data->RecordCount(); ++r)
      rows.push_back(data->DisplayText(r, 0) + "|" + data->DisplayText(r, 1));
    return rows;
  }
  // The message shown by the last action, "" when none.
  std::string Said(size_t Before) {
    return gui.Boxes().size() > Before ? gui.Boxes().back().Text : std::string();
  }
  // Clicks a row's cell, as a person choosing the row.
  void ClickCell(int Row, TcxGridBandedColumn* Column) {
    const auto& info = View()->ViewInfo();
    const TRect r = info.CellBounds(*info.FindColumn(Column), Row);
    gui.ClickAt(form->grd_Main->ActiveSite(), (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    clock.AdvanceMs(GetDoubleClickTime() + 1);
  }
  // A button by a click, or its key.
  void Press(TcxButton* Button, WORD Key, bool ByKey) {
    if (ByKey)
      gui.Key(Key);
    else
      gui.Click(Button);
    clock.AdvanceMs(GetDoubleClickTime() + 1);
  }

  TManualClock clock;
  THeadlessGui gui;
  TempFolder program;
  std::string exeName;
  TStringList list;
  TfHelpManager* form;
};

}  // namespace

TEST_F(HelpManager, ShowsTheFieldsAndTheLinesThatHoldABar) {
  EXPECT_EQ(form->FormStyle(), fsStayOnTop);
  EXPECT_EQ(form->Caption(), "도움말 설정");
  EXPECT_EQ(form->edt_HelpFileName->Text(), "SAL200");
  EXPECT_FALSE(form->edt_HelpFileName->Enabled());
  EXPECT_EQ(form->edt_HelpCode->Text(), "EDTNAME");
  EXPECT_EQ(form->edt_HelpText->Text(), "이름");
  EXPECT_EQ(GridRows(), kFileRows);
  EXPECT_EQ(form->FindHelpCode("PIPE"), 1);
  EXPECT_EQ(form->FindHelpCode("pipe"), -1);
  // A code is shown, not edited in place; a text is.
  for (auto [column, editable] : {std::pair{form->col_HelpCode, false}, std::pair{form->col_HelpText, true}}) {
    ClickCell(0, column);
    gui.Key(VK_RETURN);
    EXPECT_EQ(View()->Controller()->IsEditing(), editable) << column->Name();
    gui.Key(VK_ESCAPE);
  }
}

TEST_F(HelpManager, ApplyPutsTheFieldsIntoTheCodesRowOrANewOne) {
  const struct {
    bool byKey;
    const char* file;
    const char* code;
    const char* text;
    const char* said;
    Rows rows;
  } steps[] = {
      {false, "SAL200", "edtCode", "  코드  ", "", {"EDTNAME|이름", "PIPE|a|b", "EDTCODE|코드"}},
      {true, "SAL200", "EDTCODE", "other", "", {"EDTNAME|이름", "PIPE|a|b", "EDTCODE|other"}},
      {true, "SAL200", "edtName", " Name ", "", {"EDTNAME|Name", "PIPE|a|b", "EDTCODE|other"}},
      {false, "SAL200", "", "x", "HelpCode 이 없습니다.", {"EDTNAME|Name", "PIPE|a|b", "EDTCODE|other"}},
      {true, "", "edtCode", "x", "HelpFileName 이 없습니다.", {"EDTNAME|Name", "PIPE|a|b", "EDTCODE|other"}},
      // A line of the file is one code and one line of text.
      {true, "SAL200", "a|b", "x", "HelpCode 에는 '|' 를 쓸 수 없습니다.", {"EDTNAME|Name", "PIPE|a|b", "EDTCODE|other"}},
      {false, "SAL200", "edtCode", "x\r\ny", "HelpText 는 한 줄이어야 합니다.", {"EDTNAME|Name", "PIPE|a|b", "EDTCODE|other"}},
      {false, "SAL200", "edtCode", "x\ny", "HelpText 는 한 줄이어야 합니다.", {"EDTNAME|Name", "PIPE|a|b", "EDTCODE|other"}},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(std::string(s.code) + (s.byKey ? " by F2" : " by click"));
    form->edt_HelpFileName->SetText(s.file);
    form->edt_HelpCode->SetText(s.code);
    form->edt_HelpText->SetText(s.text);
    form->edt_HelpText->SetFocus();
    const size_t before = gui.Boxes().size();
    Press(form->btn_Set, VK_F2, s.byKey);
    EXPECT_EQ(Said(before), s.said);
    EXPECT_EQ(GridRows(), s.rows);
  }
  EXPECT_EQ(list.Count(), 3) << "the file's lines change only when saved";
}

TEST_F(HelpManager, DeleteTakesTheFocusedRowAway) {
  const struct {
    int click;  // the row clicked first, -1: none
    bool byKey;
    const char* said;
    Rows rows;
  } steps[] = {
      {-1, true, "삭제할 줄을 선택하세요.", kFileRows},
      {1, false, "", {"EDTNAME|이름"}},
      {-1, true, "", {}},  // the focus stayed on the row that took the deleted one's place
      {-1, false, "삭제할 줄을 선택하세요.", {}},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.said);
    if (s.click >= 0) ClickCell(s.click, form->col_HelpText);
    const size_t before = gui.Boxes().size();
    Press(form->btn_Del, VK_F6, s.byKey);
    EXPECT_EQ(Said(before), s.said);
    EXPECT_EQ(GridRows(), s.rows);
  }
  EXPECT_EQ(list.Count(), 3);
}

TEST_F(HelpManager, SaveWritesTheRowsAsTheFileInCodePage949) {
  form->edt_HelpCode->SetText("edtCode");
  form->edt_HelpText->SetText("거래처 코드 (필수)");
  gui.Click(form->btn_Set);
  // A text being edited in place is saved as typed.
  ClickCell(0, form->col_HelpText);
  gui.Key(VK_RETURN);
  ASSERT_TRUE(View()->Controller()->IsEditing());
  vx::display::InjectText(form, "새 이름");
  gui.Key(VK_F5);
  const std::string lines = "EDTNAME|새 이름\r\nPIPE|a|b\r\nEDTCODE|거래처 코드 (필수)\r\n";
  EXPECT_EQ(vxtest::ReadCp949(File(), program / "read"), lines);
  EXPECT_EQ(list.Text(), lines) << "the bar's lines are the grid's";
  EXPECT_EQ(ReadFileBytes(File()), TvxBizStatusBar::HelpFileEncoding()->GetBytes(lines));
  for (int i = 0; i < 3; ++i) Press(form->btn_Del, VK_F6, true);
  ASSERT_EQ(GridRows(), Rows{});
  gui.Click(form->btn_Save);
  EXPECT_TRUE(FileExists(File()));
  EXPECT_EQ(ReadFileBytes(File()), "") << "an empty grid, an empty file";
}

TEST_F(HelpManager, ASaveThatFailsKeepsTheOldFileAndSaysSo) {
  TempFolder elsewhere;
  WriteFileBytes(elsewhere / "Help", "a file where the folder should be");
  rlimit limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
  const struct {
    const char* name;
    std::string kept;  // the file that must stay as it was
    std::function<void()> fail, restore;
  } cases[] = {
      {"the Help folder is a file", elsewhere / "Help",
       [&] { Application->SetExeName(elsewhere / "prog"); },
       [&] { Application->SetExeName(program / "prog"); }},
      // Writes beyond a small size fail, as on a full disk (whoever runs the test).
      {"the new file cannot be written", File(),
       [&] {
         signal(SIGXFSZ, SIG_IGN);
         rlimit small = limit;
         small.rlim_cur = 40;
         setrlimit(RLIMIT_FSIZE, &small);
       },
       [&] { setrlimit(RLIMIT_FSIZE, &limit); }},
  };
  form->edt_HelpCode->SetText("LONG");
  form->edt_HelpText->SetText(std::string(100, 'x'));
  gui.Click(form->btn_Set);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string old = ReadFileBytes(c.kept);
    const size_t before = gui.Boxes().size();
    c.fail();
    gui.Key(VK_F5);
    c.restore();
    EXPECT_EQ(Said(before), "기존 파일 삭제 실패");
    EXPECT_EQ(ReadFileBytes(c.kept), old);
    EXPECT_EQ(list.Count(), 3) << "the bar's lines are the grid's all the same";
  }
  Rows left;
  for (const auto& f : std::filesystem::directory_iterator(program / "Help")) left.push_back(f.path().filename());
  EXPECT_EQ(left, Rows{"SAL200.wxt"}) << "no new file is left beside the old one";
}
