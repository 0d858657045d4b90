// The grid's data controller: typed values, the row order of stable multi-column
// sorting, update brackets, the focused record and the edit buffer.
#include "platform/cx/cxcustomdata.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> Rows(const TcxCustomDataController& dc) {
  std::vector<int> out;
  for (int r = 0; r < dc.RowCount(); ++r) out.push_back(dc.RecordIndexOfRow(r));
  return out;
}

// One item per column of values, records filled in order.
void Fill(TcxCustomDataController& dc, const std::vector<std::string>& Types,
          const std::vector<std::vector<Variant>>& Records) {
  for (size_t i = 0; i < Types.size(); ++i) {
    dc.InsertItem(int(i));
    dc.SetValueType(int(i), Types[i]);
  }
  for (const auto& rec : Records) {
    const int r = dc.AppendRecord();
    for (size_t i = 0; i < rec.size(); ++i) dc.SetValue(r, int(i), rec[i]);
  }
}

}  // namespace

TEST(DataController, ValuesTakeTheItemsTypeOrRaiseAndLeaveTheRecordAsItWas) {
  struct Case {
    const char* type;
    Variant given;
    TVarType stored;  // varEmpty: the write raises
    std::string text;
  };
  const Case cases[] = {
      {"Integer", Variant("12"), varInteger, "12"},     {"Integer", Variant(2.5), varInteger, "2"},
      {"Integer", Variant("x"), varEmpty, ""},          {"Float", Variant("1.25"), varDouble, "1.25"},
      {"Currency", Variant(1.23456), varCurrency, "1.2346"}, {"Boolean", Variant("True"), varBoolean, "True"},
      {"Boolean", Variant(0), varBoolean, "False"},     {"Boolean", Variant("maybe"), varEmpty, ""},
      {"String", Variant(3.5), varString, "3.5"},       {"Variant", Variant(7), varInteger, "7"},
      {"String", Variant::Null(), varNull, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " <- " + VarToStr(c.given));
    TcxCustomDataController dc;
    Fill(dc, {c.type}, {{Variant::Null()}});
    if (c.stored == varEmpty) {
      EXPECT_THROW(dc.SetValue(0, 0, c.given), EVariantTypeCastError);
      EXPECT_TRUE(dc.Values(0, 0).IsNull());
      continue;
    }
    dc.SetValue(0, 0, c.given);
    EXPECT_EQ(dc.Values(0, 0).VarType(), c.stored);
    EXPECT_EQ(dc.DisplayText(0, 0), c.text);
  }
  // A new type converts what is there; what does not convert becomes Null.
  TcxCustomDataController dc;
  Fill(dc, {"String"}, {{Variant("4")}, {Variant("four")}});
  dc.SetValueType(0, "Integer");
  EXPECT_EQ(dc.Values(0, 0), Variant(4));
  EXPECT_TRUE(dc.Values(1, 0).IsNull());
  EXPECT_THROW(dc.Values(2, 0), EListError);
  EXPECT_THROW(dc.SetValueType(0, "Date"), EVariantError);
}

