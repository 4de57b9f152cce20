#include "tools/ply/Convert.h"

#include <fmt/format.h>
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "pdc/SlotFilling.h"
#include "tools/common/Text.h"

namespace VelpoTools {

using Velpo::CResult;

namespace {

constexpr uint64_t QuietNaN = 0x7FF8000000000000ull;
constexpr uint64_t NegativeQuietNaN = 0xFFF8000000000000ull;

bool KeptInName(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// ---- numbers in comments ----

void AppendExact(std::string& text, double value) {
    char digits[64];
    const uint64_t bits = std::bit_cast<uint64_t>(value);
    if (std::isnan(value) && bits != QuietNaN && bits != NegativeQuietNaN) {
        const auto result = std::to_chars(digits, digits + sizeof(digits), bits, 16);
        text += "nan:0x" + std::string(16 - (result.ptr - digits), '0');
        text.append(digits, result.ptr);
        return;
    }
    if (std::isnan(value)) {
        text += bits == QuietNaN ? "nan" : "-nan";
        return;
    }
    const auto result = std::to_chars(digits, digits + sizeof(digits), value);
    text.append(digits, result.ptr);
}

std::string ExactText(double value) {
    std::string text;
    AppendExact(text, value);
    return text;
}

bool ParseExact(std::string_view word, double& value) {
    if (word == "nan" || word == "-nan") {
        value = std::bit_cast<double>(word == "nan" ? QuietNaN : NegativeQuietNaN);
        return true;
    }
    const char* end = word.data() + word.size();
    if (word.starts_with("nan:0x")) {
        uint64_t bits = 0;
        const auto result = std::from_chars(word.data() + 6, end, bits, 16);
        value = std::bit_cast<double>(bits);
        return result.ec == std::errc() && result.ptr == end && word.size() == 22 &&
               std::isnan(value);
    }
    const auto result = std::from_chars(word.data(), end, value);
    return result.ec == std::errc() && result.ptr == end;
}

template <class T>
bool ParseWord(std::string_view word, T& value) {
    const char* end = word.data() + word.size();
    const auto result = std::from_chars(word.data(), end, value);
    return result.ec == std::errc() && result.ptr == end;
}

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    size_t at = 0;
    while (at < text.size()) {
        const size_t blank = text.find(' ', at);
        const size_t end = blank == std::string_view::npos ? text.size() : blank;
        if (end > at) {
            words.push_back(text.substr(at, end - at));
        }
        at = end + 1;
    }
    return words;
}

// ---- which vertex property holds what ----

// One property of the vertex element: record `record`'s values, of
// component `component` for a vector (else 0).
struct CPropertyPlan {
    size_t record = 0;
    int32_t component = 0;
    std::string name;
};

// The "position" the nodes deliver (pdc/SlotFilling.h: the last one holding
// vectors) when it holds one per particle, else the end.
std::vector<CConvertRecord>::const_iterator PositionRecord(
    const std::vector<CConvertRecord>& records) {
    CPdcSlotFilling filling;
    filling.AddSlot(XSI::CString(L"position"), PdcTypeVector);
    auto position = records.end();
    for (auto record = records.begin(); record != records.end(); ++record) {
        XSI::CString name;
        name.PutAsciiString(record->name.c_str());  // up to a zero byte, as readers cut it
        if (!record->nameOnly && filling.Take(name, record->code) >= 0) {
            position = record;
        }
    }
    return position != records.end() && position->code == PdcCodeVectorArray ? position
                                                                             : records.end();
}

// The property names of one record: `stem`, or stem_x, stem_y, stem_z.
std::vector<std::string> PropertyNames(const std::string& stem, int32_t components) {
    if (components == 1) {
        return {stem};
    }
    return {stem + "_x", stem + "_y", stem + "_z"};
}

// The properties the records of `records` become, in vertex order: the
// delivered vector array "position" (the last one holding vectors) as x,
// y, z, then every other array record in record order, each under a name no
// earlier property has: its encoded name, else with the first of "_2",
// "_3", ... that makes all its names new. Names only ever become used, so a
// suffix found taken for a name stays taken: each name's search goes on
// where it stopped last time, and the suffixes tried in all come to at most
// a few per property.
std::vector<CPropertyPlan> PlanProperties(const std::vector<CConvertRecord>& records) {
    std::vector<CPropertyPlan> plan;
    std::unordered_set<std::string> used;
    const auto position = PositionRecord(records);
    if (position != records.end()) {
        const size_t index = static_cast<size_t>(position - records.begin());
        for (int32_t c = 0; c < 3; ++c) {
            plan.push_back({index, c, std::string(1, "xyz"[c])});
            used.insert(plan.back().name);
        }
    }
    // Per encoded name and kind (scalar or vector), the suffix to try next;
    // 0 for the name as it is.
    std::unordered_map<std::string, int> nextSuffix;
    const auto advance = [](int& suffix) { suffix = suffix == 0 ? 2 : suffix + 1; };
    for (size_t r = 0; r < records.size(); ++r) {
        const CConvertRecord& record = records[r];
        if (record.nameOnly || !PdcCodeIsArray(record.code) || records.begin() + r == position) {
            continue;
        }
        const std::string base = EncodeName(record.name);
        const int32_t components = PdcCodeComponents(record.code);
        int& suffix = nextSuffix[base + (components == 1 ? " scalar" : " vector")];
        std::vector<std::string> chosen;
        for (;; advance(suffix)) {
            chosen =
                PropertyNames(suffix == 0 ? base : base + "_" + std::to_string(suffix), components);
            if (std::none_of(chosen.begin(), chosen.end(),
                             [&](const std::string& n) { return used.count(n) > 0; })) {
                break;
            }
        }
        advance(suffix);  // this one is taken now
        for (int32_t c = 0; c < components; ++c) {
            used.insert(chosen[static_cast<size_t>(c)]);
            plan.push_back({r, c, std::move(chosen[static_cast<size_t>(c)])});
        }
    }
    return plan;
}

// ---- the velpo comments ----

struct CVelpoComments {
    bool present = false;
    PdcHeader header;
    std::vector<CConvertRecord> records;  // array records without values
};

std::string HeaderComment(const PdcHeader& header) {
    return fmt::format("velpo pdc {} {} {} {} {} {} {}",
                       EncodeName(std::string_view(header.format, 4)), header.version,
                       header.byteOrder, header.reserved1, header.reserved2, header.particleCount,
                       header.attributeCount);
}

std::string RecordComment(const CConvertRecord& record) {
    if (record.nameOnly) {
        return "velpo name-only " + EncodeName(record.name);
    }
    const bool array = PdcCodeIsArray(record.code);
    std::string text = fmt::format("velpo {} {} {}", array ? "array" : "value", record.code,
                                   EncodeName(record.name));
    if (!array) {
        for (int32_t c = 0; c < PdcCodeComponents(record.code); ++c) {
            text += ' ';
            if (PdcCodeIsInteger(record.code)) {
                text += std::to_string(record.integers.at(static_cast<size_t>(c)));
            } else {
                AppendExact(text, record.doubles.at(static_cast<size_t>(c)));
            }
        }
    }
    return text;
}

CResult ParseHeaderComment(const std::vector<std::string_view>& words, PdcHeader& header) {
    std::string format;
    int32_t* fields[] = {&header.version,   &header.byteOrder,     &header.reserved1,
                         &header.reserved2, &header.particleCount, &header.attributeCount};
    bool ok = words.size() == 9 && DecodeName(words[2], format) && format.size() == 4;
    for (size_t i = 0; ok && i < 6; ++i) {
        ok = ParseWord(words[3 + i], *fields[i]);
    }
    if (!ok) {
        return CResult::Fail(
            "expected \"velpo pdc <format> <version> <byte order> <reserved> <reserved> "
            "<particles> <records>\"");
    }
    // Readers refuse a file of another tag; none is written.
    if (format != std::string_view(PdcMagic, PdcMagicBytes)) {
        return CResult::Fail("the PDC tag " + Quoted(format) +
                             " is not \"PDC \", which every PDC file begins with");
    }
    std::copy(format.begin(), format.end(), header.format);
    return CResult::Ok();
}

CResult ParseRecordComment(const std::vector<std::string_view>& words, CConvertRecord& record) {
    const std::string_view kind = words[1];
    if (kind == "name-only") {
        record.nameOnly = true;
        if (words.size() != 3 || !DecodeName(words[2], record.name)) {
            return CResult::Fail("expected \"velpo name-only <name>\"");
        }
        return CResult::Ok();
    }
    const bool array = kind == "array";
    if (words.size() < 4 || !ParseWord(words[2], record.code) || record.code < 0 ||
        record.code > 5 || PdcCodeIsArray(record.code) != array ||
        !DecodeName(words[3], record.name)) {
        return CResult::Fail(array ? "expected \"velpo array <code 1, 3 or 5> <name>\""
                                   : "expected \"velpo value <code 0, 2 or 4> <name> <numbers>\"");
    }
    const size_t numbers = array ? 0 : static_cast<size_t>(PdcCodeComponents(record.code));
    bool ok = words.size() == 4 + numbers;
    for (size_t i = 0; ok && i < numbers; ++i) {
        if (PdcCodeIsInteger(record.code)) {
            record.integers.push_back(0);
            ok = ParseWord(words[4 + i], record.integers.back());
        } else {
            record.doubles.push_back(0.0);
            ok = ParseExact(words[4 + i], record.doubles.back());
        }
    }
    if (!ok) {
        return CResult::Fail(
            fmt::format("record {} needs {} {}", Quoted(record.name), numbers,
                        PdcCodeIsInteger(record.code) ? "32-bit integers" : "numbers"));
    }
    return CResult::Ok();
}

CResult ParseComments(const std::vector<std::string>& comments, CVelpoComments& parsed) {
    for (size_t i = 0; i < comments.size(); ++i) {
        const std::vector<std::string_view> words = Words(comments[i]);
        if (words.empty() || words[0] != "velpo") {
            continue;
        }
        const std::string_view kind = words.size() > 1 ? words[1] : std::string_view();
        CResult done = CResult::Ok();
        if (kind == "pdc") {
            done = parsed.present ? CResult::Fail("a second \"velpo pdc\" comment")
                                  : ParseHeaderComment(words, parsed.header);
            parsed.present = true;
        } else if (kind == "array" || kind == "value" || kind == "name-only") {
            if (!parsed.records.empty() && parsed.records.back().nameOnly) {
                done = CResult::Fail("a record after the name-only one, which must be last");
            } else {
                parsed.records.emplace_back();
                done = ParseRecordComment(words, parsed.records.back());
            }
        } else {
            done = CResult::Fail("unknown velpo comment " + Quoted(kind));
        }
        if (!done) {
            return CResult::Fail(fmt::format("comment {} ({}): {}", i + 1,
                                             Quoted(comments[i].substr(0, 200)), done.Message()));
        }
    }
    if (!parsed.records.empty() && !parsed.present) {
        return CResult::Fail("velpo record comments without the \"velpo pdc\" header comment");
    }
    return CResult::Ok();
}

// ---- values from the columns ----

CResult TakeIntegers(const CPlyColumn& column, int64_t firstVertex, std::vector<int32_t>& out) {
    out.resize(column.values.size());
    for (size_t i = 0; i < column.values.size(); ++i) {
        const double value = column.values[i];
        if (!(value >= std::numeric_limits<int32_t>::min() &&
              value <= std::numeric_limits<int32_t>::max() && value == std::trunc(value))) {
            return CResult::Fail(fmt::format(
                "property {}, vertex {}: {} is not a 32-bit integer, which its integer record "
                "needs",
                Quoted(column.name), firstVertex + static_cast<int64_t>(i), ExactText(value)));
        }
        out[i] = static_cast<int32_t>(value);
    }
    return CResult::Ok();
}

// Whether the vertex properties are exactly those `plan` would write.
bool Fits(const std::vector<CPropertyPlan>& plan, const CPlyVertices& ply) {
    if (plan.size() != ply.columns.size()) {
        return false;
    }
    for (size_t p = 0; p < plan.size(); ++p) {
        if (plan[p].name != ply.columns[p].name) {
            return false;
        }
    }
    return true;
}

// The columns of each array record as the comments list them.
std::vector<std::vector<size_t>> ColumnsByPlan(const std::vector<CPropertyPlan>& plan,
                                               size_t records) {
    std::vector<std::vector<size_t>> columns(records);
    for (size_t p = 0; p < plan.size(); ++p) {
        std::vector<size_t>& of = columns[plan[p].record];
        of.resize(std::max<size_t>(of.size(), static_cast<size_t>(plan[p].component) + 1));
        of[static_cast<size_t>(plan[p].component)] = p;
    }
    return columns;
}

// Whether a property may be a vector's component: x, y, z, or a name
// ending in _x, _y, _z.
bool IsComponent(std::string_view property) {
    const size_t n = property.size();
    const bool axis =
        n > 0 && std::string_view("xyz").find(property.back()) != std::string_view::npos;
    return axis && (n == 1 || (n > 2 && property[n - 2] == '_'));
}

// The name of the vector record a property would be a component of: x, y
// and z make "position", name_x, name_y and name_z make "name"; else empty.
std::string VectorName(const std::string& property, std::string& stem) {
    if (!IsComponent(property)) {
        return std::string();
    }
    if (property.size() == 1) {
        stem.clear();
        return "position";
    }
    stem = property.substr(0, property.size() - 1);
    return property.substr(0, property.size() - 2);
}

// The columns of each component name (x, name_y, ...) in file order,
// handed out first to last as they are taken: a chain of indices per name,
// whose head moves on past the taken ones, so that every lookup costs what
// it skips once. Other names are never looked up and take no room.
class CColumnsByName {
public:
    explicit CColumnsByName(const std::vector<CPlyColumn>& columns)
        : taken_(columns.size(), false), next_(columns.size(), None) {
        for (size_t i = columns.size(); i-- > 0;) {
            if (!IsComponent(columns[i].name)) {
                continue;
            }
            // The names stay in `columns`, unchanged while this is in use.
            size_t& head = heads_.try_emplace(columns[i].name, None).first->second;
            next_[i] = head;
            head = i;
        }
    }

