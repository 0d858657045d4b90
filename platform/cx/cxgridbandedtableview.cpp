// The view's model: options, bands, columns, records handed to events, the
// controller, and the view's own bookkeeping. Layout, hit tests and painting are in
// cxgridviewinfo.cpp.
#include "platform/cx/cxgridbandedtableview.h"

#include <algorithm>

#include "platform/cx/cxgrid.h"
#include "platform/cx/cxgridviewinfo.h"

// ---- Options ----

void TcxGridViewOptions::Changed() {
  if (view_) view_->LayoutChanged();
}

// ---- Style sheets ----

TcxGridBandedTableViewStyleSheet::TcxGridBandedTableViewStyleSheet(TComponent* AOwner)
    : TcxCustomStyleSheet(AOwner, vsStyleCount) {}

// ---- Bands ----

TcxGridBand::TcxGridBand(TCollection* ACollection)
    : TCollectionItem(ACollection),
      options_(std::make_unique<TcxGridBandOptions>(
          ACollection ? static_cast<TcxGridBands*>(ACollection)->GridView() : nullptr)) {}

TcxGridBandedTableView* TcxGridBand::GridView() const {
  return Collection() ? static_cast<TcxGridBands*>(Collection())->GridView() : nullptr;
}

void TcxGridBand::SetCaption(const std::string& Value) { SetAndNotify(caption_, Value, [this] { Changed(false); }); }
void TcxGridBand::SetAlignment(TAlignment Value) { SetAndNotify(alignment_, Value, [this] { Changed(false); }); }
void TcxGridBand::SetVisible(bool Value) { SetAndNotify(visible_, Value, [this] { Changed(true); }); }
void TcxGridBand::SetWidth(int Value) { SetAndNotify(width_, std::max(0, Value), [this] { Changed(true); }); }

std::vector<TcxGridBandedColumn*> TcxGridBand::ColumnList(bool VisibleOnly) const {
  std::vector<TcxGridBandedColumn*> out;
  TcxGridBandedTableView* view = GridView();
  if (!view) return out;
  for (int i = 0; i < view->ColumnCount(); ++i) {
    TcxGridBandedColumn* c = view->Columns(i);
    if (c->Position()->BandIndex() == Index() && (!VisibleOnly || c->Visible())) out.push_back(c);
  }
  std::stable_sort(out.begin(), out.end(), [](TcxGridBandedColumn* a, TcxGridBandedColumn* b) {
    return a->Position()->order_ < b->Position()->order_;
  });
  return out;
}

namespace {
TcxGridBandedColumn* At(const std::vector<TcxGridBandedColumn*>& List, int Index) {
  if (Index < 0 || Index >= int(List.size()))
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return List[size_t(Index)];
}
}  // namespace

int TcxGridBand::ColumnCount() const { return int(ColumnList(false).size()); }
TcxGridBandedColumn* TcxGridBand::Columns(int Index) const { return At(ColumnList(false), Index); }
int TcxGridBand::VisibleColumnCount() const { return int(ColumnList(true).size()); }
TcxGridBandedColumn* TcxGridBand::VisibleColumns(int Index) const { return At(ColumnList(true), Index); }

TcxGridBands::TcxGridBands(TcxGridBandedTableView* AView)
    : TOwnedCollection(AView, TcxGridBand::StaticClass(),
                       [](TCollection* c) -> TCollectionItem* { return new TcxGridBand(c); }),
      view_(AView) {}

int TcxGridBands::VisibleBottomItemCount() const {
  int n = 0;
  for (int i = 0; i < Count(); ++i) n += Items(i)->Visible();
  return n;
}

