// What a plug-in registered, exactly as it was added: the runtime's record
// of a load, filled by the SDK's registration classes.
//
// Texts are kept in their narrow (UTF-8) form.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/sdk/CValue.h"
#include "host/sdk/Export.h"

namespace VelpoHost {

enum class CAdditionKind { Group, Input, Output };

// One call of AddPortGroup, AddInputPort or AddOutputPort, with its arguments.
struct CPortAddition {
    CAdditionKind kind = CAdditionKind::Group;
    uint32_t id = 0;     // port ID; for a group, the group ID
    uint32_t group = 0;  // group ID of a port; for a group, the group ID
    int32_t dataType = 0;
    int32_t structure = 0;
    int32_t context = 0;
    std::string name;
    std::string label;
    XSI::CValue defaultValue;  // inputs only
    uint32_t typeConstraint = 0;
    uint32_t structureConstraint = 0;
    uint32_t contextConstraint = 0;
    int32_t minInstances = 0;  // groups only
    int32_t maxInstances = 0;  // groups only
    std::string groupText;     // groups only
    bool accepted = true;      // false when the status said it failed
};

struct XSI_API CNodeDefinition {
    std::string name;
    std::string description;
    std::string category;
    std::vector<CPortAddition> additions;

    // The input or output port with this ID, or null.
    const CPortAddition* FindInput(uint32_t portID) const;
    const CPortAddition* FindOutput(uint32_t portID) const;
};

struct XSI_API CPluginDefinition {
    std::string name;
    std::string author;
    std::string email;
    std::string url;
    int32_t major = 0;
    int32_t minor = 0;
    std::vector<CNodeDefinition> nodes;  // in order of registration

    const CNodeDefinition* FindNode(const std::string& name) const;
};

}  // namespace VelpoHost
