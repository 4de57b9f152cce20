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

// Copies one input over the elements of the current subset into a slot's
// array at their absolute indices. Values past the array (Count smaller than
// the elements evaluated) are dropped. Every call writes only the indices of
// its own subset, so concurrent calls never touch the same element.
template <class Value, class Input, class Convert>
void StoreSubset(const CBoundIndexSet& set, const CBoundArray<Input>& input, Value* values,
                 int32_t size, Convert convert) {
    const uint32_t limit = size > 0 ? static_cast<uint32_t>(size) : 0;
    if (input.GetCount() == 1) {
        const Value value = convert(input[0]);
        for (CIndexSet::Iterator it = set.Begin(); it.HasNext(); it.Next()) {
            const uint32_t absolute = it.GetAbsoluteIndex();
            if (absolute < limit) {
                values[absolute] = value;
            }
        }
        return;
    }
    for (CIndexSet::Iterator it = set.Begin(); it.HasNext(); it.Next()) {
        const uint32_t absolute = it.GetAbsoluteIndex();
        if (absolute < limit) {
            values[absolute] = convert(input[it.GetIndex()]);
        }
    }
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

void StoreInput(const CBoundIndexSet& set, const CBoundArray<float>& input, CAttribute& slot) {
    if (slot.type == PdcTypeFloat) {
        StoreSubset(set, input, slot.floatValues.GetArray(), slot.floatValues.GetCount(), AsFloat);
    }
}

void StoreInput(const CBoundIndexSet& set, const CBoundArray<int32_t>& input, CAttribute& slot) {
    if (slot.type == PdcTypeLong) {
        StoreSubset(set, input, slot.longValues.GetArray(), slot.longValues.GetCount(), AsLong);
    }
}

void StoreInput(const CBoundIndexSet& set, const CBoundArray<MATH::CVector3f>& input,
                CAttribute& slot) {
    if (slot.type == PdcTypeVector) {
        StoreSubset(set, input, slot.vectorValues.GetArray(), slot.vectorValues.GetCount(),
                    AsVector);
    }
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

    void Store(const CBoundIndexSet& set, CAttribute* slots) const {
        for (int32_t i = 0; i < Kind.count; ++i) {
            StoreInput(set, inputs_[i], slots[Kind.Slot(i)]);
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

        auto record = std::make_unique<CPdcUserData>();
        record->pdc = std::make_unique<CPdc>();
        record->path = settings.path;
        record->step = settings.step;
        record->frame = frame;
        ApplySlotLayout(*record->pdc, settings);
        record->pdc->Resize(count);
        PutPdcUserData(context, record.release());
    } catch (...) {
        // Only running out of memory for Count particles gets here: no record,
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
    CPdcUserData* record = GetPdcUserData(context);
    if (record == nullptr) {
        return;
    }
    CAttribute* slots = record->pdc->attributes;

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
    // input and one array. Unnamed slots are never written, so they are
    // skipped.
    StoreInput(set, id, slots[PdcIdSlot]);
    StoreInput(set, position, slots[PdcPositionSlot]);
    floats.Store(set, slots);
    longs.Store(set, slots);
    vectors.Store(set, slots);
    for (CIndexSet::Iterator it = set.Begin(); it.HasNext(); it.Next()) {
        output[it.GetIndex()] = position[it.GetIndex()];
    }
}

}  // namespace

CStatus VelpoExport_Evaluate(ICENodeContext& context) {
    return Guarded(Evaluate, context);
}

CStatus VelpoExport_EndEvaluate(ICENodeContext& context) {
    std::unique_ptr<CPdcUserData> record(GetPdcUserData(context));
    PutPdcUserData(context, nullptr);
    if (!record) {
        LogError(L"VelpoExport: Cannot Read User Data");
        return CStatus::OK;
    }
    CString fileName;
    try {
        fileName = GetFileName(record->path, static_cast<uint32_t>(record->frame), record->step);
        if (!WriteCacheFile(*record->pdc, fileName.GetAsciiString())) {
            LogError(CannotWrite, fileName);
        }
    } catch (...) {
        LogError(CannotWrite, fileName);
    }
    return CStatus::OK;
}
