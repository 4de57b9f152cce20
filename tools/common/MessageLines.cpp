#include "tools/common/MessageLines.h"

#include "tools/common/Text.h"

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

}  // namespace VelpoTools
