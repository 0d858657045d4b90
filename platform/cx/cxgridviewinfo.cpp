#include "platform/cx/cxgridviewinfo.h"

#include <algorithm>
#include <cstdlib>

#include "platform/cx/cxcheckbox.h"
#include "platform/cx/cxgrid.h"

namespace {

// Colours and font of a part: each style that is set overrides what it sets.
struct TParams {
  TColor Color;
  TColor TextColor;
  TFont* Font;

  void Apply(const TcxStyle* S) {
    if (!S) return;
    if (S->Color() != clDefault && S->Color() != clNone) Color = S->Color();
    if (S->TextColor() != clDefault && S->TextColor() != clNone) TextColor = S->TextColor();
    if (S->AssignedValues().Contains(svFont)) Font = S->Font();
  }
  // Paints with a copy of the font from here: a handler may free the style it came from.
  void Hold(TFont& Copy) {
    Copy.Assign(Font);
    Font = &Copy;
  }
};

bool Intersects(const TRect& A, const TRect& B) {
  TRect r;
  return IntersectRect(&r, &A, &B) != FALSE;
}

int TextLineHeight(TFont* Font) {
  const int h = std::abs(Font->Height());
  return Font->Height() < 0 ? h + h / 4 + 1 : h;
}

}  // namespace

std::string cxEditDisplayText(TcxCustomEditProperties* Properties, const Variant& Value) {
  if (Is<TcxCheckBoxProperties>(Properties)) return "";
  return VarToStr(Value);
}

bool cxIsCheckBoxColumn(const TcxGridBandedColumn* Column) {
  return Column && Is<TcxCheckBoxProperties>(Column->Properties());
}

// ---- Layout ----

TcxGridBandedTableViewInfo::TcxGridBandedTableViewInfo(TcxGridBandedTableView* AView)
    : view_(AView), removals_(AView->removals_) {
  if (TcxGridSite* site = view_->Site()) client_ = site->ClientRect();
  auto* ov = view_->OptionsView();
  indicatorWidth_ = ov->Indicator() ? ov->IndicatorWidth() : 0;
  const int text = TextLineHeight(ViewFont());
  bandHeaderHeight_ = ov->BandHeaders() ? (ov->BandHeaderHeight() > 0 ? ov->BandHeaderHeight() : text + 6) : 0;
  headerHeight_ = ov->Header() ? (ov->HeaderHeight() > 0 ? ov->HeaderHeight() : text + 6) : 0;
  rowHeight_ = std::max(2, ov->DataRowHeight() > 0 ? ov->DataRowHeight() : text + 5);
  footerHeight_ = ov->Footer() ? rowHeight_ + 4 : 0;
  footerTop_ = std::max(DataTop(), client_.bottom - footerHeight_);

  // Bands and their visible columns, left to right.
  std::vector<std::vector<TcxGridBandedColumn*>> bandColumns;
  TcxGridBands* bands = view_->Bands();
  int total = 0;
  for (int i = 0; i < bands->VisibleBottomItemCount(); ++i) {
    TcxGridBand* band = bands->VisibleBottomItems(i);
    std::vector<TcxGridBandedColumn*> cols;
    for (int c = 0; c < band->VisibleColumnCount(); ++c) cols.push_back(band->VisibleColumns(c));
    for (auto* c : cols) total += c->Width();
    bandColumns.push_back(std::move(cols));
  }
  // Fitting the columns to the area: each takes its share, the last the rest.
  const bool fit = ov->ColumnAutoWidth() && total > 0 && DataAreaWidth() > 0;
  int given = 0, seen = 0, count = 0;
  for (auto& cols : bandColumns) count += int(cols.size());
  auto widthOf = [&](TcxGridBandedColumn* c) {
    ++seen;
    if (!fit) return c->Width();
    const int w = seen == count ? DataAreaWidth() - given : int(int64_t(c->Width()) * DataAreaWidth() / total);
    given += w;
    return std::max(0, w);
  };
  int x = 0;
  for (int i = 0; i < int(bandColumns.size()); ++i) {
    TcxGridBand* band = bands->VisibleBottomItems(i);
    int bx = x;
    for (auto* c : bandColumns[size_t(i)]) {
      const int w = widthOf(c);
      columns_.push_back(ColumnInfo{c, band, bx, w, x, 0});
      bx += w;
    }
    const int width = (!fit && band->Width() > 0) ? band->Width() : bx - x;
    for (auto& ci : columns_)
      if (ci.Band == band) ci.BandRight = x + width;
    bands_.push_back(BandInfo{band, x, width});
    x += width;
  }
  contentWidth_ = x;
}

