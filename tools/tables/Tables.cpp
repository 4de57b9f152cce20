#include "tools/tables/Tables.h"

#include <cstdio>
#include <limits>
#include <type_traits>

#include "tools/common/InputFile.h"
#include "tools/common/Numbers.h"
#include "tools/common/Text.h"
#include "tools/tables/TableReaders.h"

namespace VelpoTools {

namespace {

using Velpo::CResult;

// Cells address the text with 32-bit offsets.
constexpr uint64_t MaxTableBytes = std::numeric_limits<uint32_t>::max() - 1;

CResult ReadWhole(const std::filesystem::path& file, std::string& text) {
    const std::string name = file.string();
    CFilePointer stream;
    const CResult opened = OpenForReading(file, stream);
    if (!opened) {
        return CResult::Fail(name + ": " + opened.Message());
    }
    char buffer[1 << 16];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, stream.get())) > 0) {
        if (text.size() + got > MaxTableBytes) {
            return CResult::Fail(name + ": too large for a particle table (4 GiB at most)");
        }
        text.append(buffer, got);
    }
    if (std::ferror(stream.get())) {
        return CResult::Fail(name + ": cannot be read whole");
    }
    return CResult::Ok();
}

// One loop for every column type: the messages and the constant-column rule
// are the same, only the parser and the type's name differ.
template <class T>
CResult ParseColumn(const CTable& table, const CTableColumn& column, std::vector<T>& values,
                    const char* typeName, const char* rangeName) {
    const size_t count = column.constant ? 1 : table.rows;
    values.resize(count);
    for (size_t row = 0; row < count; ++row) {
        const CTableCell& cell = column.cells[row];
        const std::string_view text = table.Text(cell);
        CParsed parsed = CParsed::NotANumber;
        if constexpr (std::is_same_v<T, float>) {
            parsed = ParseFloat(text, values[row]);
        } else {
            parsed = ParseInt32(text, values[row]);
        }
        if (parsed != CParsed::Number) {
            return CResult::Fail(TablePlace(table.file, cell.line, cell.column) + " (" +
                                 Quoted(column.name) + "): " + Quoted(text) +
                                 (parsed == CParsed::OutOfRange
                                      ? std::string(" is out of ") + rangeName + " range"
                                      : std::string(" is not ") + typeName));
        }
    }
    return CResult::Ok();
}

}  // namespace

std::string TablePlace(const std::string& file, uint32_t line, uint32_t column) {
    std::string place = file + ": line " + std::to_string(line);
    if (column > 0) {
        place += ", column " + std::to_string(column);
    }
    return place;
}

const CTableColumn* CTable::Find(const std::string& name) const {
    const auto found = index_.find(name);
    return found == index_.end() ? nullptr : &columns[found->second];
}

bool CTable::Add(CTableColumn column) {
    if (!index_.emplace(column.name, columns.size()).second) {
        return false;
    }
    columns.push_back(std::move(column));
    return true;
}

CResult CTable::Values(const CTableColumn& column, std::vector<float>& values) const {
    return ParseColumn(*this, column, values, "a number", "float");
}

CResult CTable::Values(const CTableColumn& column, std::vector<int32_t>& values) const {
    return ParseColumn(*this, column, values, "a 32-bit integer", "int32");
}

CResult ReadTable(const std::filesystem::path& file, CTable& table) {
    std::string text;
    const CResult read = ReadWhole(file, text);
    if (!read) {
        table = CTable();
        return read;
    }
    return ReadTableText(std::move(text), TableFormatOf(file), file.string(), table);
}

CResult ReadTableText(std::string text, CTableFormat format, const std::string& file,
                      CTable& table) {
    table = CTable();
    table.file = file;
    if (text.size() > MaxTableBytes) {
        return CResult::Fail(file + ": too large for a particle table (4 GiB at most)");
    }
    table.text = std::move(text);
    return format == CTableFormat::Json ? ReadJsonTable(table) : ReadCsvTable(table);
}

}  // namespace VelpoTools
