#include "tools/common/Text.h"

namespace VelpoTools {

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::string Escaped(std::string_view text) {
    static constexpr char Hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\n':
                out += "\\n";
                continue;
            case '\t':
                out += "\\t";
                continue;
            case '\r':
                out += "\\r";
                continue;
            default:
                break;
        }
        if (byte < 0x20 || byte == 0x7F) {
            out += "\\x";
            out += Hex[byte >> 4];
            out += Hex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

std::string Quoted(std::string_view text) {
    // Appended, not "\"" + ...: g++ 12 warns falsely on literal + std::string&&.
    std::string quoted = "\"";
    quoted += Escaped(text);
    quoted += '"';
    return quoted;
}

}  // namespace VelpoTools
