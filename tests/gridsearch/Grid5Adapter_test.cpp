// The grid adapter on a headless form: the look it applies and the handlers it chains
// (and gives back), check-all headers drawn pixel for pixel, cell styles, framed
// editable cells, band header arrows, the footer indicator, the record and style
// calls, the export command and Ctrl+F.
#include "gridsearch/Grid5Adapter.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "gridsearch/Grid5StyleSeets.h"
#include "gridsearch/uGrid5SearchOption.h"
#include "platform/cx/cxcheckbox.h"
#include "platform/rtl/registry.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/typinfo.h"
#include "tests/platform/cx/grid_fixture.h"
#include "tests/support/TempFolder.h"
#include "tests/support/loopback.h"

namespace {

constexpr COLORREF kFrame = RGB(167, 167, 167), kLine = RGB(212, 208, 199);

class Adapter : public ::testing::Test {
 protected:
  void SetUp() override {
    text = g.AddColumn("text");
    fixed = g.AddColumn("fixed");
    fixed->Options()->SetEditing(false);
    flag = g.AddColumn("flag", "String", 60);
    flag->SetPropertiesClass(TcxCheckBoxProperties::StaticClass());
    flag->SetTag(1);
    for (int i = 0; i < 4; ++i) g.AddRow({Variant("t" + std::to_string(i)), Variant("f"), Variant(i % 2 == 0)});
    adapter = new TGrid5Adapter(g.form);
    adapter->SetBandedTableVeiw(g.view);
    THeadlessGui::Pump();
  }
  TRect Cell(TcxGridBandedColumn* C, int Place) { return g.Info().CellBounds(*g.Info().FindColumn(C), Place); }

  THeadlessGui gui;
  TGridForm g;
  TcxGridBandedColumn *text, *fixed, *flag;
  TGrid5Adapter* adapter;
};

// The glyph as drawn: a clear (red) last column and row, a grey frame inside, white
// within, and for the checked one a tick of seven strokes of three pixels.
std::vector<std::string> ExpectedGlyph(bool Checked) {
  const int w = Checked ? 11 : 12, h = 12;
  std::vector<std::string> rows(h, std::string(w, '.'));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      char& p = rows[y][x];
      if (x == w - 1 || y == h - 1) p = 'r';
      else if (x == 0 || x == w - 2 || y == 0 || y == h - 2) p = 'g';
      else p = 'w';
    }
  if (Checked) {
    const int tops[] = {4, 5, 6, 5, 4, 3, 2};
    for (int i = 0; i < 7; ++i)
      for (int y = tops[i]; y < tops[i] + 3; ++y) rows[y][2 + i] = 'k';
  }
  return rows;
}

std::vector<std::string> GlyphPixels(TBitmap* Glyph) {
  std::vector<std::string> rows;
  for (int y = 0; y < Glyph->Height(); ++y) {
    std::string row;
    for (int x = 0; x < Glyph->Width(); ++x) {
      const TColor c = Glyph->Canvas()->Pixels(x, y);
      row += c == clRed ? 'r' : c == TColor(kFrame) ? 'g' : c == clWhite ? 'w' : c == clBlack ? 'k' : '?';
    }
    rows.push_back(row);
  }
  return rows;
}

}  // namespace

