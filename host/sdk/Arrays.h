// Plain value arrays of the host: 32-bit floats and 32-bit signed integers.
//
// CLongArray holds 32-bit integers on every platform, whatever the width of
// the C++ long there. New elements are zero, except after ResizeForOverwrite;
// a negative size is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "host/sdk/CStatus.h"
#include "host/sdk/Export.h"

namespace XSI {

// The storage of the host's arrays. An element made without a value (what
// ResizeForOverwrite makes) is left as the allocation holds it, so that
// sizing a large array costs no pass over its memory; elements made any
// other way are value-initialised as usual. Only plain values (trivially
// copyable and destructible) are left unset.
template <class T>
class CArrayAllocator : public std::allocator<T> {
public:
    CArrayAllocator() = default;
    template <class U>
    CArrayAllocator(const CArrayAllocator<U>&) noexcept {}

    template <class U>
    void construct(U* place) noexcept(std::is_nothrow_default_constructible_v<U>) {
        if constexpr (!std::is_trivially_copyable_v<U> || !std::is_trivially_destructible_v<U>) {
            ::new (static_cast<void*>(place)) U;
        }
    }
    template <class U, class... Args>
    void construct(U* place, Args&&... args) {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }
};

template <class T>
class CValueArray {
public:
    explicit CValueArray(int32_t count = 0)
        : items_(count > 0 ? static_cast<size_t>(count) : 0, T{}) {}

    int32_t GetCount() const { return static_cast<int32_t>(items_.size()); }
    CStatus Resize(int32_t count) {
        if (count < 0) {
            return CStatus::InvalidArgument;
        }
        items_.resize(static_cast<size_t>(count), T{});
        return CStatus::OK;
    }
    // Resize whose new elements hold no defined value until written: for a
    // caller that writes every new element before anything reads it. The
    // elements kept keep their values; a negative size is refused.
    CStatus ResizeForOverwrite(int32_t count) {
        if (count < 0) {
            return CStatus::InvalidArgument;
        }
        items_.resize(static_cast<size_t>(count));
        return CStatus::OK;
    }
    T& operator[](int32_t index) { return items_[static_cast<size_t>(index)]; }
    const T& operator[](int32_t index) const { return items_[static_cast<size_t>(index)]; }
    // Contiguous storage of GetCount() elements, for bulk transfer.
    T* GetArray() { return items_.data(); }
    const T* GetArray() const { return items_.data(); }

private:
    std::vector<T, CArrayAllocator<T>> items_;
};

using CFloatArray = CValueArray<float>;
using CLongArray = CValueArray<int32_t>;

}  // namespace XSI
