// Plug-in registration: the registrar handed to XSILoadPlugin, node
// definitions and the items that registering them yields.
//
// Every call records what it was given, in order, in the runtime's plug-in
// definition (host/core/Definitions.h), so a test can compare a plug-in's
// registration with what it should be.
#pragma once

#include <cstdint>
#include <memory>

#include "host/sdk/CStatus.h"
#include "host/sdk/CString.h"
#include "host/sdk/CValue.h"
#include "host/sdk/Export.h"
#include "host/sdk/Objects.h"

namespace VelpoHost {
struct CPluginDefinition;
}

namespace XSI {

class XSI_API ICENodeDef : public CBase {
public:
    ICENodeDef() = default;
    ICENodeDef& operator=(const CRef& ref);

    // Each addition is recorded even when it is refused; a refusal (on an
    // invalid definition, or a port or group ID already used) is reported
    // through the status only.
    CStatus AddPortGroup(uint32_t groupID, int32_t minInstances, int32_t maxInstances,
                         const CString& text);
    CStatus AddInputPort(uint32_t portID, uint32_t groupID, int32_t dataType, int32_t structure,
                         int32_t context, const CString& name, const CString& label,
                         const CValue& defaultValue, uint32_t typeConstraint,
                         uint32_t structureConstraint, uint32_t contextConstraint);
    CStatus AddOutputPort(uint32_t portID, uint32_t groupID, int32_t dataType, int32_t structure,
                          int32_t context, const CString& name, const CString& label,
                          uint32_t typeConstraint, uint32_t structureConstraint,
                          uint32_t contextConstraint);

private:
    friend class PluginRegistrar;
    std::shared_ptr<VelpoHost::CNodeDefinition> definition_;
};

// The registered node type as the plug-in may still adjust it.
class XSI_API PluginItem : public SIObject {
public:
    PluginItem() = default;
    CStatus PutCategories(const CString& categories);

private:
    friend class PluginRegistrar;
    VelpoHost::CPluginDefinition* plugin_ = nullptr;
    size_t nodeIndex_ = 0;
};

class XSI_API PluginRegistrar : public SIObject {
public:
    // The runtime makes one per load, writing into the given definition.
    explicit PluginRegistrar(VelpoHost::CPluginDefinition* plugin);

    CStatus PutName(const CString& name) override;
    CStatus PutAuthor(const CString& author);
    CStatus PutEmail(const CString& email);
    CStatus PutURL(const CString& url);
    CStatus PutVersion(int32_t major, int32_t minor);
    // Copies the definition as it stands; later additions to it are not seen.
    PluginItem RegisterICENode(const ICENodeDef& definition);

private:
    VelpoHost::CPluginDefinition* plugin_;
};

}  // namespace XSI
