// How the page names a record in a URL: its name bytes percent-encoded,
// every byte but ASCII letters, digits and "-._~" as %XX. Names are raw
// bytes and need not be UTF-8, so the JSON "name" shown to the user may
// have lost bytes, while the key always gives the exact name back once the
// server decodes the URL.
#pragma once

#include <string>
#include <string_view>

namespace VelpoTools {

std::string RecordKey(std::string_view name);

}  // namespace VelpoTools
