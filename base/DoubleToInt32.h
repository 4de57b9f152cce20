// A double as a 32-bit integer, the one way the project narrows: the file
// layer's Long slots and the SDK's values both take doubles so. Depends on
// nothing of the project.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

// A double as a Long value: truncated toward zero (-2.9 gives -2), saturated
// to the nearest 32-bit limit outside that range, NaN gives 0. Defined for
// every double, unlike a plain cast.
inline int32_t DoubleToInt32(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
        return std::numeric_limits<int32_t>::min();
    }
    if (value >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(value);
}
