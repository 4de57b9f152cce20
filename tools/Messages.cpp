#include "tools/Messages.h"

#include <cstdio>

#include "tools/Text.h"

namespace VelpoTools {

namespace {

std::string Line(const std::string& command, const char* kind, const std::string& text) {
    const std::string who = command.empty() ? "velpo" : "velpo " + command;
    return who + ": " + kind + ": " + Escaped(text) + "\n";
}

}  // namespace

std::string ErrorLine(const std::string& command, const std::string& text) {
    return Line(command, "error", text);
}

std::string WarningLine(const std::string& command, const std::string& text) {
    return Line(command, "warning", text);
}

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
