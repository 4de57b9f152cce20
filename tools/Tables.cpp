#include "tools/Tables.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "host/sdk/Enums.h"
#include "tools/Numbers.h"

namespace VelpoTools {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool ReadWhole(const std::filesystem::path& file, std::string& text, std::string& error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = file.string() + ": cannot be opened for reading";
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    if (text.size() >= std::numeric_limits<uint32_t>::max()) {
        error = file.string() + ": too large for a particle table (4 GiB at most)";
        return false;
    }
    return true;
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// ---- CSV ----------------------------------------------------------------

// Splits one line into fields: commas separate, a field may be quoted with
// "" for a quote inside, blanks around a field are dropped.
bool SplitCsvLine(const std::string& text, size_t begin, size_t end,
                  std::vector<std::pair<uint32_t, uint32_t>>& fields, std::string& unquoted,
                  size_t& badColumn) {
    fields.clear();
    size_t at = begin;
    while (true) {
        while (at < end && (text[at] == ' ' || text[at] == '\t')) {
            ++at;
        }
        size_t fieldBegin = at;
        size_t fieldEnd = at;
        if (at < end && text[at] == '"') {
            // Quoted fields are only expected in the header (odd names); the
            // unescaped name goes to `unquoted`, the cell keeps the raw span.
            unquoted.clear();
            ++at;
            while (at < end && !(text[at] == '"' && (at + 1 >= end || text[at + 1] != '"'))) {
                unquoted += text[at];
                at += text[at] == '"' ? 2 : 1;
            }
            if (at >= end) {
                badColumn = fields.size() + 1;
                return false;
            }
            fieldBegin = fieldBegin + 1;
            fieldEnd = at;
            ++at;
            while (at < end && (text[at] == ' ' || text[at] == '\t')) {
                ++at;
            }
            if (at < end && text[at] != ',') {
                badColumn = fields.size() + 1;
                return false;
            }
        } else {
            while (at < end && text[at] != ',') {
                ++at;
            }
            fieldEnd = at;
            while (fieldEnd > fieldBegin &&
                   (text[fieldEnd - 1] == ' ' || text[fieldEnd - 1] == '\t')) {
                --fieldEnd;
            }
        }
        fields.emplace_back(static_cast<uint32_t>(fieldBegin),
                            static_cast<uint32_t>(fieldEnd - fieldBegin));
        if (at >= end) {
            return true;
        }
        ++at;  // the comma
    }
}

bool ReadCsv(CTable& table, std::string& error) {
    const std::string& text = table.text;
    std::vector<std::pair<uint32_t, uint32_t>> fields;
    std::string unquoted;
    uint32_t line = 0;
    bool header = true;
    for (size_t at = 0; at < text.size();) {
        ++line;
        size_t end = text.find('\n', at);
        const size_t next = end == std::string::npos ? text.size() : end + 1;
        end = end == std::string::npos ? text.size() : end;
        if (end > at && text[end - 1] == '\r') {
            --end;
        }
        const bool blank = text.find_first_not_of(" \t", at) >= end;
        if (blank) {
            at = next;
            continue;
        }
        size_t badColumn = 0;
        if (!SplitCsvLine(text, at, end, fields, unquoted, badColumn)) {
            error = table.file + ": line " + std::to_string(line) + ", column " +
                    std::to_string(badColumn) + ": unterminated or misplaced quote";
            return false;
        }
        if (header) {
            for (size_t i = 0; i < fields.size(); ++i) {
                CTableColumn column;
                const bool quoted = fields[i].first > 0 && text[fields[i].first - 1] == '"';
                column.name = std::string(text, fields[i].first, fields[i].second);
                if (quoted) {
                    size_t pos = 0;
                    while ((pos = column.name.find("\"\"", pos)) != std::string::npos) {
                        column.name.erase(pos, 1);
                        ++pos;
                    }
                }
                if (column.name.empty()) {
                    error = table.file + ": line " + std::to_string(line) + ", column " +
                            std::to_string(i + 1) + ": empty column name in the header row";
                    return false;
                }
                if (table.Find(column.name)) {
                    error = table.file + ": line " + std::to_string(line) + ", column " +
                            std::to_string(i + 1) + ": column " + Quoted(column.name) +
                            " appears twice in the header row";
                    return false;
                }
                table.columns.push_back(std::move(column));
            }
            header = false;
        } else {
            if (fields.size() != table.columns.size()) {
                error = table.file + ": line " + std::to_string(line) + ", column " +
                        std::to_string(std::min(fields.size(), table.columns.size()) + 1) +
                        ": the row has " + std::to_string(fields.size()) +
                        " fields, the header row " + std::to_string(table.columns.size());
                return false;
            }
            for (size_t i = 0; i < fields.size(); ++i) {
                table.columns[i].cells.push_back(
                    {fields[i].first, fields[i].second, line, static_cast<uint32_t>(i + 1)});
            }
            ++table.rows;
        }
        at = next;
    }
    if (header) {
        error = table.file +
                ": line 1, column 1: empty table, expected a header row such as "
                "id,position.x,position.y,position.z";
        return false;
    }
    return true;
}

// ---- JSON ---------------------------------------------------------------

// An input iterator over the text that records how far the parser has read,
// so that every value handed to the handler can be given a line and column.
class CCountingIterator {
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    CCountingIterator() = default;
    CCountingIterator(const char* at, const char* base, size_t* furthest)
        : at_(at), base_(base), furthest_(furthest) {}

    reference operator*() const { return *at_; }
    CCountingIterator& operator++() {
        ++at_;
        *furthest_ = std::max(*furthest_, static_cast<size_t>(at_ - base_));
        return *this;
    }
    CCountingIterator operator++(int) {
        CCountingIterator before = *this;
        ++*this;
        return before;
    }
    bool operator==(const CCountingIterator& other) const { return at_ == other.at_; }
    bool operator!=(const CCountingIterator& other) const { return at_ != other.at_; }

private:
    const char* at_ = nullptr;
    const char* base_ = nullptr;
    size_t* furthest_ = nullptr;
};

class CJsonTableReader : public nlohmann::json_sax<nlohmann::json> {
public:
    CJsonTableReader(CTable& table, const std::string& source, const size_t& consumed)
        : table_(table), source_(source), consumed_(consumed) {
        for (size_t i = 0; i < source.size(); ++i) {
            if (source[i] == '\n') {
                lineStarts_.push_back(i + 1);
            }
        }
    }

    std::string error;

    bool null() override { return Unexpected("null"); }
    bool boolean(bool) override { return Unexpected("true or false"); }
    bool string(string_t&) override { return Unexpected("a string"); }
    bool binary(binary_t&) override { return Unexpected("binary data"); }
    bool number_integer(number_integer_t value) override { return Number(std::to_string(value)); }
    bool number_unsigned(number_unsigned_t value) override { return Number(std::to_string(value)); }
    bool number_float(number_float_t, const string_t& text) override { return Number(text); }

    bool start_object(std::size_t) override {
        ++depth_;
        if (depth_ == 1 || (depth_ == 2 && key_ == "attributes")) {
            return true;
        }
        return Unexpected("an object");
    }
    bool end_object() override {
        --depth_;
        return true;
    }
    bool key(string_t& key) override {
        if (depth_ == 1) {
            if (key != "particleCount" && key != "attributes") {
                return Fail("unknown key " + Quoted(key) +
                            "; a table has \"particleCount\" and \"attributes\"");
            }
            key_ = key;
            return true;
        }
        for (const PendingColumn& column : pending_) {
            if (column.name == key) {
                return Fail("attribute " + Quoted(key) + " appears twice");
            }
        }
        pending_.push_back({key, 0, {}});
        return true;
    }
    bool start_array(std::size_t) override {
        ++depth_;
        if (depth_ == 3 && InAttributes()) {
            pending_.back().shape = 1;
            return true;
        }
        if (depth_ == 4 && InAttributes()) {
            PendingColumn& column = pending_.back();
            if (!column.cells.empty() && column.shape != 2) {
                return Fail("attribute " + Quoted(column.name) + " mixes numbers and vectors");
            }
            column.shape = 2;
            vectorStart_ = column.cells.size();
            return true;
        }
        return Unexpected("an array");
    }
    bool end_array() override {
        if (depth_ == 4 && pending_.back().cells.size() - vectorStart_ != 3) {
            return Fail("a vector of attribute " + Quoted(pending_.back().name) + " has " +
                        std::to_string(pending_.back().cells.size() - vectorStart_) +
                        " components, not 3");
        }
        --depth_;
        return true;
    }
    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception& exception) override {
        const std::string what = exception.what();
        const size_t at = what.find(": ", what.find("column"));
        Fail(position > 0 ? position - 1 : 0, at == std::string::npos ? what : what.substr(at + 2));
        return false;
    }

    bool Finish() {
        if (!hasCount_) {
            return Fail(source_.size(),
                        "no \"particleCount\": the table must say how many "
                        "particles it holds");
        }
        table_.rows = particleCount_;
        for (PendingColumn& column : pending_) {
            if (column.shape == 0) {  // one value for every particle
                AddColumn(column.name, true, std::move(column.cells));
            } else if (column.shape == 2) {  // one vector per particle
                if (!CheckRows(column, column.cells.size() / 3)) {
                    return false;
                }
                SplitVector(column, false);
            } else {
                // A list of three numbers is one vector for every particle,
                // unless the table holds three particles: then it may also
                // be three values of a scalar attribute, and both readings
                // are offered.
                if (column.cells.size() == 3 && particleCount_ != 3) {
                    SplitVector(column, true);
                    continue;
                }
                if (!CheckRows(column, column.cells.size())) {
                    return false;
                }
                if (column.cells.size() == 3) {
                    SplitVector(column, true);
                }
                AddColumn(column.name, false, std::move(column.cells));
            }
        }
        return true;
    }

private:
    struct PendingColumn {
        std::string name;
        int shape = 0;  // 0 one value, 1 list of numbers, 2 list of vectors
        std::vector<CTableCell> cells;
    };

    bool InAttributes() const { return !pending_.empty() && key_ == "attributes"; }

    bool Number(const std::string& text) {
        // The parser has read the number and one character past it.
        const size_t end = consumed_ > 0 ? consumed_ - 1 : 0;
        const size_t begin = end >= text.size() ? end - text.size() : 0;
        if (depth_ == 1 && key_ == "particleCount") {
            int32_t count = 0;
            if (!ParseInt32(text, count) || count < 0) {
                return Fail(begin, "\"particleCount\" must be a count of particles, not " + text);
            }
            particleCount_ = static_cast<size_t>(count);
            hasCount_ = true;
            return true;
        }
        if (depth_ < 2 || !InAttributes()) {
            return Unexpected("a number");
        }
        if (depth_ == 3 && pending_.back().shape == 2) {
            return Fail(begin,
                        "attribute " + Quoted(pending_.back().name) + " mixes numbers and vectors");
        }
        CTableCell cell;
        cell.offset = static_cast<uint32_t>(table_.text.size());
        cell.length = static_cast<uint32_t>(text.size());
        Locate(begin, cell.line, cell.column);
        table_.text += text;
        pending_.back().cells.push_back(cell);
        return true;
    }

    bool CheckRows(const PendingColumn& column, size_t rows) {
        if (rows == particleCount_) {
            return true;
        }
        const CTableCell* last = column.cells.empty() ? nullptr : &column.cells.back();
        error = table_.file + ": line " + std::to_string(last ? last->line : 1) + ", column " +
                std::to_string(last ? last->column : 1) + ": attribute " + Quoted(column.name) +
                " has " + std::to_string(rows) + " values, \"particleCount\" says " +
                std::to_string(particleCount_);
        return false;
    }

    void SplitVector(const PendingColumn& column, bool constant) {
        for (size_t c = 0; c < 3; ++c) {
            std::vector<CTableCell> cells;
            for (size_t i = c; i < column.cells.size(); i += 3) {
                cells.push_back(column.cells[i]);
            }
            AddColumn(column.name + "." + "xyz"[c], constant, std::move(cells));
        }
    }

    void AddColumn(const std::string& name, bool constant, std::vector<CTableCell> cells) {
        table_.columns.push_back({name, constant, std::move(cells)});
    }

    void Locate(size_t offset, uint32_t& line, uint32_t& column) const {
        const auto next = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset);
        line = static_cast<uint32_t>(next - lineStarts_.begin()) + 1;
        const size_t start = line > 1 ? lineStarts_[line - 2] : 0;
        column = static_cast<uint32_t>(offset - start) + 1;
    }

