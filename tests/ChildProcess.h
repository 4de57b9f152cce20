// Checks run in a forked child process, as another user or under limits
// that must not reach the rest of the test program. POSIX only.
//
// The child runs a function that returns what went wrong (empty when every
// check held) and hands the text back through a pipe, so the parent's
// failure message says what the child saw. Fork only from a test program
// whose other threads the child does not need: the child has none.
#pragma once

#include <grp.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <system_error>

namespace VelpoTest {

// The user and group a check drops to when the tests run as root ("nobody"
// on Linux). It owns nothing the tests did not give it.
inline constexpr uint32_t UnprivilegedID = 65534;

inline bool IsRoot() {
    return geteuid() == 0;
}

// The user that a check running `AsTestUser` is: the unprivileged user when
// run as root, or the user running the tests.
inline uint32_t TestUserID() {
    return IsRoot() ? UnprivilegedID : static_cast<uint32_t>(geteuid());
}

// Gives a file or folder made by the test to the test user (a no-op when the
// tests do not run as root: it is theirs already). Empty on success.
inline std::string GiveToTestUser(const std::string& path) {
    if (IsRoot() && chown(path.c_str(), UnprivilegedID, UnprivilegedID) != 0) {
        return "cannot give " + path +
               " to the test user: " + std::generic_category().message(errno);
    }
    return std::string();
}

// A user and group of their own, whom no other process runs as, so that a
// limit on the tasks of the user (LimitTasks) counts only the check's. Only
// root can become it.
inline constexpr uint32_t LoneUserID = 4243;

inline std::string GiveToLoneUser(const std::string& path) {
    if (chown(path.c_str(), LoneUserID, LoneUserID) != 0) {
        return "cannot give " + path +
               " to the lone user: " + std::generic_category().message(errno);
    }
    return std::string();
}

enum class CChildUser { Same, TestUser, LoneUser };

// Runs `body` in a forked child and waits for it. As `CChildUser::TestUser`
// (`LoneUser`) the child first becomes the unprivileged (the lone) user,
// group too, no other groups, when run as root. Returns the body's text, or what stopped the
// child from running it.
inline std::string RunInChild(const std::function<std::string()>& body,
                              CChildUser user = CChildUser::Same) {
    int channel[2];
    if (pipe(channel) != 0) {
        return "cannot make a pipe";
    }
    const pid_t child = fork();
    if (child == -1) {
        close(channel[0]);
        close(channel[1]);
        return "cannot fork";
    }
    if (child == 0) {
        close(channel[0]);
        std::string text;
        const uint32_t id = user == CChildUser::LoneUser ? LoneUserID : UnprivilegedID;
        if (user != CChildUser::Same && IsRoot() &&
            (setgroups(0, nullptr) != 0 || setgid(id) != 0 || setuid(id) != 0)) {
            text = "cannot become the unprivileged user";
        } else {
            try {
                text = body();
            } catch (const std::exception& exception) {
                text = std::string("the child threw: ") + exception.what();
            } catch (...) {
                text = "the child threw";
            }
        }
        size_t sent = 0;
        while (sent < text.size()) {
            const ssize_t count = write(channel[1], text.data() + sent, text.size() - sent);
            if (count <= 0) {
                break;
            }
            sent += static_cast<size_t>(count);
        }
        // No destructors or exit handlers: they belong to the parent.
        _exit(0);
    }
    close(channel[1]);
    std::string text;
    char buffer[512];
    for (;;) {
        const ssize_t count = read(channel[0], buffer, sizeof buffer);
        if (count > 0) {
            text.append(buffer, static_cast<size_t>(count));
        } else if (count == 0 || errno != EINTR) {
            break;
        }
    }
    close(channel[0]);
    int status = 0;
    while (waitpid(child, &status, 0) == -1 && errno == EINTR) {
    }
    if (WIFSIGNALED(status)) {
        return text + "the child died of signal " + std::to_string(WTERMSIG(status));
    }
    return text;
}

// Limits the size of any file this process writes to `bytes`, as a full
// disk would stop it, with the signal that would kill it at the limit
// ignored: a write past it fails with EFBIG. For a child. Empty on success.
inline std::string LimitFileSize(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, bytes};
    return setrlimit(RLIMIT_FSIZE, &limit) == 0 ? "" : "cannot limit the file size";
}

// Limits the processes and threads of this process's user (ulimit -u) to
// those running now and `more`: a thread or process beyond is refused.
// Root is not held by the limit; call it as the test user. Empty on
// success.
inline std::string LimitTasks(uint64_t more) {
    uint64_t tasks = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        std::ifstream status(entry.path() / "status");
        std::string line;
        bool mine = false;
        while (std::getline(status, line)) {
            if (line.rfind("Uid:", 0) == 0) {
                mine = std::stoul(line.substr(4)) == getuid();
            } else if (mine && line.rfind("Threads:", 0) == 0) {
                tasks += std::stoul(line.substr(8));
            }
        }
    }
    const rlimit limit{static_cast<rlim_t>(tasks + more), static_cast<rlim_t>(tasks + more)};
    return setrlimit(RLIMIT_NPROC, &limit) == 0 ? std::string() : "cannot limit the tasks";
}

}  // namespace VelpoTest