TEST_F(Adapter, InitializeFixesTheLookTakesTheSheetOfTheTagAndChainsTheViewsHandlers) {
  auto* ov = g.view->OptionsView();
  EXPECT_FALSE(ov->GroupByBox());
  EXPECT_FALSE(ov->FocusRect());
  EXPECT_EQ(ov->BandHeaderHeight(), 21);
  EXPECT_EQ(ov->DataRowHeight(), 23);
  EXPECT_EQ(ov->GridLineColor(), TColor(kLine));
  EXPECT_EQ(ov->NoDataToDisplayInfoText(), "");
  EXPECT_FALSE(g.view->OptionsData()->Deleting());
  EXPECT_TRUE(g.view->OptionsBehavior()->FocusCellOnCycle());
  EXPECT_EQ(g.view->FilterBox()->Visible(), fvNever);
  EXPECT_EQ(flag->DataBinding()->ValueType(), "Boolean");
  EXPECT_EQ(static_cast<TcxCheckBoxProperties*>(flag->Properties())->NullStyle(), nssUnchecked);
  EXPECT_TRUE(IsCheckAllGlyph(flag->HeaderGlyph()) == false && !flag->HeaderGlyph()->Empty());
  ASSERT_NE(adapter->PopupMenu(), nullptr);
  EXPECT_EQ(g.view->PopupMenu(), adapter->PopupMenu());
  EXPECT_EQ(adapter->PopupMenu()->Name(), "bvMainGridOptionPopup");
  EXPECT_EQ(adapter->PopupMenu()->Items()->Items(0)->Caption(), "선택화면 엑셀 변환");
  EXPECT_EQ(adapter->PopupMenu()->Items()->Items(1)->Caption(), "찾기(Ctrl+F)");

  // The sheet goes by the view's Tag; other Tags keep the view's own styles.
  const std::pair<intptr_t, TcxCustomStyleSheet*> sheets[] = {
      {0, StyleSheetList->GetStyleSheet(0)}, {1, StyleSheetList->GetStyleSheet(1)}, {2, nullptr}, {-1, nullptr}};
  for (auto [tag, sheet] : sheets) {
    TGridForm other;
    other.view->SetTag(tag);
    TGrid5Adapter a(nullptr);
    a.SetBandedTableVeiw(other.view);
    EXPECT_EQ(other.view->Styles()->StyleSheet(), sheet) << "Tag " << tag;
  }
  // Sheet 1 shares sheet 0's header styles and has a content style of its own.
  EXPECT_EQ(StyleSheetList->GetStyleSheet(1)->Styles()->OwnValue(vsBandHeader),
            StyleSheetList->GetStyleSheet(0)->Styles()->OwnValue(vsBandHeader));
  EXPECT_EQ(StyleSheetList->GetStyleSheet(1)->Styles()->OwnValue(vsContent)->Color(), TColor(RGB(248, 248, 248)));
  EXPECT_EQ(StyleSheetList->GetStyleSheet(0)->Styles()->OwnValue(vsSelection)->TextColor(), clNone);

  // A client's handlers set before attaching still run, once each, also after the
  // same view is attached again; detaching gives them back.
  TGridForm client;
  int draws = 0, downs = 0;
  client.view->OnCustomDrawCell = TcxGridTableDataCellCustomDrawEvent::FromFunction(
      [&](TcxGridBandedTableView*, TcxCanvas*, TcxGridTableDataCellViewInfo*, bool&) { ++draws; });
  client.view->OnMouseDown = TMouseEvent::FromFunction([&](TObject*, TMouseButton, TShiftState, int, int) { ++downs; });
  const auto ownDraw = client.view->OnCustomDrawCell;
  client.AddColumn("c");
  client.AddRow({Variant("x")});
  {
    TGrid5Adapter a(nullptr);
    a.SetBandedTableVeiw(client.view);
    a.SetBandedTableVeiw(client.view);
    a.Initialize();
    client.ClickCell(0, client.view->Columns(0));
    EXPECT_EQ(downs, 1);
    draws = 0;
    client.form->Invalidate();
    client.form->PaintNow();
    EXPECT_EQ(draws, 1);
    EXPECT_FALSE(client.view->OnCustomDrawCell == ownDraw);
  }
  EXPECT_TRUE(client.view->OnCustomDrawCell == ownDraw);
  EXPECT_EQ(client.view->PopupMenu(), nullptr);
  client.ClickCell(0, client.view->Columns(0));
  EXPECT_EQ(downs, 2);
  // Stored forms set the published properties by name; the view by its name.
  {
    auto* a = new TGrid5Adapter(client.form);
    SetPropValue(a, "BandedTableVeiw", TPropValue(std::string("bvMain")));
    EXPECT_EQ(a->BandedTableVeiw(), client.view);
    SetPropValue(a, "Sorting", TPropValue(int64_t(0)));
    EXPECT_FALSE(a->Sorting());
    EXPECT_EQ(GetPropValue(a, "BandedTableVeiw"), TPropValue(std::string("bvMain")));
    a->Free();
  }
  // A view freed first leaves the adapter without one.
  TGridForm gone;
  TGrid5Adapter a(nullptr);
  a.SetBandedTableVeiw(gone.view);
  gone.view->Free();
  EXPECT_EQ(a.BandedTableVeiw(), nullptr);
  EXPECT_EQ(a.PopupMenu(), nullptr);
}

