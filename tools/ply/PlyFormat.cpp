#include "tools/ply/PlyFormat.h"

#include <array>
#include <charconv>
#include <unordered_set>

#include "tools/common/Text.h"

namespace VelpoTools {

using Velpo::CResult;

namespace {

struct CPlyTypeNames {
    CPlyType type;
    const char* classic;
    const char* sized;
    size_t bytes;
};

constexpr std::array<CPlyTypeNames, 10> TypeNames = {{
    {CPlyType::Int8, "char", "int8", 1},
    {CPlyType::UInt8, "uchar", "uint8", 1},
    {CPlyType::Int16, "short", "int16", 2},
    {CPlyType::UInt16, "ushort", "uint16", 2},
    {CPlyType::Int32, "int", "int32", 4},
    {CPlyType::UInt32, "uint", "uint32", 4},
    {CPlyType::Float32, "float", "float32", 4},
    {CPlyType::Float64, "double", "float64", 8},
    {CPlyType::Int64, "int64", "int64", 8},
    {CPlyType::UInt64, "uint64", "uint64", 8},
}};

const CPlyTypeNames& NamesOf(CPlyType type) {
    return TypeNames[static_cast<size_t>(type)];
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// The header's words, split at white space: a stray carriage return before
// the line end is no part of a name (and no writer could write it back).
std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && IsSpace(line[at])) {
            ++at;
        }
        const size_t start = at;
        while (at < line.size() && !IsSpace(line[at])) {
            ++at;
        }
        if (at > start) {
            words.push_back(line.substr(start, at - start));
        }
    }
    return words;
}

// The text after the keyword and one blank, as it stands. `keyword` is the
// line's first word, a view into it, which blanks may precede.
std::string_view Rest(std::string_view line, std::string_view keyword) {
    std::string_view rest =
        line.substr(static_cast<size_t>(keyword.data() - line.data()) + keyword.size());
    if (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) {
        rest.remove_prefix(1);
    }
    return rest;
}

bool ParseCount(std::string_view text, int64_t& count) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, count);
    return result.ec == std::errc() && result.ptr == end && count >= 0;
}

class CHeaderParser {
public:
    CHeaderParser(std::string_view bytes, CPlyHeader& header) : bytes_(bytes), header_(header) {}

    // Whether the bytes ended before a line end, where more bytes could
    // have let the header go on.
    bool RanOut() const { return ranOut_; }

    CResult Parse() {
        std::string_view line;
        if (!NextLine(line) || line != "ply") {
            return CResult::Fail("not a PLY file: it does not start with the line \"ply\"");
        }
        bool format = false;
        while (NextLine(line)) {
            const std::vector<std::string_view> words = Words(line);
            if (words.empty()) {
                continue;
            }
            const std::string_view keyword = words[0];
            if (keyword == "end_header") {
                if (!format) {
                    return Fail("the header has no \"format\" line");
                }
                header_.dataOffset = at_;
                return CResult::Ok();
            }
            CResult done = CResult::Ok();
            if (keyword == "comment") {
                header_.comments.emplace_back(Rest(line, keyword));
            } else if (keyword == "obj_info") {
                // Free text about the object; nothing a converter keeps.
            } else if (keyword == "format") {
                done = format ? Fail("a second \"format\" line") : Format(words);
                format = true;
            } else if (keyword == "element") {
                done = Element(words);
            } else if (keyword == "property") {
                done = Property(words);
            } else {
                done = Fail("unknown header line " + Quoted(line.substr(0, 80)) +
                            " (a missing \"end_header\" line, or not a PLY header)");
            }
            if (!done) {
                return done;
            }
        }
        return CResult::Fail(
            "the header never ends: no \"end_header\" line (not a PLY file, or a cut one)");
    }

private:
    // The next line without its LF or CR LF; false at the end of the bytes
    // when no line end follows (a header line always has one).
    bool NextLine(std::string_view& line) {
        const size_t end = bytes_.find('\n', at_);
        if (end == std::string_view::npos) {
            ranOut_ = true;
            return false;
        }
        line = bytes_.substr(at_, end - at_);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        at_ = end + 1;
        ++lineNumber_;
        return true;
    }

