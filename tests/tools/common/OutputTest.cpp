// Checked output: when gathered text reaches the stream, that pieces keep
// their order whatever their size, and that a stream refusing bytes is
// reported with the system's reason, once, and stays failed.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "tests/support/FileContents.h"
#include "tests/support/ScratchFolder.h"
#include "tools/common/Output.h"

namespace VelpoTools {
namespace {

using VelpoTestSupport::CScratchFolder;
namespace fs = std::filesystem;

constexpr size_t SendBytes = 1 << 16;

// A stream without a buffer of its own, so the file shows exactly what the
// output has handed over.
std::FILE* Unbuffered(const fs::path& file) {
    std::FILE* stream = std::fopen(file.string().c_str(), "wb");
    if (stream) {
        std::setvbuf(stream, nullptr, _IONBF, 0);
    }
    return stream;
}

TEST(CheckedOutputBuffer, SmallPiecesAreHeldUntilTheBufferFillsAndOrderIsKept) {
    CScratchFolder scratch;
    const fs::path file = scratch.Path() / "out.txt";
    std::FILE* stream = Unbuffered(file);
    ASSERT_NE(stream, nullptr);
    {
        COutput out(stream, "out.txt");
        const std::string piece(SendBytes / 4 - 1, 'a');
        for (int i = 0; i < 4; ++i) {
            ASSERT_TRUE(out.Write(piece));
        }
        ASSERT_TRUE(out.Write(""));
        ASSERT_TRUE(out.Write("bcd"));
        EXPECT_EQ(fs::file_size(file), 0u) << "held: one byte short of the buffer";
        ASSERT_TRUE(out.Write("e"));
        EXPECT_EQ(fs::file_size(file), SendBytes) << "handed over once full";
        // A piece of the buffer's size or more goes straight after what is held.
        ASSERT_TRUE(out.Write(std::string(SendBytes, 'f')));
        EXPECT_EQ(fs::file_size(file), 2 * SendBytes);
        ASSERT_TRUE(out.Write("g"));
        ASSERT_TRUE(out.Flush().Succeeded());
        EXPECT_EQ(fs::file_size(file), 2 * SendBytes + 1);
        // Flushing twice, and writing after a flush, go on as before.
        ASSERT_TRUE(out.Flush().Succeeded());
        ASSERT_TRUE(out.Write("h"));
        ASSERT_TRUE(out.Flush().Succeeded());
    }
    std::fclose(stream);
    std::string expected(4 * (SendBytes / 4 - 1), 'a');
    expected += "bcde" + std::string(SendBytes, 'f') + "gh";
    EXPECT_EQ(VelpoTestSupport::ReadFile(file), expected);
}

TEST(CheckedOutputBuffer, SeekingPastTheEndLeavesAGapOfZeros) {
    CScratchFolder scratch;
    const fs::path file = scratch.Path() / "gap.bin";
    std::FILE* stream = std::fopen(file.string().c_str(), "wb");
    ASSERT_NE(stream, nullptr);
    {
        COutput out(stream, file.string());
        ASSERT_TRUE(out.Write("ab"));
        ASSERT_TRUE(out.Seek(6));
        ASSERT_TRUE(out.Write("z"));
        ASSERT_TRUE(out.Seek(1));
        ASSERT_TRUE(out.Write("B"));
        ASSERT_TRUE(out.Flush().Succeeded());
    }
    std::fclose(stream);
    EXPECT_EQ(VelpoTestSupport::ReadFile(file), std::string("aB\0\0\0\0z", 7));
}

TEST(CheckedOutputFailure, AStreamThatRefusesBytesIsReportedOnceWithItsReason) {
    CScratchFolder scratch;
    const fs::path file = scratch.Path() / "in.txt";
    ASSERT_TRUE(VelpoTestSupport::WriteFile(file, "kept"));
    // Small and large pieces alike: the failure shows by Flush at the latest.
    for (size_t size : {size_t{3}, SendBytes - 1, SendBytes, 3 * SendBytes}) {
        SCOPED_TRACE(size);
        std::FILE* readOnly = std::fopen(file.string().c_str(), "rb");
        ASSERT_NE(readOnly, nullptr);
        {
            COutput out(readOnly, "in.txt");
            const bool accepted = out.Write(std::string(size, 'x'));
            EXPECT_EQ(accepted, size < SendBytes) << "only what is held may look accepted";
            const Velpo::CResult flushed = out.Flush();
            ASSERT_FALSE(flushed.Succeeded());
            EXPECT_EQ(flushed.Message(), std::string("in.txt: ") + std::strerror(EBADF));
            EXPECT_FALSE(out.Ok());
            EXPECT_FALSE(out.Write("y"));
            EXPECT_FALSE(out.Seek(0));
            EXPECT_EQ(out.Flush().Message(), flushed.Message()) << "the first reason stays";
        }
        std::fclose(readOnly);
    }
    EXPECT_EQ(VelpoTestSupport::ReadFile(file), "kept");
}

}  // namespace
}  // namespace VelpoTools
