#include "platform/cx/cxgrid.h"

#include <algorithm>

#include "platform/cx/cxcheckbox.h"
#include "platform/cx/cxgridviewinfo.h"
#include "platform/cx/cxlabel.h"
#include "platform/vcl/forms.h"

// ---- Levels ----

TcxGridLevel::TcxGridLevel(TComponent* AOwner) : TComponent(AOwner) {}

TcxGridLevel::~TcxGridLevel() {
  Destroying();
  if (parent_) std::erase(parent_->items_, this);
  for (TcxGridLevel* l : items_) l->parent_ = nullptr;
  if (grid_ && parent_) grid_->LevelsChanged();
}

TcxGridLevel* TcxGridLevel::Add() {
  auto* level = new TcxGridLevel(grid_ ? static_cast<TComponent*>(grid_) : this);
  level->grid_ = grid_;
  level->parent_ = this;
  items_.push_back(level);
  if (grid_) grid_->LevelsChanged();
  return level;
}

TcxGridLevel* TcxGridLevel::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return items_[size_t(Index)];
}

void TcxGridLevel::SetGridView(TcxGridBandedTableView* Value) {
  if (view_ == Value) return;
  if (view_) view_->RemoveFreeNotification(this);
  view_ = Value;
  if (view_) {
    view_->FreeNotification(this);
    if (grid_) view_->grid_ = grid_;
  }
  if (grid_) grid_->LevelsChanged();
}

void TcxGridLevel::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == view_) view_ = nullptr;
}

// ---- The grid ----

TcxGrid::TcxGrid(TComponent* AOwner) : TCustomControl(AOwner) {
  width_ = 250;
  height_ = 200;
  SetColor(clWindow);
  SetParentColor(false);
  levels_ = new TcxGridLevel(this);
  levels_->grid_ = this;
  vbar_ = new TScrollBar(this);
  vbar_->SetKind(sbVertical);
  vbar_->SetVisible(false);
  vbar_->SetParent(this);
  hbar_ = new TScrollBar(this);
  hbar_->SetVisible(false);
  hbar_->SetParent(this);
}

TcxGrid::~TcxGrid() {
  Destroying();
  // The levels go with the grid's components, after the grid itself.
  std::vector<TcxGridLevel*> levels{levels_};
  while (!levels.empty()) {
    TcxGridLevel* l = levels.back();
    levels.pop_back();
    l->grid_ = nullptr;
    levels.insert(levels.end(), l->items_.begin(), l->items_.end());
  }
  // The views made here go with the grid, before its windows.
  for (int i = ComponentCount() - 1; i >= 0; --i)
    if (i < ComponentCount())
      if (auto* view = As<TcxGridBandedTableView>(Components(i))) view->Free();
  if (site_) {
    TcxGridSite* site = site_;
    site_ = nullptr;
    site->Free();
  }
}

TcxGridBandedTableView* TcxGrid::CreateView(TClass ViewClass) {
  if (!ViewClass || !ViewClass->InheritsFrom(TcxGridBandedTableView::StaticClass()) || !ViewClass->create)
    throw EInvalidCast(std::string("Cannot create a view of class ") + (ViewClass ? ViewClass->name : "nil"));
  auto* view = static_cast<TcxGridBandedTableView*>(ViewClass->Create(this));
  view->grid_ = this;
  return view;
}

TcxGridBandedTableView* TcxGrid::ActiveView() const {
  return levels_->Count() > 0 ? levels_->Items(0)->GridView() : nullptr;
}

TcxGridSite* TcxGrid::SiteOf(const TcxGridBandedTableView* View) const {
  return site_ && site_->GridView() == View ? site_ : nullptr;
}

void TcxGrid::LevelsChanged() {
  if (ComponentState().Contains(csDestroying)) return;
  TcxGridBandedTableView* view = ActiveView();
  if (site_ && site_->GridView() == view) return;
  if (site_) {
    TcxGridSite* old = site_;
    site_ = nullptr;
    old->Free();
  }
  if (view) {
    view->grid_ = this;
    site_ = new TcxGridSite(this, view);
    site_->SetParent(this);
    site_->SetPopupMenu(view->PopupMenu());
  }
  SizeChanged();
}

