// A 64-bit hash of a frame's contents, fed while the file is walked, so
// that `velpo check` tells two frames with identical records apart from
// two that merely look alike, without reading either twice.
//
// xxHash's XXH3 over the bytes fed, in the order fed: every input bit
// reaches every output bit, at memory speed. It is no defence against
// forged collisions, which a check of one's own simulation does not need.
// The value is never stored, so it may change with the library.
//
// The value depends only on the bytes fed and their order, never on how
// they were split into calls, so chunked reads give the same hash as one
// read. Not thread-safe: one thread feeds one hash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace VelpoTools {

class CContentHash {
public:
    CContentHash() { XXH3_64bits_reset(&state_); }

    void Add(uint64_t word) { XXH3_64bits_update(&state_, &word, sizeof word); }

    // The bytes, then their count: "ab" + "c" and "a" + "bc" differ.
    void AddBytes(std::string_view bytes) {
        XXH3_64bits_update(&state_, bytes.data(), bytes.size());
        Add(bytes.size());
    }

    // The bits of each value.
    void AddDoubles(const double* values, size_t count) {
        XXH3_64bits_update(&state_, values, count * sizeof(double));
    }

    uint64_t Value() const { return XXH3_64bits_digest(&state_); }

private:
    XXH3_state_t state_;
};

}  // namespace VelpoTools
