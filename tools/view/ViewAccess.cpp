#include "tools/view/ViewAccess.h"

#include <algorithm>
#include <cctype>
#include <random>

#include "tools/common/Text.h"

namespace VelpoTools {

std::string NewToken() {
    // std::random_device reads the system's random source (getrandom).
    std::random_device source;
    static constexpr char Hex[] = "0123456789abcdef";
    std::string token;
    for (int word = 0; word < 4; ++word) {
        uint32_t bits = source();
        for (int digit = 0; digit < 8; ++digit) {
            token += Hex[bits & 0xF];
            bits >>= 4;
        }
    }
    return token;
}

namespace {

// The same time whatever the texts, so that a guess cannot be improved
// byte by byte from how long a refusal takes.
bool SameToken(std::string_view given, std::string_view token) {
    if (given.size() != token.size() || token.empty()) {
        return false;
    }
    unsigned char difference = 0;
    for (size_t i = 0; i < token.size(); ++i) {
        difference |= static_cast<unsigned char>(given[i] ^ token[i]);
    }
    return difference == 0;
}

bool IsIPv4Loopback(std::string_view host) {
    // 127.a.b.c with decimal parts.
    if (host.substr(0, 4) != "127.") {
        return false;
    }
    int dots = 0;
    for (const char c : host) {
        if (c == '.') {
            ++dots;
        } else if (c < '0' || c > '9') {
            return false;
        }
    }
    return dots == 3;
}

}  // namespace

bool IsLoopbackHost(std::string_view host) {
    std::string name = AsciiLower(host);
    if (!name.empty() && name.front() == '[') {
        const size_t close = name.find(']');
        if (close == std::string::npos) {
            return false;
        }
        const std::string rest = name.substr(close + 1);
        const bool portOk =
            rest.empty() || (rest.size() > 1 && rest.front() == ':' &&
                             rest.find_first_not_of("0123456789", 1) == std::string::npos);
        return portOk && name.substr(0, close + 1) == "[::1]";
    }
    if (const size_t colon = name.rfind(':'); colon != std::string::npos) {
        const std::string port = name.substr(colon + 1);
        if (port.empty() || port.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        name.resize(colon);
    }
    return name == "localhost" || IsIPv4Loopback(name);
}

std::string CookieValue(std::string_view cookies, std::string_view name) {
    size_t at = 0;
    while (at < cookies.size()) {
        size_t end = cookies.find(';', at);
        if (end == std::string_view::npos) {
            end = cookies.size();
        }
        std::string_view pair = cookies.substr(at, end - at);
        while (!pair.empty() && pair.front() == ' ') {
            pair.remove_prefix(1);
        }
        if (pair.size() > name.size() && pair.substr(0, name.size()) == name &&
            pair[name.size()] == '=') {
            return std::string(pair.substr(name.size() + 1));
        }
        at = end + 1;
    }
    return {};
}

CAccess CheckAccess(const CAccessRule& rule, const CRequestCredentials& request) {
    if (!rule.tokenRequired) {
        return IsLoopbackHost(request.host) ? CAccess::Allowed : CAccess::ForeignHost;
    }
    const bool given = SameToken(request.queryToken, rule.token) ||
                       SameToken(request.headerToken, rule.token) ||
                       SameToken(CookieValue(request.cookies, TokenCookie), rule.token);
    return given ? CAccess::Allowed : CAccess::NoToken;
}

}  // namespace VelpoTools
