// velpo check on sequences whose every byte the test states.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "tests/tools/CommandRunner.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace VelpoCommandTest {
namespace {

struct CFrameShape {
    int32_t particles = 4;
    double seed = 1;  // makes the values of one frame differ from another's
    int32_t massCode = 3;
    bool mass = true;
    double special = 0;  // put into "mass" of particle 0 when not 0 (NaN, infinity)
};

std::string Frame(const CFrameShape& shape) {
    CPdcBytes bytes;
    bytes.Header(shape.particles, shape.mass ? 3 : 2).Record("id", 3);
    for (int32_t i = 0; i < shape.particles; ++i) {
        bytes.Double(i);
    }
    bytes.Record("position", 5);
    for (int32_t i = 0; i < 3 * shape.particles; ++i) {
        bytes.Double(shape.seed * 10 + i);
    }
    if (shape.mass) {
        bytes.Record("mass", shape.massCode);
        const int32_t count = shape.massCode == 3 ? shape.particles : 1;
        for (int32_t i = 0; i < count; ++i) {
            bytes.Double(i == 0 && shape.special != 0 ? shape.special : 0.5 + i);
        }
    }
    return bytes.Bytes();
}

// Frames first..last of "p.#.pdc", each with its own values.
void WriteSequence(const CScratch& scratch, int32_t first, int32_t last) {
    for (int32_t frame = first; frame <= last; ++frame) {
        WriteFile(scratch.Path() / ("p." + std::to_string(frame) + ".pdc"),
                  Frame({4, static_cast<double>(frame)}));
    }
}

std::string Pattern(const CScratch& scratch) {
    return "\"" + (scratch / "p.#.pdc") + "\"";
}

std::string FileOf(const CScratch& scratch, int32_t frame) {
    return scratch / ("p." + std::to_string(frame) + ".pdc");
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CheckCommand, AGoodSequenceIsClean) {
    CScratch scratch;
    WriteSequence(scratch, 1, 5);
    const CRun run = Velpo("check " + Pattern(scratch));
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(Has(run.out, "checked 5 frames (1 to 5, ")) << run.out;
    EXPECT_TRUE(Has(run.out, ": no problems")) << run.out;
    EXPECT_EQ(Velpo("check --strict " + Pattern(scratch) + " --frames 2-4").exitCode, 0);
}

TEST(CheckCommand, MissingFramesAreErrorsWithOrWithoutARange) {
    CScratch scratch;
    WriteSequence(scratch, 1, 6);
    std::filesystem::remove(FileOf(scratch, 3));
    std::filesystem::remove(FileOf(scratch, 4));
    const CRun ranged = Velpo("check " + Pattern(scratch) + " --frames 1-7");
    EXPECT_EQ(ranged.exitCode, 1);
    for (const int32_t frame : {3, 4, 7}) {
        EXPECT_TRUE(Has(ranged.out, "frame " + std::to_string(frame) + " (" +
                                        FileOf(scratch, frame) + "): error: missing"))
            << ranged.out;
    }
    const CRun found = Velpo("check " + Pattern(scratch));
    EXPECT_EQ(found.exitCode, 1);
    EXPECT_TRUE(Has(found.out, "frame 3 (" + FileOf(scratch, 3) +
                                   "): error: missing, with 1 more up to frame 4"))
        << found.out;
}

TEST(CheckCommand, TruncatedFrameNamesTheReason) {
    CScratch scratch;
    WriteSequence(scratch, 1, 3);
    WriteFile(FileOf(scratch, 2), Frame({4, 2}).substr(0, 100));
    const CRun run = Velpo("check " + Pattern(scratch));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.out, "frame 2 (" + FileOf(scratch, 2) +
                                 "): error: unreadable: record 1 at byte 70 (\"position\"): 4 "
                                 "values need 96 bytes, only 14 are left"))
        << run.out;
}

