// The frames a sequence command works on: patterns, shards, and the options
// that choose them.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/FileContents.h"
#include "tests/support/ScratchFolder.h"
#include "tools/sequence/Sequence.h"
#include "tools/sequence/SequenceOptions.h"

namespace VelpoTools {
namespace {

using VelpoTestSupport::CScratchFolder;

std::vector<CSequenceFrame> Numbered(int32_t count) {
    std::vector<CSequenceFrame> frames;
    for (int32_t i = 0; i < count; ++i) {
        frames.push_back({100 + i, std::string("f") + std::to_string(i)});
    }
    return frames;
}

TEST(FrameShard, OnlyKBelowNIsAShard) {
    struct Case {
        const char* text;
        bool ok;
        uint32_t index;
        uint32_t count;
    } cases[] = {
        {"0/1", true, 0, 1},           {"0/4", true, 0, 4},
        {"3/4", true, 3, 4},           {"4294967294/4294967295", true, 4294967294u, 4294967295u},
        {"4/4", false, 0, 0},          {"5/4", false, 0, 0},
        {"0/0", false, 0, 0},          {"1", false, 0, 0},
        {"/4", false, 0, 0},           {"1/", false, 0, 0},
        {"-1/4", false, 0, 0},         {"1/-4", false, 0, 0},
        {"+1/4", false, 0, 0},         {"1/4x", false, 0, 0},
        {"1 /4", false, 0, 0},         {"1/4/2", false, 0, 0},
        {"0/4294967296", false, 0, 0}, {"", false, 0, 0},
    };
    for (const Case& c : cases) {
        CShard shard;
        shard.index = 77;
        shard.count = 99;
        const Velpo::CResult parsed = ParseShard(c.text, shard);
        ASSERT_EQ(parsed.Succeeded(), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(shard.index, c.index) << c.text;
            EXPECT_EQ(shard.count, c.count) << c.text;
        } else {
            EXPECT_EQ(parsed.Message(), std::string("\"") + c.text +
                                            "\" is not a shard: expected K/N with 0 <= K < N, "
                                            "such as 0/4");
            EXPECT_EQ(shard.index, 77u) << c.text;
            EXPECT_EQ(shard.count, 99u) << c.text;
        }
    }
}

TEST(FrameShard, TakesEveryNthFromTheKthInOrder) {
    struct Case {
        int32_t frames;
        CShard shard;
        std::vector<int32_t> taken;
    } cases[] = {
        {5, {0, 1}, {100, 101, 102, 103, 104}},
        {5, {0, 2}, {100, 102, 104}},
        {5, {1, 2}, {101, 103}},
        {5, {4, 5}, {104}},
        {3, {3, 5}, {}},
        {0, {0, 3}, {}},
        {7, {2, 3}, {102, 105}},
    };
    for (const Case& c : cases) {
        const std::vector<CSequenceFrame> taken = TakeShard(Numbered(c.frames), c.shard);
        std::vector<int32_t> frames;
        for (const CSequenceFrame& item : taken) {
            frames.push_back(item.frame);
            EXPECT_EQ(item.file, std::string("f") + std::to_string(item.frame - 100));
        }
        EXPECT_EQ(frames, c.taken) << c.frames << " " << c.shard.index << "/" << c.shard.count;
    }
}

TEST(FramePattern, EveryHashStandsForTheFrame) {
    EXPECT_EQ(FrameFile("p.#.pdc", 12), "p.12.pdc");
    EXPECT_EQ(FrameFile("p.#.pdc", -3), "p.-3.pdc");
    EXPECT_EQ(FrameFile("run#/p.#.pdc", 7), "run7/p.7.pdc");
    EXPECT_EQ(FrameFile("plain.pdc", 7), "plain.pdc");
    EXPECT_EQ(FrameFile("#", -2147483647 - 1), "-2147483648");
}

TEST(FramePattern, ASingleFileIsTheFrameAskedForOrFrameZero) {
    std::vector<CSequenceFrame> frames;
    ASSERT_TRUE(PatternSequence("one.pdc", std::nullopt, frames).Succeeded());
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].frame, 0);
    EXPECT_EQ(frames[0].file, "one.pdc");

    ASSERT_TRUE(PatternSequence("one.pdc", CFrameRange{7, 7}, frames).Succeeded());
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].frame, 7);
    EXPECT_EQ(frames[0].file, "one.pdc");

    const Velpo::CResult several = PatternSequence("one.pdc", CFrameRange{7, 8}, frames);
    ASSERT_FALSE(several.Succeeded());
    EXPECT_NE(several.Message().find("has no '#' for the frame number"), std::string::npos)
        << several.Message();
}

