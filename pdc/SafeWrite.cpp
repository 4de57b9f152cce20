#include "pdc/SafeWrite.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "pdc/TempFile.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "pdc/CacheFile.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#if defined(_WIN32)
using CNativeName = std::wstring;
constexpr const wchar_t* Separators = L"/\\";
#else
using CNativeName = std::string;
constexpr const char* Separators = "/";
#endif

constexpr int TempAttempts = 64;
constexpr size_t CopyBufferSize = size_t{1} << 16;

// A reason that does not fit in memory leaves the earlier text.
void SetReason(std::string& reason, const char* text) {
    try {
        reason = text;
    } catch (...) {
    }
}

bool Fail(std::string& reason, int error) {
    SetReason(reason, error != 0 ? std::strerror(error) : "write failed");
    return false;
}

CNativeName FolderOf(const CNativeName& path) {
    const size_t separator = path.find_last_of(Separators);
    return separator == CNativeName::npos ? CNativeName() : path.substr(0, separator + 1);
}

// Runs the writer, then flushes and closes the stream, which is closed on
// every path. The reason is the first failure's: errno right after it.
bool WriteAndClose(std::FILE* file, const CFileWriter& write, std::string& reason) {
    errno = 0;
    int error = 0;
    bool written = false;
    try {
        written = write(file);
        if (!written) {
            error = errno;
        }
    } catch (const std::bad_alloc&) {
        error = ENOMEM;
    } catch (...) {
        error = errno;
    }
    if (written && (std::fflush(file) != 0 || std::ferror(file) != 0)) {
        written = false;
        error = errno;
    }
    if (std::fclose(file) != 0 && written) {
        written = false;
        error = errno;
    }
    return written || Fail(reason, error);
}

std::FILE* OpenStream(const CNativeName& path, bool forWriting);

// Opens the existing target itself and empties it, as a plain write would.
// Used only where a replacement would lose what the user meant; a failure
// part way leaves a torn file.
bool WriteInPlace(const CNativeName& path, const CFileWriter& write, std::string& reason) {
    std::FILE* file = OpenStream(path, true);
    if (file == nullptr) {
        return Fail(reason, errno);
    }
    return WriteAndClose(file, write, reason);
}

// The complete temporary file copied into the target, for a replacement the
// system refused.
bool CopyInPlace(const CNativeName& temp, const CNativeName& path, std::string& reason) {
    std::FILE* source = OpenStream(temp, false);
    if (source == nullptr) {
        return Fail(reason, errno);
    }
    const bool copied = WriteInPlace(
        path,
        [source](std::FILE* file) {
            std::vector<char> buffer(CopyBufferSize);
            for (;;) {
                const size_t count = std::fread(buffer.data(), 1, buffer.size(), source);
                if (count > 0 && std::fwrite(buffer.data(), 1, count, file) != count) {
                    return false;
                }
                if (count < buffer.size()) {
                    return std::ferror(source) == 0;
                }
            }
        },
        reason);
    std::fclose(source);
    return copied;
}

#if defined(_WIN32)

constexpr DWORD SharingAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Attributes a replacement takes over from the file it replaces.
constexpr DWORD KeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// A program that holds the target only for a moment (a reader, a virus
// scanner) lets go within this; one that holds it longer gets the data in
// place.
constexpr int ReplaceAttempts = 5;
constexpr DWORD ReplacePauseMilliseconds = 40;

std::FILE* OpenStream(const CNativeName& path, bool forWriting) {
    return _wfopen(path.c_str(), forWriting ? L"wb" : L"rb");
}

// The texts of errno for the errors the C library would map them to, so a
// reason reads the same on both platforms.
bool FailWindows(std::string& reason, DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            return Fail(reason, ENOENT);
        case ERROR_ACCESS_DENIED:
            return Fail(reason, EACCES);
        case ERROR_WRITE_PROTECT:
            return Fail(reason, EROFS);
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return Fail(reason, ENOSPC);
        case ERROR_FILENAME_EXCED_RANGE:
            return Fail(reason, ENAMETOOLONG);
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return Fail(reason, ENOMEM);
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            SetReason(reason, "held open by another program");
            return false;
        case ERROR_INVALID_NAME:
        case ERROR_DIRECTORY:
            SetReason(reason, "not a valid file name");
            return false;
        default:
            try {
                reason = "Windows error " + std::to_string(error);
            } catch (...) {
            }
            return false;
    }
}

// The file a symbolic link finally names; any other name as it is. A link
// that names nothing is replaced itself.
std::wstring FollowLinks(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return path;
    }
    HANDLE handle = CreateFileW(path.c_str(), 0, SharingAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return path;
    }
    std::wstring final(MAX_PATH, L'\0');
    const DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    DWORD length =
        GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), flags);
    if (length >= final.size()) {
        final.resize(length);
        length = GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()),
                                           flags);
    }
    CloseHandle(handle);
    if (length == 0 || length >= final.size()) {
        return path;
    }
    final.resize(length);
    return final;
}