TcxGridBand* TcxGridBands::VisibleBottomItems(int Index) const {
  for (int i = 0, n = 0; i < Count(); ++i)
    if (Items(i)->Visible() && n++ == Index) return Items(i);
  throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

void TcxGridBands::Update(TCollectionItem*) { view_->BandsChanged(); }

void TcxGridBands::Notify(TCollectionItem*, TCollectionNotification Action) {
  if (Action == TCollectionNotification::cnExtracting) ++view_->removals_;
}

// ---- Column position and data binding ----

TcxGridBand* TcxGridBandedColumnPosition::Band() const {
  TcxGridBandedTableView* view = column_->GridView();
  if (!view || bandIndex_ < 0 || bandIndex_ >= view->Bands()->Count()) return nullptr;
  return view->Bands()->Items(bandIndex_);
}

void TcxGridBandedColumnPosition::SetBandIndex(int Value) {
  if (bandIndex_ == Value) return;
  // Last in the new band.
  TcxGridBandedTableView* view = column_->GridView();
  int next = 0;
  if (view && Value >= 0 && Value < view->Bands()->Count())
    for (TcxGridBandedColumn* c : view->Bands()->Items(Value)->ColumnList(false))
      next = std::max(next, c->Position()->order_ + 1);
  bandIndex_ = Value;
  order_ = next;
  if (view) view->BandsChanged();
}

int TcxGridBandedColumnPosition::ColIndex() const {
  TcxGridBand* band = Band();
  if (!band) return order_;
  const auto cols = band->ColumnList(false);
  return int(std::find(cols.begin(), cols.end(), column_) - cols.begin());
}

void TcxGridBandedColumnPosition::SetColIndex(int Value) {
  TcxGridBand* band = Band();
  if (!band) {
    order_ = Value;
    return;
  }
  auto cols = band->ColumnList(false);
  cols.erase(std::find(cols.begin(), cols.end(), column_));
  cols.insert(cols.begin() + std::clamp(Value, 0, int(cols.size())), column_);
  for (size_t i = 0; i < cols.size(); ++i) cols[i]->Position()->order_ = int(i);
  column_->GridView()->LayoutChanged();
}

std::string TcxGridItemDataBinding::ValueType() const {
  TcxGridBandedTableView* view = column_->GridView();
  return view ? view->DataController()->ValueTypeName(column_->Index()) : std::string("String");
}

void TcxGridItemDataBinding::SetValueType(const std::string& Value) {
  if (TcxGridBandedTableView* view = column_->GridView()) view->DataController()->SetValueType(column_->Index(), Value);
}

// ---- Columns ----

TcxGridBandedColumn::TcxGridBandedColumn(TComponent* AOwner)
    : TComponent(AOwner),
      position_(std::make_unique<TcxGridBandedColumnPosition>(this)),
      dataBinding_(std::make_unique<TcxGridItemDataBinding>(this)),
      headerGlyph_(std::make_unique<TBitmap>()) {
  auto* view = As<TcxGridBandedTableView>(AOwner);
  options_ = std::make_unique<TcxGridColumnOptions>(view);
  if (view) view->AddColumn(this);
}

TcxGridBandedColumn::~TcxGridBandedColumn() {
  if (view_) view_->RemoveColumn(this);
}

int TcxGridBandedColumn::Index() const {
  if (!view_) return -1;
  const auto& cols = view_->columns_;
  return int(std::find(cols.begin(), cols.end(), this) - cols.begin());
}

void TcxGridBandedColumn::SetIndex(int Value) {
  if (view_) view_->MoveColumn(this, Value);
}

void TcxGridBandedColumn::Changed() {
  if (view_) view_->LayoutChanged();
}

void TcxGridBandedColumn::SetCaption(const std::string& Value) { SetAndNotify(caption_, Value, [this] { Changed(); }); }
void TcxGridBandedColumn::SetVisible(bool Value) { SetAndNotify(visible_, Value, [this] { Changed(); }); }
void TcxGridBandedColumn::SetWidth(int Value) { SetAndNotify(width_, std::max(0, Value), [this] { Changed(); }); }
void TcxGridBandedColumn::SetHeaderAlignmentHorz(TAlignment Value) {
  SetAndNotify(headerAlignment_, Value, [this] { Changed(); });
}

TClass TcxGridBandedColumn::PropertiesClass() const { return properties_ ? properties_->ClassType() : nullptr; }

std::string TcxGridBandedColumn::PropertiesClassName() const { return properties_ ? properties_->ClassName() : ""; }

void TcxGridBandedColumn::SetPropertiesClass(TClass Value) {
  if (Value == PropertiesClass()) return;
  if (Value && (!Value->InheritsFrom(TcxCustomEditProperties::StaticClass()) || !Value->create))
    throw EInvalidCast(std::string("Cannot use ") + Value->name + " as column properties");
  properties_.reset(Value ? static_cast<TcxCustomEditProperties*>(Value->Create(nullptr)) : nullptr);
  if (properties_) properties_->OnPropertiesChanged = TNotifyEvent(this, &TcxGridBandedColumn::PropertiesChanged);
  Changed();
}

void TcxGridBandedColumn::PropertiesChanged(TObject*) { Changed(); }

void TcxGridBandedColumn::SetHeaderGlyph(TBitmap* Value) {
  if (Value && !Value->Empty()) {
    headerGlyph_->Assign(Value);
    headerGlyph_->SetTransparent(true);
  } else {
    headerGlyph_ = std::make_unique<TBitmap>();
  }
  Changed();
}

TcxDataSortOrder TcxGridBandedColumn::SortOrder() const {
  return view_ ? view_->DataController()->SortOrder(Index()) : soNone;
}

void TcxGridBandedColumn::SetSortOrder(TcxDataSortOrder Value) {
  if (view_) view_->DataController()->SetSortOrder(Index(), Value);
}

int TcxGridBandedColumn::SortIndex() const { return view_ ? view_->DataController()->SortIndex(Index()) : -1; }

void TcxGridBandedColumn::SetSortIndex(int Value) {
  if (view_) view_->DataController()->SetSortIndex(Index(), Value);
}

bool TcxGridBandedColumn::IsEditing() const { return view_ && view_->Controller()->EditingItem() == this; }

std::string TcxGridBandedColumn::GetDisplayText(int RecordIndex) const {
  if (!view_) return "";
  const Variant& v = view_->DataController()->Values(RecordIndex, Index());
  return cxEditDisplayText(properties_.get(), v);
}

// ---- Records ----

int TcxCustomGridRecord::RecordIndex() const { return view_->DataController()->RecordIndexOfRow(row_); }
bool TcxCustomGridRecord::Selected() const { return view_->DataController()->IsRecordSelected(RecordIndex()); }
bool TcxCustomGridRecord::Focused() const { return view_->DataController()->FocusedRowIndex() == row_; }
Variant TcxCustomGridRecord::Values(int ItemIndex) const {
  return view_->DataController()->Values(RecordIndex(), ItemIndex);
}

// ---- Controller ----

int TcxGridBandedTableController::FocusedRecordIndex() const { return view_->DataController()->FocusedRecordIndex(); }

void TcxGridBandedTableController::SetFocusedRecordIndex(int Value) {
  view_->DataController()->SetFocusedRecordIndex(Value);
}

int TcxGridBandedTableController::FocusedRowIndex() const { return view_->DataController()->FocusedRowIndex(); }

void TcxGridBandedTableController::SetFocusedRowIndex(int Value) {
  view_->DataController()->SetFocusedRowIndex(Value);
}

void TcxGridBandedTableController::SetFocusedColumn(TcxGridBandedColumn* Value) {
  if (Value && Value->GridView() != view_) return;
  if (focusedColumn_ == Value) return;
  if (TcxGridSite* site = view_->Site()) site->HideEdit(true);
  focusedColumn_ = Value;
  view_->LayoutChanged();
}

void TcxGridBandedTableController::SetTopRowIndex(int Value) {
  const int rows = view_->DataController()->RowCount();
  const int page = view_->ViewInfo().VisibleRowCount();
  Value = std::clamp(Value, 0, std::max(0, rows - page));
  if (Value == topRow_) return;
  const int delta = topRow_ - Value;
  topRow_ = Value;
  if (TcxGridSite* site = view_->Site()) site->Scrolled(0, delta);
}

void TcxGridBandedTableController::SetLeftPos(int Value) {
  const auto& info = view_->ViewInfo();
  Value = std::clamp(Value, 0, std::max(0, info.ContentWidth() - info.DataAreaWidth()));
  if (Value == leftPos_) return;
  const int delta = leftPos_ - Value;
  leftPos_ = Value;
  if (TcxGridSite* site = view_->Site()) site->Scrolled(delta, 0);
}

void TcxGridBandedTableController::MakeFocusedRecordVisible() {
  const int row = FocusedRowIndex();
  if (row >= 0) {
    const int page = std::max(1, view_->ViewInfo().VisibleRowCount());
    if (row < topRow_) SetTopRowIndex(row);
    if (row >= topRow_ + page) SetTopRowIndex(row - page + 1);
  }
  if (focusedColumn_) {
    const auto& info = view_->ViewInfo();
    int left = 0, right = 0;
    if (info.ColumnSpan(focusedColumn_, left, right)) {
      if (left < leftPos_) SetLeftPos(left);
      if (right > leftPos_ + info.DataAreaWidth()) SetLeftPos(std::min(left, right - info.DataAreaWidth()));
    }
  }
}

// ---- View ----

TcxGridBandedTableView::TcxGridBandedTableView(TComponent* AOwner)
    : TComponent(AOwner),
      bands_(std::make_unique<TcxGridBands>(this)),
      dataController_(std::make_unique<TcxGridDataController>()),
      controller_(std::make_unique<TcxGridBandedTableController>(this)),
      styles_(std::make_unique<TcxGridBandedTableViewStyles>()),
      optionsView_(std::make_unique<TcxGridBandedTableOptionsView>(this)),
      optionsCustomize_(std::make_unique<TcxGridBandedTableOptionsCustomize>(this)),
      optionsData_(std::make_unique<TcxGridTableOptionsData>(this)),
      optionsBehavior_(std::make_unique<TcxGridTableOptionsBehavior>(this)),
      filterBox_(std::make_unique<TcxGridFilterBox>(this)) {
  bands_->Add();
  dataController_->OnChanged = TNotifyEvent(this, &TcxGridBandedTableView::DataChanged);
  dataController_->OnFocusedRecordChanged = TNotifyEvent(this, &TcxGridBandedTableView::FocusedRecordChanged);
  styles_->OnChanged = TNotifyEvent(this, &TcxGridBandedTableView::StylesChanged);
}

TcxGridBandedTableView::~TcxGridBandedTableView() {
  Destroying();
  if (grid_) grid_->ViewRemoved(this);
  grid_ = nullptr;
  dataController_->OnChanged = nullptr;
  dataController_->OnFocusedRecordChanged = nullptr;
  styles_->OnChanged = nullptr;
  // The columns go before the rest of the view.
  while (!columns_.empty()) columns_.back()->Free();
}

TcxGridSite* TcxGridBandedTableView::Site() const { return grid_ ? grid_->SiteOf(this) : nullptr; }

TcxGridBandedColumn* TcxGridBandedTableView::Columns(int Index) const {
  if (Index < 0 || Index >= ColumnCount())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return columns_[size_t(Index)];
}

TcxGridBandedColumn* TcxGridBandedTableView::CreateColumn() {
  auto* column = new TcxGridBandedColumn(this);
  column->Position()->SetBandIndex(std::max(0, bands_->Count() - 1));
  return column;
}

int TcxGridBandedTableView::VisibleColumnCount() const { return int(ViewInfo().Columns().size()); }

TcxGridBandedColumn* TcxGridBandedTableView::VisibleColumns(int Index) const {
  const auto& cols = ViewInfo().Columns();
  if (Index < 0 || Index >= int(cols.size()))
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return cols[size_t(Index)].Column;
}

void TcxGridBandedTableView::AddColumn(TcxGridBandedColumn* Column) {
  Column->view_ = this;
  columns_.push_back(Column);
  dataController_->InsertItem(int(columns_.size()) - 1);
  Column->Position()->order_ = 1 << 30;
  LayoutChanged();
}

void TcxGridBandedTableView::RemoveColumn(TcxGridBandedColumn* Column) {
  const int index = Column->Index();
  if (index < 0) return;
  if (controller_->focusedColumn_ == Column) controller_->focusedColumn_ = nullptr;
  if (controller_->editingItem_ == Column) {
    if (TcxGridSite* site = Site()) site->HideEdit(false);
    controller_->editingItem_ = nullptr;
  }
  columns_.erase(columns_.begin() + index);
  ++removals_;
  dataController_->DeleteItem(index);
  Column->view_ = nullptr;
  LayoutChanged();
}

void TcxGridBandedTableView::MoveColumn(TcxGridBandedColumn* Column, int NewIndex) {
  const int index = Column->Index();
  NewIndex = std::clamp(NewIndex, 0, ColumnCount() - 1);
  if (index < 0 || index == NewIndex) return;
  columns_.erase(columns_.begin() + index);
  columns_.insert(columns_.begin() + NewIndex, Column);
  dataController_->MoveItem(index, NewIndex);
  LayoutChanged();
}

void TcxGridBandedTableView::BandsChanged() { LayoutChanged(); }

void TcxGridBandedTableView::SetPopupMenu(TPopupMenu* Value) {
  if (popupMenu_ == Value) return;
  if (popupMenu_) popupMenu_->RemoveFreeNotification(this);
  popupMenu_ = Value;
  if (popupMenu_) popupMenu_->FreeNotification(this);
  if (TcxGridSite* site = Site()) site->SetPopupMenu(Value);
}

void TcxGridBandedTableView::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == popupMenu_) popupMenu_ = nullptr;
}