TEST_F(Adapter, CheckAllGlyphsAreDrawnAsSpecifiedAndAClickOnOneFlipsTheColumn) {
  EXPECT_EQ(GlyphPixels(UncheckedGlyph()), ExpectedGlyph(false));
  EXPECT_EQ(GlyphPixels(CheckedGlyph()), ExpectedGlyph(true));
  EXPECT_TRUE(IsCheckAllGlyph(CheckedGlyph()));
  EXPECT_FALSE(IsCheckAllGlyph(UncheckedGlyph()));

  // On screen the red column and row are clear.
  TRect glyph = g.view->GetHitTest(TGridForm::Centre(g.Info().HeaderBounds(*g.Info().FindColumn(flag)))).HeaderGlyphBounds;
  ASSERT_EQ(glyph.right - glyph.left, 12);
  const COLORREF header = g.SitePixel(glyph.right + 1, glyph.top + 1);
  EXPECT_EQ(g.SitePixel(glyph.left + 11, glyph.top + 3), header);
  EXPECT_EQ(g.SitePixel(glyph.left + 3, glyph.top + 11), header);
  EXPECT_EQ(g.SitePixel(glyph.left + 10, glyph.top + 3), kFrame);

  struct Seen {
    bool checked;
  };
  std::vector<Seen> seen;
  bool handled = false, keepHeader = false;
  adapter->OnCheckBoxAllClick = TCheckBoxAllEvent::FromFunction(
      [&](TObject* Sender, TcxGridBandedColumn* Column, bool Checked, bool& HeaderChange, bool& Handled) {
        EXPECT_EQ(Sender, adapter);
        EXPECT_EQ(Column, flag);
        seen.push_back({Checked});
        if (keepHeader) HeaderChange = false;
        Handled = handled;
      });
  auto* dc = g.view->DataController();
  auto values = [&] {
    std::vector<bool> v;
    for (int r = 0; r < dc->RecordCount(); ++r) v.push_back(dc->Values(r, flag->Index()).AsBoolean());
    return v;
  };
  auto clickGlyph = [&](TcxGridBandedColumn* Column) {
    glyph = g.view->GetHitTest(TGridForm::Centre(g.Info().HeaderBounds(*g.Info().FindColumn(Column)))).HeaderGlyphBounds;
    g.Click(TGridForm::Centre(glyph));
  };
  clickGlyph(flag);
  EXPECT_EQ(values(), (std::vector<bool>{true, true, true, true}));
  EXPECT_TRUE(IsCheckAllGlyph(flag->HeaderGlyph()));
  EXPECT_TRUE(adapter->IsAllChecked(flag));
  EXPECT_EQ(flag->SortOrder(), soNone);  // the click does not sort
  clickGlyph(flag);
  EXPECT_EQ(values(), (std::vector<bool>{false, false, false, false}));
  EXPECT_FALSE(adapter->IsAllChecked(flag));
  handled = true;
  keepHeader = true;
  clickGlyph(flag);
  EXPECT_EQ(values(), (std::vector<bool>{false, false, false, false}));
  EXPECT_FALSE(IsCheckAllGlyph(flag->HeaderGlyph()));
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_FALSE(seen[0].checked);
  EXPECT_TRUE(seen[1].checked);
  // The right button opens the popup menu and leaves the glyph, as does a click on
  // the glyph's edge.
  g.Click(TGridForm::Centre(glyph), mbRight);
  EXPECT_TRUE(adapter->PopupMenu()->IsShowing());
  vx::vcl::ClosePopupMenus();
  g.Click(TPoint{glyph.left, glyph.top + 5});
  EXPECT_EQ(seen.size(), 3u);

  // SetCheckedAll writes and shows what it writes; without the Tag bit the values
  // decide, and a Null is not checked.
  adapter->SetCheckedAll(flag, true);
  adapter->SetCheckedAll(flag, true);
  EXPECT_TRUE(IsCheckAllGlyph(flag->HeaderGlyph()));
  EXPECT_EQ(values(), (std::vector<bool>{true, true, true, true}));
  flag->SetTag(0);
  EXPECT_TRUE(adapter->IsAllChecked(flag));
  dc->SetValue(2, flag->Index(), Variant::Null());
  EXPECT_FALSE(adapter->IsAllChecked(flag));
  adapter->SetCheckedAll(text, true);  // not a check-box column
  EXPECT_EQ(dc->Values(0, text->Index()), Variant("t0"));
  // Nor does a click on a glyph of the client's own there check anything: it sorts.
  text->SetHeaderGlyph(CheckedGlyph());
  handled = keepHeader = false;
  clickGlyph(text);
  EXPECT_EQ(dc->Values(0, text->Index()), Variant("t0"));
  EXPECT_EQ(text->SortOrder(), soAscending);
}

