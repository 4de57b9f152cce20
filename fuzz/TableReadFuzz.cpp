// Fuzz target: any bytes read as a particle table, as CSV and as JSON, the
// way `velpo export` reads its input. Whatever the input, the reader must
// not crash, hang or size anything beyond the input; the columns it returns
// must be consistent; and a CSV table of numbers written back by the one
// table writer must read back to the same names and the same bits.
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/Require.h"
#include "tests/support/Streams.h"
#include "tools/common/Output.h"
#include "tools/tables/TableWriter.h"
#include "tools/tables/Tables.h"

namespace {

using VelpoTestSupport::Require;

using VelpoTools::CTable;
using VelpoTools::CTableColumn;
using VelpoTools::CTableFormat;

bool SameBits(float a, float b) {
    return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b) ||
           (std::isnan(a) && std::isnan(b));
}

// The table written as CSV by the writer, as text.
std::string Written(const CTable& table, const std::vector<std::vector<float>>& values) {
    std::vector<VelpoTools::CTableOutputColumn> columns;
    for (size_t i = 0; i < table.columns.size(); ++i) {
        columns.push_back(
            {table.columns[i].name, VelpoTools::CNumberKind::Float, 1, false, values[i].data()});
    }
    return VelpoTestSupport::WrittenText([&](std::FILE* file) {
        VelpoTools::COutput out(file, "fuzz");
        VelpoTools::WriteTable(out, CTableFormat::Csv, columns, table.rows);
        Require(static_cast<bool>(out.Flush()));
    });
}

void RoundTrip(const CTable& table) {
    std::vector<std::vector<float>> values;
    for (const CTableColumn& column : table.columns) {
        values.emplace_back();
        if (!table.Values(column, values.back())) {
            return;  // only tables of numbers go back out
        }
    }
    CTable again;
    Require(static_cast<bool>(
        VelpoTools::ReadTableText(Written(table, values), CTableFormat::Csv, "again", again)));
    Require(again.rows == table.rows && again.columns.size() == table.columns.size());
    for (size_t i = 0; i < table.columns.size(); ++i) {
        Require(again.columns[i].name == table.columns[i].name);
        std::vector<float> read;
        Require(static_cast<bool>(again.Values(again.columns[i], read)));
        for (size_t row = 0; row < read.size(); ++row) {
            Require(SameBits(read[row], values[i][row]));
        }
    }
}

void Read(const uint8_t* data, size_t size, CTableFormat format) {
    CTable table;
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (!VelpoTools::ReadTableText(text, format, "fuzz", table)) {
        return;
    }
    for (const CTableColumn& column : table.columns) {
        Require(table.Find(column.name) == &column);
        Require(column.cells.size() == (column.constant ? 1 : table.rows));
        for (const VelpoTools::CTableCell& cell : column.cells) {
            Require(static_cast<size_t>(cell.offset) + cell.length <= table.text.size());
        }
        std::vector<float> floats;
        std::vector<int32_t> integers;
        (void)table.Values(column, floats);
        (void)table.Values(column, integers);
    }
    if (format == CTableFormat::Csv) {
        RoundTrip(table);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Read(data, size, CTableFormat::Csv);
    Read(data, size, CTableFormat::Json);
    return 0;
}
