// The adapter and the search dialog worked by clicks and keys over generated grids of
// up to 10,000 records, each step's outcome compared with grid_model.py's on the same
// data: header clicks three times per column, band headers, a never-sorted column,
// sorting switched off, check-all headers, and searches in every direction and with
// every option.
#include <gtest/gtest.h>

#include <random>

#include "gridsearch/Grid5Adapter.h"
#include "gridsearch/Grid5StyleSeets.h"
#include "platform/cx/cxcheckbox.h"
#include "tests/gridsearch/search_driver.h"
#include "tests/platform/cx/grid_fixture.h"
#include "tests/support/TempFolder.h"
#include "tests/support/run_program.h"

namespace {

// Columns: kind, value type, tag, band.
struct TColumnSpec {
  const char* kind;
  const char* type;
  int tag;
  int band;
  bool editable;
};
const TColumnSpec kColumns[] = {{"text", "String", 0, 0, true},    {"int", "Integer", 0, 0, false},
                                {"float", "Float", 2, 0, true},     {"curr", "Currency", 0, 1, false},
                                {"bool", "Boolean", 1, 1, true},    {"text", "String", 0, 1, true}};

// Texts that sort and search in telling ways: letters of both cases, Hangul, commas
// and blanks, numbers as text.
const char* const kTexts[] = {"apple", "Apple", "APPLE", "banana", "Banana split", "가나다", "가나", "홍길동", "김철수",
                              "21,000", "1,000", "21000", " 1000 ", "a b c", "abc", "ABC", "x,y", "_under", "Zebra",
                              "zebra", "éclair", "123", "12", "-5", "한글 ABC", "mixed 가 b", "", ","};

class GridModel : public ::testing::Test {
 protected:

  // Fills the grid with Records generated records and writes them for the model.
  void Generate(int Records, unsigned Seed) {
    std::mt19937 rng(Seed);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    std::string kinds, tags, editable;
    for (const auto& c : kColumns) {
      TcxGridBandedColumn* column = g.AddColumn(std::string(c.kind) + std::to_string(columns.size()), c.type, 76, c.band);
      column->SetTag(c.tag);
      column->Options()->SetEditing(c.editable);
      editable += std::string(editable.empty() ? "" : "\t") + (c.editable ? "1" : "0");
      if (std::string(c.kind) == "bool") column->SetPropertiesClass(TcxCheckBoxProperties::StaticClass());
      columns.push_back(column);
      kinds += std::string(kinds.empty() ? "" : "\t") + c.kind;
      tags += std::string(tags.empty() ? "" : "\t") + std::to_string(c.tag);
    }
    std::string grid = kinds + "\n" + tags + "\n" + editable + "\n";
    auto* dc = g.view->DataController();
    dc->BeginUpdate();
    dc->SetRecordCount(Records);
    for (int r = 0; r < Records; ++r) {
      for (size_t c = 0; c < columns.size(); ++c) {
        const std::string kind = kColumns[c].kind;
        std::string text;
        Variant v = Variant::Null();
        if (pick(100) >= 8) {
          if (kind == "text") {
            text = pick(4) == 0 ? std::to_string(pick(30000)) : kTexts[pick(int(std::size(kTexts)))];
            v = Variant(text);
          } else if (kind == "int") {
            v = Variant(pick(2001) - 1000);
            text = VarToStr(v);
          } else if (kind == "float") {
            const int hundredths = pick(200001) - 100000;
            v = Variant(hundredths / 100.0);
            text = std::to_string(hundredths);
          } else if (kind == "curr") {
            const int64_t raw = int64_t(pick(2000001)) - 1000000;
            v = Variant(Currency::FromRaw(raw * (pick(3) == 0 ? 1 : 100)));
            text = std::to_string(v.CurrencyPtr()->Raw);
          } else {
            v = Variant(pick(2) == 0);
            text = *v.BooleanPtr() ? "1" : "0";
          }
        }
        if (v.IsNull()) text = "\\N";
        dc->SetValue(r, int(c), v);
        grid += (c ? "\t" : "") + text;
      }
      grid += "\n";
    }
    dc->EndUpdate();
    WriteFileBytes(folder / "grid.tsv", grid);
  }

