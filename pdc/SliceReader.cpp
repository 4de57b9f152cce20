#include "pdc/SliceReader.h"

#include <algorithm>
#include <type_traits>

#include "pdc/ByteOrder.h"
#include "pdc/PositionalIo.h"

using XSI::MATH::CVector3f;

// A vector's three floats are converted as one run of floats.
static_assert(sizeof(CVector3f) == 3 * sizeof(float) && std::is_standard_layout_v<CVector3f>);

namespace {

// Values are read through a buffer on the stack of this many bytes: a
// subset of a few thousand points in one or two reads, little for any
// thread's stack.
constexpr size_t ChunkBytes = 64 * 1024;

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
    if (inFile > 0 && (!place.Located() || !Suits<Out>(place.code))) {
        std::fill(out, out + count, Out());
        return false;
    }
    std::fill(out + inFile, out + count, Out());
    const int64_t width =
        place.code == PdcCodeIntegerArray ? 4 : (std::is_same_v<Out, CVector3f> ? 24 : 8);
    alignas(32) unsigned char chunk[ChunkBytes];
    const auto perChunk = static_cast<uint32_t>(ChunkBytes / static_cast<size_t>(width));
    for (uint32_t done = 0; done < inFile;) {
        const uint32_t run = std::min(perChunk, inFile - done);
        const int64_t at = place.offset + (int64_t{first} + done) * width;
        if (!PdcReadAt(file, static_cast<uint64_t>(at), chunk,
                       static_cast<size_t>(run) * static_cast<size_t>(width))) {
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
