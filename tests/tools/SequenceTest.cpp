// Naming the files of a sequence, and sharing a sequence out over machines.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "tests/tools/CommandRunner.h"
#include "tools/sequence/Sequence.h"
#include "tools/sequence/SequenceOptions.h"

namespace VelpoTools {
namespace {

using VelpoCommandTest::CScratch;
using VelpoCommandTest::WriteFile;

std::vector<int32_t> Frames(const std::vector<CSequenceFrame>& sequence) {
    std::vector<int32_t> frames;
    for (const CSequenceFrame& item : sequence) {
        frames.push_back(item.frame);
    }
    return frames;
}

TEST(Sequence, SettingsNameTheFilesAsTheNodesDo) {
    CScratch scratch;
    // Forward slashes, so that the JSON text needs no escapes on Windows.
    const std::string folder = scratch.Path().generic_string();
    WriteFile(scratch.Path() / "s.json",
              R"({"Path": ")" + folder + R"(/run.2/fluid.pdc", "Step": 250})");
    std::vector<CSequenceFrame> frames;
    ASSERT_TRUE(SettingsSequence(scratch / "s.json", {1, 2}, frames).Succeeded());
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].file, folder + "/run.250.pdc");
    EXPECT_EQ(frames[1].file, folder + "/run.500.pdc");
}

TEST(Sequence, FramesThatShareAFileAreRefused) {
    CScratch scratch;
    struct Case {
        const char* step;
        const char* clash;
    };
    // 1073741824 * 4 wraps to 0 in the 32 bits of a file name's number.
    for (const Case& c : {Case{"0", "frames 0 and 1 are both named cache/p.0.pdc"},
                          Case{"1073741824", "frames 0 and 4 are both named cache/p.0.pdc"}}) {
        SCOPED_TRACE(c.step);
        WriteFile(scratch.Path() / "s.json",
                  R"({"Path": "cache/p", "Step": )" + std::string(c.step) + "}");
        std::vector<CSequenceFrame> frames;
        const Velpo::CResult result = SettingsSequence(scratch / "s.json", {0, 4}, frames);
        ASSERT_FALSE(result.Succeeded());
        EXPECT_NE(result.Message().find(c.clash), std::string::npos) << result.Message();
    }
}

TEST(Sequence, PatternWithARangeNamesEveryFrame) {
    std::vector<CSequenceFrame> frames;
    ASSERT_TRUE(PatternSequence("c/p.#.pdc", CFrameRange{-1, 1}, frames).Succeeded());
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].file, "c/p.-1.pdc");
    EXPECT_EQ(frames[2].file, "c/p.1.pdc");
}

TEST(Sequence, PatternWithoutARangeFindsTheFilesThatFitInFrameOrder) {
    CScratch scratch;
    for (const char* name :
         {"p.10.pdc", "p.9.pdc", "p.-2.pdc", "p.x.pdc", "p.pdc", "p.3.pdc.tmp", "q.4.pdc",
          "p.+5.pdc", "p.2147483647.pdc", "p.2147483648.pdc", "p.-99999999999.pdc"}) {
        WriteFile(scratch.Path() / name, "");
    }
    std::vector<CSequenceFrame> frames;
    std::vector<std::string> unnumbered;
    ASSERT_TRUE(
        PatternSequence(scratch / "p.#.pdc", std::nullopt, frames, &unnumbered).Succeeded());
    EXPECT_EQ(Frames(frames), (std::vector<int32_t>{-2, 9, 10, 2147483647}));
    EXPECT_EQ(frames[1].file, scratch / "p.9.pdc");
    // Numbers that fit no frame number are left out, and said so.
    std::sort(unnumbered.begin(), unnumbered.end());
    EXPECT_EQ(unnumbered, (std::vector<std::string>{scratch / "p.-99999999999.pdc",
                                                    scratch / "p.2147483648.pdc"}));
    EXPECT_EQ(UnnumberedWarning("c/p.2147483648.pdc", "c/p.#.pdc"),
              "c/p.2147483648.pdc fits \"c/p.#.pdc\" but its number is beyond the frame numbers "
              "(-2147483648 to 2147483647); left out");
}