// Warnings pass with status 0, and fail with --strict.
TEST(CheckCommand, WarningsPassUnlessStrict) {
    struct CCase {
        const char* name;
        CFrameShape third;
        const char* warning;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const CCase cases[] = {
        {"type code", {4, 3, 2}, "attribute \"mass\" changes type code from 3 to 2 since frame 2"},
        {"vanishes", {4, 3, 3, false}, "attribute \"mass\" vanishes since frame 2"},
        {"identical", {4, 2}, "identical to frame 2 (a stuck simulation?)"},
        {"NaN", {4, 3, 3, true, nan}, "attribute \"mass\" holds 1 NaN value"},
        {"infinite", {4, 3, 3, true, -INFINITY}, "attribute \"mass\" holds 1 infinite value"},
        {"empty", {0, 3}, "empty: 0 particles"},
        {"count jump", {7, 3}, "particle count jumps from 4 to 7 since frame 2"},
    };
    for (const CCase& c : cases) {
        CScratch scratch;
        WriteSequence(scratch, 1, 4);
        WriteFile(FileOf(scratch, 3), Frame(c.third));
        const CRun run = Velpo("check " + Pattern(scratch));
        EXPECT_EQ(run.exitCode, 0) << c.name << ": " << run.out;
        EXPECT_TRUE(Has(run.out, "frame 3 (" + FileOf(scratch, 3) + "): warning: " + c.warning))
            << c.name << ": " << run.out;
        EXPECT_EQ(Velpo("check --strict " + Pattern(scratch)).exitCode, 1) << c.name;
    }
}

TEST(CheckCommand, MaxCountChangeSetsTheLimit) {
    CScratch scratch;
    WriteFile(FileOf(scratch, 1), Frame({4, 1}));
    WriteFile(FileOf(scratch, 2), Frame({7, 2}));  // a change of 0.75
    EXPECT_TRUE(Has(Velpo("check " + Pattern(scratch)).out, "particle count jumps"));
    EXPECT_EQ(Velpo("check --strict --max-count-change 0.75 " + Pattern(scratch)).exitCode, 0);
    EXPECT_EQ(Velpo("check --max-count-change -1 " + Pattern(scratch)).exitCode, 2);
}

TEST(CheckCommand, LeftoversOfInterruptedWritesAreWarnings) {
    CScratch scratch;
    WriteSequence(scratch, 1, 2);
    WriteFile(scratch.Path() / ".velpo-4711-0.tmp", "abc");
    const CRun run = Velpo("check " + Pattern(scratch));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(Has(run.out, (scratch / ".velpo-4711-0.tmp") +
                                 ": warning: leftover temporary file of an interrupted write: 3 "
                                 "bytes"))
        << run.out;
    EXPECT_TRUE(std::filesystem::exists(scratch.Path() / ".velpo-4711-0.tmp"));
}

TEST(CheckCommand, JsonHasRowsAndProblems) {
    CScratch scratch;
    WriteSequence(scratch, 1, 3);
    WriteFile(FileOf(scratch, 3), Frame({4, 3, 3, true, std::numeric_limits<double>::infinity()}));
    const CRun run = Velpo("check --json " + Pattern(scratch) + " --frames 1-4");
    EXPECT_EQ(run.exitCode, 1);
    const nlohmann::json report = nlohmann::json::parse(run.out);
    ASSERT_EQ(report["frames"].size(), 4u);
    const nlohmann::json& first = report["frames"][0];
    EXPECT_EQ(first["frame"], 1);
    EXPECT_EQ(first["file"], FileOf(scratch, 1));
    EXPECT_EQ(first["size"], Frame({4, 1}).size());
    EXPECT_EQ(first["particleCount"], 4);
    EXPECT_EQ(first["attributes"][1], nlohmann::json::parse(
                                          R"({"name": "position", "code": 5, "nan": 0,
                                              "infinite": 0})"));
    EXPECT_TRUE(first["problems"].empty());
    EXPECT_EQ(report["frames"][2]["attributes"][2]["infinite"], 1);
    EXPECT_EQ(report["frames"][2]["problems"][0]["severity"], "warning");
    const nlohmann::json& missing = report["frames"][3];
    EXPECT_TRUE(missing["size"].is_null());
    EXPECT_TRUE(missing["particleCount"].is_null());
    EXPECT_EQ(missing["problems"][0]["text"], "missing");

    ASSERT_EQ(report["problems"].size(), 2u);
    EXPECT_EQ(report["problems"][1], nlohmann::json({{"severity", "error"},
                                                     {"kind", "missing-frame"},
                                                     {"frame", 4},
                                                     {"file", FileOf(scratch, 4)},
                                                     {"text", "missing"}}));
    EXPECT_EQ(report["errors"], 1);
    EXPECT_EQ(report["warnings"], 1);
}

// The hash is sixteen lower-case hex digits, leading zeros kept: these 64
// frames' hashes include some that start with a zero.
TEST(CheckCommand, JsonContentHashesAreSixteenHexDigits) {
    CScratch scratch;
    WriteSequence(scratch, 1, 64);
    const CRun run = Velpo("check --json " + Pattern(scratch));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const nlohmann::json report = nlohmann::json::parse(run.out);
    ASSERT_EQ(report["frames"].size(), 64u);
    std::set<std::string> hashes;
    size_t leadingZero = 0;
    for (const nlohmann::json& row : report["frames"]) {
        const std::string hash = row["contentHash"];
        EXPECT_EQ(hash.size(), 16u) << hash;
        EXPECT_EQ(hash.find_first_not_of("0123456789abcdef"), std::string::npos) << hash;
        leadingZero += hash.front() == '0' ? 1 : 0;
        hashes.insert(hash);
    }
    EXPECT_EQ(hashes.size(), 64u);
    EXPECT_GT(leadingZero, 0u);
}

// Without --frames the frames the files found skip are rows of their own,
// as with --frames; every problem has a kind; the report is strict JSON.
TEST(CheckCommand, JsonListsMissingFramesWithOrWithoutARange) {
    CScratch scratch;
    WriteSequence(scratch, 1, 6);
    std::filesystem::remove(FileOf(scratch, 3));
    std::filesystem::remove(FileOf(scratch, 4));
    WriteFile(scratch.Path() / "p.99999999999.pdc", Frame({4, 7}));
    struct CCase {
        std::string range;
        std::vector<int32_t> missing;
    };
    const CCase cases[] = {{"", {3, 4}}, {" --frames 1-7", {3, 4, 7}}};
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.range);
        const CRun run = Velpo("check --json " + Pattern(scratch) + c.range);
        EXPECT_EQ(run.exitCode, 1);
        const nlohmann::json report = nlohmann::json::parse(run.out);
        std::vector<int32_t> frames;
        std::vector<int32_t> missing;
        for (const nlohmann::json& row : report["frames"]) {
            frames.push_back(row["frame"]);
            EXPECT_EQ(row["file"], FileOf(scratch, row["frame"].get<int32_t>()));
            if (!row["present"].get<bool>()) {
                missing.push_back(row["frame"]);
                EXPECT_FALSE(row["readable"].get<bool>());
                ASSERT_EQ(row["problems"].size(), 1u) << row;
                EXPECT_EQ(row["problems"][0]["kind"], "missing-frame");
                EXPECT_EQ(row["problems"][0]["severity"], "error");
            }
        }
        EXPECT_EQ(frames.size(), c.missing.back() == 7 ? 7u : 6u);
        EXPECT_TRUE(std::is_sorted(frames.begin(), frames.end()));
        EXPECT_EQ(missing, c.missing);
        EXPECT_EQ(report["missingFrames"], c.missing.size());
        // Found without a range, the number too large for a frame is said,
        // not silently skipped.
        const nlohmann::json& last = report["problems"].back();
        if (c.range.empty()) {
            EXPECT_EQ(last["kind"], "unnumbered-file");
            EXPECT_EQ(last["file"], scratch / "p.99999999999.pdc");
            EXPECT_TRUE(last["frame"].is_null());
        }
        for (const nlohmann::json& problem : report["problems"]) {
            EXPECT_FALSE(problem["kind"].get<std::string>().empty()) << problem;
        }
    }
    const CRun text = Velpo("check " + Pattern(scratch));
    EXPECT_TRUE(Has(text.out, (scratch / "p.99999999999.pdc") +
                                  ": warning: fits the pattern, but its number is beyond"))
        << text.out;
}

