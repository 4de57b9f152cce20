#include "host/runtime/Evaluation.h"

#include <algorithm>
#include <bit>

namespace VelpoHost {

namespace {

bool Unwritten(int32_t value) {
    return value == UnwrittenLong;
}

bool Unwritten(float value) {
    return std::bit_cast<uint32_t>(value) == UnwrittenFloatBits;
}

bool Unwritten(const XSI::MATH::CVector3f& value) {
    return Unwritten(value.GetX()) || Unwritten(value.GetY()) || Unwritten(value.GetZ());
}

}  // namespace

int32_t DataTypeOf(const CValues& values) {
    switch (values.index()) {
        case 0:
            return XSI::siICENodeDataLong;
        case 1:
            return XSI::siICENodeDataFloat;
        default:
            return XSI::siICENodeDataVector3;
    }
}

uint32_t UnwrittenCount(const CValues& values) {
    return std::visit(
        [](const auto& items) {
            return static_cast<uint32_t>(std::count_if(
                items.begin(), items.end(), [](const auto& item) { return Unwritten(item); }));
        },
        values);
}

}  // namespace VelpoHost
