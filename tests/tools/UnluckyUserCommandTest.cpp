// The command used as an unlucky or hostile user would: inputs that are
// named pipes nobody writes, outputs that are the inputs under another
// name, frames that would all land in one file, a cache folder that is not
// there yet, and more jobs than the system gives threads. Nothing may wait
// forever, abort, or write over what the command reads.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/tools/CommandRunner.h"

#ifndef _WIN32
#include <sys/stat.h>

#include "tests/ChildProcess.h"
#endif

namespace VelpoCommandTest {
namespace {

std::string Quote(const std::string& text) {
    return "\"" + text + "\"";
}

constexpr const char* Table =
    "id,position.x,position.y,position.z\n"
    "1,0.5,1,2\n"
    "2,3,4,5\n";

// A small cache of `count` particles: id and position.
std::string Cache(int32_t count) {
    CPdcBytes bytes;
    bytes.Header(count, 2).Record("id", 3);
    for (int32_t i = 0; i < count; ++i) {
        bytes.Double(i);
    }
    bytes.Record("position", 5);
    for (int32_t i = 0; i < count; ++i) {
        bytes.Doubles({i * 0.5, 1.0, -2.0});
    }
    return bytes.Bytes();
}

std::string Settings(const CScratch& scratch, const std::string& path) {
    WriteFile(scratch.Path() / "settings.json", R"({"Path": ")" + path + R"(", "Step": 1})");
    return Quote(scratch / "settings.json");
}

#ifndef _WIN32

// Each command given a named pipe that nobody writes, where it reads: it
// must refuse it at once, naming it, not wait for a writer.
struct CPipeCase {
    const char* label;
    const char* pipe;       // made as a pipe in the scratch folder
    const char* arguments;  // {} stands for the scratch folder
};

void PrintTo(const CPipeCase& c, std::ostream* out) {
    *out << c.label;
}

std::string Filled(std::string text, const std::string& folder) {
    for (size_t at = text.find("{}"); at != std::string::npos; at = text.find("{}", at)) {
        text.replace(at, 2, folder);
    }
    return text;
}

class PipeInput : public ::testing::TestWithParam<CPipeCase> {};

TEST_P(PipeInput, IsRefusedWithoutWaiting) {
    const CPipeCase& c = GetParam();
    CScratch scratch;
    const std::string folder = scratch.Path().string();
    WriteFile(scratch.Path() / "ok.pdc", Cache(2));
    WriteFile(scratch.Path() / "t.1.csv", Table);
    WriteFile(scratch.Path() / "ok.json", R"({"Path": ")" + folder + R"(/p", "Step": 1})");
    ASSERT_EQ(mkfifo((scratch / c.pipe).c_str(), 0600), 0);
    // A generous bound: the command either refuses at once or waits
    // forever.
    const CRun run = VelpoIn("timeout 60 ", Filled(c.arguments, folder));
    EXPECT_EQ(run.exitCode, 1) << run.err;
    // check reports on standard output, the others on standard error.
    const std::string said = run.out + run.err;
    EXPECT_NE(said.find(c.pipe), std::string::npos) << said;
    EXPECT_NE(said.find("not a regular file"), std::string::npos) << said;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, PipeInput,
    ::testing::Values(CPipeCase{"Info", "p.1.pdc", "info {}/p.1.pdc"},
                      CPipeCase{"Dump", "p.1.pdc", "dump {}/p.1.pdc"},
                      CPipeCase{"CheckFile", "p.1.pdc", "check {}/p.1.pdc"},
                      CPipeCase{"CheckPattern", "p.1.pdc", "check '{}/p.#.pdc'"},
                      CPipeCase{"Diff", "p.1.pdc", "diff {}/ok.pdc {}/p.1.pdc"},
                      CPipeCase{"ConvertPdc", "p.1.pdc", "convert {}/p.1.pdc {}/out.ply"},
                      CPipeCase{"ConvertPly", "p.1.ply", "convert {}/p.1.ply {}/out.pdc"},
                      CPipeCase{"Preview", "p.1.pdc", "preview {}/p.1.pdc -o {}/out.png"},
                      CPipeCase{"PreviewSheet", "p.1.pdc",
                                "preview '{}/p.#.pdc' --sheet -o {}/out.png"},
                      CPipeCase{"ExportTable", "p.1.csv",
                                "export --settings {}/ok.json --frames 1 --input '{}/p.#.csv'"},
                      CPipeCase{"ExportSettings", "p.json",
                                "export --settings {}/p.json --frames 1 --input '{}/t.#.csv'"},
                      CPipeCase{"ImportCache", "p.1.pdc",
                                "import --settings {}/ok.json --frames 1 --output '{}/out.#.csv'"},
                      CPipeCase{"CheckSettings", "p.json", "check --settings {}/p.json --frames 1"},
                      CPipeCase{"NodesPlugin", "p.so", "nodes --plugin {}/p.so"}),
    [](const auto& info) { return std::string(info.param.label); });

#endif

// Outputs that are inputs under another name, and frames whose outputs are
// one file: refused as usage (exit 2) before anything is written.
TEST(OutputOntoInput, ConvertRefusesAnyNameOfItsInput) {
    CScratch scratch;
    const std::string input = scratch / "a.pdc";
    WriteFile(input, Cache(3));
    std::filesystem::create_directory(scratch.Path() / "sub");
    std::filesystem::create_hard_link(input, scratch.Path() / "hard.ply");
    std::vector<std::pair<std::string, std::string>> outputs = {
        {"HardLink", scratch / "hard.ply"},
        {"HardLinkThroughDotDot", scratch / "sub/../hard.ply"},
    };
#ifndef _WIN32
    std::filesystem::create_symlink("a.pdc", scratch.Path() / "link.ply");
    std::filesystem::create_symlink(".", scratch.Path() / "here");
    outputs.push_back({"SymbolicLink", scratch / "link.ply"});
    outputs.push_back({"LinkedFolderAndDotDot", scratch / "here/sub/../link.ply"});
#endif
    for (const auto& [label, output] : outputs) {
        SCOPED_TRACE(label);
        const CRun run = Velpo("convert " + Quote(input) + " " + Quote(output));
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_NE(run.err.find("is the same file as the input"), std::string::npos) << run.err;
        EXPECT_EQ(ReadFile(input), Cache(3));
    }
}

TEST(OutputOntoInput, FramesThatShareAnOutputFileAreRefused) {
    CScratch scratch;
    for (int frame = 1; frame <= 3; ++frame) {
        WriteFile(scratch.Path() / ("c." + std::to_string(frame) + ".pdc"), Cache(frame));
        std::filesystem::create_directories(scratch.Path() / "out" / std::to_string(frame));
    }
    WriteFile(scratch.Path() / "out/one.ply", "earlier");
    // The folders exist, and do not: the system resolves ".." either way.
    for (const char* pattern : {"out/#/../one.ply", "new/#/../one.ply"}) {
        SCOPED_TRACE(pattern);
        const CRun run =
            Velpo("convert " + Quote(scratch / "c.#.pdc") + " " + Quote(scratch / pattern));
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_NE(run.err.find("frames 1 and 2 would both be written to "), std::string::npos)
            << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(ReadFile(scratch.Path() / "out/one.ply"), "earlier");
        EXPECT_FALSE(std::filesystem::exists(scratch.Path() / "new"));
    }
}

TEST(OutputOntoInput, PreviewWritesOnlyPngFilesThatAreNotItsInput) {
    CScratch scratch;
    const std::string input = scratch / "c.1.pdc";
    WriteFile(input, Cache(3));
    struct CCase {
        const char* output;
        const char* message;
    };
    std::vector<CCase> cases = {
        {"c.1.pdc", "must end in .png"},
        {"picture.ply", "must end in .png"},
        {"", "the PNG file to write is empty"},
    };
#ifndef _WIN32
    std::filesystem::create_symlink("c.1.pdc", scratch.Path() / "link.png");
    cases.push_back({"link.png", "is the same file as the input"});
#endif
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.output);
        const std::string output = *c.output ? scratch / c.output : std::string();
        const CRun run = Velpo("preview " + Quote(input) + " -o " + Quote(output));
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(ReadFile(input), Cache(3));
    }
    const CRun upper = Velpo("preview " + Quote(input) + " -o " + Quote(scratch / "pic.PNG"));
    EXPECT_EQ(upper.exitCode, 0) << upper.err;
}

