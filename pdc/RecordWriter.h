// One record written from numbers in memory: the counterpart of the record
// walker, for writers whose values do not live in CPdc's slots (the Python
// module writes NumPy arrays through it).
//
//   PdcHeader::ForWriting(particleCount, 2).FWrite(file);
//   PdcWriteRecord(file, "position", PdcCodeVectorArray, xyz, 3 * particleCount);
//   PdcWriteRecord(file, "mass", PdcCodeDouble, &mass, 1);
//
// The numbers are in the machine's byte order and go out big-endian, in the
// runs of PdcChunks. A vector is three numbers, x, y, z. Errors: false, never
// a log or an exception; the stream stands wherever the failure left it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

// Doubles for codes 2 to 5, int32 numbers for codes 0 and 1. `numbers` is
// the count of numbers: 1 for code 0 or 2, 3 for code 4, any count for code
// 1 or 3 and a multiple of 3 for code 5 (the caller sizes an array record to
// the header's particle count). False, with nothing written, on a null
// stream, a code that does not match the overload or the count, or a name
// longer than 2^31 - 1 bytes; false when the stream reports an error.
bool PdcWriteRecord(FILE* file, std::string_view name, int32_t code, const double* values,
                    size_t numbers);
bool PdcWriteRecord(FILE* file, std::string_view name, int32_t code, const int32_t* values,
                    size_t numbers);
