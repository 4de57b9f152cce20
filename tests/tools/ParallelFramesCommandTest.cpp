// export and import over many frames at once (--jobs) and in a farm's
// shares (--shard): the same files, the same output and the same exit
// status whatever the split, and each frame's node messages beside it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tools/CommandRunner.h"

namespace VelpoCommandTest {
namespace {

constexpr int32_t Frames = 7;

// Frame f holds f + 1 particles; every table has a column that no
// parameter names, which export warns of once.
struct CSequence {
    CScratch scratch;
    std::string settings;

    CSequence() {
        WriteFile(scratch.Path() / "s.json", R"({"Path": ")" + scratch.Path().generic_string() +
                                                 R"(/cache/pts", "Step": 1, "Float0": "age"})");
        settings = scratch / "s.json";
        std::filesystem::create_directories(scratch.Path() / "cache");
        for (int32_t frame = 1; frame <= Frames; ++frame) {
            std::string table = "id,position.x,position.y,position.z,age,spare\n";
            for (int32_t i = 0; i <= frame; ++i) {
                table += std::to_string(i) + "," + std::to_string(frame) + ",0.5,-1," +
                         std::to_string(0.25 * i) + ",9\n";
            }
            WriteFile(scratch.Path() / ("in." + std::to_string(frame) + ".csv"), table);
        }
    }

    CRun Export(const std::string& extra) const {
        return Velpo("export --settings \"" + settings + "\" --frames 1-" + std::to_string(Frames) +
                     " --input \"" + (scratch / "in.#.csv") + "\" " + extra);
    }

    CRun Import(const std::string& extra) const {
        return Velpo("import --settings \"" + settings + "\" --frames 1-" + std::to_string(Frames) +
                     " --output \"" + (scratch / "out.#.csv") + "\" " + extra);
    }

    // The files stem.<frame>.extension of every frame.
    std::vector<std::string> Files(const std::string& stem, const std::string& extension) const {
        std::vector<std::string> contents;
        for (int32_t frame = 1; frame <= Frames; ++frame) {
            const std::filesystem::path file =
                scratch.Path() / (stem + "." + std::to_string(frame) + extension);
            contents.push_back(std::filesystem::exists(file) ? ReadFile(file) : "(missing)");
        }
        return contents;
    }
};

TEST(ParallelFrames, OutputFilesAndExitStatusDoNotDependOnTheJobs) {
    CSequence sequence;
    const CRun one = sequence.Export("--jobs 1");
    ASSERT_EQ(one.exitCode, 0) << one.err;
    const std::vector<std::string> caches = sequence.Files("cache/pts", ".pdc");
    const CRun oneImport = sequence.Import("--jobs 1");
    ASSERT_EQ(oneImport.exitCode, 0) << oneImport.err;
    const std::vector<std::string> tables = sequence.Files("out", ".csv");
    EXPECT_EQ(tables[0],
              "id,position.x,position.y,position.z,age\n0,1,0.5,-1,0\n1,1,0.5,-1,0.25\n");

    for (const char* jobs : {"--jobs 3", "--jobs 0", ""}) {
        const CRun many = sequence.Export(jobs);
        EXPECT_EQ(many.exitCode, 0) << jobs;
        EXPECT_EQ(many.out, one.out) << jobs;
        EXPECT_EQ(many.err, one.err) << jobs;
        EXPECT_EQ(sequence.Files("cache/pts", ".pdc"), caches) << jobs;
        const CRun manyImport = sequence.Import(jobs);
        EXPECT_EQ(manyImport.exitCode, 0) << jobs;
        EXPECT_EQ(manyImport.out, oneImport.out) << jobs;
        EXPECT_EQ(sequence.Files("out", ".csv"), tables) << jobs;
    }
    // The column no parameter names is told of once, naming the first table.
    const std::string warning = "in.1.csv: column \"spare\" is named by no parameter";
    EXPECT_NE(one.err.find(warning), std::string::npos) << one.err;
    EXPECT_EQ(one.err.find("spare", one.err.find(warning) + warning.size()), std::string::npos)
        << one.err;
}

TEST(ParallelFrames, ShardsTogetherDoTheWholeRangeOnce) {
    CSequence sequence;
    ASSERT_EQ(sequence.Export("").exitCode, 0);
    const std::vector<std::string> whole = sequence.Files("cache/pts", ".pdc");
    std::filesystem::remove_all(sequence.scratch.Path() / "cache");
    std::filesystem::create_directories(sequence.scratch.Path() / "cache");

    std::string lines;
    for (const char* shard : {"0/3", "1/3", "2/3"}) {
        const CRun part = sequence.Export(std::string("--shard ") + shard);
        ASSERT_EQ(part.exitCode, 0) << shard << part.err;
        lines += part.out;
    }
    EXPECT_EQ(sequence.Files("cache/pts", ".pdc"), whole);
    // 0/3 takes frames 1, 4, 7; 1/3 takes 2, 5; 2/3 takes 3, 6.
    for (int32_t frame = 1; frame <= Frames; ++frame) {
        const std::string line = "frame " + std::to_string(frame) + ": ";
        const size_t at = lines.find(line);
        EXPECT_NE(at, std::string::npos) << frame;
        EXPECT_EQ(lines.find(line, at + 1), std::string::npos) << frame;
    }
    EXPECT_NE(lines.find("exported 3 of 3 frames"), std::string::npos) << lines;
    EXPECT_NE(lines.find("exported 2 of 2 frames"), std::string::npos) << lines;

    const CRun usage = sequence.Export("--shard 3/3");
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_NE(usage.err.find("--shard: \"3/3\" is not a shard"), std::string::npos) << usage.err;
    // A range that would size memory by itself is refused before it does.
    const CRun huge =
        Velpo("import --settings \"" + sequence.settings + "\" --frames 1-2000000000 --output \"" +
              (sequence.scratch / "out.#.csv") + "\"");
    EXPECT_EQ(huge.exitCode, 2);
    EXPECT_NE(huge.err.find("holds 2000000000 frames"), std::string::npos) << huge.err;
}

// A frame whose cache cannot be written: the node's own message comes out
// next to that frame's error, not beside another frame's, with any number
// of jobs, and the other frames are written.
TEST(ParallelFrames, EachFramesNodeMessagesStayWithIt) {
    CSequence sequence;
    std::filesystem::create_directories(sequence.scratch.Path() / "cache" / "pts.4.pdc");
    const CRun one = sequence.Export("--jobs 1");
    EXPECT_EQ(one.exitCode, 1);
    const std::string cache = sequence.scratch.Path().generic_string() + "/cache/pts.4.pdc";
    const std::string expected = "host log error: VelpoExport: Cannot Write " + cache +
                                 "\nvelpo export: error: " + cache +
                                 ": the nodes logged 1 error (shown above); the file cannot be "
                                 "written: is a folder\n";
    EXPECT_NE(one.err.find(expected), std::string::npos) << one.err;
    EXPECT_NE(one.out.find("exported 6 of 7 frames"), std::string::npos) << one.out;
    for (const char* jobs : {"--jobs 2", "--jobs 7"}) {
        const CRun many = sequence.Export(jobs);
        EXPECT_EQ(many.exitCode, 1) << jobs;
        EXPECT_EQ(many.err, one.err) << jobs;
        EXPECT_EQ(many.out, one.out) << jobs;
    }
    EXPECT_TRUE(std::filesystem::is_regular_file(sequence.scratch.Path() / "cache" / "pts.7.pdc"));
}

}  // namespace
}  // namespace VelpoCommandTest
