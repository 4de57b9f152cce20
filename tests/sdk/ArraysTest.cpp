// The host's value arrays: Resize gives new elements zero, ResizeForOverwrite
// keeps the elements it keeps and sizes without writing.
#include <gtest/gtest.h>

#include "host/sdk/Arrays.h"
#include "host/sdk/Math.h"

namespace {

using XSI::CStatus;
using XSI::MATH::CVector3;

// Each array kind through the same steps: values written, shrunk for
// overwrite, grown back with Resize. Storage freed by the shrink is reused
// by the growth, so a Resize that did not zero would show the old values.
template <class Array, class Value>
void CheckArray(Value written) {
    Array array(3);
    for (int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(array[i], Value()) << i;
    }
    ASSERT_EQ(array.ResizeForOverwrite(64), CStatus::OK);
    ASSERT_EQ(array.GetCount(), 64);
    for (int32_t i = 0; i < 64; ++i) {
        array[i] = written;
    }
    ASSERT_EQ(array.ResizeForOverwrite(2), CStatus::OK);
    EXPECT_EQ(array[1], written);
    ASSERT_EQ(array.Resize(64), CStatus::OK);
    EXPECT_EQ(array[1], written);
    for (int32_t i = 2; i < 64; ++i) {
        EXPECT_EQ(array[i], Value()) << i;
    }
    EXPECT_EQ(array.ResizeForOverwrite(-1), CStatus::InvalidArgument);
    EXPECT_EQ(array.Resize(-1), CStatus::InvalidArgument);
    EXPECT_EQ(array.GetCount(), 64);
}

TEST(Arrays, ResizeZeroesNewElementsResizeForOverwriteKeepsTheRest) {
    CheckArray<XSI::CFloatArray>(-1.5f);
    CheckArray<XSI::CLongArray>(int32_t{-7});
    CheckArray<XSI::MATH::CVector3Array>(CVector3(1, -2, 3));
}

}  // namespace
