// A 64-bit hash of a frame's contents, fed while the file is walked, so
// that `velpo check` tells two frames with identical records apart from
// two that merely look alike, without reading either twice.
//
// The hash is a stream of 64-bit words spread over four lanes, each lane
// mixed by a multiply-rotate-multiply round (the round of xxHash64), the
// lanes merged and the result avalanched at the end. Every input bit
// reaches every output bit; it is no defence against forged collisions,
// which a check of one's own simulation does not need.
//
// The value depends only on the words fed and their order, never on how
// they were split into calls, so chunked reads give the same hash as one
// read. Not thread-safe: one thread feeds one hash.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace VelpoTools {

class CContentHash {
public:
    void Add(uint64_t word) {
        Round(lanes_[words_ & 3], word);
        ++words_;
    }

    // The bytes, then their count: "ab" + "c" and "a" + "bc" differ.
    void AddBytes(std::string_view bytes) {
        size_t at = 0;
        for (; at + 8 <= bytes.size(); at += 8) {
            uint64_t word = 0;
            std::memcpy(&word, bytes.data() + at, 8);
            Add(word);
        }
        if (at < bytes.size()) {
            uint64_t last = 0;
            std::memcpy(&last, bytes.data() + at, bytes.size() - at);
            Add(last);
        }
        Add(bytes.size());
    }

    // The bits of each value; a run of values takes the four-lane path,
    // which runs at memory speed.
    void AddDoubles(const double* values, size_t count) {
        size_t i = 0;
        for (; i < count && (words_ & 3) != 0; ++i) {
            Add(std::bit_cast<uint64_t>(values[i]));
        }
        std::array<uint64_t, 4> lanes = lanes_;
        for (; i + 4 <= count; i += 4) {
            Round(lanes[0], std::bit_cast<uint64_t>(values[i]));
            Round(lanes[1], std::bit_cast<uint64_t>(values[i + 1]));
            Round(lanes[2], std::bit_cast<uint64_t>(values[i + 2]));
            Round(lanes[3], std::bit_cast<uint64_t>(values[i + 3]));
            words_ += 4;
        }
        lanes_ = lanes;
        for (; i < count; ++i) {
            Add(std::bit_cast<uint64_t>(values[i]));
        }
    }

    uint64_t Value() const {
        uint64_t hash = std::rotl(lanes_[0], 1) + std::rotl(lanes_[1], 7) +
                        std::rotl(lanes_[2], 12) + std::rotl(lanes_[3], 18);
        for (const uint64_t lane : lanes_) {
            uint64_t mixed = 0;
            Round(mixed, lane);
            hash = (hash ^ mixed) * Prime1 + Prime4;
        }
        hash += words_;
        hash ^= hash >> 33;
        hash *= Prime2;
        hash ^= hash >> 29;
        hash *= Prime3;
        hash ^= hash >> 32;
        return hash;
    }

private:
    static constexpr uint64_t Prime1 = 0x9E3779B185EBCA87ULL;
    static constexpr uint64_t Prime2 = 0xC2B2AE3D27D4EB4FULL;
    static constexpr uint64_t Prime3 = 0x165667B19E3779F9ULL;
    static constexpr uint64_t Prime4 = 0x85EBCA77C2B2AE63ULL;

    static void Round(uint64_t& lane, uint64_t word) {
        lane = std::rotl(lane + word * Prime2, 31) * Prime1;
    }

    std::array<uint64_t, 4> lanes_ = {Prime1 + Prime2, Prime2, 0, 0 - Prime1};
    uint64_t words_ = 0;
};

}  // namespace VelpoTools
