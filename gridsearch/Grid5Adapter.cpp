#include "gridsearch/Grid5Adapter.h"

#include <algorithm>

#include "gridsearch/Grid5StyleSeets.h"
#include "gridsearch/uGrid5SearchOption.h"
#include "platform/cx/cxcheckbox.h"
#include "platform/cx/cxgridexportlink.h"
#include "platform/cx/cxgridviewinfo.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/typinfo.h"
#include "platform/vcl/dialogs.h"
#include "platform/vcl/forms.h"
#include "platform/win/shell.h"

namespace {

constexpr TColor kFrameColor = RGB(167, 167, 167);
constexpr intptr_t kTagCheckAll = 1;
constexpr intptr_t kTagNoSort = 2;

TBitmap* g_unchecked = nullptr;
TBitmap* g_checked = nullptr;

// A header glyph: a red outline over the whole picture (red is clear, so the last
// column and row stay clear), a grey frame one pixel narrower and lower, white inside.
TBitmap* MakeGlyph(int Width, int Height, bool Tick) {
  auto* b = new TBitmap();
  b->SetPixelFormat(pf24bit);
  b->SetSize(Width, Height);
  TCanvas* c = b->Canvas();
  c->Pen()->SetColor(clRed);
  c->Brush()->SetColor(clRed);
  c->Rectangle(0, 0, Width, Height);
  c->Pen()->SetColor(kFrameColor);
  c->Brush()->SetColor(clWhite);
  c->Rectangle(0, 0, Width - 1, Height - 1);
  if (Tick) {
    // Seven strokes of three pixels.
    const int tops[] = {4, 5, 6, 5, 4, 3, 2};
    c->Pen()->SetColor(clBlack);
    for (int i = 0; i < 7; ++i) {
      c->MoveTo(2 + i, tops[i]);
      c->LineTo(2 + i, tops[i] + 3);
    }
  }
  b->SetTransparentColor(clRed);
  b->SetTransparent(true);
  return b;
}

bool IsCheckBox(const TcxGridBandedColumn* Column) { return cxIsCheckBoxColumn(Column); }

bool StrictlyInside(const TRect& R, int X, int Y) { return X > R.left && X < R.right && Y > R.top && Y < R.bottom; }

// Installs Own as a view's handler, keeping the one it had as Previous; a view that
// already holds Own keeps the Previous kept before, so a handler never calls itself.
template <class E>
void Chain(E& Slot, E& Previous, const E& Own) {
  if (Slot == Own) return;
  Previous = Slot;
  Slot = Own;
}

// Gives a view its previous handler back when it still holds the adapter's.
template <class E>
void Unchain(E& Slot, E& Previous, const E& Own) {
  if (Slot == Own) Slot = Previous;
  Previous = nullptr;
}

}  // namespace

TBitmap* UncheckedGlyph() { return g_unchecked; }
TBitmap* CheckedGlyph() { return g_checked; }

bool IsCheckAllGlyph(TBitmap* Glyph) {
  return Glyph && g_checked && !Glyph->Empty() && Glyph->Width() == g_checked->Width() &&
         Glyph->Height() == g_checked->Height();
}

// ---- Life and attachment ----

TGrid5Adapter::TGrid5Adapter(TComponent* AOwner) : TComponent(AOwner) {}

TGrid5Adapter::~TGrid5Adapter() {
  Destroying();
  if (dialog_) {
    dialog_->SetGridView(nullptr);
    dialog_->RemoveFreeNotification(this);
    dialog_ = nullptr;
  }
  Detach();
  styles_.clear();
}

void TGrid5Adapter::FreePopup() {
  if (!popup_) return;
  TPopupMenu* popup = popup_;
  popup_ = nullptr;
  popup->RemoveFreeNotification(this);
  popup->Free();
}

