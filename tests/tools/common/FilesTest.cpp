// Files as the commands meet them: inputs that are not regular files,
// outputs that are inputs under another name, two frames naming one output,
// and output whose every failed write is reported.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/FileContents.h"
#include "tests/support/ScratchFolder.h"
#include "tools/common/InputFile.h"
#include "tools/common/Output.h"
#include "tools/common/SameFile.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace VelpoTools {
namespace {

using VelpoTestSupport::CScratchFolder;
namespace fs = std::filesystem;

TEST(InputFileOpen, EachRefusalSaysWhy) {
    CScratchFolder scratch;
    ASSERT_TRUE(VelpoTestSupport::WriteFile(scratch.Path() / "a.pdc", "data"));
    fs::create_directory(scratch.Path() / "folder");
    struct Case {
        fs::path file;
        const char* message;  // empty: opened
    } cases[] = {
        {scratch.Path() / "a.pdc", ""},
        {scratch.Path() / "missing.pdc", "cannot be opened for reading: no such file"},
        {scratch.Path() / "folder", "is a folder, not a file"},
        {scratch.Path() / "missing" / "a.pdc", "cannot be opened for reading: no such file"},
    };
    for (const Case& c : cases) {
        CFilePointer stream;
        const Velpo::CResult opened = OpenForReading(c.file, stream);
        if (std::string(c.message).empty()) {
            ASSERT_TRUE(opened.Succeeded()) << opened.Message();
            ASSERT_NE(stream, nullptr);
            char bytes[8] = {};
            EXPECT_EQ(std::fread(bytes, 1, sizeof bytes, stream.get()), 4u);
            EXPECT_EQ(std::string(bytes), "data");
        } else {
            EXPECT_EQ(opened.Message(), c.message) << c.file;
            EXPECT_EQ(stream, nullptr);
        }
    }
#if !defined(_WIN32)
    // A named pipe with no writer is refused at once, not waited on.
    const fs::path fifo = scratch.Path() / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    CFilePointer stream;
    EXPECT_EQ(OpenForReading(fifo, stream).Message(), "not a regular file");
    EXPECT_EQ(stream, nullptr);
#endif
}

TEST(SameFileInputs, AnOutputIsKnownAsAnInputUnderEveryName) {
    CScratchFolder scratch;
    ASSERT_TRUE(VelpoTestSupport::WriteFile(scratch.Path() / "in.pdc", "x"));
    ASSERT_TRUE(VelpoTestSupport::WriteFile(scratch.Path() / "other.pdc", "x"));
    fs::create_directory(scratch.Path() / "sub");
    CInputFiles inputs;
    inputs.Add(scratch / "in.pdc");
    inputs.Add(scratch / "never-there.pdc");
    std::vector<std::string> same = {scratch / "in.pdc",
                                     (scratch.Path() / "sub" / ".." / "in.pdc").string(),
                                     (scratch.Path() / "." / "in.pdc").string()};
    std::error_code error;
    fs::create_hard_link(scratch.Path() / "in.pdc", scratch.Path() / "hard.pdc", error);
    if (!error) {
        same.push_back(scratch / "hard.pdc");
    }
    fs::create_symlink(scratch.Path() / "in.pdc", scratch.Path() / "soft.pdc", error);
    if (!error) {
        same.push_back(scratch / "soft.pdc");
    }
    for (const std::string& output : same) {
        const Velpo::CResult checked = inputs.CheckOutput(output);
        ASSERT_FALSE(checked.Succeeded()) << output;
        EXPECT_EQ(checked.Message(), "\"" + output + "\" is the same file as the input \"" +
                                         (scratch / "in.pdc") + "\"; nothing was written");
    }
    for (const std::string& output :
         {scratch / "other.pdc", scratch / "new.pdc", scratch / "never-there.pdc"}) {
        EXPECT_TRUE(inputs.CheckOutput(output).Succeeded()) << output;
    }
    EXPECT_TRUE(CInputFiles().CheckOutput(scratch / "in.pdc").Succeeded());
}

TEST(SameFileOutputs, TwoFramesNamingOneFileAreFoundUnderAnySpelling) {
    CScratchFolder scratch;
    fs::create_directory(scratch.Path() / "out");
    const std::string out = (scratch.Path() / "out").string();
    struct Case {
        std::vector<std::pair<int32_t, std::string>> outputs;
        std::string message;  // empty: distinct
    } cases[] = {
        {{{1, out + "/a.ply"}, {2, out + "/b.ply"}}, ""},
        {{{1, out + "/a.ply"}, {2, out + "/a.ply"}},
         "frames 1 and 2 would both be written to " + out +
             "/a.ply, so one would overwrite the other; nothing was written"},
        {{{1, out + "/a.ply"}, {2, out + "/b.ply"}, {3, out + "/./a.ply"}},
         "frames 1 and 3 would both be written to " + out + "/a.ply (\"" + out +
             "/./a.ply\" names it too), so one would overwrite the other"},
        {{{7, out + "/x/../a.ply"}, {-2, out + "/a.ply"}},
         "frames 7 and -2 would both be written to " + out + "/x/../a.ply"},
        {{{1, out + "/new/a.ply"}, {2, out + "/new//a.ply"}},
         "frames 1 and 2 would both be written to " + out + "/new/a.ply"},
        {{}, ""},
    };
    for (const Case& c : cases) {
        const Velpo::CResult checked = CheckDistinctOutputs(c.outputs);
        if (c.message.empty()) {
            EXPECT_TRUE(checked.Succeeded()) << checked.Message();
        } else {
            ASSERT_FALSE(checked.Succeeded()) << c.message;
            EXPECT_EQ(checked.Message().substr(0, c.message.size()), c.message);
        }
    }
    EXPECT_EQ(SharedOutputMessage(1, 2, "f", ""),
              "frames 1 and 2 would both be written to f, so one would overwrite the other; "
              "nothing was written");
}

TEST(CheckedOutput, AFailedWriteIsReportedWithTheNameAndNothingMoreIsWritten) {
    std::FILE* full = std::fopen("/dev/full", "wb");
    if (!full) {
        GTEST_SKIP() << "no /dev/full";
    }
    {
        COutput out(full, "/dev/full");
        EXPECT_TRUE(out.Ok());
        // Small writes are gathered; the failure shows when they are handed over.
        std::string block(1 << 20, 'x');
        bool accepted = true;
        for (int i = 0; i < 4 && accepted; ++i) {
            accepted = out.Write(block);
        }
        EXPECT_FALSE(accepted);
        EXPECT_FALSE(out.Ok());
        EXPECT_FALSE(out.Write("more"));
        const Velpo::CResult flushed = out.Flush();
        ASSERT_FALSE(flushed.Succeeded());
        EXPECT_EQ(flushed.Message().rfind("/dev/full: ", 0), 0u) << flushed.Message();
        EXPECT_FALSE(out.Seek(0));
        EXPECT_EQ(out.Name(), "/dev/full");
    }
    std::fclose(full);
    {
        std::FILE* small = std::fopen("/dev/full", "wb");
        ASSERT_NE(small, nullptr);
        COutput out(small, "full");
        EXPECT_TRUE(out.Write("a few bytes"));
        EXPECT_FALSE(out.Flush().Succeeded());
        std::fclose(small);
    }
}

TEST(CheckedOutput, WritesArriveInOrderAndSeekingFillsOutOfOrder) {
    CScratchFolder scratch;
    const fs::path file = scratch.Path() / "out.bin";
    std::FILE* stream = std::fopen(file.string().c_str(), "wb");
    ASSERT_NE(stream, nullptr);
    {
        COutput out(stream, file.string());
        EXPECT_TRUE(out.Write("header:????\n"));
        EXPECT_TRUE(out.Write(std::string(100000, 'b')));
        EXPECT_TRUE(out.Seek(7));
        EXPECT_TRUE(out.Write("1234"));
        EXPECT_TRUE(out.Flush().Succeeded());
    }
    std::fclose(stream);
    const std::string written = VelpoTestSupport::ReadFile(file);
    ASSERT_EQ(written.size(), 12u + 100000u);
    EXPECT_EQ(written.substr(0, 12), "header:1234\n");
    EXPECT_EQ(written.find_first_not_of('b', 12), std::string::npos);
#if !defined(_WIN32)
    // A pipe cannot seek, but stays usable where it is.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::FILE* writer = fdopen(ends[1], "wb");
    ASSERT_NE(writer, nullptr);
    {
        COutput out(writer, "pipe");
        EXPECT_TRUE(out.Write("ab"));
        EXPECT_FALSE(out.Seek(0));
        EXPECT_TRUE(out.Write("cd"));
        EXPECT_TRUE(out.Flush().Succeeded());
    }
    std::fclose(writer);
    char bytes[8] = {};
    EXPECT_EQ(read(ends[0], bytes, sizeof bytes), 4);
    EXPECT_EQ(std::string(bytes, 4), "abcd");
    close(ends[0]);
#endif
}

}  // namespace
}  // namespace VelpoTools
