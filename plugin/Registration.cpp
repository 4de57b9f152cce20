// The three node definitions. The order of additions is part of the node's
// identity in saved graphs, so each follows its port table exactly; in
// particular VelpoExport adds inPosition after Long4, not in ID order.
#include "plugin/Registration.h"

#include "plugin/AttributeKinds.h"

using namespace XSI;

namespace {

constexpr uint32_t None = siICENodeNoConstraint;

CValue IntegerDefault(int32_t value) {
    return CValue(value);
}

CValue VectorDefault(float x, float y, float z) {
    return CValue(MATH::CVector3f(x, y, z));
}

ICENodeDef CreateDefinition(const wchar_t* nodeName) {
    ICENodeDef definition;
    Application application;
    definition = application.GetFactory().CreateICENodeDef(nodeName, L"");
    return definition;
}

void AddGroup(ICENodeDef& definition, uint32_t groupID) {
    definition.AddPortGroup(groupID, 1, 1, L"").AssertSucceeded(L"");
}

void AddSingleInput(ICENodeDef& definition, uint32_t portID, const wchar_t* name,
                    int32_t defaultValue) {
    definition
        .AddInputPort(portID, GroupIn, siICENodeDataLong, siICENodeStructureSingle,
                      siICENodeContextSingleton, name, name, IntegerDefault(defaultValue), None,
                      None, None)
        .AssertSucceeded(L"");
}

void AddPointInput(ICENodeDef& definition, uint32_t portID, int32_t dataType, const CString& name,
                   const CValue& defaultValue) {
    definition
        .AddInputPort(portID, GroupIn, dataType, siICENodeStructureSingle,
                      siICENodeContextComponent0D, name, name, defaultValue, None,
                      ConstraintStructure, ConstraintContext)
        .AssertSucceeded(L"");
}

CStatus AddOutput(ICENodeDef& definition, uint32_t portID, uint32_t groupID, int32_t dataType,
                  int32_t context, const CString& name) {
    return definition.AddOutputPort(portID, groupID, dataType, siICENodeStructureSingle, context,
                                    name, name, None, None, None);
}

// VelpoExport's numbered inputs of one kind, index by index.
void AddNumberedInputs(ICENodeDef& definition, const CAttributeKind& kind,
                       const CValue& defaultValue) {
    for (int32_t i = 0; i < kind.count; ++i) {
        AddPointInput(definition, kind.Port(i), kind.dataType, kind.Name(i), defaultValue);
    }
}

// VelpoSetData's numbered outputs of one kind: group, then port, per index.
// The group's status is replaced by the port's before it is asserted, so
// only the port's counts.
void AddGroupedOutputs(ICENodeDef& definition, const CAttributeKind& kind) {
    for (int32_t i = 0; i < kind.count; ++i) {
        CStatus status = definition.AddPortGroup(kind.Group(i), 1, 1, L"");
        status = AddOutput(definition, kind.Port(i), kind.Group(i), kind.dataType,
                           siICENodeContextComponent0D, kind.Name(i));
        status.AssertSucceeded(L"");
    }
}

void Register(PluginRegistrar& registrar, const ICENodeDef& definition) {
    PluginItem item = registrar.RegisterICENode(definition);
    item.PutCategories(L"Pdc");
}

}  // namespace

CStatus RegisterVelpoImport(PluginRegistrar& registrar) {
    ICENodeDef definition = CreateDefinition(L"VelpoImport");

    AddGroup(definition, GroupIn);
    AddSingleInput(definition, PortFrame, L"Frame", 4);
    // No object has ID 9999 unless the user made one, so an unconnected
    // Import node reports itself as not connected instead of reading ID 4.
    AddSingleInput(definition, PortImportScop, L"Scop", 9999);
    AddGroup(definition, GroupPosition);
    AddGroup(definition, GroupNumberOfElements);
    AddOutput(definition, PortPosition, GroupPosition, siICENodeDataVector3,
              siICENodeContextElementGenerator, L"Position")
        .AssertSucceeded(L"");
    AddOutput(definition, PortNumberOfElements, GroupNumberOfElements, siICENodeDataLong,
              siICENodeContextSingleton, L"NumberOfElements")
        .AssertSucceeded(L"");

    Register(registrar, definition);
    return CStatus::OK;
}

CStatus RegisterVelpoSetData(PluginRegistrar& registrar) {
    ICENodeDef definition = CreateDefinition(L"VelpoSetData");

    AddGroup(definition, GroupIn);
    AddSingleInput(definition, PortFrame, L"Frame", 4);
    AddSingleInput(definition, PortScop, L"Scop", 4);
    AddPointInput(definition, PortInPosition, siICENodeDataVector3, L"InPosition",
                  VectorDefault(1.0f, 1.0f, 1.0f));

    AddGroupedOutputs(definition, FloatKind);
    AddGroup(definition, GroupId);
    AddOutput(definition, PortId, GroupId, siICENodeDataLong, siICENodeContextComponent0D, L"Id")
        .AssertSucceeded(L"");
    AddGroupedOutputs(definition, LongKind);
    AddGroup(definition, GroupPosition);
    AddOutput(definition, PortPosition, GroupPosition, siICENodeDataVector3,
              siICENodeContextComponent0D, L"Position")
        .AssertSucceeded(L"");
    AddGroupedOutputs(definition, VectorKind);

    Register(registrar, definition);
    return CStatus::OK;
}

CStatus RegisterVelpoExport(PluginRegistrar& registrar) {
    ICENodeDef definition = CreateDefinition(L"VelpoExport");

    AddGroup(definition, GroupIn);
    AddSingleInput(definition, PortFrame, L"Frame", 4);
    AddSingleInput(definition, PortCount, L"Count", 4);
    AddSingleInput(definition, PortScop, L"Scop", 4);
    AddNumberedInputs(definition, FloatKind, CValue(0.0));
    AddPointInput(definition, PortId, siICENodeDataLong, L"Id", IntegerDefault(0));
    // The Long ports' default is the floating 0.0, like the Float ports';
    // saved graphs carry it in that form.
    AddNumberedInputs(definition, LongKind, CValue(0.0));
    AddPointInput(definition, PortInPosition, siICENodeDataVector3, L"inPosition",
                  VectorDefault(0.0f, 0.0f, 0.0f));
    AddNumberedInputs(definition, VectorKind, VectorDefault(0.0f, 0.0f, 0.0f));
    AddGroup(definition, GroupPosition);
    AddOutput(definition, PortPosition, GroupPosition, siICENodeDataVector3,
              siICENodeContextComponent0D, L"Position")
        .AssertSucceeded(L"");

    Register(registrar, definition);
    return CStatus::OK;
}