TEST(DataController, RowsAreAStableSortWithNullFirstAndEqualRecordsKeepTheirOrder) {
  TcxCustomDataController dc;
  // Records:            0        1        2          3           4        5
  Fill(dc, {"String", "Integer"},
       {{Variant("b"), Variant(2)}, {Variant("A"), Variant(1)}, {Variant::Null(), Variant(2)},
        {Variant("a"), Variant(2)}, {Variant("가"), Variant::Null()}, {Variant("B"), Variant(1)}});
  EXPECT_EQ(Rows(dc), (std::vector<int>{0, 1, 2, 3, 4, 5}));
  // Letters fold to lower case; Hangul sorts after ASCII by its bytes.
  dc.SetSortOrder(0, soAscending);
  EXPECT_EQ(Rows(dc), (std::vector<int>{2, 1, 3, 0, 5, 4}));
  dc.SetSortOrder(0, soDescending);
  EXPECT_EQ(Rows(dc), (std::vector<int>{4, 0, 5, 1, 3, 2}));
  // A second item orders what the first leaves equal.
  dc.SetSortOrder(0, soNone);
  dc.SetSortOrder(1, soAscending);
  dc.SetSortOrder(0, soDescending);
  EXPECT_EQ(dc.SortIndex(1), 0);
  EXPECT_EQ(dc.SortIndex(0), 1);
  EXPECT_EQ(Rows(dc), (std::vector<int>{4, 5, 1, 0, 3, 2}));
  dc.SetSortIndex(0, 0);
  EXPECT_EQ(Rows(dc), (std::vector<int>{4, 5, 0, 1, 3, 2}));
  for (int r = 0; r < dc.RowCount(); ++r) EXPECT_EQ(dc.RowIndexOfRecord(dc.RecordIndexOfRow(r)), r);
  // Items moving or going take their sorting with them.
  dc.MoveItem(0, 1);
  EXPECT_EQ(dc.SortOrder(1), soDescending);
  EXPECT_EQ(Rows(dc), (std::vector<int>{4, 5, 0, 1, 3, 2}));
  dc.DeleteItem(1);
  EXPECT_EQ(dc.SortingItemCount(), 1);
  EXPECT_EQ(Rows(dc), (std::vector<int>{4, 1, 5, 0, 2, 3}));
  dc.ClearSorting();
  EXPECT_EQ(Rows(dc), (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

TEST(DataController, ABracketOfChangesTellsOnceAndTheRowsFollowWhenItCloses) {
  TcxCustomDataController dc;
  Fill(dc, {"Integer"}, {{Variant(3)}, {Variant(1)}, {Variant(2)}});
  dc.SetSortOrder(0, soAscending);
  int told = 0;
  dc.OnChanged = TNotifyEvent::FromFunction([&](TObject*) { ++told; });
  dc.BeginUpdate();
  dc.BeginUpdate();
  for (int r = 0; r < 3; ++r) dc.SetValue(r, 0, Variant(10 - r));
  dc.EndUpdate();
  EXPECT_EQ(told, 0);
  dc.EndUpdate();
  EXPECT_EQ(told, 1);
  EXPECT_EQ(Rows(dc), (std::vector<int>{2, 1, 0}));
  dc.SetValue(0, 0, Variant(10));  // unchanged: nobody is told
  EXPECT_EQ(told, 1);
}

TEST(DataController, TheFocusStaysWithItsRecordAndADeletedOnesRowKeepsIt) {
  TcxCustomDataController dc;
  Fill(dc, {"Integer"}, {{Variant(5)}, {Variant(1)}, {Variant(4)}, {Variant(2)}});
  dc.SetFocusedRecordIndex(2);
  dc.SetSortOrder(0, soAscending);  // rows: 1 3 2 0
  EXPECT_EQ(dc.FocusedRecordIndex(), 2);
  EXPECT_EQ(dc.FocusedRowIndex(), 2);
  EXPECT_TRUE(dc.IsRecordSelected(2));
  EXPECT_FALSE(dc.IsRecordSelected(1));
  dc.InsertRecord(0);  // Null first: rows 0 2 4 3 1
  EXPECT_EQ(dc.FocusedRecordIndex(), 3);
  EXPECT_EQ(dc.FocusedRowIndex(), 3);
  dc.DeleteRecord(3);  // the row's next record takes the focus
  EXPECT_EQ(dc.FocusedRowIndex(), 3);
  EXPECT_EQ(dc.FocusedRecordIndex(), 1);
  dc.SetRecordCount(1);
  EXPECT_EQ(dc.FocusedRecordIndex(), -1);
  dc.SetFocusedRowIndex(7);
  EXPECT_EQ(dc.FocusedRecordIndex(), -1);
}

TEST(DataController, EditedValuesWaitForPostUnlessPostedImmediately) {
  TcxCustomDataController dc;
  Fill(dc, {"Integer", "String"}, {{Variant(1), Variant("a")}});
  EXPECT_FALSE(dc.Edit());  // nothing focused
  dc.SetFocusedRecordIndex(0);
  dc.SetEditValue(0, Variant(9));
  EXPECT_TRUE(dc.IsEditing());
  EXPECT_EQ(dc.Values(0, 0), Variant(1));
  EXPECT_EQ(dc.GetEditValue(0), Variant(9));
  dc.SetEditValue(1, Variant("b"));
  dc.Post();
  EXPECT_FALSE(dc.IsEditing());
  EXPECT_EQ(dc.Values(0, 0), Variant(9));
  EXPECT_EQ(dc.Values(0, 1), Variant("b"));
  // A value that does not convert keeps the editing going.
  dc.SetEditValue(0, Variant("nine"));
  EXPECT_THROW(dc.Post(), EVariantTypeCastError);
  EXPECT_TRUE(dc.IsEditing());
  dc.Cancel();
  EXPECT_EQ(dc.Values(0, 0), Variant(9));
  dc.SetOptions({dcoImmediatePost});
  dc.SetEditValue(0, Variant(3));
  EXPECT_EQ(dc.Values(0, 0), Variant(3));
}
