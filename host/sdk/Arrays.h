// Plain value arrays of the host: 32-bit floats and 32-bit signed integers.
//
// CLongArray holds 32-bit integers on every platform, whatever the width of
// the C++ long there. New elements are zero; a negative size is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/sdk/CStatus.h"
#include "host/sdk/Export.h"

namespace XSI {

template <class T>
class CValueArray {
public:
    explicit CValueArray(int32_t count = 0) : items_(count > 0 ? static_cast<size_t>(count) : 0) {}

    int32_t GetCount() const { return static_cast<int32_t>(items_.size()); }
    CStatus Resize(int32_t count) {
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
    std::vector<T> items_;
};

using CFloatArray = CValueArray<float>;
using CLongArray = CValueArray<int32_t>;

}  // namespace XSI
