// Exit codes and how errors and warnings are shown: one line per message
// (tools/common/MessageLines.h), on standard error.
//
// Errors are Velpo::CResult values that name the file or output and
// what is wrong. A subcommand prints them through PrintError and returns
// ExitFailed; a usage error that only shows while running (a frame range
// that runs backwards, two frames that share one cache file) goes through
// UsageError, so it looks and exits like a parse error.
#pragma once

#include <string>

#include "base/Result.h"
#include "tools/common/MessageLines.h"

namespace VelpoTools {

inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1;  // a job failed, a file is bad, output was lost
inline constexpr int ExitUsage = 2;   // the command line or the settings ask for the impossible

// "velpo <command>: error: <text>" on stderr, control characters escaped.
void PrintError(const std::string& command, const std::string& text);
void PrintWarning(const std::string& command, const std::string& text);

// Prints the usage error with the parser's hint and gives ExitUsage.
int UsageError(const std::string& command, const Velpo::CResult& problem);

}  // namespace VelpoTools