    bool Fail(size_t offset, const std::string& text) {
        uint32_t line = 0;
        uint32_t column = 0;
        Locate(std::min(offset, source_.size()), line, column);
        error = table_.file + ": line " + std::to_string(line) + ", column " +
                std::to_string(column) + ": " + text;
        return false;
    }
    bool Fail(const std::string& text) { return Fail(consumed_ > 0 ? consumed_ - 1 : 0, text); }

    bool Unexpected(const std::string& what) {
        return Fail(what + " where the table expects " +
                    (depth_ == 0 ? std::string("an object {\"particleCount\", \"attributes\"}")
                                 : std::string("a number or a list of numbers or vectors")));
    }

    CTable& table_;
    const std::string& source_;
    const size_t& consumed_;
    std::vector<size_t> lineStarts_;
    int depth_ = 0;
    std::string key_;
    std::vector<PendingColumn> pending_;
    size_t vectorStart_ = 0;
    size_t particleCount_ = 0;
    bool hasCount_ = false;
};

bool ReadJson(CTable& table, std::string& error) {
    const std::string source = std::move(table.text);
    table.text.clear();
    size_t consumed = 0;
    CJsonTableReader reader(table, source, consumed);
    const char* base = source.data();
    const bool parsed = nlohmann::json::sax_parse(
        CCountingIterator(base, base, &consumed),
        CCountingIterator(base + source.size(), base, &consumed), &reader);
    if (!parsed || !reader.Finish()) {
        error = reader.error;
        return false;
    }
    return true;
}