void TGrid5Adapter::Detach() {
  if (!view_) return;
  TcxGridBandedTableView* view = view_;
  view_ = nullptr;
  view->RemoveFreeNotification(this);
  Unchain(view->OnCustomDrawCell, prevCustomDrawCell_,
          TcxGridTableDataCellCustomDrawEvent(this, &TGrid5Adapter::EventOnCustomDrawCell));
  Unchain(view->Styles()->OnGetContentStyle, prevGetContentStyle_,
          TcxGridGetCellStyleEvent(this, &TGrid5Adapter::EventOnGetContentStyle));
  Unchain(view->OnMouseDown, prevMouseDown_, TMouseEvent(this, &TGrid5Adapter::EventOnMouseDown));
  Unchain(view->OnCustomDrawIndicatorCell, prevCustomDrawIndicatorCell_,
          TcxGridIndicatorCellCustomDrawEvent(this, &TGrid5Adapter::EventOnCustomDrawIndicatorCell));
  Unchain(view->OnCustomDrawBandHeader, prevCustomDrawBandHeader_,
          TcxGridBandCustomDrawHeaderEvent(this, &TGrid5Adapter::EventOnCustomDrawBandHeader));
  if (popup_ && view->PopupMenu() == popup_) view->SetPopupMenu(nullptr);
  FreePopup();
  if (dialog_) dialog_->SetGridView(nullptr);
}

void TGrid5Adapter::SetBandedTableVeiw(TcxGridBandedTableView* Value) {
  if (Value == view_) {
    // The same view again: only the look is applied again.
    Initialize();
    return;
  }
  Detach();
  if (!Value) return;
  view_ = Value;
  view_->FreeNotification(this);
  popup_ = new TPopupMenu(nullptr);
  popup_->FreeNotification(this);
  const std::string name = view_->Name() + "GridOptionPopup";
  if (IsValidIdent(name)) popup_->SetName(name);
  popup_->SetAutoHotkeys(maManual);
  popup_->SetAutoPopup(true);
  auto add = [&](const char* Caption, void (TGrid5Adapter::*Handler)(TObject*)) {
    auto* item = new TMenuItem(popup_);
    item->SetCaption(Caption);
    item->OnClick = TNotifyEvent(this, Handler);
    popup_->Items()->Add(item);
  };
  add("선택화면 엑셀 변환", &TGrid5Adapter::Grid_Export_Excel);
  add("찾기(Ctrl+F)", &TGrid5Adapter::Grid_Search_Option);
  view_->SetPopupMenu(popup_);
  Initialize();
}

void TGrid5Adapter::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove) return;
  if (AComponent == view_) {
    // The view is going: its handlers and popup go with it; only ours are dropped.
    view_ = nullptr;
    prevCustomDrawCell_ = nullptr;
    prevGetContentStyle_ = nullptr;
    prevMouseDown_ = nullptr;
    prevCustomDrawIndicatorCell_ = nullptr;
    prevCustomDrawBandHeader_ = nullptr;
    FreePopup();
    if (dialog_) dialog_->SetGridView(nullptr);
  }
  if (AComponent == popup_) popup_ = nullptr;
  if (AComponent == dialog_) dialog_ = nullptr;
}

void TGrid5Adapter::SetImmediatePost(bool Value) {
  immediatePost_ = Value;
  if (!view_) return;
  TcxDataControllerOptions o = view_->DataController()->Options();
  if (Value)
    o.Include(dcoImmediatePost);
  else
    o.Exclude(dcoImmediatePost);
  view_->DataController()->SetOptions(o);
}