TEST_F(Adapter, HeaderClicksCycleNoneAscendingDescendingUnlessSortingIsOff) {
  auto* dc = g.view->DataController();
  const TcxDataSortOrder cycle[] = {soAscending, soDescending, soNone, soAscending};
  for (TcxDataSortOrder expected : cycle) {
    g.ClickHeader(text);
    EXPECT_EQ(text->SortOrder(), expected);
  }
  EXPECT_EQ(dc->RecordIndexOfRow(0), 0);
  fixed->SetTag(2);
  g.ClickHeader(fixed);
  g.ClickHeader(fixed);
  EXPECT_EQ(fixed->SortOrder(), soNone);
  EXPECT_EQ(text->SortOrder(), soAscending);
  adapter->SetSorting(false);
  g.ClickHeader(text);
  EXPECT_EQ(text->SortOrder(), soNone);
  g.ClickHeader(text);
  EXPECT_EQ(text->SortOrder(), soNone);
}

TEST_F(Adapter, ContentStylesComeFromTheCellTableOrTheSelection) {
  g.view->SetTag(0);
  adapter->Initialize();
  adapter->SetCellStyle(0, fixed->Index(), clRed, clBlue, "굴림", {}, 9);
  adapter->SetCellStyle(1, fixed->Index(), clDefault, clDefault, "굴림", {}, 9);
  adapter->SetCellStyle(0, text->Index(), clLime, clBlack, "굴림", {}, 9);
  adapter->SetCellStyle(0, flag->Index(), clYellow, clBlack, "굴림", {}, 9);
  struct Case {
    int focused, record;
    TcxGridBandedColumn* column;
    TColor color, textColor;  // clNone: no style
  };
  const TColor selection = RGB(228, 233, 241);
  const Case cases[] = {
      {-1, 0, fixed, clRed, clBlue},          // the cell's style
      {-1, 1, fixed, clNone, clNone},         // default colours give none
      {-1, 2, fixed, clNone, clNone},         // no cell style
      {-1, 0, text, clNone, clNone},          // editable text: the view's default
      {-1, 0, flag, clYellow, clBlack},       // a check box keeps its style
      {0, 0, fixed, selection, clBlue},       // selected: the selection with the cell's text colour
      {1, 1, fixed, selection, clDefault},
      {2, 2, fixed, selection, clNone},
      {0, 0, text, selection, clBlack},
  };
  auto* dc = g.view->DataController();
  for (const Case& c : cases) {
    TcxGridBandedColumn* column = c.column;
    SCOPED_TRACE(std::to_string(c.focused) + "/" + std::to_string(c.record) + "/" + column->Caption());
    dc->SetFocusedRecordIndex(c.focused);
    TcxCustomGridRecord record(g.view, dc->RowIndexOfRecord(c.record));
    TcxStyle* style = reinterpret_cast<TcxStyle*>(1);
    adapter->EventOnGetContentStyle(g.view, &record, column, style);
    if (c.color == clNone) {
      EXPECT_EQ(style, nullptr);
      continue;
    }
    ASSERT_NE(style, nullptr);
    EXPECT_EQ(style->Color(), c.color);
    if (c.textColor != clNone) {
      EXPECT_EQ(style->TextColor(), c.textColor);
    }
  }
  // Without a selection style the selected record takes the table's rule.
  g.view->Styles()->SetStyleSheet(nullptr);
  dc->SetFocusedRecordIndex(0);
  TcxCustomGridRecord record(g.view, dc->RowIndexOfRecord(0));
  TcxStyle* style = nullptr;
  adapter->EventOnGetContentStyle(g.view, &record, fixed, style);
  EXPECT_EQ(style, nullptr);
}

