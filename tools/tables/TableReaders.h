// The two readers behind ReadTableText, one per format. Each parses
// table.text, which holds the whole file, and fills the table's columns and
// row count; the cells keep offsets into the text it leaves in table.text.
// Fails naming file, line and column (TablePlace) at the first error.
#pragma once

#include "base/Result.h"
#include "tools/tables/Tables.h"

namespace VelpoTools {

Velpo::CResult ReadCsvTable(CTable& table);
Velpo::CResult ReadJsonTable(CTable& table);

}  // namespace VelpoTools