#ifndef _WIN32
// The report is linear in frames and problems: a million frames, ten of
// them present, in CPU seconds far below what a scan of every problem for
// every frame needed (9 s for 100,000 frames; 1,000,000 ran 13 minutes in
// the release build before it was stopped).
TEST(CheckCommand, JsonOfAMillionFramesTakesLinearTime) {
    CScratch scratch;
    WriteSequence(scratch, 1, 10);
    const auto cpuSeconds = [] {
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    };
    const double before = cpuSeconds();
    const CRun run = VelpoIn(
        "", "check --json --jobs 2 " + Pattern(scratch) + " --frames 1-1000000", "/dev/null");
    const double spent = cpuSeconds() - before;
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.empty()) << run.err;
    // ASan and UBSan slow every step some tenfold; a scan of every problem
    // for every frame would still take far longer than either bound.
    EXPECT_LT(spent, UnderAddressSanitizer() ? 900.0 : 180.0);
}
#endif

// A sequence with problems of every kind, so that the order of findings
// shows.
void WriteTroubledSequence(const CScratch& scratch) {
    WriteSequence(scratch, 1, 16);
    std::filesystem::remove(FileOf(scratch, 5));
    WriteFile(FileOf(scratch, 7), Frame({4, 6}));
    WriteFile(FileOf(scratch, 9), Frame({9, 9}));
    WriteFile(FileOf(scratch, 11), Frame({4, 11}).substr(0, 90));
    WriteFile(FileOf(scratch, 13), Frame({4, 13, 2}));
    WriteFile(FileOf(scratch, 14), Frame({4, 14, 3, true, std::nan("")}));
}

