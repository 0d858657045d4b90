// The grid stand-in on a headless form: layout and hit tests, header clicks, focus by
// mouse and keys, check-box cells, scrolling by wheel and scroll bars (what is shown
// after a scroll equals a fresh paint), painting order and styles, and handlers that
// change the view while it paints.
#include <gtest/gtest.h>

#include <functional>

#include "platform/cx/cxcheckbox.h"
#include "tests/platform/cx/grid_fixture.h"

namespace {

class Grid : public ::testing::Test {
 protected:
  THeadlessGui gui;
};

// The site's pixels as shown, and as a paint of everything anew shows them.
std::vector<uint32_t> SitePixels(TGridForm& g) {
  g.form->PaintNow();
  std::vector<uint32_t> out;
  TRect r;
  g.Site()->RectInForm(r);
  auto b = g.form->BackBuffer();
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) out.push_back(b->GetRaw(x, y));
  return out;
}
std::vector<uint32_t> FreshSitePixels(TGridForm& g) {
  g.form->InvalidateFormRect(g.form->ClientRect());
  return SitePixels(g);
}

}  // namespace

TEST_F(Grid, LayoutPlacesBandsColumnsRowsAndTheHitTestFindsThem) {
  TGridForm g;
  g.view->Bands()->Items(0)->SetCaption("A");
  g.view->Bands()->Add()->SetCaption("B");
  auto* ov = g.view->OptionsView();
  ov->SetIndicator(true);
  ov->SetFooter(true);
  ov->SetBandHeaderHeight(21);
  ov->SetHeaderHeight(20);
  ov->SetDataRowHeight(23);
  auto* c0 = g.AddColumn("c0", "String", 80, 0);
  auto* c1 = g.AddColumn("c1", "String", 60, 0);
  auto* c2 = g.AddColumn("c2", "String", 100, 1);
  for (int i = 0; i < 5; ++i) g.AddRow({Variant(std::to_string(i))});

  const auto& info = g.Info();
  ASSERT_EQ(info.Columns().size(), 3u);
  EXPECT_EQ(info.Columns()[1].Column, c1);
  EXPECT_EQ(info.Columns()[2].Left, 140);
  EXPECT_EQ(info.Bands()[1].Width, 100);
  EXPECT_EQ(info.DataTop(), 41);
  const int iw = ov->IndicatorWidth();
  struct Probe {
    TPoint at;
    TcxGridHitKind kind;
    TcxGridBandedColumn* column;
    int row;
  };
  const Probe probes[] = {
      {{iw + 150, 10}, ghtBandHeader, nullptr, -1}, {{iw + 100, 30}, ghtColumnHeader, c1, -1},
      {{iw + 10, 41 + 23 + 5}, ghtCell, c0, 1},     {{iw + 79, 41 + 22}, ghtCell, c0, 0},
      {{iw + 80, 41 + 23}, ghtCell, c1, 1},        {{3, 41 + 4 * 23 + 2}, ghtIndicator, nullptr, 4},
      {{iw + 10, 41 + 5 * 23 + 2}, ghtGridArea, nullptr, -1},
      {{iw + 10, info.FooterTop() + 2}, ghtFooter, nullptr, -1},
  };
  for (const Probe& p : probes) {
    SCOPED_TRACE(std::to_string(p.at.x) + "," + std::to_string(p.at.y));
    const TcxGridHitTest hit = g.view->GetHitTest(p.at);
    EXPECT_EQ(hit.Kind, p.kind);
    EXPECT_EQ(hit.Column, p.column);
    EXPECT_EQ(hit.RowIndex, p.row);
  }
  EXPECT_EQ(g.view->GetHitTest(iw + 150, 10).Band, g.view->Bands()->Items(1));

  // A glyph sits left in the header, centred; moving and hiding change the layout.
  TBitmap glyph;
  glyph.SetSize(12, 12);
  c1->SetHeaderGlyph(&glyph);
  const TRect gb = g.view->GetHitTest(iw + 100, 30).HeaderGlyphBounds;
  EXPECT_EQ(gb, (TRect{iw + 80 + 3, 21 + 4, iw + 80 + 15, 21 + 16}));
  c1->Position()->SetColIndex(0);
  EXPECT_EQ(g.Info().Columns()[0].Column, c1);
  c0->SetVisible(false);
  EXPECT_EQ(g.view->VisibleColumnCount(), 2);
  EXPECT_EQ(g.Info().Columns()[1].Left, 60);
  EXPECT_EQ(g.view->Bands()->Items(0)->ColumnCount(), 2);
  EXPECT_EQ(g.view->Bands()->Items(0)->VisibleColumns(0), c1);
  // Scrolled right, the same point finds what lies further right.
  c0->SetVisible(true);
  c2->SetWidth(1000);
  g.view->Controller()->SetLeftPos(140);
  EXPECT_EQ(g.view->GetHitTest(iw + 10, 30).Column, c2);
}