TEST(Sequence, PatternThatFindsNothingOrTwoNamesForAFrameIsRefused) {
    CScratch scratch;
    std::vector<CSequenceFrame> frames;
    Velpo::CResult result = PatternSequence(scratch / "p.#.pdc", std::nullopt, frames);
    EXPECT_NE(result.Message().find("no file fits \"p.#.pdc\""), std::string::npos)
        << result.Message();
    WriteFile(scratch.Path() / "p.7.pdc", "");
    WriteFile(scratch.Path() / "p.07.pdc", "");
    result = PatternSequence(scratch / "p.#.pdc", std::nullopt, frames);
    EXPECT_NE(result.Message().find("are both frame 7"), std::string::npos) << result.Message();
    result = PatternSequence(scratch / "one.pdc", CFrameRange{1, 2}, frames);
    EXPECT_NE(result.Message().find("has no '#'"), std::string::npos) << result.Message();
    result = PatternSequence(scratch / "gone/p.#.pdc", std::nullopt, frames);
    EXPECT_NE(result.Message().find("cannot look for the files of \"" + (scratch / "gone/p.#.pdc") +
                                    "\" there"),
              std::string::npos)
        << result.Message();
}

TEST(Sequence, ShardsCoverTheSequenceOnceWhateverTheirCount) {
    std::vector<CSequenceFrame> frames;
    for (int32_t f = 1; f <= 10; ++f) {
        frames.push_back({f, std::to_string(f)});
    }
    for (uint32_t count : {1u, 3u, 4u, 10u, 12u}) {
        std::vector<int32_t> seen;
        for (uint32_t index = 0; index < count; ++index) {
            CShard shard;
            ASSERT_TRUE(
                ParseShard(std::to_string(index) + "/" + std::to_string(count), shard).Succeeded());
            for (int32_t frame : Frames(TakeShard(frames, shard))) {
                seen.push_back(frame);
            }
        }
        std::sort(seen.begin(), seen.end());
        EXPECT_EQ(seen, Frames(frames)) << count;
    }
    CShard shard;
    ASSERT_TRUE(ParseShard("1/4", shard).Succeeded());
    EXPECT_EQ(Frames(TakeShard(frames, shard)), (std::vector<int32_t>{2, 6, 10}));
    for (const char* bad : {"4/4", "1/0", "1", "a/4", "1/4x", "-1/4", "/4", ""}) {
        EXPECT_FALSE(ParseShard(bad, shard).Succeeded()) << bad;
    }
}

// The rule both a list of files and a range of frames are shared out by.
TEST(Sequence, ShardPositionsAreEveryNthFromTheKth) {
    struct Case {
        uint64_t items;
        CShard shard;
        std::vector<uint64_t> positions;
    };
    for (const Case& c :
         {Case{10, {1, 4}, {1, 5, 9}}, Case{10, {0, 1}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
          Case{3, {3, 4}, {}}, Case{0, {0, 2}, {}}, Case{5, {4, 5}, {4}}, Case{7, {2, 3}, {2, 5}},
          // The step past the last item would wrap a 32-bit count.
          Case{5, {2, 4294967295u}, {2}},
          Case{4294967295u, {4294967294u, 4294967295u}, {4294967294u}}}) {
        SCOPED_TRACE(std::to_string(c.items) + " items, shard " + std::to_string(c.shard.index) +
                     "/" + std::to_string(c.shard.count));
        EXPECT_EQ(ShardPositions(c.items, c.shard), c.positions);
    }
}

// A range sizes the reports of a run; one that would take more memory than
// its files is refused as usage, before anything is sized.
TEST(SequenceOptions, RangesAndShardsAreCheckedBeforeAnythingIsSized) {
    struct Case {
        const char* frames;
        const char* shard;
        const char* problem;  // empty: accepted
    };
    for (const Case& c : {Case{"1-1000000", "", ""}, Case{"-5--5", "3/4", ""},
                          Case{"0-1000000", "", "--frames: \"0-1000000\" holds 1000001 frames"},
                          Case{"-2147483648-2147483647", "", "holds 4294967296 frames"},
                          Case{"5-1", "", "--frames: frame range \"5-1\" runs backwards"},
                          Case{"1-2", "2/2", "--shard: \"2/2\" is not a shard"}}) {
        SCOPED_TRACE(c.frames);
        CSequenceOptions options;
        options.frames = c.frames;
        options.shard = c.shard;
        CSequenceChoice choice;
        const Velpo::CResult parsed = ParseSequenceOptions(options, choice);
        if (*c.problem == '\0') {
            EXPECT_TRUE(parsed.Succeeded()) << parsed.Message();
        } else {
            EXPECT_NE(parsed.Message().find(c.problem), std::string::npos) << parsed.Message();
        }
    }
}

}  // namespace
}  // namespace VelpoTools
