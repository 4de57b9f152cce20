// How an error or a warning reads: one line,
// "velpo <command>: error: <text>", control characters escaped. Library
// code builds these lines for reports gathered while frames run; printing
// them, and the exit codes, are the command's (tools/cli/Messages.h).
#pragma once

#include <string>

namespace VelpoTools {

// "velpo <command>: error: <text>\n" ("velpo: error: ..." when `command` is
// empty).
std::string ErrorLine(const std::string& command, const std::string& text);
std::string WarningLine(const std::string& command, const std::string& text);

}  // namespace VelpoTools