TEST_F(Adapter, EditableCellsAreFramedOnTheGridLinesUnlessVetoed) {
  std::vector<std::pair<int, int>> asked;
  adapter->OnEditableDrawCell = TEventOnEditableDrawCell::FromFunction([&](TObject* Sender, int Column, int Row, bool& Draw) {
    EXPECT_EQ(Sender, g.view);
    asked.emplace_back(Column, Row);
    if (Row == 2) Draw = false;
  });
  g.form->Invalidate();
  g.form->PaintNow();
  EXPECT_NE(std::find(asked.begin(), asked.end(), std::make_pair(text->Index(), 1)), asked.end());
  const TRect t1 = Cell(text, 1), f1 = Cell(fixed, 1), c1 = Cell(flag, 1), t2 = Cell(text, 2);
  const int mid1 = (t1.top + t1.bottom) / 2, mid2 = (t2.top + t2.bottom) / 2;
  EXPECT_EQ(g.SitePixel(t1.right, mid1), kFrame);            // the line right of it
  EXPECT_EQ(g.SitePixel(t1.left + 5, t1.bottom), kFrame);    // the line below it
  EXPECT_EQ(g.SitePixel(f1.right, mid1), kLine);             // not editable
  EXPECT_EQ(g.SitePixel(c1.right, mid1), kLine);             // check box
  EXPECT_EQ(g.SitePixel(t2.right, mid2), kLine);             // vetoed
}

TEST_F(Adapter, BandHeadersOfASortedBandShowTheirArrowAndTheFooterIndicatorItsColour) {
  g.view->SetTag(0);
  g.view->OptionsView()->SetIndicator(true);
  g.view->OptionsView()->SetFooter(true);
  adapter->Initialize();
  g.view->Bands()->Items(0)->SetCaption("Band");
  const TRect band = g.Info().BandHeaderBounds(g.Info().Bands()[0]);
  const int left = band.right - 15, top = (band.top + band.bottom) / 2 - 5;
  const COLORREF ink = RGB(57, 57, 57);
  auto inkAt = [&](int Row) {
    int n = 0;
    for (int x = left; x < left + 8; ++x) n += g.SitePixel(x, top + Row) == ink;
    return n;
  };
  EXPECT_EQ(inkAt(0) + inkAt(7), 0);  // not sorted: no arrow
  // A click on the band header sorts the band's first column.
  g.Click(TPoint{band.left + 4, band.top + 4});
  ASSERT_EQ(text->SortOrder(), soAscending);
  EXPECT_LT(inkAt(0), inkAt(7));
  EXPECT_EQ(g.SitePixel(band.left + 2, band.top + 5), RGB(216, 216, 216));
  g.Click(TPoint{band.left + 4, band.top + 4});
  ASSERT_EQ(text->SortOrder(), soDescending);
  EXPECT_GT(inkAt(0), inkAt(7));
  g.Click(TPoint{band.left + 4, band.top + 4});
  EXPECT_EQ(text->SortOrder(), soNone);

  const TRect footer{0, g.Info().FooterTop(), g.Info().IndicatorWidth(), g.Info().FooterTop() + g.Info().FooterHeight()};
  EXPECT_EQ(g.SitePixel(footer.left + 4, (footer.top + footer.bottom) / 2), RGB(229, 229, 229));
}

