#include "host/sdk/CUtils.h"

#include <cctype>
#include <cstdlib>
#include <string>

namespace XSI {

namespace {

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) {
        return home;
    }
    if (const char* profile = std::getenv("USERPROFILE"); profile && *profile) {
        return profile;
    }
    return "~";
}

}  // namespace

CString CUtils::ResolvePath(const CString& path) {
    const std::string in = path.ToUtf8();
    std::string out;
    size_t i = 0;
    if (!in.empty() && in[0] == '~' && (in.size() == 1 || IsSeparator(in[1]))) {
        out = HomeFolder();
        i = 1;
    }
    while (i < in.size()) {
        if (in[i] != '$') {
            out += in[i++];
            continue;
        }
        // $VAR or ${VAR}; a reference to an unset variable stays as written.
        size_t nameBegin, nameEnd, next;
        if (i + 1 < in.size() && in[i + 1] == '{') {
            nameBegin = i + 2;
            nameEnd = in.find('}', nameBegin);
            if (nameEnd == std::string::npos) {
                out += in[i++];
                continue;
            }
            next = nameEnd + 1;
        } else {
            nameBegin = i + 1;
            nameEnd = nameBegin;
            while (nameEnd < in.size() && IsNameChar(in[nameEnd])) {
                ++nameEnd;
            }
            next = nameEnd;
        }
        const std::string name = in.substr(nameBegin, nameEnd - nameBegin);
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        if (value) {
            out += value;
        } else {
            out.append(in, i, next - i);
        }
        i = next;
    }
    return CString::FromUtf8(out);
}

}  // namespace XSI
