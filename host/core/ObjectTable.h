// The host's objects, by ID: settings objects with named parameters that the
// nodes read through XSI::Application::GetObjectFromID.
//
// Thread-safe: parameters may be read by node callbacks on any thread while
// the table is changed between evaluations.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "host/sdk/CValue.h"
#include "host/sdk/Export.h"

namespace VelpoHost {

class XSI_API CHostObject {
public:
    XSI::CValue GetParameter(const std::string& name) const;  // empty if absent
    void SetParameter(const std::string& name, const XSI::CValue& value);
    void RemoveParameter(const std::string& name);

private:
    mutable std::mutex mutex_;
    std::map<std::string, XSI::CValue> parameters_;
};

class XSI_API CObjectTable {
public:
    static CObjectTable& Instance();

    // Creates an object under the given ID (replacing any object there) or,
    // without one, under a new ID above every ID in use. Returns the ID.
    uint32_t Create(std::optional<uint32_t> id = std::nullopt);
    // Null when the ID names nothing.
    std::shared_ptr<CHostObject> Find(uint32_t id) const;
    bool Remove(uint32_t id);
    void Clear();

private:
    mutable std::mutex mutex_;
    std::map<uint32_t, std::shared_ptr<CHostObject>> objects_;
    uint32_t nextId_ = 1000;
};

}  // namespace VelpoHost