// ---- Writing ------------------------------------------------------------

struct CFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

void AppendVector(std::string& out, const float* v, const char* separator) {
    AppendFloat(out, v[0]);
    out += separator;
    AppendFloat(out, v[1]);
    out += separator;
    AppendFloat(out, v[2]);
}

void AppendCell(std::string& out, const COutputColumn& column, size_t row) {
    switch (column.dataType) {
        case XSI::siICENodeDataLong:
            AppendInt(out, static_cast<const int32_t*>(column.values)[row]);
            break;
        case XSI::siICENodeDataFloat:
            AppendFloat(out, static_cast<const float*>(column.values)[row]);
            break;
        default:
            AppendVector(out, static_cast<const float*>(column.values) + 3 * row, ",");
            break;
    }
}

}  // namespace

const CTableColumn* CTable::Find(const std::string& name) const {
    for (const CTableColumn& column : columns) {
        if (column.name == name) {
            return &column;
        }
    }
    return nullptr;
}

std::string CTable::Where(const CTableColumn& column, const CTableCell& cell) const {
    return file + ": line " + std::to_string(cell.line) + ", column " +
           std::to_string(cell.column) + " (" + Quoted(column.name) + ")";
}

bool CTable::Floats(const CTableColumn& column, std::vector<float>& values,
                    std::string& error) const {
    values.resize(rows);
    for (size_t row = 0; row < rows; ++row) {
        const CTableCell& cell = column.cells[column.constant ? 0 : row];
        if (!ParseFloat(Text(cell), values[row])) {
            error = Where(column, cell) + ": \"" + std::string(Text(cell)) + "\" is not a number";
            return false;
        }
        if (column.constant) {
            std::fill(values.begin() + 1, values.end(), values[0]);
            break;
        }
    }
    return true;
}

