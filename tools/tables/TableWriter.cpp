#include "tools/tables/TableWriter.h"

#include <fmt/format.h>
#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <type_traits>

#include "tools/common/Numbers.h"
#include "tools/common/Text.h"

namespace VelpoTools {

namespace {

// Output goes to the stream in pieces of about this size.
constexpr size_t PieceBytes = 1 << 16;

bool NeedsQuotes(const std::string& field) {
    if (field.empty() || field.front() == ' ' || field.front() == '\t' || field.back() == ' ' ||
        field.back() == '\t' || field.rfind("\xEF\xBB\xBF", 0) == 0) {
        return true;
    }
    return field.find_first_of(",\"\r\n") != std::string::npos;
}

void AppendCsvField(std::string& out, const std::string& field) {
    if (!NeedsQuotes(field)) {
        out += field;
        return;
    }
    out += '"';
    for (const char c : field) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    out += '"';
}

// JSON readers take "-0" for the integer 0 and lose the sign of a negative
// zero; "-0.0" is a number with a fraction, so its sign stays.
template <class T>
void AppendReal(std::string& out, T value, CTableFormat format) {
    if (format == CTableFormat::Json && value == 0 && std::signbit(value)) {
        out += "-0.0";
    } else if constexpr (std::is_same_v<T, float>) {
        AppendFloat(out, value);
    } else {
        AppendDouble(out, value);
    }
}

void AppendNumber(std::string& out, const CTableOutputColumn& column, size_t at,
                  CTableFormat format) {
    switch (column.kind) {
        case CNumberKind::Int32:
            AppendInt(out, static_cast<const int32_t*>(column.values)[at]);
            break;
        case CNumberKind::Float:
            AppendReal(out, static_cast<const float*>(column.values)[at], format);
            break;
        case CNumberKind::Double:
            AppendReal(out, static_cast<const double*>(column.values)[at], format);
            break;
    }
}

// Where the numbers of a row begin in the column's values.
size_t FirstNumberOfRow(const CTableOutputColumn& column, size_t row) {
    return column.constant ? 0 : row * static_cast<size_t>(column.components);
}

class CTablePrinter {
public:
    CTablePrinter(COutput& out, const std::vector<CTableOutputColumn>& columns, size_t rows)
        : out_(out), columns_(columns), rows_(rows) {}

    void Csv() {
        CsvHeader();
        CsvRows();
    }

    void CsvHeader() {
        for (size_t i = 0; i < columns_.size(); ++i) {
            const CTableOutputColumn& column = columns_[i];
            for (int32_t c = 0; c < column.components; ++c) {
                text_ += (i == 0 && c == 0) ? "" : ",";
                AppendCsvField(text_,
                               column.components == 3 ? column.name + "." + "xyz"[c] : column.name);
            }
        }
        text_ += '\n';
        SendAll();
    }

    void CsvRows() {
        for (size_t row = 0; row < rows_ && SendPiece(); ++row) {
            bool firstCell = true;
            for (const CTableOutputColumn& column : columns_) {
                const size_t first = FirstNumberOfRow(column, row);
                for (int32_t c = 0; c < column.components; ++c) {
                    text_ += firstCell ? "" : ",";
                    firstCell = false;
                    AppendNumber(text_, column, first + static_cast<size_t>(c), CTableFormat::Csv);
                }
            }
            text_ += '\n';
        }
        SendAll();
    }

    void Json() {
        text_ = fmt::format("{{\n  \"particleCount\": {},\n  \"attributes\": {{", rows_);
        for (size_t i = 0; i < columns_.size() && SendPiece(); ++i) {
            const CTableOutputColumn& column = columns_[i];
            text_ += i ? ",\n    " : "\n    ";
            text_ += nlohmann::json(column.name)
                         .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
            text_ += ": ";
            if (column.constant) {
                JsonItem(column, 0);
                continue;
            }
            text_ += '[';
            for (size_t row = 0; row < rows_ && SendPiece(); ++row) {
                text_ += row ? ", " : "";
                JsonItem(column, FirstNumberOfRow(column, row));
            }
            text_ += ']';
        }
        text_ += columns_.empty() ? "}\n}\n" : "\n  }\n}\n";
        SendAll();
    }

private:
    void JsonItem(const CTableOutputColumn& column, size_t first) {
        if (column.components == 1) {
            AppendNumber(text_, column, first, CTableFormat::Json);
            return;
        }
        text_ += '[';
        for (size_t c = 0; c < 3; ++c) {
            text_ += c ? ", " : "";
            AppendNumber(text_, column, first + c, CTableFormat::Json);
        }
        text_ += ']';
    }

    // Both false once the output refuses a write: the rest is not worth
    // making. SendPiece sends only once a piece has gathered, SendAll
    // whatever is there.
    bool SendPiece() { return text_.size() < PieceBytes ? out_.Ok() : SendAll(); }

    bool SendAll() {
        out_.Write(text_);
        text_.clear();
        return out_.Ok();
    }

    COutput& out_;
    const std::vector<CTableOutputColumn>& columns_;
    size_t rows_;
    std::string text_;
};

}  // namespace

CTableFormat TableFormatOf(const std::filesystem::path& file) {
    return AsciiLower(file.extension().string()) == ".json" ? CTableFormat::Json
                                                            : CTableFormat::Csv;
}

bool IsTableFile(const std::filesystem::path& file) {
    const std::string extension = AsciiLower(file.extension().string());
    return extension == ".csv" || extension == ".json";
}

void WriteCsvHeader(COutput& out, const std::vector<CTableOutputColumn>& columns) {
    CTablePrinter(out, columns, 0).CsvHeader();
}

void WriteCsvRows(COutput& out, const std::vector<CTableOutputColumn>& columns, size_t rows) {
    CTablePrinter(out, columns, rows).CsvRows();
}

void WriteTable(COutput& out, CTableFormat format, const std::vector<CTableOutputColumn>& columns,
                size_t rows) {
    CTablePrinter printer(out, columns, rows);
    if (format == CTableFormat::Json) {
        printer.Json();
    } else {
        printer.Csv();
    }
}

}  // namespace VelpoTools