bool TcxGridBandedTableViewInfo::Intact() const { return view_->removals_ == removals_; }

const TcxGridBandedTableViewInfo::ColumnInfo* TcxGridBandedTableViewInfo::FindColumn(
    const TcxGridBandedColumn* Column) const {
  for (const auto& c : columns_)
    if (c.Column == Column) return &c;
  return nullptr;
}

TFont* TcxGridBandedTableViewInfo::ViewFont() const {
  if (TcxGridSite* site = view_->Site()) return site->Font();
  static TFont fallback;
  return &fallback;
}

TColor TcxGridBandedTableViewInfo::GridLineColor() const {
  const TColor c = view_->OptionsView()->GridLineColor();
  return c == clDefault ? clBtnShadow : c;
}

int TcxGridBandedTableViewInfo::VisibleRowCount() const {
  const int area = DataBottom() - DataTop();
  return area <= 0 ? 0 : std::max(1, area / rowHeight_);
}

int TcxGridBandedTableViewInfo::PartialRowCount() const {
  const int area = DataBottom() - DataTop();
  return area <= 0 ? 0 : (area + rowHeight_ - 1) / rowHeight_;
}

int TcxGridBandedTableViewInfo::ClientX(int ContentX) const {
  return ContentX - view_->Controller()->LeftPos() + indicatorWidth_;
}

bool TcxGridBandedTableViewInfo::ColumnSpan(const TcxGridBandedColumn* Column, int& Left, int& Right) const {
  const ColumnInfo* c = FindColumn(Column);
  if (!c) return false;
  Left = c->Left;
  Right = c->Left + c->Width;
  return true;
}

TRect TcxGridBandedTableViewInfo::RowBounds(int Place) const {
  const int top = DataTop() + Place * rowHeight_;
  return TRect{indicatorWidth_, top, client_.right, top + rowHeight_};
}

TRect TcxGridBandedTableViewInfo::CellBounds(const ColumnInfo& C, int Place) const {
  const int top = DataTop() + Place * rowHeight_;
  const int left = ClientX(C.Left);
  const int right = std::min(ClientX(C.Left + C.Width), ClientX(C.BandRight)) - 1;
  return TRect{left, top, std::max(left, right), top + rowHeight_ - 1};
}

TRect TcxGridBandedTableViewInfo::HeaderBounds(const ColumnInfo& C) const {
  const int left = ClientX(C.Left);
  return TRect{left, HeaderTop(), std::max(left, std::min(ClientX(C.Left + C.Width), ClientX(C.BandRight))),
               HeaderTop() + headerHeight_};
}

TRect TcxGridBandedTableViewInfo::BandHeaderBounds(const BandInfo& B) const {
  return TRect{ClientX(B.Left), BandHeaderTop(), ClientX(B.Left + B.Width), BandHeaderTop() + bandHeaderHeight_};
}

TRect TcxGridBandedTableViewInfo::HeaderGlyphBounds(const ColumnInfo& C) const {
  TBitmap* glyph = C.Column->HeaderGlyph();
  if (glyph->Empty()) return TRect{};
  const TRect h = HeaderBounds(C);
  const int top = h.top + (h.bottom - h.top - glyph->Height()) / 2;
  return TRect{h.left + 3, top, h.left + 3 + glyph->Width(), top + glyph->Height()};
}

TRect TcxGridBandedTableViewInfo::FooterBounds(const ColumnInfo& C) const {
  const int left = ClientX(C.Left);
  return TRect{left, footerTop_, std::max(left, std::min(ClientX(C.Left + C.Width), ClientX(C.BandRight))),
               footerTop_ + footerHeight_};
}

// ---- Hit tests ----