    bool Taken(size_t column) const { return taken_[column]; }
    void Take(size_t column) { taken_[column] = true; }

    // The first column of that name not taken yet; None if there is none.
    size_t First(std::string_view name) {
        const auto found = heads_.find(name);
        if (found == heads_.end()) {
            return None;
        }
        size_t& head = found->second;
        while (head != None && taken_[head]) {
            head = next_[head];
        }
        return head;
    }

    static constexpr size_t None = SIZE_MAX;

private:
    std::vector<bool> taken_;
    std::vector<size_t> next_;
    std::unordered_map<std::string_view, size_t> heads_;
};

// The record code of a lone property: code 1 for integer types of 32 bits
// or fewer but uint (always doubles, whatever its values), and for a 64-bit
// property whose every value fits 32 bits; doubles for everything else.
int32_t LoneCode(const CPlyColumn& column, bool fitsInt32) {
    if (!PlyTypeIsInteger(column.type) || column.type == CPlyType::UInt32) {
        return PdcCodeDoubleArray;
    }
    if (column.type == CPlyType::Int64 || column.type == CPlyType::UInt64) {
        return fitsInt32 ? PdcCodeIntegerArray : PdcCodeDoubleArray;
    }
    return PdcCodeIntegerArray;
}

// The records a PLY of another program holds: x, y, z and name_x, name_y,
// name_z triples as vectors, every other property a record of its own.
void RecordsFromProperties(const CPlyVertices& ply, const std::vector<bool>& fitsInt32,
                           std::vector<CConvertRecord>& records,
                           std::vector<std::vector<size_t>>& recordColumns) {
    CColumnsByName byName(ply.columns);
    std::string stem;
    for (size_t c = 0; c < ply.columns.size(); ++c) {
        if (byName.Taken(c)) {
            continue;
        }
        CConvertRecord record;
        std::vector<size_t> columns;
        record.name = VectorName(ply.columns[c].name, stem);
        if (!record.name.empty()) {
            // The three names differ, so looking one up cannot take another.
            size_t found[3];
            for (size_t axis = 0; axis < 3; ++axis) {
                found[axis] = byName.First(stem + "xyz"[axis]);
            }
            if (std::find(found, found + 3, CColumnsByName::None) == found + 3) {
                for (const size_t column : found) {
                    byName.Take(column);
                    columns.push_back(column);
                }
                record.code = PdcCodeVectorArray;
            }
        }
        if (columns.empty()) {  // not part of a whole triple: a record of its own
            byName.Take(c);
            columns.push_back(c);
            record.name = ply.columns[c].name;
            record.code = LoneCode(ply.columns[c], fitsInt32[c]);
        }
        records.push_back(std::move(record));
        recordColumns.push_back(std::move(columns));
    }
}

}  // namespace

std::string EncodeName(std::string_view name) {
    if (name.empty()) {
        return "%";
    }
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string word;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (KeptInName(byte)) {
            word += c;
        } else {
            word += '%';
            word += Hex[byte >> 4];
            word += Hex[byte & 15];
        }
    }
    return word;
}

