#include "host/sdk/Objects.h"

#include "host/core/Definitions.h"
#include "host/core/Log.h"
#include "host/core/ObjectTable.h"

namespace XSI {

CStatus SIObject::PutName(const CString& name) {
    name_ = name;
    return CStatus::OK;
}

CValue Parameter::GetValue(double /*time*/) const {
    if (!object_) {
        return CValue();
    }
    return object_->GetParameter(parameterName_.ToUtf8());
}

Parameter ProjectItem::GetParameter(const CString& name) const {
    Parameter parameter;
    parameter.object_ = object_;
    parameter.parameterName_ = name;
    parameter.SIObject::PutName(name);
    parameter.valid_ = object_ && !object_->GetParameter(name.ToUtf8()).IsEmpty();
    return parameter;
}

CRef Factory::CreateICENodeDef(const CString& name, const CString& description,
                               CStatus* status) const {
    CRef ref;
    if (name.IsEmpty()) {
        if (status) {
            *status = CStatus::InvalidArgument;
        }
        return ref;
    }
    ref.definition_ = std::make_shared<VelpoHost::CNodeDefinition>();
    ref.definition_->name = name.ToUtf8();
    ref.definition_->description = description.ToUtf8();
    if (status) {
        *status = CStatus::OK;
    }
    return ref;
}

Application::Application() {
    valid_ = true;
}

ProjectItem Application::GetObjectFromID(uint32_t id) const {
    ProjectItem item;
    item.object_ = VelpoHost::CObjectTable::Instance().Find(id);
    item.valid_ = item.object_ != nullptr;
    return item;
}

CStatus Application::LogMessage(const CString& text, int32_t severity) const {
    // Nothing thrown here may leave the SDK's module: on Windows the
    // caller's handler could not catch it (see CVector3Array). A message
    // that finds no memory is lost, and the caller is told.
    try {
        VelpoHost::CLog::Instance().Add(text.ToUtf8(), severity);
    } catch (...) {
        return CStatus::Fail;
    }
    return CStatus::OK;
}

}  // namespace XSI