TEST(OutputOntoInput, ImportAndExportKeepWhatTheyRead) {
    CScratch scratch;
    const std::string folder = scratch.Path().generic_string();
    const std::string settings = Settings(scratch, folder + "/c");
    const std::string settingsText = ReadFile(scratch.Path() / "settings.json");
    WriteFile(scratch.Path() / "c.1.pdc", Cache(2));
    WriteFile(scratch.Path() / "c.2.pdc", Cache(2));
    WriteFile(scratch.Path() / "t.1.csv", Table);
    std::filesystem::create_directories(scratch.Path() / "out/1");
    std::filesystem::create_directories(scratch.Path() / "out/2");
    struct CCase {
        std::string arguments;
        const char* message;
    };
    std::vector<CCase> cases = {
        {"import --settings " + settings + " --frames 1-2 --output " +
             Quote(folder + "/out/#/../t.csv"),
         "frames 1 and 2 would both be written to "},
        {"import --settings " + settings + " --frames 1 --output " +
             Quote(folder + "/settings.json"),
         "is the same file as the input"},
    };
#ifndef _WIN32
    // A table onto the cache it is read from, and a cache onto the table
    // it is made from, each through a link.
    std::filesystem::create_symlink("c.1.pdc", scratch.Path() / "tab.1.csv");
    std::filesystem::create_symlink("t.1.csv", scratch.Path() / "l.1.pdc");
    WriteFile(scratch.Path() / "onto.json", R"({"Path": ")" + folder + R"(/l", "Step": 1})");
    cases.push_back(
        {"import --settings " + settings + " --frames 1 --output " + Quote(folder + "/tab.#.csv"),
         "is the same file as the input"});
    cases.push_back({"export --settings " + Quote(folder + "/onto.json") + " --frames 1 --input " +
                         Quote(folder + "/t.#.csv"),
                     "is the same file as the input"});
#endif
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CRun run = Velpo(c.arguments);
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_EQ(ReadFile(scratch.Path() / "c.1.pdc"), Cache(2));
    EXPECT_EQ(ReadFile(scratch.Path() / "t.1.csv"), Table);
    EXPECT_EQ(ReadFile(scratch.Path() / "settings.json"), settingsText);
    EXPECT_FALSE(std::filesystem::exists(scratch.Path() / "out/t.csv"));
}

