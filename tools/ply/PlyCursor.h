// The read position in a PLY file's data. Every read of the data goes
// through Take, which hands out the next bytes only when that many are
// left and otherwise takes nothing, so no count or list length a header or
// a row declares can move a read past the end of the bytes.
//
// The cursor only points into bytes it does not own: they must outlive it.
// One cursor belongs to one reader; it keeps no other state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace VelpoTools {

class CPlyCursor {
public:
    // At byte `at` of `bytes` (at most their end).
    CPlyCursor(std::string_view bytes, size_t at)
        : data_(reinterpret_cast<const unsigned char*>(bytes.data())),
          size_(bytes.size()),
          at_(at < bytes.size() ? at : bytes.size()) {}

    size_t Left() const { return size_ - at_; }

    // The next `n` bytes, or nullptr, with nothing taken, when fewer are left.
    const unsigned char* Take(size_t n) {
        if (n > Left()) {
            return nullptr;
        }
        const unsigned char* taken = data_ + at_;
        at_ += n;
        return taken;
    }

    // `count` items of `itemBytes` each, checked by division, so that no
    // product of a forged count can wrap; nullptr when they are not all there.
    const unsigned char* Take(uint64_t count, size_t itemBytes) {
        if (itemBytes != 0 && count > Left() / itemBytes) {
            return nullptr;
        }
        return Take(static_cast<size_t>(count) * itemBytes);
    }

    // The next word of ASCII data, past any blanks and line ends; empty at
    // the end of the bytes.
    std::string_view Word() {
        while (at_ < size_ && IsBlank(data_[at_])) {
            ++at_;
        }
        const size_t start = at_;
        while (at_ < size_ && !IsBlank(data_[at_])) {
            ++at_;
        }
        return {reinterpret_cast<const char*>(data_) + start, at_ - start};
    }

private:
    static bool IsBlank(unsigned char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
    }

    const unsigned char* data_;
    size_t size_;
    size_t at_;
};

}  // namespace VelpoTools