void TcxGridBandedTableView::BeginUpdate() {
  ++updateCount_;
  dataController_->BeginUpdate();
}

void TcxGridBandedTableView::EndUpdate() {
  if (updateCount_ == 0) return;
  --updateCount_;
  dataController_->EndUpdate();
  if (updateCount_ == 0 && changedInUpdate_) {
    changedInUpdate_ = false;
    Changed();
  }
}

void TcxGridBandedTableView::LayoutChanged() {
  viewInfo_.reset();
  if (updateCount_ > 0) {
    changedInUpdate_ = true;
    return;
  }
  Changed();
}

void TcxGridBandedTableView::Changed() {
  if (ComponentState().Contains(csDestroying)) return;
  if (grid_) grid_->ViewChanged(this);
}

void TcxGridBandedTableView::DataChanged(TObject*) {
  // Rows come and go: the top row may have to move up.
  const int rows = dataController_->RowCount();
  if (controller_->topRow_ > 0 && controller_->topRow_ >= rows) controller_->topRow_ = std::max(0, rows - 1);
  LayoutChanged();
}

void TcxGridBandedTableView::FocusedRecordChanged(TObject*) {
  if (TcxGridSite* site = Site()) site->HideEdit(true);
  if (!IsUpdateLocked()) controller_->MakeFocusedRecordVisible();
  LayoutChanged();
  OnFocusedRecordChanged(this);
}

void TcxGridBandedTableView::StylesChanged(TObject*) { LayoutChanged(); }

const TcxGridBandedTableViewInfo& TcxGridBandedTableView::ViewInfo() const {
  if (!viewInfo_) viewInfo_ = std::make_shared<TcxGridBandedTableViewInfo>(const_cast<TcxGridBandedTableView*>(this));
  return *viewInfo_;
}