bool DecodeName(std::string_view word, std::string& name) {
    name.clear();
    if (word == "%") {
        return true;
    }
    for (size_t i = 0; i < word.size(); ++i) {
        const auto byte = static_cast<unsigned char>(word[i]);
        if (KeptInName(byte)) {
            name += word[i];
            continue;
        }
        if (byte != '%' || i + 2 >= word.size() || HexDigit(word[i + 1]) < 0 ||
            HexDigit(word[i + 2]) < 0) {
            return false;
        }
        const int value = HexDigit(word[i + 1]) * 16 + HexDigit(word[i + 2]);
        // Only the one spelling EncodeName writes, so that a name has one word.
        if (KeptInName(static_cast<unsigned char>(value))) {
            return false;
        }
        name += static_cast<char>(value);
        i += 2;
    }
    return !word.empty();
}

CPlyOutput PlyFromFrame(const CConvertFrame& frame, const CPlyChoice& choice) {
    CPlyOutput ply;
    ply.ascii = choice.ascii;
    ply.comments.push_back(HeaderComment(frame.header));
    for (const CConvertRecord& record : frame.records) {
        ply.comments.push_back(RecordComment(record));
    }
    const std::vector<CPropertyPlan> plan = PlanProperties(frame.records);
    ply.count = plan.empty() ? 0 : std::max(0, frame.header.particleCount);
    for (const CPropertyPlan& property : plan) {
        const CConvertRecord& record = frame.records[property.record];
        const size_t stride = static_cast<size_t>(PdcCodeComponents(record.code));
        CPlyOutputColumn column;
        column.name = property.name;
        column.stride = stride;
        // A record of no particles has no buffer to point into, and with no
        // vertex the writer reads nothing.
        if (PdcCodeIsInteger(record.code)) {
            column.type = CPlyType::Int32;
            column.integers =
                record.integers.empty() ? nullptr : record.integers.data() + property.component;
        } else {
            column.type = choice.floats ? CPlyType::Float32 : CPlyType::Float64;
            column.doubles =
                record.doubles.empty() ? nullptr : record.doubles.data() + property.component;
        }
        ply.columns.push_back(std::move(column));
    }
    return ply;
}

