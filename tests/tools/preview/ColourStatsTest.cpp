// What colours a frame before anything is drawn: the number each particle
// stands for, the statistics of a frame gathered in parts and merged, and
// the box its drawable positions span; then the lettering the legend uses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "tools/preview/ColorMap.h"
#include "tools/preview/Lettering.h"
#include "tools/preview/ParticleFrame.h"

namespace VelpoTools {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

CRecordValues Record(int32_t components, std::vector<double> values, bool single = false) {
    CRecordValues record;
    record.components = components;
    record.single = single;
    record.values = std::move(values);
    return record;
}

TEST(PreviewColourStats, PartsMergedGiveWhatTheWholeGives) {
    const std::vector<double> values{3.0, NaN, -1.5, 8.0, Inf, 0.25, -Inf, 2.0};
    CColourStats whole;
    for (double v : values) {
        whole.Add(v);
    }
    EXPECT_EQ(whole.finite, 5);
    EXPECT_EQ(whole.nonFinite, 3);
    EXPECT_EQ(whole.min, -1.5);
    EXPECT_EQ(whole.max, 8.0);
    EXPECT_DOUBLE_EQ(whole.Mean(), 11.75 / 5);
    // Every way of cutting the values in two, empty parts included.
    for (size_t cut = 0; cut <= values.size(); ++cut) {
        SCOPED_TRACE(cut);
        CColourStats first;
        CColourStats second;
        for (size_t i = 0; i < values.size(); ++i) {
            (i < cut ? first : second).Add(values[i]);
        }
        first.Add(second);
        EXPECT_EQ(first.finite, whole.finite);
        EXPECT_EQ(first.nonFinite, whole.nonFinite);
        EXPECT_EQ(first.min, whole.min);
        EXPECT_EQ(first.max, whole.max);
        EXPECT_DOUBLE_EQ(first.sum, whole.sum);
    }
    // Negative values only: the range is not pulled towards the zero a
    // fresh statistic starts from.
    CColourStats negative;
    CColourStats part;
    part.Add(-7.0);
    part.Add(-3.0);
    negative.Add(part);
    EXPECT_EQ(negative.min, -7.0);
    EXPECT_EQ(negative.max, -3.0);
    EXPECT_EQ(CColourStats().Mean(), 0.0) << "no finite value";
}

TEST(PreviewColourStats, AFrameCountsEachParticleOnceWhateverItsRecordHolds) {
    struct CCase {
        const char* what;
        CRecordValues colour;
        int64_t particles;
        int64_t finite;
        int64_t nonFinite;
        double min;
        double max;
    } cases[] = {
        {"scalars", Record(1, {2, NaN, -4}), 3, 2, 1, -4, 2},
        {"vector lengths", Record(3, {3, 4, 0, 0, 0, -2, NaN, 0, 0}), 3, 2, 1, 2, 5},
        {"huge vectors", Record(3, {1e300, 1e300, 0}), 1, 1, 0, std::hypot(1e300, 1e300),
         std::hypot(1e300, 1e300)},
        {"one value for all", Record(1, {6}, true), 4, 4, 0, 6, 6},
        {"one NaN for all", Record(1, {NaN}, true), 4, 0, 4, 0, 0},
        {"no particles", Record(1, {6}, true), 0, 0, 0, 0, 0},
        {"no attribute", Record(0, {}), 5, 0, 0, 0, 0},
    };
    for (CCase& c : cases) {
        SCOPED_TRACE(c.what);
        CParticleFrame frame;
        frame.particles = c.particles;
        frame.colour = c.colour;
        const CColourStats stats = ColourStatsOf(frame);
        EXPECT_EQ(stats.finite, c.finite);
        EXPECT_EQ(stats.nonFinite, c.nonFinite);
        EXPECT_EQ(stats.min, c.min);
        EXPECT_EQ(stats.max, c.max);
        EXPECT_TRUE(std::isfinite(stats.sum));
    }
    EXPECT_EQ(ColourValue(Record(1, {5, 9, 7}), 1), 9.0);
    EXPECT_EQ(ColourValue(Record(3, {0, 0, 0, 2, 3, 6}), 1), 7.0);
    EXPECT_EQ(ColourValue(Record(3, {2, 3, 6}, true), 40), 7.0);
}

TEST(PreviewColourStats, TheBoxHoldsTheFinitePositionsThatAreDrawn) {
    CParticleFrame frame;
    frame.particles = 4;
    frame.positions = Record(3, {1, 2, 3, NaN, 50, 50, -1, 0, 9, 4, Inf, 0});
    CBounds bounds = BoundsOf(frame);
    ASSERT_FALSE(bounds.empty);
    EXPECT_EQ(bounds.min, (CVec3{-1, 0, 3}));
    EXPECT_EQ(bounds.max, (CVec3{1, 2, 9}));
    // One position for all: a box of one point.
    frame.positions = Record(3, {5, 6, 7}, true);
    bounds = BoundsOf(frame);
    ASSERT_FALSE(bounds.empty);
    EXPECT_EQ(bounds.min, bounds.max);
    EXPECT_EQ(bounds.min, (CVec3{5, 6, 7}));
    // No position that can be drawn, or none read: no box.
    frame.positions = Record(3, {NaN, 0, 0, 0, -Inf, 0, 0, 0, 0, 0, 0, 0});
    frame.particles = 2;
    EXPECT_TRUE(BoundsOf(frame).empty);
    frame.positions = Record(0, {});
    EXPECT_TRUE(BoundsOf(frame).empty);
}

TEST(PreviewLettering, TextStaysInItsBoxInItsColourAndGrowsWithTheScale) {
    const std::string text = "frame 12: 3.5e+06";
    for (int scale : {1, 2, 3}) {
        SCOPED_TRACE(scale);
        EXPECT_EQ(TextWidth(text, scale), scale * TextWidth(text, 1));
        const int width = TextWidth(text, scale);
        CPicture picture(width + 20, TextHeight(scale) + 20, BackgroundColour);
        DrawText(picture, 10, 10, text, scale, TextColour);
        int inked = 0;
        for (int y = 0; y < picture.Height(); ++y) {
            for (int x = 0; x < picture.Width(); ++x) {
                const CRgb pixel = picture.At(x, y);
                if (pixel == BackgroundColour) {
                    continue;
                }
                ++inked;
                ASSERT_EQ(pixel, TextColour);
                ASSERT_GE(x, 10);
                ASSERT_LT(x, 10 + width);
                ASSERT_GE(y, 10);
                ASSERT_LT(y, 10 + TextHeight(scale));
            }
        }
        EXPECT_GT(inked, scale * scale * static_cast<int>(text.size()));
    }
    EXPECT_EQ(TextWidth("", 2), 0);
    // Text drawn partly or wholly outside the picture is clipped, not a fault.
    CPicture small(8, 8, BackgroundColour);
    DrawText(small, -20, -3, text, 2, TextColour);
    DrawText(small, 100, 100, text, 2, TextColour);
    EXPECT_EQ(small.At(7, 7), BackgroundColour);
}

}  // namespace
}  // namespace VelpoTools