    CResult Fail(const std::string& what) const {
        return CResult::Fail("header line " + std::to_string(lineNumber_) + ": " + what);
    }

    CResult Format(const std::vector<std::string_view>& words) {
        if (words.size() != 3 || words[2] != "1.0") {
            return Fail("expected \"format <encoding> 1.0\"");
        }
        if (words[1] == "ascii") {
            header_.encoding = CPlyEncoding::Ascii;
        } else if (words[1] == "binary_little_endian") {
            header_.encoding = CPlyEncoding::BinaryLittleEndian;
        } else if (words[1] == "binary_big_endian") {
            header_.encoding = CPlyEncoding::BinaryBigEndian;
        } else {
            return Fail("unknown format " + Quoted(words[1]) +
                        " (expected ascii, binary_little_endian or binary_big_endian)");
        }
        return CResult::Ok();
    }

    CResult Element(const std::vector<std::string_view>& words) {
        CPlyElement element;
        if (words.size() != 3 || !ParseCount(words[2], element.count)) {
            return Fail("expected \"element <name> <count>\" with a count of 0 or more");
        }
        element.name = words[1];
        // The words are views of the header's bytes, which outlive the parse.
        if (!elementNames_.insert(words[1]).second) {
            return Fail("a second element " + Quoted(element.name));
        }
        header_.elements.push_back(std::move(element));
        return CResult::Ok();
    }

    CResult Property(const std::vector<std::string_view>& words) {
        if (header_.elements.empty()) {
            return Fail("a property before any element");
        }
        CPlyProperty property;
        const bool list = words.size() >= 2 && words[1] == "list";
        if (list ? words.size() != 5 : words.size() != 3) {
            return Fail(
                "expected \"property <type> <name>\" or \"property list <count type> <item "
                "type> <name>\"");
        }
        property.isList = list;
        const std::string_view typeName = words[list ? 3 : 1];
        if (!PlyTypeFromName(typeName, property.type)) {
            return Fail("unknown property type " + Quoted(typeName));
        }
        if (list && (!PlyTypeFromName(words[2], property.countType) ||
                     !PlyTypeIsInteger(property.countType))) {
            return Fail("the length type of a list must be an integer type, not " +
                        Quoted(words[2]));
        }
        property.name = words.back();
        header_.elements.back().properties.push_back(std::move(property));
        return CResult::Ok();
    }

    std::string_view bytes_;
    CPlyHeader& header_;
    std::unordered_set<std::string_view> elementNames_;
    size_t at_ = 0;
    int lineNumber_ = 0;
    bool ranOut_ = false;
};

}  // namespace

bool PlyTypeFromName(std::string_view name, CPlyType& type) {
    for (const CPlyTypeNames& names : TypeNames) {
        if (name == names.classic || name == names.sized) {
            type = names.type;
            return true;
        }
    }
    return false;
}

const char* PlyTypeName(CPlyType type) {
    return NamesOf(type).classic;
}

size_t PlyTypeBytes(CPlyType type) {
    return NamesOf(type).bytes;
}

bool PlyTypeIsInteger(CPlyType type) {
    return type != CPlyType::Float32 && type != CPlyType::Float64;
}

CResult ParsePlyHeader(std::string_view bytes, CPlyHeader& header, bool* ranOut) {
    header = CPlyHeader();
    CHeaderParser parser(bytes, header);
    const CResult parsed = parser.Parse();
    if (ranOut) {
        *ranOut = !parsed && parser.RanOut();
    }
    return parsed;
}

std::string PlyHeaderText(const CPlyOutput& ply) {
    std::string text = "ply\nformat ";
    text += ply.ascii ? "ascii" : "binary_little_endian";
    text += " 1.0\n";
    for (const std::string& comment : ply.comments) {
        text += "comment " + comment + "\n";
    }
    text += "element vertex " + std::to_string(ply.count) + "\n";
    for (const CPlyOutputColumn& column : ply.columns) {
        text += std::string("property ") + PlyTypeName(column.type) + " " + column.name + "\n";
    }
    text += "end_header\n";
    return text;
}

}  // namespace VelpoTools
