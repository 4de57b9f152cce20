// The safe write on Windows: links followed by the system
// (GetFinalPathNameByHandle), the temporary file made beside the final
// file and moved over it, with a short retry while another program holds
// the file.
#if defined(_WIN32)

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>

#include "pdc/CacheFile.h"
#include "pdc/SafeWriteSteps.h"
#include "pdc/TempFile.h"

namespace PdcSafeWrite {

namespace {

constexpr int TempAttempts = 64;
constexpr DWORD SharingAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Attributes a replacement takes over from the file it replaces.
constexpr DWORD KeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// A program that holds the target only for a moment (a reader, a virus
// scanner) lets go within this; one that holds it longer gets the data in
// place.
constexpr int ReplaceAttempts = 5;
constexpr DWORD ReplacePauseMilliseconds = 40;

constexpr const char* DanglingLink = "is a symbolic link to a file that does not exist";

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

std::wstring FolderOf(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"/\\");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
}

bool WideTarget(const std::string& target, std::wstring& wide, std::string& reason) {
    wide = WidenFileName(target);
    if (!wide.empty()) {
        return true;
    }
    if (target.empty()) {
        return Fail(reason, ENOENT);
    }
    SetReason(reason, "the name is not valid UTF-8");
    return false;
}

// The file a symbolic link finally names, as the system resolves it; any
// other name as it is. A link that names nothing is refused.
bool FollowLinks(const std::wstring& target, std::wstring& path, std::string& reason) {
    path = target;
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return true;
    }
    HANDLE handle = CreateFileW(target.c_str(), 0, SharingAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            SetReason(reason, DanglingLink);
            return false;
        }
        return true;
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
    if (length != 0 && length < final.size()) {
        final.resize(length);
        path = final;
    }
    return true;
}

std::FILE* OpenStreamForWriting(const std::wstring& path) {
    return _wfopen(path.c_str(), L"wb");
}

std::FILE* OpenStreamForReading(const std::wstring& path) {
    return _wfopen(path.c_str(), L"rb");
}

// Opens the existing target itself and empties it, as a plain write would.
// Used only where a replacement would lose what the user meant; a failure
// part way leaves a torn file.
bool WriteInPlace(const std::wstring& path, const CFileWriter& write, CDurability durability,
                  std::string& reason) {
    std::FILE* file = OpenStreamForWriting(path);
    if (file == nullptr) {
        return Fail(reason, errno);
    }
    return WriteAndClose(file, write, durability, reason);
}

// What is there under the name before the write.
struct CExisting {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    bool exists = false;
    bool inPlace = false;  // a device or a file of several names
};

