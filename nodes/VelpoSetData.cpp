// VelpoSetData: reads the frame's cache file once per evaluation and gives
// every point the values of the particle with its index.
#include <algorithm>
#include <memory>

#include "nodes/NodeSupport.h"
#include "nodes/Nodes.h"
#include "pdc/CacheFile.h"
#include "pdc/FileName.h"
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

    FILE* file = OpenCacheFile(fileName.GetAsciiString(), "rb");
    if (file == nullptr) {
        LogError(L"VelpoSetData: Cannot Read ", fileName);
        return nullptr;
    }
    const CFileCloser closer(file);
    auto state = std::make_unique<CPdcUserData>();
    state->pdc = std::make_unique<CPdc>();
    state->path = fileName;
    state->step = settings.step;
    state->frame = frame;
    ApplySlotLayout(*state->pdc, settings);
    bool read = false;
    try {
        read = state->pdc->header.FRead(file) && state->pdc->ReadParticles(file);
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

float AsFloat(float value) {
    return value;
}

int32_t AsLong(int32_t value) {
    return value;
}

MATH::CVector3f AsVector(const MATH::CVector3& value) {
    return MATH::CVector3f(static_cast<float>(value.GetX()), static_cast<float>(value.GetY()),
                           static_cast<float>(value.GetZ()));
}

// Fills the output of one port for the current subset from one slot, point
// by point through the slot's accessor. A point the slot has no value for
// (an array slot with fewer particles than points) gets zero, whatever the
// subsets: the result must not depend on how the host splits the work.
template <class Output, class Value, class Read, class Convert>
void FillPerPoint(CBoundArray<Output>& output, const CBoundIndexSet& set, const CAttribute& slot,
                  Read read, Convert convert) {
    for (CIndexSet::Iterator it = set.Begin(); it.HasNext(); it.Next()) {
        // Past 2^31 - 1 the index turns negative, and a negative index finds
        // no element of an array slot, which is right.
        const int32_t absolute = static_cast<int32_t>(it.GetAbsoluteIndex());
        // A fresh zero per point: a failed read leaves it untouched.
        Value value{};
        (slot.*read)(absolute, value);
        output[it.GetIndex()] = convert(value);
    }
}

// A run of values copied as they are.
template <class T>
void CopyRun(T* out, const T* in, uint32_t n) {
    std::copy(in, in + n, out);
}

// A run of vectors narrowed to float, as one run of numbers (both vector
// types are their three numbers without padding), which the compiler turns
// into wide conversions.
void NarrowVectorRun(MATH::CVector3f* out, const MATH::CVector3* in, uint32_t n) {
    static_assert(sizeof(MATH::CVector3) == 3 * sizeof(double) &&
                  sizeof(MATH::CVector3f) == 3 * sizeof(float));
    const auto* from = reinterpret_cast<const double*>(in);
    auto* to = reinterpret_cast<float*>(out);
    for (size_t i = 0; i < 3 * size_t{n}; ++i) {
        to[i] = static_cast<float>(from[i]);
    }
}

// The same result as FillPerPoint in one run, for an array slot that holds
// a value for every point of the subset: the usual case, where points and
// particles correspond one to one.
template <class Output, class Value, class Read, class Convert>
void FillOutput(ICENodeContext& context, int32_t dataType, const CAttribute& slot,
                const Value* values, int32_t held, Read read, Convert convert,
                void (*run)(Output*, const Value*, uint32_t)) {
    CBoundArray<Output> output;
    output.BindOutput(context, dataType);
    const CBoundIndexSet set(context);
    const uint64_t end = uint64_t{set.Offset()} + set.Count();
    if (!slot.isArray || held < 0 || end > static_cast<uint64_t>(held) ||
        output.GetCount() < set.Count() || set.Count() == 0) {
        FillPerPoint<Output, Value>(output, set, slot, read, convert);
        return;
    }
    run(&output[0], values + set.Offset(), set.Count());
}

// The output for a slot holding `slotType` values (the port's kind: an
// unnamed slot has no type of its own and still gives zeros of the port's).
void FillFromSlot(ICENodeContext& context, int32_t slotType, const CAttribute& slot) {
    switch (slotType) {
        case PdcTypeFloat:
            FillOutput<float>(context, siICENodeDataFloat, slot, slot.floatValues.GetArray(),
                              slot.floatValues.GetCount(), &CAttribute::GetFloat, AsFloat,
                              CopyRun<float>);
            break;
        case PdcTypeLong:
            FillOutput<int32_t>(context, siICENodeDataLong, slot, slot.longValues.GetArray(),
                                slot.longValues.GetCount(), &CAttribute::GetLong, AsLong,
                                CopyRun<int32_t>);
            break;
        default:
            FillOutput<MATH::CVector3f>(context, siICENodeDataVector3, slot,
                                        slot.vectorValues.GetArray(), slot.vectorValues.GetCount(),
                                        &CAttribute::GetVector, AsVector, NarrowVectorRun);
            break;
    }
}

void Evaluate(ICENodeContext& context) {
    const uint32_t outputPortID = context.GetEvaluatedOutputPortID();
    const CPdcUserData* state = GetPdcUserData(context);
    if (state == nullptr) {
        return;
    }
    const CAttribute* slots = state->pdc->attributes;
    // The per-point input only gives the node its element set.
    CBoundArray<MATH::CVector3f> inPosition;
    inPosition.BindInput(context, siICENodeDataVector3, PortInPosition);

    if (outputPortID == PortPosition) {
        FillFromSlot(context, PdcTypeVector, slots[PdcPositionSlot]);
    } else if (outputPortID == PortId) {
        FillFromSlot(context, PdcTypeLong, slots[PdcIdSlot]);
    } else if (const CAttributeKind* kind = FindKindOfPort(outputPortID)) {
        const int32_t index = kind->IndexOfPort(outputPortID);
        FillFromSlot(context, kind->slotType, slots[kind->Slot(index)]);
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
    delete GetPdcUserData(context);
    PutPdcUserData(context, nullptr);
    return CStatus::OK;
}
