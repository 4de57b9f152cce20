// The `velpo` command: the function each subcommand file offers to hook
// itself into the command line, and the whole command. Exit codes and how
// errors are shown are tools/cli/Messages.h.
#pragma once

#include <string>

#include "base/Result.h"
#include "tools/cli/Messages.h"

namespace CLI {
class App;
}

namespace VelpoTools {

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
