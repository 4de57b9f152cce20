// velpo preview run as a user runs it: pictures of the requested size for a
// frame, a sheet and a chart; usage errors, bad files and outputs that
// cannot be written, each with its exit status and a message naming what
// is wrong, and never a partial PNG.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>

#include "tests/tools/CommandRunner.h"

namespace VelpoCommandTest {
namespace {

std::string Quote(const std::string& text) {
    return "\"" + text + "\"";
}

// Width and height from a PNG's header chunk, or 0x0 when the bytes are
// not a PNG.
std::pair<uint32_t, uint32_t> PngSize(const std::string& png) {
    static const std::string signature("\x89PNG\r\n\x1a\n", 8);
    if (png.size() < 24 || png.compare(0, 8, signature) != 0 || png.compare(12, 4, "IHDR") != 0) {
        return {0, 0};
    }
    const auto word = [&png](size_t at) {
        uint32_t value = 0;
        for (size_t i = 0; i < 4; ++i) {
            value = value << 8 | static_cast<uint8_t>(png[at + i]);
        }
        return value;
    };
    return {word(16), word(20)};
}

// Frame `frame` of a small sequence: `count` particles moving along x, a
// velocity, and one NaN "heat".
std::string FrameFile(int32_t count, int32_t frame) {
    CPdcBytes bytes;
    bytes.Header(count, 3).Record("position", 5);
    for (int32_t i = 0; i < count; ++i) {
        bytes.Doubles({i * 0.1 + static_cast<double>(frame), std::sin(i * 0.3), 0.0});
    }
    bytes.Record("velocity", 5);
    for (int32_t i = 0; i < count; ++i) {
        bytes.Doubles({1.0 + i, 0.0, 0.0});
    }
    bytes.Record("heat", 3);
    for (int32_t i = 0; i < count; ++i) {
        bytes.Double(i == 0 ? std::nan("") : i * 0.5);
    }
    return bytes.Bytes();
}

class PreviewCommand : public ::testing::Test {
protected:
    void SetUp() override {
        for (int32_t frame = 1; frame <= 3; ++frame) {
            WriteFile(scratch.Path() / ("p." + std::to_string(frame) + ".pdc"),
                      FrameFile(10 + frame, frame));
        }
    }

    std::string In(const std::string& name) const { return Quote(scratch / name); }