std::vector<CPlyColumnSource> PlyColumnSources(const CConvertFrame& frame) {
    std::vector<CPlyColumnSource> sources;
    for (const CPropertyPlan& property : PlanProperties(frame.records)) {
        sources.push_back({property.record, property.component});
    }
    return sources;
}

CResult PlanFrameFromPly(const CPlyVertices& ply, const std::vector<bool>& fitsInt32,
                         CConvertFrame& frame, std::vector<std::vector<size_t>>& recordColumns,
                         std::vector<std::string>& notes) {
    frame = CConvertFrame();
    recordColumns.clear();
    if (ply.count > std::numeric_limits<int32_t>::max()) {
        return CResult::Fail("the vertex element counts " + std::to_string(ply.count) +
                             " vertices; a PDC file holds at most 2147483647 particles");
    }
    CVelpoComments comments;
    if (CResult parsed = ParseComments(ply.comments, comments); !parsed) {
        return parsed;
    }
    frame.header = comments.present ? comments.header : PdcHeader::ForWriting(0, 0);
    const std::vector<CPropertyPlan> plan = PlanProperties(comments.records);
    if (comments.present && Fits(plan, ply)) {
        frame.records = comments.records;
        recordColumns = ColumnsByPlan(plan, frame.records.size());
    } else {
        if (comments.present) {
            notes.push_back(
                "the vertex properties are not those its velpo comments describe (another "
                "program changed them?): the per-particle records are taken from the properties "
                "and the single values from the comments");
        }
        RecordsFromProperties(ply, fitsInt32, frame.records, recordColumns);
        for (const CConvertRecord& record : comments.records) {
            if (record.nameOnly || !PdcCodeIsArray(record.code)) {
                frame.records.push_back(record);
                recordColumns.emplace_back();
            }
        }
    }
    const bool arrays =
        std::any_of(frame.records.begin(), frame.records.end(),
                    [](const CConvertRecord& r) { return !r.nameOnly && PdcCodeIsArray(r.code); });
    if (arrays || !comments.present) {
        frame.header.particleCount = static_cast<int32_t>(ply.count);
    }
    const auto records = static_cast<int32_t>(frame.records.size());
    const int32_t counted = frame.header.attributeCount;
    const bool keep = comments.present && (counted == records || (records == 0 && counted < 0));
    frame.header.attributeCount = keep ? counted : records;
    return CheckParticlesHeld(frame);
}

