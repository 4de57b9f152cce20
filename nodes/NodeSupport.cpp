#include "nodes/NodeSupport.h"

#include <cfloat>

#include "plugin/Ports.h"

using namespace XSI;

CPdcUserData* GetPdcUserData(const ICENodeContext& context) {
    return static_cast<CPdcUserData*>(context.GetUserData().GetAsPointer());
}

void PutPdcUserData(ICENodeContext& context, CPdcUserData* record) {
    context.PutUserData(CValue(static_cast<void*>(record)));
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
    for (int32_t i = 0; i < PdcFloatSlotCount; ++i) {
        settings.floatNames[i] = ReadTextParameter(object, NumberedName(L"Float", i));
    }
    for (int32_t i = 0; i < PdcLongSlotCount; ++i) {
        settings.longNames[i] = ReadTextParameter(object, NumberedName(L"Long", i));
    }
    for (int32_t i = 0; i < PdcVectorSlotCount; ++i) {
        settings.vectorNames[i] = ReadTextParameter(object, NumberedName(L"Vector", i));
    }
}

void ApplySlotLayout(CPdc& pdc, const CNodeSettings& settings) {
    pdc.SetAttribute(PdcIdSlot, L"id", PdcTypeLong);
    pdc.SetAttribute(PdcPositionSlot, L"position", PdcTypeVector);
    for (int32_t i = 0; i < PdcFloatSlotCount; ++i) {
        if (!settings.floatNames[i].IsEmpty()) {
            pdc.SetAttribute(PdcFirstFloatSlot + i, settings.floatNames[i], PdcTypeFloat);
        }
    }
    for (int32_t i = 0; i < PdcLongSlotCount; ++i) {
        if (!settings.longNames[i].IsEmpty()) {
            pdc.SetAttribute(PdcFirstLongSlot + i, settings.longNames[i], PdcTypeLong);
        }
    }
    for (int32_t i = 0; i < PdcVectorSlotCount; ++i) {
        if (!settings.vectorNames[i].IsEmpty()) {
            pdc.SetAttribute(PdcFirstVectorSlot + i, settings.vectorNames[i], PdcTypeVector);
        }
    }
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
