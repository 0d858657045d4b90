// The grid's data: records of typed values in items (one item per column), the rows
// that show them in the current sort order, the focused record and the edit buffer.
//
// Values are stored as the item's value type ("String", "Integer", "Int64", "Float",
// "Currency", "Boolean" or "Variant", which keeps what it is given); a value that does
// not convert raises EVariantTypeCastError and leaves the record as it was. Rows are
// the records stably sorted by the sorting items in their sort index order: Null
// before every value, numbers by value, Booleans false first, texts by their bytes
// with ASCII letters folded to lower case; descending reverses each comparison, so
// equal records keep their order either way. The row order is worked out when first
// asked for after a change, so a bracket of changes sorts once.
#pragma once

#include <string>
#include <vector>

#include "platform/rtl/classes.h"
#include "platform/rtl/variants.h"

enum TcxDataSortOrder { soNone, soAscending, soDescending };
enum TcxDataControllerOption { dcoImmediatePost };
using TcxDataControllerOptions = TSet<TcxDataControllerOption>;

class TcxCustomDataController : public TPersistent {
  VX_CLASS(TcxCustomDataController, TPersistent)

 public:
  TcxCustomDataController() = default;
  TcxCustomDataController(const TcxCustomDataController&) = delete;
  TcxCustomDataController& operator=(const TcxCustomDataController&) = delete;

  // --- items (bad indexes raise EListError) ---
  int ItemCount() const { return int(items_.size()); }
  // A new item at Index, Null in every record, of value type "String".
  void InsertItem(int Index);
  void DeleteItem(int Index);
  void MoveItem(int CurIndex, int NewIndex);
  const std::string& ValueTypeName(int Item) const;
  TVarType ValueType(int Item) const;
  // Converts the item's values; those that do not convert become Null. Raises
  // EVariantError for an unknown type name.
  void SetValueType(int Item, const std::string& TypeName);

  // --- records ---
  int RecordCount() const { return recordCount_; }
  // New records hold Null; shrinking drops records from the end.
  void SetRecordCount(int Value);
  int AppendRecord();
  // A new record at Index (0 to RecordCount); later records move up by one.
  void InsertRecord(int Index);
  void DeleteRecord(int Index);
  // The stored value; raises EListError for a bad record or item index.
  const Variant& Values(int Record, int Item) const;
  // Stores the value converted to the item's type.
  void SetValue(int Record, int Item, const Variant& Value);
  // The value as text ("" for Null).
  std::string DisplayText(int Record, int Item) const;

  // --- update brackets: OnChanged once, when the last bracket closes ---
  void BeginUpdate();
  void EndUpdate();
  bool IsLocked() const { return lockCount_ > 0; }

  // --- sorting ---
  TcxDataSortOrder SortOrder(int Item) const;
  // soNone takes the item out of the sorting; another order adds it as the last
  // sorting item (or keeps its place when it was sorting already).
  void SetSortOrder(int Item, TcxDataSortOrder Value);
  // The place among the sorting items, -1 when not sorting.
  int SortIndex(int Item) const;
  void SetSortIndex(int Item, int Value);
  void ClearSorting();
  int SortingItemCount() const { return int(sorting_.size()); }
  int SortingItem(int Index) const;

  // --- rows ---
  int RowCount() const { return recordCount_; }
  // -1 for a row or record out of range.
  int RecordIndexOfRow(int Row) const;
  int RowIndexOfRecord(int Record) const;

  // --- focus and selection (the focused record is the selected one) ---
  int FocusedRecordIndex() const { return focused_; }
  // -1 (or an index out of range) removes the focus.
  void SetFocusedRecordIndex(int Value);
  int FocusedRowIndex() const { return focused_ < 0 ? -1 : RowIndexOfRecord(focused_); }
  void SetFocusedRowIndex(int Value) { SetFocusedRecordIndex(RecordIndexOfRow(Value)); }
  bool IsRecordSelected(int Record) const { return Record >= 0 && Record == focused_; }

  // --- editing of the focused record ---
  bool IsEditing() const { return editing_; }
  // Starts editing the focused record; false when none is focused.
  bool Edit();
  // The edited value of the focused record (the stored one until changed).
  Variant GetEditValue(int Item) const;
  // Keeps the value for Post; with dcoImmediatePost it is stored at once.
  void SetEditValue(int Item, const Variant& Value);
  // Stores the edited values and ends editing; a value that does not convert raises
  // and editing goes on.
  void Post();
  void Cancel();

  TcxDataControllerOptions Options() const { return options_; }
  void SetOptions(TcxDataControllerOptions Value) { options_ = Value; }

  // Records, values or row order changed.
  TNotifyEvent OnChanged;
  TNotifyEvent OnFocusedRecordChanged;

 private:
  struct Item {
    std::string typeName = "String";
    TVarType type = varString;
    std::vector<Variant> values;
  };

  void CheckItem(int Item) const;
  void CheckRecord(int Record) const;
  void Changed(bool Reorder);
  void EnsureRows() const;
  void SortRows() const;
  Variant Convert(const Item& AItem, const Variant& Value) const;

  std::vector<Item> items_;
  std::vector<int> sorting_;  // items in sort index order
  std::vector<TcxDataSortOrder> orders_;
  int recordCount_ = 0;
  int lockCount_ = 0;
  bool changed_ = false;
  mutable bool rowsValid_ = true;
  mutable std::vector<int> rows_;      // row -> record (empty while unsorted)
  mutable std::vector<int> recordRow_;  // record -> row
  int focused_ = -1;
  bool editing_ = false;
  std::vector<std::pair<int, Variant>> edits_;
  TcxDataControllerOptions options_;
};