void TcxGrid::ViewChanged(TcxGridBandedTableView* View) {
  if (!site_ || site_->GridView() != View) return;
  UpdateScrollBars();
  site_->Invalidate();
}

void TcxGrid::ViewRemoved(TcxGridBandedTableView* View) {
  if (site_ && site_->GridView() == View) {
    TcxGridSite* old = site_;
    site_ = nullptr;
    old->Free();
  }
}

void TcxGrid::Resize() {
  TCustomControl::Resize();
  SizeChanged();
}

void TcxGrid::SizeChanged() {
  if (sizing_ || ComponentState().Contains(csDestroying)) return;
  sizing_ = true;
  // The bars take room from the site, which may make the other bar needed: until the
  // needs hold still.
  const TRect client = ClientRect();
  const int inner = 1;  // the grid's frame
  const int barV = GetSystemMetrics(SM_CXVSCROLL), barH = GetSystemMetrics(SM_CYHSCROLL);
  bool needV = false, needH = false;
  auto place = [&] {
    if (site_)
      site_->SetBounds(inner, inner, std::max(0, client.right - 2 * inner - (needV ? barV : 0)),
                       std::max(0, client.bottom - 2 * inner - (needH ? barH : 0)));
  };
  for (int pass = 0; site_ && pass < 4; ++pass) {
    place();
    TcxGridBandedTableView* view = site_->GridView();
    view->viewInfo_.reset();
    const auto& info = view->ViewInfo();
    const bool v = view->DataController()->RowCount() > info.VisibleRowCount() && info.VisibleRowCount() > 0;
    const bool h = info.ContentWidth() > info.DataAreaWidth();
    if (v == needV && h == needH) break;
    needV = v;
    needH = h;
  }
  place();
  vbar_->SetVisible(needV);
  hbar_->SetVisible(needH);
  vbar_->SetBounds(client.right - inner - barV, inner, barV,
                   std::max(0, client.bottom - 2 * inner - (needH ? barH : 0)));
  hbar_->SetBounds(inner, client.bottom - inner - barH, std::max(0, client.right - 2 * inner - (needV ? barV : 0)), barH);
  sizing_ = false;
  UpdateScrollBars();
}

void TcxGrid::UpdateScrollBars() {
  if (!site_ || sizing_) return;
  TcxGridBandedTableView* view = site_->GridView();
  const auto& info = view->ViewInfo();
  const int rows = view->DataController()->RowCount();
  const bool needV = rows > info.VisibleRowCount() && info.VisibleRowCount() > 0;
  const bool needH = info.ContentWidth() > info.DataAreaWidth();
  if (needV != vbar_->Visible() || needH != hbar_->Visible()) {
    SizeChanged();
    return;
  }
  auto* controller = view->Controller();
  vbar_->SetPageSize(0);
  vbar_->SetParams(controller->TopRowIndex(), 0, std::max(0, rows - 1));
  vbar_->SetPageSize(std::max(1, info.VisibleRowCount()));
  vbar_->SetLargeChange(std::max(1, info.VisibleRowCount()));
  hbar_->SetPageSize(0);
  hbar_->SetParams(controller->LeftPos(), 0, std::max(0, info.ContentWidth() - 1));
  hbar_->SetPageSize(std::max(1, info.DataAreaWidth()));
  hbar_->SetSmallChange(16);
}

void TcxGrid::WMVScroll(TMessage& Message) {
  if (site_) site_->GridView()->Controller()->SetTopRowIndex(vbar_->Position());
}

void TcxGrid::WMHScroll(TMessage& Message) {
  if (site_) site_->GridView()->Controller()->SetLeftPos(hbar_->Position());
}

void TcxGrid::Paint() {
  TCanvas* c = Canvas();
  const TRect r = ClientRect();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Color());
  c->FillRect(r);
  // The corner between the two scroll bars.
  if (vbar_->Visible() && hbar_->Visible()) {
    c->Brush()->SetColor(clBtnFace);
    c->FillRect(TRect{vbar_->Left(), hbar_->Top(), vbar_->Left() + vbar_->Width(), hbar_->Top() + hbar_->Height()});
  }
  c->Brush()->SetColor(clBtnShadow);
  c->FrameRect(r);
}

// ---- The site ----

