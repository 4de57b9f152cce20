// What `velpo check` concludes from frames: the content hash, the facts one
// read gives, and the problems worked out from them.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tests/tools/CommandRunner.h"
#include "tools/contents/ContentHash.h"
#include "tools/contents/SequenceCheck.h"

namespace VelpoTools {
namespace {

using VelpoCommandTest::CPdcBytes;
using VelpoCommandTest::CScratch;
using VelpoCommandTest::WriteFile;

uint64_t HashOf(const std::vector<double>& values, const std::vector<size_t>& cuts) {
    CContentHash hash;
    size_t at = 0;
    for (const size_t cut : cuts) {
        hash.AddDoubles(values.data() + at, cut - at);
        at = cut;
    }
    hash.AddDoubles(values.data() + at, values.size() - at);
    return hash.Value();
}

TEST(ContentHash, RunsCutAnywhereGiveTheHashOfTheWholeRun) {
    std::vector<double> values;
    for (int i = 0; i < 37; ++i) {
        values.push_back(i * 0.25 - 3);
    }
    const uint64_t whole = HashOf(values, {});
    for (const std::vector<size_t>& cuts :
         std::vector<std::vector<size_t>>{{1}, {3}, {4}, {5, 6, 7}, {1, 2, 3, 4, 5, 9, 30}, {36}}) {
        EXPECT_EQ(HashOf(values, cuts), whole) << cuts.size() << " cuts from " << cuts[0];
    }
    CContentHash oneByOne;
    for (const double value : values) {
        oneByOne.Add(std::bit_cast<uint64_t>(value));
    }
    EXPECT_EQ(oneByOne.Value(), whole);
}

TEST(ContentHash, EveryBitAndEveryPlaceCounts) {
    const std::vector<double> values = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const uint64_t whole = HashOf(values, {});
    for (size_t i = 0; i < values.size(); ++i) {
        for (const int bit : {0, 31, 52, 63}) {
            std::vector<double> changed = values;
            changed[i] = std::bit_cast<double>(std::bit_cast<uint64_t>(changed[i]) ^ (1ULL << bit));
            EXPECT_NE(HashOf(changed, {}), whole) << "value " << i << " bit " << bit;
        }
    }
    std::vector<double> swapped = values;
    std::swap(swapped[0], swapped[4]);  // the same lane, other places
    EXPECT_NE(HashOf(swapped, {}), whole);
    EXPECT_NE(HashOf({1, 2, 3, 4, 5, 6, 7, 8}, {}), whole);  // one value fewer

    CContentHash ab;
    ab.AddBytes("ab");
    ab.AddBytes("c");
    CContentHash bc;
    bc.AddBytes("a");
    bc.AddBytes("bc");
    EXPECT_NE(ab.Value(), bc.Value());
}

TEST(SequenceCheck, CountChangeIsTheChangeOverTheEarlierCount) {
    struct CCase {
        int64_t before, after;
        double change;
    };
    for (const CCase& c : {CCase{1000, 1500, 0.5}, CCase{1000, 500, 0.5}, CCase{0, 3, 3.0},
                           CCase{0, 0, 0.0}, CCase{1, 0, 1.0}, CCase{7, 7, 0.0}}) {
        EXPECT_DOUBLE_EQ(CountChange(c.before, c.after), c.change) << c.before << " " << c.after;
    }
}

CFrameFacts Facts(int32_t frame, int64_t particles, std::vector<CAttributeFacts> attributes,
                  uint64_t hash) {
    CFrameFacts facts;
    facts.frame = frame;
    facts.file = "p." + std::to_string(frame) + ".pdc";
    facts.present = true;
    facts.size = 100;
    facts.particleCount = particles;
    facts.attributes = std::move(attributes);
    facts.contentHash = hash;
    return facts;
}

std::vector<std::string> Texts(const std::vector<CCheckProblem>& problems) {
    std::vector<std::string> texts;
    for (const CCheckProblem& problem : problems) {
        texts.push_back(problem.text);
    }
    return texts;
}

TEST(SequenceCheck, ChangesBetweenFramesAreWarnings) {
    const CFrameFacts before = Facts(4, 1000, {{"id", 3, 0, 0}, {"age", 3, 0, 0}}, 1);
    struct CCase {
        const char* name;
        CFrameFacts after;
        std::vector<std::string> texts;
        std::vector<std::string> kinds;
    };
    const CCase cases[] = {
        {"same layout, count within the limit", Facts(5, 1500, before.attributes, 2), {}, {}},
        {"count jump",
         Facts(5, 1501, before.attributes, 2),
         {"particle count jumps from 1000 to 1501 since frame 4 (a change of 50%, more than "
          "--max-count-change 0.5)"},
         {"count-jump"}},
        {"appears and vanishes",
         Facts(5, 1000, {{"id", 3, 0, 0}, {"mass", 3, 0, 0}}, 2),
         {"attribute \"mass\" appears since frame 4", "attribute \"age\" vanishes since frame 4"},
         {"attribute-appeared", "attribute-vanished"}},
        {"type code",
         Facts(5, 1000, {{"id", 1, 0, 0}, {"age", 3, 0, 0}}, 2),
         {"attribute \"id\" changes type code from 3 to 1 since frame 4"},
         {"type-code-changed"}},
        {"identical",
         Facts(5, 1000, before.attributes, 1),
         {"identical to frame 4 (a stuck simulation?)"},
         {"identical-frame"}},
    };
    for (const CCase& c : cases) {
        const std::vector<CCheckProblem> problems = ChangeProblems(before, c.after, {0.5});
        EXPECT_EQ(Texts(problems), c.texts) << c.name;
        std::vector<std::string> kinds;
        for (const CCheckProblem& problem : problems) {
            kinds.push_back(problem.kind);
        }
        EXPECT_EQ(kinds, c.kinds) << c.name;
        for (const CCheckProblem& problem : problems) {
            EXPECT_EQ(problem.severity, CSeverity::Warning) << c.name;
            EXPECT_EQ(problem.frame, 5) << c.name;
            EXPECT_EQ(problem.file, "p.5.pdc") << c.name;
        }
    }
}

TEST(SequenceCheck, FrameProblemsMissingAndUnreadableAreErrors) {
    CFrameFacts missing = Facts(3, 0, {}, 0);
    missing.present = false;
    CFrameFacts broken = Facts(4, 0, {}, 0);
    broken.failure = "record 0 at byte 28: cut";
    const CFrameFacts empty = Facts(5, 0, {}, 0);
    const CFrameFacts notFinite =
        Facts(6, 3, {{"age", 3, 2, 0}, {"v", 5, 1, 4}, {"id", 3, 0, 0}}, 0);

    broken.failureKind = "truncated";

    const std::vector<CCheckProblem> a = FrameProblems(missing);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].severity, CSeverity::Error);
    EXPECT_EQ(a[0].text, "missing");
    EXPECT_EQ(a[0].kind, "missing-frame");
    const std::vector<CCheckProblem> b = FrameProblems(broken);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0].severity, CSeverity::Error);
    EXPECT_EQ(b[0].text, "unreadable: record 0 at byte 28: cut");
    EXPECT_EQ(b[0].kind, "truncated");  // the reader's kind
    EXPECT_EQ(Texts(FrameProblems(empty)), std::vector<std::string>{"empty: 0 particles"});
    EXPECT_EQ(FrameProblems(empty)[0].kind, "empty-frame");
    // NaN and infinite values apart, each with its own kind.
    const std::vector<CCheckProblem> values = FrameProblems(notFinite);
    EXPECT_EQ(Texts(values), (std::vector<std::string>{"attribute \"age\" holds 2 NaN values",
                                                       "attribute \"v\" holds 1 NaN value",
                                                       "attribute \"v\" holds 4 infinite values"}));
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0].kind, "nan-values");
    EXPECT_EQ(values[1].kind, "nan-values");
    EXPECT_EQ(values[2].kind, "infinite-values");
}