void TGrid5Adapter::Initialize() {
  if (!view_ || view_->IsDesigning()) return;
  TcxGridBandedTableView* v = view_;
  SetImmediatePost(immediatePost_);
  v->BeginUpdate();
  auto* customize = v->OptionsCustomize();
  customize->SetColumnFiltering(false);
  customize->SetColumnVertSizing(false);
  customize->SetBandMoving(false);
  customize->SetColumnMoving(false);
  auto* ov = v->OptionsView();
  ov->SetGroupByBox(false);
  ov->SetFixedBandSeparatorWidth(1);
  ov->SetFocusRect(false);
  ov->SetBandHeaderHeight(21);
  ov->SetHeaderHeight(21);
  ov->SetDataRowHeight(23);
  ov->SetGroupRowHeight(23);
  ov->SetCellTextMaxLineCount(1);
  ov->SetCellEndEllipsis(true);
  ov->SetShowEditButtons(gsebAlways);
  ov->SetGridLineColor(RGB(212, 208, 199));
  ov->SetNoDataToDisplayInfoText("");
  v->OptionsData()->SetDeleting(false);
  v->OptionsData()->SetInserting(false);
  v->OptionsBehavior()->SetFocusCellOnTab(true);
  v->OptionsBehavior()->SetFocusCellOnCycle(true);
  v->FilterBox()->SetVisible(fvNever);

  Chain(v->OnCustomDrawCell, prevCustomDrawCell_,
        TcxGridTableDataCellCustomDrawEvent(this, &TGrid5Adapter::EventOnCustomDrawCell));
  Chain(v->Styles()->OnGetContentStyle, prevGetContentStyle_,
        TcxGridGetCellStyleEvent(this, &TGrid5Adapter::EventOnGetContentStyle));
  if (StyleSheetList && v->Tag() >= 0 && v->Tag() < StyleSheetList->Count())
    v->Styles()->SetStyleSheet(StyleSheetList->GetStyleSheet(int(v->Tag())));
  Chain(v->OnMouseDown, prevMouseDown_, TMouseEvent(this, &TGrid5Adapter::EventOnMouseDown));
  Chain(v->OnCustomDrawIndicatorCell, prevCustomDrawIndicatorCell_,
        TcxGridIndicatorCellCustomDrawEvent(this, &TGrid5Adapter::EventOnCustomDrawIndicatorCell));
  Chain(v->OnCustomDrawBandHeader, prevCustomDrawBandHeader_,
        TcxGridBandCustomDrawHeaderEvent(this, &TGrid5Adapter::EventOnCustomDrawBandHeader));

  for (int i = 0; i < v->ColumnCount(); ++i) {
    TcxGridBandedColumn* c = v->Columns(i);
    if (IsCheckBox(c)) InitCheckBox(c);
    if (c->PropertiesClassName() == "TcxCurrencyEditProperties") InitCurrency(c);
  }
  v->EndUpdate();
  while (int(styles_.size()) < GetRecordCount()) styles_.push_back(nullptr);
}

// ---- Records ----

int TGrid5Adapter::GetRecordCount() const { return view_ ? view_->DataController()->RecordCount() : 0; }

void TGrid5Adapter::SetRecordCount(int Count) {
  if (!view_ || Count < 0) return;
  view_->DataController()->SetRecordCount(Count);
  if (int(styles_.size()) > Count) styles_.resize(size_t(Count));
}

void TGrid5Adapter::FillRecord(int Record, const std::vector<Variant>& Values) {
  auto* dc = view_->DataController();
  const int n = std::min<int>(int(Values.size()), dc->ItemCount());
  dc->BeginUpdate();
  try {
    for (int i = 0; i < n; ++i) dc->SetValue(Record, i, Values[size_t(i)]);
  } catch (...) {
    dc->EndUpdate();
    throw;
  }
  dc->EndUpdate();
}

int TGrid5Adapter::AddRecords(const std::vector<Variant>& Values) {
  if (!view_) return -1;
  const int record = view_->DataController()->AppendRecord();
  FillRecord(record, Values);
  return record;
}

int TGrid5Adapter::InsertRecord(int Index) {
  if (!view_ || Index < 0 || Index > GetRecordCount()) return -1;
  InsertRecordStyle(Index);
  view_->DataController()->InsertRecord(Index);
  return Index;
}

int TGrid5Adapter::InsertRecords(int Index, const std::vector<Variant>& Values) {
  const int record = InsertRecord(Index);
  if (record >= 0) FillRecord(record, Values);
  return record;
}

void TGrid5Adapter::DeleteRecord(int Index) {
  if (!InRange(Index)) return;
  view_->DataController()->DeleteRecord(Index);
  DeleteRecordStyle(Index);
}

void TGrid5Adapter::Clear() {
  ClearCellStyle();
  if (!view_) return;
  auto* dc = view_->DataController();
  dc->BeginUpdate();
  for (int i = dc->RecordCount() - 1; i >= 0; --i) dc->DeleteRecord(i);
  dc->EndUpdate();
  dc->SetRecordCount(0);
}

int TGrid5Adapter::RowIndexToRecordIndex(int Row) const {
  return view_ ? view_->DataController()->RecordIndexOfRow(Row) : -1;
}

// ---- Cell styles ----

void TGrid5Adapter::RecordRangeCheck(int Record) {
  if (!InRange(Record)) return;
  if (int(styles_.size()) <= Record) styles_.resize(size_t(Record) + 1);
  auto& row = styles_[size_t(Record)];
  if (!row) row = std::make_unique<StyleRow>();
  if (int(row->size()) < view_->ColumnCount()) row->resize(size_t(view_->ColumnCount()));
}