TcxGridSite::TcxGridSite(TcxGrid* AGrid, TcxGridBandedTableView* AView)
    : TCustomControl(AGrid), grid_(AGrid), view_(AView) {
  SetControlStyle({csCaptureMouse, csClickEvents, csDoubleClicks, csOpaque});
  SetTabStop(true);
  SetParentColor(false);
  SetColor(clWindow);
}

TcxGridSite::~TcxGridSite() {
  Destroying();
  HideEdit(false);
}

void TcxGridSite::Paint() {
  TCanvas* c = Canvas();
  view_->Paint(c, c->ClipRect());
}

void TcxGridSite::Scrolled(int DX, int DY) {
  HideEdit(true);
  const auto& info = view_->ViewInfo();
  const int rowHeight = info.RowHeight();
  if (HandleAllocated() && Showing()) {
    // Rows move within the data area; columns move under the headers and rows.
    if (DY != 0) {
      const TRect rows{0, info.DataTop(), ClientWidth(), info.DataBottom()};
      ScrollWindow(Handle(), 0, DY * rowHeight, &rows, &rows);
    }
    if (DX != 0) {
      const TRect cols{info.IndicatorWidth(), 0, ClientWidth(), ClientHeight()};
      ScrollWindow(Handle(), DX, 0, &cols, &cols);
    }
  }
  grid_->UpdateScrollBars();
}

void TcxGridSite::DoEnter() {
  TCustomControl::DoEnter();
  Invalidate();
}

void TcxGridSite::DoExit() {
  TCustomControl::DoExit();
  Invalidate();
}

void TcxGridSite::WMGetDlgCode(TMessage& Message) {
  Message.Result = DLGC_WANTARROWS | DLGC_WANTCHARS;
  if (view_->OptionsBehavior()->FocusCellOnTab()) Message.Result |= DLGC_WANTTAB;
}

void TcxGridSite::WMMouseWheel(TMessage& Message) {
  const int notches = int16_t(HIWORD(Message.WParam)) / WHEEL_DELTA;
  auto* controller = view_->Controller();
  controller->SetTopRowIndex(controller->TopRowIndex() - 3 * notches);
  Message.Result = 1;
}

void TcxGridSite::FocusCell(int Row, TcxGridBandedColumn* Column) {
  auto* controller = view_->Controller();
  if (Column) controller->SetFocusedColumn(Column);
  if (Row >= 0) controller->SetFocusedRowIndex(Row);
  controller->MakeFocusedRecordVisible();
}

void TcxGridSite::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (CanFocus() && !Focused()) SetFocus();
  HideEdit(true);
  // The view's handler first: it may change what the click does.
  view_->OnMouseDown(this, Button, Shift, X, Y);
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (ComponentState().Contains(csDestroying)) return;
  const TcxGridHitTest hit = view_->GetHitTest(X, Y);
  auto* controller = view_->Controller();
  switch (hit.Kind) {
    case ghtColumnHeader: {
      TcxGridBandedColumn* c = hit.Column;
      if (Button != mbLeft || !c->Options()->Sorting() || !view_->OptionsCustomize()->ColumnSorting()) break;
      // Ascending first, then the two orders in turn; Shift adds to the sorting.
      const TcxDataSortOrder order = c->SortOrder() == soAscending ? soDescending : soAscending;
      view_->BeginUpdate();
      if (!Shift.Contains(ssShift))
        for (int i = 0; i < view_->ColumnCount(); ++i)
          if (view_->Columns(i) != c) view_->Columns(i)->SetSortOrder(soNone);
      c->SetSortOrder(order);
      view_->EndUpdate();
      controller->MakeFocusedRecordVisible();
      break;
    }
    case ghtCell: {
      const bool again = controller->FocusedRowIndex() == hit.RowIndex && controller->FocusedColumn() == hit.Column;
      FocusCell(hit.RowIndex, hit.Column->Options()->Focusing() ? hit.Column : nullptr);
      if (Button != mbLeft || !CanEdit(hit.Column)) break;
      if (cxIsCheckBoxColumn(hit.Column)) {
        // A click on the check mark toggles it.
        const int size = TcxCustomLookAndFeelPainter::CheckBoxSize;
        const int cx = (hit.Bounds.left + hit.Bounds.right) / 2, cy = (hit.Bounds.top + hit.Bounds.bottom) / 2;
        if (std::abs(X - cx) <= size / 2 + 1 && std::abs(Y - cy) <= size / 2 + 1) ToggleCheckBox(hit.Column);
      } else if (again || view_->OptionsBehavior()->ImmediateEditor()) {
        if (again) ShowEdit();
      }
      break;
    }
    case ghtIndicator:
      if (hit.RowIndex >= 0) FocusCell(hit.RowIndex, nullptr);
      break;
    default: break;
  }
}

