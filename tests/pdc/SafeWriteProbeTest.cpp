// Finding why a write would fail without writing (for a writer that could
// not say), and flushing a written file to the disk.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "PdcTestFiles.h"
#include "pdc/SafeWrite.h"

#ifndef _WIN32
#include <sys/stat.h>

#include "tests/ChildProcess.h"
#endif

using namespace PdcTest;

namespace {

const Bytes Earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};

struct CProbeCase {
    const char* label;
    // Makes what the case needs in the folder; returns the target.
    std::string (*prepare)(const CTempFolder& folder);
    uint64_t bytes;
    const char* reason;  // null: nothing found wrong
};

void PrintTo(const CProbeCase& c, std::ostream* out) {
    *out << c.label;
}

class SafeWriteProbe : public ::testing::TestWithParam<CProbeCase> {};

TEST_P(SafeWriteProbe, FindsTheReasonAndWritesNothing) {
    const CProbeCase& c = GetParam();
    CTempFolder folder;
    const std::string target = c.prepare(folder);
    const std::vector<std::string> before = folder.Files();
    std::string reason;
    const bool fine = ProbeSafeWrite(target, c.bytes, reason);
    EXPECT_EQ(fine, c.reason == nullptr) << reason;
    if (c.reason != nullptr) {
        EXPECT_EQ(reason, c.reason);
    }
    EXPECT_EQ(folder.Files(), before) << "the probe left something";
}

const CProbeCase ProbeCases[] = {
    CProbeCase{"NewFileThatFits",
               [](const CTempFolder& folder) { return folder.File("cache.1.pdc"); }, 1 << 20,
               nullptr},
    CProbeCase{"ExistingFileThatFits",
               [](const CTempFolder& folder) {
                   WriteFile(folder.File("cache.1.pdc"), Earlier);
                   return folder.File("cache.1.pdc");
               },
               1 << 20, nullptr},
    CProbeCase{"InAMissingFolder",
               [](const CTempFolder& folder) { return folder.File("no/such/cache.1.pdc"); }, 100,
               "No such file or directory"},
    CProbeCase{"IsAFolder",
               [](const CTempFolder& folder) {
                   std::filesystem::create_directory(folder.File("cache.1.pdc"));
                   return folder.File("cache.1.pdc");
               },
               100, "is a folder"},
    CProbeCase{"MoreThanTheDiskHolds",
               [](const CTempFolder& folder) { return folder.File("cache.1.pdc"); },
               uint64_t{1} << 62, "No space left on device"},
#ifndef _WIN32
    CProbeCase{"BelowAFile",
               [](const CTempFolder& folder) {
                   WriteFile(folder.File("file"), Earlier);
                   return folder.File("file/cache.1.pdc");
               },
               100, "Not a directory"},
    CProbeCase{"LinkToNoFile",
               [](const CTempFolder& folder) {
                   std::filesystem::create_symlink("gone.pdc", folder.File("cache.1.pdc"));
                   return folder.File("cache.1.pdc");
               },
               100, "is a symbolic link to a file that does not exist"},
    // A pipe is never opened: opening it could wait for a reader, or
    // end the stream of one that is there.
    CProbeCase{"NamedPipe",
               [](const CTempFolder& folder) {
                   EXPECT_EQ(mkfifo(folder.File("cache.1.pdc").c_str(), 0600), 0);
                   return folder.File("cache.1.pdc");
               },
               100, nullptr}
#endif
};

INSTANTIATE_TEST_SUITE_P(Cases, SafeWriteProbe, ::testing::ValuesIn(ProbeCases),
                         [](const auto& info) { return std::string(info.param.label); });

#ifndef _WIN32

// What a user who is not root meets: a folder that takes no new file, and
// a limit on the size of files.
TEST(SafeWriteProbe, FindsLimitsOfTheUser) {
    CTempFolder scratch;
    const std::string folder = scratch.File("caches");
    const std::string own = scratch.File("own");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    ASSERT_TRUE(std::filesystem::create_directory(own));
    ASSERT_EQ(VelpoTest::GiveToTestUser(folder), "");
    ASSERT_EQ(VelpoTest::GiveToTestUser(own), "");
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    const std::string seen = VelpoTest::RunInChild(
        [&]() -> std::string {
            std::string reason;
            if (ProbeSafeWrite(folder + "/cache.1.pdc", 100, reason) ||
                reason != std::strerror(EACCES)) {
                return "read-only folder: " + reason;
            }
            if (const std::string limited = VelpoTest::LimitFileSize(4096); !limited.empty()) {
                return limited;
            }
            if (ProbeSafeWrite(own + "/cache.1.pdc", 1 << 20, reason) ||
                reason != std::strerror(EFBIG)) {
                return "file size limit: " + reason;
            }
            return std::string();
        },
        VelpoTest::CChildUser::TestUser);
    chmod(folder.c_str(), 0755);
    EXPECT_EQ(seen, "");
}

#endif

TEST(SafeWrite, FlushesAWrittenFileOrSaysWhy) {
    CTempFolder folder;
    WriteFile(folder.File("cache.1.pdc"), Earlier);
    std::string reason;
    EXPECT_TRUE(FlushFileToDisk(folder.File("cache.1.pdc"), reason)) << reason;
    EXPECT_EQ(ReadFile(folder.File("cache.1.pdc")), Earlier);
    EXPECT_FALSE(FlushFileToDisk(folder.File("cache.2.pdc"), reason));
    EXPECT_EQ(reason, std::strerror(ENOENT));
}

}  // namespace
