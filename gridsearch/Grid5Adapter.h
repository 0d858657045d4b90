// The grid adapter: attached to a banded table view, it gives the view the house look
// and behaviour: fixed options and sizes, a style sheet chosen by the view's Tag, cell
// and record styles, framed editable cells, the none/ascending/descending sort cycle
// on column and band headers, check-all headers on check-box columns, a popup menu
// with spreadsheet export and search, and Ctrl+F for the search dialog.
//
// Column Tag bit 0 gives a check-box column a check-all header glyph; bit 1 keeps a
// column from being sorted. The adapter's handlers run in place of the view's, and
// each calls the handler the view had before, so a client's handlers keep working;
// detaching gives the view its handlers back.
#pragma once

#include <memory>
#include <vector>

#include "platform/cx/cxgrid.h"
#include "platform/rtl/variants.h"
#include "platform/vcl/menus.h"

class TfGrid5SearchOption;

// A check-all header was clicked: AChecked is the state before the click; clearing
// AHeaderChange keeps the header glyph, setting AHandled keeps the values.
using TCheckBoxAllEvent = Event<TObject*, TcxGridBandedColumn*, bool, bool&, bool&>;
// Whether an editable cell gets its frame: Sender is the view, ARecordIndex the row's
// position (the top row index plus the row's place on screen).
using TEventOnEditableDrawCell = Event<TObject*, int, int, bool&>;

// The two header glyphs: 12 by 12 for "not all checked", 11 by 12 for "all checked".
TBitmap* UncheckedGlyph();
TBitmap* CheckedGlyph();
// A non-empty glyph of the checked glyph's size.
bool IsCheckAllGlyph(TBitmap* Glyph);

class TGrid5Adapter : public TComponent {
  VX_CLASS(TGrid5Adapter, TComponent)

 public:
  explicit TGrid5Adapter(TComponent* AOwner);
  ~TGrid5Adapter() override;

  // --- published ---
  TcxGridBandedTableView* BandedTableVeiw() const { return view_; }
  void SetBandedTableVeiw(TcxGridBandedTableView* Value);
  bool Sorting() const { return sorting_; }
  void SetSorting(bool Value) { sorting_ = Value; }
  bool ImmediatePost() const { return immediatePost_; }
  void SetImmediatePost(bool Value);
  bool HideFocusedCell() const { return hideFocusedCell_; }
  void SetHideFocusedCell(bool Value) { hideFocusedCell_ = Value; }
  TCheckBoxAllEvent OnCheckBoxAllClick;
  TEventOnEditableDrawCell OnEditableDrawCell;

  // Applies the fixed look and installs the handlers (nothing without a view or while
  // the view is being designed).
  void Initialize();

  // --- records (indexes out of range are ignored; -1 without a view) ---
  int GetRecordCount() const;
  void SetRecordCount(int Count);
  int AddRecords(const std::vector<Variant>& Values);
  int InsertRecord(int Index);
  int InsertRecords(int Index, const std::vector<Variant>& Values);
  void DeleteRecord(int Index);
  void Clear();
  int RowIndexToRecordIndex(int Row) const;

  // --- cell and record styles ---
  void SetCellStyle(int Record, int Column, TColor Color, TColor TextColor, const std::string& FontName,
                    TFontStyles FontStyle, int FontSize);
  void SetRecordStyle(int Record, TColor Color, TColor TextColor, const std::string& FontName, TFontStyles FontStyle,
                      int FontSize);
  TcxStyle* GetCellStyle(int Record, int Column) const;
  void DeleteCellStyle(int Record, int Column);
  void InsertRecordStyle(int Record);
  void DeleteRecordStyle(int Record);
  void ClearCellStyle();
  void RecordRangeCheck(int Record);
  // The view's style 2 and style 3, or null unless both are set.
  TcxStyle* GetEvenStyle() const;
  TcxStyle* GetEvenOdd() const;

  // --- check boxes ---
  void InitCheckBox(TcxGridBandedColumn* Column);
  void InitCurrency(TcxGridBandedColumn* Column);
  bool IsAllChecked(TcxGridBandedColumn* Column) const;
  void SetCheckedAll(TcxGridBandedColumn* Column, bool Checked);
  void CheckBoxAllClick(TcxGridBandedColumn* Column, bool AllChecked);

  // --- commands ---
  void Grid_Export_Excel(TObject* Sender);
  void Grid_Search_Option(TObject* Sender);
  void GridSearchOptionPopup(TObject* Sender) { Grid_Search_Option(Sender); }
  // Ctrl+F (Ctrl alone) with a view opens the search dialog: true. A client calls it
  // from its form's key handler.
  bool FunctionKeyCheck(TObject* Sender, WORD& Key, TShiftState Shift);

  TPopupMenu* PopupMenu() const { return popup_; }
  TfGrid5SearchOption* SearchDialog() const { return dialog_; }

  // --- the handlers installed on the view ---
  void EventOnCustomDrawCell(TcxGridBandedTableView* Sender, TcxCanvas* ACanvas,
                             TcxGridTableDataCellViewInfo* AViewInfo, bool& ADone);
  void EventOnGetContentStyle(TcxGridBandedTableView* Sender, TcxCustomGridRecord* ARecord,
                              TcxGridBandedColumn* AItem, TcxStyle*& AStyle);
  void EventOnMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void EventOnCustomDrawIndicatorCell(TcxGridBandedTableView* Sender, TcxCanvas* ACanvas,
                                      TcxGridIndicatorItemViewInfo* AViewInfo, bool& ADone);
  void EventOnCustomDrawBandHeader(TcxGridBandedTableView* Sender, TcxCanvas* ACanvas,
                                   TcxGridBandHeaderViewInfo* AViewInfo, bool& ADone);

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  using StyleRow = std::vector<std::unique_ptr<TcxStyle>>;

  void Detach();
  void FreePopup();
  // Writes a value into the column of every record; failing writes are skipped.
  void WriteAll(TcxGridBandedColumn* Column, bool Value);
  bool InRange(int Record) const { return view_ && Record >= 0 && Record < GetRecordCount(); }
  void FillRecord(int Record, const std::vector<Variant>& Values);

  TcxGridBandedTableView* view_ = nullptr;
  bool sorting_ = true;
  bool immediatePost_ = false;
  bool hideFocusedCell_ = true;
  std::vector<std::unique_ptr<StyleRow>> styles_;
  TPopupMenu* popup_ = nullptr;
  TfGrid5SearchOption* dialog_ = nullptr;
  // The view's handlers from before the adapter's.
  TcxGridTableDataCellCustomDrawEvent prevCustomDrawCell_;
  TcxGridGetCellStyleEvent prevGetContentStyle_;
  TMouseEvent prevMouseDown_;
  TcxGridIndicatorCellCustomDrawEvent prevCustomDrawIndicatorCell_;
  TcxGridBandCustomDrawHeaderEvent prevCustomDrawBandHeader_;
};

namespace Grid5Adapter {
void Initialization();
void Finalization();
void Register();
}  // namespace Grid5Adapter
