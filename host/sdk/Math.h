// Vectors of the host's MATH namespace.
//
// Both vector types are three plain components with no padding, so an array
// of them can be moved as a run of floats or doubles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/sdk/Arrays.h"
#include "host/sdk/CStatus.h"
#include "host/sdk/Export.h"

namespace XSI::MATH {

class CVector3f {
public:
    constexpr CVector3f() = default;
    constexpr CVector3f(float x, float y, float z) : x_(x), y_(y), z_(z) {}

    constexpr float GetX() const { return x_; }
    constexpr float GetY() const { return y_; }
    constexpr float GetZ() const { return z_; }
    void PutX(float x) { x_ = x; }
    void PutY(float y) { y_ = y; }
    void PutZ(float z) { z_ = z; }
    void Set(float x, float y, float z) { x_ = x, y_ = y, z_ = z; }
    void Get(float& x, float& y, float& z) const { x = x_, y = y_, z = z_; }

    constexpr bool operator==(const CVector3f&) const = default;

private:
    float x_ = 0.0f, y_ = 0.0f, z_ = 0.0f;
};

class CVector3 {
public:
    constexpr CVector3() = default;
    constexpr CVector3(double x, double y, double z) : x_(x), y_(y), z_(z) {}

    constexpr double GetX() const { return x_; }
    constexpr double GetY() const { return y_; }
    constexpr double GetZ() const { return z_; }
    void PutX(double x) { x_ = x; }
    void PutY(double y) { y_ = y; }
    void PutZ(double z) { z_ = z; }
    void Set(double x, double y, double z) { x_ = x, y_ = y, z_ = z; }
    void Get(double& x, double& y, double& z) const { x = x_, y = y_, z = z_; }

    constexpr bool operator==(const CVector3&) const = default;

private:
    double x_ = 0.0, y_ = 0.0, z_ = 0.0;
};

static_assert(sizeof(CVector3f) == 3 * sizeof(float));
static_assert(sizeof(CVector3) == 3 * sizeof(double));

// Array of double-precision vectors; new elements are (0, 0, 0), except
// after ResizeForOverwrite.
//
// What allocates is defined here, in the header, so that it runs in the
// caller's module: a failed allocation throws std::bad_alloc where the
// caller's handler can catch it. Thrown inside the SDK's DLL, it could not
// be: the Windows build links each module with its own static copy of the
// compiler's unwinder, which knows only that module's frames, so an
// exception raised in one module and bound for a handler in another ends
// the process (std::terminate).
class XSI_API CVector3Array {
public:
    explicit CVector3Array(int32_t count = 0)
        : items_(count > 0 ? static_cast<size_t>(count) : 0, CVector3()) {}

    int32_t GetCount() const { return static_cast<int32_t>(items_.size()); }
    // A negative count is refused (InvalidArgument) and changes nothing.
    // Throws std::bad_alloc when the memory is not there (the array is then
    // unchanged).
    CStatus Resize(int32_t count) {
        if (count < 0) {
            return CStatus::InvalidArgument;
        }
        items_.resize(static_cast<size_t>(count), CVector3());
        return CStatus::OK;
    }
    // Resize whose new elements hold no defined value until written (see
    // CValueArray::ResizeForOverwrite).
    CStatus ResizeForOverwrite(int32_t count) {
        if (count < 0) {
            return CStatus::InvalidArgument;
        }
        items_.resize(static_cast<size_t>(count));
        return CStatus::OK;
    }
    CVector3& operator[](int32_t index) { return items_[static_cast<size_t>(index)]; }
    const CVector3& operator[](int32_t index) const { return items_[static_cast<size_t>(index)]; }
    // Contiguous storage of GetCount() elements, for bulk transfer.
    CVector3* GetArray() { return items_.data(); }
    const CVector3* GetArray() const { return items_.data(); }

private:
    std::vector<CVector3, CArrayAllocator<CVector3>> items_;
};

}  // namespace XSI::MATH
