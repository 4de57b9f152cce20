#include "pdc/PositionalIo.h"

#include <algorithm>
#include <cerrno>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#if defined(_WIN32)

bool PdcReadAt(FILE* file, uint64_t offset, void* bytes, size_t count) {
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    auto* at = static_cast<unsigned char*>(bytes);
    while (count > 0) {
        OVERLAPPED from{};
        from.Offset = static_cast<DWORD>(offset);
        from.OffsetHigh = static_cast<DWORD>(offset >> 32);
        const auto asked = static_cast<DWORD>(std::min<size_t>(count, size_t{1} << 30));
        DWORD got = 0;
        if (!ReadFile(handle, at, asked, &got, &from) || got == 0) {
            return false;
        }
        at += got;
        offset += got;
        count -= got;
    }
    return true;
}

#else

namespace {

template <class Byte, class Call>
bool MoveAll(int descriptor, uint64_t offset, Byte* at, size_t count, Call call) {
    while (count > 0) {
        const ssize_t moved = call(descriptor, at, count, static_cast<off_t>(offset));
        if (moved < 0 && errno == EINTR) {
            continue;
        }
        if (moved <= 0) {
            errno = moved == 0 ? EIO : errno;
            return false;
        }
        at += moved;
        offset += static_cast<uint64_t>(moved);
        count -= static_cast<size_t>(moved);
    }
    return true;
}

}  // namespace

bool PdcReadAt(int descriptor, uint64_t offset, void* bytes, size_t count) {
    return MoveAll(
        descriptor, offset, static_cast<unsigned char*>(bytes), count,
        [](int file, unsigned char* at, size_t n, off_t from) { return pread(file, at, n, from); });
}

bool PdcWriteAt(int descriptor, uint64_t offset, const void* bytes, size_t count) {
    return MoveAll(descriptor, offset, static_cast<const unsigned char*>(bytes), count,
                   [](int file, const unsigned char* at, size_t n, off_t from) {
                       return pwrite(file, at, n, from);
                   });
}

bool PdcReadAt(FILE* file, uint64_t offset, void* bytes, size_t count) {
    return PdcReadAt(fileno(file), offset, bytes, count);
}

#endif