HANDLE CreateTempBeside(const std::wstring& path, std::wstring& tempName) {
    // Kept in the target's folder: the rename must not cross file systems.
    const std::wstring folder = FolderOf(path);
    for (int attempt = 0; attempt < TempAttempts; ++attempt) {
        const std::wstring base = WidenFileName(NextTempFileName());
        if (base.empty()) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return INVALID_HANDLE_VALUE;
        }
        const std::wstring name = folder + base;
        HANDLE handle = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            tempName = name;
            return handle;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            return INVALID_HANDLE_VALUE;
        }
    }
    return INVALID_HANDLE_VALUE;
}

bool Write(const std::string& target, const CFileWriter& write, std::string& reason) {
    const std::wstring wideTarget = WidenFileName(target);
    if (wideTarget.empty()) {
        if (target.empty()) {
            return Fail(reason, ENOENT);
        }
        SetReason(reason, "the name is not valid UTF-8");
        return false;
    }
    const std::wstring path = FollowLinks(wideTarget);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND) {
        return FailWindows(reason, GetLastError());
    }
    if (exists) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            SetReason(reason, "is a folder");
            return false;
        }
        if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            return Fail(reason, EACCES);
        }
        // Opening for writing without emptying tests the access rights
        // themselves; a program holding the file open is settled below.
        HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, SharingAll, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_ACCESS_DENIED) {
                return Fail(reason, EACCES);
            }
        } else {
            BY_HANDLE_FILE_INFORMATION information{};
            const bool isDevice = GetFileType(handle) != FILE_TYPE_DISK;
            const bool linked = GetFileInformationByHandle(handle, &information) != 0 &&
                                information.nNumberOfLinks > 1;
            CloseHandle(handle);
            if (isDevice || linked) {
                return WriteInPlace(path, write, reason);
            }
        }
    }

    std::wstring tempName;
    HANDLE handle = CreateTempBeside(path, tempName);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // A folder that takes no new files may still hold a writable cache,
        // which a plain write would have written.
        if (exists && error == ERROR_ACCESS_DENIED) {
            return WriteInPlace(path, write, reason);
        }
        return FailWindows(reason, error);
    }
    const int descriptor =
        _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | _O_WRONLY);
    if (descriptor == -1) {
        CloseHandle(handle);
        DeleteFileW(tempName.c_str());
        return Fail(reason, EMFILE);
    }
    std::FILE* file = _fdopen(descriptor, "wb");
    if (file == nullptr) {
        const int error = errno;
        _close(descriptor);
        DeleteFileW(tempName.c_str());
        return Fail(reason, error);
    }
    if (!WriteAndClose(file, write, reason)) {
        DeleteFileW(tempName.c_str());
        return false;
    }
    if (exists && (attributes & KeptAttributes) != 0) {
        SetFileAttributesW(tempName.c_str(), attributes & KeptAttributes);
    }

    DWORD error = ERROR_SUCCESS;
    bool held = false;
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(tempName.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0) {
            return true;
        }
        error = GetLastError();
        held = exists && (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION);
        if (!held || attempt == ReplaceAttempts) {
            break;
        }
        Sleep(ReplacePauseMilliseconds);
    }
    // A program that holds the cache open without letting it be deleted (the
    // C library's readers do) blocks the rename, but most let it be written.
    const bool written = held ? CopyInPlace(tempName, path, reason) : FailWindows(reason, error);
    DeleteFileW(tempName.c_str());
    return written;
}

#else

constexpr int MaxLinkHops = 40;
constexpr size_t MaxLinkLength = size_t{1} << 16;

std::FILE* OpenStream(const CNativeName& path, bool forWriting) {
    // Close-on-exec: a host that starts programs must not hand them the
    // file. Never created: only files that exist are written in place, and
    // asking to create one may be refused in a folder with the sticky bit.
    const int descriptor = forWriting
                               ? open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY)
                               : open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor == -1) {
        return nullptr;
    }
    std::FILE* file = fdopen(descriptor, forWriting ? "wb" : "rb");
    if (file == nullptr) {
        const int error = errno;
        close(descriptor);
        errno = error;
    }
    return file;
}