void TGrid5Adapter::SetCellStyle(int Record, int Column, TColor Color, TColor TextColor, const std::string& FontName,
                                 TFontStyles FontStyle, int FontSize) {
  if (Record < 0 || Column < 0) return;
  RecordRangeCheck(Record);
  if (Record >= int(styles_.size()) || !styles_[size_t(Record)]) return;
  StyleRow& row = *styles_[size_t(Record)];
  if (Column >= int(row.size())) return;
  auto& style = row[size_t(Column)];
  if (!style) style = std::make_unique<TcxStyle>(nullptr);
  style->SetColor(Color);
  style->SetTextColor(TextColor);
  style->Font()->SetName(FontName);
  style->Font()->SetStyle(style->Font()->Style() + FontStyle);
  style->Font()->SetSize(FontSize);
  if (view_) view_->LayoutChanged();
}

void TGrid5Adapter::SetRecordStyle(int Record, TColor Color, TColor TextColor, const std::string& FontName,
                                   TFontStyles FontStyle, int FontSize) {
  SetCellStyle(Record, 0, Color, TextColor, FontName, FontStyle, FontSize);
  TcxStyle* first = GetCellStyle(Record, 0);
  if (!first) return;
  StyleRow& row = *styles_[size_t(Record)];
  for (size_t c = 1; c < row.size(); ++c) {
    if (!row[c]) row[c] = std::make_unique<TcxStyle>(nullptr);
    row[c]->Assign(first);
  }
}

TcxStyle* TGrid5Adapter::GetCellStyle(int Record, int Column) const {
  if (Record < 0 || Column < 0 || Record >= int(styles_.size()) || !styles_[size_t(Record)]) return nullptr;
  const StyleRow& row = *styles_[size_t(Record)];
  return Column < int(row.size()) ? row[size_t(Column)].get() : nullptr;
}

void TGrid5Adapter::DeleteCellStyle(int Record, int Column) {
  if (!GetCellStyle(Record, Column)) return;
  (*styles_[size_t(Record)])[size_t(Column)].reset();
  if (view_) view_->LayoutChanged();
}

void TGrid5Adapter::InsertRecordStyle(int Record) {
  // Rows past the table are made when first styled.
  if (Record >= 0 && Record <= int(styles_.size())) styles_.insert(styles_.begin() + Record, nullptr);
}

void TGrid5Adapter::DeleteRecordStyle(int Record) {
  if (Record >= 0 && Record < int(styles_.size())) styles_.erase(styles_.begin() + Record);
}

void TGrid5Adapter::ClearCellStyle() { styles_.clear(); }

TcxStyle* TGrid5Adapter::GetEvenStyle() const {
  if (!view_) return nullptr;
  TcxStyle* even = view_->Styles()->Values(vsContentEven);
  return even && view_->Styles()->Values(vsContentOdd) ? even : nullptr;
}

TcxStyle* TGrid5Adapter::GetEvenOdd() const {
  if (!view_) return nullptr;
  TcxStyle* odd = view_->Styles()->Values(vsContentOdd);
  return odd && view_->Styles()->Values(vsContentEven) ? odd : nullptr;
}

// ---- Check boxes ----

void TGrid5Adapter::InitCheckBox(TcxGridBandedColumn* Column) {
  if (!Column) return;
  Column->DataBinding()->SetValueType("Boolean");
  if (auto* props = As<TcxCheckBoxProperties>(Column->Properties())) props->SetNullStyle(nssUnchecked);
  if (Column->ComponentState().Contains(csDesigning) || (view_ && view_->IsDesigning())) return;
  Column->SetHeaderGlyph((Column->Tag() & kTagCheckAll) ? g_unchecked : nullptr);
}

void TGrid5Adapter::InitCurrency(TcxGridBandedColumn* Column) {
  if (Column) Column->DataBinding()->SetValueType("Currency");
}

bool TGrid5Adapter::IsAllChecked(TcxGridBandedColumn* Column) const {
  if (!Column) return false;
  if (Column->Tag() & kTagCheckAll) return IsCheckAllGlyph(Column->HeaderGlyph());
  TcxGridBandedTableView* view = Column->GridView();
  if (!view) return false;
  auto* dc = view->DataController();
  for (int r = 0; r < dc->RecordCount(); ++r) {
    try {
      if (!dc->Values(r, Column->Index()).AsBoolean()) return false;
    } catch (const Exception&) {
      return false;
    }
  }
  return true;
}

