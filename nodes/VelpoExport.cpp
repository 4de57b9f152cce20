// VelpoExport: collects the points of one evaluation and writes them as the
// frame's cache file.
//
// The file goes through the file layer's safe write (pdc/SafeWrite.h): a
// failed write never leaves a torn cache or destroys the one written before,
// and a cache that is a link, has several names or permissions of its own
// keeps them.
#include <algorithm>
#include <memory>
#include <string>

#include "nodes/NodeSupport.h"
#include "nodes/Nodes.h"
#include "pdc/FileName.h"
#include "pdc/SafeWrite.h"
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
// of the evaluation, and how many of them lie inside the slot arrays (Count
// smaller than the elements evaluated drops the rest).
struct CSubset {
    uint32_t offset = 0;
    uint32_t count = 0;
    uint32_t stored = 0;

    CSubset(const CBoundIndexSet& set, uint32_t arraySize)
        : offset(set.Offset()), count(set.Count()) {
        stored = offset < arraySize ? std::min(count, arraySize - offset) : 0;
    }
};

// Copies `n` values of an input as the host serves them into `out`, one
// tight loop: element i of a per-element input; its one value for every
// element of a constant; zero for an input that holds no data (or past the
// end of a short one).
template <class Value, class Input, class Convert>
void CopyInput(const CBoundArray<Input>& input, Value* out, uint32_t n, Convert convert) {
    const uint32_t held = input.GetCount();
    if (held == 1) {
        std::fill(out, out + n, convert(input[0]));
        return;
    }
    const uint32_t copied = std::min(n, held);
    if (copied > 0) {
        const Input* in = &input[0];
        for (uint32_t i = 0; i < copied; ++i) {
            out[i] = convert(in[i]);
        }
    }
    std::fill(out + copied, out + n, convert(Input{}));
}

float AsFloat(float value) {
    return value;
}

int32_t AsLong(int32_t value) {
    return value;
}

MATH::CVector3 AsVector(const MATH::CVector3f& value) {
    return MATH::CVector3(value.GetX(), value.GetY(), value.GetZ());
}

// Stores the subset's values of one input into a slot's array at their
// absolute indices. Every call writes only the indices of its own subset,
// so concurrent calls never touch the same element. Unnamed slots are never
// written to the file and are skipped.
void StoreInput(const CSubset& subset, const CBoundArray<float>& input, CAttribute& slot) {
    if (slot.type == PdcTypeFloat && subset.stored > 0) {
        CopyInput(input, slot.floatValues.GetArray() + subset.offset, subset.stored, AsFloat);
    }
}

void StoreInput(const CSubset& subset, const CBoundArray<int32_t>& input, CAttribute& slot) {
    if (slot.type == PdcTypeLong && subset.stored > 0) {
        CopyInput(input, slot.longValues.GetArray() + subset.offset, subset.stored, AsLong);
    }
}

void StoreInput(const CSubset& subset, const CBoundArray<MATH::CVector3f>& input,
                CAttribute& slot) {
    if (slot.type == PdcTypeVector && subset.stored > 0) {
        CopyInput(input, slot.vectorValues.GetArray() + subset.offset, subset.stored, AsVector);
    }
}

// Elements that no Evaluate call stored get zero, in every named slot.
void ZeroUnstored(const CStoredElements& stored, CPdc& pdc) {
    stored.ForEachGap([&pdc](uint32_t first, uint32_t count) {
        for (CAttribute& slot : pdc.attributes) {
            if (slot.type == PdcTypeFloat) {
                std::fill_n(slot.floatValues.GetArray() + first, count, 0.0f);
            } else if (slot.type == PdcTypeLong) {
                std::fill_n(slot.longValues.GetArray() + first, count, 0);
            } else if (slot.type == PdcTypeVector) {
                std::fill_n(slot.vectorValues.GetArray() + first, count, MATH::CVector3());
            }
        }
    });
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

    void Store(const CSubset& subset, CAttribute* slots) const {
        for (int32_t i = 0; i < Kind.count; ++i) {
            StoreInput(subset, inputs_[i], slots[Kind.Slot(i)]);
        }
    }

private:
    CBoundArray<T> inputs_[Kind.count];
};

// Through the file layer's safe write: a failed write leaves the earlier
// cache as it was, and a cache that is a link, has several names or has
// permissions of its own stays so.
bool WriteCacheFile(const CPdc& pdc, const std::string& target) {
    std::string reason;
    return SafeWriteFile(
        target,
        [&pdc](FILE* file) {
            const int32_t attributeCount = pdc.NamedAttributeCount();
            const int32_t particleCount = pdc.PositionCount();
            const PdcHeader header = PdcHeader::ForWriting(particleCount, attributeCount);
            return header.FWrite(file) && pdc.FWriteAttributes(file);
        },
        reason);
}

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
        state->path = settings.path;
        state->step = settings.step;
        state->frame = frame;
        ApplySlotLayout(*state->pdc, settings);
        // The Evaluate calls' copies are the first to touch the arrays;
        // EndEvaluate zeroes what none of them stored.
        state->pdc->ResizeForOverwrite(count);
        state->stored = std::make_unique<CStoredElements>(static_cast<uint32_t>(count));
        PutPdcUserData(context, state.release());
    } catch (...) {
        // Only running out of memory for Count particles gets here: no state,
        // so no file is written this evaluation.
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
    // input and one array.
    const CSubset subset(set, state->stored->Count());
    StoreInput(subset, id, slots[PdcIdSlot]);
    StoreInput(subset, position, slots[PdcPositionSlot]);
    floats.Store(subset, slots);
    longs.Store(subset, slots);
    vectors.Store(subset, slots);
    state->stored->Mark(subset.offset, subset.stored);
    const uint32_t outputs = std::min(set.Count(), output.GetCount());
    if (outputs > 0) {
        CopyInput(position, &output[0], outputs, [](const MATH::CVector3f& v) { return v; });
    }
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
    CString fileName;
    try {
        ZeroUnstored(*state->stored, *state->pdc);
        fileName = GetFileName(state->path, static_cast<uint32_t>(state->frame), state->step);
        if (!WriteCacheFile(*state->pdc, fileName.GetAsciiString())) {
            LogError(CannotWrite, fileName);
        }
    } catch (...) {
        LogError(CannotWrite, fileName);
    }
    return CStatus::OK;
}
