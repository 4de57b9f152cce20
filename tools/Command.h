// What the subcommands of `velpo` share: exit codes, how errors are shown,
// and the function each subcommand file offers to hook itself into the
// command line.
//
// Errors are Velpo::CResult values that name the file or output and
// what is wrong. A subcommand prints them through PrintError and returns
// ExitFailed; a usage error that only shows while running (a frame range
// that runs backwards, two frames that share one cache file) goes through
// UsageError, so it looks and exits like a parse error.
#pragma once

#include <string>

#include "base/Result.h"

namespace CLI {
class App;
}

namespace VelpoTools {

inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1;  // a job failed, a file is bad, output was lost
inline constexpr int ExitUsage = 2;   // the command line or the settings ask for the impossible

// "velpo <command>: error: <text>" on stderr, control characters escaped.
void PrintError(const std::string& command, const std::string& text);
// The same line, with its line end, for output gathered before it is shown.
std::string ErrorLine(const std::string& command, const std::string& text);
std::string WarningLine(const std::string& command, const std::string& text);
void PrintWarning(const std::string& command, const std::string& text);

// Prints the usage error with the parser's hint and gives ExitUsage.
int UsageError(const std::string& command, const Velpo::CResult& problem);

// Each adds its subcommand to `app`; running it stores its exit code in
// `exitCode`.
void AddDemoCommand(CLI::App& app, int& exitCode);
void AddExportCommand(CLI::App& app, int& exitCode);
void AddImportCommand(CLI::App& app, int& exitCode);
void AddInfoCommand(CLI::App& app, int& exitCode);
void AddDumpCommand(CLI::App& app, int& exitCode);
void AddNodesCommand(CLI::App& app, int& exitCode);
void AddConvertCommand(CLI::App& app, int& exitCode);
void AddPreviewCommand(CLI::App& app, int& exitCode);
void AddCheckCommand(CLI::App& app, int& exitCode);
void AddDiffCommand(CLI::App& app, int& exitCode);
void AddViewCommand(CLI::App& app, int& exitCode);

// The whole command: parses the arguments, runs the subcommand, checks that
// standard output took everything, and turns every exception (out of memory
// included) into a message and ExitFailed. Never throws.
int RunVelpo(int argc, char** argv);

}  // namespace VelpoTools
