// Evaluations of the nodes as the tests run and judge them: the outputs in
// their C++ types, whether an evaluation ran cleanly, and an export node
// fed values that follow from a seed.
#pragma once

#include <cstdint>
#include <vector>

#include "host/runtime/Evaluation.h"
#include "host/runtime/NodeInstance.h"
#include "host/sdk/Math.h"

namespace VelpoTestSupport {

// The outputs of one port (std::out_of_range when the port was not
// evaluated, std::bad_variant_access when it has another type).
const std::vector<float>& Floats(const VelpoHost::CEvaluationResult& result, uint32_t port);
const std::vector<int32_t>& Longs(const VelpoHost::CEvaluationResult& result, uint32_t port);
const std::vector<XSI::MATH::CVector3f>& Vectors(const VelpoHost::CEvaluationResult& result,
                                                 uint32_t port);

// Options that split an evaluation into subsets of `subsetSize` elements,
// evaluated on `threads` threads.
VelpoHost::CEvaluateOptions Split(uint32_t subsetSize, uint32_t threads);

// A result that ran cleanly: every callback OK, nothing left acquired, and
// every element of every output a callback acquired written.
bool Clean(const VelpoHost::CEvaluationResult& result);

// An output no callback acquired: every element still holds the runtime's
// fill pattern.
bool Untouched(const VelpoHost::CEvaluationResult& result, uint32_t port);

// A VelpoExport of `points` points at `frame`, `points` for Count, reading
// its settings from `scop`: point p at (seed + p, seed, -seed) and, when
// `withFloats`, seed * p on all ten Float ports. Different seeds give files
// of the same size and different bytes.
VelpoHost::CNodeInstance SeededExport(uint32_t scop, int32_t frame, uint32_t points, float seed,
                                      bool withFloats);

}  // namespace VelpoTestSupport
