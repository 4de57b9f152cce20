// The check of a fuzz target: a condition that must hold for every input.
// A false one aborts, which libFuzzer and the replay program report as a
// crash together with the input that caused it.
#pragma once

#include <cstdlib>

namespace VelpoTestSupport {

inline void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace VelpoTestSupport
