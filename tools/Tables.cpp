#include "tools/Tables.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <type_traits>
#include <unordered_set>

#include "tools/InputFile.h"
#include "tools/Numbers.h"
#include "tools/Text.h"

namespace VelpoTools {

namespace {

using VelpoHost::CResult;

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

// ---- CSV ----------------------------------------------------------------

class CCsvReader {
public:
    explicit CCsvReader(CTable& table) : table_(table), text_(table.text) {}

    CResult Read() {
        if (text_.rfind("\xEF\xBB\xBF", 0) == 0) {
            at_ = 3;
        }
        bool header = true;
        while (at_ < text_.size()) {
            if (SkipBlankLine()) {
                continue;
            }
            const uint32_t line = line_;
            CResult read = ReadRecord();
            if (read) {
                read = header ? Header(line) : Row(line);
            }
            if (!read) {
                return read;
            }
            header = false;
        }
        if (header) {
            return CResult::Fail(TablePlace(table_.file, 1, 1) +
                                 ": empty table, expected a header row such as "
                                 "id,position.x,position.y,position.z");
        }
        return CResult::Ok();
    }

private:
    struct CField {
        size_t begin = 0;
        size_t length = 0;
        bool quoted = false;
    };

    bool AtLineEnd() const {
        return at_ >= text_.size() || text_[at_] == '\n' || text_[at_] == '\r';
    }

    void SkipBlanks() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t')) {
            ++at_;
        }
    }

    // LF, CR LF or a lone CR, counted as one line.
    void ConsumeLineEnd() {
        if (text_[at_] == '\r') {
            ++at_;
            if (at_ < text_.size() && text_[at_] == '\n') {
                ++at_;
            }
        } else {
            ++at_;
        }
        ++line_;
    }

    bool SkipBlankLine() {
        const size_t start = at_;
        SkipBlanks();
        if (at_ < text_.size() && AtLineEnd()) {
            ConsumeLineEnd();
            return true;
        }
        if (at_ >= text_.size()) {
            return true;
        }
        at_ = start;
        return false;
    }

    CResult Misplaced(uint32_t line) const {
        return CResult::Fail(
            TablePlace(table_.file, line, static_cast<uint32_t>(fields_.size() + 1)) +
            ": unterminated or misplaced quote");
    }

    // One record: fields up to the end of its last line, line end consumed.
    CResult ReadRecord() {
        fields_.clear();
        while (true) {
            SkipBlanks();
            CField field;
            if (at_ < text_.size() && text_[at_] == '"') {
                const uint32_t line = line_;
                field.quoted = true;
                field.begin = ++at_;
                while (true) {
                    if (at_ >= text_.size()) {
                        return Misplaced(line);
                    }
                    const char c = text_[at_];
                    if (c == '"') {
                        if (at_ + 1 < text_.size() && text_[at_ + 1] == '"') {
                            at_ += 2;
                            continue;
                        }
                        break;
                    }
                    // Line breaks inside quotes belong to the field, but
                    // still count as lines for the messages.
                    if (c == '\n' ||
                        (c == '\r' && (at_ + 1 >= text_.size() || text_[at_ + 1] != '\n'))) {
                        ++line_;
                    }
                    ++at_;
                }
                field.length = at_ - field.begin;
                ++at_;
                SkipBlanks();
                if (!AtLineEnd() && text_[at_] != ',') {
                    return Misplaced(line_);
                }
            } else {
                field.begin = at_;
                while (!AtLineEnd() && text_[at_] != ',') {
                    ++at_;
                }
                size_t end = at_;
                while (end > field.begin && (text_[end - 1] == ' ' || text_[end - 1] == '\t')) {
                    --end;
                }
                field.length = end - field.begin;
            }
            fields_.push_back(field);
            if (at_ < text_.size() && text_[at_] == ',') {
                ++at_;
                continue;
            }
            if (at_ < text_.size()) {
                ConsumeLineEnd();
            }
            return CResult::Ok();
        }
    }

