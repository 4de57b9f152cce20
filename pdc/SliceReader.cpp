#include "pdc/SliceReader.h"

#include <algorithm>
#include <cerrno>
#include <type_traits>

#include "pdc/ByteOrder.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

using XSI::MATH::CVector3f;

// A vector's three floats are converted as one run of floats.
static_assert(sizeof(CVector3f) == 3 * sizeof(float) && std::is_standard_layout_v<CVector3f>);

namespace {

// Values are read through a buffer on the stack of this many bytes: a
// subset of a few thousand points in one or two reads, little for any
// thread's stack.
constexpr size_t ChunkBytes = 64 * 1024;

// `count` bytes at `offset` of the file, without moving the stream.
bool ReadAt(FILE* file, int64_t offset, unsigned char* bytes, size_t count) {
#if defined(_WIN32)
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    while (count > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset));
        at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
        const auto asked = static_cast<DWORD>(std::min<size_t>(count, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(handle, bytes, asked, &got, &at) || got == 0) {
            return false;
        }
        bytes += got;
        offset += got;
        count -= got;
    }
    return true;
#else
    const int descriptor = fileno(file);
    while (count > 0) {
        const ssize_t got = pread(descriptor, bytes, count, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        bytes += got;
        offset += got;
        count -= static_cast<size_t>(got);
    }
    return true;
#endif
}

// The numbers of one element in the file, and how they become `Out`.
template <class Out>
bool Suits(int32_t code) {
    if constexpr (std::is_same_v<Out, CVector3f>) {
        return code == PdcCodeVectorArray;
    } else if constexpr (std::is_same_v<Out, float>) {
        return code == PdcCodeDoubleArray;
    } else {
        return code == PdcCodeDoubleArray || code == PdcCodeIntegerArray;
    }
}

void Load(float* out, const unsigned char* in, size_t count, int32_t) {
    PdcByteOrder::LoadDoublesAsFloats(out, in, count);
}
void Load(CVector3f* out, const unsigned char* in, size_t count, int32_t) {
    PdcByteOrder::LoadDoublesAsFloats(reinterpret_cast<float*>(out), in, 3 * count);
}
void Load(int32_t* out, const unsigned char* in, size_t count, int32_t code) {
    if (code == PdcCodeIntegerArray) {
        PdcByteOrder::LoadInt32s(out, in, count);
    } else {
        PdcByteOrder::LoadDoublesAsLongs(out, in, count);
    }
}

template <class Out>
bool ReadSlice(FILE* file, const CPdcArrayPlace& place, uint32_t first, uint32_t count, Out* out) {
    const uint64_t held = place.count > 0 ? static_cast<uint64_t>(place.count) : 0;
    const auto inFile =
        static_cast<uint32_t>(first < held ? std::min<uint64_t>(count, held - first) : 0);
    std::fill(out + inFile, out + count, Out());
    if (inFile > 0 && (!place.Located() || !Suits<Out>(place.code))) {
        std::fill(out, out + inFile, Out());
        return false;
    }
    const int64_t width =
        place.code == PdcCodeIntegerArray ? 4 : (std::is_same_v<Out, CVector3f> ? 24 : 8);
    alignas(32) unsigned char chunk[ChunkBytes];
    const auto perChunk = static_cast<uint32_t>(ChunkBytes / static_cast<size_t>(width));
    for (uint32_t done = 0; done < inFile;) {
        const uint32_t run = std::min(perChunk, inFile - done);
        const int64_t at = place.offset + (int64_t{first} + done) * width;
        if (!ReadAt(file, at, chunk, static_cast<size_t>(run) * static_cast<size_t>(width))) {
            std::fill(out + done, out + inFile, Out());
            return false;
        }
        Load(out + done, chunk, run, place.code);
        done += run;
    }
    return true;
}

}  // namespace

bool PdcReadSlice(FILE* file, const CPdcArrayPlace& place, uint32_t first, uint32_t count,
                  float* out) {
    return ReadSlice(file, place, first, count, out);
}

bool PdcReadSlice(FILE* file, const CPdcArrayPlace& place, uint32_t first, uint32_t count,
                  int32_t* out) {
    return ReadSlice(file, place, first, count, out);
}

bool PdcReadSlice(FILE* file, const CPdcArrayPlace& place, uint32_t first, uint32_t count,
                  CVector3f* out) {
    return ReadSlice(file, place, first, count, out);
}
