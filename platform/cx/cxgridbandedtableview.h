// The banded table view of the grid: bands (one level of them) holding columns in
// display order, the view's options and styles, its data controller, the controller
// of focus, scrolling and editing, the layout it paints with, hit tests and the
// custom-draw events whose handlers can be read and chained.
//
// Layout from the top of the site: band headers, column headers, data rows, footer;
// the indicator column at the left. Every cell is followed by a one-pixel grid line at
// its right and bottom, and the lines are painted before the cells, so a custom-draw
// handler may draw on the lines around its cell.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/cx/cxcustomdata.h"
#include "platform/cx/cxedit.h"
#include "platform/cx/cxgraphics.h"
#include "platform/cx/cxlookandfeelpainters.h"
#include "platform/cx/cxstyles.h"
#include "platform/rtl/classes.h"
#include "platform/vcl/controls.h"
#include "platform/vcl/menus.h"

class TcxGrid;
class TcxGridSite;
class TcxGridBandedTableView;
class TcxGridBandedColumn;
class TcxGridBand;

// ---- Option objects: setters notify the view ----

#define CX_GRID_OPTION(Type, Name, Default)                                    \
 public:                                                                       \
  Type Name() const { return Name##_; }                                        \
  void Set##Name(Type Value) { SetAndNotify(Name##_, Value, [this] { Changed(); }); } \
                                                                               \
 private:                                                                      \
  Type Name##_ = Default;

class TcxGridViewOptions : public TPersistent {
  VX_CLASS(TcxGridViewOptions, TPersistent)

 public:
  explicit TcxGridViewOptions(TcxGridBandedTableView* AView) : view_(AView) {}
  TcxGridBandedTableView* GridView() const { return view_; }

 protected:
  void Changed();

 private:
  TcxGridBandedTableView* view_;
};

enum TcxGridShowEditButtons { gsebNever, gsebForFocusedRecord, gsebAlways };
enum TcxGridLines { glBoth, glNone, glVertical, glHorizontal };

class TcxGridBandedTableOptionsView : public TcxGridViewOptions {
  VX_CLASS(TcxGridBandedTableOptionsView, TcxGridViewOptions)

 public:
  using TcxGridViewOptions::TcxGridViewOptions;
  CX_GRID_OPTION(bool, BandHeaders, true)
  CX_GRID_OPTION(bool, Header, true)
  CX_GRID_OPTION(bool, Footer, false)
  CX_GRID_OPTION(bool, Indicator, false)
  CX_GRID_OPTION(int, IndicatorWidth, 12)
  CX_GRID_OPTION(bool, GroupByBox, true)
  CX_GRID_OPTION(bool, ColumnAutoWidth, false)
  CX_GRID_OPTION(int, FixedBandSeparatorWidth, 2)
  // Heights of 0 follow the font.
  CX_GRID_OPTION(int, BandHeaderHeight, 0)
  CX_GRID_OPTION(int, HeaderHeight, 0)
  CX_GRID_OPTION(int, DataRowHeight, 0)
  CX_GRID_OPTION(int, GroupRowHeight, 0)
  CX_GRID_OPTION(bool, CellEndEllipsis, false)
  CX_GRID_OPTION(int, CellTextMaxLineCount, 0)
  CX_GRID_OPTION(TcxGridShowEditButtons, ShowEditButtons, gsebNever)
  CX_GRID_OPTION(TcxGridLines, GridLines, glBoth)
  CX_GRID_OPTION(TColor, GridLineColor, clDefault)
  CX_GRID_OPTION(std::string, NoDataToDisplayInfoText, "<No data to display>")
  CX_GRID_OPTION(bool, FocusRect, true)
};

class TcxGridBandedTableOptionsCustomize : public TcxGridViewOptions {
  VX_CLASS(TcxGridBandedTableOptionsCustomize, TcxGridViewOptions)

 public:
  using TcxGridViewOptions::TcxGridViewOptions;
  CX_GRID_OPTION(bool, ColumnFiltering, true)
  CX_GRID_OPTION(bool, ColumnVertSizing, true)
  CX_GRID_OPTION(bool, ColumnMoving, true)
  CX_GRID_OPTION(bool, ColumnSorting, true)
  CX_GRID_OPTION(bool, BandMoving, true)
};

class TcxGridTableOptionsData : public TcxGridViewOptions {
  VX_CLASS(TcxGridTableOptionsData, TcxGridViewOptions)

 public:
  using TcxGridViewOptions::TcxGridViewOptions;
  CX_GRID_OPTION(bool, Editing, true)
  CX_GRID_OPTION(bool, Deleting, true)
  CX_GRID_OPTION(bool, Inserting, true)
};

class TcxGridTableOptionsBehavior : public TcxGridViewOptions {
  VX_CLASS(TcxGridTableOptionsBehavior, TcxGridViewOptions)

 public:
  using TcxGridViewOptions::TcxGridViewOptions;
  CX_GRID_OPTION(bool, FocusCellOnTab, false)
  CX_GRID_OPTION(bool, FocusCellOnCycle, false)
  CX_GRID_OPTION(bool, ImmediateEditor, true)
};

enum TcxGridFilterVisible { fvNever, fvNonEmpty, fvAlways };

class TcxGridFilterBox : public TcxGridViewOptions {
  VX_CLASS(TcxGridFilterBox, TcxGridViewOptions)

 public:
  using TcxGridViewOptions::TcxGridViewOptions;
  CX_GRID_OPTION(TcxGridFilterVisible, Visible, fvNonEmpty)
};

class TcxGridColumnOptions : public TcxGridViewOptions {
  VX_CLASS(TcxGridColumnOptions, TcxGridViewOptions)

 public:
  using TcxGridViewOptions::TcxGridViewOptions;
  CX_GRID_OPTION(bool, Sorting, true)
  CX_GRID_OPTION(bool, Editing, true)
  CX_GRID_OPTION(bool, Focusing, true)
};

class TcxGridBandOptions : public TcxGridViewOptions {
  VX_CLASS(TcxGridBandOptions, TcxGridViewOptions)

 public:
  using TcxGridViewOptions::TcxGridViewOptions;
  CX_GRID_OPTION(bool, Sorting, true)
  CX_GRID_OPTION(bool, Moving, true)
};

// ---- Styles ----

// The places of the view's styles in its style list.
enum TcxGridBandedTableViewStyleIndex {
  vsBackground = 0,
  vsContent = 1,
  vsContentEven = 2,
  vsContentOdd = 3,
  vsFilterBox = 4,
  vsInactive = 5,
  vsIncSearch = 6,
  vsNavigator = 7,
  vsSelection = 8,
  vsFooter = 9,
  vsGroup = 10,
  vsIndicator = 11,
  vsPreview = 12,
  vsGroupByBox = 13,
  vsGroupSummary = 14,
  vsNewItemRowInfoText = 15,
  vsFilterRowInfoText = 16,
  vsHeader = 17,
  vsEditing = 18,
  vsBandBackground = 19,
  vsFixedBandSeparator = 20,
  vsColumnHeaderClassic = 21,
  vsBandHeader = 22,
  vsStyleCount = 23
};

class TcxCustomGridRecord;
using TcxGridGetCellStyleEvent =
    Event<TcxGridBandedTableView*, TcxCustomGridRecord*, TcxGridBandedColumn*, TcxStyle*&>;

class TcxGridBandedTableViewStyles : public TcxCustomStyles {
  VX_CLASS(TcxGridBandedTableViewStyles, TcxCustomStyles)

 public:
  TcxGridBandedTableViewStyles() : TcxCustomStyles(vsStyleCount) {}
  TcxStyle* Background() const { return Values(vsBackground); }
  TcxStyle* Content() const { return Values(vsContent); }
  TcxStyle* Selection() const { return Values(vsSelection); }
  TcxStyle* Header() const { return Values(vsHeader); }
  TcxStyle* BandHeader() const { return Values(vsBandHeader); }
  TcxStyle* Indicator() const { return Values(vsIndicator); }

  // Asked for the style of each data cell before the view's own choice.
  TcxGridGetCellStyleEvent OnGetContentStyle;
};

class TcxGridBandedTableViewStyleSheet : public TcxCustomStyleSheet {
  VX_CLASS(TcxGridBandedTableViewStyleSheet, TcxCustomStyleSheet)

 public:
  explicit TcxGridBandedTableViewStyleSheet(TComponent* AOwner);
  TcxCustomStyles* Styles() const { return GetStyles(); }
};

// ---- Bands ----

class TcxGridBands;

class TcxGridBand : public TCollectionItem {
  VX_CLASS(TcxGridBand, TCollectionItem)

 public:
  explicit TcxGridBand(TCollection* ACollection);

  TcxGridBandedTableView* GridView() const;
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& Value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment Value);
  bool Visible() const { return visible_; }
  void SetVisible(bool Value);
  // 0: the sum of its visible columns' widths.
  int Width() const { return width_; }
  void SetWidth(int Value);
  TcxGridBandOptions* Options() const { return options_.get(); }

  // Its columns in display order (visible or not), and the visible ones.
  std::vector<TcxGridBandedColumn*> ColumnList(bool VisibleOnly) const;
  int ColumnCount() const;
  TcxGridBandedColumn* Columns(int Index) const;
  int VisibleColumnCount() const;
  TcxGridBandedColumn* VisibleColumns(int Index) const;

 private:
  std::string caption_;
  TAlignment alignment_ = taCenter;
  bool visible_ = true;
  int width_ = 0;
  std::unique_ptr<TcxGridBandOptions> options_;
};

