// VelpoExport: writes the points of one evaluation as the frame's cache
// file, each subset's values straight to their place in the file as the
// host hands them over (pdc/SliceWriter.h).
//
// The file goes through the file layer's safe write (pdc/SafeWriteAt.h): a
// failed write never leaves a torn cache or destroys the one written before,
// and a cache that is a link, has several names or permissions of its own
// keeps them.
#include <algorithm>
#include <memory>
#include <string>

#include "nodes/NodeSupport.h"
#include "nodes/Nodes.h"
#include "pdc/FileName.h"
#include "pdc/SliceWriter.h"
#include "plugin/AttributeKinds.h"

using namespace XSI;

namespace {

constexpr const wchar_t* CannotWrite = L"VelpoExport: Cannot Write ";

// A port that delivers more than one value carries one value per element, so
// the slot is written in array form. Several Evaluate calls may do this at
// once; the flag only goes from false to true and is an atomic store.
template <class T>
void MarkArray(CAttribute& slot, const CBoundArray<T>& input) {
    if (input.GetCount() > 1 && !slot.isArray) {
        slot.isArray = true;
    }
}

// The elements of one Evaluate call: the subset [offset, offset + count)
// of the evaluation, and how many of them are particles of the file (Count
// smaller than the elements evaluated drops the rest).
struct CSubset {
    uint32_t offset = 0;
    uint32_t count = 0;
    uint32_t stored = 0;

    CSubset(const CBoundIndexSet& set, uint32_t particles)
        : offset(set.Offset()), count(set.Count()) {
        stored = offset < particles ? std::min(count, particles - offset) : 0;
    }
};

// Writes the subset's values of one input to its slot's record: element i
// of a per-element input; its one value for every element of a constant.
// Elements an input holds no data for (past the end of a short one, or all
// of them) are left as the file has them, zero. Every call writes only the
// elements of its own subset, so concurrent calls never meet. Slots that
// are not written to the file take nothing.
template <class T>
void StoreInput(const CSubset& subset, const CBoundArray<T>& input, int32_t slot,
                CPdcSliceWriter& file) {
    const uint32_t held = input.GetCount();
    if (subset.stored == 0 || held == 0) {
        return;
    }
    if (held == 1) {
        file.Fill(slot, subset.offset, input[0], subset.stored);
    } else {
        file.Write(slot, subset.offset, &input[0], std::min(subset.stored, held));
    }
}

// The Position output is the input position, element for element: a
// constant's one value for all of them, zero past the end of a short input.
void PassPositionThrough(const CBoundArray<MATH::CVector3f>& position,
                         CBoundArray<MATH::CVector3f>& output, uint32_t elements) {
    const uint32_t n = std::min(elements, output.GetCount());
    if (n == 0) {
        return;
    }
    MATH::CVector3f* out = &output[0];
    const uint32_t held = position.GetCount();
    if (held == 1) {
        std::fill(out, out + n, position[0]);
        return;
    }
    const uint32_t copied = std::min(n, held);
    if (copied > 0) {
        std::copy(&position[0], &position[0] + copied, out);
    }
    std::fill(out + copied, out + n, MATH::CVector3f());
}

// The numbered inputs of one kind (T: float, int32_t or CVector3f, as its
// data type says), bound for one Evaluate call and stored into their slots.
template <class T, const CAttributeKind& Kind>
class CNumberedInputs {
public:
    CNumberedInputs(ICENodeContext& context, CAttribute* slots) {
        for (int32_t i = 0; i < Kind.count; ++i) {
            inputs_[i].BindInput(context, Kind.dataType, Kind.Port(i));
            MarkArray(slots[Kind.Slot(i)], inputs_[i]);
        }
    }

    void Store(const CSubset& subset, CPdcSliceWriter& file) const {
        for (int32_t i = 0; i < Kind.count; ++i) {
            StoreInput(subset, inputs_[i], Kind.Slot(i), file);
        }
    }

private:
    CBoundArray<T> inputs_[Kind.count];
};

}  // namespace