  // Runs each operation on the grid and in the model, and compares what they report.
  void Run(const std::vector<std::string>& Ops) {
    std::string opsText;
    std::vector<std::string> actual, reported;  // each outcome and its operation
    auto* dc = g.view->DataController();
    auto rows = [&] {
      std::string line = "rows";
      for (int r = 0; r < dc->RowCount(); ++r) line += " " + std::to_string(dc->RecordIndexOfRow(r));
      return line;
    };
    auto allChecked = [&](int c) {
      for (int r = 0; r < dc->RecordCount(); ++r)
        if (dc->Values(r, c) != Variant(true)) return std::string("allchecked 0");
      return std::string("allchecked 1");
    };
    for (const std::string& op : Ops) {
      opsText += op + "\n";
      std::vector<std::string> f;
      size_t at = 0;
      for (size_t tab; (tab = op.find('\t', at)) != std::string::npos; at = tab + 1) f.push_back(op.substr(at, tab - at));
      f.push_back(op.substr(at));
      if (f[0] == "sorting") {
        adapter->SetSorting(f[1] == "1");
      } else if (f[0] == "column") {
        g.ClickHeader(columns[size_t(std::stoi(f[1]))]);
        actual.push_back(rows());
      } else if (f[0] == "band") {
        const TRect band = g.Info().BandHeaderBounds(g.Info().Bands()[size_t(std::stoi(f[1]))]);
        g.Click(TPoint{band.left + 4, band.top + 4});
        actual.push_back(rows());
      } else if (f[0] == "glyph") {
        const int c = std::stoi(f[1]);
        const TRect header = g.Info().HeaderBounds(*g.Info().FindColumn(columns[size_t(c)]));
        g.Click(TGridForm::Centre(g.view->GetHitTest(TGridForm::Centre(header)).HeaderGlyphBounds));
        actual.push_back(allChecked(c));
      } else if (f[0] == "allchecked") {
        actual.push_back(allChecked(std::stoi(f[1])));
      } else if (f[0] == "focus") {
        dc->SetFocusedRecordIndex(std::stoi(f[1]));
      } else if (f[0] == "cellstyle") {
        adapter->SetCellStyle(std::stoi(f[1]), std::stoi(f[2]), TColor(std::stol(f[3])), TColor(std::stol(f[4])), "굴림",
                              {}, 9);
      } else if (f[0] == "content") {
        dc->SetFocusedRecordIndex(std::stoi(f[1]));
        TcxCustomGridRecord record(g.view, dc->RowIndexOfRecord(std::stoi(f[2])));
        TcxStyle* style = nullptr;
        adapter->EventOnGetContentStyle(g.view, &record, columns[size_t(std::stoi(f[3]))], style);
        actual.push_back(style ? "style " + std::to_string(style->Color()) + " " + std::to_string(style->TextColor())
                               : "none");
      } else if (f[0] == "search") {
        actual.push_back(search.Search(std::stoi(f[1]), f[2], f[3], f[4] == "1", f[5] == "1", f[6] == "1"));
      }
      if (actual.size() > reported.size()) reported.push_back(op);
    }
    WriteFileBytes(folder / "ops.txt", opsText);
    const std::string script = std::string(VX_SOURCE_DIR) + "/tests/gridsearch/grid_model.py";
    vxtest::RunOptions options;
    options.timeoutSeconds = 600;
    const auto run =
        vxtest::RunProgram({"/usr/bin/python3", script, folder / "grid.tsv", folder / "ops.txt", folder / "model.txt"}, options);
    ASSERT_TRUE(run.exited && run.exitCode == 0);
    std::vector<std::string> expected;
    const std::string model = ReadFileBytes(folder / "model.txt");
    for (size_t at = 0, nl; (nl = model.find('\n', at)) != std::string::npos; at = nl + 1)
      expected.push_back(model.substr(at, nl - at));
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
      if (actual[i] == expected[i]) continue;
      // Where the two first differ, and a little before.
      size_t at = 0;
      while (at < actual[i].size() && at < expected[i].size() && actual[i][at] == expected[i][at]) ++at;
      const size_t from = at > 60 ? at - 60 : 0;
      FAIL() << "outcome " << i << " (" << reported[i] << ") differs from character " << at << ":\n  program: "
             << actual[i].substr(from, 160) << "\n  model:   " << expected[i].substr(from, 160);
    }
  }

  THeadlessGui gui;
  TempFolder folder;
  TGridForm g{700, 420};
  std::vector<TcxGridBandedColumn*> columns;
  TGrid5Adapter* adapter = nullptr;
  TSearchDriver search{gui, g};
};

