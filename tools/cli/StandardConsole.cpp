#include "tools/cli/StandardConsole.h"

#include <cstdio>

#include "tools/common/Output.h"

namespace VelpoTools {

namespace {

class CStandardConsole final : public CConsole {
public:
    void Write(CStream stream, std::string_view text) override {
        if (stream == CStream::Out) {
            StandardOutput().Write(text);
            (void)StandardOutput().Flush();
            return;
        }
        // What the command gathered for standard output shows before what
        // follows on standard error.
        (void)StandardOutput().Flush();
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    }
};

}  // namespace

CConsole& StandardConsole() {
    static CStandardConsole console;
    return console;
}

}  // namespace VelpoTools