TcxGridHitTest TcxGridBandedTableViewInfo::HitTest(int X, int Y) const {
  TcxGridHitTest hit;
  if (!PtInRect(&client_, TPoint{X, Y})) return hit;
  hit.Kind = ghtGridArea;
  const TPoint p{X, Y};
  if (X < indicatorWidth_) {
    hit.Kind = ghtIndicator;
    if (Y >= DataTop() && Y < DataBottom()) {
      const int row = view_->Controller()->TopRowIndex() + (Y - DataTop()) / rowHeight_;
      if (row < view_->DataController()->RowCount()) hit.RowIndex = row;
    }
    return hit;
  }
  if (Y < HeaderTop()) {
    for (const auto& b : bands_) {
      const TRect r = BandHeaderBounds(b);
      if (PtInRect(&r, p)) {
        hit.Kind = ghtBandHeader;
        hit.Band = b.Band;
        hit.Bounds = r;
        return hit;
      }
    }
    return hit;
  }
  if (Y < DataTop()) {
    for (const auto& c : columns_) {
      const TRect r = HeaderBounds(c);
      if (PtInRect(&r, p)) {
        hit.Kind = ghtColumnHeader;
        hit.Column = c.Column;
        hit.Band = c.Band;
        hit.Bounds = r;
        hit.HeaderGlyphBounds = HeaderGlyphBounds(c);
        return hit;
      }
    }
    return hit;
  }
  if (Y >= DataBottom()) {
    hit.Kind = footerHeight_ > 0 ? ghtFooter : ghtGridArea;
    return hit;
  }
  const int place = (Y - DataTop()) / rowHeight_;
  const int row = view_->Controller()->TopRowIndex() + place;
  if (row >= view_->DataController()->RowCount()) return hit;
  for (const auto& c : columns_) {
    const TRect cell = CellBounds(c, place);
    // The cell and its grid lines.
    const TRect r{cell.left, cell.top, cell.right + 1, cell.bottom + 1};
    if (PtInRect(&r, p)) {
      hit.Kind = ghtCell;
      hit.Column = c.Column;
      hit.Band = c.Band;
      hit.RowIndex = row;
      hit.Bounds = cell;
      return hit;
    }
  }
  return hit;
}

// ---- Painting ----

void TcxGridBandedTableViewInfo::Paint(TCanvas* Canvas, const TRect& Clip) const {
  TcxCanvas c(Canvas);
  Canvas->Font()->Assign(ViewFont());
  TParams back{clWindow, clWindowText, ViewFont()};
  back.Apply(view_->Styles()->Background());
  c.FillRect(Clip, back.Color);
  using Part = void (TcxGridBandedTableViewInfo::*)(TcxCanvas&, const TRect&) const;
  for (Part part : {&TcxGridBandedTableViewInfo::PaintBandHeaders, &TcxGridBandedTableViewInfo::PaintColumnHeaders,
                    &TcxGridBandedTableViewInfo::PaintRows, &TcxGridBandedTableViewInfo::PaintFooter,
                    &TcxGridBandedTableViewInfo::PaintIndicator})
    if (Intact()) (this->*part)(c, Clip);
}

void TcxGridBandedTableViewInfo::PaintBandHeaders(TcxCanvas& C, const TRect& Clip) const {
  if (bandHeaderHeight_ <= 0) return;
  TParams p{clBtnFace, clBtnText, ViewFont()};
  p.Apply(view_->Styles()->BandHeader());
  TFont font;
  p.Hold(font);
  for (const auto& b : bands_) {
    TcxGridBandHeaderViewInfo info;
    info.Bounds = BandHeaderBounds(b);
    if (!Intersects(info.Bounds, Clip)) continue;
    info.TextAreaBounds = info.Bounds;
    InflateRect(&info.TextAreaBounds, -2, -1);
    info.Band = b.Band;
    info.Text = b.Band->Caption();
    info.Alignment = b.Band->Alignment();
    C.Canvas()->Font()->Assign(p.Font);
    bool done = false;
    view_->OnCustomDrawBandHeader(view_, &C, &info, done);
    if (!Intact()) return;
    if (!done)
      view_->LookAndFeelPainter()->DrawHeader(&C, info.Bounds, info.TextAreaBounds, info.Alignment, info.Text, p.Font,
                                              p.TextColor, p.Color);
  }
}

void TcxGridBandedTableViewInfo::PaintColumnHeaders(TcxCanvas& C, const TRect& Clip) const {
  if (headerHeight_ <= 0) return;
  TParams p{clBtnFace, clBtnText, ViewFont()};
  p.Apply(view_->Styles()->Header());
  auto* painter = view_->LookAndFeelPainter();
  for (const auto& col : columns_) {
    const TRect r = HeaderBounds(col);
    if (r.right <= r.left || !Intersects(r, Clip)) continue;
    TRect text = r;
    InflateRect(&text, -3, -1);
    const TRect glyph = HeaderGlyphBounds(col);
    if (glyph.right > glyph.left) text.left = glyph.right + 3;
    const TcxDataSortOrder order = col.Column->SortOrder();
    if (order != soNone) text.right -= painter->SortingMarkAreaSize();
    painter->DrawHeader(&C, r, text, col.Column->HeaderAlignmentHorz(), col.Column->Caption(), p.Font, p.TextColor,
                        p.Color);
    if (glyph.right > glyph.left) C.Draw(glyph.left, glyph.top, col.Column->HeaderGlyph());
    if (order != soNone)
      painter->DrawSortingMark(&C, TRect{text.right, r.top, r.right - 2, r.bottom}, order == soAscending);
  }
}

