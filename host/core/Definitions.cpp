#include "host/core/Definitions.h"

namespace VelpoHost {

namespace {

// Refused additions stay in the record for inspection but do not define a
// port: the accepted one with that ID is the port.
const CPortAddition* FindPort(const std::vector<CPortAddition>& additions, CAdditionKind kind,
                              uint32_t portID) {
    for (const CPortAddition& addition : additions) {
        if (addition.kind == kind && addition.accepted && addition.id == portID) {
            return &addition;
        }
    }
    return nullptr;
}

}  // namespace

const CPortAddition* CNodeDefinition::FindInput(uint32_t portID) const {
    return FindPort(additions, CAdditionKind::Input, portID);
}

const CPortAddition* CNodeDefinition::FindOutput(uint32_t portID) const {
    return FindPort(additions, CAdditionKind::Output, portID);
}

const CNodeDefinition* CPluginDefinition::FindNode(const std::string& nodeName) const {
    for (const CNodeDefinition& node : nodes) {
        if (node.name == nodeName) {
            return &node;
        }
    }
    return nullptr;
}

}  // namespace VelpoHost