TEST(SequenceCheck, AFrameIsComparedWithTheReadableFrameBeforeIt) {
    std::vector<CFrameFacts> frames = {Facts(1, 10, {{"id", 3, 0, 0}}, 1), Facts(2, 10, {}, 0),
                                       Facts(3, 10, {{"id", 3, 0, 0}}, 1)};
    frames[1].present = false;
    const std::vector<CCheckProblem> problems = SequenceProblems(frames, {0.5});
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].frame, 2);
    EXPECT_EQ(problems[0].text, "missing");
    EXPECT_EQ(problems[1].frame, 3);
    EXPECT_EQ(problems[1].text, "identical to frame 1 (a stuck simulation?)");
}

TEST(SequenceCheck, GapsFollowTheLargestStepThatFitsTheNumbers) {
    struct CCase {
        std::vector<int32_t> numbers;
        std::vector<CFrameGap> gaps;
    };
    const CCase cases[] = {
        {{1, 2, 3}, {}},
        {{1, 2, 5, 6, 8}, {{1, 3, 4, 1}, {3, 7, 7, 1}}},
        {{250, 500, 1000, 1250, 2000}, {{1, 750, 750, 250}, {3, 1500, 1750, 250}}},
        {{-2, 0, 1}, {{0, -1, -1, 1}}},
        {{1, 10}, {}},  // nothing tells that 10 is not the next
        {{7}, {}},
        {{std::numeric_limits<int32_t>::min(), 0, std::numeric_limits<int32_t>::max()},
         {{0, std::numeric_limits<int32_t>::min() + 1, -1, 1},
          {1, 1, std::numeric_limits<int32_t>::max() - 1, 1}}},
    };
    for (const CCase& c : cases) {
        const std::vector<CFrameGap> gaps = FrameGaps(c.numbers);
        ASSERT_EQ(gaps.size(), c.gaps.size())
            << c.numbers.size() << " numbers from " << c.numbers[0];
        for (size_t i = 0; i < gaps.size(); ++i) {
            EXPECT_EQ(gaps[i].after, c.gaps[i].after);
            EXPECT_EQ(gaps[i].first, c.gaps[i].first);
            EXPECT_EQ(gaps[i].last, c.gaps[i].last);
            EXPECT_EQ(gaps[i].step, c.gaps[i].step);
        }
    }
    EXPECT_EQ(GapProblem({0, 3, 3, 1}, "p.3.pdc").text, "missing (frames 2 and 4 are there)");
    const CCheckProblem wide = GapProblem({1, 1500, 1750, 250}, "p.1500.pdc");
    EXPECT_EQ(wide.severity, CSeverity::Error);
    EXPECT_EQ(wide.frame, 1500);
    EXPECT_EQ(wide.text, "missing, with 1 more up to frame 1750 (numbers step by 250)");
}