// The view's bands; their order is the display order.
class TcxGridBands : public TOwnedCollection {
  VX_CLASS(TcxGridBands, TOwnedCollection)

 public:
  explicit TcxGridBands(TcxGridBandedTableView* AView);
  TcxGridBand* Add() { return static_cast<TcxGridBand*>(TCollection::Add()); }
  TcxGridBand* Items(int Index) const { return static_cast<TcxGridBand*>(TCollection::Items(Index)); }
  TcxGridBandedTableView* GridView() const { return view_; }
  // Bands have one level here: every band is a bottom band.
  int VisibleBottomItemCount() const;
  TcxGridBand* VisibleBottomItems(int Index) const;

 protected:
  void Update(TCollectionItem* Item) override;
  void Notify(TCollectionItem* Item, TCollectionNotification Action) override;

 private:
  TcxGridBandedTableView* view_;
};

// ---- Columns ----

class TcxGridBandedColumnPosition : public TPersistent {
  VX_CLASS(TcxGridBandedColumnPosition, TPersistent)

 public:
  explicit TcxGridBandedColumnPosition(TcxGridBandedColumn* AColumn) : column_(AColumn) {}
  // The band's index in the view's bands (-1: in none, not shown).
  int BandIndex() const { return bandIndex_; }
  // Moves the column to the end of another band.
  void SetBandIndex(int Value);
  // The place among the band's columns.
  int ColIndex() const;
  void SetColIndex(int Value);
  TcxGridBand* Band() const;

