// A PDC file written from numbers the module holds (NumPy arrays), with
// nothing of Python in it, so that it runs while the interpreter's lock is
// released. Records go out in the order given, through the file layer's
// record writer, into a file that replaces `path` only when whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pdc/SafeWrite.h"

namespace VelpoPython {

struct CWriteRecord {
    std::string name;
    int32_t code = 0;
    // Exactly one is set: int32 numbers for codes 0 and 1, doubles otherwise.
    const int32_t* integers = nullptr;
    const double* doubles = nullptr;
    size_t numbers = 0;  // a vector counts three
};

// False, with the reason, when the file cannot be written or put in place
// (see pdc/SafeWrite.h, the writer of the Export node) or a record does not
// fit its code. `durability`: what a file written survives (see there).
bool WriteCache(const std::string& path, int32_t particleCount,
                const std::vector<CWriteRecord>& records, std::string& reason,
                CDurability durability = CDurability::Process);

}  // namespace VelpoPython