void TcxGridSite::WMLButtonDblClk(TMessage& Message) {
  MessageMapBase::Dispatch(Message);
  const TPoint p = SmallPointToPoint(Message.LParam);
  const TcxGridHitTest hit = view_->GetHitTest(p.x, p.y);
  if (hit.Kind == ghtCell && !cxIsCheckBoxColumn(hit.Column)) ShowEdit();
}

void TcxGridSite::MoveFocusedColumn(int Step, bool Cycle) {
  const auto& cols = view_->ViewInfo().Columns();
  if (cols.empty()) return;
  auto* controller = view_->Controller();
  int at = -1;
  for (size_t i = 0; i < cols.size(); ++i)
    if (cols[i].Column == controller->FocusedColumn()) at = int(i);
  int row = controller->FocusedRowIndex();
  // The next column that takes the focus, across rows when cycling.
  for (size_t tries = 0; tries < cols.size(); ++tries) {
    at += Step;
    if (at < 0 || at >= int(cols.size())) {
      if (!Cycle) return;
      const int next = row + (at < 0 ? -1 : 1);
      if (next < 0 || next >= view_->DataController()->RowCount()) return;
      row = next;
      at = at < 0 ? int(cols.size()) - 1 : 0;
    }
    if (cols[size_t(at)].Column->Options()->Focusing()) {
      FocusCell(row, cols[size_t(at)].Column);
      return;
    }
  }
}

void TcxGridSite::FocusEdgeColumn(bool Last) {
  const auto& cols = view_->ViewInfo().Columns();
  for (size_t i = 0; i < cols.size(); ++i) {
    TcxGridBandedColumn* c = cols[Last ? cols.size() - 1 - i : i].Column;
    if (c->Options()->Focusing()) {
      FocusCell(-1, c);
      return;
    }
  }
}

void TcxGridSite::KeyDown(WORD& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Key == 0) return;
  auto* controller = view_->Controller();
  const int rows = view_->DataController()->RowCount();
  const int row = controller->FocusedRowIndex();
  const int page = std::max(1, view_->ViewInfo().VisibleRowCount());
  auto focusRow = [&](int r) {
    if (rows > 0) FocusCell(std::clamp(r, 0, rows - 1), nullptr);
  };
  switch (Key) {
    case VK_UP: focusRow(row < 0 ? 0 : row - 1); break;
    case VK_DOWN: focusRow(row + 1); break;
    case VK_PRIOR: focusRow(row - page); break;
    case VK_NEXT: focusRow(row < 0 ? page - 1 : row + page); break;
    case VK_HOME:
      if (Shift.Contains(ssCtrl)) focusRow(0);
      else FocusEdgeColumn(false);
      break;
    case VK_END:
      if (Shift.Contains(ssCtrl)) focusRow(rows - 1);
      else FocusEdgeColumn(true);
      break;
    case VK_LEFT: MoveFocusedColumn(-1, false); break;
    case VK_RIGHT: MoveFocusedColumn(1, false); break;
    case VK_TAB:
      MoveFocusedColumn(Shift.Contains(ssShift) ? -1 : 1, view_->OptionsBehavior()->FocusCellOnCycle());
      break;
    case VK_RETURN:
    case VK_F2: ShowEdit(); break;
    case VK_SPACE:
      if (cxIsCheckBoxColumn(controller->FocusedColumn()) && CanEdit(controller->FocusedColumn()))
        ToggleCheckBox(controller->FocusedColumn());
      break;
    default: return;
  }
  Key = 0;
}

void TcxGridSite::KeyPress(char& Key) { TCustomControl::KeyPress(Key); }