    CResult Header(uint32_t line) {
        for (size_t i = 0; i < fields_.size(); ++i) {
            const CField& field = fields_[i];
            CTableColumn column;
            column.name = text_.substr(field.begin, field.length);
            if (field.quoted) {
                for (size_t at = 0; (at = column.name.find("\"\"", at)) != std::string::npos;
                     ++at) {
                    column.name.erase(at, 1);
                }
            }
            const std::string place = TablePlace(table_.file, line, static_cast<uint32_t>(i + 1));
            if (column.name.empty()) {
                return CResult::Fail(place + ": empty column name in the header row");
            }
            const std::string name = column.name;
            if (!table_.Add(std::move(column))) {
                return CResult::Fail(place + ": column " + Quoted(name) +
                                     " appears twice in the header row");
            }
        }
        return CResult::Ok();
    }

    CResult Row(uint32_t line) {
        const size_t columns = table_.columns.size();
        if (fields_.size() != columns) {
            return CResult::Fail(
                TablePlace(table_.file, line,
                           static_cast<uint32_t>(std::min(fields_.size(), columns) + 1)) +
                ": the row has " + std::to_string(fields_.size()) + " fields, the header row " +
                std::to_string(columns));
        }
        for (size_t i = 0; i < columns; ++i) {
            table_.columns[i].cells.push_back({static_cast<uint32_t>(fields_[i].begin),
                                               static_cast<uint32_t>(fields_[i].length), line,
                                               static_cast<uint32_t>(i + 1)});
        }
        ++table_.rows;
        return CResult::Ok();
    }

    CTable& table_;
    const std::string& text_;
    size_t at_ = 0;
    uint32_t line_ = 1;
    std::vector<CField> fields_;
};

// ---- JSON ---------------------------------------------------------------

// NaN, Infinity and -Infinity outside strings, each replaced by a number
// of the same length so that the parser takes it and every offset stays;
// the originals are kept by offset and put back when the number is read.
std::unordered_map<size_t, std::string> ReplaceNonFiniteWords(std::string& text) {
    static constexpr std::string_view Words[][2] = {
        {"-Infinity", "-0.000000"}, {"Infinity", "0.000000"}, {"NaN", "0.0"}};
    std::unordered_map<size_t, std::string> replaced;
    const auto boundary = [&](size_t at) {
        return at >= text.size() ||
               std::string_view(" \t\r\n,:[]{}").find(text[at]) != std::string_view::npos;
    };
    bool inString = false;
    for (size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (inString) {
            if (c == '\\') {
                ++at;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        if (c == '"') {
            inString = true;
            continue;
        }
        if (at > 0 && !boundary(at - 1)) {
            continue;
        }
        for (const auto& word : Words) {
            if (text.compare(at, word[0].size(), word[0]) == 0 && boundary(at + word[0].size())) {
                replaced.emplace(at, word[0]);
                text.replace(at, word[0].size(), word[1]);
                at += word[0].size() - 1;
                break;
            }
        }
    }
    return replaced;
}

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
    CJsonTableReader(CTable& table, const std::string& source, const size_t& consumed,
                     std::unordered_map<size_t, std::string> replaced)
        : table_(table), source_(source), consumed_(consumed), replaced_(std::move(replaced)) {
        for (size_t i = 0; i < source.size(); ++i) {
            if (source[i] == '\n' ||
                (source[i] == '\r' && (i + 1 >= source.size() || source[i + 1] != '\n'))) {
                lineStarts_.push_back(i + 1);
            }
        }
    }

    std::string error;

    bool null() override { return Unexpected("null"); }
    bool boolean(bool) override { return Unexpected("true or false"); }
    bool string(string_t&) override { return Unexpected("a string"); }
    bool binary(binary_t&) override { return Unexpected("binary data"); }
    bool number_integer(number_integer_t) override { return Number(); }
    bool number_unsigned(number_unsigned_t) override { return Number(); }
    bool number_float(number_float_t, const string_t&) override { return Number(); }

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
        if (!names_.insert(key).second) {
            return Fail("attribute " + Quoted(key) + " appears twice");
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
            CPendingColumn& column = pending_.back();
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
                        "no \"particleCount\": the table must say how many particles it holds");
        }
        table_.rows = particleCount_;
        for (CPendingColumn& column : pending_) {
            if (!AddPending(column)) {
                return false;
            }
        }
        return true;
    }

