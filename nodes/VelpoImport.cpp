// VelpoImport: an element generator that makes as many elements as the
// frame's cache file holds particles. Only the file's header is read.
#include <algorithm>
#include <memory>

#include "nodes/NodeSupport.h"
#include "nodes/Nodes.h"
#include "pdc/CacheFile.h"
#include "pdc/FileName.h"
#include "plugin/Ports.h"

using namespace XSI;

namespace {

uint32_t CountParticles(ICENodeContext& context) {
    const ProjectItem settingsObject = FindSettingsObject(context, PortImportScop);
    if (!settingsObject.IsValid()) {
        LogError(L"VelpoImport: Error, VelpoOperator not connected");
        return 0;
    }
    const CString path = ReadTextParameter(settingsObject, L"Path");
    if (path.IsEmpty()) {
        return 0;
    }
    const int32_t step = ReadIntegerParameter(settingsObject, L"Step");
    const int32_t frame = ReadFirstLong(context, PortFrame);
    const CString fileName = GetFileName(path, static_cast<uint32_t>(frame), step);

    const CFilePointer opened(OpenCacheFile(fileName.GetAsciiString(), "rb"));
    FILE* file = opened.get();
    if (file == nullptr) {
        LogError(L"VelpoImport: Cannot Read ", fileName);
        return 0;
    }
    auto pdc = std::make_unique<CPdc>();
    // A file too short to hold particleCount leaves this zero: such a file
    // holds no particles. A header cut after particleCount still counts, as
    // it always has, but the cut is reported: the file is damaged.
    pdc->header.particleCount = 0;
    if (!pdc->header.FRead(file)) {
        LogError(L"VelpoImport: Cannot Read ", fileName);
    }
    // A negative count would reach the host as a huge unsigned one.
    return static_cast<uint32_t>(std::max(pdc->header.particleCount, 0));
}

// The element count, as the NumberOfElements output; Position has no values.
void Evaluate(ICENodeContext& context) {
    if (context.GetEvaluatedOutputPortID() == PortNumberOfElements) {
        CBoundArray<int32_t> output;
        output.BindOutput(context, siICENodeDataLong);
        output[0] = static_cast<int32_t>(context.GetNumberOfElementsToProcess());
    }
}

}  // namespace

CStatus VelpoImport_BeginEvaluate(ICENodeContext& context) {
    uint32_t count = 0;
    try {
        count = CountParticles(context);
    } catch (...) {
        count = 0;
    }
    context.PutNumberOfElementsToProcess(count);
    return CStatus::OK;
}

CStatus VelpoImport_Evaluate(ICENodeContext& context) {
    return Guarded(Evaluate, context);
}

CStatus VelpoImport_EndEvaluate(ICENodeContext&) {
    return CStatus::OK;
}
