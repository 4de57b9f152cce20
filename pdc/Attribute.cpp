#include <cstring>
#include <limits>

#include "pdc/ByteOrder.h"
#include "pdc/Chunks.h"
#include "pdc/FirstTouch.h"
#include "pdc/Pdc.h"
#include "pdc/RecordWriter.h"

// Narrowing a double read from a file to float must be defined for every
// value: IEEE 754 rounds out-of-range values to infinity.
static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559);

using PdcByteOrder::DoubleBytes;
using PdcByteOrder::Int32Bytes;

namespace {

constexpr size_t VectorDoubles = 3;

// Element 0 of a single-valued attribute; an attribute whose array was
// emptied (by an array record with no particles) gets one element back, so
// no read or write ever passes its end.
template <class Array>
void EnsureFirstElement(Array& values) {
    if (values.GetCount() < 1) {
        values.Resize(1);
    }
}

template <class T, class Array>
T FirstOrZero(const Array& values) {
    return values.GetCount() > 0 ? values[0] : T{};
}

// The elements to move: all of them for an array, element 0 otherwise.
template <class Array>
size_t ElementCount(const Array& values, bool array) {
    return array ? static_cast<size_t>(values.GetCount()) : 1;
}

// A vector array as the run of doubles it is: CVector3 is three doubles
// without padding. The conversions move bytes, never dereferencing these
// pointers as doubles.
double* AsDoubles(XSI::MATH::CVector3* vectors) {
    return reinterpret_cast<double*>(vectors);
}

const double* AsDoubles(const XSI::MATH::CVector3* vectors) {
    return reinterpret_cast<const double*>(vectors);
}

// Reads `count` numbers of `width` bytes into `out` through a scratch run
// and `load(out + first, bytes, run)`. On a short read the numbers that
// arrived whole are stored and the others stay as they were.
template <class T, class Load>
bool ReadConverted(FILE* file, T* out, size_t count, size_t width, Load load) {
    return PdcChunks::ReadValues(
        file, width, count,
        [&](const unsigned char* in, size_t first, size_t run) { load(out + first, in, run); });
}

// Reads `count` doubles narrowed to 4-byte values (floats, or int32
// numbers) into `out` without scratch memory: each run of doubles lands in
// `out` itself, starting where its results go, and is converted front to
// back, so no result overwrites a double not yet converted. A run takes at
// most half of what is left of the array; the last few values go through a
// small buffer. For memory sized for overwrite: on a short read the values
// read whole are stored and the rest become zero.
template <class T, class Load>
bool ReadNarrowing(FILE* file, T* out, size_t count, Load load) {
    static_assert(sizeof(T) * 2 == DoubleBytes);
    constexpr size_t SmallRun = 64;
    const size_t largestRun = PdcChunks::MaxChunkBytes / DoubleBytes;
    auto* bytes = reinterpret_cast<unsigned char*>(out);
    unsigned char small[SmallRun * DoubleBytes];
    size_t done = 0;
    while (file && done < count) {
        const size_t left = count - done;
        size_t run = std::min(left, SmallRun);
        unsigned char* landing = small;
        if (left >= 2 * SmallRun) {
            run = std::min(largestRun, left / 2);
            landing = bytes + sizeof(T) * done;
        }
        const size_t got = std::fread(landing, 1, DoubleBytes * run, file);
        load(out + done, landing, got / DoubleBytes);
        done += got / DoubleBytes;
        if (got != DoubleBytes * run) {
            break;
        }
    }
    if (done < count) {
        std::memset(bytes + sizeof(T) * done, 0, sizeof(T) * (count - done));
        return false;
    }
    return true;
}

template <class Array, class T>
bool GetElement(const CRelaxedBool& isArray, const Array& values, int32_t index, T& value) {
    if (!isArray) {
        index = 0;
    }
    if (index < 0 || index >= values.GetCount()) {
        return false;
    }
    value = values[index];
    return true;
}

// Sizes `values` for overwrite and lets the system back a large array with
// large pages before the first write touches it.
template <class Array>
void SizeForOverwrite(Array& values, int32_t count) {
    values.ResizeForOverwrite(count);
    PdcFirstTouch::PrepareLargeArray(values.GetArray(),
                                     static_cast<size_t>(count) * sizeof(*values.GetArray()));
}

}  // namespace

CAttribute::CAttribute() : floatValues(1), longValues(1), vectorValues(1) {}

void CAttribute::Set(const XSI::CString& attributeName, int32_t attributeType) {
    name = attributeName;
    type = attributeType;
}

void CAttribute::Resize(int32_t count) {
    if (count < 0) {
        return;
    }
    switch (type) {
        case PdcTypeFloat:
            floatValues.Resize(count);
            break;
        case PdcTypeLong:
            longValues.Resize(count);
            break;
        case PdcTypeVector:
            vectorValues.Resize(count);
            break;
        default:
            break;
    }
}