TEST_F(Grid, AHeaderClickSortsAscendingThenDescendingAfterTheViewsOwnHandler) {
  TGridForm g;
  auto* name = g.AddColumn("name");
  auto* amount = g.AddColumn("amount", "Integer");
  for (auto [n, a] : std::vector<std::pair<const char*, int>>{{"b", 1}, {"a", 2}, {"c", 1}})
    g.AddRow({Variant(n), Variant(a)});
  std::vector<TcxDataSortOrder> seen;
  g.view->OnMouseDown = TMouseEvent::FromFunction([&](TObject* Sender, TMouseButton, TShiftState, int, int) {
    EXPECT_EQ(Sender, g.Site());
    seen.push_back(name->SortOrder());
  });
  g.ClickHeader(name);
  EXPECT_EQ(g.Rows(), (std::vector<int>{1, 0, 2}));
  g.ClickHeader(name);
  EXPECT_EQ(g.Rows(), (std::vector<int>{2, 0, 1}));
  g.ClickHeader(name);
  EXPECT_EQ(name->SortOrder(), soAscending);
  EXPECT_EQ(seen, (std::vector<TcxDataSortOrder>{soNone, soAscending, soDescending}));
  // Shift adds a column to the sorting; a plain click sorts by one column alone.
  g.ClickHeader(amount, MK_SHIFT);
  EXPECT_EQ(amount->SortIndex(), 1);
  g.ClickHeader(amount);
  EXPECT_EQ(name->SortOrder(), soNone);
  EXPECT_EQ(amount->SortOrder(), soDescending);
  EXPECT_EQ(g.Rows(), (std::vector<int>{1, 0, 2}));
  // Columns that may not sort, and band headers, do not.
  amount->Options()->SetSorting(false);
  g.ClickHeader(amount);
  EXPECT_EQ(amount->SortOrder(), soDescending);
  g.Click(TPoint{20, 5});
  EXPECT_EQ(g.view->DataController()->SortingItemCount(), 1);
}

TEST_F(Grid, ClicksAndKeysMoveTheFocusAndCheckBoxCellsToggle) {
  TGridForm g;
  auto* text = g.AddColumn("text");
  auto* flag = g.AddColumn("flag", "Boolean");
  flag->SetPropertiesClass(TcxCheckBoxProperties::StaticClass());
  auto* third = g.AddColumn("third");
  for (int i = 0; i < 40; ++i) g.AddRow({Variant("r" + std::to_string(i)), Variant::Null(), Variant("x")});
  auto* c = g.view->Controller();
  g.ClickCell(2, third);
  EXPECT_EQ(c->FocusedRowIndex(), 2);
  EXPECT_EQ(c->FocusedColumn(), third);
  EXPECT_TRUE(g.Site()->Focused());
  const int page = g.Info().VisibleRowCount();
  struct Step {
    WORD key;
    TShiftState shift;
    int row;
    TcxGridBandedColumn* column;
  };
  g.view->OptionsBehavior()->SetFocusCellOnTab(true);
  g.view->OptionsBehavior()->SetFocusCellOnCycle(true);
  const Step steps[] = {
      {VK_DOWN, {}, 3, third},           {VK_NEXT, {}, 3 + page, third},   {VK_END, {ssCtrl}, 39, third},
      {VK_UP, {}, 38, third},            {VK_HOME, {ssCtrl}, 0, third},    {VK_LEFT, {}, 0, flag},
      {VK_HOME, {}, 0, text},            {VK_TAB, {}, 0, flag},            {VK_TAB, {}, 0, third},
      {VK_TAB, {}, 1, text},             {VK_TAB, {ssShift}, 0, third},    {VK_PRIOR, {}, 0, third},
  };
  for (const Step& s : steps) {
    g.Key(s.key, s.shift);
    EXPECT_EQ(c->FocusedRowIndex(), s.row) << "key " << s.key;
    EXPECT_EQ(c->FocusedColumn(), s.column) << "key " << s.key;
  }
  // The top row follows the focus.
  g.Key(VK_END, {ssCtrl});
  EXPECT_EQ(c->TopRowIndex(), 40 - page);

  auto* dc = g.view->DataController();
  g.ClickCell(0, flag);  // the focus row moves to the top row shown
  const int record = dc->FocusedRecordIndex();
  EXPECT_EQ(dc->Values(record, 1), Variant(true));
  g.Key(VK_SPACE);
  EXPECT_EQ(dc->Values(record, 1), Variant(false));
  // Outside the check mark a click only focuses.
  const TRect cell = g.Info().CellBounds(*g.Info().FindColumn(flag), 0);
  g.Click(TPoint{cell.left + 2, cell.top + 2});
  EXPECT_EQ(dc->Values(record, 1), Variant(false));
  flag->Options()->SetEditing(false);
  g.Key(VK_SPACE);
  EXPECT_EQ(dc->Values(record, 1), Variant(false));
}

