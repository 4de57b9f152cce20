// A write asked to last through a power failure flushes the new file's data
// to the disk before it takes the name, and the folder after. No test can
// cut the power; this one watches the flushes themselves, through an fsync
// of its own that stands in for the C library's (the program links the
// file layer statically) and notes what the name held at each.
#include <gtest/gtest.h>

#ifndef _WIN32

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <vector>

#include "PdcTestFiles.h"
#include "pdc/SafeWrite.h"

using namespace PdcTest;

namespace {

struct CFlush {
    ino_t inode = 0;
    bool folder = false;
    ino_t named = 0;  // the inode under the watched name at the time
};

std::mutex flushesMutex;
std::vector<CFlush> flushes;
std::string watched;

ino_t InodeOf(const std::string& name) {
    struct stat status {};
    return stat(name.c_str(), &status) == 0 ? status.st_ino : 0;
}

const Bytes Earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
const Bytes Newer(100000, 'n');

CFileWriter Writes(const Bytes& bytes) {
    return [bytes](std::FILE* file) {
        return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    };
}

std::vector<CFlush> Flushes() {
    std::lock_guard lock(flushesMutex);
    return flushes;
}

void Watch(const std::string& name) {
    std::lock_guard lock(flushesMutex);
    flushes.clear();
    watched = name;
}

TEST(SafeWriteDurability, DiskFlushesTheDataBeforeTheRenameAndTheFolderAfter) {
    for (const bool replacing : {false, true}) {
        CTempFolder folder;
        const std::string target = folder.File("cache.1.pdc");
        if (replacing) {
            WriteFile(target, Earlier);
        }
        const ino_t earlier = InodeOf(target);
        Watch(target);
        std::string reason;
        ASSERT_TRUE(SafeWriteFile(target, Writes(Newer), reason, CDurability::Disk)) << reason;
        EXPECT_EQ(ReadFile(target), Newer);
        const std::vector<CFlush> seen = Flushes();
        ASSERT_EQ(seen.size(), 2u) << replacing;
        // The data, while the name still held the earlier file (or none).
        EXPECT_FALSE(seen[0].folder);
        EXPECT_EQ(seen[0].inode, InodeOf(target));
        EXPECT_EQ(seen[0].named, earlier);
        // Then the folder, once the name holds the new file.
        EXPECT_TRUE(seen[1].folder);
        EXPECT_EQ(seen[1].inode, InodeOf(folder.File(".")));
        EXPECT_EQ(seen[1].named, InodeOf(target));
        EXPECT_EQ(folder.Files(), std::vector<std::string>{"cache.1.pdc"});
    }
}

TEST(SafeWriteDurability, ProcessFlushesNothing) {
    CTempFolder folder;
    const std::string target = folder.File("cache.1.pdc");
    WriteFile(target, Earlier);
    Watch(target);
    std::string reason;
    ASSERT_TRUE(SafeWriteFile(target, Writes(Newer), reason)) << reason;
    EXPECT_EQ(ReadFile(target), Newer);
    EXPECT_TRUE(Flushes().empty());
}

// A file of several names is written in place: its data is flushed too.
TEST(SafeWriteDurability, InPlaceWriteIsFlushed) {
    CTempFolder folder;
    const std::string target = folder.File("cache.1.pdc");
    WriteFile(target, Earlier);
    std::filesystem::create_hard_link(target, folder.File("other.pdc"));
    Watch(target);
    std::string reason;
    ASSERT_TRUE(SafeWriteFile(target, Writes(Newer), reason, CDurability::Disk)) << reason;
    EXPECT_EQ(ReadFile(folder.File("other.pdc")), Newer);
    const std::vector<CFlush> seen = Flushes();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].inode, InodeOf(target));
}

TEST(SafeWriteDurability, FlushFileToDiskFlushesTheFileThenTheFolder) {
    CTempFolder folder;
    const std::string target = folder.File("cache.1.pdc");
    WriteFile(target, Earlier);
    Watch(target);
    std::string reason;
    ASSERT_TRUE(FlushFileToDisk(target, reason)) << reason;
    const std::vector<CFlush> seen = Flushes();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].inode, InodeOf(target));
    EXPECT_TRUE(seen[1].folder);
    EXPECT_EQ(seen[1].inode, InodeOf(folder.File(".")));
}

}  // namespace

// Stands in for the C library's fsync in this program, notes the call, and
// passes it on.
extern "C" int fsync(int descriptor) {
    using CFsync = int (*)(int);
    static const CFsync real = reinterpret_cast<CFsync>(dlsym(RTLD_NEXT, "fsync"));
    struct stat status {};
    if (fstat(descriptor, &status) == 0) {
        std::lock_guard lock(flushesMutex);
        flushes.push_back({status.st_ino, S_ISDIR(status.st_mode), InodeOf(watched)});
    }
    return real != nullptr ? real(descriptor) : 0;
}

#endif
