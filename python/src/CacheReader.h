// A PDC file read into buffers that the module hands to NumPy as they are:
// the record walker's reading, with nothing of Python in it, so that it runs
// while the interpreter's lock is released.
//
// Each record's numbers go from the stream straight into the one buffer the
// array will own and are turned to the machine's byte order in place; no
// copy follows. The walker has checked every count against the bytes the
// file holds before a buffer is sized, so memory stays bounded by the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "pdc/Pdc.h"

namespace VelpoPython {

struct CFreeMemory {
    void operator()(void* memory) const { std::free(memory); }
};

// A record's numbers: memory from AllocateNumbers, released with std::free
// (by NumPy, once the array that adopts it goes).
template <class Word>
using CNumbers = std::unique_ptr<Word[], CFreeMemory>;

// `bytes` of memory for numbers that are written once, right away. The
// pages of a large block are made present in one call rather than by one
// fault each at their first write, which costs as much as the copy from the
// file. std::bad_alloc when the memory is not there.
void* AllocateNumbers(size_t bytes);

struct CReadRecord {
    std::string name;  // its bytes up to the first zero byte
    int32_t code = 0;
    int64_t count = 0;  // values: 1, or the header's particle count
    // Whether this is the record its name delivers (pdc/SlotFilling.h: the
    // last record of the name), which Cache[name] gives.
    bool delivered = false;
    // count * components numbers in the machine's byte order, int32 for
    // codes 0 and 1 and doubles (their bits) for the others.
    CNumbers<uint32_t> integers;
    CNumbers<uint64_t> doubles;

    int32_t Components() const { return PdcCodeComponents(code); }
    bool IsArray() const { return PdcCodeIsArray(code); }
    bool IsInteger() const { return PdcCodeIsInteger(code); }
};

struct CReadCache {
    PdcHeader header;
    std::vector<CReadRecord> records;  // every record read, in file order
    std::vector<std::string> missing;  // names wanted that no record has
};

struct CReadFailure {
    std::string reason;  // the walker's problem, or the system's reason
    int error = 0;       // errno when the file could not be opened, else 0
};

// Reads `path`. `wanted` null: every record; else only the records of the
// names it holds (compared as the nodes compare names), the others stepped
// over. A record whose name is longer than the walker keeps is stepped over
// too: no reader delivers it. False, with the reason, on a file the walker
// refuses; std::bad_alloc when memory runs out.
bool ReadCache(const std::string& path, const std::vector<std::string>* wanted, CReadCache& cache,
               CReadFailure& failure);

// A name as the nodes compare it: its bytes decoded as the host decodes a
// narrow string, in UTF-8. Two names are one for the readers when their
// keys are equal.
std::string NameKey(const std::string& name);

}  // namespace VelpoPython