void TGrid5Adapter::WriteAll(TcxGridBandedColumn* Column, bool Value) {
  TcxGridBandedTableView* view = Column->GridView();
  if (!view) return;
  auto* dc = view->DataController();
  dc->BeginUpdate();
  for (int r = 0; r < dc->RecordCount(); ++r) {
    try {
      dc->SetValue(r, Column->Index(), Variant(Value));
    } catch (const Exception&) {
      // A record that takes no Boolean keeps its value.
    }
  }
  dc->EndUpdate();
}

void TGrid5Adapter::SetCheckedAll(TcxGridBandedColumn* Column, bool Checked) {
  if (!Column || !IsCheckBox(Column) || !Column->GridView()) return;
  // The header shows the state written.
  if (Column->Tag() & kTagCheckAll) Column->SetHeaderGlyph(Checked ? g_checked : g_unchecked);
  Column->GridView()->BeginUpdate();
  WriteAll(Column, Checked);
  Column->GridView()->EndUpdate();
}

void TGrid5Adapter::CheckBoxAllClick(TcxGridBandedColumn* Column, bool AllChecked) {
  if (!Column) return;
  bool headerChange = true, handled = false;
  OnCheckBoxAllClick(this, Column, AllChecked, headerChange, handled);
  if (headerChange) Column->SetHeaderGlyph(AllChecked ? g_unchecked : g_checked);
  if (!handled) WriteAll(Column, !AllChecked);
}

// ---- Commands ----

void TGrid5Adapter::Grid_Export_Excel(TObject*) {
  if (!view_) return;
  if (GetRecordCount() == 0) {
    ShowMessage("엑셀출력할 자료가 없습니다.");
    return;
  }
  TSaveDialog dialog(nullptr);
  dialog.SetDefaultExt("xls");
  dialog.SetFilter("Excel Files (*.xls)|*.xls");
  dialog.SetOptions({ofOverwritePrompt, ofHideReadOnly, ofPathMustExist, ofCreatePrompt, ofEnableSizing});
  const bool chosen = dialog.Execute();
  SetCurrentDir(ExtractFilePath(Application->ExeName()));
  if (!chosen) return;
  try {
    ExportGridToExcel(dialog.FileName(), view_->Control(), true, true, true, "xls");
    // Opening the workbook starts another program, which a run nobody attends never does.
    TDialogRequest open = MessageBoxRequest("저장된 파일을 실행하시겠습니까?", "엑섹출력", MB_YESNO);
    open.Unattended = mrNo;
    if (DialogService().MessageDialog(open) == mrYes)
      ShellExecute(nullptr, "open", "Excel.exe", ("\"" + dialog.FileName() + "\"").c_str(), nullptr, SW_SHOWNORMAL);
  } catch (const Exception& e) {
    ShowMessage("엑셀출력실패\r\n\r\n" + e.Message());
  }
}

void TGrid5Adapter::Grid_Search_Option(TObject*) {
  if (!view_) return;
  // The dialog opened before goes; so does any other of its caption in this program.
  if (dialog_) {
    TfGrid5SearchOption* old = dialog_;
    dialog_ = nullptr;
    old->RemoveFreeNotification(this);
    old->Free();
  }
  if (HWND other = FindWindow(nullptr, "자료 검색")) SendMessage(other, WM_CLOSE, 0, 0);
  dialog_ = new TfGrid5SearchOption(this);
  dialog_->FreeNotification(this);
  dialog_->SetGridView(view_);
  dialog_->Show();
}

bool TGrid5Adapter::FunctionKeyCheck(TObject*, WORD& Key, TShiftState Shift) {
  if (Shift == TShiftState{ssCtrl} && Key == 70 && view_) {
    Grid_Search_Option(this);
    return true;
  }
  return false;
}

// ---- Handlers ----