 private:
  friend class TcxGridBandedTableView;
  friend class TcxGridBand;
  TcxGridBandedColumn* column_;
  int bandIndex_ = 0;
  int order_ = 0;  // sorts the band's columns
};

class TcxGridItemDataBinding : public TPersistent {
  VX_CLASS(TcxGridItemDataBinding, TPersistent)

 public:
  explicit TcxGridItemDataBinding(TcxGridBandedColumn* AColumn) : column_(AColumn) {}
  // The value type name of the column's data item ("String", "Boolean", ...).
  std::string ValueType() const;
  void SetValueType(const std::string& Value);

 private:
  TcxGridBandedColumn* column_;
};

// A column: a component of the view, whose Index is the index of its data item.
class TcxGridBandedColumn : public TComponent {
  VX_CLASS(TcxGridBandedColumn, TComponent)

 public:
  explicit TcxGridBandedColumn(TComponent* AOwner);
  ~TcxGridBandedColumn() override;

  TcxGridBandedTableView* GridView() const { return view_; }
  int Index() const;
  void SetIndex(int Value);
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& Value);
  bool Visible() const { return visible_; }
  void SetVisible(bool Value);
  int Width() const { return width_; }
  void SetWidth(int Value);
  TAlignment HeaderAlignmentHorz() const { return headerAlignment_; }
  void SetHeaderAlignmentHorz(TAlignment Value);
  TcxGridBandedColumnPosition* Position() const { return position_.get(); }
  TcxGridItemDataBinding* DataBinding() const { return dataBinding_.get(); }
  TcxGridColumnOptions* Options() const { return options_.get(); }

  // The editor properties (null: plain text). Setting a class makes new properties
  // of it; the class must derive from TcxCustomEditProperties.
  TcxCustomEditProperties* Properties() const { return properties_.get(); }
  TClass PropertiesClass() const;
  void SetPropertiesClass(TClass Value);
  // The properties' class name, or "" without properties.
  std::string PropertiesClassName() const;

  // A picture left of the caption (empty: none). Setting copies Value (null clears);
  // the copy is drawn with its bottom-left pixel's colour transparent.
  TBitmap* HeaderGlyph() const { return headerGlyph_.get(); }
  void SetHeaderGlyph(TBitmap* Value);

  TcxDataSortOrder SortOrder() const;
  void SetSortOrder(TcxDataSortOrder Value);
  int SortIndex() const;
  void SetSortIndex(int Value);

  // Whether this column's cell of the focused record is being edited.
  bool IsEditing() const;
  // The text of a record's value as the column shows it.
  std::string GetDisplayText(int RecordIndex) const;

 private:
  friend class TcxGridBandedTableView;
  void Changed();
  void PropertiesChanged(TObject* Sender);

  TcxGridBandedTableView* view_ = nullptr;
  std::string caption_;
  bool visible_ = true;
  int width_ = 64;
  TAlignment headerAlignment_ = taLeftJustify;
  std::unique_ptr<TcxGridBandedColumnPosition> position_;
  std::unique_ptr<TcxGridItemDataBinding> dataBinding_;
  std::unique_ptr<TcxGridColumnOptions> options_;
  std::unique_ptr<TcxCustomEditProperties> properties_;
  std::unique_ptr<TBitmap> headerGlyph_;
};

