// Previews read a block of particles at a time: the colour range, the bounds
// and the picture are exactly those of the whole frame held at once, for
// every kind of position and colour record, and no buffer grows with the
// frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tests/pdc/AllocationProbe.h"
#include "tests/support/TestSupport.h"
#include "tools/preview/ColorMap.h"
#include "tools/preview/ParticleFrame.h"
#include "tools/preview/PointRenderer.h"

namespace VelpoTools {
namespace {

using VelpoTestSupport::CScratchFolder;
using VelpoTestSupport::WriteFile;
using CPdcBytes = VelpoTestSupport::CPdcBytesIn<std::string>;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Per-particle positions, some not finite, and colour records of every kind.
std::string Frame(int32_t particles, bool singlePosition) {
    CPdcBytes bytes;
    bytes.Header(particles, 6).Record("heat", 1);
    for (int32_t i = 0; i < particles; ++i) {
        bytes.Int((i * 37) % 101 - 50);
    }
    bytes.Record("mass", 2).Double(0.5);
    if (singlePosition) {
        bytes.Record("position", 4).Doubles({1, 2, 3});
    } else {
        bytes.Record("position", 5);
        for (int32_t i = 0; i < particles; ++i) {
            bytes.Double(i % 97 == 5 ? NaN : std::sin(i * 0.1) * 10)
                .Double(std::cos(i * 0.37) * (i % 13))
                .Double(i * 0.01 - 3);
        }
    }
    bytes.Record("velocity", 5);
    for (int32_t i = 0; i < 3 * particles; ++i) {
        bytes.Double(i % 89 == 0 ? NaN : 0.1 * i - 30 + 1.0 / 3);
    }
    bytes.Record("age", 3);
    for (int32_t i = 0; i < particles; ++i) {
        bytes.Double(1.0 / (i + 1) + i * 1e-3);
    }
    bytes.Record("rgb", 5);
    for (int32_t i = 0; i < 3 * particles; ++i) {
        bytes.Double((i % 17) / 16.0);
    }
    return bytes.Bytes();
}

void ExpectSameStats(const CColourStats& a, const CColourStats& b) {
    EXPECT_EQ(a.min, b.min);
    EXPECT_EQ(a.max, b.max);
    EXPECT_EQ(a.sum, b.sum);  // the same additions in the same order
    EXPECT_EQ(a.finite, b.finite);
    EXPECT_EQ(a.nonFinite, b.nonFinite);
}

TEST(PreviewBlocks, EveryBlockSizeGivesTheWholeFramesRangeBoundsAndPicture) {
    constexpr int32_t Particles = 1000;
    CScratchFolder scratch;
    for (const bool singlePosition : {false, true}) {
        ASSERT_TRUE(WriteFile(scratch / "f.pdc", Frame(Particles, singlePosition)));
        for (const char* colour : {"", "heat", "mass", "position", "velocity", "age", "rgb"}) {
            CParticleFrame whole;
            ASSERT_TRUE(ReadParticleFrame(scratch / "f.pdc", {true, colour}, whole));
            const CBounds bounds = BoundsOf(whole);
            const CColourStats stats = ColourStatsOf(whole);
            CColouring colouring;
            colouring.mode = std::string(colour) == "rgb" ? CColouring::CMode::Rgb
                             : *colour                    ? CColouring::CMode::Map
                                                          : CColouring::CMode::Plain;
            colouring.low = stats.min;
            colouring.high = stats.max;
            const CProjection projection({}, bounds, 120, 90);
            CPicture expected(120, 90, BackgroundColour);
            const CRenderCounts wholeCounts =
                RenderPoints(expected, {0, 0, 120, 90}, projection, whole, colouring, 2);
            ASSERT_GT(wholeCounts.drawn, 0);
            for (const int64_t block : {1, 7, 64, Particles - 1, Particles + 3}) {
                SCOPED_TRACE(std::string("colour \"") + colour + "\", single position " +
                             std::to_string(singlePosition) + ", block " + std::to_string(block));
                CParticleBlocks blocks;
                ASSERT_TRUE(blocks.Open(scratch / "f.pdc", {true, colour}, block));
                EXPECT_EQ(blocks.Particles(), Particles);
                EXPECT_EQ(blocks.Drawn(), whole.Drawn());
                EXPECT_EQ(blocks.ColourComponents(), whole.colour.components);
                CColourStats blockStats;
                CBounds blockBounds;
                ASSERT_TRUE(blocks.Summarise(blockStats, blockBounds));
                ExpectSameStats(blockStats, stats);
                EXPECT_EQ(blockBounds.min, bounds.min);
                EXPECT_EQ(blockBounds.max, bounds.max);
                EXPECT_EQ(blockBounds.empty, bounds.empty);
                CPicture picture(120, 90, BackgroundColour);
                CPointCanvas canvas(picture, {0, 0, 120, 90}, projection, colouring, 2);
                ASSERT_TRUE(blocks.ForEachDrawn([&](const CParticleFrame& b) { canvas.Draw(b); }));
                EXPECT_EQ(canvas.Counts().drawn, wholeCounts.drawn);
                EXPECT_EQ(canvas.Counts().noPosition, wholeCounts.noPosition);
                EXPECT_TRUE(std::equal(picture.Pixels(), picture.Pixels() + 120 * 90 * 3,
                                       expected.Pixels()));
            }
        }
    }
}

TEST(PreviewBlocks, AFileThatShrinksAfterTheWalkIsNamed) {
    CScratchFolder scratch;
    const std::string bytes = Frame(1000, false);
    ASSERT_TRUE(WriteFile(scratch / "f.pdc", bytes));
    CParticleBlocks blocks;
    ASSERT_TRUE(blocks.Open(scratch / "f.pdc", {true, "rgb"}, 64));
    ASSERT_TRUE(WriteFile(scratch / "f.pdc", bytes.substr(0, bytes.size() / 2)));
    CColourStats stats;
    CBounds bounds;
    const Velpo::CResult summed = blocks.Summarise(stats, bounds);
    ASSERT_FALSE(summed);
    EXPECT_EQ(summed.Message().rfind(scratch / "f.pdc", 0), 0u) << summed.Message();
    EXPECT_NE(summed.Message().find("cannot be read again"), std::string::npos);
}

// Holding the frame would ask for every particle's position and velocity
// (24 bytes each, 7.2 MB apiece here); blocks ask for a block's worth.
TEST(PreviewBlocks, NoBufferGrowsWithTheFrame) {
    if (!AllocationProbe::Watching()) {
        GTEST_SKIP() << "the allocation functions belong to the sanitizer here";
    }
    constexpr int32_t Particles = 300000;
    CScratchFolder scratch;
    CPdcBytes bytes;
    bytes.Header(Particles, 2).Record("position", 5);
    for (int32_t i = 0; i < 3 * Particles; ++i) {
        bytes.Double(i % 1000);
    }
    bytes.Record("velocity", 5);
    for (int32_t i = 0; i < 3 * Particles; ++i) {
        bytes.Double(i);
    }
    ASSERT_TRUE(WriteFile(scratch / "f.pdc", bytes.Bytes()));
    AllocationProbe::Arm();
    CParticleBlocks blocks;
    ASSERT_TRUE(blocks.Open(scratch / "f.pdc", {true, "velocity"}, 4096));
    CColourStats stats;
    CBounds bounds;
    ASSERT_TRUE(blocks.Summarise(stats, bounds));
    CPicture picture(64, 64, BackgroundColour);
    CColouring colouring;
    const CProjection projection({}, bounds, 64, 64);
    CPointCanvas canvas(picture, {0, 0, 64, 64}, projection, colouring, 1);
    ASSERT_TRUE(blocks.ForEachDrawn([&](const CParticleFrame& b) { canvas.Draw(b); }));
    EXPECT_LT(AllocationProbe::Disarm(), size_t{1} << 20);
    EXPECT_EQ(stats.finite, Particles);
    EXPECT_GT(canvas.Counts().drawn, 0);
}

}  // namespace
}  // namespace VelpoTools