// Two frames as files: "id" and "position" arrays, and "mass" once.
std::string FrameBytes(double first, double nanAt = -1) {
    CPdcBytes bytes;
    bytes.Header(3, 3).Record("id", 3).Doubles({first, first + 1, first + 2});
    bytes.Record("position", 5);
    for (int i = 0; i < 9; ++i) {
        bytes.Double(i == nanAt ? std::nan("") : first * i);
    }
    bytes.Record("mass", 2).Double(0.5);
    return bytes.Bytes();
}

TEST(SequenceCheck, FactsOfOneReadHashContentsAndCountNonFiniteValues) {
    CScratch scratch;
    WriteFile(scratch.Path() / "a.pdc", FrameBytes(1));
    WriteFile(scratch.Path() / "b.pdc", FrameBytes(1));
    WriteFile(scratch.Path() / "c.pdc", FrameBytes(2));
    WriteFile(scratch.Path() / "d.pdc", FrameBytes(1, 4));
    WriteFile(scratch.Path() / "cut.pdc", FrameBytes(1).substr(0, 70));

    const CFrameFacts a = FrameFacts({1, scratch / "a.pdc"});
    ASSERT_TRUE(a.Readable()) << a.failure;
    EXPECT_EQ(a.frame, 1);
    EXPECT_EQ(a.particleCount, 3);
    EXPECT_EQ(a.size, static_cast<int64_t>(FrameBytes(1).size()));
    ASSERT_EQ(a.attributes.size(), 3u);
    EXPECT_EQ(a.attributes[1].name, "position");
    EXPECT_EQ(a.attributes[1].code, 5);
    EXPECT_EQ(FrameFacts({2, scratch / "b.pdc"}).contentHash, a.contentHash);
    EXPECT_NE(FrameFacts({3, scratch / "c.pdc"}).contentHash, a.contentHash);

    const CFrameFacts d = FrameFacts({4, scratch / "d.pdc"});
    EXPECT_NE(d.contentHash, a.contentHash);
    EXPECT_EQ(d.attributes[1].nan, 1u);
    EXPECT_EQ(d.attributes[0].nan, 0u);

    const CFrameFacts cut = FrameFacts({5, scratch / "cut.pdc"});
    EXPECT_TRUE(cut.present);
    EXPECT_FALSE(cut.Readable());
    EXPECT_NE(cut.failure.find("truncated"), std::string::npos) << cut.failure;

    const CFrameFacts none = FrameFacts({6, scratch / "none.pdc"});
    EXPECT_FALSE(none.present);
}

