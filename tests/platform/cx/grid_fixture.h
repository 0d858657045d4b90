// A headless form holding a grid with one banded table view, worked through the same
// input a person gives: clicks and keys posted to the form's window.
#pragma once

#include <string>
#include <vector>

#include "platform/cx/cxgrid.h"
#include "platform/cx/cxgridviewinfo.h"
#include "platform/display/input.h"
#include "platform/gdi/dib.h"
#include "tests/support/headless_gui.h"

struct TGridForm {
  explicit TGridForm(int Width = 640, int Height = 400) {
    form = new TForm(Application);
    form->SetBorderStyle(bsNone);
    form->SetBounds(0, 0, Width, Height);
    grid = new TcxGrid(form);
    grid->SetBounds(0, 0, Width, Height);
    grid->SetParent(form);
    view = grid->CreateView(TcxGridBandedTableView::StaticClass());
    view->SetName("bvMain");
    grid->Levels()->Add()->SetGridView(view);
    form->Show();
    THeadlessGui::Pump();
  }
  ~TGridForm() { form->Free(); }
  TGridForm(const TGridForm&) = delete;
  TGridForm& operator=(const TGridForm&) = delete;

  TcxGridSite* Site() const { return grid->ActiveSite(); }
  const TcxGridBandedTableViewInfo& Info() const { return view->ViewInfo(); }

  TcxGridBandedColumn* AddColumn(const std::string& Caption, const std::string& Type = "String", int Width = 80,
                                 int Band = 0) {
    TcxGridBandedColumn* c = view->CreateColumn();
    c->SetCaption(Caption);
    c->SetWidth(Width);
    c->Position()->SetBandIndex(Band);
    c->DataBinding()->SetValueType(Type);
    return c;
  }
  void AddRow(const std::vector<Variant>& Values) {
    auto* dc = view->DataController();
    const int r = dc->AppendRecord();
    for (size_t i = 0; i < Values.size(); ++i) dc->SetValue(r, int(i), Values[i]);
  }

  // A point of the site's client area in the form's.
  TPoint FormPoint(TPoint SitePoint) const {
    TRect r;
    Site()->RectInForm(r);
    return TPoint{r.left + SitePoint.x, r.top + SitePoint.y};
  }
  static TPoint Centre(const TRect& R) { return TPoint{(R.left + R.right) / 2, (R.top + R.bottom) / 2}; }
  void Click(TPoint SitePoint, TMouseButton Button = mbLeft, WPARAM Keys = 0) {
    const TPoint p = FormPoint(SitePoint);
    vx::display::InjectMouseMove(form, p.x, p.y);
    vx::display::InjectMouseDown(form, Button, p.x, p.y, Keys);
    vx::display::InjectMouseUp(form, Button, p.x, p.y, Keys);
    THeadlessGui::Pump();
  }
  void ClickHeader(TcxGridBandedColumn* Column, WPARAM Keys = 0) {
    Click(Centre(Info().HeaderBounds(*Info().FindColumn(Column))), mbLeft, Keys);
  }
  void ClickCell(int Place, TcxGridBandedColumn* Column) {
    Click(Centre(Info().CellBounds(*Info().FindColumn(Column), Place)));
  }
  void Key(WORD Key, TShiftState Shift = {}) {
    vx::display::InjectKey(form, Key, Shift);
    THeadlessGui::Pump();
  }
  // The records in row order.
  std::vector<int> Rows() const {
    std::vector<int> out;
    auto* dc = view->DataController();
    for (int r = 0; r < dc->RowCount(); ++r) out.push_back(dc->RecordIndexOfRow(r));
    return out;
  }
  // A pixel of the site's client area as shown (0xBBGGRR).
  COLORREF SitePixel(int X, int Y) const {
    const TPoint p = FormPoint(TPoint{X, Y});
    return THeadlessGui::Pixel(form, p.x, p.y);
  }

  TForm* form;
  TcxGrid* grid;
  TcxGridBandedTableView* view;
};
