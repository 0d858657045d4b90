#include "platform/cx/cxgridexportlink.h"

#include "platform/cx/cxgrid.h"
#include "platform/cx/cxgridviewinfo.h"
#include "platform/rtl/sysutils.h"

void ExportGridToExcel(const std::string& AFileName, TcxGrid* AGrid, bool AExpand, bool ASaveAll,
                       bool AUseNativeFormat, const std::string& AFileExt) {
  TcxGridBandedTableView* view = AGrid ? AGrid->ActiveView() : nullptr;
  if (!view) throw EcxExportError("The grid has no view to export");
  std::vector<TcxGridBandedColumn*> columns;
  std::vector<int> widths;
  for (const auto& c : view->ViewInfo().Columns()) {
    columns.push_back(c.Column);
    widths.push_back(c.Width);
  }
  if (int(columns.size()) > TcxXLSWriter::MaxColumns)
    throw EcxExportError("A worksheet holds at most " + std::to_string(TcxXLSWriter::MaxColumns) + " columns");
  TcxGridDataController* dc = view->DataController();
  std::vector<int> records;
  if (ASaveAll) {
    records.reserve(size_t(dc->RowCount()));
    for (int row = 0; row < dc->RowCount(); ++row) records.push_back(dc->RecordIndexOfRow(row));
  } else if (dc->FocusedRecordIndex() >= 0) {
    records.push_back(dc->FocusedRecordIndex());
  }

  TcxXLSWriter xls;
  constexpr int perSheet = TcxXLSWriter::MaxRows - 1;
  size_t next = 0;
  do {
    xls.AddSheet("Sheet" + std::to_string(xls.SheetCount() + 1));
    for (size_t c = 0; c < columns.size(); ++c) {
      xls.SetColumnWidth(int(c), widths[c]);
      xls.WriteText(0, int(c), columns[c]->Caption());
    }
    for (int row = 1; row <= perSheet && next < records.size(); ++row, ++next) {
      const int record = records[next];
      for (size_t c = 0; c < columns.size(); ++c) {
        const Variant& v = dc->Values(record, columns[c]->Index());
        if (v.IsClear()) continue;
        if (!AUseNativeFormat) {
          const std::string text = columns[c]->GetDisplayText(record);
          if (!text.empty()) xls.WriteText(row, int(c), text);
        } else if (const bool* b = v.BooleanPtr()) {
          xls.WriteBoolean(row, int(c), *b);
        } else if (v.IsNumeric()) {
          xls.WriteNumber(row, int(c), v.AsDouble());
        } else {
          xls.WriteText(row, int(c), v.AsString());
        }
      }
    }
  } while (next < records.size());
  std::string name = AFileName;
  if (ExtractFileExt(name).empty() && !AFileExt.empty()) name += "." + AFileExt;
  xls.SaveToFile(name);
}
