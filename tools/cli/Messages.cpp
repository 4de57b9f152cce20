#include "tools/cli/Messages.h"

#include <cstdio>

namespace VelpoTools {

void PrintError(const std::string& command, const std::string& text) {
    std::fputs(ErrorLine(command, text).c_str(), stderr);
}

void PrintWarning(const std::string& command, const std::string& text) {
    std::fputs(WarningLine(command, text).c_str(), stderr);
}

int UsageError(const std::string& command, const Velpo::CResult& problem) {
    PrintError(command, problem.Message());
    std::fprintf(stderr, "Run with --help for more information.\n");
    return ExitUsage;
}

}  // namespace VelpoTools