CResult FillRecord(CConvertRecord& record, const std::vector<CPlyColumn*>& columns,
                   int64_t firstVertex, bool moveValues) {
    if (record.code == PdcCodeIntegerArray) {
        return TakeIntegers(*columns[0], firstVertex, record.integers);
    }
    if (record.code == PdcCodeDoubleArray) {
        // Moved, not copied, where the PLY's values are not needed after.
        if (moveValues) {
            record.doubles = std::move(columns[0]->values);
        } else {
            record.doubles.assign(columns[0]->values.begin(), columns[0]->values.end());
        }
        return CResult::Ok();
    }
    const size_t count = columns[0]->values.size();
    record.doubles.resize(3 * count);
    for (size_t c = 0; c < 3; ++c) {
        const double* values = columns[c]->values.data();
        for (size_t i = 0; i < count; ++i) {
            record.doubles[3 * i + c] = values[i];
        }
    }
    return CResult::Ok();
}

bool ColumnFitsInt32(const CPlyColumn& column) {
    return std::all_of(column.values.begin(), column.values.end(), [](double v) {
        return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
    });
}

CResult FrameFromPly(CPlyVertices& ply, CConvertFrame& frame, std::vector<std::string>& notes) {
    std::vector<bool> fits;
    for (const CPlyColumn& column : ply.columns) {
        fits.push_back(ColumnFitsInt32(column));
    }
    std::vector<std::vector<size_t>> recordColumns;
    if (CResult planned = PlanFrameFromPly(ply, fits, frame, recordColumns, notes); !planned) {
        return planned;
    }
    for (size_t r = 0; r < frame.records.size(); ++r) {
        if (recordColumns[r].empty()) {
            continue;
        }
        std::vector<CPlyColumn*> columns;
        for (const size_t c : recordColumns[r]) {
            columns.push_back(&ply.columns[c]);
        }
        if (CResult filled = FillRecord(frame.records[r], columns, 0, true); !filled) {
            return filled;
        }
    }
    return CResult::Ok();
}

CResult CheckParticlesHeld(const CConvertFrame& frame) {
    const int32_t particles = frame.header.particleCount;
    if (particles <= 0 || std::any_of(frame.records.begin(), frame.records.end(),
                                      [](const CConvertRecord& r) { return !r.nameOnly; })) {
        return CResult::Ok();
    }
    return CResult::Fail("the header counts " + std::to_string(particles) +
                         " particles but no record holds a value for them; a file of "
                         "particles without data is refused");
}

}  // namespace VelpoTools
