// The CSV reader of particle tables (see tools/tables/Tables.h for the format it
// takes): a header row of column names, then one row of cells per
// particle.
#include <fmt/format.h>
#include <algorithm>

#include "tools/common/Text.h"
#include "tools/tables/TableReaders.h"

namespace VelpoTools {

namespace {

using Velpo::CResult;

class CCsvReader {
public:
    explicit CCsvReader(CTable& table) : table_(table), text_(table.text) {}

    CResult Read() {
        SkipByteOrderMark();
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

    void SkipByteOrderMark() {
        if (text_.rfind("\xEF\xBB\xBF", 0) == 0) {
            at_ = 3;
        }
    }

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
            const CResult read = AtQuote() ? ReadQuotedField(field) : ReadPlainField(field);
            if (!read) {
                return read;
            }
            fields_.push_back(field);
            if (at_ >= text_.size() || text_[at_] != ',') {
                break;
            }
            ++at_;
        }
        if (at_ < text_.size()) {
            ConsumeLineEnd();
        }
        return CResult::Ok();
    }

    bool AtQuote() const { return at_ < text_.size() && text_[at_] == '"'; }

    // A field in quotes, up to the comma or line end after its closing
    // quote. Its text keeps every "" as it stands; line breaks inside the
    // quotes belong to the field but still count as lines for the messages.
    CResult ReadQuotedField(CField& field) {
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
            if (c == '\n' || (c == '\r' && (at_ + 1 >= text_.size() || text_[at_ + 1] != '\n'))) {
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
        return CResult::Ok();
    }

    // A field without quotes, up to the next comma or line end, trailing
    // blanks left out.
    CResult ReadPlainField(CField& field) {
        field.begin = at_;
        while (!AtLineEnd() && text_[at_] != ',') {
            ++at_;
        }
        size_t end = at_;
        while (end > field.begin && (text_[end - 1] == ' ' || text_[end - 1] == '\t')) {
            --end;
        }
        field.length = end - field.begin;
        return CResult::Ok();
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
            const uint32_t column = static_cast<uint32_t>(std::min(fields_.size(), columns) + 1);
            return CResult::Fail(fmt::format("{}: the row has {} fields, the header row {}",
                                             TablePlace(table_.file, line, column), fields_.size(),
                                             columns));
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

}  // namespace

CResult ReadCsvTable(CTable& table) {
    return CCsvReader(table).Read();
}

}  // namespace VelpoTools