void TcxGridBandedTableViewInfo::PaintRows(TcxCanvas& C, const TRect& Clip) const {
  TcxGridDataController* dc = view_->DataController();
  auto* controller = view_->Controller();
  const int top = controller->TopRowIndex();
  if (dc->RowCount() == 0) {
    const std::string& text = view_->OptionsView()->NoDataToDisplayInfoText();
    if (!text.empty()) {
      C.Canvas()->Font()->Assign(ViewFont());
      C.Font()->SetColor(clGrayText);
      C.DrawText(text, TRect{indicatorWidth_, DataTop(), client_.right, DataBottom()},
                 DT_SINGLELINE | DT_CENTER | DT_TOP | DT_END_ELLIPSIS);
    }
    return;
  }
  auto* styles = view_->Styles();
  const TcxGridLines lines = view_->OptionsView()->GridLines();
  const bool horizontal = lines == glBoth || lines == glHorizontal;
  const bool vertical = lines == glBoth || lines == glVertical;
  const TColor lineColor = GridLineColor();
  TcxGridSite* site = view_->Site();
  const bool active = site && (site->Focused() || site->ContainsControl(FocusedControl()));
  // Handlers may change the records, the values and the styles, and free styles, as
  // the rows are painted: each cell reads them afresh.
  TFont font;
  for (int place = 0; place < PartialRowCount() && top + place < dc->RowCount(); ++place) {
    const TRect row = RowBounds(place);
    if (!Intersects(row, Clip)) continue;
    const int right = std::min(client_.right, ClientX(contentWidth_));
    // The lines first: cells and their custom drawing come over them.
    if (horizontal) C.FillRect(TRect{row.left, row.bottom - 1, right, row.bottom}, lineColor);
    if (vertical)
      for (const auto& col : columns_) {
        const TRect cell = CellBounds(col, place);
        if (cell.right > cell.left) C.FillRect(TRect{cell.right, row.top, cell.right + 1, row.bottom}, lineColor);
      }
    TcxCustomGridRecord record(view_, top + place);
    for (const auto& col : columns_) {
      TcxGridTableDataCellViewInfo info;
      info.Bounds = CellBounds(col, place);
      if (info.Bounds.right <= info.Bounds.left || !Intersects(info.Bounds, Clip)) continue;
      // The cell's style: the event's choice over the row's content style; without
      // one, the selection for the selected record. The event comes first, as what it
      // changes shows in this cell.
      TcxStyle* chosen = nullptr;
      if (!view_->IsDesigning()) styles->OnGetContentStyle(view_, &record, col.Column, chosen);
      if (!Intact()) return;
      const int recordIndex = record.RecordIndex();
      if (recordIndex < 0) break;
      const bool selected = dc->IsRecordSelected(recordIndex);
      info.Item = col.Column;
      info.GridRecord = &record;
      info.VisibleRowIndex = place;
      info.Value = dc->Values(recordIndex, col.Column->Index());
      info.Text = cxEditDisplayText(col.Column->Properties(), info.Value);
      info.Selected = selected;
      info.Focused = selected && controller->FocusedColumn() == col.Column;
      TcxStyle* rowStyle = styles->Values((top + place) % 2 == 0 ? vsContentEven : vsContentOdd);
      TParams p{clWindow, clWindowText, ViewFont()};
      p.Apply(rowStyle ? rowStyle : styles->Content());
      if (chosen) {
        p.Apply(chosen);
      } else if (selected && !col.Column->IsEditing()) {
        TParams sel{active ? clHighlight : clBtnFace, active ? clHighlightText : clWindowText, p.Font};
        sel.Apply(styles->Values(active ? vsSelection : vsInactive));
        p = sel;
      }
      info.Color = p.Color;
      info.TextColor = p.TextColor;
      p.Hold(font);
      info.Font = p.Font;
      C.Canvas()->Font()->Assign(p.Font);
      bool done = false;
      view_->OnCustomDrawCell(view_, &C, &info, done);
      if (!Intact()) return;
      if (!done) info.PaintContent(&C);
      if (info.Focused && active && view_->OptionsView()->FocusRect()) C.Canvas()->DrawFocusRect(info.Bounds);
    }
  }
}

