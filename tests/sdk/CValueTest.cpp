// Conversions of the host's value variant.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "host/sdk/CValue.h"

using XSI::CString;
using XSI::CValue;

namespace {

TEST(CValue, IntegersReadAsTheirDecimalText) {
    const int32_t values[] = {0, 42, -7, std::numeric_limits<int32_t>::max(),
                              std::numeric_limits<int32_t>::min()};
    const char* texts[] = {"0", "42", "-7", "2147483647", "-2147483648"};
    for (size_t i = 0; i < std::size(values); ++i) {
        const CValue value(values[i]);
        EXPECT_EQ(static_cast<CString>(value).ToUtf8(), texts[i]);
        EXPECT_EQ(static_cast<int32_t>(value), values[i]);
    }
}

TEST(CValue, DoublesReadAsIntegersTruncatedAndSaturated) {
    struct Case {
        double value;
        int32_t expected;
    };
    const Case cases[] = {
        {250.0, 250},
        {-2.9, -2},
        {2.9, 2},
        {3e9, std::numeric_limits<int32_t>::max()},
        {-3e9, std::numeric_limits<int32_t>::min()},
        {std::numeric_limits<double>::infinity(), std::numeric_limits<int32_t>::max()},
        {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CValue(c.value).GetAsInt(), c.expected) << c.value;
    }
    EXPECT_EQ(CValue(2.5).GetAsText().ToUtf8(), "2.5");
}

TEST(CValue, TextsReadAsNumbersWhenTheyHoldOne) {
    EXPECT_EQ(CValue(L" 12 ").GetAsInt(), 12);
    EXPECT_EQ(CValue(L"+7.9").GetAsInt(), 7);
    EXPECT_EQ(CValue(L"12abc").GetAsInt(), 0);
    EXPECT_EQ(CValue(L"").GetAsInt(), 0);
    EXPECT_EQ(CValue(L"/cache").GetAsText(), CString(L"/cache"));
}

TEST(CValue, PointerComesBackOnlyAsAPointer) {
    int target = 0;
    const CValue value(static_cast<void*>(&target));
    EXPECT_EQ(value.GetAsPointer(), &target);
    EXPECT_EQ(static_cast<void*>(value), &target);
    EXPECT_EQ(CValue(int32_t{5}).GetAsPointer(), nullptr);
    EXPECT_EQ(CValue().GetAsPointer(), nullptr);
    EXPECT_TRUE(CValue().IsEmpty());
}

TEST(CValue, VectorKeepsItsComponents) {
    const CValue value(XSI::MATH::CVector3f(1.5f, -2.0f, 3.25f));
    EXPECT_EQ(value.GetAsVector3f(), XSI::MATH::CVector3f(1.5f, -2.0f, 3.25f));
    EXPECT_EQ(CValue(1.0).GetAsVector3f(), XSI::MATH::CVector3f());
}

TEST(CValue, EqualityNeedsSameTypeAndValue) {
    EXPECT_EQ(CValue(int32_t{3}), CValue(int32_t{3}));
    EXPECT_FALSE(CValue(int32_t{3}) == CValue(3.0));
    EXPECT_FALSE(CValue(L"a") == CValue(L"b"));
}

}  // namespace
