// VelpoSetData: gives every point the values of the particle with its index
// in the frame's cache file. BeginEvaluate checks the file whole and reads
// its single values; each Evaluate call reads its subset's slice of each
// array record straight into the output (pdc/SliceReader.h), so no copy of
// the frame is built in memory.
#include <algorithm>
#include <memory>

#include "nodes/NodeSupport.h"
#include "nodes/Nodes.h"
#include "pdc/CacheFile.h"
#include "pdc/FileName.h"
#include "pdc/SliceReader.h"
#include "plugin/AttributeKinds.h"

using namespace XSI;

namespace {

// The state for the frame's file, fully read, or null. Logs why not where
// the user can act on it (no settings object, a file that is missing or
// cannot be read whole).
std::unique_ptr<CPdcUserData> ReadCache(ICENodeContext& context) {
    const ProjectItem settingsObject = FindSettingsObject(context, PortScop);
    if (!settingsObject.IsValid()) {
        LogError(L"VelpoSetData: Error, VelpoImportOperator not connected");
        return nullptr;
    }
    CNodeSettings settings;
    settings.path = ReadTextParameter(settingsObject, L"Path");
    if (settings.path.IsEmpty()) {
        return nullptr;
    }
    ReadStepAndNames(settingsObject, settings);
    const int32_t frame = ReadFirstLong(context, PortFrame);
    const CString fileName =
        GetFileName(settings.path, static_cast<uint32_t>(frame), settings.step);

    auto state = std::make_unique<CPdcUserData>();
    state->source.reset(OpenCacheFile(fileName.GetAsciiString(), "rb"));
    FILE* file = state->source.get();
    if (file == nullptr) {
        LogError(L"VelpoSetData: Cannot Read ", fileName);
        return nullptr;
    }
    state->pdc = std::make_unique<CPdc>();
    state->fileName = fileName;
    ApplySlotLayout(*state->pdc, settings);
    bool read = false;
    try {
        // Single values are read now; array records are read by the Evaluate
        // calls, each subset's slice straight into its output.
        read = state->pdc->header.FRead(file) && state->pdc->LocateParticles(file, state->places);
    } catch (...) {
        // The file layer bounds every allocation by the file's size, so this
        // is a file larger than the memory left: it cannot be read.
        read = false;
    }
    if (!read) {
        // A damaged file must not pass for a cache of zeros.
        LogError(L"VelpoSetData: Cannot Read ", fileName);
        return nullptr;
    }
    return state;
}

// The output of one port for the current subset, every point the same
// value: the single value of a slot that no array record filled, or zero.
template <class Output>
void FillWithOne(ICENodeContext& context, int32_t dataType, const Output& value) {
    CBoundArray<Output> output;
    output.BindOutput(context, dataType);
    const CBoundIndexSet set(context);
    const uint32_t count = std::min(set.Count(), output.GetCount());
    if (count > 0) {
        std::fill(&output[0], &output[0] + count, value);
    }
}

// The output of one port for the current subset read from the slot's array
// record in the file; zero where it fails, which EndEvaluate reports.
template <class Output>
void ReadIntoOutput(ICENodeContext& context, int32_t dataType, CPdcUserData& state,
                    const CPdcArrayPlace& place) {
    CBoundArray<Output> output;
    output.BindOutput(context, dataType);
    const CBoundIndexSet set(context);
    const uint32_t count = std::min(set.Count(), output.GetCount());
    if (count > 0 && !PdcReadSlice(state.source.get(), place, set.Offset(), count, &output[0])) {
        state.readFailed = true;
    }
}

// The output for a slot holding `slotType` values (the port's kind: an
// unnamed slot has no type of its own and still gives zeros of the port's).
void FillFromSlot(ICENodeContext& context, int32_t slotType, CPdcUserData& state, int32_t index) {
    const CAttribute& slot = state.pdc->attributes[index];
    const CPdcArrayPlace& place = state.places[index];
    if (place.Located()) {
        switch (slotType) {
            case PdcTypeFloat:
                ReadIntoOutput<float>(context, siICENodeDataFloat, state, place);
                return;
            case PdcTypeLong:
                ReadIntoOutput<int32_t>(context, siICENodeDataLong, state, place);
                return;
            default:
                ReadIntoOutput<MATH::CVector3f>(context, siICENodeDataVector3, state, place);
                return;
        }
    }
    // Element 0 is the single value, or the zero of a slot without one.
    switch (slotType) {
        case PdcTypeFloat: {
            float value = 0;
            slot.GetFloat(0, value);
            FillWithOne(context, siICENodeDataFloat, value);
            return;
        }
        case PdcTypeLong: {
            int32_t value = 0;
            slot.GetLong(0, value);
            FillWithOne(context, siICENodeDataLong, value);
            return;
        }
        default: {
            MATH::CVector3 value;
            slot.GetVector(0, value);
            FillWithOne(
                context, siICENodeDataVector3,
                MATH::CVector3f(static_cast<float>(value.GetX()), static_cast<float>(value.GetY()),
                                static_cast<float>(value.GetZ())));
            return;
        }
    }
}

void Evaluate(ICENodeContext& context) {
    const uint32_t outputPortID = context.GetEvaluatedOutputPortID();
    CPdcUserData* state = GetPdcUserData(context);
    if (state == nullptr) {
        return;
    }
    // The per-point input only gives the node its element set.
    CBoundArray<MATH::CVector3f> inPosition;
    inPosition.BindInput(context, siICENodeDataVector3, PortInPosition);

    if (outputPortID == PortPosition) {
        FillFromSlot(context, PdcTypeVector, *state, PdcPositionSlot);
    } else if (outputPortID == PortId) {
        FillFromSlot(context, PdcTypeLong, *state, PdcIdSlot);
    } else if (const CAttributeKind* kind = FindKindOfPort(outputPortID)) {
        const int32_t index = kind->IndexOfPort(outputPortID);
        FillFromSlot(context, kind->slotType, *state, kind->Slot(index));
    }
}

}  // namespace

CStatus VelpoSetData_BeginEvaluate(ICENodeContext& context) {
    std::unique_ptr<CPdcUserData> state;
    try {
        state = ReadCache(context);
    } catch (...) {
        state.reset();
    }
    PutPdcUserData(context, state.release());
    return CStatus::OK;
}

CStatus VelpoSetData_Evaluate(ICENodeContext& context) {
    return Guarded(Evaluate, context);
}

CStatus VelpoSetData_EndEvaluate(ICENodeContext& context) {
    const std::unique_ptr<CPdcUserData> state(GetPdcUserData(context));
    PutPdcUserData(context, nullptr);
    // A file that was whole when the evaluation began but could not be read
    // later (cut short by another program meanwhile, or a failing disk): its
    // points got zeros, which must not pass for the cache.
    if (state && state->readFailed) {
        LogError(L"VelpoSetData: Cannot Read ", state->fileName);
    }
    return CStatus::OK;
}