std::vector<std::string> SortingOps() {
  std::vector<std::string> ops{"sorting\t1"};
  for (int c = 0; c < int(std::size(kColumns)); ++c)
    for (int i = 0; i < 3; ++i) ops.push_back("column\t" + std::to_string(c));
  // Bands with their first column.
  for (const char* band : {"band\t0\t0", "band\t1\t3"})
    for (int i = 0; i < 3; ++i) ops.push_back(band);
  // A never-sorted column leaves the others sorted; band mode clears them.
  for (const char* op : {"column\t3", "column\t1", "column\t2", "band\t1\t3", "column\t5", "column\t5", "band\t0\t0"})
    ops.push_back(op);
  ops.insert(ops.end(), {"glyph\t4", "glyph\t4", "glyph\t4", "column\t4", "allchecked\t4"});
  ops.insert(ops.end(), {"sorting\t0", "column\t0", "column\t1", "band\t1\t3", "sorting\t1", "column\t1"});
  return ops;
}

}  // namespace

// Cell styles set at random, then the content style of cells with and without the
// focus; the view shows the first style sheet (Tag 0).
std::vector<std::string> StyleOps(int Records, unsigned Seed) {
  std::mt19937 rng(Seed);
  std::vector<std::string> ops;
  const int columns = int(std::size(kColumns));
  const TColor colours[] = {clDefault, clRed, clBlue, TColor(RGB(1, 2, 3)), clBlack};
  for (int i = 0; i < 60; ++i)
    ops.push_back("cellstyle\t" + std::to_string(rng() % unsigned(Records)) + "\t" + std::to_string(rng() % unsigned(columns)) +
                  "\t" + std::to_string(colours[rng() % 5]) + "\t" + std::to_string(colours[rng() % 5]));
  for (int i = 0; i < 200; ++i) {
    const int record = int(rng() % unsigned(Records));
    const int focused = rng() % 3 == 0 ? record : int(rng() % unsigned(Records)) - 1;
    ops.push_back("content\t" + std::to_string(focused) + "\t" + std::to_string(record) + "\t" +
                  std::to_string(rng() % unsigned(columns)));
  }
  return ops;
}

// Searches from random places, in every direction and with every option, over the
// grid sorted by a column now and then: texts of the data, parts of them, changed case,
// blanks and commas added, and texts that are blank once normalized.
std::vector<std::string> SearchOps(int Records, unsigned Seed) {
  std::mt19937 rng(Seed);
  auto pick = [&](int n) { return int(rng() % unsigned(n)); };
  const int searchable[] = {-1, 0, 1, 2, 3, 5};
  const char* directions[] = {"down", "up", "whole"};
  std::vector<std::string> ops;
  for (int i = 0; i < 48; ++i) {
    if (i % 12 == 0) ops.push_back("column\t" + std::to_string(pick(4)));
    std::string text = kTexts[pick(int(std::size(kTexts)))];
    switch (pick(6)) {
      case 0: text = std::to_string(pick(1000)); break;
      case 1: {  // the first half, cut between characters
        size_t half = text.size() / 2;
        while (half > 0 && (static_cast<unsigned char>(text[half]) & 0xC0) == 0x80) --half;
        text.resize(half);
        break;
      }
      case 2:
        for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
        break;
      case 3: text = " " + text + " "; break;
      case 4: text = pick(2) ? "1 000" : ",  ,"; break;
      default: break;
    }
    const int focused = pick(Records + 1) - 1;
    ops.push_back("focus\t" + std::to_string(focused));
    // The whole-grid search from the focused row again, after what the first found.
    for (int repeat = 0; repeat < 1 + (i % 4 == 0); ++repeat)
      ops.push_back("search\t" + std::to_string(searchable[pick(int(std::size(searchable)))]) + "\t" + text + "\t" +
                    directions[pick(3)] + "\t" + std::to_string(pick(2)) + "\t" + std::to_string(pick(2)) + "\t" +
                    std::to_string(pick(2)));
  }
  return ops;
}

TEST_F(GridModel, SortingCheckAllStylesAndSearchesFollowTheModelOnGridsOfEverySize) {
  for (auto [records, seed] : std::vector<std::pair<int, unsigned>>{{1, 1}, {7, 2}, {1000, 3}, {10000, 4}}) {
    SCOPED_TRACE(std::to_string(records) + " records");
    g.view->DataController()->SetRecordCount(0);
    while (g.view->ColumnCount() > 0) g.view->Columns(0)->Free();
    columns.clear();
    delete adapter;
    g.view->Bands()->Clear();
    g.view->Bands()->Add()->SetCaption("first");
    g.view->Bands()->Add()->SetCaption("second");
    Generate(records, seed);
    adapter = new TGrid5Adapter(nullptr);
    adapter->SetBandedTableVeiw(g.view);
    search.Attach(adapter);
    std::vector<std::string> ops = SortingOps();
    for (const std::string& op : StyleOps(records, seed)) ops.push_back(op);
    for (const std::string& op : SearchOps(records, seed)) ops.push_back(op);
    Run(ops);
    if (HasFailure()) break;
  }
  delete adapter;
}
