#include <cstring>
#include <limits>

#include "pdc/ByteOrder.h"
#include "pdc/Chunks.h"
#include "pdc/Convert.h"
#include "pdc/Pdc.h"

// Narrowing a double read from a file to float must be defined for every
// value: IEEE 754 rounds out-of-range values to infinity.
static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559);

using PdcByteOrder::DoubleBytes;
using PdcByteOrder::Int32Bytes;
using PdcByteOrder::LoadDouble;
using PdcByteOrder::LoadInt32;
using PdcByteOrder::StoreDouble;
using PdcByteOrder::StoreInt32;

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

bool WriteDoubles(FILE* file, const double* values, size_t count) {
    return PdcChunks::WriteValues(file, DoubleBytes, count,
                                  [values](unsigned char* out, size_t first, size_t run) {
                                      PdcByteOrder::StoreDoubles(out, values + first, run);
                                  });
}

template <class T>
bool WriteAsDoubles(FILE* file, const T* values, size_t count) {
    return PdcChunks::WriteValues(
        file, DoubleBytes, count, [values](unsigned char* out, size_t first, size_t run) {
            for (size_t i = 0; i < run; ++i) {
                StoreDouble(out + DoubleBytes * i, static_cast<double>(values[first + i]));
            }
        });
}

// The vector array as a run of doubles: CVector3 is three doubles without
// padding, and its bytes are copied, never aliased.
bool WriteVectors(FILE* file, const XSI::MATH::CVector3* vectors, size_t count) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(vectors);
    return PdcChunks::WriteValues(file, DoubleBytes, count * VectorDoubles,
                                  [bytes](unsigned char* out, size_t first, size_t run) {
                                      const unsigned char* in = bytes + DoubleBytes * first;
                                      for (size_t i = 0; i < run; ++i) {
                                          double value;
                                          std::memcpy(&value, in + DoubleBytes * i, DoubleBytes);
                                          StoreDouble(out + DoubleBytes * i, value);
                                      }
                                  });
}

bool ReadVectors(FILE* file, XSI::MATH::CVector3* vectors, size_t count) {
    auto* bytes = reinterpret_cast<unsigned char*>(vectors);
    return PdcChunks::ReadValues(file, DoubleBytes, count * VectorDoubles,
                                 [bytes](const unsigned char* in, size_t first, size_t run) {
                                     // A local copy: stores through it may alias the capture.
                                     unsigned char* out = bytes + DoubleBytes * first;
                                     for (size_t i = 0; i < run; ++i) {
                                         const double value = LoadDouble(in + DoubleBytes * i);
                                         std::memcpy(out + DoubleBytes * i, &value, DoubleBytes);
                                     }
                                 });
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

bool CAttribute::FWrite(FILE* file) const {
    if (!file || type < PdcTypeFloat || type > PdcTypeVector) {
        return false;
    }
    // The length written is the byte count of the narrow form actually
    // written, which differs from the character count for non-ASCII names.
    const char* nameBytes = name.GetAsciiString();
    const size_t nameLength = std::strlen(nameBytes);
    if (nameLength > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
        return false;
    }
    const bool array = isArray;
    int32_t code;
    if (type == PdcTypeVector) {
        code = array ? PdcCodeVectorArray : PdcCodeVector;
    } else {
        code = array ? PdcCodeDoubleArray : PdcCodeDouble;
    }
    unsigned char lengthBytes[Int32Bytes], codeBytes[Int32Bytes];
    StoreInt32(lengthBytes, static_cast<int32_t>(nameLength));
    StoreInt32(codeBytes, code);
    if (std::fwrite(lengthBytes, 1, Int32Bytes, file) != Int32Bytes ||
        std::fwrite(nameBytes, 1, nameLength, file) != nameLength ||
        std::fwrite(codeBytes, 1, Int32Bytes, file) != Int32Bytes) {
        return false;
    }

    bool written;
    if (type == PdcTypeFloat) {
        if (array) {
            written = WriteAsDoubles(file, floatValues.GetArray(), ElementCount(floatValues, true));
        } else {
            const double value = FirstOrZero<float>(floatValues);
            written = WriteDoubles(file, &value, 1);
        }
    } else if (type == PdcTypeLong) {
        if (array) {
            written = WriteAsDoubles(file, longValues.GetArray(), ElementCount(longValues, true));
        } else {
            const double value = FirstOrZero<int32_t>(longValues);
            written = WriteDoubles(file, &value, 1);
        }
    } else {
        if (array) {
            written = WriteVectors(file, vectorValues.GetArray(), ElementCount(vectorValues, true));
        } else {
            const auto value = FirstOrZero<XSI::MATH::CVector3>(vectorValues);
            written = WriteVectors(file, &value, 1);
        }
    }
    return written && !std::ferror(file);
}

bool CAttribute::FRead(FILE* file, bool fileHoldsIntegers) {
    if (!file) {
        return false;
    }
    const bool array = isArray;
    switch (type) {
        case PdcTypeFloat: {
            if (!array) {
                EnsureFirstElement(floatValues);
            }
            float* out = floatValues.GetArray();
            return PdcChunks::ReadValues(
                file, DoubleBytes, ElementCount(floatValues, array),
                [out](const unsigned char* in, size_t first, size_t run) {
                    for (size_t i = 0; i < run; ++i) {
                        out[first + i] = static_cast<float>(LoadDouble(in + DoubleBytes * i));
                    }
                });
        }
        case PdcTypeLong: {
            if (!array) {
                EnsureFirstElement(longValues);
            }
            int32_t* out = longValues.GetArray();
            const size_t count = ElementCount(longValues, array);
            if (fileHoldsIntegers) {
                return PdcChunks::ReadValues(
                    file, Int32Bytes, count,
                    [out](const unsigned char* in, size_t first, size_t run) {
                        for (size_t i = 0; i < run; ++i) {
                            out[first + i] = LoadInt32(in + Int32Bytes * i);
                        }
                    });
            }
            return PdcChunks::ReadValues(
                file, DoubleBytes, count, [out](const unsigned char* in, size_t first, size_t run) {
                    for (size_t i = 0; i < run; ++i) {
                        out[first + i] = PdcDoubleToLong(LoadDouble(in + DoubleBytes * i));
                    }
                });
        }
        case PdcTypeVector:
            if (!array) {
                EnsureFirstElement(vectorValues);
            }
            return ReadVectors(file, vectorValues.GetArray(), ElementCount(vectorValues, array));
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
