// Inputs, options and results of one evaluation of a node instance.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "base/Result.h"
#include "host/sdk/Enums.h"
#include "host/sdk/Math.h"

namespace VelpoHost {

using Velpo::CResult;

// Values of one port: 32-bit integers (Long), floats (Float) or vectors
// (Vector3), by the port's data type.
using CValues =
    std::variant<std::vector<int32_t>, std::vector<float>, std::vector<XSI::MATH::CVector3f>>;

// Data type of a run of values: siICENodeDataLong, ...Float or ...Vector3.
int32_t DataTypeOf(const CValues& values);

// What every element of an output array holds before the callbacks run. Not
// zero, which is what a node that writes by mistake most often writes, so a
// test can tell an element a node wrote from one it left alone. Floats (and
// each component of a vector) hold a quiet NaN with a payload: compare their
// bits, since NaN never equals itself.
inline constexpr int32_t UnwrittenLong = 0x5A5A5A5A;
inline constexpr uint32_t UnwrittenFloatBits = 0x7FC5A5A5u;

// Elements of `values` that still hold the fill pattern (a vector counts when
// any of its components does).
uint32_t UnwrittenCount(const CValues& values);

// What is bound to an input port: one constant value, or one value per
// element (as many as the evaluation has elements).
struct CInput {
    CValues values;
    bool perElement = false;

    static CInput Constant(int32_t value) { return {std::vector<int32_t>{value}, false}; }
    static CInput Constant(float value) { return {std::vector<float>{value}, false}; }
    static CInput Constant(const XSI::MATH::CVector3f& value) {
        return {std::vector<XSI::MATH::CVector3f>{value}, false};
    }
    static CInput PerElement(CValues values) { return {std::move(values), true}; }
};

// One window of a windowed evaluation (CEvaluateOptions::window).
struct COutputWindow {
    uint32_t first = 0;  // the window's first element
    uint32_t count = 0;  // its elements
    // One entry per evaluated output port: `count` values for per-element
    // ports, one for singleton ports. Elements no callback wrote hold the
    // fill pattern.
    std::map<uint32_t, CValues> outputs;
    // Output ports whose array an Evaluate call has acquired so far.
    std::set<uint32_t> acquiredOutputs;
};

struct CEvaluateOptions {
    // Output ports to evaluate, in this order; empty: every output port of
    // the node, in order of registration.
    std::vector<uint32_t> outputs;
    // Elements per Evaluate call (at least 1).
    uint32_t subsetSize = 4096;
    // Threads that run Evaluate calls; 0: one per core.
    uint32_t threads = 0;
    // Element count of a node that is not an element generator. Unset: the
    // length of the per-element inputs (which must agree), or 1 if none.
    std::optional<uint32_t> elementCount;
    // Largest element count the evaluation accepts, whether given here or
    // set by an element generator: the outputs are allocated for every
    // element, so a count read from a damaged file must not size them.
    uint32_t maxElements = 1u << 26;
    // Outputs held for a window of elements at a time rather than for all of
    // them, so that a caller that consumes them in order needs memory for a
    // window only. With `elements` set (rounded up to whole subsets),
    // BeginEvaluate runs once, then the Evaluate calls of the first window,
    // then `receive` with its outputs, then the same for the next window in
    // the same arrays, and so on; then EndEvaluate. `receive` runs on the
    // evaluating thread; returning false stops the evaluation there (its
    // status then fails, and EndEvaluate still runs). The result then holds
    // no outputs; acquiredOutputs is filled as usual. With no elements there
    // is no window and no Evaluate call.
    struct CWindow {
        uint32_t elements = 0;  // 0: no windows, every element at once
        std::function<bool(const COutputWindow&)> receive;
    } window;
};

struct CEvaluationResult {
    // Failed when the evaluation could not run or was cut short: a bad
    // binding or a missing callback (then no callback ran), or an element
    // count the node set beyond the limit (then Evaluate was not called and
    // there are no outputs). The message says which.
    CResult status = CResult::Fail("the node was not evaluated");

    uint32_t elementCount = 0;
    // One entry per evaluated output port: elementCount values for
    // per-element ports, one for singleton ports. Elements no callback wrote
    // hold the fill pattern (UnwrittenLong, UnwrittenFloatBits).
    std::map<uint32_t, CValues> outputs;
    // Output ports whose array at least one Evaluate call acquired. A port
    // missing here was left untouched by every call.
    std::set<uint32_t> acquiredOutputs;

    // Callbacks that returned a status other than OK, and data arrays and
    // index sets that a callback acquired and had not released when it
    // returned. A sound plug-in leaves all three at zero.
    uint32_t failedCallbacks = 0;
    uint32_t unreleasedArrays = 0;
    uint32_t unreleasedIndexSets = 0;

    // Begin / Evaluate / End calls made.
    uint32_t beginCalls = 0;
    uint32_t evaluateCalls = 0;
    uint32_t endCalls = 0;
};

}  // namespace VelpoHost
