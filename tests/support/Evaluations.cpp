#include "tests/support/Evaluations.h"

#include <variant>

#include "plugin/AttributeKinds.h"
#include "tests/support/HostSetup.h"

namespace VelpoTestSupport {

using VelpoHost::CEvaluationResult;
using VelpoHost::CInput;

const std::vector<float>& Floats(const CEvaluationResult& result, uint32_t port) {
    return std::get<std::vector<float>>(result.outputs.at(port));
}

const std::vector<int32_t>& Longs(const CEvaluationResult& result, uint32_t port) {
    return std::get<std::vector<int32_t>>(result.outputs.at(port));
}

const std::vector<XSI::MATH::CVector3f>& Vectors(const CEvaluationResult& result, uint32_t port) {
    return std::get<std::vector<XSI::MATH::CVector3f>>(result.outputs.at(port));
}

VelpoHost::CEvaluateOptions Split(uint32_t subsetSize, uint32_t threads) {
    VelpoHost::CEvaluateOptions options;
    options.subsetSize = subsetSize;
    options.threads = threads;
    return options;
}

bool Clean(const CEvaluationResult& result) {
    for (uint32_t port : result.acquiredOutputs) {
        const auto values = result.outputs.find(port);
        if (values != result.outputs.end() && VelpoHost::UnwrittenCount(values->second) != 0) {
            return false;
        }
    }
    return result.status && result.failedCallbacks == 0 && result.unreleasedArrays == 0 &&
           result.unreleasedIndexSets == 0;
}

bool Untouched(const CEvaluationResult& result, uint32_t port) {
    const auto values = result.outputs.find(port);
    return values != result.outputs.end() && result.acquiredOutputs.count(port) == 0 &&
           VelpoHost::UnwrittenCount(values->second) ==
               std::visit([](const auto& items) { return items.size(); }, values->second);
}

VelpoHost::CNodeInstance SeededExport(uint32_t scop, int32_t frame, uint32_t points, float seed,
                                      bool withFloats) {
    VelpoHost::CNodeInstance node(Plugin(), "VelpoExport");
    node.Connect(PortScop, CInput::Constant(static_cast<int32_t>(scop)));
    node.Connect(PortFrame, CInput::Constant(frame));
    node.Connect(PortCount, CInput::Constant(static_cast<int32_t>(points)));
    std::vector<XSI::MATH::CVector3f> positions(points);
    std::vector<float> values(points);
    for (uint32_t p = 0; p < points; ++p) {
        positions[p] = {seed + static_cast<float>(p), seed, -seed};
        values[p] = seed * static_cast<float>(p);
    }
    node.Connect(PortInPosition, CInput::PerElement(positions));
    if (withFloats) {
        for (int32_t i = 0; i < FloatKind.count; ++i) {
            node.Connect(FloatKind.Port(i), CInput::PerElement(values));
        }
    }
    return node;
}

}  // namespace VelpoTestSupport