// ---- Records and view infos handed to events ----

// A row of the view as events see it.
class TcxCustomGridRecord : public TObject {
  VX_CLASS(TcxCustomGridRecord, TObject)

 public:
  TcxCustomGridRecord(TcxGridBandedTableView* AView, int ARowIndex) : view_(AView), row_(ARowIndex) {}
  TcxGridBandedTableView* GridView() const { return view_; }
  // The row index and the record it shows.
  int Index() const { return row_; }
  int RecordIndex() const;
  bool Selected() const;
  bool Focused() const;
  Variant Values(int ItemIndex) const;

 private:
  TcxGridBandedTableView* view_;
  int row_;
};

class TcxGridTableDataCellViewInfo : public TObject {
  VX_CLASS(TcxGridTableDataCellViewInfo, TObject)

 public:
  TRect Bounds;               // the cell inside its grid lines
  TcxGridBandedColumn* Item = nullptr;
  TcxCustomGridRecord* GridRecord = nullptr;
  int VisibleRowIndex = 0;    // the row's place among the rows on screen
  std::string Text;
  Variant Value;
  bool Selected = false;
  bool Focused = false;       // the focused cell
  TColor Color = clWindow;    // the background and text colours its style gives
  TColor TextColor = clWindowText;
  TFont* Font = nullptr;

  // Paints what the cell shows by default (background, then text or check mark).
  void PaintContent(TcxCanvas* ACanvas);
};

enum TcxGridIndicatorCellKind { ickHeader, ickRecord, ickFooter };

class TcxGridIndicatorItemViewInfo : public TObject {
  VX_CLASS(TcxGridIndicatorItemViewInfo, TObject)

 public:
  TcxGridIndicatorCellKind Kind = ickRecord;
  TRect Bounds;
  TRect ContentBounds;        // inside the cell's frame
  TcxCustomGridRecord* GridRecord = nullptr;  // record cells only
  TcxIndicatorKind Image = ikNone;
};