void CAttribute::ResizeForOverwrite(int32_t count) {
    if (count < 0) {
        return;
    }
    switch (type) {
        case PdcTypeFloat:
            SizeForOverwrite(floatValues, count);
            break;
        case PdcTypeLong:
            SizeForOverwrite(longValues, count);
            break;
        case PdcTypeVector:
            SizeForOverwrite(vectorValues, count);
            break;
        default:
            break;
    }
}

bool CAttribute::FWrite(FILE* file) const {
    if (!file) {
        return false;
    }
    CPdcWriter writer(file);
    return Write(writer) && writer.Flush();
}

bool CAttribute::Write(CPdcWriter& writer) const {
    if (type < PdcTypeFloat || type > PdcTypeVector) {
        return false;
    }
    const bool array = isArray;
    int32_t code;
    int32_t count = 1;
    if (type == PdcTypeVector) {
        code = array ? PdcCodeVectorArray : PdcCodeVector;
        count = array ? vectorValues.GetCount() : 1;
    } else {
        code = array ? PdcCodeDoubleArray : PdcCodeDouble;
        if (array) {
            count = type == PdcTypeFloat ? floatValues.GetCount() : longValues.GetCount();
        }
    }
    // The length written is the byte count of the narrow form actually
    // written, which differs from the character count for non-ASCII names.
    if (!writer.BeginRecord(name.GetAsciiString(), code, count)) {
        return false;
    }
    bool written;
    if (type == PdcTypeFloat) {
        const float value = FirstOrZero<float>(floatValues);
        written = writer.AppendFloats(array ? floatValues.GetArray() : &value,
                                      static_cast<size_t>(count));
    } else if (type == PdcTypeLong) {
        const int32_t value = FirstOrZero<int32_t>(longValues);
        written =
            writer.AppendInt32s(array ? longValues.GetArray() : &value, static_cast<size_t>(count));
    } else {
        const auto value = FirstOrZero<XSI::MATH::CVector3>(vectorValues);
        written = writer.AppendDoubles(AsDoubles(array ? vectorValues.GetArray() : &value),
                                       VectorDoubles * static_cast<size_t>(count));
    }
    return written && writer.EndRecord();
}

bool CAttribute::FRead(FILE* file, bool fileHoldsIntegers) {
    if (!file) {
        return false;
    }
    const bool array = isArray;
    switch (type) {
        case PdcTypeFloat:
            if (!array) {
                EnsureFirstElement(floatValues);
            }
            return ReadConverted(file, floatValues.GetArray(), ElementCount(floatValues, array),
                                 DoubleBytes, PdcByteOrder::LoadDoublesAsFloats);
        case PdcTypeLong: {
            if (!array) {
                EnsureFirstElement(longValues);
            }
            const size_t count = ElementCount(longValues, array);
            if (fileHoldsIntegers) {
                return ReadConverted(file, longValues.GetArray(), count, Int32Bytes,
                                     PdcByteOrder::LoadInt32s);
            }
            return ReadConverted(file, longValues.GetArray(), count, DoubleBytes,
                                 PdcByteOrder::LoadDoublesAsLongs);
        }
        case PdcTypeVector:
            if (!array) {
                EnsureFirstElement(vectorValues);
            }
            return ReadConverted(file, AsDoubles(vectorValues.GetArray()),
                                 VectorDoubles * ElementCount(vectorValues, array), DoubleBytes,
                                 PdcByteOrder::LoadDoubles);
        default:
            return true;
    }
}

bool CAttribute::FReadArray(FILE* file, bool fileHoldsIntegers, int32_t count) {
    isArray = true;
    if (count < 0) {
        return false;
    }
    ResizeForOverwrite(count);
    const size_t n = static_cast<size_t>(count);
    switch (type) {
        case PdcTypeFloat:
            return ReadNarrowing(file, floatValues.GetArray(), n,
                                 PdcByteOrder::LoadDoublesAsFloats);
        case PdcTypeLong:
            if (fileHoldsIntegers) {
                return PdcChunks::ReadInPlace(file,
                                              reinterpret_cast<uint32_t*>(longValues.GetArray()), n,
                                              PdcByteOrder::LoadUInt32sInPlace);
            }
            return ReadNarrowing(file, longValues.GetArray(), n, PdcByteOrder::LoadDoublesAsLongs);
        case PdcTypeVector:
            return PdcChunks::ReadInPlace(file,
                                          reinterpret_cast<uint64_t*>(vectorValues.GetArray()),
                                          VectorDoubles * n, PdcByteOrder::LoadUInt64sInPlace);
        default:
            return true;
    }
}

bool CAttribute::GetFloat(int32_t index, float& value) const {
    return GetElement(isArray, floatValues, index, value);
}

bool CAttribute::GetLong(int32_t index, int32_t& value) const {
    return GetElement(isArray, longValues, index, value);
}

bool CAttribute::GetVector(int32_t index, XSI::MATH::CVector3& value) const {
    return GetElement(isArray, vectorValues, index, value);
}
