// A writer of legacy spreadsheet workbooks (.xls): BIFF8 records in the "Workbook"
// stream of an OLE2 compound document. Cells are numbers, Booleans or texts (any
// UTF-8, kept in the shared string table as Latin-1 or UTF-16); a sheet holds at most
// 65,536 rows and 256 columns. The file appears whole or not at all: it is written
// beside its name and renamed over it once complete.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/exceptions.h"

VX_EXCEPTION(EcxExportError, Exception)

class TcxXLSWriter {
 public:
  static constexpr int MaxRows = 65536;
  static constexpr int MaxColumns = 256;
  static constexpr int MaxTextLength = 32767;

  TcxXLSWriter();
  ~TcxXLSWriter();
  TcxXLSWriter(const TcxXLSWriter&) = delete;
  TcxXLSWriter& operator=(const TcxXLSWriter&) = delete;

  // Starts a sheet; cells go to the latest one. Names longer than 31 characters are
  // cut. Rows must come in ascending order within a sheet.
  void AddSheet(const std::string& Name);
  int SheetCount() const;
  // A column's width in screen pixels.
  void SetColumnWidth(int Column, int Pixels);
  // Cells out of the sheet's range raise EcxExportError. Texts longer than
  // MaxTextLength characters are cut.
  void WriteNumber(int Row, int Column, double Value);
  void WriteBoolean(int Row, int Column, bool Value);
  void WriteText(int Row, int Column, std::string_view Utf8);

  // The workbook as the bytes of its file.
  std::vector<uint8_t> SaveToBytes() const;
  // Raises EcxExportError with the system's reason when the file cannot be written;
  // the file is then left as it was.
  void SaveToFile(const std::string& FileName) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
