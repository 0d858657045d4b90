// The spreadsheet export read back by independent readers: python3-xlrd for the type
// and value of every cell, LibreOffice for what a spreadsheet program shows. Failures
// leave no file behind.
#include "platform/cx/cxgridexportlink.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include "platform/cx/cxcheckbox.h"
#include "platform/rtl/sysutils.h"
#include "tests/platform/cx/grid_fixture.h"
#include "tests/support/TempFolder.h"
#include "tests/support/run_program.h"

namespace {

class Export : public ::testing::Test {
 protected:
  // What the book should hold, cell by cell, in xls_check.py's form.
  struct TCell {
    int sheet, row, col;
    char kind;
    std::string value;
  };
  static std::string Escaped(const std::string& s) {
    std::string out;
    for (char c : s) out += c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\\' ? "\\\\" : std::string(1, c);
    return out;
  }
  bool ReadsBack(const char* Reader, const std::vector<TCell>& Cells, const std::string& Book) {
    std::string text;
    for (const TCell& c : Cells)
      text += std::to_string(c.sheet) + "\t" + std::to_string(c.row) + "\t" + std::to_string(c.col) + "\t" +
              c.kind + "\t" + Escaped(c.value) + "\n";
    WriteFileBytes(folder / "expected.tsv", text);
    std::vector<std::string> argv{"/usr/bin/python3", std::string(VX_SOURCE_DIR) + "/tests/platform/cx/xls_check.py",
                                  Reader, folder / "expected.tsv", Book};
    if (std::string(Reader) == "soffice") {
      ForceDirectories(folder / "soffice");
      argv.push_back(folder / "soffice");
    }
    vxtest::RunOptions options;
    options.timeoutSeconds = 600;
    const auto run = vxtest::RunProgram(argv, options);
    return run.exited && run.exitCode == 0;
  }
  static std::vector<std::string> FolderEntries(const std::string& Path) {
    std::vector<std::string> out;
    if (DIR* d = opendir(Path.c_str())) {
      while (dirent* e = readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") out.push_back(e->d_name);
      closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  THeadlessGui gui;
  TempFolder folder;
};

}  // namespace

TEST_F(Export, VisibleColumnsInDisplayOrderAndEveryRecordInRowOrderReadBackTyped) {
  TGridForm g;
  auto* name = g.AddColumn("이름");
  auto* count = g.AddColumn("Count", "Integer");
  auto* price = g.AddColumn("Price", "Float");
  auto* amount = g.AddColumn("Amount", "Currency");
  auto* flag = g.AddColumn("Flag", "Boolean");
  flag->SetPropertiesClass(TcxCheckBoxProperties::StaticClass());
  g.AddColumn("Hidden")->SetVisible(false);
  // Shown as: Amount, 이름, Price, Flag, Count (a second band holds the last two).
  g.view->Bands()->Add();
  amount->Position()->SetColIndex(0);
  flag->Position()->SetBandIndex(1);
  count->Position()->SetBandIndex(1);
  // Texts that cross the string table's record boundaries, Latin-1 and beyond.
  const std::string longText = std::string(9000, 'x') + "끝";
  const std::vector<std::vector<Variant>> records = {
      {Variant("홍길동"), Variant(3), Variant(1234.56), Variant(Currency::FromRaw(123456)), Variant(true), Variant("h")},
      {Variant("café"), Variant(-7), Variant::Null(), Variant(Currency::FromRaw(-5)), Variant(false), Variant("h")},
      {Variant(longText), Variant::Null(), Variant(0.25), Variant::Null(), Variant::Null(), Variant("h")},
      {Variant("a\tb"), Variant(0), Variant(1e15), Variant(Currency::FromRaw(10000)), Variant(true), Variant("h")},
  };
  for (const auto& r : records) g.AddRow(r);
  for (int i = 0; i < 3000; ++i) g.AddRow({Variant("항목 " + std::to_string(i)), Variant(i)});
  name->SetSortOrder(soDescending);  // rows: the sorted order

  const std::string book = folder / "book";  // the extension is added
  ExportGridToExcel(book, g.grid);
  ASSERT_TRUE(FileExists(book + ".xls"));
  const std::vector<TcxGridBandedColumn*> shown{amount, name, price, flag, count};
  std::vector<TCell> cells;
  for (size_t c = 0; c < shown.size(); ++c) cells.push_back({0, 0, int(c), 's', shown[c]->Caption()});
  auto* dc = g.view->DataController();
  for (int row = 0; row < dc->RowCount(); ++row) {
    const int record = dc->RecordIndexOfRow(row);
    for (size_t c = 0; c < shown.size(); ++c) {
      const Variant& v = dc->Values(record, shown[c]->Index());
      if (v.IsNull()) continue;
      const char kind = v.BooleanPtr() ? 'b' : v.IsNumeric() ? 'n' : 's';
      const std::string value = kind == 'b' ? (v.AsBoolean() ? "1" : "0") : kind == 'n' ? FormatFloat("0.##########", v.AsDouble()) : v.AsString();
      cells.push_back({0, row + 1, int(c), kind, value});
    }
  }
  EXPECT_TRUE(ReadsBack("xlrd", cells, book + ".xls"));
  EXPECT_TRUE(ReadsBack("soffice", cells, book + ".xls"));
}

TEST_F(Export, RecordsBeyondOneSheetGoOnToTheNextWithTheirCaptions) {
  TGridForm g;
  g.AddColumn("n", "Integer");
  auto* dc = g.view->DataController();
  const int total = TcxXLSWriter::MaxRows + 10;
  dc->BeginUpdate();
  dc->SetRecordCount(total);
  for (int r = 0; r < total; ++r) dc->SetValue(r, 0, Variant(r));
  dc->EndUpdate();
  ExportGridToExcel(folder / "big.xls", g.grid);
  std::vector<TCell> cells{{0, 0, 0, 's', "n"}, {1, 0, 0, 's', "n"}};
  for (int r = 0; r < total; ++r) {
    const int sheet = r / (TcxXLSWriter::MaxRows - 1);
    cells.push_back({sheet, r % (TcxXLSWriter::MaxRows - 1) + 1, 0, 'n', std::to_string(r)});
  }
  EXPECT_TRUE(ReadsBack("xlrd", cells, folder / "big.xls"));
}

TEST_F(Export, AFailedExportRaisesAndLeavesNoFileBehind) {
  TGridForm g;
  g.AddColumn("a");
  g.AddRow({Variant("x")});
  ForceDirectories(folder / "taken.xls");  // a folder where the file should go
  WriteFileBytes(folder / "plain", "not a folder");
  const std::string targets[] = {folder / "missing/book.xls", folder / "plain/book.xls", folder / "taken.xls"};
  for (const std::string& target : targets) {
    SCOPED_TRACE(target);
    try {
      ExportGridToExcel(target, g.grid);
      ADD_FAILURE() << "no error";
    } catch (const EcxExportError& e) {
      EXPECT_EQ(e.Message().rfind("Cannot create file \"" + target + "\". ", 0), 0u) << e.Message();
    }
  }
  EXPECT_EQ(FolderEntries(folder.Path()), (std::vector<std::string>{"plain", "taken.xls"}));
  EXPECT_TRUE(DirectoryExists(folder / "taken.xls"));
  // Nothing to export from: no view.
  TcxGrid empty(nullptr);
  EXPECT_THROW(ExportGridToExcel(folder / "none.xls", &empty), EcxExportError);
  EXPECT_FALSE(FileExists(folder / "none.xls"));
}
