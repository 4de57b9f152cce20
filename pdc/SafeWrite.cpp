#include "pdc/SafeWrite.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "pdc/SafeWriteSteps.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace PdcSafeWrite {

namespace {

constexpr size_t CopyBufferSize = size_t{1} << 16;

bool FlushStreamToDisk(std::FILE* file) {
#if defined(_WIN32)
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (FlushFileBuffers(handle) == 0) {
        errno = GetLastError() == ERROR_DISK_FULL ? ENOSPC : EIO;
        return false;
    }
    return true;
#else
    // A pipe or a device has nothing to flush, and says so.
    return fsync(fileno(file)) == 0 || errno == EINVAL || errno == EROFS;
#endif
}

}  // namespace

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

bool WriteAndClose(std::FILE* file, const CFileWriter& write, CDurability durability,
                   std::string& reason) {
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
    if (written && durability == CDurability::Disk && !FlushStreamToDisk(file)) {
        written = false;
        error = errno;
    }
    if (std::fclose(file) != 0 && written) {
        written = false;
        error = errno;
    }
    return written || Fail(reason, error);
}

CFileWriter CopyOf(std::FILE* source) {
    return [source](std::FILE* file) {
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
    };
}

}  // namespace PdcSafeWrite

bool SafeWriteFile(const std::string& target, const CFileWriter& write, std::string& reason,
                   CDurability durability) {
    try {
        return PdcSafeWrite::Write(target, write, durability, reason);
    } catch (...) {
        // Only a name that does not fit in memory gets here.
        return PdcSafeWrite::Fail(reason, ENOMEM);
    }
}

bool ProbeSafeWrite(const std::string& target, uint64_t bytes, std::string& reason) {
    try {
        return PdcSafeWrite::Probe(target, bytes, reason);
    } catch (...) {
        return PdcSafeWrite::Fail(reason, ENOMEM);
    }
}

bool FlushFileToDisk(const std::string& file, std::string& reason) {
    try {
        return PdcSafeWrite::FlushToDisk(file, reason);
    } catch (...) {
        return PdcSafeWrite::Fail(reason, ENOMEM);
    }
}
