#include "tools/Command.h"

#include <cstdio>

namespace VelpoTools {

void PrintError(const std::string& command, const std::string& text) {
    std::fprintf(stderr, "velpo %s: error: %s\n", command.c_str(), text.c_str());
}

void PrintWarning(const std::string& command, const std::string& text) {
    std::fprintf(stderr, "velpo %s: warning: %s\n", command.c_str(), text.c_str());
}

}  // namespace VelpoTools
