// The inspection's statistics over runs of values: a record read in
// several chunks, the second starting inside a vector, must give what one
// Add per value in file order gives, to the last bit of the sums.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>

#include "tests/tools/CommandRunner.h"
#include "tools/contents/FileReport.h"

namespace VelpoTools {
namespace {

// 30000 vectors are 90000 numbers: more than one 256 KB chunk, and 32768
// numbers per chunk start the second chunk at component z. Then a scalar
// record. `expected` gets the statistics of one Add per value.
std::string ChunkedFile(std::array<CComponentStats, 4>& expected) {
    constexpr int32_t Particles = 30000;
    VelpoCommandTest::CPdcBytes bytes;
    bytes.Header(Particles, 2).Record("velocity", 5);
    for (int32_t i = 0; i < 3 * Particles; ++i) {
        double value = std::sin(i * 0.37) * (1 + i % 7) + 1.0 / (i + 1);
        if (i == 5 || i == 40000) {
            value = std::numeric_limits<double>::quiet_NaN();
        } else if (i == 32769) {
            value = -std::numeric_limits<double>::infinity();
        }
        bytes.Double(value);
        expected[static_cast<size_t>(i % 3)].Add(value);
    }
    bytes.Record("scale", 3);
    for (int32_t i = 0; i < Particles; ++i) {
        const double value = i == 7 ? std::numeric_limits<double>::infinity() : i * 0.1 - 50;
        bytes.Double(value);
        expected[3].Add(value);
    }
    return bytes.Bytes();
}

void ExpectSame(const CComponentStats& got, const CComponentStats& want) {
    EXPECT_EQ(got.min, want.min);
    EXPECT_EQ(got.max, want.max);
    EXPECT_EQ(got.sum, want.sum);  // the same order of additions
    EXPECT_EQ(got.finite, want.finite);
    EXPECT_EQ(got.nan, want.nan);
    EXPECT_EQ(got.infinite, want.infinite);
}

TEST(InspectStats, ChunkedRunsGiveTheStatisticsOfOneAddPerValue) {
    std::array<CComponentStats, 4> expected;
    VelpoCommandTest::CScratch scratch;
    VelpoCommandTest::WriteFile(scratch.Path() / "v.pdc", ChunkedFile(expected));
    const CPdcInspection inspection = InspectPdc(scratch / "v.pdc");
    ASSERT_TRUE(inspection.Readable()) << inspection.Failure();
    ASSERT_EQ(inspection.records.size(), 2u);
    for (size_t c = 0; c < 3; ++c) {
        SCOPED_TRACE(c);
        ExpectSame(inspection.records[0].stats[c], expected[c]);
    }
    ExpectSame(inspection.records[1].stats[0], expected[3]);
    // The NaN at 40000 and the infinity at 32769 are in the second chunk.
    EXPECT_EQ(inspection.records[0].stats[1].nan, 1u);
    EXPECT_EQ(inspection.records[0].stats[0].infinite, 1u);
}

}  // namespace
}  // namespace VelpoTools
