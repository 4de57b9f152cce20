#include "tools/OutputFile.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace VelpoTools {

namespace {

using VelpoHost::CResult;

std::atomic<uint32_t> tempCounter{0};
constexpr int TempAttempts = 64;

uint32_t ProcessId() {
#ifdef _WIN32
    return static_cast<uint32_t>(GetCurrentProcessId());
#else
    return static_cast<uint32_t>(getpid());
#endif
}

// In the target's folder, so that the rename never crosses file systems;
// short, so that a long target name cannot push it past the name limit.
std::filesystem::path TempPath(const std::filesystem::path& target) {
    return target.parent_path() /
           (".velpo-" + std::to_string(ProcessId()) + "-" +
            std::to_string(tempCounter.fetch_add(1, std::memory_order_relaxed)) + ".tmp");
}

// Opens a file that did not exist before (exclusive creation), so that two
// writers never share one.
std::FILE* CreateExclusive(const std::filesystem::path& path) {
#ifdef _WIN32
    const int descriptor = _wopen(path.wstring().c_str(),
                                  _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    // 0666 under the umask, as fopen creates files.
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
    if (descriptor == -1) {
        return nullptr;
    }
#ifdef _WIN32
    std::FILE* file = _fdopen(descriptor, "wb");
#else
    std::FILE* file = fdopen(descriptor, "wb");
#endif
    if (!file) {
        const int error = errno;
#ifdef _WIN32
        _close(descriptor);
#else
        close(descriptor);
#endif
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        errno = error;
    }
    return file;
}

std::FILE* CreateTempBeside(const std::filesystem::path& target, std::filesystem::path& temp) {
    for (int attempt = 0; attempt < TempAttempts; ++attempt) {
        temp = TempPath(target);
        std::FILE* file = CreateExclusive(temp);
        if (file || errno != EEXIST) {
            return file;
        }
    }
    return nullptr;
}

// Replaces `target` in one step: a reader sees the old file or the new one.
bool Replace(const std::filesystem::path& source, const std::filesystem::path& target,
             std::string& reason) {
#ifdef _WIN32
    if (MoveFileExW(source.wstring().c_str(), target.wstring().c_str(),
                    MOVEFILE_REPLACE_EXISTING) != 0) {
        return true;
    }
    reason = std::system_category().message(static_cast<int>(GetLastError()));
    return false;
#else
    if (std::rename(source.c_str(), target.c_str()) == 0) {
        return true;
    }
    reason = std::strerror(errno);
    return false;
#endif
}

}  // namespace

CResult WriteFileReplacing(const std::filesystem::path& target,
                           const std::function<void(COutput&)>& write) {
    const std::string name = target.string();
    std::error_code code;
    const std::filesystem::file_status status = std::filesystem::status(target, code);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        return CResult::Fail(name + ": is not a regular file; velpo replaces only files");
    }
    std::filesystem::path temp;
    std::FILE* file = CreateTempBeside(target, temp);
    if (!file) {
        return CResult::Fail(name + ": cannot be written: no new file can be made in its folder: " +
                             std::strerror(errno));
    }
    CResult written = CResult::Ok();
    try {
        COutput out(file, name);
        write(out);
        written = out.Flush();
    } catch (...) {
        // Out of memory half-way: no scrap is left behind.
        std::fclose(file);
        std::filesystem::remove(temp, code);
        throw;
    }
    errno = 0;
    const bool closed = std::fclose(file) == 0;
    if (written && !closed) {
        written = CResult::Fail(name + ": " + std::strerror(errno));
    }
    std::string reason;
    if (written && !Replace(temp, target, reason)) {
        written = CResult::Fail(name + ": cannot replace it: " + reason);
    }
    if (!written) {
        std::filesystem::remove(temp, code);
        return CResult::Fail(written.Message() + "; the earlier file, if any, is kept");
    }
    return CResult::Ok();
}

}  // namespace VelpoTools
