#include "pdc/CacheFile.h"

#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

bool ReadsOnly(const char* mode) {
    return mode != nullptr && mode[0] == 'r' && std::strchr(mode, '+') == nullptr;
}

}  // namespace

#if defined(_WIN32)

std::wstring WidenFileName(const std::string& name) {
    try {
        if (name.empty()) {
            return std::wstring();
        }
        const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(),
                                             static_cast<int>(name.size()), nullptr, 0);
        if (size <= 0) {
            return std::wstring();
        }
        std::wstring wide(static_cast<size_t>(size), L'\0');
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(),
                            static_cast<int>(name.size()), wide.data(), size);
        return wide;
    } catch (...) {
        return std::wstring();
    }
}

FILE* OpenInputFile(const std::string& name, bool& notRegular) {
    notRegular = false;
    const std::wstring wideName = WidenFileName(name);
    if (wideName.empty()) {
        errno = ENOENT;
        return nullptr;
    }
    FILE* file = _wfopen(wideName.c_str(), L"rb");
    if (file == nullptr) {
        // The C library refuses a folder as access denied.
        const int error = errno;
        const DWORD attributes = GetFileAttributesW(wideName.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            notRegular = true;
            errno = EISDIR;
        } else {
            errno = error;
        }
        return nullptr;
    }
    // A pipe or a console opens as a stream too: only a file on a disk is
    // taken.
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        std::fclose(file);
        notRegular = true;
        errno = 0;
        return nullptr;
    }
    return file;
}

FILE* OpenCacheFile(const std::string& name, const char* mode) {
    if (ReadsOnly(mode)) {
        bool notRegular = false;
        return OpenInputFile(name, notRegular);
    }
    const std::wstring wideName = WidenFileName(name);
    const std::wstring wideMode = WidenFileName(mode);
    if (wideName.empty() || wideMode.empty()) {
        return nullptr;
    }
    return _wfopen(wideName.c_str(), wideMode.c_str());
}

#else

FILE* OpenInputFile(const std::string& name, bool& notRegular) {
    notRegular = false;
    // Without O_NONBLOCK, opening a named pipe waits for a writer, forever
    // if none comes.
    const int descriptor = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor == -1) {
        return nullptr;
    }
    struct stat status {};
    int error = 0;
    if (fstat(descriptor, &status) != 0) {
        error = errno;
    } else if (!S_ISREG(status.st_mode)) {
        notRegular = true;
        error = S_ISDIR(status.st_mode) ? EISDIR : 0;
    } else {
        // Reads of a regular file never wait anyway; cleared so that the
        // stream's reads behave as they always do.
        const int flags = fcntl(descriptor, F_GETFL);
        if (flags == -1 || fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) == -1) {
            error = errno;
        }
    }
    FILE* file = nullptr;
    if (error == 0 && !notRegular) {
        file = fdopen(descriptor, "rb");
        error = file == nullptr ? errno : 0;
    }
    if (file == nullptr) {
        close(descriptor);
        errno = error;
    }
    return file;
}

FILE* OpenCacheFile(const std::string& name, const char* mode) {
    if (ReadsOnly(mode)) {
        bool notRegular = false;
        return OpenInputFile(name, notRegular);
    }
    return std::fopen(name.c_str(), mode);
}

#endif
