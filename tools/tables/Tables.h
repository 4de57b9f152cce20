// Particle tables: the per-frame files that `velpo export` reads, as CSV
// with a header row or as JSON (written by tools/tables/TableWriter.h).
//
// CSV:  id,position.x,position.y,position.z,age
//       1,0.5,2,-1.25,0.1
// JSON: {"particleCount": 1, "attributes": {"id": [1], "position": [[0.5, 2, -1.25]],
//        "age": [0.1], "drag": 0.25}}
//
// CSV takes a UTF-8 byte-order mark, LF, CR LF or CR line ends, and quoted
// fields ("" for a quote inside) that may hold commas and line breaks. JSON
// takes NaN, Infinity and -Infinity as numbers, as Python's json module
// writes them. A JSON attribute given as one value (or one [x, y, z])
// instead of a list is one constant column: one value for every particle,
// never copied once per particle.
//
// Numbers are kept as the text that was read and converted only when their
// type is known, straight to that type, so a float reads back to exactly the
// bits that were written. Every cell keeps its line and column for the
// error messages, which all begin "<file>: line L, column C".
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/Result.h"
#include "tools/tables/TableWriter.h"

namespace VelpoTools {

struct CTableCell {
    uint32_t offset = 0;  // into CTable::text
    uint32_t length = 0;
    uint32_t line = 0;    // 1-based
    uint32_t column = 0;  // 1-based: the field number in CSV, the character in JSON
};

struct CTableColumn {
    std::string name;       // a vector's components are "name.x", "name.y", "name.z"
    bool constant = false;  // one cell for every row
    std::vector<CTableCell> cells;
};

class CTable {
public:
    std::string file;
    std::string text;  // the cells' characters
    size_t rows = 0;
    std::vector<CTableColumn> columns;

    // The column of that name, or null; constant time.
    const CTableColumn* Find(const std::string& name) const;
    // Adds a column; false, adding nothing, when the name is taken.
    bool Add(CTableColumn column);

    // The column's values: one per row, or only one for a constant column.
    // Fails naming file, line, column and the column's name at the first
    // cell that is not a number of the type ("is not a number") or lies
    // outside its range ("is out of float range").
    Velpo::CResult Values(const CTableColumn& column, std::vector<float>& values) const;
    Velpo::CResult Values(const CTableColumn& column, std::vector<int32_t>& values) const;

    std::string_view Text(const CTableCell& cell) const {
        return std::string_view(text).substr(cell.offset, cell.length);
    }

private:
    std::unordered_map<std::string, size_t> index_;
};

// "<file>: line L, column C", or "<file>: line L" for column 0: where every
// message about a place in a table starts.
std::string TablePlace(const std::string& file, uint32_t line, uint32_t column = 0);

// By extension (TableFormatOf). Fails, naming the file and for a malformed
// table the line and column, when the table cannot be read.
Velpo::CResult ReadTable(const std::filesystem::path& file, CTable& table);

// The same from text in memory; `file` only names it in messages.
Velpo::CResult ReadTableText(std::string text, CTableFormat format, const std::string& file,
                             CTable& table);

}  // namespace VelpoTools
