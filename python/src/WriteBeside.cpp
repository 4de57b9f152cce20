#include "python/src/WriteBeside.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace VelpoPython {

namespace {

std::atomic<uint32_t> tempCounter{0};
constexpr int TempAttempts = 64;

std::string Because(const char* what, int error) {
    return std::string(what) + ": " + std::strerror(error);
}

// In the target's folder, so that the rename stays on one file system, and
// named as the Export node names its own.
FILE* CreateTemp(const std::string& target, std::string& tempName, std::string& reason) {
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    for (int attempt = 0; attempt < TempAttempts; ++attempt) {
        tempName = folder + ".velpo-" + std::to_string(getpid()) + "-" +
                   std::to_string(tempCounter.fetch_add(1, std::memory_order_relaxed)) + ".tmp";
        const int descriptor =
            open(tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor == -1 && errno == EEXIST) {
            continue;
        }
        if (descriptor == -1) {
            reason = Because("cannot create a file in its folder", errno);
            return nullptr;
        }
        FILE* file = fdopen(descriptor, "wb");
        if (!file) {
            reason = Because("cannot create a file in its folder", errno);
            close(descriptor);
            unlink(tempName.c_str());
        }
        return file;
    }
    reason = "cannot create a file in its folder: every temporary name is taken";
    return nullptr;
}

}  // namespace

bool WriteBesideAndRename(const std::string& target, const std::function<bool(FILE*)>& write,
                          std::string& reason) {
    struct stat existing;
    if (stat(target.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        reason = "is not a regular file; only a regular file is replaced";
        return false;
    }
    std::string tempName;
    FILE* file = CreateTemp(target, tempName, reason);
    if (!file) {
        return false;
    }
    errno = 0;
    bool written = write(file) && std::fflush(file) == 0 && !std::ferror(file);
    int error = errno;
    if (std::fclose(file) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) {
        reason = error ? Because("cannot be written", error) : "cannot be written";
    } else if (std::rename(tempName.c_str(), target.c_str()) != 0) {
        written = false;
        reason = Because("cannot be replaced", errno);
    }
    if (!written) {
        unlink(tempName.c_str());
    }
    return written;
}

}  // namespace VelpoPython