    CScratch scratch;
};

TEST_F(PreviewCommand, DrawsAFrameASheetAndAChartOfTheRequestedSize) {
    struct CCase {
        std::string arguments;
        uint32_t width;
        uint32_t height;
        std::string said;
    };
    const CCase cases[] = {
        {In("p.1.pdc"), 960, 540, "11 particles of"},
        {In("p.2.pdc") + " --color velocity --size 320x200", 320, 200, "12 particles"},
        {In("p.2.pdc") + " --color velocity --rgb --axis x", 960, 540, "12 particles"},
        {In("p.3.pdc") + " --color heat --camera 1,2,30 --point-size 3", 960, 540, "13 particles"},
        {In("p.#.pdc") + " --frames 2", 960, 540, "p.2.pdc"},
        {In("p.#.pdc") + " --sheet --color heat --jobs 2", 960, 540, "a sheet of 3 frames"},
        {In("p.#.pdc") + " --plot --color velocity --size 800x600", 800, 600,
         "a chart of 3 frames"},
        {In("p.#.pdc") + " --plot --shard 1/2", 960, 540, "a chart of 1 frames"},
    };
    for (const CCase& c : cases) {
        const std::string out = scratch / "out.png";
        std::filesystem::remove(out);
        const CRun run = Velpo("preview " + c.arguments + " -o " + Quote(out));
        EXPECT_EQ(run.exitCode, 0) << c.arguments << "\n" << run.err;
        EXPECT_NE(run.out.find(c.said), std::string::npos) << c.arguments << "\n" << run.out;
        EXPECT_EQ(PngSize(ReadFile(out)), std::make_pair(c.width, c.height)) << c.arguments;
    }
}

TEST_F(PreviewCommand, RefusesBadUsageAndBadFilesNamingThem) {
    CPdcBytes noPosition;
    noPosition.Header(1, 1).Record("id", 3).Double(1);
    WriteFile(scratch.Path() / "noposition.pdc", noPosition.Bytes());
    std::string truncated = FrameFile(5, 1);
    truncated.resize(truncated.size() - 3);
    WriteFile(scratch.Path() / "truncated.pdc", truncated);
    std::string forged = FrameFile(5, 1);
    forged[22] = 0x10;  // particleCount 5 + 0x100000
    WriteFile(scratch.Path() / "forged.pdc", forged);
    WriteFile(scratch.Path() / "bad.2.pdc", truncated);

    const std::string out = " -o " + In("out.png");
    struct CCase {
        std::string arguments;
        int exitCode;
        std::string message;
    };
    const CCase cases[] = {
        {In("p.1.pdc"), 2, "--output is required"},
        {In("p.1.pdc") + out + " --size 0x0", 2, "--size"},
        {In("p.1.pdc") + out + " --size 20000x100", 2, "\"20000x100\" is too big"},
        {In("p.1.pdc") + out + " --size 100000x100000", 2, "\"100000x100000\" is too big"},
        {In("p.1.pdc") + out + " --size 63x100", 2, "\"63x100\" is too small"},
        {In("p.1.pdc") + out + " --camera 0x10,0,0", 2, "--camera: \"0x10,0,0\" is not"},
        {In("p.1.pdc") + out + " --camera 1,2,3 --axis x", 2, "--axis excludes --camera"},
        {In("p.1.pdc") + out + " --size big", 2, "not WIDTHxHEIGHT"},
        {In("p.1.pdc") + out + " --axis w", 2, "--axis"},
        {In("p.1.pdc") + out + " --camera 1,2", 2, "--camera"},
        {In("p.1.pdc") + out + " --rgb", 2, "--rgb colours by an attribute"},
        {In("p.#.pdc") + out + " --sheet --plot", 2, "give one"},
        {In("p.#.pdc") + out, 2, "names 3 frames"},
        {In("p.1.pdc") + out + " --point-size 100", 2, "--point-size"},
        {In("p.#.pdc") + out + " --sheet --size 64x64 --frames 1-3", 2, "3 frames do not fit"},
        {In("p.1.pdc") + out + " --camera 1,1,1,1,1,1", 1, "the eye is where the camera looks"},
        {In("p.1.pdc") + out + " --color heat --rgb", 1, "--rgb needs vectors"},
        {In("p.1.pdc") + out + " --color mass", 1, "no record \"mass\""},
        {In("noposition.pdc") + out, 1, "noposition.pdc: no record \"position\""},
        {In("truncated.pdc") + out, 1, "truncated.pdc: "},
        {In("forged.pdc") + out, 1, "forged.pdc: "},
        {In("none.pdc") + out, 1, "none.pdc"},
        {In("p.1.pdc") + " -o " + In("nofolder/out.png"), 1, "nofolder/out.png"},
        {In("bad.#.pdc") + out + " --frames 2 --sheet", 1, "bad.2.pdc: "},
        {In("bad.#.pdc") + out + " --frames 2 --plot", 1, "bad.2.pdc: "},
    };
    for (const CCase& c : cases) {
        std::filesystem::remove(scratch.Path() / "out.png");
        const CRun run = Velpo("preview " + c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.arguments << "\n" << run.err;
        EXPECT_EQ(std::filesystem::exists(scratch.Path() / "out.png"), c.exitCode == 0)
            << c.arguments;
    }
}

TEST_F(PreviewCommand, AFailedWriteKeepsTheEarlierPictureAndLeavesNoScrap) {
    const std::string out = scratch / "out.png";
    WriteFile(out, "earlier");
    // A file that is not a PDC file fails before anything is written.
    WriteFile(scratch.Path() / "text.pdc", "not a cache");
    const CRun run = Velpo("preview " + In("text.pdc") + " -o " + Quote(out));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(ReadFile(out), "earlier");
    for (const std::string& name : scratch.Files()) {
        EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
    }
#ifndef _WIN32
    const CRun full = Velpo("preview " + In("p.1.pdc") + " -o /dev/full");
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_NE(full.err.find("/dev/full"), std::string::npos) << full.err;
#endif
}

TEST(PreviewHelp, ShowsTheViewsAndAnExample) {
    const CRun run = Velpo("preview --help");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("Example:\n  velpo preview"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("looks along -z with x right and y up"), std::string::npos);
    EXPECT_NE(run.out.find("default 960x540"), std::string::npos);
}

}  // namespace
}  // namespace VelpoCommandTest
