// A console that keeps what the libraries say, for tests to read.
#pragma once

#include <string>
#include <string_view>

#include "tools/common/Console.h"

namespace VelpoTools {

class CKeptConsole final : public CConsole {
public:
    void Write(CStream stream, std::string_view text) override {
        (stream == CStream::Out ? out : err).append(text);
    }

    std::string out;
    std::string err;
};

}  // namespace VelpoTools
