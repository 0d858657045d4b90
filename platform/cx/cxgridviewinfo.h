// The layout of a banded table view on its site: where bands, headers, rows, cells,
// the indicator and the footer lie. Horizontal places are kept in content
// coordinates (0 at the first band's left edge) and turned into client coordinates
// with the controller's scroll position when asked, so scrolling keeps the layout.
#pragma once

#include <string>
#include <vector>

#include "platform/cx/cxgridbandedtableview.h"

class TcxGridBandedTableViewInfo {
 public:
  explicit TcxGridBandedTableViewInfo(TcxGridBandedTableView* AView);

  struct BandInfo {
    TcxGridBand* Band;
    int Left, Width;
  };
  struct ColumnInfo {
    TcxGridBandedColumn* Column;
    TcxGridBand* Band;
    int Left, Width;       // the cell and its right grid line
    int BandLeft, BandRight;  // where the band clips it
  };
  const std::vector<BandInfo>& Bands() const { return bands_; }
  const std::vector<ColumnInfo>& Columns() const { return columns_; }
  const ColumnInfo* FindColumn(const TcxGridBandedColumn* Column) const;

  TRect ClientBounds() const { return client_; }
  int IndicatorWidth() const { return indicatorWidth_; }
  int BandHeaderTop() const { return 0; }
  int BandHeaderHeight() const { return bandHeaderHeight_; }
  int HeaderTop() const { return bandHeaderHeight_; }
  int HeaderHeight() const { return headerHeight_; }
  int DataTop() const { return bandHeaderHeight_ + headerHeight_; }
  // Each row's height, its bottom grid line included.
  int RowHeight() const { return rowHeight_; }
  int DataBottom() const { return footerTop_; }
  int FooterTop() const { return footerTop_; }
  int FooterHeight() const { return footerHeight_; }
  int ContentWidth() const { return contentWidth_; }
  int DataAreaWidth() const { return std::max(0, client_.right - indicatorWidth_); }
  // Rows that fit whole in the data area (at least 1 while it has room).
  int VisibleRowCount() const;
  // Rows that show at least in part, from the top row.
  int PartialRowCount() const;

  // Client x of a content x.
  int ClientX(int ContentX) const;
  // Where a column lies in content coordinates; false for a hidden one.
  bool ColumnSpan(const TcxGridBandedColumn* Column, int& Left, int& Right) const;
  // Client rectangles. A row's place counts from the top row on screen.
  TRect RowBounds(int Place) const;
  TRect CellBounds(const ColumnInfo& C, int Place) const;
  TRect HeaderBounds(const ColumnInfo& C) const;
  TRect BandHeaderBounds(const BandInfo& B) const;
  TRect HeaderGlyphBounds(const ColumnInfo& C) const;
  TRect FooterBounds(const ColumnInfo& C) const;

  TcxGridHitTest HitTest(int X, int Y) const;
  // Paints with this layout to the end, also when a custom-draw or style handler
  // changes the view (which then paints again): the caller keeps the layout alive,
  // and painting stops early when a column or band it names has left the view.
  void Paint(TCanvas* Canvas, const TRect& Clip) const;

 private:
  // No column or band of this layout has left the view.
  bool Intact() const;
  void PaintBandHeaders(TcxCanvas& C, const TRect& Clip) const;
  void PaintColumnHeaders(TcxCanvas& C, const TRect& Clip) const;
  void PaintRows(TcxCanvas& C, const TRect& Clip) const;
  void PaintFooter(TcxCanvas& C, const TRect& Clip) const;
  void PaintIndicator(TcxCanvas& C, const TRect& Clip) const;
  void PaintIndicatorCell(TcxCanvas& C, TcxGridIndicatorItemViewInfo& Info) const;
  TColor GridLineColor() const;
  TFont* ViewFont() const;

  TcxGridBandedTableView* view_;
  int removals_;
  TRect client_{};
  int indicatorWidth_ = 0;
  int bandHeaderHeight_ = 0, headerHeight_ = 0, rowHeight_ = 1, footerTop_ = 0, footerHeight_ = 0;
  int contentWidth_ = 0;
  std::vector<BandInfo> bands_;
  std::vector<ColumnInfo> columns_;
};

// The text a cell shows for a value under the column's editor properties.
std::string cxEditDisplayText(TcxCustomEditProperties* Properties, const Variant& Value);
// Whether a column shows check boxes.
bool cxIsCheckBoxColumn(const TcxGridBandedColumn* Column);