// The first export of a pipeline goes into a folder that is not there yet.
TEST(ExportIntoANewFolder, MakesTheFolderAndSaysSoOnce) {
    CScratch scratch;
    const std::string folder = scratch.Path().generic_string();
    const std::string settings = Settings(scratch, folder + "/new/deep/c");
    WriteFile(scratch.Path() / "t.1.csv", Table);
    WriteFile(scratch.Path() / "t.2.csv", Table);
    const CRun run = Velpo("export --settings " + settings + " --frames 1-2 --jobs 2 --input " +
                           Quote(folder + "/t.#.csv"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(std::filesystem::is_regular_file(scratch.Path() / "new/deep/c.1.pdc"));
    EXPECT_TRUE(std::filesystem::is_regular_file(scratch.Path() / "new/deep/c.2.pdc"));
    const std::string note = "made the folder " + folder + "/new/deep for the caches";
    const size_t first = run.err.find(note);
    EXPECT_NE(first, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(note, first + 1), std::string::npos) << run.err;
    const CRun again = Velpo("export --settings " + settings + " --frames 1 --input " +
                             Quote(folder + "/t.#.csv"));
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(again.err.find("made the folder"), std::string::npos) << again.err;
}

TEST(ExportIntoANewFolder, AFolderThatCannotBeMadeIsNamedWithTheReason) {
    CScratch scratch;
    const std::string folder = scratch.Path().generic_string();
    WriteFile(scratch.Path() / "file", "a file, not a folder");
    const std::string settings = Settings(scratch, folder + "/file/c");
    WriteFile(scratch.Path() / "t.1.csv", Table);
    const CRun run = Velpo("export --settings " + settings + " --frames 1 --input " +
                           Quote(folder + "/t.#.csv"));
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find(folder + "/file: the folder for the caches cannot be made: "),
              std::string::npos)
        << run.err;
}

// --sync flushes to the disk what the command writes; the files are the
// same as without it.
TEST(Sync, WritesTheSameFiles) {
    CScratch scratch;
    const std::string folder = scratch.Path().generic_string();
    WriteFile(scratch.Path() / "a.pdc", Cache(5));
    WriteFile(scratch.Path() / "t.1.csv", Table);
    for (const char* sync : {"", " --sync"}) {
        SCOPED_TRACE(sync);
        const std::string name = *sync ? "synced" : "plain";
        CRun run = Velpo("convert " + Quote(folder + "/a.pdc") + " " +
                         Quote(folder + "/" + name + ".ply") + sync);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const std::string settings = Settings(scratch, folder + "/" + name);
        run = Velpo("export --settings " + settings + " --frames 1 --input " +
                    Quote(folder + "/t.#.csv") + sync);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        run = Velpo("import --settings " + settings + " --frames 1 --output " +
                    Quote(folder + "/" + name + ".#.json") + sync);
        EXPECT_EQ(run.exitCode, 0) << run.err;
    }
    EXPECT_EQ(ReadFile(scratch.Path() / "synced.ply"), ReadFile(scratch.Path() / "plain.ply"));
    EXPECT_EQ(ReadFile(scratch.Path() / "synced.1.pdc"), ReadFile(scratch.Path() / "plain.1.pdc"));
    EXPECT_EQ(ReadFile(scratch.Path() / "synced.1.json"),
              ReadFile(scratch.Path() / "plain.1.json"));
    for (const std::string& name : scratch.Files()) {
        EXPECT_EQ(name.rfind(".velpo-", 0), std::string::npos) << "left behind: " << name;
    }
}

#ifndef _WIN32

// The node says only "Cannot Write"; the command adds the system's reason.
TEST(ExportIntoANewFolder, ACacheThatCannotBeWrittenSaysWhy) {
    CScratch scratch;
    const std::string folder = scratch.Path().generic_string();
    std::filesystem::create_directory(scratch.Path() / "locked");
    const std::string settings = Settings(scratch, folder + "/locked/c");
    WriteFile(scratch.Path() / "t.1.csv", Table);
    ASSERT_EQ(VelpoTest::GiveToTestUser(folder + "/locked"), "");
    ASSERT_EQ(chmod((folder + "/locked").c_str(), 0555), 0);
    const std::string seen = VelpoTest::RunInChild(
        [&]() -> std::string {
            const CRun run = Velpo("export --settings " + settings + " --frames 1 --input " +
                                   Quote(folder + "/t.#.csv"));
            const std::string line = "VelpoExport: Cannot Write " + folder + "/locked/c.1.pdc\n";
            if (run.exitCode != 1 || run.err.find(line) == std::string::npos ||
                run.err.find("the file cannot be written: Permission denied") ==
                    std::string::npos) {
                return "exit " + std::to_string(run.exitCode) + ": " + run.err;
            }
            return std::string();
        },
        VelpoTest::CChildUser::TestUser);
    chmod((folder + "/locked").c_str(), 0755);
    EXPECT_EQ(seen, "");
}

// More jobs than the system gives threads (ulimit -u): the frames run on
// the threads there are, every frame is converted, the summary is printed
// and no temporary file is left behind.
TEST(ThreadLimit, JobsBeyondItRunOnTheThreadsThereAre) {
    if (!VelpoTest::IsRoot()) {
        GTEST_SKIP() << "needs root to run as a user of its own under a limit on its threads";
    }
    CScratch scratch;
    const std::string folder = scratch.Path().generic_string();
    std::filesystem::create_directory(scratch.Path() / "in");
    std::filesystem::create_directory(scratch.Path() / "out");
    constexpr int Frames = 200;
    for (int frame = 1; frame <= Frames; ++frame) {
        WriteFile(scratch.Path() / "in" / ("p." + std::to_string(frame) + ".pdc"), Cache(50));
    }
    ASSERT_EQ(VelpoTest::GiveToLoneUser(folder + "/out"), "");
    const std::string seen = VelpoTest::RunInChild(
        [&]() -> std::string {
            // Room for the shell, the command and a few of its threads.
            if (std::string limited = VelpoTest::LimitTasks(8); !limited.empty()) {
                return limited;
            }
            const CRun run = Velpo("convert " + Quote(folder + "/in/p.#.pdc") + " " +
                                   Quote(folder + "/out/p.#.ply") + " --jobs 200");
            std::string problems;
            if (run.exitCode != 0) {
                problems += "exit " + std::to_string(run.exitCode) + "\n";
            }
            if (run.out.find("converted 200 of 200 frames\n") == std::string::npos) {
                problems += "no summary\n";
            }
            if (run.err.find("velpo convert: warning: --jobs 200: the system gave only ") ==
                std::string::npos) {
                problems += "no warning\n";
            }
            return problems.empty() ? problems : problems + run.err;
        },
        VelpoTest::CChildUser::LoneUser);
    EXPECT_EQ(seen, "");
    size_t written = 0;
    for (const auto& entry : std::filesystem::directory_iterator(scratch.Path() / "out")) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(name.rfind(".velpo-", 0), std::string::npos) << "left behind: " << name;
        written += name.size() > 4 && name.substr(name.size() - 4) == ".ply";
    }
    EXPECT_EQ(written, static_cast<size_t>(Frames));
}

#endif

}  // namespace
}  // namespace VelpoCommandTest