TEST_F(Grid, ScrollingByWheelAndScrollBarsShowsWhatAFreshPaintShows) {
  TGridForm g(400, 300);
  g.view->OptionsView()->SetIndicator(true);
  auto* c = g.AddColumn("n", "Integer", 120);
  g.AddColumn("wide", "String", 500);
  for (int i = 0; i < 200; ++i) g.AddRow({Variant(i), Variant("row " + std::to_string(i))});
  g.view->Controller()->SetFocusedRowIndex(0);
  g.view->Controller()->SetFocusedColumn(c);
  g.Site()->SetFocus();  // the wheel turns what has the focus
  SitePixels(g);
  TScrollBar* vbar = g.grid->VScrollBar();
  TScrollBar* hbar = g.grid->HScrollBar();
  ASSERT_TRUE(vbar->Visible());
  ASSERT_TRUE(hbar->Visible());
  const int page = g.Info().VisibleRowCount();
  EXPECT_EQ(vbar->PageSize(), page);
  EXPECT_EQ(vbar->Max(), 199);
  auto* controller = g.view->Controller();
  auto clickBar = [&](TScrollBar* bar, int Along) {
    TRect r;
    bar->RectInForm(r);
    const bool vertical = bar->Kind() == sbVertical;
    const int x = vertical ? (r.left + r.right) / 2 : r.left + Along;
    const int y = vertical ? r.top + Along : (r.top + r.bottom) / 2;
    vx::display::InjectClick(g.form, x, y);
    THeadlessGui::Pump();
  };
  struct Step {
    const char* what;
    std::function<void()> act;
    int top;
    int left;
  };
  const int arrow = GetSystemMetrics(SM_CXVSCROLL);
  const Step steps[] = {
      {"wheel down", [&] { PostMessage(g.Site()->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(int16_t(-120))), 0); THeadlessGui::Pump(); }, 3, 0},
      {"arrow down", [&] { clickBar(vbar, vbar->Height() - arrow / 2); }, 4, 0},
      {"track below the thumb", [&] { clickBar(vbar, vbar->Height() - arrow - 2); }, 4 + page, 0},
      {"wheel up", [&] { PostMessage(g.Site()->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(int16_t(120))), 0); THeadlessGui::Pump(); }, 1 + page, 0},
      {"arrow right", [&] { clickBar(hbar, hbar->Width() - arrow / 2); }, 1 + page, 16},
      {"arrow up", [&] { clickBar(vbar, arrow / 2); }, page, 16},
      {"page left", [&] { clickBar(hbar, arrow + 1); }, page, 0},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.act();
    EXPECT_EQ(controller->TopRowIndex(), s.top);
    EXPECT_EQ(controller->LeftPos(), s.left);
    EXPECT_EQ(vbar->Position(), s.top);
    const auto shown = SitePixels(g);
    EXPECT_TRUE(shown == FreshSitePixels(g));
  }
  // The bottom is as far as the rows go.
  controller->SetTopRowIndex(1000);
  EXPECT_EQ(controller->TopRowIndex(), 200 - page);
}

// Over thousands of rows the thumb stays as long as a desktop bar's: taken at its last
// pixel and dragged to the end of the track, it shows the last page.
TEST_F(Grid, OverThousandsOfRowsTheThumbCanBeTakenAndDraggedToTheEnd) {
  TGridForm g(400, 300);
  g.AddColumn("n", "Integer", 120);
  for (int i = 0; i < 2000; ++i) g.AddRow({Variant(i)});
  TScrollBar* vbar = g.grid->VScrollBar();
  ASSERT_TRUE(vbar->Visible());
  TRect r;
  vbar->RectInForm(r);
  const int x = (r.left + r.right) / 2, arrow = GetSystemMetrics(SM_CXVSCROLL);
  const int thumbEnd = r.top + arrow + GetSystemMetrics(SM_CYVTHUMB) - 1;
  vx::display::InjectMouseMove(g.form, x, thumbEnd);
  vx::display::InjectMouseDown(g.form, mbLeft, x, thumbEnd);
  THeadlessGui::Pump();
  EXPECT_EQ(g.view->Controller()->TopRowIndex(), 0) << "the press took the thumb, not the track";
  vx::display::InjectMouseMove(g.form, x, r.bottom - arrow);
  vx::display::InjectMouseUp(g.form, mbLeft, x, r.bottom - arrow);
  THeadlessGui::Pump();
  EXPECT_EQ(g.view->Controller()->TopRowIndex(), 2000 - g.Info().VisibleRowCount());
}

