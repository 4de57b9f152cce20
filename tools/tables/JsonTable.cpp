// The JSON reader of particle tables (see tools/tables/Tables.h for the format it
// takes): nlohmann's SAX parser over the text, with every number kept as
// the characters it was written with and placed by line and column.
#include <algorithm>
#include <iterator>
#include <nlohmann/json.hpp>
#include <unordered_map>
#include <unordered_set>

#include "tools/common/Numbers.h"
#include "tools/common/Text.h"
#include "tools/tables/TableReaders.h"

namespace VelpoTools {

namespace {

using Velpo::CResult;

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
        if (depth_ == 0 || (depth_ == 1 && key_ == "attributes")) {
            ++depth_;
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
            // A second one would silently take the place of the first.
            if (!tableKeys_.insert(key).second) {
                return Fail(Quoted(key) + " appears twice");
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
        // Counted only once taken: what is refused is named by where it was
        // found.
        if (depth_ == 2 && InAttributes()) {
            ++depth_;
            pending_.back().shape = 1;
            return true;
        }
        if (depth_ == 3 && InAttributes()) {
            CPendingColumn& column = pending_.back();
            if (!column.cells.empty() && column.shape != 2) {
                return Fail("attribute " + Quoted(column.name) + " mixes numbers and vectors");
            }
            ++depth_;
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
    std::unordered_set<std::string> tableKeys_;
    std::unordered_set<std::string> names_;
    std::vector<CPendingColumn> pending_;
    size_t vectorStart_ = 0;
    size_t particleCount_ = 0;
    bool hasCount_ = false;
};

}  // namespace

CResult ReadJsonTable(CTable& table) {
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

}  // namespace VelpoTools
