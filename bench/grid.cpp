// The grid's heavy work against straight references in the same run: sorting 100,000
// records by a text and by a number column against std::stable_sort of the same
// values, a search through 100,000 rows against a plain loop doing the same
// comparisons, and the export of 100,000 x 10 cells against libxlsxwriter writing the
// same cells. Prints each time as ours / reference (goal: at most 1.5).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "gridsearch/Grid5Adapter.h"
#include "gridsearch/Grid5StyleSeets.h"
#include "gridsearch/uGrid5SearchOption.h"
#include "platform/display/headless.h"
#include "platform/cx/cxgridexportlink.h"
#include "platform/rtl/sysutils.h"

#ifdef VX_HAVE_XLSXWRITER
#include <xlsxwriter.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

template <class F>
double Best(int Runs, F&& f) {
  double best = 1e30;
  for (int i = 0; i < Runs; ++i) {
    const auto t = Clock::now();
    f();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - t).count());
  }
  return best;
}

void Report(const char* What, double Ours, double Reference, const char* ReferenceName) {
  std::printf("grid %s: ours %.1f ms, %s %.1f ms, ratio %.2f (goal <= 1.5)\n", What, Ours * 1e3, ReferenceName,
              Reference * 1e3, Ours / Reference);
}

constexpr int kRecords = 100000;

// Words of mixed case and Hangul, as a grid of names would hold.
std::vector<std::string> Texts(std::mt19937& Rng) {
  const char* parts[] = {"Kim", "lee", "Park", "choi", "JUNG", "홍", "길동", "철수", "영희", "Apple", "banana", "상사"};
  std::vector<std::string> out;
  for (int i = 0; i < kRecords; ++i)
    out.push_back(std::string(parts[Rng() % 12]) + " " + parts[Rng() % 12] + " " + std::to_string(Rng() % 100000));
  return out;
}

void Sorting() {
  std::mt19937 rng(7);
  const std::vector<std::string> texts = Texts(rng);
  std::vector<int> numbers;
  for (int i = 0; i < kRecords; ++i) numbers.push_back(int(rng() % 1000000) - 500000);
  TcxCustomDataController dc;
  dc.InsertItem(0);
  dc.InsertItem(1);
  dc.SetValueType(1, "Integer");
  dc.SetRecordCount(kRecords);
  for (int r = 0; r < kRecords; ++r) {
    dc.SetValue(r, 0, Variant(texts[size_t(r)]));
    dc.SetValue(r, 1, Variant(numbers[size_t(r)]));
  }
  for (int item = 0; item < 2; ++item) {
    int sink = 0;
    const double ours = Best(7, [&] {
      dc.ClearSorting();
      dc.SetSortOrder(item, soAscending);
      sink += dc.RecordIndexOfRow(0);
    });
    const double reference = item == 0 ? Best(7, [&] {
      std::vector<std::string> copy = texts;
      std::stable_sort(copy.begin(), copy.end());
      sink += int(copy[0].size());
    })
                                       : Best(7, [&] {
                                           std::vector<int> copy = numbers;
                                           std::stable_sort(copy.begin(), copy.end());
                                           sink += copy[0];
                                         });
    Report(item == 0 ? "sort 100,000 by text" : "sort 100,000 by number", ours, reference, "std::stable_sort");
    if (sink == 42) std::printf(" ");
  }
}

