// Exports a grid's active view to a spreadsheet file.
#pragma once

#include <string>

#include "platform/cx/cxxlsexport.h"

class TcxGrid;

// Writes the visible columns of the grid's active view, in display order, as a
// legacy workbook: a row of column captions, then every record in row order
// (ASaveAll; otherwise the selected record), numbers, Booleans and texts as such when
// AUseNativeFormat (otherwise every cell as the text the grid shows). AExpand has
// nothing to expand without grouping. A name without an extension gets AFileExt.
// Records beyond one sheet's rows go on to further sheets, each with its caption
// row. Raises EcxExportError when there is nothing to export from or the file cannot
// be written (the file is then left as it was).
void ExportGridToExcel(const std::string& AFileName, TcxGrid* AGrid, bool AExpand = true, bool ASaveAll = true,
                       bool AUseNativeFormat = true, const std::string& AFileExt = "xls");
