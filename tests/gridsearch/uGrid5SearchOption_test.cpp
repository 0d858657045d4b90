// The search dialog on a headless form over a small grid: its form, the column list,
// the option panel, the keys, and the cases where a search says something instead of
// moving the focus. The searches at large are compared with the model in
// grid_model_test.cpp.
#include "gridsearch/uGrid5SearchOption.h"

#include <gtest/gtest.h>

#include "gridsearch/Grid5Adapter.h"
#include "tests/gridsearch/search_driver.h"

namespace {

class SearchDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    name = g.AddColumn("name");
    amount = g.AddColumn("amount", "Integer");
    flag = g.AddColumn("flag", "Boolean", 60);
    flag->SetPropertiesClass(TcxCheckBoxProperties::StaticClass());
    g.view->Bands()->Add();
    note = g.AddColumn("note", "String", 80, 1);
    // "amount" shown before "name".
    amount->Position()->SetColIndex(0);
    g.AddRow({Variant("ABC"), Variant(21000), Variant(true), Variant("x")});
    g.AddRow({Variant("kim 철수"), Variant(5), Variant(false), Variant::Null()});
    g.AddRow({Variant("abc"), Variant(-3), Variant(true), Variant("21,000 원")});
    adapter = new TGrid5Adapter(g.form);
    adapter->SetBandedTableVeiw(g.view);
    search.Attach(adapter);
    dialog = search.Dialog();
    ASSERT_NE(dialog, nullptr);
  }
  int Focused() const { return g.view->DataController()->FocusedRecordIndex(); }

  THeadlessGui gui;
  TGridForm g;
  TcxGridBandedColumn *name, *amount, *flag, *note;
  TGrid5Adapter* adapter = nullptr;
  TSearchDriver search{gui, g};
  TfGrid5SearchOption* dialog = nullptr;
};

}  // namespace

TEST_F(SearchDialog, OpensOnTopWithTheSearchableColumnsInDisplayOrderAndTheOptionPanelHidden) {
  EXPECT_EQ(dialog->Caption(), "자료 검색");
  EXPECT_EQ(dialog->FormStyle(), fsStayOnTop);
  EXPECT_EQ(dialog->ClientWidth(), 475);
  EXPECT_EQ(dialog->ClientHeight(), 160);
  EXPECT_FALSE(dialog->pn_Sub->Visible());
  EXPECT_TRUE(dialog->btn_SubOptionOpen->Visible());
  EXPECT_TRUE(dialog->rb_Repeat->Checked());
  EXPECT_FALSE(dialog->chk_CaseSense->Checked());
  EXPECT_TRUE(dialog->chk_BlankNot->Checked() && dialog->chk_InlineText->Checked());
  auto* items = dialog->cb_Search_Col->Properties()->Items();
  std::vector<std::pair<std::string, std::string>> listed;
  for (int i = 0; i < items->Count(); ++i)
    listed.emplace_back(VarToStr(items->Items(i)->Value()), items->Items(i)->Description());
  const std::vector<std::pair<std::string, std::string>> expected{
      {"", "전체 컬럼"}, {"1", "amount"}, {"0", "name"}, {"3", "note"}};
  EXPECT_EQ(listed, expected);
  EXPECT_EQ(dialog->cb_Search_Col->ItemIndex(), 0);
  EXPECT_TRUE(dialog->cb_Search_Col->EditValue().IsNull());

  THeadlessGui::Click(dialog->btn_SubOptionOpen);
  EXPECT_EQ(dialog->ClientHeight(), 200);
  EXPECT_TRUE(dialog->pn_Sub->Visible());
  EXPECT_FALSE(dialog->btn_SubOptionOpen->Visible());
  THeadlessGui::Click(dialog->btn_SubOptionClose);
  EXPECT_EQ(dialog->ClientHeight(), 160);
  EXPECT_TRUE(dialog->btn_SubOptionOpen->Visible());
}