TEST_F(Adapter, RecordAndStyleCallsKeepTheTableInStepAndIgnoreWhatIsOutOfRange) {
  auto* dc = g.view->DataController();
  EXPECT_EQ(adapter->AddRecords({Variant("t4"), Variant("f4"), Variant(true)}), 4);
  EXPECT_EQ(adapter->InsertRecords(1, {Variant("new")}), 1);
  EXPECT_EQ(dc->Values(1, text->Index()), Variant("new"));
  EXPECT_EQ(adapter->InsertRecord(99), -1);
  EXPECT_EQ(adapter->GetRecordCount(), 6);
  adapter->SetCellStyle(2, 1, clRed, clBlack, "굴림", {fsItalic}, 9);
  adapter->SetCellStyle(2, 1, clRed, clBlack, "굴림", {fsBold}, 12);
  TcxStyle* s = adapter->GetCellStyle(2, 1);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->Font()->Style(), (TFontStyles{fsBold, fsItalic}));
  EXPECT_EQ(s->Font()->Size(), 12);
  adapter->InsertRecord(0);
  EXPECT_EQ(adapter->GetCellStyle(3, 1), s);  // the style moved with its record
  adapter->DeleteRecord(0);
  EXPECT_EQ(adapter->GetCellStyle(2, 1), s);
  adapter->SetRecordStyle(3, clBlue, clWhite, "굴림", {}, 9);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(adapter->GetCellStyle(3, c)->Color(), clBlue);
  // Out of range: nothing happens, nothing is found.
  adapter->SetCellStyle(-1, 0, clRed, clRed, "", {}, 9);
  adapter->SetCellStyle(0, 99, clRed, clRed, "", {}, 9);
  adapter->SetCellStyle(99, 0, clRed, clRed, "", {}, 9);
  EXPECT_EQ(adapter->GetCellStyle(99, 0), nullptr);
  adapter->DeleteRecord(-1);
  adapter->DeleteRecordStyle(99);
  adapter->InsertRecordStyle(99);
  adapter->DeleteCellStyle(3, 0);
  EXPECT_EQ(adapter->GetCellStyle(3, 0), nullptr);
  EXPECT_EQ(adapter->RowIndexToRecordIndex(2), 2);
  EXPECT_EQ(adapter->RowIndexToRecordIndex(99), -1);
  adapter->SetRecordCount(3);
  EXPECT_EQ(adapter->GetCellStyle(3, 1), nullptr);
  EXPECT_EQ(adapter->GetCellStyle(2, 1), s);
  adapter->Clear();
  EXPECT_EQ(adapter->GetRecordCount(), 0);
  EXPECT_EQ(adapter->GetCellStyle(2, 1), nullptr);
  // Even and odd styles count only as a pair.
  TcxStyle even(nullptr), odd(nullptr);
  g.view->Styles()->SetValues(vsContentEven, &even);
  EXPECT_EQ(adapter->GetEvenStyle(), nullptr);
  g.view->Styles()->SetValues(vsContentOdd, &odd);
  EXPECT_EQ(adapter->GetEvenStyle(), &even);
  EXPECT_EQ(adapter->GetEvenOdd(), &odd);
  TGrid5Adapter none(nullptr);
  EXPECT_EQ(none.AddRecords({Variant(1)}), -1);
  EXPECT_EQ(none.RowIndexToRecordIndex(0), -1);
}

