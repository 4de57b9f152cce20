#include "tools/view/StableSubset.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>

namespace VelpoTools {

namespace {

// The finaliser of SplitMix64: every input bit moves every output bit, so
// consecutive ids spread evenly over the keys.
uint32_t Mix(uint64_t value) {
    value += 0x9E3779B97F4A7C15ull;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    value ^= value >> 31;
    return static_cast<uint32_t>(value >> 32);
}

}  // namespace

uint32_t IdKey(int64_t id) {
    return Mix(static_cast<uint64_t>(id));
}

uint32_t IdKey(double id) {
    // Whole numbers in the 64-bit range take the integer's key; anything
    // else (fractions, NaN, infinities) its bits, offset so as not to meet
    // the integers' keys by design.
    if (std::isfinite(id) && std::trunc(id) == id && std::fabs(id) < 9.2e18) {
        return IdKey(static_cast<int64_t>(id));
    }
    return Mix(std::bit_cast<uint64_t>(id) ^ 0x5555555555555555ull);
}

uint32_t IndexKey(int64_t index) {
    return Mix(static_cast<uint64_t>(index) ^ 0xA5A5A5A5A5A5A5A5ull);
}

std::vector<int64_t> StableSubset(const std::vector<uint32_t>& keys, int64_t budget) {
    const size_t count = keys.size();
    const size_t wanted = budget <= 0 ? 0 : std::min(count, static_cast<size_t>(budget));
    std::vector<int64_t> chosen;
    if (wanted == count) {
        chosen.resize(count);
        std::iota(chosen.begin(), chosen.end(), int64_t{0});
        return chosen;
    }
    chosen.reserve(wanted);
    if (wanted == 0) {
        return chosen;
    }
    // The wanted-th smallest key: every key below it is taken, and of the
    // keys equal to it as many as still fit, lowest index first.
    std::vector<uint32_t> sorted(keys);
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(wanted - 1),
                     sorted.end());
    const uint32_t limit = sorted[wanted - 1];
    sorted = std::vector<uint32_t>();
    size_t below = 0;
    for (const uint32_t key : keys) {
        below += key < limit ? 1 : 0;
    }
    size_t equalLeft = wanted - below;
    for (size_t i = 0; i < count; ++i) {
        if (keys[i] < limit || (keys[i] == limit && equalLeft > 0)) {
            equalLeft -= keys[i] == limit ? 1 : 0;
            chosen.push_back(static_cast<int64_t>(i));
        }
    }
    return chosen;
}

}  // namespace VelpoTools
