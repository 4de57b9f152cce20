// Text taken from files, made safe to show on a terminal.
#pragma once

#include <string>
#include <string_view>

namespace VelpoTools {

// `text` with every control character written as an escape (\n, \t, \r,
// \xNN for the rest, DEL included), so that a name read from a file can
// neither move the cursor nor recolour the terminal. Other bytes, UTF-8 and
// backslashes included, stay as they are, so escaping twice changes nothing
// and Windows paths read as they are.
std::string Escaped(std::string_view text);

// `text` with the ASCII capitals made small and every other byte as it
// stands, whatever the locale: for extensions, host names and other words
// that compare without case.
std::string AsciiLower(std::string_view text);

// Escaped and in double quotes: how the commands show a name in a message.
std::string Quoted(std::string_view text);

}  // namespace VelpoTools