bool CTable::Longs(const CTableColumn& column, std::vector<int32_t>& values,
                   std::string& error) const {
    values.resize(rows);
    for (size_t row = 0; row < rows; ++row) {
        const CTableCell& cell = column.cells[column.constant ? 0 : row];
        if (!ParseInt32(Text(cell), values[row])) {
            error = Where(column, cell) + ": \"" + std::string(Text(cell)) +
                    "\" is not a 32-bit integer";
            return false;
        }
        if (column.constant) {
            std::fill(values.begin() + 1, values.end(), values[0]);
            break;
        }
    }
    return true;
}

bool IsTableFile(const std::filesystem::path& file) {
    const std::string extension = Lower(file.extension().string());
    return extension == ".csv" || extension == ".json";
}

bool ReadTable(const std::filesystem::path& file, CTable& table, std::string& error) {
    table = CTable();
    table.file = file.string();
    if (!ReadWhole(file, table.text, error)) {
        return false;
    }
    return Lower(file.extension().string()) == ".json" ? ReadJson(table, error)
                                                       : ReadCsv(table, error);
}

bool WriteTable(const std::filesystem::path& file, const std::vector<COutputColumn>& columns,
                size_t rows, std::string& error) {
    std::unique_ptr<std::FILE, CFileCloser> stream(std::fopen(file.string().c_str(), "wb"));
    if (!stream) {
        error = file.string() + ": cannot be opened for writing";
        return false;
    }
    const bool json = Lower(file.extension().string()) == ".json";
    std::string out;
    bool written = true;
    auto flush = [&](bool force) {
        if (force || out.size() > (1u << 20)) {
            written = written && std::fwrite(out.data(), 1, out.size(), stream.get()) == out.size();
            out.clear();
        }
    };
    if (json) {
        out = "{\n  \"particleCount\": " + std::to_string(rows) + ",\n  \"attributes\": {";
        for (size_t i = 0; i < columns.size(); ++i) {
            const COutputColumn& column = columns[i];
            out += i ? ",\n    " : "\n    ";
            out += nlohmann::json(column.name).dump() + ": [";
            const bool vector = column.dataType == XSI::siICENodeDataVector3;
            for (size_t row = 0; row < rows; ++row) {
                out += row ? ", " : "";
                if (vector) {
                    out += '[';
                    AppendVector(out, static_cast<const float*>(column.values) + 3 * row, ", ");
                    out += ']';
                } else {
                    AppendCell(out, column, row);
                }
                flush(false);
            }
            out += ']';
        }
        out += columns.empty() ? "}\n}\n" : "\n  }\n}\n";
    } else {
        for (size_t i = 0; i < columns.size(); ++i) {
            const COutputColumn& column = columns[i];
            out += i ? "," : "";
            if (column.dataType == XSI::siICENodeDataVector3) {
                out += column.name + ".x," + column.name + ".y," + column.name + ".z";
            } else {
                out += column.name;
            }
        }
        out += '\n';
        for (size_t row = 0; row < rows; ++row) {
            for (size_t i = 0; i < columns.size(); ++i) {
                out += i ? "," : "";
                AppendCell(out, columns[i], row);
            }
            out += '\n';
            flush(false);
        }
    }
    flush(true);
    if (!written || std::fclose(stream.release()) != 0) {
        error = file.string() + ": could not be written completely";
        return false;
    }
    return true;
}

}  // namespace VelpoTools
