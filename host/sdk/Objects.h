// Host objects as the plug-in sees them: the application, references, items
// with parameters, and the factory that makes node definitions.
//
// Host objects live in the runtime's object table (host/core/ObjectTable.h);
// the classes here are handles onto it. A handle onto an ID that names no
// object is invalid, and reading through it gives empty values.
#pragma once

#include <cfloat>
#include <cstdint>
#include <memory>

#include "host/sdk/CStatus.h"
#include "host/sdk/CString.h"
#include "host/sdk/CValue.h"
#include "host/sdk/Enums.h"
#include "host/sdk/Export.h"

namespace VelpoHost {
class CHostObject;
struct CNodeDefinition;
}  // namespace VelpoHost

namespace XSI {

class XSI_API CBase {
public:
    virtual ~CBase() = default;
    bool IsValid() const { return valid_; }

protected:
    bool valid_ = false;
};

class XSI_API SIObject : public CBase {
public:
    virtual CStatus PutName(const CString& name);
    const CString& GetName() const { return name_; }

private:
    CString name_;
};

// Reference to a host-side object; here only node definitions are made.
class XSI_API CRef {
public:
    CRef() = default;
    bool IsValid() const { return definition_ != nullptr; }

private:
    friend class Factory;
    friend class ICENodeDef;
    std::shared_ptr<VelpoHost::CNodeDefinition> definition_;
};

// One named parameter of a host object.
class XSI_API Parameter : public SIObject {
public:
    Parameter() = default;
    // Time is ignored: the value at the largest finite double is the current
    // one, and the stand-in keeps only current values. A parameter the object
    // lacks reads as an empty value.
    CValue GetValue(double time = DBL_MAX) const;

private:
    friend class ProjectItem;
    std::shared_ptr<VelpoHost::CHostObject> object_;
    CString parameterName_;
};

class XSI_API ProjectItem : public SIObject {
public:
    ProjectItem() = default;
    Parameter GetParameter(const CString& name) const;

private:
    friend class Application;
    std::shared_ptr<VelpoHost::CHostObject> object_;
};

class XSI_API Factory {
public:
    // The status pointer may be null.
    CRef CreateICENodeDef(const CString& name, const CString& description,
                          CStatus* status = nullptr) const;
};

class XSI_API Application : public SIObject {
public:
    Application();
    Factory GetFactory() const { return Factory(); }
    // An ID that names no object gives an invalid item.
    ProjectItem GetObjectFromID(uint32_t id) const;
    // Kept in the host log (host/core/Log.h) with its severity.
    CStatus LogMessage(const CString& text, int32_t severity = siInfoMsg) const;
};

}  // namespace XSI
