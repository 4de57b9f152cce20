// Array records read slice by slice where they lie in the file, as the
// SetData node hands values to each subset of points: no copy of the frame
// is built in memory, and each value is read once, straight into the
// caller's output.
//
//   CPdcArrayPlace places[PdcSlotCount];
//   pdc.header.FRead(file) && pdc.LocateParticles(file, places);
//   PdcReadSlice(file, places[PdcPositionSlot], first, count, positions);   // any thread
//
// Values arrive as the slot's accessors give them after ReadParticles:
// doubles narrowed to float for a Float slot and for each component of a
// Vector slot; int32 numbers as they are, or doubles converted as
// CAttribute converts them, for a Long slot.
#pragma once

#include <cstdint>
#include <cstdio>

#include "host/sdk/Math.h"
#include "pdc/Pdc.h"

// Elements [first, first + count) of the record at `place` into `out`;
// elements past the record's count are zero (all of them for a place that
// no record filled). The reads are positional (the
// stream's position does not move, and several threads may read one stream
// at once). False, with `out` zero from the first element not read, when
// the file cannot be read there (it shrank since it was walked, or the
// system failed) or the record's code does not suit the output (floats
// from an array of doubles, int32 numbers from integers or doubles,
// vectors from an array of vectors).
bool PdcReadSlice(FILE* file, const CPdcArrayPlace& place, uint32_t first, uint32_t count,
                  float* out);
bool PdcReadSlice(FILE* file, const CPdcArrayPlace& place, uint32_t first, uint32_t count,
                  int32_t* out);
bool PdcReadSlice(FILE* file, const CPdcArrayPlace& place, uint32_t first, uint32_t count,
                  XSI::MATH::CVector3f* out);