void TGrid5Adapter::EventOnMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y) {
  auto* site = As<TcxGridSite>(Sender);
  // Header clicks are the left button's; the right one opens the popup menu.
  if (site && site->GridView() == view_ && !view_->IsDesigning() && Button == mbLeft) {
    const TcxGridHitTest hit = view_->GetHitTest(X, Y);
    TcxGridBandedColumn* column = nullptr;
    bool bandMode = false;
    if (hit.Kind == ghtColumnHeader) {
      column = hit.Column;
    } else if (hit.Kind == ghtBandHeader && hit.Band->ColumnCount() > 0 && hit.Band->Options()->Sorting()) {
      column = hit.Band->Columns(0);
      bandMode = true;
      for (int i = 0; i < view_->ColumnCount(); ++i)
        if (view_->Columns(i) != column) view_->Columns(i)->SetSortOrder(soNone);
    }
    if (column) {
      const TRect glyph = hit.HeaderGlyphBounds;
      // Only a check-box column is checked all; another column's glyph is the client's own.
      if (!bandMode && IsCheckBox(column) && !column->HeaderGlyph()->Empty() && StrictlyInside(glyph, X, Y)) {
        CheckBoxAllClick(column, IsCheckAllGlyph(column->HeaderGlyph()));
        column->Options()->SetSorting(false);
      } else if (!sorting_ || (column->Tag() & kTagNoSort)) {
        column->SetSortOrder(soNone);
        column->Options()->SetSorting(false);
      } else if (bandMode) {
        const TcxDataSortOrder order = column->SortOrder();
        column->SetSortOrder(order == soNone ? soAscending : order == soAscending ? soDescending : soNone);
      } else if (column->SortOrder() == soDescending) {
        column->SetSortOrder(soNone);
        column->Options()->SetSorting(false);
      } else {
        column->Options()->SetSorting(true);
      }
    }
  }
  prevMouseDown_(Sender, Button, Shift, X, Y);
}

void TGrid5Adapter::EventOnGetContentStyle(TcxGridBandedTableView* Sender, TcxCustomGridRecord* ARecord,
                                           TcxGridBandedColumn* AItem, TcxStyle*& AStyle) {
  if (Sender && !Sender->IsDesigning() && ARecord && AItem) {
    const int record = ARecord->RecordIndex();
    const int column = AItem->Index();
    TcxStyle* selection = Sender->Styles()->Values(vsSelection);
    TcxStyle* cell = GetCellStyle(record, column);
    TcxStyle* style = nullptr;
    if (!ARecord->Selected() || AItem->IsEditing()) {
      if (cell && !(cell->Color() == clDefault && cell->TextColor() == clDefault)) style = cell;
    } else {
      style = selection;
    }
    if (selection && style == selection && ColoredSelectionStyle) {
      ColoredSelectionStyle->Assign(selection);
      if (cell) ColoredSelectionStyle->SetTextColor(cell->TextColor());
      AStyle = ColoredSelectionStyle;
    } else if (AItem->Options()->Editing() && !IsCheckBox(AItem)) {
      AStyle = nullptr;
    } else {
      AStyle = style;
    }
  }
  prevGetContentStyle_(Sender, ARecord, AItem, AStyle);
}

void TGrid5Adapter::EventOnCustomDrawCell(TcxGridBandedTableView* Sender, TcxCanvas* ACanvas,
                                          TcxGridTableDataCellViewInfo* AViewInfo, bool& ADone) {
  prevCustomDrawCell_(Sender, ACanvas, AViewInfo, ADone);
  if (!AViewInfo || !AViewInfo->Item) return;
  TcxGridBandedColumn* column = AViewInfo->Item;
  bool drawRect = column->Options()->Editing();
  const int row = Sender->Controller()->TopRowIndex() + AViewInfo->VisibleRowIndex;
  OnEditableDrawCell(Sender, column->Index(), row, drawRect);
  if (!drawRect || IsCheckBox(column)) return;
  if (!ADone) AViewInfo->PaintContent(ACanvas);
  TRect frame = AViewInfo->Bounds;
  InflateRect(&frame, 1, 1);
  ACanvas->FrameRect(frame, kFrameColor);
  ADone = true;
}

