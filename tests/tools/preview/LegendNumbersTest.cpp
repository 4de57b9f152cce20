// The numbers a preview's legend and colours are made of: where a value
// lies in its range, its colour, its text, and the size of the lettering.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "tools/preview/ColorMap.h"
#include "tools/preview/Legend.h"

namespace VelpoTools {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

TEST(PreviewRange, PositionsAcrossOrdinaryDegenerateAndHugeRanges) {
    struct Case {
        double value;
        double low;
        double high;
        double position;
    } cases[] = {
        {0, 0, 10, 0},
        {10, 0, 10, 1},
        {2.5, 0, 10, 0.25},
        {-5, 0, 10, -0.5},
        {15, 0, 10, 1.5},
        {-3, -4, -2, 0.5},
        {7, 7, 7, 0.5},
        {1, 7, 7, 0.5},
        {5, 10, 0, 0.5},
        {5, NaN, 10, 0.5},
        {0, -1.7976931348623157e308, 1.7976931348623157e308, 0.5},
        {1.7976931348623157e308, -1.7976931348623157e308, 1.7976931348623157e308, 1},
        {-1.7976931348623157e308, -1.7976931348623157e308, 1.7976931348623157e308, 0},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(RangePosition(c.value, c.low, c.high), c.position)
            << c.value << " in " << c.low << ".." << c.high;
    }
}

TEST(PreviewRange, TheMapHitsItsStopsAndBlendsHalfwayBetween) {
    struct Case {
        double t;
        CRgb colour;
    } cases[] = {
        {0.0, {68, 1, 84}},      {0.125, {71, 44, 122}},   {0.25, {59, 81, 139}},
        {0.5, {33, 144, 141}},   {0.875, {170, 220, 50}},  {1.0, {253, 231, 37}},
        {0.0625, {70, 23, 103}}, {0.9375, {212, 226, 44}}, {-0.0, {68, 1, 84}},
        {-Inf, {68, 1, 84}},     {1e300, {253, 231, 37}},
    };
    for (const Case& c : cases) {
        const CRgb colour = MapColour(c.t);
        EXPECT_EQ(colour.r, c.colour.r) << c.t;
        EXPECT_EQ(colour.g, c.colour.g) << c.t;
        EXPECT_EQ(colour.b, c.colour.b) << c.t;
    }
    // No value the map gives is the grey of values that are not numbers.
    for (int i = 0; i <= 1000; ++i) {
        EXPECT_NE(MapColour(i / 1000.0), NonFiniteColour) << i;
    }
}

TEST(PreviewLegendText, NumbersAreShortAndTheLetteringGrowsWithThePicture) {
    struct Number {
        double value;
        const char* text;
    } numbers[] = {
        {9999999, "9999999"},     {-9999999, "-9999999"}, {1e-5, "1e-05"},      {-0.5, "-0.5"},
        {12345.678, "1.235e+04"}, {0.1, "0.1"},           {-1e-300, "-1e-300"}, {Inf, "inf"},
        {-Inf, "-inf"},
    };
    for (const Number& n : numbers) {
        EXPECT_EQ(ShortNumber(n.value), n.text) << n.value;
    }
    struct Size {
        int width;
        int height;
        int scale;
    } sizes[] = {
        {960, 540, 2},   {959, 540, 1},  {960, 539, 1},  {64, 64, 1},
        {1920, 1080, 4}, {4000, 540, 2}, {480, 4000, 1}, {16384, 16384, 34},
    };
    for (const Size& s : sizes) {
        EXPECT_EQ(TextScale(s.width, s.height), s.scale) << s.width << "x" << s.height;
    }
    EXPECT_EQ(LegendHeight(1), 44);
    EXPECT_EQ(LegendHeight(3), 132);
}

}  // namespace
}  // namespace VelpoTools