class TcxGridBandHeaderViewInfo : public TObject {
  VX_CLASS(TcxGridBandHeaderViewInfo, TObject)

 public:
  TRect Bounds;
  TRect TextAreaBounds;
  TcxGridBand* Band = nullptr;
  std::string Text;
  TAlignment Alignment = taCenter;
};

using TcxGridTableDataCellCustomDrawEvent =
    Event<TcxGridBandedTableView*, TcxCanvas*, TcxGridTableDataCellViewInfo*, bool&>;
using TcxGridIndicatorCellCustomDrawEvent =
    Event<TcxGridBandedTableView*, TcxCanvas*, TcxGridIndicatorItemViewInfo*, bool&>;
using TcxGridBandCustomDrawHeaderEvent = Event<TcxGridBandedTableView*, TcxCanvas*, TcxGridBandHeaderViewInfo*, bool&>;

// ---- Hit tests ----

enum TcxGridHitKind { ghtNone, ghtBandHeader, ghtColumnHeader, ghtCell, ghtIndicator, ghtFooter, ghtGridArea };

struct TcxGridHitTest {
  TcxGridHitKind Kind = ghtNone;
  TcxGridBandedColumn* Column = nullptr;  // column headers and cells
  TcxGridBand* Band = nullptr;            // band and column headers, cells
  int RowIndex = -1;                      // cells and record indicator cells
  TRect Bounds{};                         // the header or cell hit
  TRect HeaderGlyphBounds{};              // column headers that show a glyph
};

// ---- The controller: focus, scrolling, editing ----

class TcxGridBandedTableController : public TObject {
  VX_CLASS(TcxGridBandedTableController, TObject)

 public:
  explicit TcxGridBandedTableController(TcxGridBandedTableView* AView) : view_(AView) {}

  int FocusedRecordIndex() const;
  void SetFocusedRecordIndex(int Value);
  int FocusedRowIndex() const;
  void SetFocusedRowIndex(int Value);
  TcxGridBandedColumn* FocusedColumn() const { return focusedColumn_; }
  void SetFocusedColumn(TcxGridBandedColumn* Value);
  // The first row on screen, and the horizontal scroll offset in pixels.
  int TopRowIndex() const { return topRow_; }
  void SetTopRowIndex(int Value);
  int LeftPos() const { return leftPos_; }
  void SetLeftPos(int Value);
  // Scrolls the focused row (and column) into view.
  void MakeFocusedRecordVisible();

  // In-place editing of the focused cell.
  TcxGridBandedColumn* EditingItem() const { return editingItem_; }
  bool IsEditing() const { return editingItem_ != nullptr; }

 private:
  friend class TcxGridBandedTableView;
  friend class TcxGridSite;
  TcxGridBandedTableView* view_;
  TcxGridBandedColumn* focusedColumn_ = nullptr;
  TcxGridBandedColumn* editingItem_ = nullptr;
  int topRow_ = 0;
  int leftPos_ = 0;
};

class TcxGridDataController : public TcxCustomDataController {
  VX_CLASS(TcxGridDataController, TcxCustomDataController)
};

// ---- The view ----

class TcxGridBandedTableViewInfo;

class TcxGridBandedTableView : public TComponent {
  VX_CLASS(TcxGridBandedTableView, TComponent)

 public:
  explicit TcxGridBandedTableView(TComponent* AOwner);
  ~TcxGridBandedTableView() override;

  // The grid that shows the view, and its site window (null while not shown).
  TcxGrid* Control() const { return grid_; }
  TcxGridSite* Site() const;
  bool IsDesigning() const { return ComponentState().Contains(csDesigning); }

  TcxGridDataController* DataController() const { return dataController_.get(); }
  TcxGridBandedTableController* Controller() const { return controller_.get(); }

  int ColumnCount() const { return int(columns_.size()); }
  TcxGridBandedColumn* Columns(int Index) const;
  // A new column at the end, owned by the view, in the last band.
  TcxGridBandedColumn* CreateColumn();
  // The visible columns of the visible bands, in display order.
  int VisibleColumnCount() const;
  TcxGridBandedColumn* VisibleColumns(int Index) const;
  TcxGridBands* Bands() const { return bands_.get(); }