void TGrid5Adapter::EventOnCustomDrawBandHeader(TcxGridBandedTableView* Sender, TcxCanvas* ACanvas,
                                                TcxGridBandHeaderViewInfo* AViewInfo, bool& ADone) {
  TcxGridBand* band = AViewInfo ? AViewInfo->Band : nullptr;
  TcxStyle* style = Sender ? Sender->Styles()->Values(vsBandHeader) : nullptr;
  if (band && style && band->Options()->Sorting() && band->ColumnCount() > 0 &&
      band->Columns(0)->SortOrder() != soNone) {
    const TRect r = AViewInfo->Bounds;
    ACanvas->FillRect(r, style->Color());
    ACanvas->DrawComplexFrame(r, clBtnHighlight, clBtnShadow);
    ACanvas->Canvas()->Font()->Assign(style->Font());
    ACanvas->Font()->SetColor(style->TextColor());
    TRect text = AViewInfo->TextAreaBounds;
    TAlignment align = band->Alignment();
    if (align == taCenter && ACanvas->TextWidth(AViewInfo->Text) > text.right - text.left) align = taLeftJustify;
    ACanvas->DrawText(AViewInfo->Text, text, cxAlignmentFlags(align, false));
    // The arrow: 8 pixels wide, 15 pixels left of the right edge, from 5 pixels above
    // the middle.
    const int left = r.right - 15, top = (r.top + r.bottom) / 2 - 5;
    const bool up = band->Columns(0)->SortOrder() == soAscending;
    const TColor ink = style->TextColor() == clDefault ? clBtnText : style->TextColor();
    if (up)
      ACanvas->Polygon({{left, top + 7}, {left + 7, top + 7}, {left + 4, top}, {left + 3, top}}, ink);
    else
      ACanvas->Polygon({{left, top}, {left + 7, top}, {left + 4, top + 7}, {left + 3, top + 7}}, ink);
    ADone = true;
  }
  prevCustomDrawBandHeader_(Sender, ACanvas, AViewInfo, ADone);
}

void TGrid5Adapter::EventOnCustomDrawIndicatorCell(TcxGridBandedTableView* Sender, TcxCanvas* ACanvas,
                                                   TcxGridIndicatorItemViewInfo* AViewInfo, bool& ADone) {
  TcxStyle* style = Sender ? Sender->Styles()->Values(vsIndicator) : nullptr;
  if (Sender && !Sender->IsDesigning() && AViewInfo && AViewInfo->Kind == ickFooter && style) {
    TRect text = AViewInfo->ContentBounds;
    InflateRect(&text, -2, -1);
    Sender->LookAndFeelPainter()->DrawHeader(ACanvas, AViewInfo->Bounds, text, taCenter, "", ACanvas->Font(),
                                             ACanvas->Font()->Color(), style->Color());
    ADone = true;
    return;
  }
  prevCustomDrawIndicatorCell_(Sender, ACanvas, AViewInfo, ADone);
}

namespace {

// The view a stored reference names: the component of that name among those the
// adapter's owner holds, and the ones they hold in turn (a view belongs to its grid).
TcxGridBandedTableView* FindView(TComponent* Root, const std::string& Name) {
  if (!Root || Name.empty()) return nullptr;
  for (int i = 0; i < Root->ComponentCount(); ++i) {
    TComponent* c = Root->Components(i);
    if (auto* view = As<TcxGridBandedTableView>(c); view && SameText(view->Name(), Name)) return view;
    if (TcxGridBandedTableView* found = FindView(c, Name)) return found;
  }
  return nullptr;
}

void Publish() {
  PublishOrdinal<TGrid5Adapter>("Sorting", &TGrid5Adapter::Sorting, &TGrid5Adapter::SetSorting);
  PublishOrdinal<TGrid5Adapter>("ImmediatePost", &TGrid5Adapter::ImmediatePost, &TGrid5Adapter::SetImmediatePost);
  PublishOrdinal<TGrid5Adapter>("HideFocusedCell", &TGrid5Adapter::HideFocusedCell, &TGrid5Adapter::SetHideFocusedCell);
  RegisterPublishedProperty(
      TGrid5Adapter::StaticClass(),
      TPropInfo{"BandedTableVeiw",
                [](TObject* o) {
                  TcxGridBandedTableView* v = static_cast<TGrid5Adapter*>(o)->BandedTableVeiw();
                  return TPropValue(v ? v->Name() : std::string());
                },
                [](TObject* o, const TPropValue& v) {
                  const std::string* name = std::get_if<std::string>(&v);
                  if (!name) vx_typinfo::RaiseConvertError("BandedTableVeiw");
                  auto* adapter = static_cast<TGrid5Adapter*>(o);
                  adapter->SetBandedTableVeiw(FindView(adapter->Owner(), *name));
                }});
}

}  // namespace

namespace Grid5Adapter {

void Initialization() {
  if (!g_unchecked) g_unchecked = MakeGlyph(12, 12, false);
  if (!g_checked) g_checked = MakeGlyph(11, 12, true);
  Publish();
}

void Finalization() {
  delete g_unchecked;
  g_unchecked = nullptr;
  delete g_checked;
  g_checked = nullptr;
}

void Register() { RegisterComponents("Vextra", {TGrid5Adapter::StaticClass()}); }

}  // namespace Grid5Adapter
