// The host's value variant: empty, integer, double, pointer, vector or text.
//
// Reading converts where a user would expect it to: an integer or a double
// reads as its decimal text, a text that holds a number reads as that number,
// a double reads as an integer truncated toward zero and saturated to the
// 32-bit range (NaN gives 0). A pointer reads back only as a pointer.
#pragma once

#include <cstdint>

#include "host/sdk/CString.h"
#include "host/sdk/Export.h"
#include "host/sdk/Math.h"

namespace XSI {

class XSI_API CValue {
public:
    enum Type : int32_t { Empty = 0, Int = 1, Double = 2, Pointer = 3, Vector3f = 4, String = 5 };

    CValue() = default;
    CValue(int32_t value) : type_(Int), int_(value) {}
    CValue(double value) : type_(Double), double_(value) {}
    CValue(void* value) : type_(Pointer), pointer_(value) {}
    CValue(const MATH::CVector3f& value) : type_(Vector3f), vector_(value) {}
    CValue(const CString& value) : type_(String), text_(value) {}
    CValue(const wchar_t* value) : type_(String), text_(value) {}

    Type GetType() const { return type_; }
    bool IsEmpty() const { return type_ == Empty; }

    int32_t GetAsInt() const;
    double GetAsDouble() const;
    CString GetAsText() const;
    void* GetAsPointer() const { return type_ == Pointer ? pointer_ : nullptr; }
    MATH::CVector3f GetAsVector3f() const {
        return type_ == Vector3f ? vector_ : MATH::CVector3f();
    }

    operator int32_t() const { return GetAsInt(); }
    operator CString() const { return GetAsText(); }
    explicit operator void*() const { return GetAsPointer(); }

    // Same type and same value (texts compared exactly).
    bool operator==(const CValue& other) const;

private:
    Type type_ = Empty;
    int32_t int_ = 0;
    double double_ = 0.0;
    void* pointer_ = nullptr;
    MATH::CVector3f vector_;
    CString text_;
};

}  // namespace XSI
