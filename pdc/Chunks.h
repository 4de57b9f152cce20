// Values read from a stream in runs, not one call per value (writers go
// through CPdcWriter, pdc/RecordWriter.h).
//
// The stream sees the same bytes in the same order as with one call per
// value; only the number of calls changes. A short read still delivers every
// value that arrived whole, so a failed read leaves the same values stored.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <memory>

namespace PdcChunks {

// Largest run moved per call. Big enough that the per-call cost vanishes,
// small enough to stay in the cache between the stream copy and the byte
// order conversion.
inline constexpr size_t MaxChunkBytes = 256 * 1024;

// Runs that fit here never touch the heap (single values, short arrays).
inline constexpr size_t SmallChunkBytes = 1024;

// Scratch space for one transfer of `count` values of `width` bytes.
class CChunkBuffer {
public:
    CChunkBuffer(size_t width, size_t count)
        : valuesPerChunk_(std::max<size_t>(1, std::min(count, MaxChunkBytes / width))) {
        if (valuesPerChunk_ * width > SmallChunkBytes) {
            heap_.reset(new unsigned char[valuesPerChunk_ * width]);
        }
    }
    unsigned char* Bytes() { return heap_ ? heap_.get() : small_; }
    size_t ValuesPerChunk() const { return valuesPerChunk_; }

private:
    size_t valuesPerChunk_;
    std::unique_ptr<unsigned char[]> heap_;
    unsigned char small_[SmallChunkBytes];
};

// Reads `count` values of `width` bytes. For every run that arrived whole,
// store(bytes, firstIndex, runLength) converts it into place. True when all
// `count` values arrived.
template <class Store>
bool ReadValues(FILE* file, size_t width, size_t count, Store&& store) {
    if (count == 0) {
        return true;
    }
    CChunkBuffer buffer(width, count);
    for (size_t first = 0; first < count;) {
        const size_t run = std::min(buffer.ValuesPerChunk(), count - first);
        const size_t got = std::fread(buffer.Bytes(), 1, run * width, file);
        store(static_cast<const unsigned char*>(buffer.Bytes()), first, got / width);
        if (got != run * width) {
            return false;
        }
        first += run;
    }
    return true;
}

}  // namespace PdcChunks