TEST_F(Adapter, ExportAsksForAFileSavesItAndOffersToOpenItInTheSpreadsheetProgram) {
  TempFolder folder;
  vxtest::ScopedEnv registry("VX_REGISTRY_DIR", (folder / "registry").c_str());
  // The spreadsheet program: a stand-in that notes what it was given (whole, by a rename).
  const std::string program = folder / "spreadsheet";
  WriteFileBytes(program, "#!/bin/sh\nprintf '%s' \"$1\" > \"$0.part\" && mv \"$0.part\" \"$0.args\"\n");
  chmod(program.c_str(), 0755);
  {
    TRegistry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\EXCEL.EXE", false));
    reg.WriteString("", program);
  }
  const std::string before = GetCurrentDir();
  SetCurrentDir(folder.Path());
  auto* export_ = adapter->PopupMenu()->Items()->Items(0);

  gui.QueueFileAnswers({folder / "out"});
  gui.QueueAnswers({mrYes});
  Application->SetPresenter(std::make_unique<TPretendDisplay>());  // a headless run opens nothing
  export_->Click();
  ASSERT_EQ(gui.FileRequests().size(), 1u);
  EXPECT_EQ(gui.FileRequests()[0].DefaultExt, "xls");
  EXPECT_EQ(gui.FileRequests()[0].Filter, "Excel Files (*.xls)|*.xls");
  EXPECT_TRUE(FileExists(folder / "out.xls"));
  ASSERT_EQ(gui.Boxes().size(), 1u);
  EXPECT_EQ(gui.Boxes()[0].Text, "저장된 파일을 실행하시겠습니까?");
  EXPECT_EQ(gui.Boxes()[0].Caption, "엑섹출력");
  EXPECT_EQ(ExcludeTrailingPathDelimiter(GetCurrentDir()),
            ExcludeTrailingPathDelimiter(ExtractFilePath(Application->ExeName())));
  // The program started on its own: wait for what it noted.
  for (int i = 0; i < 6000 && !FileExists(program + ".args"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(ReadFileBytes(program + ".args"), folder / "out.xls");

  // A file that cannot be written: the failure and its reason, and no file.
  ForceDirectories(folder / "taken.xls");
  gui.QueueFileAnswers({folder / "taken.xls"});
  export_->Click();
  ASSERT_EQ(gui.Boxes().size(), 2u);
  EXPECT_EQ(gui.Boxes()[1].Text.rfind("엑셀출력실패\r\n\r\nCannot create file \"" + (folder / "taken.xls") + "\". ", 0), 0u)
      << gui.Boxes()[1].Text;
  EXPECT_TRUE(DirectoryExists(folder / "taken.xls"));
  // Cancelled: nothing more. No records: a message, and no dialog.
  export_->Click();
  EXPECT_EQ(gui.Boxes().size(), 2u);
  EXPECT_EQ(gui.FileRequests().size(), 3u);
  adapter->Clear();
  export_->Click();
  EXPECT_EQ(gui.FileRequests().size(), 3u);
  ASSERT_EQ(gui.Boxes().size(), 3u);
  EXPECT_EQ(gui.Boxes()[2].Text, "엑셀출력할 자료가 없습니다.");
  SetCurrentDir(before);
}

TEST_F(Adapter, CtrlFAloneOpensOneSearchDialogForTheView) {
  struct Case {
    WORD key;
    TShiftState shift;
    bool opens;
  };
  const Case cases[] = {{70, {ssCtrl}, true},  {70, {ssCtrl, ssShift}, false}, {70, {}, false},
                        {71, {ssCtrl}, false}, {70, {ssCtrl, ssAlt}, false},  {70, {ssCtrl}, true}};
  // The first dialog is told by its window, whose handle is never given again: the
  // object's address may be, once it is freed.
  HWND first = nullptr;
  for (const Case& c : cases) {
    WORD key = c.key;
    EXPECT_EQ(adapter->FunctionKeyCheck(g.form, key, c.shift), c.opens);
    if (c.opens && !first) first = adapter->SearchDialog()->Handle();
  }
  ASSERT_NE(adapter->SearchDialog(), nullptr);
  EXPECT_FALSE(IsWindow(first));  // the first one went
  EXPECT_EQ(adapter->SearchDialog()->GridView(), g.view);
  EXPECT_TRUE(adapter->SearchDialog()->Visible());
  EXPECT_EQ(FindWindow(nullptr, "자료 검색"), adapter->SearchDialog()->Handle());
  // The view goes: the dialog forgets it; the adapter goes: the dialog goes with it.
  TfGrid5SearchOption* dialog = adapter->SearchDialog();
  g.view->Free();
  EXPECT_EQ(dialog->GridView(), nullptr);
  TGrid5Adapter none(nullptr);
  WORD key = 70;
  EXPECT_FALSE(none.FunctionKeyCheck(nullptr, key, {ssCtrl}));
}