private:
    struct CPendingColumn {
        std::string name;
        int shape = 0;  // 0 one value, 1 list of numbers, 2 list of vectors
        std::vector<CTableCell> cells;
    };

    bool AddPending(CPendingColumn& column) {
        if (column.shape == 0) {  // one value for every particle
            return AddColumn(column, column.name, true, std::move(column.cells));
        }
        if (column.shape == 2) {  // one vector per particle
            return CheckRows(column, column.cells.size() / 3) && SplitVector(column, false);
        }
        // A list of three numbers is one vector for every particle, unless
        // the table holds three particles: then it may also be three values
        // of a scalar attribute, and both readings are offered.
        if (column.cells.size() == 3 && particleCount_ != 3) {
            return SplitVector(column, true);
        }
        if (!CheckRows(column, column.cells.size())) {
            return false;
        }
        if (column.cells.size() == 3 && !SplitVector(column, true)) {
            return false;
        }
        return AddColumn(column, column.name, false, std::move(column.cells));
    }

    bool InAttributes() const { return !pending_.empty() && key_ == "attributes"; }

    static bool IsNumberCharacter(char c) {
        return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
    }

    // The number just read, as it stands in the source: the parser has read
    // it and one character past it, unless the number ends the text.
    bool Number() {
        size_t end = std::min(consumed_, source_.size());
        const bool endsText =
            end == source_.size() && end > 0 && IsNumberCharacter(source_[end - 1]);
        if (!endsText && end > 0) {
            --end;
        }
        size_t begin = end;
        while (begin > 0 && IsNumberCharacter(source_[begin - 1])) {
            --begin;
        }
        const auto original = replaced_.find(begin);
        const std::string text =
            original != replaced_.end() ? original->second : source_.substr(begin, end - begin);
        if (depth_ == 1 && key_ == "particleCount") {
            int32_t count = 0;
            if (ParseInt32(text, count) != CParsed::Number || count < 0) {
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

    bool CheckRows(const CPendingColumn& column, size_t rows) {
        if (rows == particleCount_) {
            return true;
        }
        const CTableCell* last = column.cells.empty() ? nullptr : &column.cells.back();
        error = TablePlace(table_.file, last ? last->line : 1, last ? last->column : 1) +
                ": attribute " + Quoted(column.name) + " has " + std::to_string(rows) +
                " values, \"particleCount\" says " + std::to_string(particleCount_);
        return false;
    }

    bool SplitVector(const CPendingColumn& column, bool constant) {
        for (size_t c = 0; c < 3; ++c) {
            std::vector<CTableCell> cells;
            for (size_t i = c; i < column.cells.size(); i += 3) {
                cells.push_back(column.cells[i]);
            }
            if (!AddColumn(column, column.name + "." + "xyz"[c], constant, std::move(cells))) {
                return false;
            }
        }
        return true;
    }

    bool AddColumn(const CPendingColumn& from, const std::string& name, bool constant,
                   std::vector<CTableCell> cells) {
        const CTableCell place = cells.empty() ? CTableCell{0, 0, 1, 1} : cells.front();
        if (!table_.Add({name, constant, std::move(cells)})) {
            error = TablePlace(table_.file, place.line, place.column) + ": attribute " +
                    Quoted(name) + " appears twice (once from " + Quoted(from.name) + ")";
            return false;
        }
        return true;
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
        error = TablePlace(table_.file, line, column) + ": " + text;
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
    std::unordered_map<size_t, std::string> replaced_;
    std::vector<size_t> lineStarts_;
    int depth_ = 0;
    std::string key_;
    std::unordered_set<std::string> names_;
    std::vector<CPendingColumn> pending_;
    size_t vectorStart_ = 0;
    size_t particleCount_ = 0;
    bool hasCount_ = false;
};

CResult ReadJson(CTable& table) {
    std::string source = std::move(table.text);
    table.text.clear();
    std::unordered_map<size_t, std::string> replaced = ReplaceNonFiniteWords(source);
    size_t consumed = 0;
    CJsonTableReader reader(table, source, consumed, std::move(replaced));
    const char* base = source.data();
    const bool parsed = nlohmann::json::sax_parse(
        CCountingIterator(base, base, &consumed),
        CCountingIterator(base + source.size(), base, &consumed), &reader);
    if (!parsed || !reader.Finish()) {
        return CResult::Fail(reader.error);
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
    return format == CTableFormat::Json ? ReadJson(table) : CCsvReader(table).Read();
}

}  // namespace VelpoTools