bool TcxGridSite::CanEdit(TcxGridBandedColumn* Column) const {
  // A label cell shows its value and takes no input.
  return Column && !view_->IsDesigning() && view_->OptionsData()->Editing() && Column->Options()->Editing() &&
         !::Is<TcxLabelProperties>(Column->Properties()) && view_->Controller()->FocusedRecordIndex() >= 0;
}

void TcxGridSite::ToggleCheckBox(TcxGridBandedColumn* Column) {
  auto* dc = view_->DataController();
  const int record = dc->FocusedRecordIndex();
  if (record < 0) return;
  auto* props = static_cast<TcxCheckBoxProperties*>(Column->Properties());
  const bool checked = props->IsChecked(dc->Values(record, Column->Index())) && !props->IsGrayed(dc->Values(record, Column->Index()));
  dc->SetEditValue(Column->Index(), Variant(!checked));
  if (!dc->Options().Contains(dcoImmediatePost)) dc->Post();
}

bool TcxGridSite::ShowEdit() {
  auto* controller = view_->Controller();
  TcxGridBandedColumn* column = controller->FocusedColumn();
  if (controller->IsEditing()) return true;
  if (!CanEdit(column) || cxIsCheckBoxColumn(column) || !Showing()) return false;
  controller->MakeFocusedRecordVisible();
  const auto& info = view_->ViewInfo();
  const auto* col = info.FindColumn(column);
  const int place = controller->FocusedRowIndex() - controller->TopRowIndex();
  if (!col || place < 0 || place >= info.PartialRowCount()) return false;
  const TRect cell = info.CellBounds(*col, place);
  if (!editor_) {
    // One editor serves every cell; it is shown over the cell edited.
    editor_ = new TcxTextEdit(this);
    editor_->SetVisible(false);
    editor_->SetParent(this);
    editor_->OnKeyDown = TKeyEvent(this, &TcxGridSite::EditorKeyDown);
    editor_->OnExit = TNotifyEvent(this, &TcxGridSite::EditorExit);
  }
  controller->editingItem_ = column;
  editor_->SetBounds(cell.left, cell.top, cell.right - cell.left, cell.bottom - cell.top);
  editor_->SetText(cxEditDisplayText(column->Properties(), view_->DataController()->GetEditValue(column->Index())));
  editor_->SetVisible(true);
  if (editor_->CanFocus()) editor_->SetFocus();
  editor_->SelectAll();
  Invalidate();
  return true;
}

void TcxGridSite::HideEdit(bool Accept) {
  auto* controller = view_->Controller();
  TcxGridBandedColumn* column = controller->editingItem_;
  if (!column || hiding_) return;
  hiding_ = true;
  controller->editingItem_ = nullptr;
  auto* dc = view_->DataController();
  if (Accept) {
    // The text typed, as the column's type; a text that does not convert leaves the
    // value as it was.
    const std::string text = editor_->Text();
    try {
      dc->SetEditValue(column->Index(), text.empty() ? Variant::Null() : Variant(text));
      dc->Post();
    } catch (const Exception&) {
      dc->Cancel();
    }
  } else {
    dc->Cancel();
  }
  if (!ComponentState().Contains(csDestroying)) {
    const bool refocus = editor_->Focused();
    editor_->SetVisible(false);
    if (refocus && CanFocus()) SetFocus();
  }
  hiding_ = false;
  Invalidate();
}

TcxTextEdit* TcxGridSite::InplaceEditor() const { return view_->Controller()->IsEditing() ? editor_ : nullptr; }

void TcxGridSite::EditorKeyDown(TObject*, WORD& Key, TShiftState Shift) {
  switch (Key) {
    case VK_RETURN: HideEdit(true); break;
    case VK_ESCAPE: HideEdit(false); break;
    case VK_TAB:
      HideEdit(true);
      MoveFocusedColumn(Shift.Contains(ssShift) ? -1 : 1, view_->OptionsBehavior()->FocusCellOnCycle());
      break;
    case VK_UP:
    case VK_DOWN: {
      HideEdit(true);
      auto* controller = view_->Controller();
      const int row = controller->FocusedRowIndex() + (Key == VK_UP ? -1 : 1);
      if (row >= 0 && row < view_->DataController()->RowCount()) FocusCell(row, nullptr);
      break;
    }
    default: return;
  }
  Key = 0;
}

void TcxGridSite::EditorExit(TObject*) { HideEdit(true); }
