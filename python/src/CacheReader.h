// A PDC file read into buffers that the module hands to NumPy as they are:
// the record walker's reading, with nothing of Python in it, so that it runs
// while the interpreter's lock is released.
//
// Each record's numbers go from the stream straight into the one buffer the
// array will own and are turned to the machine's byte order in place; no
// copy follows. The walker has checked every count against the bytes the
// file holds before a buffer is sized, so memory stays bounded by the file.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "pdc/Pdc.h"

namespace VelpoPython {

struct CReadRecord {
    std::string name;  // its bytes up to the first zero byte
    int32_t code = 0;
    int64_t count = 0;  // values: 1, or the header's particle count
    // count * components numbers in the machine's byte order, int32 for
    // codes 0 and 1 and doubles (their bits) for the others.
    std::unique_ptr<uint32_t[]> integers;
    std::unique_ptr<uint64_t[]> doubles;

    int32_t Components() const { return code >= PdcCodeVector ? 3 : 1; }
    bool IsArray() const { return code % 2 == 1; }
};

struct CReadCache {
    PdcHeader header;
    std::vector<CReadRecord> records;  // in file order, one per name
};

struct CReadFailure {
    std::string reason;  // the walker's problem, or the system's reason
    int error = 0;       // errno when the file could not be opened, else 0
};

// Reads `path`. `wanted` null: every record; else only the records whose
// name it holds, the others stepped over. A record whose name an earlier
// record had, or whose name is longer than the walker keeps, is stepped
// over too: the nodes fill no slot from it either. False, with the reason,
// on a file the walker refuses; std::bad_alloc when memory runs out.
bool ReadCache(const std::string& path, const std::set<std::string>* wanted, CReadCache& cache,
               CReadFailure& failure);

}  // namespace VelpoPython
