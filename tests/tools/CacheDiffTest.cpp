// Two PDC files compared value by value, on files whose every byte the test
// states.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "pdc/Chunks.h"
#include "tests/tools/CommandRunner.h"
#include "tools/contents/CacheDiff.h"
#include "tools/contents/ReportJson.h"

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

// Differences with NaN or an infinity on a side: they differ whatever the
// tolerance, are counted apart, never come with a largest difference of 0,
// and the first pair keeps NaN and infinity apart.
TEST(CacheDiff, NonFiniteDifferencesAreCountedApartWithALargestDifference) {
    struct CCase {
        const char* name;
        double a, b, tolerance;
        uint64_t withNaN, withInfinity;
        double maxAbsolute, maxRelative;  // NaN: must be NaN
    };
    const CCase cases[] = {
        {"NaN against a number", 1, NaN, 1e300, 1, 0, NaN, NaN},
        {"a number against NaN", NaN, -2, 1e300, 1, 0, NaN, NaN},
        {"NaN against infinity", NaN, Inf, 1e300, 1, 0, NaN, NaN},
        {"infinity against a number", 2, Inf, 1e300, 0, 1, Inf, 1},
        {"infinity against the largest double", Inf, 1.7976931348623157e308, 1e300, 0, 1, Inf, 1},
        {"infinities of other signs", -Inf, Inf, 1e300, 0, 1, Inf, 2},
        {"numbers", 1, 3, 0.5, 0, 0, 2, 2.0 / 3},
        {"numbers whose difference overflows", -1e308, 1e308, 0.5, 0, 0, Inf, 2},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.name);
        CComponentDiff diff;
        diff.Add(7, c.a, c.b, c.tolerance);
        EXPECT_EQ(diff.differing, 1u);
        EXPECT_EQ(diff.withNaN, c.withNaN);
        EXPECT_EQ(diff.withInfinity, c.withInfinity);
        EXPECT_EQ(diff.firstParticle, 7);
        const auto same = [](double got, double want) {
            return std::isnan(want) ? std::isnan(got) : got == want;
        };
        EXPECT_TRUE(same(diff.maxAbsolute, c.maxAbsolute)) << diff.maxAbsolute;
        EXPECT_TRUE(same(diff.maxRelative, c.maxRelative)) << diff.maxRelative;
        EXPECT_NE(diff.maxAbsolute, 0.0);
        // The first pair as it was, NaN and infinity told apart.
        EXPECT_TRUE(same(diff.firstA, c.a));
        EXPECT_TRUE(same(diff.firstB, c.b));
    }

    // A pair of numbers replaces the NaN that stood for "no size yet", and
    // later differences against NaN leave the largest size alone.
    CComponentDiff mixed;
    mixed.Add(0, 1, NaN, 0);
    mixed.Add(1, 1, 1.25, 0);
    mixed.Add(2, NaN, 2, 0);
    mixed.Add(3, Inf, Inf, 0);  // equal
    mixed.Add(4, NaN, NaN, 0);  // equal
    EXPECT_EQ(mixed.differing, 3u);
    EXPECT_EQ(mixed.withNaN, 2u);
    EXPECT_EQ(mixed.withInfinity, 0u);
    EXPECT_EQ(mixed.maxAbsolute, 0.25);
    EXPECT_EQ(mixed.maxRelative, 0.2);
    EXPECT_EQ(mixed.firstParticle, 0);
}

