// Two PDC files compared value by value, on files whose every byte the test
// states.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "tests/tools/CommandRunner.h"
#include "tools/contents/CacheDiff.h"

namespace VelpoTools {
namespace {

using VelpoCommandTest::CPdcBytes;
using VelpoCommandTest::CScratch;
using VelpoCommandTest::WriteFile;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

TEST(CacheDiff, NumbersEqualWithinTheToleranceAndNaNEqualsNaN) {
    struct CCase {
        double a, b, tolerance;
        bool equal;
    };
    const CCase cases[] = {
        {1, 1, 0, true},       {1, 1.5, 0, false},        {1, 1.5, 0.5, true},
        {1, 1.5, 0.49, false}, {-1, 1, 2, true},          {0.0, -0.0, 0, true},
        {NaN, NaN, 0, true},   {NaN, 1, 1e300, false},    {1, NaN, 0, false},
        {Inf, Inf, 0, true},   {Inf, -Inf, 1e300, false}, {Inf, 1e308, 1e300, false},
    };
    for (const CCase& c : cases) {
        EXPECT_EQ(NumbersEqual(c.a, c.b, c.tolerance), c.equal)
            << c.a << " " << c.b << " within " << c.tolerance;
    }
}

TEST(CacheDiff, ComponentDiffKeepsTheFirstAndTheLargest) {
    CComponentDiff diff;
    diff.Add(0, 1, 1, 0);  // equal: nothing
    diff.Add(3, 2, 2.5, 0);
    diff.Add(4, NaN, 1, 0);  // counts, but has no size
    diff.Add(7, -4, 4, 0);
    diff.Add(8, 10, 10.05, 0.1);  // within the tolerance
    EXPECT_EQ(diff.differing, 3u);
    EXPECT_EQ(diff.firstParticle, 3);
    EXPECT_EQ(diff.firstA, 2);
    EXPECT_EQ(diff.firstB, 2.5);
    EXPECT_EQ(diff.maxAbsolute, 8);
    EXPECT_EQ(diff.maxRelative, 2);  // 8 / max(4, 4)
}

// "id" per particle, "position" per particle, "mass" once; `edit` changes
// the bytes of one side.
struct CFileShape {
    int32_t particles = 3;
    double positionShift = 0;  // added to position.y of particle 1
    int32_t idCode = 3;        // 1: the same ids as integers
    bool mass = true;
    bool extra = false;  // an "age" record after "mass"
    double massValue = 0.5;
};

std::string FileBytes(const CFileShape& shape) {
    CPdcBytes bytes;
    bytes.Header(shape.particles, 2 + (shape.mass ? 1 : 0) + (shape.extra ? 1 : 0));
    bytes.Record("id", shape.idCode);
    for (int32_t i = 0; i < shape.particles; ++i) {
        shape.idCode == 1 ? bytes.Int(i + 10) : bytes.Double(i + 10);
    }
    bytes.Record("position", 5);
    for (int32_t i = 0; i < shape.particles; ++i) {
        bytes.Doubles({i * 1.0, i * 2.0 + (i == 1 ? shape.positionShift : 0), i * 3.0});
    }
    if (shape.mass) {
        bytes.Record("mass", 2).Double(shape.massValue);
    }
    if (shape.extra) {
        bytes.Record("age", 3);
        for (int32_t i = 0; i < shape.particles; ++i) {
            bytes.Double(i);
        }
    }
    return bytes.Bytes();
}

CFileDiff Diff(const CFileShape& a, const CFileShape& b, double tolerance = 0) {
    CScratch scratch;
    WriteFile(scratch.Path() / "a.pdc", FileBytes(a));
    WriteFile(scratch.Path() / "b.pdc", FileBytes(b));
    return DiffPdcFiles(scratch / "a.pdc", scratch / "b.pdc", tolerance);
}

TEST(CacheDiff, EqualFilesAndIntegersThatEqualDoubles) {
    const CFileDiff same = Diff({}, {});
    EXPECT_TRUE(same.Equal()) << FileDiffText(same);
    EXPECT_EQ(FileDiffText(same), "");
    ASSERT_EQ(same.records.size(), 3u);
    EXPECT_TRUE(same.records[1].compared);

    // The same numbers under another type code: compared, but not equal.
    CFileShape integers;
    integers.idCode = 1;
    const CFileDiff coded = Diff({}, integers);
    EXPECT_FALSE(coded.Equal());
    EXPECT_TRUE(coded.records[0].compared);
    EXPECT_EQ(coded.records[0].diffs[0].differing, 0u);
    EXPECT_EQ(FileDiffText(coded), "  \"id\": type code 3 in A, 1 in B\n");
}

TEST(CacheDiff, ValueDifferencesPerComponentWithinAndOverTheTolerance) {
    CFileShape shifted;
    shifted.positionShift = 0.25;
    shifted.massValue = 0.75;
    const CFileDiff over = Diff({}, shifted);
    EXPECT_FALSE(over.Equal());
    const CRecordDiff& position = over.records[1];
    EXPECT_EQ(position.diffs[0].differing, 0u);
    EXPECT_EQ(position.diffs[1].differing, 1u);
    EXPECT_EQ(position.diffs[1].firstParticle, 1);
    EXPECT_EQ(position.diffs[1].maxAbsolute, 0.25);
    EXPECT_EQ(position.diffs[2].differing, 0u);
    EXPECT_EQ(FileDiffText(over),
              "  \"position\".y: 1 of 3 values differ, largest difference 0.25 (relative "
              "0.1111111111111111), first at particle 1: 2 in A, 2.25 in B\n"
              "  \"mass\": differs, largest difference 0.25 (relative 0.3333333333333333), the "
              "value: 0.5 in A, 0.75 in B\n");
    EXPECT_TRUE(Diff({}, shifted, 0.25).Equal());
    EXPECT_FALSE(Diff({}, shifted, 0.2).Equal());
}

TEST(CacheDiff, RecordsInOneFileOnlyAndDifferentCounts) {
    CFileShape noMass;
    noMass.mass = false;
    CFileShape extra;
    extra.extra = true;
    const CFileDiff diff = Diff(noMass, extra);
    EXPECT_TRUE(diff.onlyInA.empty());
    EXPECT_EQ(diff.onlyInB, (std::vector<std::string>{"mass", "age"}));
    EXPECT_FALSE(diff.Equal());
    EXPECT_EQ(Diff(extra, noMass).onlyInA, (std::vector<std::string>{"mass", "age"}));

    CFileShape more;
    more.particles = 4;
    const CFileDiff counts = Diff({}, more);
    EXPECT_FALSE(counts.Equal());
    EXPECT_EQ(counts.particlesA, 3);
    EXPECT_EQ(counts.particlesB, 4);
    EXPECT_FALSE(counts.records[0].compared);
    EXPECT_TRUE(counts.records[2].compared);  // "mass" is one value in both
    EXPECT_EQ(FileDiffText(counts),
              "  particle count: 3 in A, 4 in B (per-particle values not compared)\n");
}

TEST(CacheDiff, RecordsOfOneNameAreMatchedInTurn) {
    CScratch scratch;
    CPdcBytes a;
    a.Header(1, 2).Record("v", 2).Double(1).Record("v", 2).Double(2);
    CPdcBytes b;
    b.Header(1, 2).Record("v", 2).Double(1).Record("v", 2).Double(3);
    WriteFile(scratch.Path() / "a.pdc", a.Bytes());
    WriteFile(scratch.Path() / "b.pdc", b.Bytes());
    const CFileDiff diff = DiffPdcFiles(scratch / "a.pdc", scratch / "b.pdc", 0);
    ASSERT_EQ(diff.records.size(), 2u);
    EXPECT_EQ(diff.records[0].diffs[0].differing, 0u);
    EXPECT_EQ(diff.records[1].diffs[0].differing, 1u);
    EXPECT_EQ(diff.records[1].occurrence, 1);
    EXPECT_NE(FileDiffText(diff).find("\"v\" (record 2 of that name): differs"), std::string::npos)
        << FileDiffText(diff);
}

TEST(CacheDiff, NaNAtTheSamePlaceIsEqual) {
    CScratch scratch;
    const auto file = [](double second) {
        return CPdcBytes().Header(3, 1).Record("age", 3).Doubles({NaN, second, 1}).Bytes();
    };
    WriteFile(scratch.Path() / "a.pdc", file(NaN));
    WriteFile(scratch.Path() / "b.pdc", file(NaN));
    WriteFile(scratch.Path() / "c.pdc", file(2));
    EXPECT_TRUE(DiffPdcFiles(scratch / "a.pdc", scratch / "b.pdc", 0).Equal());
    const CFileDiff diff = DiffPdcFiles(scratch / "a.pdc", scratch / "c.pdc", 1e300);
    EXPECT_FALSE(diff.Equal());
    EXPECT_EQ(diff.records[0].diffs[0].differing, 1u);
    EXPECT_EQ(diff.records[0].diffs[0].firstParticle, 1);
}

TEST(CacheDiff, AnUnreadableFileIsNamedWithTheReason) {
    CScratch scratch;
    WriteFile(scratch.Path() / "a.pdc", FileBytes({}));
    WriteFile(scratch.Path() / "cut.pdc", FileBytes({}).substr(0, 60));
    const CFileDiff cut = DiffPdcFiles(scratch / "a.pdc", scratch / "cut.pdc", 0);
    EXPECT_FALSE(cut.Equal());
    EXPECT_EQ(cut.failure.rfind(scratch / "cut.pdc" + ": record 0 at byte 28", 0), 0u)
        << cut.failure;
    const CFileDiff none = DiffPdcFiles(scratch / "none.pdc", scratch / "a.pdc", 0);
    EXPECT_EQ(none.failure, scratch / "none.pdc" + ": cannot be opened for reading: no such file");
}

}  // namespace
}  // namespace VelpoTools