// The name `target` finally stands for: symbolic links followed one by one,
// a relative link read from the folder of the link. A name that is not a
// link, or cannot be looked at, comes back as it is; what is wrong with it
// shows when it is used.
bool FollowLinks(const std::string& target, std::string& path, int& error) {
    path = target;
    for (int hop = 0;; ++hop) {
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
            return true;
        }
        if (hop == MaxLinkHops) {
            error = ELOOP;
            return false;
        }
        size_t size = status.st_size > 0 ? static_cast<size_t>(status.st_size) + 1 : 256;
        for (;;) {
            std::string link(size, '\0');
            const ssize_t length = readlink(path.c_str(), link.data(), size);
            if (length <= 0) {
                error = length == 0 ? ENOENT : errno;
                return false;
            }
            if (static_cast<size_t>(length) < size) {
                link.resize(static_cast<size_t>(length));
                path = link.front() == '/' ? link : FolderOf(path) + link;
                break;
            }
            if (size >= MaxLinkLength) {
                error = ENAMETOOLONG;
                return false;
            }
            size *= 2;
        }
    }
}

int CreateTempBeside(const std::string& path, mode_t bits, std::string& tempName) {
    // Kept in the target's folder: the rename must not cross file systems.
    const std::string folder = FolderOf(path);
    for (int attempt = 0; attempt < TempAttempts; ++attempt) {
        const std::string base = NextTempFileName();
        if (base.empty()) {
            errno = ENOMEM;
            return -1;
        }
        const std::string name = folder + base;
        const int descriptor =
            open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, bits);
        if (descriptor != -1) {
            tempName = name;
            return descriptor;
        }
        if (errno != EEXIST) {
            return -1;
        }
    }
    return -1;
}

// Gives the replacement the owner, group and permission bits of the file it
// replaces, before any data is in it. Only the bits must take: a process
// that may not give a file away still writes the cache, as its own.
bool KeepOwnerAndBits(int descriptor, const struct stat& earlier) {
    struct stat own {};
    if (fstat(descriptor, &own) != 0) {
        return false;
    }
    if ((own.st_uid != earlier.st_uid || own.st_gid != earlier.st_gid) &&
        fchown(descriptor, earlier.st_uid, earlier.st_gid) != 0) {
        // Only root may change the owner; others may set a group they are in.
        const int groupKept = fchown(descriptor, static_cast<uid_t>(-1), earlier.st_gid);
        static_cast<void>(groupKept);
    }
    // After the owner: a change of owner clears the set-user-ID bit.
    return fchmod(descriptor, earlier.st_mode & 07777) == 0;
}

bool Write(const std::string& target, const CFileWriter& write, std::string& reason) {
    std::string path;
    int error = 0;
    if (!FollowLinks(target, path, error)) {
        return Fail(reason, error);
    }
    struct stat earlier {};
    const bool exists = stat(path.c_str(), &earlier) == 0;
    if (!exists && errno != ENOENT) {
        return Fail(reason, errno);
    }
    if (exists) {
        if (S_ISDIR(earlier.st_mode)) {
            SetReason(reason, "is a folder");
            return false;
        }
        if (!S_ISREG(earlier.st_mode)) {
            return WriteInPlace(path, write, reason);
        }
        // Asked of the system rather than read from the bits, so access
        // lists, read-only mounts and immutable files count as well.
        if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
            return Fail(reason, errno);
        }
        if (earlier.st_nlink > 1) {
            return WriteInPlace(path, write, reason);
        }
    }

    std::string tempName;
    // Private until it has the bits of the file it replaces.
    const int descriptor = CreateTempBeside(path, exists ? 0600 : 0666, tempName);
    if (descriptor == -1) {
        const int cause = errno;
        // A folder that takes no new files may still hold a writable cache,
        // which a plain write would have written.
        if (exists && (cause == EACCES || cause == EPERM)) {
            return WriteInPlace(path, write, reason);
        }
        return Fail(reason, cause);
    }
    if (exists && !KeepOwnerAndBits(descriptor, earlier)) {
        const int cause = errno;
        close(descriptor);
        unlink(tempName.c_str());
        return Fail(reason, cause);
    }
    std::FILE* file = fdopen(descriptor, "wb");
    if (file == nullptr) {
        const int cause = errno;
        close(descriptor);
        unlink(tempName.c_str());
        return Fail(reason, cause);
    }
    if (!WriteAndClose(file, write, reason)) {
        unlink(tempName.c_str());
        return false;
    }
    if (std::rename(tempName.c_str(), path.c_str()) == 0) {
        return true;
    }
    const int cause = errno;
    // In a folder with the sticky bit only a file's owner may replace it,
    // though others may be allowed to write it.
    const bool written = exists && (cause == EACCES || cause == EPERM)
                             ? CopyInPlace(tempName, path, reason)
                             : Fail(reason, cause);
    unlink(tempName.c_str());
    return written;
}

#endif

}  // namespace

bool SafeWriteFile(const std::string& target, const CFileWriter& write, std::string& reason) {
    try {
        return Write(target, write, reason);
    } catch (...) {
        // Only a name that does not fit in memory gets here.
        return Fail(reason, ENOMEM);
    }
}
