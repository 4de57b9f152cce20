#include "nodes/CacheFile.h"

#include <atomic>
#include <cstdint>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#endif

namespace {

// Writers in one process never pick the same name; the exclusive creation
// settles the rare clash with another process.
std::atomic<uint32_t> tempCounter{0};
constexpr int TempAttempts = 64;

#if defined(_WIN32)
constexpr const char* Separators = "/\\";
#else
constexpr const char* Separators = "/";
#endif

std::string FolderOf(const std::string& path) {
    const size_t separator = path.find_last_of(Separators);
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

std::string TempName(const std::string& folder, uint32_t processID) {
    // Kept short and in the target's folder: the rename must not cross file
    // systems, and a long target name must not push this one past the limit.
    return folder + ".velpo-" + std::to_string(processID) + "-" +
           std::to_string(tempCounter.fetch_add(1, std::memory_order_relaxed)) + ".tmp";
}

#if defined(_WIN32)

std::wstring Widen(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

#endif

}  // namespace

#if defined(_WIN32)

FILE* OpenCacheFile(const std::string& name, const char* mode) {
    const std::wstring wideName = Widen(name);
    const std::wstring wideMode = Widen(mode);
    if (wideName.empty()) {
        return nullptr;
    }
    return _wfopen(wideName.c_str(), wideMode.c_str());
}

FILE* CreateTempFileBeside(const std::string& target, std::string& tempName) {
    const std::string folder = FolderOf(target);
    const uint32_t processID = static_cast<uint32_t>(GetCurrentProcessId());
    for (int attempt = 0; attempt < TempAttempts; ++attempt) {
        const std::string name = TempName(folder, processID);
        const std::wstring wideName = Widen(name);
        HANDLE handle = CreateFileW(wideName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) {
                continue;
            }
            return nullptr;
        }
        const int descriptor =
            _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | _O_WRONLY);
        if (descriptor == -1) {
            CloseHandle(handle);
            DeleteFileW(wideName.c_str());
            return nullptr;
        }
        FILE* file = _fdopen(descriptor, "wb");
        if (file == nullptr) {
            _close(descriptor);
            DeleteFileW(wideName.c_str());
            return nullptr;
        }
        tempName = name;
        return file;
    }
    return nullptr;
}

bool ReplaceByRename(const std::string& source, const std::string& target) {
    return MoveFileExW(Widen(source).c_str(), Widen(target).c_str(), MOVEFILE_REPLACE_EXISTING) !=
           0;
}

bool RemoveTempFile(const std::string& name) {
    return DeleteFileW(Widen(name).c_str()) != 0;
}

#else

FILE* OpenCacheFile(const std::string& name, const char* mode) {
    return std::fopen(name.c_str(), mode);
}

FILE* CreateTempFileBeside(const std::string& target, std::string& tempName) {
    const std::string folder = FolderOf(target);
    const uint32_t processID = static_cast<uint32_t>(getpid());
    for (int attempt = 0; attempt < TempAttempts; ++attempt) {
        const std::string name = TempName(folder, processID);
        // 0666 under the umask, as fopen would create the cache itself, so the
        // renamed file gets the permissions a direct write would have given.
        const int descriptor = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor == -1) {
            if (errno == EEXIST) {
                continue;
            }
            return nullptr;
        }
        FILE* file = fdopen(descriptor, "wb");
        if (file == nullptr) {
            close(descriptor);
            unlink(name.c_str());
            return nullptr;
        }
        tempName = name;
        return file;
    }
    return nullptr;
}

bool ReplaceByRename(const std::string& source, const std::string& target) {
    return std::rename(source.c_str(), target.c_str()) == 0;
}

bool RemoveTempFile(const std::string& name) {
    return std::remove(name.c_str()) == 0;
}

#endif
