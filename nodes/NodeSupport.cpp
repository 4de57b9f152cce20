#include "nodes/NodeSupport.h"

#include <cfloat>

#include "plugin/AttributeKinds.h"

using namespace XSI;

CPdcUserData* GetPdcUserData(const ICENodeContext& context) {
    return static_cast<CPdcUserData*>(context.GetUserData().GetAsPointer());
}

void PutPdcUserData(ICENodeContext& context, CPdcUserData* state) {
    context.PutUserData(CValue(static_cast<void*>(state)));
}

int32_t ReadFirstLong(ICENodeContext& context, uint32_t portID) {
    CBoundArray<int32_t> values;
    values.BindInput(context, siICENodeDataLong, portID);
    return values.GetCount() > 0 ? values[0] : 0;
}

ProjectItem FindSettingsObject(ICENodeContext& context, uint32_t scopPortID) {
    // The port carries the ID as a signed host integer; IDs are unsigned.
    const int32_t id = ReadFirstLong(context, scopPortID);
    return Application().GetObjectFromID(static_cast<uint32_t>(id));
}

CString ReadTextParameter(const ProjectItem& object, const CString& name) {
    return object.GetParameter(name).GetValue(DBL_MAX).GetAsText();
}

int32_t ReadIntegerParameter(const ProjectItem& object, const CString& name) {
    return object.GetParameter(name).GetValue(DBL_MAX).GetAsInt();
}

void ReadStepAndNames(const ProjectItem& object, CNodeSettings& settings) {
    settings.step = ReadIntegerParameter(object, L"Step");
    for (const CAttributeKind& kind : AttributeKinds) {
        for (int32_t i = 0; i < kind.count; ++i) {
            settings.slotNames[kind.Slot(i)] = ReadTextParameter(object, kind.Name(i));
        }
    }
}

void ApplySlotLayout(CPdc& pdc, const CNodeSettings& settings) {
    pdc.SetAttribute(PdcIdSlot, L"id", PdcTypeLong);
    pdc.SetAttribute(PdcPositionSlot, L"position", PdcTypeVector);
    for (const CAttributeKind& kind : AttributeKinds) {
        for (int32_t i = 0; i < kind.count; ++i) {
            const CString& name = settings.slotNames[kind.Slot(i)];
            if (!name.IsEmpty()) {
                pdc.SetAttribute(kind.Slot(i), name, kind.slotType);
            }
        }
    }
}

CStatus Guarded(void (*work)(ICENodeContext&), ICENodeContext& context) noexcept {
    try {
        work(context);
    } catch (...) {
        // Nothing more to do: the callback has no other way to report.
    }
    return CStatus::OK;
}

void LogError(const CString& text) noexcept {
    try {
        Application().LogMessage(text, siErrorMsg);
    } catch (...) {
        // The heap is exhausted; the host gets no message rather than an
        // exception it cannot handle.
    }
}

void LogError(const wchar_t* prefix, const CString& fileName) noexcept {
    try {
        LogError(CString(prefix) + fileName);
    } catch (...) {
    }
}
