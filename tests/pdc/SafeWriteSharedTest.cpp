// The safe write in a shared folder (sticky, writable by every user, as
// /tmp), where another user can plant a link or a file under the name that
// someone is about to write. Whatever the system's fs.protected_symlinks
// says, a link or a file there that neither the writer nor the folder's
// owner owns is not written through; and with the system's protection on,
// the system's refusal holds too. Needs root to make files of other users;
// the writes run as the unprivileged test user in a child process.
#include <gtest/gtest.h>

#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <tuple>

#include "PdcTestFiles.h"
#include "pdc/SafeWrite.h"
#include "tests/ChildProcess.h"

using namespace PdcTest;

namespace {

const Bytes Earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
const Bytes Newer = {'n', 'e', 'w', 'e', 'r'};

// Owns what the other user plants; no one logs in as it.
constexpr uid_t OtherUser = 4242;

constexpr const char* RefusedLink =
    "is a symbolic link of another user in a shared folder (sticky, writable by all); it is "
    "not followed";
constexpr const char* RefusedFile =
    "is a file of another user in a shared folder (sticky, writable by all); it is not written";

CFileWriter Writes(const Bytes& bytes) {
    return [bytes](std::FILE* file) {
        return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    };
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The system's fs.protected_symlinks, set for the life of the object when
// root may, and put back after.
class CLinkProtection {
public:
    static constexpr const char* File = "/proc/sys/fs/protected_symlinks";

    static std::optional<int> Current() {
        std::ifstream in(File);
        int value = 0;
        if (in >> value) {
            return value;
        }
        return std::nullopt;
    }

    explicit CLinkProtection(int wanted) : earlier_(Current()) {
        set_ = earlier_ && Write(wanted) && Current() == wanted;
    }
    ~CLinkProtection() {
        if (set_) {
            Write(*earlier_);
        }
    }
    CLinkProtection(const CLinkProtection&) = delete;
    CLinkProtection& operator=(const CLinkProtection&) = delete;

    bool Set() const { return set_; }

private:
    static bool Write(int value) {
        std::ofstream out(File);
        out << value << "\n";
        out.flush();
        return static_cast<bool>(out);
    }

    std::optional<int> earlier_;
    bool set_ = false;
};

// The scene: `shared` (root's, sticky, writable by all) and `victim` (the
// test user's) holding important.pdc. Each case plants something in
// `shared` and writes `target` there as the test user.
struct CSharedCase {
    const char* label;
    void (*plant)(const std::string& shared, const std::string& victim);
    const char* target;
    const char* reason;   // null: the write goes through
    const char* landsIn;  // the file that must hold the new data, when written
};

void PrintTo(const CSharedCase& c, std::ostream* out) {
    *out << c.label;
}

void Link(const std::string& to, const std::string& link, uid_t owner) {
    std::filesystem::create_symlink(to, link);
    ASSERT_EQ(lchown(link.c_str(), owner, owner), 0) << std::strerror(errno);
}

const CSharedCase SharedCases[] = {
    {"LinkOfAnotherUserToTheWritersFile",
     [](const std::string& shared, const std::string& victim) {
         Link(victim + "/important.pdc", shared + "/out.pdc", OtherUser);
     },
     "out.pdc", RefusedLink, nullptr},
    {"LinkOfAnotherUserToNoFile",
     [](const std::string& shared, const std::string& victim) {
         Link(victim + "/new.pdc", shared + "/out.pdc", OtherUser);
     },
     "out.pdc", RefusedLink, nullptr},
    {"LinkOfAnotherUserInAChain",
     [](const std::string& shared, const std::string& victim) {
         Link(victim + "/important.pdc", shared + "/inner.pdc", OtherUser);
         Link("inner.pdc", shared + "/out.pdc", VelpoTest::TestUserID());
     },
     "out.pdc", RefusedLink, nullptr},
    // The system follows a link to a folder on the way whoever owns it, and
    // so does the write: only the links the name ends in are a target.
    {"LinkedFolderOfAnotherUser",
     [](const std::string& shared, const std::string& victim) {
         Link(victim, shared + "/place", OtherUser);
     },
     "place/important.pdc", nullptr, "victim/important.pdc"},
    {"LinkOfAnotherUserBehindALinkedFolder",
     [](const std::string& shared, const std::string& victim) {
         Link(victim + "/important.pdc", shared + "/out.pdc", OtherUser);
         Link(shared, victim + "/back", VelpoTest::TestUserID());
     },
     "../victim/back/out.pdc", RefusedLink, nullptr},
    {"WritableFileOfAnotherUser",
     [](const std::string& shared, const std::string&) {
         WriteFile(shared + "/out.pdc", Earlier);
         ASSERT_EQ(chown((shared + "/out.pdc").c_str(), OtherUser, OtherUser), 0);
         ASSERT_EQ(chmod((shared + "/out.pdc").c_str(), 0666), 0);
     },
     "out.pdc", RefusedFile, nullptr},
    // Refused without waiting for a reader: its owner could be the one to
    // read what is written, or never read at all.
    {"PipeOfAnotherUser",
     [](const std::string& shared, const std::string&) {
         ASSERT_EQ(mkfifo((shared + "/out.pdc").c_str(), 0666), 0);
         ASSERT_EQ(chown((shared + "/out.pdc").c_str(), OtherUser, OtherUser), 0);
         ASSERT_EQ(chmod((shared + "/out.pdc").c_str(), 0666), 0);
     },
     "out.pdc", RefusedFile, nullptr},
    {"LinkOfTheWriter",
     [](const std::string& shared, const std::string& victim) {
         Link(victim + "/important.pdc", shared + "/out.pdc", VelpoTest::TestUserID());
     },
     "out.pdc", nullptr, "victim/important.pdc"},
    {"LinkOfTheFoldersOwner",
     [](const std::string& shared, const std::string& victim) {
         Link(victim + "/important.pdc", shared + "/out.pdc", 0);
     },
     "out.pdc", nullptr, "victim/important.pdc"},
    {"NewFile", [](const std::string&, const std::string&) {}, "out.pdc", nullptr,
     "shared/out.pdc"},
};

class SafeWriteShared : public ::testing::TestWithParam<std::tuple<CSharedCase, int>> {};

TEST_P(SafeWriteShared, WritesOnlyWhatTheRulesAllow) {
    // Named apart, not bound as a pair: the lambda below takes them, and
    // clang 14 lets no lambda take a structured binding.
    const CSharedCase& c = std::get<0>(GetParam());
    const int protection = std::get<1>(GetParam());
    if (!VelpoTest::IsRoot()) {
        GTEST_SKIP() << "needs root to plant files of another user";
    }
    const CLinkProtection set(protection);
    if (!set.Set()) {
        GTEST_SKIP() << "cannot set " << CLinkProtection::File << " to " << protection;
    }
    CTempFolder scratch;
    const std::string shared = scratch.File("shared");
    const std::string victim = scratch.File("victim");
    ASSERT_TRUE(std::filesystem::create_directory(shared));
    ASSERT_TRUE(std::filesystem::create_directory(victim));
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    WriteFile(victim + "/important.pdc", Earlier);
    ASSERT_EQ(VelpoTest::GiveToTestUser(victim + "/important.pdc"), "");
    ASSERT_EQ(VelpoTest::GiveToTestUser(victim), "");
    c.plant(shared, victim);
    const std::vector<std::string> sharedBefore = Names(shared);
    const std::vector<std::string> victimBefore = Names(victim);

    const std::string target = shared + "/" + c.target;
    const std::string seen = VelpoTest::RunInChild(
        [&]() -> std::string {
            alarm(60);  // a write that waits forever ends the child
            std::string reason;
            const bool written = SafeWriteFile(target, Writes(Newer), reason);
            if (written != (c.reason == nullptr)) {
                return written ? "written" : "not written: " + reason;
            }
            // With the system's protection on, the system refuses first.
            const bool systemRefused = protection == 1 && reason == std::strerror(EACCES);
            if (c.reason != nullptr && reason != c.reason && !systemRefused) {
                return "reason: " + reason;
            }
            return std::string();
        },
        VelpoTest::CChildUser::TestUser);
    EXPECT_EQ(seen, "");

    if (c.landsIn != nullptr) {
        EXPECT_EQ(ReadFile(scratch.File(c.landsIn)), Newer);
    } else {
        EXPECT_EQ(ReadFile(victim + "/important.pdc"), Earlier);
        EXPECT_EQ(Names(victim), victimBefore) << "a file was made in the victim's folder";
    }
    if (std::string(c.landsIn ? c.landsIn : "") != "shared/out.pdc") {
        EXPECT_EQ(Names(shared), sharedBefore) << "the shared folder changed";
    }
    if (c.reason == RefusedFile && std::filesystem::is_regular_file(shared + "/out.pdc")) {
        EXPECT_EQ(ReadFile(shared + "/out.pdc"), Earlier);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SafeWriteShared,
                         ::testing::Combine(::testing::ValuesIn(SharedCases),
                                            ::testing::Values(0, 1)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).label) +
                                    (std::get<1>(info.param) == 1 ? "_SystemProtectionOn"
                                                                  : "_SystemProtectionOff");
                         });

// A pipe of the writer's own is written as a plain write would: the data
// goes to its reader, and the pipe stays.
TEST(SafeWritePipe, PipeWithAReaderGetsTheData) {
    CTempFolder folder;
    const std::string pipe = folder.File("out.pdc");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_NE(reader, -1);
    std::string reason;
    EXPECT_TRUE(SafeWriteFile(pipe, Writes(Newer), reason, CDurability::Disk)) << reason;
    Bytes got(64);
    const ssize_t count = read(reader, got.data(), got.size());
    close(reader);
    ASSERT_GE(count, 0);
    got.resize(static_cast<size_t>(count));
    EXPECT_EQ(got, Newer);
    struct stat status {};
    ASSERT_EQ(lstat(pipe.c_str(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
}

}  // namespace

#endif
