// What the subcommands of `velpo` share: exit codes, how errors are shown,
// and the function each subcommand file offers to hook itself into the
// command line.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace VelpoTools {

inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1;  // a job failed or a file is bad
inline constexpr int ExitUsage = 2;   // the command line is wrong

// "velpo <command>: <text>" on stderr.
void PrintError(const std::string& command, const std::string& text);
void PrintWarning(const std::string& command, const std::string& text);

// Each adds its subcommand to `app`; running it stores its exit code in
// `exitCode`. A usage error found while running is thrown as a CLI11
// validation error, so it is shown and exits like a parse error.
void AddDemoCommand(CLI::App& app, int& exitCode);
void AddExportCommand(CLI::App& app, int& exitCode);
void AddImportCommand(CLI::App& app, int& exitCode);
void AddInfoCommand(CLI::App& app, int& exitCode);
void AddDumpCommand(CLI::App& app, int& exitCode);
void AddNodesCommand(CLI::App& app, int& exitCode);

}  // namespace VelpoTools
