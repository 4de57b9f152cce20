#include "host/core/ObjectTable.h"

#include <limits>

namespace VelpoHost {

XSI::CValue CHostObject::GetParameter(const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto found = parameters_.find(name);
    return found == parameters_.end() ? XSI::CValue() : found->second;
}

void CHostObject::SetParameter(const std::string& name, const XSI::CValue& value) {
    std::lock_guard lock(mutex_);
    parameters_[name] = value;
}

void CHostObject::RemoveParameter(const std::string& name) {
    std::lock_guard lock(mutex_);
    parameters_.erase(name);
}

CObjectTable& CObjectTable::Instance() {
    static CObjectTable table;
    return table;
}

uint32_t CObjectTable::Create(std::optional<uint32_t> id) {
    std::lock_guard lock(mutex_);
    uint32_t chosen = nextId_;
    if (id) {
        chosen = *id;
    } else {
        // nextId_ is above every ID in use, except the very last ID, which
        // a caller may have chosen; the loop steps over it.
        while (objects_.count(chosen) != 0) {
            ++chosen;
        }
    }
    objects_[chosen] = std::make_shared<CHostObject>();
    if (chosen >= nextId_ && chosen != std::numeric_limits<uint32_t>::max()) {
        nextId_ = chosen + 1;
    }
    return chosen;
}

std::shared_ptr<CHostObject> CObjectTable::Find(uint32_t id) const {
    std::lock_guard lock(mutex_);
    auto found = objects_.find(id);
    return found == objects_.end() ? nullptr : found->second;
}

bool CObjectTable::Remove(uint32_t id) {
    std::lock_guard lock(mutex_);
    return objects_.erase(id) != 0;
}

void CObjectTable::Clear() {
    std::lock_guard lock(mutex_);
    objects_.clear();
}

}  // namespace VelpoHost
