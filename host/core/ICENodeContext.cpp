#include "host/sdk/ICENodeContext.h"

#include "host/core/ContextBackend.h"

namespace XSI {

// A context without a backend belongs to no evaluation: it serves nothing
// and refuses everything.

CValue Context::GetUserData() const {
    return backend_ ? backend_->GetUserData() : CValue();
}

CStatus Context::PutUserData(const CValue& value) {
    return backend_ ? backend_->PutUserData(value) : CStatus::Fail;
}

uint32_t ICENodeContext::GetEvaluatedOutputPortID() const {
    return backend_ ? backend_->EvaluatedOutputPortID() : 0xFFFFFFFFu;
}

uint32_t ICENodeContext::GetNumberOfElementsToProcess() const {
    return backend_ ? backend_->NumberOfElementsToProcess() : 0;
}

CStatus ICENodeContext::PutNumberOfElementsToProcess(uint32_t count) {
    return backend_ ? backend_->PutNumberOfElementsToProcess(count) : CStatus::Fail;
}

CStatus ICENodeContext::AcquireIndexSet(CIndexSet& set) {
    uint32_t offset = 0;
    uint32_t count = 0;
    CStatus status = backend_ ? backend_->AcquireIndexSet(&offset, &count) : CStatus::Fail;
    if (status.Succeeded()) {
        set.offset_ = offset;
        set.count_ = count;
        set.acquired_ = true;
    } else {
        set.offset_ = 0;
        set.count_ = 0;
    }
    return status;
}

CStatus ICENodeContext::ReleaseIndexSet(CIndexSet& set) {
    if (!set.acquired_) {
        return CStatus::False;
    }
    set.acquired_ = false;
    set.offset_ = 0;
    set.count_ = 0;
    return backend_ ? backend_->ReleaseIndexSet() : CStatus::Fail;
}

CStatus ICENodeContext::AcquireInput(void** data, uint32_t* count, int32_t dataType,
                                     uint32_t elementSize, uint32_t portID, uint32_t instance) {
    return backend_ ? backend_->AcquireInput(data, count, dataType, elementSize, portID, instance)
                    : CStatus::Fail;
}

CStatus ICENodeContext::AcquireOutput(void** data, uint32_t* count, int32_t dataType,
                                      uint32_t elementSize) {
    return backend_ ? backend_->AcquireOutput(data, count, dataType, elementSize) : CStatus::Fail;
}

CStatus ICENodeContext::ReleaseArray() {
    return backend_ ? backend_->ReleaseArray() : CStatus::Fail;
}

}  // namespace XSI
