// Particle tables: the per-frame files that `velpo export` reads and
// `velpo import` writes, as CSV with a header row or as JSON.
//
// CSV:  id,position.x,position.y,position.z,age
//       1,0.5,2,-1.25,0.1
// JSON: {"particleCount": 1, "attributes": {"id": [1], "position": [[0.5, 2, -1.25]],
//        "age": [0.1], "drag": 0.25}}
//
// A JSON attribute given as one value (or one [x, y, z]) instead of a list
// holds for every particle. Numbers are kept as the text that was read and
// converted only when their type is known, straight to that type, so a
// float reads back to exactly the bits that were written. Every cell keeps
// its line and column for the error messages.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

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

    const CTableColumn* Find(const std::string& name) const;

    // One value per row (a constant column repeats its value). False with
    // error naming file, line, column and the column's name at the first
    // cell that is not a number of that type.
    bool Floats(const CTableColumn& column, std::vector<float>& values, std::string& error) const;
    bool Longs(const CTableColumn& column, std::vector<int32_t>& values, std::string& error) const;

    std::string Where(const CTableColumn& column, const CTableCell& cell) const;

    std::string_view Text(const CTableCell& cell) const {
        return std::string_view(text).substr(cell.offset, cell.length);
    }
};

// True for the extensions a table can have: .csv and .json.
bool IsTableFile(const std::filesystem::path& file);

// By extension. False, with error naming the file and (for a malformed
// table) the line and column, when the table cannot be read.
bool ReadTable(const std::filesystem::path& file, CTable& table, std::string& error);

// A column to write: `values` points at `rows` values of the data type
// (siICENodeDataLong: int32_t, ...Float: float, ...Vector3: three floats).
struct COutputColumn {
    std::string name;
    int32_t dataType = 0;
    const void* values = nullptr;
};

bool WriteTable(const std::filesystem::path& file, const std::vector<COutputColumn>& columns,
                size_t rows, std::string& error);

}  // namespace VelpoTools