TEST_F(SearchDialog, SearchesAsTheOptionsSayAndSpeaksWhereNothingMoves) {
  struct Case {
    int focused, column;
    const char* text;
    const char* direction;
    bool caseSense, blankNot, inlineText;
    const char* outcome;
  };
  const Case cases[] = {
      {-1, -1, "1,000", "down", false, true, true, "found 0"},  // commas always go
      {0, -1, "1 000", "down", false, true, true, "found 2"},   // blanks ignored; "21,000 원"
      {0, -1, "1 000", "down", false, false, true, "더이상 찾을 수 없습니다."},
      {1, 0, "abc", "up", false, true, true, "found 0"},
      {1, 0, "abc", "up", true, true, true, "더이상 찾을 수 없습니다."},
      {0, 0, "abc", "up", false, true, true, "첫번째 줄입니다."},
      {2, 0, "ABC", "up", true, true, true, "found 0"},
      {0, 0, "ABC", "whole", true, true, true, "더이상 찾을 수 없습니다."},  // the start row is not tested
      {1, 0, "AB", "down", false, true, false, "더이상 찾을 수 없습니다."},  // whole texts only
      {1, 0, "abc", "down", false, true, false, "found 2"},
      {2, 0, "abc", "down", false, true, true, "마지막 줄입니다."},
      {0, -1, "철수", "whole", false, true, true, "found 1"},
      {1, -1, "철수", "whole", false, true, true, "더이상 찾을 수 없습니다."},  // only the focused row holds it
      {1, 3, "x", "whole", false, true, true, "found 0"},
      {1, 1, "-3", "whole", false, true, true, "found 2"},
      {1, -1, "true", "whole", false, true, true, "더이상 찾을 수 없습니다."},  // check boxes are not searched
      {1, -1, "   ", "whole", false, true, true, "찾을 내용을 입력하세요."},
      {1, -1, " , ,", "whole", false, true, true, "더이상 찾을 수 없습니다."},  // nothing left to look for
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " " + c.direction);
    g.view->DataController()->SetFocusedRecordIndex(c.focused);
    EXPECT_EQ(search.Search(c.column, c.text, c.direction, c.caseSense, c.blankNot, c.inlineText), c.outcome);
    if (std::string(c.outcome).rfind("found", 0) != 0) {
      EXPECT_EQ(Focused(), c.focused);
    }
    EXPECT_TRUE(dialog->edt_Search_Text->Focused());
  }
}

TEST_F(SearchDialog, FollowsTheRowsAsSortedAndTheKeysOfTheForm) {
  // Sorted by name descending, case aside and stable: kim 철수, ABC, abc.
  g.view->DataController()->SetSortOrder(0, soDescending);
  g.view->DataController()->SetFocusedRecordIndex(1);
  EXPECT_EQ(search.Search(-1, "a", "down", false, true, true), "found 0");
  EXPECT_EQ(search.Search(-1, "a", "down", false, true, true), "found 2");
  EXPECT_EQ(search.Search(-1, "a", "down", false, true, true), "마지막 줄입니다.");

  // Enter in the column list moves on to the text; Enter on the button searches.
  dialog->cb_Search_Col->SetFocus();
  THeadlessGui::Key(VK_RETURN);
  EXPECT_TRUE(dialog->edt_Search_Text->Focused());
  g.view->DataController()->SetFocusedRecordIndex(1);
  dialog->btn_Search->SetFocus();
  const size_t boxes = gui.Boxes().size();
  THeadlessGui::Key(VK_RETURN);
  EXPECT_EQ(gui.Boxes().size(), boxes);
  EXPECT_EQ(Focused(), 0);
  // A disabled button searches no more.
  dialog->btn_Search->SetEnabled(false);
  dialog->edt_Search_Text->SetFocus();
  THeadlessGui::Key(VK_RETURN);
  EXPECT_EQ(Focused(), 0);

  // Closing forgets the view; a search then does nothing.
  dialog->Close();
  THeadlessGui::Pump();
  EXPECT_EQ(dialog->GridView(), nullptr);
  dialog->btn_SearchClick(nullptr);
  EXPECT_EQ(gui.Boxes().size(), boxes);
}
