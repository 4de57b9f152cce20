// The one writer of particle tables, for `velpo dump` and `velpo import`,
// in the forms `velpo export` reads back (tools/tables/Tables.h):
//
// CSV:  id,position.x,position.y,position.z,drag
//       1,0.5,2,-1.25,0.15
// JSON: {"particleCount": 1, "attributes": {"id": [1],
//        "position": [[0.5, 2, -1.25]], "drag": 0.15}}
//
// Numbers are the shortest text that reads back to the same bits, NaN and
// the infinities as NaN, Infinity and -Infinity (see tools/common/Numbers.h), a
// negative zero in JSON as -0.0, which JSON readers keep as a float. A
// CSV name with a comma, a quote, a line break or blanks at either end is
// quoted, with quotes doubled; JSON names are JSON strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/common/Output.h"

namespace VelpoTools {

// What the help of the commands that write tables says of their numbers;
// each reader named was tried on such tables.
inline constexpr const char* TableNumbersHelp =
    "Numbers are written so that they read back exactly (pandas: read_csv with "
    "float_precision=\"round_trip\"), whole numbers with all their digits. NaN and the "
    "infinities are written NaN, Infinity and -Infinity, the tokens that round-trip: "
    "'velpo export', Python's float() and json module, pandas.read_csv and NumPy's loadtxt "
    "and genfromtxt read them back as they were. They are not strict JSON: JSON parsers "
    "that follow RFC 8259 refuse them, and jq 1.6 reads NaN as null and the infinities as "
    "the largest doubles.";

enum class CTableFormat { Csv, Json };

// .json (any case) is JSON, anything else CSV.
CTableFormat TableFormatOf(const std::filesystem::path& file);

// True for the extensions a table can have: .csv and .json, in any case.
bool IsTableFile(const std::filesystem::path& file);

enum class CNumberKind { Int32, Float, Double };

struct CTableOutputColumn {
    std::string name;  // a vector's CSV columns add ".x", ".y", ".z"
    CNumberKind kind = CNumberKind::Double;
    int32_t components = 1;  // 1, or 3 for a vector
    bool constant = false;   // one value for every row: repeated in CSV, once in JSON
    // int32_t, float or double values by `kind`: rows * components of them,
    // components interleaved, or only `components` when constant.
    const void* values = nullptr;
};

// Writes the table; stops at the first write the output refuses (the
// output's Flush then tells why).
void WriteTable(COutput& out, CTableFormat format, const std::vector<CTableOutputColumn>& columns,
                size_t rows);

// A CSV table in pieces, for rows that come a run at a time (the same text
// as WriteTable): the header row, then each run of `rows` rows, the
// columns' values counted from the run's first row.
void WriteCsvHeader(COutput& out, const std::vector<CTableOutputColumn>& columns);
void WriteCsvRows(COutput& out, const std::vector<CTableOutputColumn>& columns, size_t rows);

}  // namespace VelpoTools