void TcxGridTableDataCellViewInfo::PaintContent(TcxCanvas* ACanvas) {
  ACanvas->FillRect(Bounds, Color);
  if (cxIsCheckBoxColumn(Item)) {
    auto* props = static_cast<TcxCheckBoxProperties*>(Item->Properties());
    const TcxCheckBoxState state = props->IsGrayed(Value) ? cbsGrayed : props->IsChecked(Value) ? cbsChecked : cbsUnchecked;
    cxLookAndFeelPainter()->DrawCheckBox(ACanvas, Bounds, state);
    return;
  }
  if (Text.empty()) return;
  if (Font) ACanvas->Canvas()->Font()->Assign(Font);
  ACanvas->Font()->SetColor(TextColor);
  TRect r = Bounds;
  InflateRect(&r, -2, 0);
  const bool ellipsis = Item && Item->GridView() && Item->GridView()->OptionsView()->CellEndEllipsis();
  ACanvas->DrawText(Text, r, cxAlignmentFlags(taLeftJustify, ellipsis));
}

void TcxGridBandedTableViewInfo::PaintFooter(TcxCanvas& C, const TRect& Clip) const {
  if (footerHeight_ <= 0) return;
  TParams p{clBtnFace, clBtnText, ViewFont()};
  p.Apply(view_->Styles()->Values(vsFooter));
  const TRect area{indicatorWidth_, footerTop_, client_.right, footerTop_ + footerHeight_};
  if (!Intersects(area, Clip)) return;
  C.FillRect(area, p.Color);
  for (const auto& col : columns_) {
    const TRect r = FooterBounds(col);
    if (r.right > r.left) view_->LookAndFeelPainter()->DrawFooterCell(&C, r, taRightJustify, "", p.Font, p.TextColor, p.Color);
  }
}

void TcxGridBandedTableViewInfo::PaintIndicatorCell(TcxCanvas& C, TcxGridIndicatorItemViewInfo& Info) const {
  TParams p{clBtnFace, clBtnText, ViewFont()};
  p.Apply(view_->Styles()->Indicator());
  TFont font;
  p.Hold(font);
  C.Canvas()->Font()->Assign(p.Font);
  bool done = false;
  if (!view_->IsDesigning()) view_->OnCustomDrawIndicatorCell(view_, &C, &Info, done);
  if (done) return;
  view_->LookAndFeelPainter()->DrawHeader(&C, Info.Bounds, Info.ContentBounds, taCenter, "", p.Font, p.TextColor,
                                          p.Color);
  if (Info.Image != ikNone) view_->LookAndFeelPainter()->DrawIndicatorImage(&C, Info.ContentBounds, Info.Image);
}

void TcxGridBandedTableViewInfo::PaintIndicator(TcxCanvas& C, const TRect& Clip) const {
  if (indicatorWidth_ <= 0) return;
  auto cell = [&](TcxGridIndicatorCellKind Kind, const TRect& R, TcxCustomGridRecord* Record, TcxIndicatorKind Image) {
    if (R.bottom <= R.top || !Intersects(R, Clip)) return;
    TcxGridIndicatorItemViewInfo info;
    info.Kind = Kind;
    info.Bounds = R;
    info.ContentBounds = R;
    InflateRect(&info.ContentBounds, -1, -1);
    info.GridRecord = Record;
    info.Image = Image;
    PaintIndicatorCell(C, info);
  };
  // Below the last row the column stays empty.
  TParams back{clWindow, clWindowText, ViewFont()};
  back.Apply(view_->Styles()->Background());
  C.FillRect(TRect{0, DataTop(), indicatorWidth_, DataBottom()}, back.Color);
  cell(ickHeader, TRect{0, 0, indicatorWidth_, DataTop()}, nullptr, ikNone);
  auto* dc = view_->DataController();
  const int top = view_->Controller()->TopRowIndex();
  for (int place = 0; place < PartialRowCount() && top + place < dc->RowCount(); ++place) {
    const TRect row = RowBounds(place);
    TcxCustomGridRecord record(view_, top + place);
    const bool focused = dc->FocusedRowIndex() == top + place;
    const TcxIndicatorKind image = !focused ? ikNone : view_->Controller()->IsEditing() ? ikEdit : ikArrow;
    cell(ickRecord, TRect{0, row.top, indicatorWidth_, std::min(row.bottom, DataBottom())}, &record, image);
  }
  if (footerHeight_ > 0) cell(ickFooter, TRect{0, footerTop_, indicatorWidth_, footerTop_ + footerHeight_}, nullptr, ikNone);
}

void TcxGridBandedTableView::Paint(TCanvas* Canvas, const TRect& Clip) {
  // Held to the end: a handler's change drops the view's layout, not this one.
  ViewInfo();
  const std::shared_ptr<const TcxGridBandedTableViewInfo> layout = viewInfo_;
  layout->Paint(Canvas, Clip);
}

TcxGridHitTest TcxGridBandedTableView::GetHitTest(int X, int Y) const { return ViewInfo().HitTest(X, Y); }