// What text and strict JSON say of a record whose values differ in NaN or
// infinity: never "largest difference 0", never null for a number.
TEST(CacheDiff, TextAndJsonOfNonFiniteDifferences) {
    CScratch scratch;
    const auto file = [](double second) {
        return CPdcBytes().Header(3, 1).Record("age", 3).Doubles({1, second, 3}).Bytes();
    };
    WriteFile(scratch.Path() / "a.pdc", file(2));
    WriteFile(scratch.Path() / "nan.pdc", file(NaN));
    WriteFile(scratch.Path() / "inf.pdc", file(Inf));
    WriteFile(scratch.Path() / "minus.pdc", file(-Inf));
    struct CCase {
        const char* other;
        const char* text;
        nlohmann::json component;
    };
    const CCase cases[] = {
        {"nan.pdc",
         "  \"age\": 1 of 3 values differ (1 against NaN), first at particle 1: 2 in A, NaN in B\n",
         {{"differing", 1},
          {"withNaN", 1},
          {"withInfinity", 0},
          {"maxAbsolute", "NaN"},
          {"maxRelative", "NaN"},
          {"firstParticle", 1},
          {"first", {2.0, "NaN"}}}},
        {"inf.pdc",
         "  \"age\": 1 of 3 values differ (1 against an infinity), largest difference Infinity "
         "(relative 1), first at particle 1: 2 in A, Infinity in B\n",
         {{"differing", 1},
          {"withNaN", 0},
          {"withInfinity", 1},
          {"maxAbsolute", "Infinity"},
          {"maxRelative", 1.0},
          {"firstParticle", 1},
          {"first", {2.0, "Infinity"}}}},
        {"minus.pdc",
         nullptr,
         {{"differing", 1},
          {"withNaN", 0},
          {"withInfinity", 1},
          {"maxAbsolute", "Infinity"},
          {"maxRelative", 1.0},
          {"firstParticle", 1},
          {"first", {2.0, "-Infinity"}}}},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.other);
        const CFileDiff diff = DiffPdcFiles(scratch / "a.pdc", scratch / c.other, 0);
        if (c.text) {
            EXPECT_EQ(FileDiffText(diff), c.text);
        }
        // Through text and back with a strict parser, which refuses NaN
        // tokens; a null would not equal the strings either.
        const nlohmann::json json = nlohmann::json::parse(ReportText(FileDiffJson(diff)));
        EXPECT_EQ(json["records"][0]["components"][0], c.component);
        EXPECT_EQ(json["problems"][0]["kind"], "values-differ");
    }
}

// The walker hands a record over in chunks that need not start on a
// vector: a difference must be named by its own component and particle
// wherever the chunk starts.
TEST(CacheDiff, DifferencesInVectorsLongerThanAChunkNameTheirComponentAndParticle) {
    constexpr int64_t PerChunk = PdcChunks::MaxChunkBytes / 8;
    constexpr int64_t Particles = PerChunk + 100;  // four chunks of numbers
    // Chunks 1 and 2 start inside vectors, at a z and at a y component.
    static_assert(PerChunk % 3 == 2 && (2 * PerChunk) % 3 == 1);
    const int64_t yAt = 2 * PerChunk;  // number of the record
    const int64_t zAt = PerChunk;
    const int64_t xAt = 3 * (Particles - 1);
    CPdcBytes a;
    CPdcBytes b;
    a.Header(static_cast<int32_t>(Particles), 1).Record("velocity", 5);
    b.Header(static_cast<int32_t>(Particles), 1).Record("velocity", 5);
    for (int64_t n = 0; n < 3 * Particles; ++n) {
        const double value = static_cast<double>(n) * 0.5;
        a.Double(value);
        b.Double(n == yAt || n == zAt || n == xAt ? value + 1 : value);
    }
    CScratch scratch;
    WriteFile(scratch.Path() / "a.pdc", a.Bytes());
    WriteFile(scratch.Path() / "b.pdc", b.Bytes());
    const CFileDiff diff = DiffPdcFiles(scratch / "a.pdc", scratch / "b.pdc", 0);
    ASSERT_EQ(diff.records.size(), 1u);
    const CRecordDiff& velocity = diff.records[0];
    ASSERT_TRUE(velocity.compared);
    const int64_t expected[3] = {xAt / 3, yAt / 3, zAt / 3};
    for (size_t c = 0; c < 3; ++c) {
        SCOPED_TRACE(c);
        EXPECT_EQ(velocity.diffs[c].differing, 1u);
        EXPECT_EQ(velocity.diffs[c].firstParticle, expected[c]);
        EXPECT_EQ(velocity.diffs[c].firstA, static_cast<double>(3 * expected[c] + c) * 0.5);
    }
    EXPECT_NE(FileDiffText(diff).find("\"velocity\".y: 1 of " + std::to_string(Particles) +
                                      " values differ, largest difference 1 (relative"),
              std::string::npos)
        << FileDiffText(diff);
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