CStatus VelpoExport_BeginEvaluate(ICENodeContext& context) {
    CNodeSettings settings;
    int32_t frame = 0;
    try {
        const ProjectItem settingsObject = FindSettingsObject(context, PortScop);
        if (!settingsObject.IsValid()) {
            LogError(L"VelpoExport: Error, VelpoExportOperator not connected");
            PutPdcUserData(context, nullptr);
            return CStatus::OK;
        }
        settings.path = ReadTextParameter(settingsObject, L"Path");
        if (settings.path.IsEmpty()) {
            PutPdcUserData(context, nullptr);
            return CStatus::OK;
        }
        ReadStepAndNames(settingsObject, settings);
        frame = ReadFirstLong(context, PortFrame);
        // A negative count would size nothing sensibly; it means no particles.
        const int32_t count = std::max(ReadFirstLong(context, PortCount), 0);

        auto state = std::make_unique<CPdcUserData>();
        state->pdc = std::make_unique<CPdc>();
        state->count = static_cast<uint32_t>(count);
        state->fileName = GetFileName(settings.path, static_cast<uint32_t>(frame), settings.step);
        ApplySlotLayout(*state->pdc, settings);
        // The Evaluate calls write their subsets straight into the file; a
        // target that cannot be written leaves no file writer, and
        // EndEvaluate says so.
        state->file = std::make_unique<CPdcSliceWriter>(*state->pdc, count);
        std::string reason;
        if (!state->file->Begin(state->fileName.GetAsciiString(), reason)) {
            state->file.reset();
        }
        PutPdcUserData(context, state.release());
    } catch (...) {
        // Only running out of memory gets here: no state, so no file is
        // written this evaluation.
        PutPdcUserData(context, nullptr);
        try {
            LogError(CannotWrite,
                     GetFileName(settings.path, static_cast<uint32_t>(frame), settings.step));
        } catch (...) {
            LogError(CannotWrite, settings.path);
        }
    }
    return CStatus::OK;
}

namespace {

void Evaluate(ICENodeContext& context) {
    const uint32_t outputPortID = context.GetEvaluatedOutputPortID();
    CPdcUserData* state = GetPdcUserData(context);
    if (state == nullptr) {
        return;
    }
    CAttribute* slots = state->pdc->attributes;

    CBoundArray<int32_t> id;
    id.BindInput(context, siICENodeDataLong, PortId);
    MarkArray(slots[PdcIdSlot], id);

    CBoundArray<MATH::CVector3f> position;
    position.BindInput(context, siICENodeDataVector3, PortInPosition);
    MarkArray(slots[PdcPositionSlot], position);

    const CNumberedInputs<float, FloatKind> floats(context, slots);
    const CNumberedInputs<int32_t, LongKind> longs(context, slots);
    const CNumberedInputs<MATH::CVector3f, VectorKind> vectors(context, slots);

    if (outputPortID != PortPosition) {
        return;
    }
    CBoundArray<MATH::CVector3f> output;
    output.BindOutput(context, siICENodeDataVector3);
    const CBoundIndexSet set(context);

    // Slot by slot rather than point by point: each pass streams through one
    // input and one stretch of the file.
    if (state->file) {
        const CSubset subset(set, state->count);
        CPdcSliceWriter& file = *state->file;
        StoreInput(subset, id, PdcIdSlot, file);
        StoreInput(subset, position, PdcPositionSlot, file);
        floats.Store(subset, file);
        longs.Store(subset, file);
        vectors.Store(subset, file);
    }
    PassPositionThrough(position, output, set.Count());
}

}  // namespace

CStatus VelpoExport_Evaluate(ICENodeContext& context) {
    return Guarded(Evaluate, context);
}

CStatus VelpoExport_EndEvaluate(ICENodeContext& context) {
    std::unique_ptr<CPdcUserData> state(GetPdcUserData(context));
    PutPdcUserData(context, nullptr);
    if (!state) {
        LogError(L"VelpoExport: Cannot Read User Data");
        return CStatus::OK;
    }
    try {
        std::string reason;
        if (!state->file || !state->file->Finish(*state->pdc, CDurability::Process, reason)) {
            LogError(CannotWrite, state->fileName);
        }
    } catch (...) {
        LogError(CannotWrite, state->fileName);
    }
    return CStatus::OK;
}
