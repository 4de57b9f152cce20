// The safe write: what it does to the file it replaces and to what the user
// set up around it, the reasons it gives, and the temporary files it leaves.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "PdcTestFiles.h"
#include "pdc/SafeWrite.h"
#include "pdc/TempFile.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>

#include "tests/ChildProcess.h"
#endif

using namespace PdcTest;

namespace {

const Bytes Earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
const Bytes Newer = {'t', 'h', 'e', ' ', 'n', 'e', 'w', ' ', 'd', 'a', 't', 'a'};

CFileWriter Writes(const Bytes& bytes) {
    return [bytes](std::FILE* file) {
        return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    };
}

// Names in a folder, sorted; temporary files and all.
std::vector<std::string> Names(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::filesystem::path FolderOf(const CTempFolder& folder) {
    return std::filesystem::path(folder.File("x")).parent_path();
}

TEST(SafeWrite, CreatesAFileAndReplacesItLeavingNothingElse) {
    CTempFolder folder;
    const std::string target = folder.File("cache.1.pdc");
    std::string reason;
    ASSERT_TRUE(SafeWriteFile(target, Writes(Earlier), reason)) << reason;
    EXPECT_EQ(ReadFile(target), Earlier);
    ASSERT_TRUE(SafeWriteFile(target, Writes(Newer), reason)) << reason;
    EXPECT_EQ(ReadFile(target), Newer);
    EXPECT_EQ(Names(FolderOf(folder)), std::vector<std::string>{"cache.1.pdc"});
}

// Writers that fail, each after writing part of the data: the earlier file
// stays byte for byte and the temporary file goes.
struct CWriterCase {
    const char* label;
    CFileWriter write;
    const char* reason;  // null: any text
};

// Printed as its label in failures.
void PrintTo(const CWriterCase& c, std::ostream* out) {
    *out << c.label;
}

class SafeWriteWriter : public ::testing::TestWithParam<CWriterCase> {};

TEST_P(SafeWriteWriter, FailureKeepsTheEarlierFile) {
    CTempFolder folder;
    const std::string target = folder.File("cache.pdc");
    WriteFile(target, Earlier);
    std::string reason;
    EXPECT_FALSE(SafeWriteFile(target, GetParam().write, reason));
    EXPECT_EQ(ReadFile(target), Earlier);
    EXPECT_EQ(Names(FolderOf(folder)), std::vector<std::string>{"cache.pdc"});
    if (GetParam().reason != nullptr) {
        EXPECT_EQ(reason, GetParam().reason);
    } else {
        EXPECT_FALSE(reason.empty());
    }
}

bool WritePart(std::FILE* file) {
    return std::fwrite(Newer.data(), 1, 4, file) == 4;
}

std::vector<CWriterCase> WriterCases() {
    return {
        CWriterCase{"ReturnsFalse", [](std::FILE* file) { return !WritePart(file); },
                    "write failed"},
        CWriterCase{"Throws",
                    [](std::FILE* file) -> bool {
                        WritePart(file);
                        throw std::runtime_error("stop");
                    },
                    "write failed"},
        CWriterCase{"RunsOutOfMemory",
                    [](std::FILE* file) -> bool {
                        WritePart(file);
                        throw std::bad_alloc();
                    },
                    nullptr},
#ifndef _WIN32
        // A stream error that the writer itself did not notice. (Windows'
        // C library marks no error for this.)
        CWriterCase{"LeavesAStreamError",
                    [](std::FILE* file) {
                        WritePart(file);
                        std::fgetc(file);  // reading a stream open only for writing
                        return true;
                    },
                    nullptr},
#endif
    };
}

INSTANTIATE_TEST_SUITE_P(Cases, SafeWriteWriter, ::testing::ValuesIn(WriterCases()),
                         [](const auto& info) { return std::string(info.param.label); });

// Targets that cannot be written, with the reason each gives.
struct CTargetCase {
    const char* label;
    std::string (*prepare)(const CTempFolder& folder);  // returns the target
    std::string reason;
};

// Printed as its label in failures.
void PrintTo(const CTargetCase& c, std::ostream* out) {
    *out << c.label;
}

class SafeWriteTarget : public ::testing::TestWithParam<CTargetCase> {};

TEST_P(SafeWriteTarget, FailsWithTheSystemsReason) {
    CTempFolder folder;
    const std::string target = GetParam().prepare(folder);
    const std::vector<std::string> before = Names(FolderOf(folder));
    std::string reason;
    EXPECT_FALSE(SafeWriteFile(target, Writes(Newer), reason));
    EXPECT_EQ(reason, GetParam().reason);
    EXPECT_EQ(Names(FolderOf(folder)), before);
}

std::vector<CTargetCase> TargetCases() {
    return {CTargetCase{"IsAFolder",
                        [](const CTempFolder& folder) {
                            std::filesystem::create_directory(folder.File("cache.pdc"));
                            return folder.File("cache.pdc");
                        },
                        "is a folder"},
            CTargetCase{"InAMissingFolder",
                        [](const CTempFolder& folder) { return folder.File("missing/cache.pdc"); },
                        std::strerror(ENOENT)},
#ifndef _WIN32
            CTargetCase{"BelowAFile",
                        [](const CTempFolder& folder) {
                            WriteFile(folder.File("file"), Earlier);
                            return folder.File("file/cache.pdc");
                        },
                        std::strerror(ENOTDIR)},
            CTargetCase{"ADeviceThatIsFull",
                        [](const CTempFolder&) { return std::string("/dev/full"); },
                        std::strerror(ENOSPC)},
            CTargetCase{"LinksInALoop",
                        [](const CTempFolder& folder) {
                            std::filesystem::create_symlink("b.pdc", folder.File("a.pdc"));
                            std::filesystem::create_symlink("a.pdc", folder.File("b.pdc"));
                            return folder.File("a.pdc");
                        },
                        std::strerror(ELOOP)},
#endif
            CTargetCase{"EmptyName", [](const CTempFolder&) { return std::string(); },
                        std::strerror(ENOENT)}};
}

INSTANTIATE_TEST_SUITE_P(Cases, SafeWriteTarget, ::testing::ValuesIn(TargetCases()),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(TempFile, NamesAreRecognisedByTheirForm) {
    const std::string made = NextTempFileName();
    EXPECT_TRUE(IsTempFileName(made)) << made;
    EXPECT_NE(NextTempFileName(), made);
    const std::pair<const char*, bool> cases[] = {
        {".velpo-4711-0.tmp", true},
        {"out/.velpo-1-22.tmp", true},
        {"/a/b/.velpo-4294967295-4294967295.tmp", true},
        {".velpo-4294967296-1.tmp", false},  // not a 32-bit process ID
        {".velpo-x-1.tmp", false},
        {".velpo-1-.tmp", false},
        {".velpo--1.tmp", false},
        {".velpo-1-2-3.tmp", false},
        {".velpo-1-2.tmp.pdc", false},
        {"velpo-1-2.tmp", false},
        {".velpo-1-2.tmp/", false},
        {"cache.1.pdc", false},
        {"", false},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(IsTempFileName(name), expected) << name;
    }
}

TEST(TempFile, LeftoversAreListedWithSizeAndTimeAndKept) {
    CTempFolder folder;
    const auto modified = std::chrono::file_clock::from_sys(
        std::chrono::sys_seconds(std::chrono::seconds(1700000000)));
    WriteFile(folder.File(".velpo-12-3.tmp"), Newer);
    std::filesystem::last_write_time(folder.File(".velpo-12-3.tmp"), modified);
    WriteFile(folder.File(".velpo-7-0.tmp"), {});
    WriteFile(folder.File("cache.1.pdc"), Earlier);
    WriteFile(folder.File(".velpo-x-1.tmp"), Earlier);
    std::filesystem::create_directory(folder.File(".velpo-1-1.tmp"));
#ifndef _WIN32
    std::filesystem::create_symlink("cache.1.pdc", folder.File(".velpo-2-2.tmp"));
#endif
    const std::vector<std::string> before = Names(FolderOf(folder));

    std::vector<CLeftoverFile> files;
    std::string reason;
    ASSERT_TRUE(ListLeftoverFiles(FolderOf(folder).string(), files, reason)) << reason;
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].name, ".velpo-12-3.tmp");
    EXPECT_EQ(files[0].processID, 12u);
    EXPECT_EQ(files[0].size, Newer.size());
    EXPECT_EQ(files[0].modified, 1700000000);
    EXPECT_EQ(files[1].name, ".velpo-7-0.tmp");
    EXPECT_EQ(files[1].processID, 7u);
    EXPECT_EQ(files[1].size, 0u);
    EXPECT_EQ(Names(FolderOf(folder)), before);

    EXPECT_FALSE(ListLeftoverFiles(folder.File("missing"), files, reason));
    EXPECT_EQ(reason, std::generic_category().message(ENOENT));
    EXPECT_TRUE(files.empty());
}

#ifdef _WIN32

// A reader that holds the file open without letting it be deleted, as the C
// library's readers do, stops the rename; the data is written in place.
TEST(SafeWrite, FileHeldOpenByAReaderIsWrittenInPlace) {
    CTempFolder folder;
    const std::string target = folder.File("cache.pdc");
    WriteFile(target, Earlier);
    std::FILE* reader = std::fopen(target.c_str(), "rb");
    ASSERT_NE(reader, nullptr);
    std::string reason;
    EXPECT_TRUE(SafeWriteFile(target, Writes(Newer), reason)) << reason;
    std::fclose(reader);
    EXPECT_EQ(ReadFile(target), Newer);
    EXPECT_EQ(Names(FolderOf(folder)), std::vector<std::string>{"cache.pdc"});
}

// A program that lets nobody else write the file keeps it as it was.
TEST(SafeWrite, FileHeldOpenAgainstWritersIsKept) {
    CTempFolder folder;
    const std::string target = folder.File("cache.pdc");
    WriteFile(target, Earlier);
    HANDLE holder = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    std::string reason;
    EXPECT_FALSE(SafeWriteFile(target, Writes(Newer), reason));
    CloseHandle(holder);
    EXPECT_EQ(reason, std::strerror(EACCES));
    EXPECT_EQ(ReadFile(target), Earlier);
    EXPECT_EQ(Names(FolderOf(folder)), std::vector<std::string>{"cache.pdc"});
}

#else

struct stat Status(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(lstat(path.c_str(), &status), 0) << path;
    return status;
}

// Symbolic links: the file at the end of the links gets the data and the
// links stay as they were.
struct CLinkCase {
    const char* label;
    // Makes the links and the file they name; returns the name written.
    std::string (*prepare)(const CTempFolder& folder);
    const char* file;  // the file the data must land in, within the folder
    std::vector<std::pair<const char*, const char*> > links;  // name, what it names
};

// Printed as its label in failures.
void PrintTo(const CLinkCase& c, std::ostream* out) {
    *out << c.label;
}

class SafeWriteLink : public ::testing::TestWithParam<CLinkCase> {};

TEST_P(SafeWriteLink, ReplacesTheFileTheLinkNames) {
    const CLinkCase& c = GetParam();
    CTempFolder folder;
    std::filesystem::create_directory(folder.File("held"));
    const std::string target = c.prepare(folder);
    const bool existed = std::filesystem::exists(folder.File(c.file));
    std::string reason;
    ASSERT_TRUE(SafeWriteFile(target, Writes(Newer), reason)) << reason;
    EXPECT_EQ(ReadFile(folder.File(c.file)), Newer);
    EXPECT_TRUE(
        std::filesystem::is_regular_file(std::filesystem::symlink_status(folder.File(c.file))));
    for (const auto& [name, names] : c.links) {
        EXPECT_TRUE(std::filesystem::is_symlink(folder.File(name))) << name;
        EXPECT_EQ(std::filesystem::read_symlink(folder.File(name)).string(), names) << name;
    }
    if (existed) {
        EXPECT_EQ(Status(folder.File(c.file)).st_nlink, 1u);
    }
    for (const char* sub : {".", "held"}) {
        for (const std::string& name : Names(std::filesystem::path(folder.File(sub)))) {
            EXPECT_FALSE(IsTempFileName(name)) << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SafeWriteLink,
    ::testing::Values(
        CLinkCase{"RelativeIntoAnotherFolder",
                  [](const CTempFolder& folder) {
                      WriteFile(folder.File("held/cache.pdc"), Earlier);
                      std::filesystem::create_symlink("held/cache.pdc", folder.File("link.pdc"));
                      return folder.File("link.pdc");
                  },
                  "held/cache.pdc",
                  {{"link.pdc", "held/cache.pdc"}}},
        CLinkCase{"ChainOfTwo",
                  [](const CTempFolder& folder) {
                      WriteFile(folder.File("held/cache.pdc"), Earlier);
                      std::filesystem::create_symlink("cache.pdc", folder.File("held/inner.pdc"));
                      std::filesystem::create_symlink("held/inner.pdc", folder.File("outer.pdc"));
                      return folder.File("outer.pdc");
                  },
                  "held/cache.pdc",
                  {{"outer.pdc", "held/inner.pdc"}, {"held/inner.pdc", "cache.pdc"}}},
        CLinkCase{"ThroughALinkedFolder",
                  [](const CTempFolder& folder) {
                      WriteFile(folder.File("held/cache.pdc"), Earlier);
                      std::filesystem::create_symlink("held", folder.File("place"));
                      return folder.File("place/cache.pdc");
                  },
                  "held/cache.pdc",
                  {{"place", "held"}}},
        CLinkCase{"ThroughDotDotOfALinkedFolder",
                  [](const CTempFolder& folder) {
                      // ".." of a linked folder is the parent of the folder
                      // it names, as the system walks it.
                      std::filesystem::create_directories(folder.File("held/deep"));
                      WriteFile(folder.File("held/cache.pdc"), Earlier);
                      std::filesystem::create_symlink("held/deep", folder.File("down"));
                      return folder.File("down/../cache.pdc");
                  },
                  "held/cache.pdc",
                  {{"down", "held/deep"}}}),
    [](const auto& info) { return std::string(info.param.label); });

// A link that names no file is refused, as is a chain that ends in one:
// following it would make a file wherever the link points, which in a
// shared folder is where another user chose.
TEST(SafeWrite, LinkToNoFileIsRefused) {
    for (const char* chain : {"link.pdc", "outer.pdc"}) {
        CTempFolder folder;
        std::filesystem::create_directory(folder.File("held"));
        std::filesystem::create_symlink("held/new.pdc", folder.File("link.pdc"));
        std::filesystem::create_symlink("link.pdc", folder.File("outer.pdc"));
        std::string reason;
        EXPECT_FALSE(SafeWriteFile(folder.File(chain), Writes(Newer), reason)) << chain;
        EXPECT_EQ(reason, "is a symbolic link to a file that does not exist") << chain;
        EXPECT_TRUE(Names(folder.File("held")).empty()) << chain;
        EXPECT_EQ(Names(FolderOf(folder)),
                  (std::vector<std::string>{"held", "link.pdc", "outer.pdc"}));
    }
}

TEST(SafeWrite, AbsoluteLinkIsKept) {
    CTempFolder folder;
    WriteFile(folder.File("cache.pdc"), Earlier);
    std::filesystem::create_symlink(folder.File("cache.pdc"), folder.File("link.pdc"));
    std::string reason;
    ASSERT_TRUE(SafeWriteFile(folder.File("link.pdc"), Writes(Newer), reason)) << reason;
    EXPECT_TRUE(std::filesystem::is_symlink(folder.File("link.pdc")));
    EXPECT_EQ(ReadFile(folder.File("cache.pdc")), Newer);
}

// Every name of a file with several hard links sees the new data.
TEST(SafeWrite, HardLinkedFileIsWrittenInPlace) {
    CTempFolder folder;
    WriteFile(folder.File("cache.pdc"), Earlier);
    std::filesystem::create_hard_link(folder.File("cache.pdc"), folder.File("shared.pdc"));
    const ino_t inode = Status(folder.File("cache.pdc")).st_ino;
    std::string reason;
    ASSERT_TRUE(SafeWriteFile(folder.File("shared.pdc"), Writes(Newer), reason)) << reason;
    EXPECT_EQ(ReadFile(folder.File("cache.pdc")), Newer);
    EXPECT_EQ(ReadFile(folder.File("shared.pdc")), Newer);
    EXPECT_EQ(Status(folder.File("shared.pdc")).st_ino, inode);
    EXPECT_EQ(Status(folder.File("shared.pdc")).st_nlink, 2u);
    EXPECT_EQ(Names(FolderOf(folder)), (std::vector<std::string>{"cache.pdc", "shared.pdc"}));
}

TEST(SafeWrite, ReplacementKeepsThePermissionBits) {
    // The set-user-ID, set-group-ID and sticky bits too: a cache folder's
    // tools may rely on them.
    for (const mode_t bits : {0600, 0640, 0604, 0751, 0666, 02640, 01644, 04755, 06750, 07777}) {
        CTempFolder folder;
        const std::string target = folder.File("cache.pdc");
        WriteFile(target, Earlier);
        ASSERT_EQ(chmod(target.c_str(), bits), 0);
        const ino_t inode = Status(target).st_ino;
        std::string reason;
        ASSERT_TRUE(SafeWriteFile(target, Writes(Newer), reason)) << reason;
        EXPECT_EQ(ReadFile(target), Newer);
        EXPECT_NE(Status(target).st_ino, inode) << "not replaced";
        EXPECT_EQ(Status(target).st_mode & 07777, bits) << std::oct << bits;
    }
}

TEST(SafeWrite, NewFileGetsThePermissionsOfAPlainWrite) {
    CTempFolder folder;
    const mode_t mask = umask(027);
    std::string reason;
    const bool written = SafeWriteFile(folder.File("cache.pdc"), Writes(Newer), reason);
    umask(mask);
    ASSERT_TRUE(written) << reason;
    EXPECT_EQ(Status(folder.File("cache.pdc")).st_mode & 07777, 0640u);
}

// Root may give the replacement the owner and group of the file it
// replaces; it does, and writes a read-only file as it may.
TEST(SafeWrite, RootKeepsOwnerGroupAndBits) {
    if (!VelpoTest::IsRoot()) {
        GTEST_SKIP() << "only root may give a file to another user";
    }
    CTempFolder folder;
    const std::string target = folder.File("cache.pdc");
    WriteFile(target, Earlier);
    ASSERT_EQ(chown(target.c_str(), VelpoTest::UnprivilegedID, VelpoTest::UnprivilegedID), 0);
    ASSERT_EQ(chmod(target.c_str(), 0444), 0);
    const ino_t inode = Status(target).st_ino;
    std::string reason;
    ASSERT_TRUE(SafeWriteFile(target, Writes(Newer), reason)) << reason;
    EXPECT_EQ(ReadFile(target), Newer);
    const struct stat after = Status(target);
    EXPECT_NE(after.st_ino, inode) << "not replaced";
    EXPECT_EQ(after.st_uid, VelpoTest::UnprivilegedID);
    EXPECT_EQ(after.st_gid, VelpoTest::UnprivilegedID);
    EXPECT_EQ(after.st_mode & 07777, 0444u);
}

// What a user who is not root may do to a cache, by who owns the file and
// its folder. Run in a child process as the unprivileged user when the
// tests run as root, where every file would be writable.
enum class COwner { TestUser, Root };
enum class COutcome { Replaced, WrittenInPlace, Refused };

struct CAccessCase {
    const char* label;
    COwner folderOwner;
    mode_t folderBits;
    std::optional<COwner> fileOwner;  // unset: no file yet
    mode_t fileBits;
    COutcome outcome;
};

// Printed as its label in failures.
void PrintTo(const CAccessCase& c, std::ostream* out) {
    *out << c.label;
}

class SafeWriteAccess : public ::testing::TestWithParam<CAccessCase> {};

TEST_P(SafeWriteAccess, WritesOnlyWhatTheUserMayWrite) {
    const CAccessCase& c = GetParam();
    const bool needsRoot = c.folderOwner == COwner::Root || c.fileOwner == COwner::Root;
    if (needsRoot && !VelpoTest::IsRoot()) {
        GTEST_SKIP() << "needs root to make files that the test user does not own";
    }
    CTempFolder scratch;
    const std::string folder = scratch.File("caches");
    const std::string target = folder + "/cache.pdc";
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    if (c.fileOwner) {
        WriteFile(target, Earlier);
        ASSERT_EQ(chmod(target.c_str(), c.fileBits), 0);
        if (*c.fileOwner == COwner::TestUser) {
            ASSERT_EQ(VelpoTest::GiveToTestUser(target), "");
        }
    }
    if (c.folderOwner == COwner::TestUser) {
        ASSERT_EQ(VelpoTest::GiveToTestUser(folder), "");
    }
    ASSERT_EQ(chmod(folder.c_str(), c.folderBits), 0);
    const ino_t inode = c.fileOwner ? Status(target).st_ino : 0;

    const std::string seen = VelpoTest::RunInChild(
        [&]() -> std::string {
            std::string reason;
            const bool written = SafeWriteFile(target, Writes(Newer), reason);
            if (written != (c.outcome != COutcome::Refused)) {
                return written ? "written" : "not written: " + reason;
            }
            if (!written && reason != std::strerror(EACCES)) {
                return "reason: " + reason;
            }
            return std::string();
        },
        VelpoTest::CChildUser::TestUser);
    EXPECT_EQ(seen, "");
    chmod(folder.c_str(), 0755);

    switch (c.outcome) {
        case COutcome::Refused:
            if (c.fileOwner) {
                EXPECT_EQ(ReadFile(target), Earlier);
                EXPECT_EQ(Status(target).st_ino, inode);
            } else {
                EXPECT_FALSE(std::filesystem::exists(target));
            }
            break;
        case COutcome::WrittenInPlace:
            EXPECT_EQ(ReadFile(target), Newer);
            EXPECT_EQ(Status(target).st_ino, inode);
            EXPECT_EQ(Status(target).st_mode & 07777, c.fileBits);
            break;
        case COutcome::Replaced:
            EXPECT_EQ(ReadFile(target), Newer);
            EXPECT_NE(Status(target).st_ino, inode);
            EXPECT_EQ(Status(target).st_mode & 07777, c.fileBits);
            EXPECT_EQ(Status(target).st_uid, VelpoTest::TestUserID());
            break;
    }
    const std::vector<std::string> expected = c.fileOwner || c.outcome != COutcome::Refused
                                                  ? std::vector<std::string>{"cache.pdc"}
                                                  : std::vector<std::string>{};
    EXPECT_EQ(Names(folder), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SafeWriteAccess,
    ::testing::Values(CAccessCase{"OwnCache", COwner::TestUser, 0755, COwner::TestUser, 0640,
                                  COutcome::Replaced},
                      CAccessCase{"ReadOnlyCache", COwner::TestUser, 0755, COwner::TestUser, 0444,
                                  COutcome::Refused},
                      CAccessCase{"CacheOfAnotherUser", COwner::TestUser, 0755, COwner::Root, 0644,
                                  COutcome::Refused},
                      // The owner cannot be kept by a user who is not root: the bits are.
                      CAccessCase{"WritableCacheOfAnotherUser", COwner::TestUser, 0755,
                                  COwner::Root, 0666, COutcome::Replaced},
                      CAccessCase{"WritableCacheInReadOnlyFolder", COwner::TestUser, 0555,
                                  COwner::TestUser, 0600, COutcome::WrittenInPlace},
                      CAccessCase{"WritableCacheOfAnotherUserInStickyFolder", COwner::Root, 01777,
                                  COwner::Root, 0666, COutcome::WrittenInPlace},
                      CAccessCase{"NewCacheInReadOnlyFolder", COwner::TestUser, 0555, std::nullopt,
                                  0, COutcome::Refused}),
    [](const auto& info) { return std::string(info.param.label); });

// A disk that fills part way (a file size limit, in a child so the limit
// never reaches other tests): the earlier file stays and the temporary file
// goes.
TEST(SafeWrite, FullDiskKeepsTheEarlierFile) {
    CTempFolder folder;
    const std::string target = folder.File("cache.pdc");
    WriteFile(target, Earlier);
    const std::string seen = VelpoTest::RunInChild([&]() -> std::string {
        if (const std::string limited = VelpoTest::LimitFileSize(4096); !limited.empty()) {
            return limited;
        }
        std::string reason;
        const Bytes big(1 << 20, 'x');
        if (SafeWriteFile(target, Writes(big), reason)) {
            return "written";
        }
        return reason == std::strerror(EFBIG) ? "" : "reason: " + reason;
    });
    EXPECT_EQ(seen, "");
    EXPECT_EQ(ReadFile(target), Earlier);
    EXPECT_EQ(Names(FolderOf(folder)), std::vector<std::string>{"cache.pdc"});
}

#endif

}  // namespace
