#include "tools/view/RecordKey.h"

namespace VelpoTools {

std::string RecordKey(std::string_view name) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string key;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                           byte == '_' || byte == '~';
        if (plain) {
            key += c;
        } else {
            key += '%';
            key += Hex[byte >> 4];
            key += Hex[byte & 0xF];
        }
    }
    return key;
}

}  // namespace VelpoTools