TEST(CheckCommand, ResultsAreTheSameForAnyNumberOfJobs) {
    CScratch scratch;
    WriteTroubledSequence(scratch);
    const CRun one = Velpo("check --verbose " + Pattern(scratch) + " --jobs 1");
    const CRun two = Velpo("check --verbose " + Pattern(scratch) + " --jobs 2");
    const CRun three = Velpo("check --json " + Pattern(scratch) + " --jobs 3");
    const CRun json = Velpo("check --json " + Pattern(scratch) + " --jobs 1");
    EXPECT_EQ(one.exitCode, 1);
    EXPECT_EQ(two.exitCode, 1);
    EXPECT_EQ(one.out, two.out);
    // --verbose: a line per frame, its problems indented below it.
    EXPECT_TRUE(Has(one.out, "frame 14 (" + FileOf(scratch, 14) +
                                 "): 226 bytes, 4 particles, 3 attributes\n  warning: "))
        << one.out;
    EXPECT_TRUE(Has(one.out, "frame 16 (" + FileOf(scratch, 16) + "): 226 bytes")) << one.out;
    EXPECT_EQ(three.out, json.out);
    EXPECT_EQ(nlohmann::json::parse(json.out)["problems"].size(), 8u) << one.out;
}

// The shards of a farm find, between them, every problem of a frame that an
// unsharded run finds, and each once.
TEST(CheckCommand, ShardsShareOutTheFramesProblems) {
    CScratch scratch;
    WriteTroubledSequence(scratch);
    const auto frameProblems = [](const CRun& run) {
        std::multiset<std::string> found;
        const nlohmann::json report = nlohmann::json::parse(run.out);
        for (const nlohmann::json& problem : report["problems"]) {
            const std::string text = problem["text"];
            if (text.find(" since frame ") == std::string::npos &&
                text.find("identical to frame") == std::string::npos) {
                found.insert(problem["frame"].dump() + " " + text);
            }
        }
        return found;
    };
    const std::multiset<std::string> whole =
        frameProblems(Velpo("check --json " + Pattern(scratch)));
    std::multiset<std::string> shared;
    for (const char* shard : {"0/3", "1/3", "2/3"}) {
        const std::multiset<std::string> part =
            frameProblems(Velpo("check --json " + Pattern(scratch) + " --shard " + shard));
        shared.insert(part.begin(), part.end());
    }
    EXPECT_EQ(shared, whole);
    EXPECT_EQ(whole.size(), 3u);  // frame 5 (a gap), 11 (cut) and 14 (NaN)
}

TEST(CheckCommand, SettingsNameTheFilesAsTheNodesDo) {
    CScratch scratch;
    for (const int32_t number : {250, 500, 1000}) {
        WriteFile(scratch.Path() / ("fluid." + std::to_string(number) + ".pdc"),
                  Frame({4, static_cast<double>(number)}));
    }
    WriteFile(scratch.Path() / "s.json",
              R"({"Path": ")" + scratch.Path().generic_string() + R"(/fluid", "Step": 250})");
    const CRun run = Velpo("check --settings \"" + (scratch / "s.json") + "\" --frames 1-4");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(
        run.out, "frame 3 (" + scratch.Path().generic_string() + "/fluid.750.pdc): error: missing"))
        << run.out;
    EXPECT_TRUE(Has(run.out, "checked 4 frames")) << run.out;
    EXPECT_EQ(Velpo("check --settings \"" + (scratch / "s.json") + "\"").exitCode, 2);
}

TEST(CheckCommand, UsageAndOutputFailures) {
    CScratch scratch;
    WriteSequence(scratch, 1, 2);
    const CRun help = Velpo("check --help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(Has(help.out, "Example:\n  velpo check")) << help.out;
    EXPECT_TRUE(Has(help.out, "|n1 - n0| / max(n0, 1)")) << help.out;
    EXPECT_EQ(Velpo("check").exitCode, 2);
    EXPECT_EQ(Velpo("check " + Pattern(scratch) + " --shard 3/2").exitCode, 2);
    const CRun nothing = Velpo("check \"" + (scratch / "q.#.pdc") + "\"");
    EXPECT_EQ(nothing.exitCode, 1);
    EXPECT_TRUE(Has(nothing.err, "no file fits \"q.#.pdc\"")) << nothing.err;
#ifndef _WIN32
    const CRun full = VelpoIn("", "check " + Pattern(scratch), "/dev/full");
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_TRUE(Has(full.err, "standard output")) << full.err;
#endif
}

}  // namespace
}  // namespace VelpoCommandTest