  TcxGridBandedTableViewStyles* Styles() const { return styles_.get(); }
  TcxGridBandedTableOptionsView* OptionsView() const { return optionsView_.get(); }
  TcxGridBandedTableOptionsCustomize* OptionsCustomize() const { return optionsCustomize_.get(); }
  TcxGridTableOptionsData* OptionsData() const { return optionsData_.get(); }
  TcxGridTableOptionsBehavior* OptionsBehavior() const { return optionsBehavior_.get(); }
  TcxGridFilterBox* FilterBox() const { return filterBox_.get(); }
  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* Value);
  TcxCustomLookAndFeelPainter* LookAndFeelPainter() const { return cxLookAndFeelPainter(); }

  // Changes inside a bracket are shown once, when the last one closes.
  void BeginUpdate();
  void EndUpdate();
  bool IsUpdateLocked() const { return updateCount_ > 0; }
  // Something that moves things on screen changed: lay out and paint again.
  void LayoutChanged();

  // What lies at a point of the site's client area.
  TcxGridHitTest GetHitTest(int X, int Y) const;
  TcxGridHitTest GetHitTest(TPoint P) const { return GetHitTest(P.x, P.y); }

  TcxGridTableDataCellCustomDrawEvent OnCustomDrawCell;
  TcxGridIndicatorCellCustomDrawEvent OnCustomDrawIndicatorCell;
  TcxGridBandCustomDrawHeaderEvent OnCustomDrawBandHeader;
  // A mouse button went down on the site (Sender: the site), before the view acts.
  TMouseEvent OnMouseDown;
  TNotifyEvent OnFocusedRecordChanged;

  // The layout of the site's area (worked out on use; any change of the layout makes a
  // new one, so keep no reference across changes).
  const TcxGridBandedTableViewInfo& ViewInfo() const;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  friend class TcxGrid;
  friend class TcxGridLevel;
  friend class TcxGridSite;
  friend class TcxGridBandedColumn;
  friend class TcxGridBandedColumnPosition;
  friend class TcxGridBands;
  friend class TcxGridBand;
  friend class TcxGridViewOptions;
  friend class TcxGridBandedTableController;
  friend class TcxGridBandedTableViewInfo;

  void AddColumn(TcxGridBandedColumn* Column);
  void RemoveColumn(TcxGridBandedColumn* Column);
  void MoveColumn(TcxGridBandedColumn* Column, int NewIndex);
  void BandsChanged();
  void DataChanged(TObject* Sender);
  void FocusedRecordChanged(TObject* Sender);
  void StylesChanged(TObject* Sender);
  void Changed();
  // Paints the view on the site's canvas (client coordinates), the part in Clip.
  void Paint(TCanvas* Canvas, const TRect& Clip);

  TcxGrid* grid_ = nullptr;
  // Columns and bands that left the view: a layout made before the count moved may
  // name freed ones. Before the bands, which count on it as they go.
  int removals_ = 0;
  std::vector<TcxGridBandedColumn*> columns_;
  std::unique_ptr<TcxGridBands> bands_;
  std::unique_ptr<TcxGridDataController> dataController_;
  std::unique_ptr<TcxGridBandedTableController> controller_;
  std::unique_ptr<TcxGridBandedTableViewStyles> styles_;
  std::unique_ptr<TcxGridBandedTableOptionsView> optionsView_;
  std::unique_ptr<TcxGridBandedTableOptionsCustomize> optionsCustomize_;
  std::unique_ptr<TcxGridTableOptionsData> optionsData_;
  std::unique_ptr<TcxGridTableOptionsBehavior> optionsBehavior_;
  std::unique_ptr<TcxGridFilterBox> filterBox_;
  TPopupMenu* popupMenu_ = nullptr;
  int updateCount_ = 0;
  bool changedInUpdate_ = false;
  // Shared with a paint under way, which keeps it to its end when a handler changes the view.
  mutable std::shared_ptr<const TcxGridBandedTableViewInfo> viewInfo_;
};