// A text as the search compares it: trimmed, without commas and blanks, upper-cased.
void Fold(const std::string& Text, std::string& Out) {
  Out.clear();
  size_t first = 0, last = Text.size();
  while (first < last && static_cast<unsigned char>(Text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(Text[last - 1]) <= ' ') --last;
  for (size_t i = first; i < last; ++i) {
    const char c = Text[i];
    if (c != ',' && c != ' ') Out.push_back(c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c);
  }
}

// All columns, downwards from no focused record, to a text only the last row holds.
void Search() {
  Application->SetPresenter(std::make_unique<vx::display::THeadlessPresenter>());
  std::mt19937 rng(11);
  constexpr int kColumns = 4;
  std::vector<std::vector<std::string>> cells(kColumns);
  for (auto& column : cells) column = Texts(rng);
  cells[kColumns - 1][kRecords - 1] = "Needle, 홍 길동";
  TcxGrid grid(nullptr);
  auto* view = grid.CreateView(TcxGridBandedTableView::StaticClass());
  grid.Levels()->Add()->SetGridView(view);
  view->Bands()->Add();
  for (int c = 0; c < kColumns; ++c) view->CreateColumn()->SetCaption("c" + std::to_string(c));
  auto* dc = view->DataController();
  dc->SetRecordCount(kRecords);
  for (int r = 0; r < kRecords; ++r)
    for (int c = 0; c < kColumns; ++c) dc->SetValue(r, c, Variant(cells[size_t(c)][size_t(r)]));
  auto* dialog = new TfGrid5SearchOption(Application);
  dialog->SetGridView(view);
  dialog->Make_Combo_Col();
  dialog->rb_To_Down->SetChecked(true);
  dialog->edt_Search_Text->SetText("needle홍");
  int sink = 0;
  const double ours = Best(7, [&] {
    dc->SetFocusedRecordIndex(-1);
    dialog->btn_SearchClick(nullptr);
    sink += dc->FocusedRecordIndex();
  });
  const double reference = Best(7, [&] {
    std::string needle, cell;
    Fold("needle홍", needle);
    for (int r = 0; r < kRecords; ++r)
      for (int c = 0; c < kColumns; ++c) {
        Fold(cells[size_t(c)][size_t(r)], cell);
        if (cell.find(needle) != std::string::npos) {
          sink += r;
          r = kRecords;
          break;
        }
      }
  });
  Report("search 100,000 rows x 4 columns", ours, reference, "a plain loop");
  if (sink == 42) std::printf(" ");
  dialog->Free();
}

void Export() {
#ifdef VX_HAVE_XLSXWRITER
  std::mt19937 rng(9);
  const std::vector<std::string> texts = Texts(rng);
  constexpr int kColumns = 10;
  TcxGrid grid(nullptr);
  auto* view = grid.CreateView(TcxGridBandedTableView::StaticClass());
  grid.Levels()->Add()->SetGridView(view);
  for (int c = 0; c < kColumns; ++c) {
    auto* col = view->CreateColumn();
    col->SetCaption("c" + std::to_string(c));
    if (c % 2) col->DataBinding()->SetValueType("Float");
  }
  auto* dc = view->DataController();
  dc->SetRecordCount(kRecords);
  for (int r = 0; r < kRecords; ++r)
    for (int c = 0; c < kColumns; ++c)
      dc->SetValue(r, c, c % 2 ? Variant(r * 0.25 + c) : Variant(texts[size_t((r + c * 7919) % kRecords)]));
  char dir[] = "/tmp/vx-bench-grid-XXXXXX";
  if (!mkdtemp(dir)) return;
  const std::string ours_file = std::string(dir) + "/ours.xls", theirs_file = std::string(dir) + "/theirs.xlsx";
  const double ours = Best(3, [&] { ExportGridToExcel(ours_file, &grid); });
  const double reference = Best(3, [&] {
    lxw_workbook* wb = workbook_new(theirs_file.c_str());
    lxw_worksheet* ws = workbook_add_worksheet(wb, nullptr);
    for (int c = 0; c < kColumns; ++c) worksheet_write_string(ws, 0, lxw_col_t(c), ("c" + std::to_string(c)).c_str(), nullptr);
    for (int r = 0; r < kRecords; ++r)
      for (int c = 0; c < kColumns; ++c) {
        const Variant& v = dc->Values(r, c);
        if (const double* d = v.DoublePtr())
          worksheet_write_number(ws, lxw_row_t(r + 1), lxw_col_t(c), *d, nullptr);
        else
          worksheet_write_string(ws, lxw_row_t(r + 1), lxw_col_t(c), v.StringPtr()->c_str(), nullptr);
      }
    workbook_close(wb);
  });
  Report("export 100,000 x 10 cells", ours, reference, "libxlsxwriter");
  unlink(ours_file.c_str());
  unlink(theirs_file.c_str());
  rmdir(dir);
#else
  std::printf("grid export: libxlsxwriter is not installed (scripts/deps)\n");
#endif
}

}  // namespace

int main() {
  Grid5StyleSeets::Initialization();
  Grid5Adapter::Initialization();
  Sorting();
  Search();
  Export();
  Grid5Adapter::Finalization();
  Grid5StyleSeets::Finalization();
}