// Of records sharing a name, the one the nodes deliver through a slot of
// that name (the last) is the attribute check speaks of.
TEST(SequenceCheck, TheLastRecordOfANameIsItsAttribute) {
    CScratch scratch;
    const auto frame = [](int32_t firstCode, bool nanInFirst) {
        CPdcBytes bytes;
        bytes.Header(1, 3).Record("age", firstCode);
        firstCode == 1 ? bytes.Int(7) : bytes.Double(nanInFirst ? std::nan("") : 1.0);
        bytes.Record("mass", 2).Double(2).Record("age", 3).Double(3);
        return bytes.Bytes();
    };
    WriteFile(scratch.Path() / "p.1.pdc", frame(3, true));
    WriteFile(scratch.Path() / "p.2.pdc", frame(1, false));
    const CFrameFacts one = FrameFacts({1, scratch / "p.1.pdc"});
    const CFrameFacts two = FrameFacts({2, scratch / "p.2.pdc"});
    ASSERT_EQ(one.attributes.size(), 2u);
    EXPECT_EQ(one.attributes[0].name, "mass");
    EXPECT_EQ(one.attributes[1].name, "age");
    EXPECT_EQ(one.attributes[1].nan, 0u);  // the hidden record's NaN never reaches a slot
    EXPECT_TRUE(FrameProblems(one).empty());
    // The first "age" changes its code, the delivered one does not.
    ASSERT_EQ(two.attributes.size(), 2u);
    EXPECT_EQ(two.attributes[1].code, 3);
    for (const CCheckProblem& problem : ChangeProblems(one, two, CCheckLimits())) {
        EXPECT_EQ(problem.text.find("changes type code"), std::string::npos) << problem.text;
    }
    // A code change of the delivered record is one.
    CPdcBytes changed;
    changed.Header(1, 2).Record("age", 3).Double(1).Record("age", 1).Int(4);
    WriteFile(scratch.Path() / "p.3.pdc", changed.Bytes());
    const std::vector<CCheckProblem> problems =
        ChangeProblems(two, FrameFacts({3, scratch / "p.3.pdc"}), CCheckLimits());
    ASSERT_FALSE(problems.empty());
    EXPECT_NE(problems[0].text.find("attribute \"age\" changes type code from 3 to 1"),
              std::string::npos)
        << problems[0].text;
}

}  // namespace
}  // namespace VelpoTools