TEST_F(Grid, CellsComeOverTheirGridLinesWithTheEventsStyleOrTheSelection) {
  TGridForm g;
  g.view->OptionsView()->SetDataRowHeight(20);
  g.view->OptionsView()->SetGridLineColor(RGB(1, 2, 3));
  auto* a = g.AddColumn("a", "String", 60);
  auto* b = g.AddColumn("b", "String", 60);
  for (int i = 0; i < 3; ++i) g.AddRow({Variant("x"), Variant("y")});
  TcxStyle style(nullptr);
  style.SetColor(RGB(10, 200, 30));
  g.view->Styles()->OnGetContentStyle = TcxGridGetCellStyleEvent::FromFunction(
      [&](TcxGridBandedTableView*, TcxCustomGridRecord* Record, TcxGridBandedColumn* Item, TcxStyle*& Style) {
        if (Item == b && Record->RecordIndex() == 2) Style = &style;
      });
  // Column a's cells in row 1 draw a frame on the lines around them.
  g.view->OnCustomDrawCell = TcxGridTableDataCellCustomDrawEvent::FromFunction(
      [&](TcxGridBandedTableView*, TcxCanvas* C, TcxGridTableDataCellViewInfo* Info, bool& Done) {
        if (Info->Item != a || Info->GridRecord->Index() != 1) return;
        Info->PaintContent(C);
        TRect r = Info->Bounds;
        InflateRect(&r, 1, 1);
        C->FrameRect(r, RGB(250, 0, 0));
        Done = true;
      });
  const TRect cellA1 = g.Info().CellBounds(*g.Info().FindColumn(a), 1);
  const TRect cellB2 = g.Info().CellBounds(*g.Info().FindColumn(b), 2);
  const int dataTop = g.Info().DataTop();
  EXPECT_EQ(g.SitePixel(cellA1.right, cellA1.top - 5), RGB(1, 2, 3));  // a line of row 0
  EXPECT_EQ(g.SitePixel(cellA1.right, cellA1.top + 5), RGB(250, 0, 0));
  EXPECT_EQ(g.SitePixel(cellA1.left + 5, cellA1.bottom), RGB(250, 0, 0));
  EXPECT_EQ(g.SitePixel(cellA1.left + 5, cellA1.top - 1), RGB(250, 0, 0));
  EXPECT_EQ(g.SitePixel(cellB2.left + 1, cellB2.top + 1), RGB(10, 200, 30));
  // The focused row shows the selection while the site has the focus; the event's
  // style wins over it.
  g.ClickCell(2, a);
  EXPECT_EQ(g.SitePixel(cellB2.left - 5, cellB2.top + 1), COLORREF(ColorToRGB(clHighlight)));
  EXPECT_EQ(g.SitePixel(cellB2.left + 1, cellB2.top + 1), RGB(10, 200, 30));
  // Without records the view says so, or shows nothing when the text is empty.
  g.view->DataController()->SetRecordCount(0);
  const TRect area{0, dataTop, g.Site()->ClientWidth(), dataTop + 20};
  auto inked = [&] {
    int n = 0;
    for (int y = area.top; y < area.bottom; ++y)
      for (int x = area.left; x < area.right; x += 2) n += g.SitePixel(x, y) != COLORREF(ColorToRGB(clWindow));
    return n;
  };
  EXPECT_GT(inked(), 0);
  g.view->OptionsView()->SetNoDataToDisplayInfoText("");
  EXPECT_EQ(inked(), 0);
}