TEST(FramePattern, AHashStandsForASignedRunOfDigitsOnly) {
    CScratchFolder scratch;
    for (const char* name : {"p.1.pdc", "p.-3.pdc", "p.20.pdc", "p.+4.pdc", "p..pdc", "p.5a.pdc",
                             "p.6.pdc.bak", "q.7.pdc", "p.8.PDC", "p.- 9.pdc", "p.--2.pdc",
                             "p.99999999999.pdc", "p.-2147483649.pdc", "p.2147483647.pdc"}) {
        ASSERT_TRUE(VelpoTestSupport::WriteFile(scratch.Path() / name, "x"));
    }
    std::vector<CSequenceFrame> frames;
    std::vector<std::string> unnumbered;
    const std::string pattern = scratch / "p.#.pdc";
    const Velpo::CResult found = PatternSequence(pattern, std::nullopt, frames, &unnumbered);
    ASSERT_TRUE(found.Succeeded()) << found.Message();
    std::vector<int32_t> numbers;
    for (const CSequenceFrame& item : frames) {
        numbers.push_back(item.frame);
        EXPECT_EQ(item.file, scratch / (std::string("p.") + std::to_string(item.frame) + ".pdc"));
    }
    EXPECT_EQ(numbers, (std::vector<int32_t>{-3, 1, 20, 2147483647}));
    std::sort(unnumbered.begin(), unnumbered.end());
    EXPECT_EQ(unnumbered, (std::vector<std::string>{scratch / "p.-2147483649.pdc",
                                                    scratch / "p.99999999999.pdc"}));
    const std::string warning = UnnumberedWarning(unnumbered[0], pattern);
    EXPECT_NE(warning.find("beyond the frame numbers (-2147483648 to 2147483647); left out"),
              std::string::npos)
        << warning;

    // Leaving the out-of-range numbers unreported is allowed.
    ASSERT_TRUE(PatternSequence(pattern, std::nullopt, frames).Succeeded());
    EXPECT_EQ(frames.size(), 4u);
}

TEST(FramePattern, PatternsTheFolderCannotAnswerAreRefused) {
    CScratchFolder scratch;
    ASSERT_TRUE(VelpoTestSupport::WriteFile(scratch.Path() / "p.1.pdc", "x"));
    struct Case {
        std::string pattern;
        const char* message;
    } cases[] = {
        {scratch / "#/p.1.pdc", "'#' may stand only in the file name"},
        {scratch / "p.#.#.pdc", "has more than one '#'"},
        {scratch / "none.#.pdc", "no file fits \"none.#.pdc\""},
        {scratch / "missing/p.#.pdc", "cannot look for the files of"},
    };
    for (const Case& c : cases) {
        std::vector<CSequenceFrame> frames;
        const Velpo::CResult found = PatternSequence(c.pattern, std::nullopt, frames);
        ASSERT_FALSE(found.Succeeded()) << c.pattern;
        EXPECT_NE(found.Message().find(c.message), std::string::npos) << found.Message();
    }
}

TEST(SequenceChoice, OptionsBecomeARangeAShardAndJobs) {
    struct Case {
        const char* frames;
        const char* shard;
        const char* message;  // empty: taken
        int32_t first;
        int32_t last;
    } cases[] = {
        {"", "", "", 0, 0},
        {"1-1000000", "", "", 1, 1000000},
        {"-999999-0", "", "", -999999, 0},
        {"1-1000001", "", "--frames: \"1-1000001\" holds 1000001 frames, more than the 1000000", 0,
         0},
        {"-2147483648-2147483647", "", "holds 4294967296 frames", 0, 0},
        {"9-1", "", "--frames: frame range \"9-1\" runs backwards", 0, 0},
        {"1-x", "", "--frames: \"1-x\" is not a frame range", 0, 0},
        {"1-4", "2/2", "--shard: \"2/2\" is not a shard", 0, 0},
        {"1-4", "1/2", "", 1, 4},
    };
    for (const Case& c : cases) {
        CSequenceOptions options;
        options.frames = c.frames;
        options.shard = c.shard;
        options.jobs = 3;
        options.quiet = true;
        CSequenceChoice choice;
        const Velpo::CResult parsed = ParseSequenceOptions(options, choice);
        if (std::string(c.message).empty()) {
            ASSERT_TRUE(parsed.Succeeded()) << c.frames << ": " << parsed.Message();
            EXPECT_EQ(choice.range.has_value(), *c.frames != '\0');
            if (choice.range) {
                EXPECT_EQ(choice.range->first, c.first);
                EXPECT_EQ(choice.range->last, c.last);
            }
            EXPECT_EQ(choice.jobs, 3u);
            EXPECT_FALSE(choice.progress);
        } else {
            ASSERT_FALSE(parsed.Succeeded()) << c.frames;
            EXPECT_NE(parsed.Message().find(c.message), std::string::npos) << parsed.Message();
        }
    }
}

TEST(SequenceChoice, APatternIsResolvedThenShared) {
    CScratchFolder scratch;
    for (int frame = 1; frame <= 6; ++frame) {
        ASSERT_TRUE(VelpoTestSupport::WriteFile(
            scratch.Path() / (std::string("p.") + std::to_string(frame) + ".pdc"), "x"));
    }
    CSequenceChoice choice;
    choice.shard = {1, 3};
    std::vector<CSequenceFrame> frames;
    ASSERT_TRUE(ResolvePattern(scratch / "p.#.pdc", choice, frames).Succeeded());
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].frame, 2);
    EXPECT_EQ(frames[1].frame, 5);

    choice.range = CFrameRange{10, 12};
    ASSERT_TRUE(ResolvePattern(scratch / "p.#.pdc", choice, frames).Succeeded());
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].frame, 11);
    EXPECT_EQ(frames[0].file, scratch / "p.11.pdc");

    choice.range.reset();
    frames.assign(3, CSequenceFrame{});
    EXPECT_FALSE(ResolvePattern(scratch / "q.#.pdc", choice, frames).Succeeded());
}

}  // namespace
}  // namespace VelpoTools
