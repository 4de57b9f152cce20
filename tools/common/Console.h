// Where a job says what it has to say while it runs: its results, and its
// errors, warnings and progress line. Library code speaks only through one;
// the command hands over the process's standard streams, a test one that
// keeps the text.
//
// Not thread-safe: callers take turns (the frame runner and the progress
// line write from one thread at a time).
#pragma once

#include <string_view>

namespace VelpoTools {

class CConsole {
public:
    enum class CStream { Out, Err };

    virtual ~CConsole() = default;

    // `Out`: results. `Err`: errors, warnings, the progress line. Each
    // piece is shown before the call returns, so that the two streams
    // interleave as they were written.
    virtual void Write(CStream stream, std::string_view text) = 0;
};

}  // namespace VelpoTools
