#include "host/sdk/Registration.h"

#include <utility>

#include "host/core/Definitions.h"

namespace XSI {

namespace {

using VelpoHost::CAdditionKind;
using VelpoHost::CNodeDefinition;
using VelpoHost::CPortAddition;

bool GroupTaken(const CNodeDefinition& node, uint32_t groupID) {
    for (const CPortAddition& addition : node.additions) {
        if (addition.accepted && addition.kind == CAdditionKind::Group && addition.id == groupID) {
            return true;
        }
    }
    return false;
}

// Inputs and outputs share one range of port IDs.
bool PortTaken(const CNodeDefinition& node, uint32_t portID) {
    return node.FindInput(portID) != nullptr || node.FindOutput(portID) != nullptr;
}

CStatus Record(CNodeDefinition& node, CPortAddition addition, bool taken) {
    addition.accepted = !taken;
    node.additions.push_back(std::move(addition));
    return taken ? CStatus::InvalidArgument : CStatus::OK;
}

CPortAddition PortAddition(CAdditionKind kind, uint32_t portID, uint32_t groupID, int32_t dataType,
                           int32_t structure, int32_t context, const CString& name,
                           const CString& label, uint32_t typeConstraint,
                           uint32_t structureConstraint, uint32_t contextConstraint) {
    CPortAddition addition;
    addition.kind = kind;
    addition.id = portID;
    addition.group = groupID;
    addition.dataType = dataType;
    addition.structure = structure;
    addition.context = context;
    addition.name = name.ToUtf8();
    addition.label = label.ToUtf8();
    addition.typeConstraint = typeConstraint;
    addition.structureConstraint = structureConstraint;
    addition.contextConstraint = contextConstraint;
    return addition;
}

}  // namespace

ICENodeDef& ICENodeDef::operator=(const CRef& ref) {
    definition_ = ref.definition_;
    valid_ = definition_ != nullptr;
    return *this;
}

CStatus ICENodeDef::AddPortGroup(uint32_t groupID, int32_t minInstances, int32_t maxInstances,
                                 const CString& text) {
    if (!definition_) {
        return CStatus::Fail;
    }
    CPortAddition addition;
    addition.kind = CAdditionKind::Group;
    addition.id = groupID;
    addition.group = groupID;
    addition.minInstances = minInstances;
    addition.maxInstances = maxInstances;
    addition.groupText = text.ToUtf8();
    return Record(*definition_, std::move(addition), GroupTaken(*definition_, groupID));
}

CStatus ICENodeDef::AddInputPort(uint32_t portID, uint32_t groupID, int32_t dataType,
                                 int32_t structure, int32_t context, const CString& name,
                                 const CString& label, const CValue& defaultValue,
                                 uint32_t typeConstraint, uint32_t structureConstraint,
                                 uint32_t contextConstraint) {
    if (!definition_) {
        return CStatus::Fail;
    }
    CPortAddition addition =
        PortAddition(CAdditionKind::Input, portID, groupID, dataType, structure, context, name,
                     label, typeConstraint, structureConstraint, contextConstraint);
    addition.defaultValue = defaultValue;
    return Record(*definition_, std::move(addition), PortTaken(*definition_, portID));
}

CStatus ICENodeDef::AddOutputPort(uint32_t portID, uint32_t groupID, int32_t dataType,
                                  int32_t structure, int32_t context, const CString& name,
                                  const CString& label, uint32_t typeConstraint,
                                  uint32_t structureConstraint, uint32_t contextConstraint) {
    if (!definition_) {
        return CStatus::Fail;
    }
    return Record(*definition_,
                  PortAddition(CAdditionKind::Output, portID, groupID, dataType, structure, context,
                               name, label, typeConstraint, structureConstraint, contextConstraint),
                  PortTaken(*definition_, portID));
}

CStatus PluginItem::PutCategories(const CString& categories) {
    if (!plugin_ || nodeIndex_ >= plugin_->nodes.size()) {
        return CStatus::Fail;
    }
    plugin_->nodes[nodeIndex_].category = categories.ToUtf8();
    return CStatus::OK;
}

PluginRegistrar::PluginRegistrar(VelpoHost::CPluginDefinition* plugin) : plugin_(plugin) {
    valid_ = plugin_ != nullptr;
}

CStatus PluginRegistrar::PutName(const CString& name) {
    if (!plugin_) {
        return CStatus::Fail;
    }
    SIObject::PutName(name);
    plugin_->name = name.ToUtf8();
    return CStatus::OK;
}

CStatus PluginRegistrar::PutAuthor(const CString& author) {
    if (!plugin_) {
        return CStatus::Fail;
    }
    plugin_->author = author.ToUtf8();
    return CStatus::OK;
}

CStatus PluginRegistrar::PutEmail(const CString& email) {
    if (!plugin_) {
        return CStatus::Fail;
    }
    plugin_->email = email.ToUtf8();
    return CStatus::OK;
}

CStatus PluginRegistrar::PutURL(const CString& url) {
    if (!plugin_) {
        return CStatus::Fail;
    }
    plugin_->url = url.ToUtf8();
    return CStatus::OK;
}

CStatus PluginRegistrar::PutVersion(int32_t major, int32_t minor) {
    if (!plugin_) {
        return CStatus::Fail;
    }
    plugin_->major = major;
    plugin_->minor = minor;
    return CStatus::OK;
}

PluginItem PluginRegistrar::RegisterICENode(const ICENodeDef& definition) {
    PluginItem item;
    // A second node of the same name would make its callbacks ambiguous.
    if (!plugin_ || !definition.definition_ ||
        plugin_->FindNode(definition.definition_->name) != nullptr) {
        return item;
    }
    plugin_->nodes.push_back(*definition.definition_);
    item.plugin_ = plugin_;
    item.nodeIndex_ = plugin_->nodes.size() - 1;
    item.valid_ = true;
    item.SIObject::PutName(CString::FromUtf8(definition.definition_->name));
    return item;
}

}  // namespace XSI
