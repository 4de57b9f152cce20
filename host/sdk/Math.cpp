#include "host/sdk/Math.h"

namespace XSI::MATH {

CVector3Array::CVector3Array(int32_t count)
    : items_(count > 0 ? static_cast<size_t>(count) : 0, CVector3()) {}

CStatus CVector3Array::Resize(int32_t count) {
    if (count < 0) {
        return CStatus::InvalidArgument;
    }
    items_.resize(static_cast<size_t>(count), CVector3());
    return CStatus::OK;
}

CStatus CVector3Array::ResizeForOverwrite(int32_t count) {
    if (count < 0) {
        return CStatus::InvalidArgument;
    }
    items_.resize(static_cast<size_t>(count));
    return CStatus::OK;
}

}  // namespace XSI::MATH
