// Numbers read from tables and command lines: the whole text is the number
// or nothing is taken, and ranges of frames read the way the help writes them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "tools/common/Numbers.h"

namespace VelpoTools {
namespace {

const char* Name(CParsed parsed) {
    switch (parsed) {
        case CParsed::Number:
            return "Number";
        case CParsed::NotANumber:
            return "NotANumber";
        case CParsed::OutOfRange:
            return "OutOfRange";
    }
    return "?";
}

TEST(NumbersParse, Int32TakesTheWholeTextWithinItsRange) {
    struct Case {
        const char* text;
        CParsed expected;
        int32_t value;
    } cases[] = {
        {"0", CParsed::Number, 0},
        {"-0", CParsed::Number, 0},
        {"007", CParsed::Number, 7},
        {"2147483647", CParsed::Number, 2147483647},
        {"-2147483648", CParsed::Number, -2147483647 - 1},
        {"2147483648", CParsed::OutOfRange, 0},
        {"-2147483649", CParsed::OutOfRange, 0},
        {"99999999999999999999", CParsed::OutOfRange, 0},
        {"", CParsed::NotANumber, 0},
        {"-", CParsed::NotANumber, 0},
        {"+1", CParsed::NotANumber, 0},
        {" 1", CParsed::NotANumber, 0},
        {"1 ", CParsed::NotANumber, 0},
        {"1.0", CParsed::NotANumber, 0},
        {"1e3", CParsed::NotANumber, 0},
        {"0x1F", CParsed::NotANumber, 0},
        {"12abc", CParsed::NotANumber, 0},
        {"NaN", CParsed::NotANumber, 0},
    };
    for (const Case& c : cases) {
        int32_t value = 12345;
        EXPECT_STREQ(Name(ParseInt32(c.text, value)), Name(c.expected)) << c.text;
        // Only a number is stored; anything else leaves the value alone.
        EXPECT_EQ(value, c.expected == CParsed::Number ? c.value : 12345) << c.text;
    }
}

TEST(NumbersParse, FloatAndDoubleTakeDecimalsAndTheNonFiniteWords) {
    struct Case {
        const char* text;
        CParsed floatResult;
        CParsed doubleResult;
        double value;  // for a number of both types; NaN means NaN
    } cases[] = {
        {"1.5", CParsed::Number, CParsed::Number, 1.5},
        {"-0.25", CParsed::Number, CParsed::Number, -0.25},
        {"1e3", CParsed::Number, CParsed::Number, 1000.0},
        {"2.5E-1", CParsed::Number, CParsed::Number, 0.25},
        {"NaN", CParsed::Number, CParsed::Number, std::nan("")},
        {"nan", CParsed::Number, CParsed::Number, std::nan("")},
        {"Infinity", CParsed::Number, CParsed::Number, HUGE_VAL},
        {"-Infinity", CParsed::Number, CParsed::Number, -HUGE_VAL},
        {"INF", CParsed::Number, CParsed::Number, HUGE_VAL},
        {"-inf", CParsed::Number, CParsed::Number, -HUGE_VAL},
        {"3.4028234663852886e38", CParsed::Number, CParsed::Number, 3.4028234663852886e38},
        {"3.5e38", CParsed::OutOfRange, CParsed::Number, 0.0},
        {"1e-50", CParsed::OutOfRange, CParsed::Number, 0.0},
        {"1e400", CParsed::OutOfRange, CParsed::OutOfRange, 0.0},
        {"-1e400", CParsed::OutOfRange, CParsed::OutOfRange, 0.0},
        {"", CParsed::NotANumber, CParsed::NotANumber, 0.0},
        {"+1", CParsed::NotANumber, CParsed::NotANumber, 0.0},
        {"1,5", CParsed::NotANumber, CParsed::NotANumber, 0.0},
        {"0x10", CParsed::NotANumber, CParsed::NotANumber, 0.0},
        {"1.5 ", CParsed::NotANumber, CParsed::NotANumber, 0.0},
        {"\t1.5", CParsed::NotANumber, CParsed::NotANumber, 0.0},
        {"1e", CParsed::NotANumber, CParsed::NotANumber, 0.0},
        {"NaNa", CParsed::NotANumber, CParsed::NotANumber, 0.0},
        {"Infinityx", CParsed::NotANumber, CParsed::NotANumber, 0.0},
    };
    for (const Case& c : cases) {
        float f = 7.0f;
        double d = 7.0;
        EXPECT_STREQ(Name(ParseFloat(c.text, f)), Name(c.floatResult)) << c.text;
        EXPECT_STREQ(Name(ParseDouble(c.text, d)), Name(c.doubleResult)) << c.text;
        if (c.floatResult != CParsed::Number) {
            EXPECT_EQ(f, 7.0f) << c.text;
        } else if (std::isnan(c.value)) {
            EXPECT_TRUE(std::isnan(f)) << c.text;
        } else {
            EXPECT_EQ(f, static_cast<float>(c.value)) << c.text;
        }
        if (c.doubleResult != CParsed::Number) {
            EXPECT_EQ(d, 7.0) << c.text;
        } else if (std::isnan(c.value)) {
            EXPECT_TRUE(std::isnan(d)) << c.text;
        } else if (c.floatResult == CParsed::Number) {
            EXPECT_EQ(d, c.value) << c.text;
        }
    }
}

TEST(NumbersFormat, TextIsShortExactAndNamesTheNonFiniteValues) {
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        {0.0, "0"},
        {-0.0, "-0"},
        {300000.0, "300000"},
        {-42.0, "-42"},
        {9999999999999998.0, "9999999999999998"},
        {1e16, "1e+16"},
        {0.1, "0.1"},
        {1.0 / 3.0, "0.3333333333333333"},
        {std::numeric_limits<double>::quiet_NaN(), "NaN"},
        {std::numeric_limits<double>::infinity(), "Infinity"},
        {-std::numeric_limits<double>::infinity(), "-Infinity"},
        {std::numeric_limits<double>::denorm_min(), "5e-324"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatDouble(c.value), c.text);
        std::string appended = "x=";
        AppendDouble(appended, c.value);
        EXPECT_EQ(appended, std::string("x=") + c.text);
    }
    EXPECT_EQ(FormatFloat(0.1f), "0.1");
    EXPECT_EQ(FormatFloat(16777216.0f), "16777216");
    EXPECT_EQ(FormatFloat(-std::numeric_limits<float>::infinity()), "-Infinity");
    std::string ints;
    AppendInt(ints, INT64_MIN);
    ints += ' ';
    AppendInt(ints, INT64_MAX);
    EXPECT_EQ(ints, "-9223372036854775808 9223372036854775807");
}

TEST(NumbersFormat, EveryFloatBitPatternOfAWideSampleReadsBack) {
    // Powers of two apart and their neighbours: where the shortest text is
    // easiest to get one digit short.
    for (int exponent = -149; exponent <= 127; ++exponent) {
        const float base = std::ldexp(1.0f, exponent);
        for (const float value :
             {base, std::nextafter(base, 0.0f), std::nextafter(base, HUGE_VALF), -base}) {
            float back = 0.0f;
            const std::string text = FormatFloat(value);
            ASSERT_STREQ(Name(ParseFloat(text, back)), "Number") << text;
            EXPECT_EQ(back, value) << text;
        }
    }
}

TEST(NumbersFrames, RangesAndSingleFramesReadAsWritten) {
    struct Case {
        const char* text;
        bool ok;
        int32_t first;
        int32_t last;
        const char* message;  // part of the failure
    } cases[] = {
        {"1-48", true, 1, 48, ""},
        {"7", true, 7, 7, ""},
        {"5-5", true, 5, 5, ""},
        {"0-0", true, 0, 0, ""},
        {"-5", true, -5, -5, ""},
        {"-3--1", true, -3, -1, ""},
        {"-3-2", true, -3, 2, ""},
        {"-2147483648-2147483647", true, -2147483647 - 1, 2147483647, ""},
        {"5-1", false, 0, 0, "frame range \"5-1\" runs backwards"},
        {"-1--3", false, 0, 0, "runs backwards"},
        {"", false, 0, 0, "is not a frame range: expected A-B, such as 1-48"},
        {"1-", false, 0, 0, "\"1-\" is not a frame range"},
        {"-", false, 0, 0, "is not a frame range"},
        {"1-5x", false, 0, 0, "\"1-5x\" is not a frame range"},
        {"1x", false, 0, 0, "is not a frame range"},
        {"1-2-3", false, 0, 0, "is not a frame range"},
        {"1..5", false, 0, 0, "is not a frame range"},
        {"1:5", false, 0, 0, "is not a frame range"},
        {" 1-5", false, 0, 0, "is not a frame range"},
        {"1-5 ", false, 0, 0, "is not a frame range"},
        {"+1-5", false, 0, 0, "is not a frame range"},
        {"1-+5", false, 0, 0, "is not a frame range"},
        {"2147483648", false, 0, 0, "is not a frame range"},
        {"1-2147483648", false, 0, 0, "is not a frame range"},
        {"a-b", false, 0, 0, "is not a frame range"},
    };
    for (const Case& c : cases) {
        int32_t first = -99;
        int32_t last = -99;
        const Velpo::CResult parsed = ParseFrames(c.text, first, last);
        ASSERT_EQ(parsed.Succeeded(), c.ok) << c.text << ": " << parsed.Message();
        if (c.ok) {
            EXPECT_EQ(first, c.first) << c.text;
            EXPECT_EQ(last, c.last) << c.text;
        } else {
            EXPECT_NE(parsed.Message().find(c.message), std::string::npos)
                << c.text << ": " << parsed.Message();
        }
    }
}

}  // namespace
}  // namespace VelpoTools
