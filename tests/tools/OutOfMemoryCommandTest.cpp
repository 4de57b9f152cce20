// import when a frame does not fit in memory: the frame fails with "out of
// memory" and its name, the others are imported, the earlier table of the
// failed frame is kept, exit status 1, on one job or several. On Linux the
// address space is cut with ulimit; the 32-bit Windows build meets frames
// that need more than its 4 GB as they are.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/tools/CommandRunner.h"

namespace VelpoCommandTest {
namespace {

// Every numbered port named: per particle the outputs then take 196 bytes.
std::string SettingsFile(const CScratch& scratch) {
    std::string names;
    for (int i = 0; i < 10; ++i) {
        names += ", \"Float" + std::to_string(i) + "\": \"f" + std::to_string(i) + "\"";
        names += ", \"Vector" + std::to_string(i) + "\": \"v" + std::to_string(i) + "\"";
    }
    for (int i = 0; i < 5; ++i) {
        names += ", \"Long" + std::to_string(i) + "\": \"l" + std::to_string(i) + "\"";
    }
    WriteFile(scratch.Path() / "settings.json", R"({"Path": ")" + scratch.Path().generic_string() +
                                                    R"(/pts", "Step": 1)" + names + "}");
    return "--settings \"" + (scratch / "settings.json") + "\" ";
}

std::string Quote(const std::string& path) {
    return "\"" + path + "\"";
}

// A cache whose every record is a single value, for `particles` particles:
// a few hundred bytes, whatever the count; position may be an array instead.
CPdcBytes SingleValues(int32_t particles, bool positionArray) {
    // Names built by appending: g++ 12 sees a false overlap in "f" + digits.
    auto name = [](char kind, int i) {
        std::string text(1, kind);
        text += std::to_string(i);
        return text;
    };
    CPdcBytes bytes;
    bytes.Header(particles, 27).Record("id", 2).Double(7);
    for (int i = 0; i < 10; ++i) {
        bytes.Record(name('f', i), 2).Double(0.5 * i);
        bytes.Record(name('v', i), 4).Doubles({1.0 * i, 2, 3});
    }
    for (int i = 0; i < 5; ++i) {
        bytes.Record(name('l', i), 2).Double(i);
    }
    bytes.Record("position", positionArray ? 5 : 4);
    if (!positionArray) {
        bytes.Doubles({4, 5, 6});
    }
    return bytes;
}

std::string Limit(const char* kilobytes) {
#ifdef _WIN32
    (void)kilobytes;
    return "";
#else
    return std::string("ulimit -v ") + kilobytes + "; ";
#endif
}

bool CanRun() {
#ifdef _WIN32
    return sizeof(void*) == 4;  // 60,000,000 particles' outputs do fit in 64 bits
#else
    return !UnderAddressSanitizer();
#endif
}

TEST(OutOfMemory, AFrameWhoseOutputsDoNotFitFailsAloneNamingItself) {
    if (!CanRun()) {
        GTEST_SKIP() << "the address space cannot be cut below what the frame needs here";
    }
    CScratch scratch;
    const std::string settings = SettingsFile(scratch);
    WriteFile(scratch.Path() / "pts.1.pdc", SingleValues(2, false).Bytes());
    // 60,000,000 particles: 11.8 GB of outputs.
    WriteFile(scratch.Path() / "pts.2.pdc", SingleValues(60000000, false).Bytes());
    WriteFile(scratch.Path() / "pts.3.pdc", SingleValues(3, false).Bytes());
    for (const char* jobs : {"1", "3"}) {
        SCOPED_TRACE(jobs);
        WriteFile(scratch.Path() / "out.2.json", "earlier");
        const CRun run =
            VelpoIn(Limit("393216"), "import " + settings + "--frames 1-3 --jobs " + jobs +
                                         " --output " + Quote(scratch / "out.#.json"));
        EXPECT_EQ(run.exitCode, 1) << run.err;
        const size_t at = run.err.find("pts.2.pdc: ");
        ASSERT_NE(at, std::string::npos) << run.err;
        EXPECT_NE(run.err.find("out of memory", at), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("frame 2", at), std::string::npos) << run.err;
        EXPECT_NE(run.out.find("imported 2 of 3 frames, 5 particles"), std::string::npos)
            << run.out;
        EXPECT_EQ(ReadFile(scratch.Path() / "out.2.json"), "earlier");
        EXPECT_NE(ReadFile(scratch.Path() / "out.3.json").find("\"particleCount\": 3"),
                  std::string::npos);
    }
}

#ifndef _WIN32
// The reading node takes each subset's values from the file as the host
// asks for them, so a frame needs memory for its outputs only, not for a
// copy of its records as well.
TEST(OutOfMemory, AFrameIsReadWithoutACopyOfItsRecordsInMemory) {
    if (UnderAddressSanitizer()) {
        GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit";
    }
    CScratch scratch;
    const std::string settings = SettingsFile(scratch);
    WriteFile(scratch.Path() / "pts.1.pdc", SingleValues(2, false).Bytes());
    // 10,000,000 positions of zeros (a sparse file): the CSV table is written
    // as the node gives its values, a subset at a time, and the node's copy
    // of the record (240 MB) would not fit in a 256 MB address space.
    const std::string head = SingleValues(10000000, true).Bytes();
    WriteFile(scratch.Path() / "pts.2.pdc", head);
    std::filesystem::resize_file(scratch.Path() / "pts.2.pdc", head.size() + 240000000);
    const CRun run = VelpoIn(Limit("262144"), "import " + settings + "--frames 1-2 --output " +
                                                  Quote(scratch / "out.#.csv"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("imported 2 of 2 frames, 10000002 particles"), std::string::npos)
        << run.out;
    std::ifstream table(scratch.Path() / "out.2.csv");
    std::string line;
    std::getline(table, line);
    std::getline(table, line);
    // id is a single value, position the zeros of the file.
    EXPECT_EQ(line.rfind("7,0,0,0,0,0.5,1,", 0), 0u) << line;
    size_t rows = 1;
    while (std::getline(table, line)) {
        ++rows;
    }
    EXPECT_EQ(rows, 10000000u);
}

TEST(OutOfMemory, ACsvTableIsWrittenAsTheNodeGivesItsValues) {
    if (UnderAddressSanitizer()) {
        GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit";
    }
    CScratch scratch;
    WriteFile(scratch.Path() / "settings.json",
              R"({"Path": ")" + scratch.Path().generic_string() + R"(/pts", "Step": 1})");
    // 8,000,000 particles of one id and one position: 128 MB of outputs if
    // they were held for the whole frame, more than a 96 MB address space.
    WriteFile(scratch.Path() / "pts.1.pdc", CPdcBytes()
                                                .Header(8000000, 2)
                                                .Record("id", 2)
                                                .Double(7)
                                                .Record("position", 4)
                                                .Doubles({0.5, -1, 2})
                                                .Bytes());
    const CRun run =
        VelpoIn(Limit("98304"), "import --settings " + Quote(scratch / "settings.json") +
                                    " --frames 1 --output " + Quote(scratch / "out.#.csv"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string table = ReadFile(scratch.Path() / "out.1.csv");
    const std::string row = "7,0.5,-1,2\n";
    const std::string header = "id,position.x,position.y,position.z\n";
    ASSERT_EQ(table.size(), header.size() + 8000000 * row.size());
    EXPECT_EQ(table.compare(0, header.size() + row.size(), header + row), 0);
    EXPECT_EQ(table.compare(table.size() - row.size(), row.size(), row), 0);
}
#endif

}  // namespace
}  // namespace VelpoCommandTest