TEST_F(Grid, CellsAreEditedInPlaceAndPostedOrDropped) {
  TGridForm g;
  auto* text = g.AddColumn("text");
  auto* number = g.AddColumn("number", "Integer");
  auto* fixed = g.AddColumn("fixed");
  fixed->Options()->SetEditing(false);
  for (int i = 0; i < 8; ++i) g.AddRow({Variant("r" + std::to_string(i)), Variant(i), Variant("x")});
  auto* dc = g.view->DataController();
  auto* site = g.Site();
  // How an edit starts, what is typed, how it ends, and the value after.
  struct Case {
    TcxGridBandedColumn* column;
    const char* start;  // "click": a second click on the focused cell; "f2"; "enter"
    const char* typed;
    WORD end;
    Variant value;
  };
  const Case cases[] = {
      {text, "click", "new", VK_RETURN, Variant("new")},
      {text, "f2", "gone", VK_ESCAPE, Variant("r1")},
      {number, "enter", "42", VK_RETURN, Variant(42)},
      {number, "f2", "4x2", VK_RETURN, Variant(3)},  // not a number: the value stays
      {number, "f2", "", VK_RETURN, Variant::Null()},
      {text, "click", "left", VK_DOWN, Variant("left")},  // leaving the row posts
  };
  for (int i = 0; i < int(std::size(cases)); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(i);
    g.ClickCell(i, c.column);
    const std::string start = c.start;
    if (start == "click") g.ClickCell(i, c.column);
    else g.Key(start == "f2" ? VK_F2 : VK_RETURN);
    ASSERT_NE(site->InplaceEditor(), nullptr);
    EXPECT_EQ(g.view->Controller()->EditingItem(), c.column);
    EXPECT_TRUE(c.column->IsEditing());
    EXPECT_EQ(site->InplaceEditor()->BoundsRect(), g.Info().CellBounds(*g.Info().FindColumn(c.column), i));
    EXPECT_EQ(site->InplaceEditor()->Text(), VarToStr(dc->Values(i, c.column->Index())));
    EXPECT_TRUE(site->InplaceEditor()->Focused());
    THeadlessGui::Key(VK_DELETE);  // the text is selected
    vx::display::InjectText(g.form, c.typed);
    THeadlessGui::Key(c.end);
    EXPECT_EQ(site->InplaceEditor(), nullptr);
    EXPECT_EQ(dc->Values(i, c.column->Index()), c.value);
    EXPECT_TRUE(site->Focused());
  }
  // A cell that may not be edited is not.
  g.ClickCell(0, fixed);
  g.Key(VK_F2);
  EXPECT_EQ(site->InplaceEditor(), nullptr);
}

// A handler that changes the view while it paints leaves the paint safe, and the
// repaint the change asks for shows what a fresh paint shows.
TEST_F(Grid, HandlersMayChangeTheViewWhileItPaints) {
  const std::pair<const char*, std::function<void(TGridForm&)>> changes[] = {
      {"style", [](TGridForm& g) { g.view->Styles()->Content()->SetColor(RGB(9, 9, 9)); }},
      {"style freed", [](TGridForm& g) { g.view->Styles()->Content()->Free(); }},
      {"cell style", [](TGridForm& g) { g.view->LayoutChanged(); }},  // as a cell style table asks
      {"value", [](TGridForm& g) { g.view->DataController()->SetValue(2, 0, Variant("a")); }},
      {"records", [](TGridForm& g) { g.view->DataController()->SetRecordCount(1); }},
      {"column", [](TGridForm& g) { g.view->Columns(0)->Free(); }},
      {"band", [](TGridForm& g) { g.view->Bands()->Delete(0); }},
  };
  for (int event = 0; event < 4; ++event)
    for (const auto& [name, change] : changes) {
      SCOPED_TRACE(std::string(name) + " in event " + std::to_string(event));
      TGridForm g;
      g.view->OptionsView()->SetIndicator(true);
      g.view->Bands()->Add();
      g.AddColumn("a");
      g.AddColumn("b", "String", 80, 1);
      for (int i = 0; i < 3; ++i) g.AddRow({Variant("x"), Variant("y")});
      auto* content = new TcxStyle(g.form);
      content->Font()->SetStyle({fsBold});
      g.view->Styles()->SetValues(vsContent, content);
      bool once = true;
      auto fire = [&](auto&&...) {
        if (std::exchange(once, false)) change(g);
      };
      if (event == 0) g.view->Styles()->OnGetContentStyle = TcxGridGetCellStyleEvent::FromFunction(fire);
      if (event == 1) g.view->OnCustomDrawCell = TcxGridTableDataCellCustomDrawEvent::FromFunction(fire);
      if (event == 2) g.view->OnCustomDrawBandHeader = TcxGridBandCustomDrawHeaderEvent::FromFunction(fire);
      if (event == 3) g.view->OnCustomDrawIndicatorCell = TcxGridIndicatorCellCustomDrawEvent::FromFunction(fire);
      const auto shown = FreshSitePixels(g);
      EXPECT_FALSE(once);
      EXPECT_EQ(shown, FreshSitePixels(g));
    }
}
