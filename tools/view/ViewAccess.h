// Who may use the server.
//
// Bound to the loopback address (the default), the server is reached only
// from the machine itself, or through an SSH tunnel; it then also refuses
// requests whose Host header names anything but a loopback name, so that a
// web page elsewhere cannot reach it by pointing a name of its own at
// 127.0.0.1 (DNS rebinding).
//
// Opened to a network (--bind), every request must carry the random token
// printed with the address: in the query (?token=), in the header
// X-Velpo-Token, or in the cookie the page receives with it.
//
// Pure functions; thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace VelpoTools {

// 32 hex digits from the system's random source.
std::string NewToken();

struct CAccessRule {
    bool tokenRequired = false;
    std::string token;
};

struct CRequestCredentials {
    std::string host;         // the Host header
    std::string queryToken;   // ?token=
    std::string headerToken;  // X-Velpo-Token
    std::string cookies;      // the Cookie header
};

enum class CAccess { Allowed, NoToken, ForeignHost };

CAccess CheckAccess(const CAccessRule& rule, const CRequestCredentials& request);

// "127.0.0.1", "localhost", "[::1]", any 127.x.y.z, each with or without a
// port.
bool IsLoopbackHost(std::string_view host);

// The value of cookie `name` in a Cookie header; empty when absent.
std::string CookieValue(std::string_view cookies, std::string_view name);

inline constexpr const char* TokenCookie = "velpo-token";

}  // namespace VelpoTools
