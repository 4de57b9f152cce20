// VelpoExport replaces the cache the user meant and keeps what the user set
// up around it: links, permission bits, owners, and caches the user may not
// write.
//
// The permission cases run in a forked child as the unprivileged user when
// the tests run as root, where every file would be writable. This program
// starts no threads: every evaluation runs on one.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <optional>

#include "plugin/Ports.h"
#include "tests/ChildProcess.h"
#include "tests/nodes/NodeTestSupport.h"

using namespace VelpoTest;

namespace {

CEvaluateOptions OneThread() {
    CEvaluateOptions options;
    options.threads = 1;
    return options;
}

struct stat Status(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(lstat(path.c_str(), &status), 0) << path;
    return status;
}

class ExportKeeps : public ::testing::Test {
protected:
    void SetUp() override { TakeLog(); }

    // The bytes an export of `seed` writes, made in a folder of their own.
    std::vector<uint8_t> BytesOf(float seed) {
        CScratchFolder elsewhere;
        CNodeInstance node = SeededExport(MakeSettings(elsewhere / "c", 1), 1, 5, seed, false);
        EXPECT_TRUE(Clean(node.Evaluate(OneThread())));
        return ReadBytes(elsewhere / "c.1.pdc");
    }

    CScratchFolder folder_;
};

TEST_F(ExportKeeps, SymbolicLinkStaysAndTheFileItNamesIsReplaced) {
    std::filesystem::create_directory(folder_.Path() / "held");
    WriteBytes(folder_ / "held/frame.pdc", BytesOf(1.0f));
    std::filesystem::create_symlink("held/frame.pdc", folder_.Path() / "cache.1.pdc");
    CNodeInstance node = SeededExport(MakeSettings(folder_ / "cache", 1), 1, 5, 2.0f, false);
    ASSERT_TRUE(Clean(node.Evaluate(OneThread())));
    EXPECT_TRUE(TakeLog().empty());
    EXPECT_TRUE(std::filesystem::is_symlink(folder_.Path() / "cache.1.pdc"));
    EXPECT_EQ(std::filesystem::read_symlink(folder_.Path() / "cache.1.pdc"), "held/frame.pdc");
    EXPECT_TRUE(ReadBytes(folder_ / "held/frame.pdc") == BytesOf(2.0f));
    EXPECT_EQ(folder_.Files(), (std::vector<std::string>{"cache.1.pdc", "held"}));
}

TEST_F(ExportKeeps, HardLinkedCacheIsWrittenInPlaceForEveryName) {
    WriteBytes(folder_ / "cache.1.pdc", BytesOf(1.0f));
    std::filesystem::create_hard_link(folder_.Path() / "cache.1.pdc", folder_.Path() / "shot.pdc");
    CNodeInstance node = SeededExport(MakeSettings(folder_ / "cache", 1), 1, 5, 2.0f, false);
    ASSERT_TRUE(Clean(node.Evaluate(OneThread())));
    EXPECT_TRUE(TakeLog().empty());
    EXPECT_TRUE(ReadBytes(folder_ / "shot.pdc") == BytesOf(2.0f));
    EXPECT_EQ(Status(folder_ / "cache.1.pdc").st_ino, Status(folder_ / "shot.pdc").st_ino);
    EXPECT_EQ(folder_.Files(), (std::vector<std::string>{"cache.1.pdc", "shot.pdc"}));
}

TEST_F(ExportKeeps, PrivateCacheStaysPrivate) {
    WriteBytes(folder_ / "cache.1.pdc", BytesOf(1.0f));
    ASSERT_EQ(chmod((folder_ / "cache.1.pdc").c_str(), 0600), 0);
    CNodeInstance node = SeededExport(MakeSettings(folder_ / "cache", 1), 1, 5, 2.0f, false);
    ASSERT_TRUE(Clean(node.Evaluate(OneThread())));
    EXPECT_TRUE(ReadBytes(folder_ / "cache.1.pdc") == BytesOf(2.0f));
    EXPECT_EQ(Status(folder_ / "cache.1.pdc").st_mode & 07777, 0600u);
}

TEST_F(ExportKeeps, RootKeepsTheOwnerAndGroup) {
    if (!IsRoot()) {
        GTEST_SKIP() << "only root may give a file to another user";
    }
    WriteBytes(folder_ / "cache.1.pdc", BytesOf(1.0f));
    ASSERT_EQ(chown((folder_ / "cache.1.pdc").c_str(), UnprivilegedID, UnprivilegedID), 0);
    const ino_t inode = Status(folder_ / "cache.1.pdc").st_ino;
    CNodeInstance node = SeededExport(MakeSettings(folder_ / "cache", 1), 1, 5, 2.0f, false);
    ASSERT_TRUE(Clean(node.Evaluate(OneThread())));
    EXPECT_TRUE(ReadBytes(folder_ / "cache.1.pdc") == BytesOf(2.0f));
    const struct stat after = Status(folder_ / "cache.1.pdc");
    EXPECT_NE(after.st_ino, inode) << "written in place, not replaced";
    EXPECT_EQ(after.st_uid, UnprivilegedID);
    EXPECT_EQ(after.st_gid, UnprivilegedID);
}

// Caches of a user who is not root, by what that user may do to the file
// and its folder.
struct CAccessCase {
    const char* label;
    bool folderWritable;
    bool fileOwned;  // by the test user; otherwise by root
    mode_t fileBits;
    bool written;  // else refused: "Cannot Write" and the earlier cache kept
};

// Printed as its label in failures.
void PrintTo(const CAccessCase& c, std::ostream* out) {
    *out << c.label;
}

class ExportAccess : public ExportKeeps, public ::testing::WithParamInterface<CAccessCase> {};

TEST_P(ExportAccess, WritesOnlyWhatTheUserMayWrite) {
    const CAccessCase& c = GetParam();
    if (!c.fileOwned && !IsRoot()) {
        GTEST_SKIP() << "needs root to make a file that the test user does not own";
    }
    const std::string folder = folder_ / "caches";
    const std::string cache = folder + "/cache.1.pdc";
    std::filesystem::create_directory(folder);
    const std::vector<uint8_t> earlier = BytesOf(1.0f);
    WriteBytes(cache, earlier);
    ASSERT_EQ(chmod(cache.c_str(), c.fileBits), 0);
    if (c.fileOwned) {
        ASSERT_EQ(GiveToTestUser(cache), "");
    }
    ASSERT_EQ(GiveToTestUser(folder), "");
    ASSERT_EQ(chmod(folder.c_str(), c.folderWritable ? 0755 : 0555), 0);
    const ino_t inode = Status(cache).st_ino;
    CNodeInstance node = SeededExport(MakeSettings(folder + "/cache", 1), 1, 5, 2.0f, false);
    const std::vector<uint8_t> newer = BytesOf(2.0f);

    const std::string seen = RunInChild(
        [&]() -> std::string {
            if (!Clean(node.Evaluate(OneThread()))) {
                return "the evaluation was not clean";
            }
            const auto log = TakeLog();
            const std::vector<std::string> expected =
                c.written ? std::vector<std::string>{}
                          : std::vector<std::string>{"VelpoExport: Cannot Write " + cache};
            std::vector<std::string> messages;
            for (const auto& entry : log) {
                messages.push_back(entry.text);
            }
            return messages == expected ? "" : "logged " + std::to_string(messages.size());
        },
        CChildUser::TestUser);
    EXPECT_EQ(seen, "");
    chmod(folder.c_str(), 0755);
    EXPECT_TRUE(ReadBytes(cache) == (c.written ? newer : earlier));
    if (!c.folderWritable || !c.written) {
        EXPECT_EQ(Status(cache).st_ino, inode);
    }
    EXPECT_EQ(Status(cache).st_mode & 07777, c.fileBits);
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        files.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(files, std::vector<std::string>{"cache.1.pdc"});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExportAccess,
    ::testing::Values(CAccessCase{"ReadOnlyCache", true, true, 0444, false},
                      CAccessCase{"CacheOfAnotherUser", true, false, 0644, false},
                      // A plain write would have written it: so does the export,
                      // in place.
                      CAccessCase{"WritableCacheInReadOnlyFolder", false, true, 0644, true},
                      CAccessCase{"ReadOnlyCacheInReadOnlyFolder", false, true, 0444, false}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