bool LookAtTarget(const std::wstring& path, CExisting& existing, std::string& reason) {
    existing.attributes = GetFileAttributesW(path.c_str());
    existing.exists = existing.attributes != INVALID_FILE_ATTRIBUTES;
    if (!existing.exists) {
        return GetLastError() == ERROR_FILE_NOT_FOUND || FailWindows(reason, GetLastError());
    }
    if ((existing.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        SetReason(reason, "is a folder");
        return false;
    }
    if ((existing.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return Fail(reason, EACCES);
    }
    // Opening for writing without emptying tests the access rights
    // themselves; a program holding the file open is settled later.
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, SharingAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return GetLastError() != ERROR_ACCESS_DENIED || Fail(reason, EACCES);
    }
    BY_HANDLE_FILE_INFORMATION information{};
    const bool isDevice = GetFileType(handle) != FILE_TYPE_DISK;
    const bool linked =
        GetFileInformationByHandle(handle, &information) != 0 && information.nNumberOfLinks > 1;
    CloseHandle(handle);
    existing.inPlace = isDevice || linked;
    return true;
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

// The stream over the temporary file's handle; it owns the handle after.
std::FILE* StreamOf(HANDLE handle, std::string& reason) {
    const int descriptor =
        _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | _O_WRONLY);
    if (descriptor == -1) {
        CloseHandle(handle);
        Fail(reason, EMFILE);
        return nullptr;
    }
    std::FILE* file = _fdopen(descriptor, "wb");
    if (file == nullptr) {
        Fail(reason, errno);
        _close(descriptor);
    }
    return file;
}

// The complete temporary file copied into the target, for a replacement the
// system refused.
bool CopyInPlace(const std::wstring& temp, const std::wstring& path, CDurability durability,
                 std::string& reason) {
    std::FILE* source = OpenStreamForReading(temp);
    if (source == nullptr) {
        return Fail(reason, errno);
    }
    const bool copied = WriteInPlace(path, CopyOf(source), durability, reason);
    std::fclose(source);
    return copied;
}

// Moves the complete temporary file over the target, retrying while
// another program holds it for a moment.
bool MoveOver(const std::wstring& tempName, const std::wstring& path, bool exists,
              CDurability durability, std::string& reason) {
    const DWORD flags =
        MOVEFILE_REPLACE_EXISTING | (durability == CDurability::Disk ? MOVEFILE_WRITE_THROUGH : 0);
    DWORD error = ERROR_SUCCESS;
    bool held = false;
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(tempName.c_str(), path.c_str(), flags) != 0) {
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
    const bool written =
        held ? CopyInPlace(tempName, path, durability, reason) : FailWindows(reason, error);
    DeleteFileW(tempName.c_str());
    return written;
}

bool Replace(const std::wstring& path, const CExisting& existing, const CFileWriter& write,
             CDurability durability, std::string& reason) {
    std::wstring tempName;
    HANDLE handle = CreateTempBeside(path, tempName);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // A folder that takes no new files may still hold a writable cache,
        // which a plain write would have written.
        if (existing.exists && error == ERROR_ACCESS_DENIED) {
            return WriteInPlace(path, write, durability, reason);
        }
        return FailWindows(reason, error);
    }
    std::FILE* file = StreamOf(handle, reason);
    if (file == nullptr || !WriteAndClose(file, write, durability, reason)) {
        DeleteFileW(tempName.c_str());
        return false;
    }
    if (existing.exists && (existing.attributes & KeptAttributes) != 0) {
        SetFileAttributesW(tempName.c_str(), existing.attributes & KeptAttributes);
    }
    return MoveOver(tempName, path, existing.exists, durability, reason);
}

// The file a name ends at, its links followed, and what is there now.
bool FindTarget(const std::string& target, std::wstring& path, CExisting& existing,
                std::string& reason) {
    std::wstring wideTarget;
    return WideTarget(target, wideTarget, reason) && FollowLinks(wideTarget, path, reason) &&
           LookAtTarget(path, existing, reason);
}

}  // namespace

bool Write(const std::string& target, const CFileWriter& write, CDurability durability,
           std::string& reason) {
    std::wstring path;
    CExisting existing;
    if (!FindTarget(target, path, existing, reason)) {
        return false;
    }
    if (existing.inPlace) {
        return WriteInPlace(path, write, durability, reason);
    }
    return Replace(path, existing, write, durability, reason);
}

bool Probe(const std::string& target, uint64_t bytes, std::string& reason) {
    std::wstring path;
    CExisting existing;
    if (!FindTarget(target, path, existing, reason)) {
        return false;
    }
    if (existing.inPlace) {
        return true;
    }
    std::wstring tempName;
    HANDLE handle = CreateTempBeside(path, tempName);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return (existing.exists && error == ERROR_ACCESS_DENIED) || FailWindows(reason, error);
    }
    CloseHandle(handle);
    DeleteFileW(tempName.c_str());
    const std::wstring folder = FolderOf(path);
    ULARGE_INTEGER available{};
    if (GetDiskFreeSpaceExW(folder.empty() ? nullptr : folder.c_str(), &available, nullptr,
                            nullptr) != 0 &&
        bytes > available.QuadPart) {
        return Fail(reason, ENOSPC);
    }
    return true;
}

bool FlushToDisk(const std::string& file, std::string& reason) {
    const std::wstring wide = WidenFileName(file);
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, SharingAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return FailWindows(reason, GetLastError());
    }
    // The folder's entry is written through by the file system's log.
    const bool flushed = FlushFileBuffers(handle) != 0 || FailWindows(reason, GetLastError());
    CloseHandle(handle);
    return flushed;
}

// Windows writes every target through a stream: the safe write at offsets
// gathers the file in memory first (SafeWriteAt.cpp).
std::unique_ptr<CPositionalWrite> BeginReplacement(const std::string&, uint64_t) {
    return nullptr;
}

}  // namespace PdcSafeWrite

#endif
