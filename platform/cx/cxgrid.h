// The grid control: levels that name the views it can show, the site window that
// shows the active view and takes its input, and the scroll bars.
//
// The site works the view as a person would: clicks focus cells and sort by column
// headers (after the view's OnMouseDown), keys move the focus and page, the wheel and
// the scroll bars scroll, a click on the focused cell or Enter or F2 edits it in place
// (a check box cell toggles at once; a label cell is not edited), Enter or leaving the
// cell posts, Escape cancels.
#pragma once

#include <memory>
#include <vector>

#include "platform/cx/cxgridbandedtableview.h"
#include "platform/cx/cxtextedit.h"
#include "platform/vcl/stdctrls.h"

class TcxGrid;

// A level names the view it shows; the grid's root level holds the levels.
class TcxGridLevel : public TComponent {
  VX_CLASS(TcxGridLevel, TComponent)

 public:
  explicit TcxGridLevel(TComponent* AOwner);
  ~TcxGridLevel() override;
  TcxGrid* Control() const { return grid_; }
  // A new level below this one.
  TcxGridLevel* Add();
  int Count() const { return int(items_.size()); }
  TcxGridLevel* Items(int Index) const;
  TcxGridBandedTableView* GridView() const { return view_; }
  void SetGridView(TcxGridBandedTableView* Value);

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  friend class TcxGrid;
  TcxGrid* grid_ = nullptr;
  TcxGridLevel* parent_ = nullptr;
  std::vector<TcxGridLevel*> items_;
  TcxGridBandedTableView* view_ = nullptr;
};

// The window that shows a view (nameless; its class name is what editors' hosts
// look for).
class TcxGridSite : public TCustomControl {
  VX_CLASS(TcxGridSite, TCustomControl)

 public:
  TcxGridSite(TcxGrid* AGrid, TcxGridBandedTableView* AView);
  ~TcxGridSite() override;
  TcxGridBandedTableView* GridView() const { return view_; }
  TcxGrid* Grid() const { return grid_; }

  // The in-place editor while a cell is edited, else null.
  TcxTextEdit* InplaceEditor() const;
  // Edits the focused cell in place; false when it cannot be edited.
  bool ShowEdit();
  // Ends editing: Accept posts the editor's value, otherwise it is dropped.
  void HideEdit(bool Accept);
  // The view scrolled by dx pixels and dy rows.
  void Scrolled(int DX, int DY);

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;
  void DoEnter() override;
  void DoExit() override;

  VX_MESSAGE_MAP(TcxGridSite, TCustomControl)
  VX_MESSAGE_HANDLER(WM_GETDLGCODE, WMGetDlgCode)
  VX_MESSAGE_HANDLER(WM_MOUSEWHEEL, WMMouseWheel)
  VX_MESSAGE_HANDLER(WM_LBUTTONDBLCLK, WMLButtonDblClk)
  VX_END_MESSAGE_MAP

  void WMGetDlgCode(TMessage& Message);
  void WMMouseWheel(TMessage& Message);
  void WMLButtonDblClk(TMessage& Message);

 private:
  friend class TcxGrid;
  // Moves the focus to a cell of a row; -1 keeps the row or column.
  void FocusCell(int Row, TcxGridBandedColumn* Column);
  void MoveFocusedColumn(int Step, bool Cycle);
  void FocusEdgeColumn(bool Last);
  bool CanEdit(TcxGridBandedColumn* Column) const;
  void ToggleCheckBox(TcxGridBandedColumn* Column);
  void EditorKeyDown(TObject* Sender, WORD& Key, TShiftState Shift);
  void EditorExit(TObject* Sender);

  TcxGrid* grid_;
  TcxGridBandedTableView* view_;
  TcxTextEdit* editor_ = nullptr;  // made on the first edit, hidden between edits
  bool hiding_ = false;
};

class TcxGrid : public TCustomControl {
  VX_CLASS(TcxGrid, TCustomControl)

 public:
  explicit TcxGrid(TComponent* AOwner);
  ~TcxGrid() override;

  // The root level; its first level's view is the one shown.
  TcxGridLevel* Levels() const { return levels_; }
  // A new view owned by the grid (freed with it).
  TcxGridBandedTableView* CreateView(TClass ViewClass);
  TcxGridBandedTableView* ActiveView() const;
  TcxGridSite* ActiveSite() const { return site_; }
  TcxGridSite* SiteOf(const TcxGridBandedTableView* View) const;
  TScrollBar* VScrollBar() const { return vbar_; }
  TScrollBar* HScrollBar() const { return hbar_; }
  // Lays the site and the scroll bars out again.
  void SizeChanged();

 protected:
  void Resize() override;
  void Paint() override;

  VX_MESSAGE_MAP(TcxGrid, TCustomControl)
  VX_MESSAGE_HANDLER(WM_VSCROLL, WMVScroll)
  VX_MESSAGE_HANDLER(WM_HSCROLL, WMHScroll)
  VX_END_MESSAGE_MAP

  void WMVScroll(TMessage& Message);
  void WMHScroll(TMessage& Message);

 private:
  friend class TcxGridLevel;
  friend class TcxGridSite;
  friend class TcxGridBandedTableView;
  void LevelsChanged();
  void ViewChanged(TcxGridBandedTableView* View);
  void ViewRemoved(TcxGridBandedTableView* View);
  void UpdateScrollBars();

  TcxGridLevel* levels_;
  TcxGridSite* site_ = nullptr;
  TScrollBar* vbar_;
  TScrollBar* hbar_;
  bool sizing_ = false;
};
