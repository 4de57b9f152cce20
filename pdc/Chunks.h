// Values read from a stream in runs, not one call per value (writers go
// through CPdcWriter, pdc/RecordWriter.h).
//
// The stream sees the same bytes in the same order as with one call per
// value; only the number of calls changes. A short read still delivers every
// value that arrived whole, so a failed read leaves the same values stored.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
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
// store(bytes, firstIndex, runLength) converts it into place; an empty run
// is not handed on. True when all `count` values arrived. Counted in 64
// bits: a record of a large file holds more values than a 32-bit size_t
// can count.
template <class Store>
bool ReadValues(FILE* file, size_t width, int64_t count, Store&& store) {
    if (count <= 0) {
        return true;
    }
    const auto most = static_cast<int64_t>(MaxChunkBytes / width);
    CChunkBuffer buffer(width, static_cast<size_t>(std::min(count, most)));
    const auto perChunk = static_cast<int64_t>(buffer.ValuesPerChunk());
    for (int64_t first = 0; first < count;) {
        const auto run = static_cast<size_t>(std::min(perChunk, count - first));
        const size_t got = std::fread(buffer.Bytes(), 1, run * width, file);
        if (got / width > 0) {
            store(static_cast<const unsigned char*>(buffer.Bytes()), first, got / width);
        }
        if (got != run * width) {
            return false;
        }
        first += static_cast<int64_t>(run);
    }
    return true;
}

// Reads `count` words whose machine form has the file's width straight
// into `out`, a run at a time, each run turned into the machine's byte
// order by swapInPlace(words, count) while it is still in the cache. For
// memory sized for overwrite: on a short read the words that arrived whole
// are converted and the rest, a partly read word included, become zero.
template <class Word, class Swap>
bool ReadInPlace(FILE* file, Word* out, size_t count, Swap swapInPlace) {
    auto* bytes = reinterpret_cast<unsigned char*>(out);
    const size_t perRun = MaxChunkBytes / sizeof(Word);
    size_t done = 0;
    while (file && done < count) {
        const size_t run = std::min(perRun, count - done);
        const size_t got = std::fread(bytes + sizeof(Word) * done, 1, sizeof(Word) * run, file);
        swapInPlace(out + done, got / sizeof(Word));
        done += got / sizeof(Word);
        if (got != sizeof(Word) * run) {
            break;
        }
    }
    if (done < count) {
        std::memset(bytes + sizeof(Word) * done, 0, sizeof(Word) * (count - done));
        return false;
    }
    return true;
}

}  // namespace PdcChunks
