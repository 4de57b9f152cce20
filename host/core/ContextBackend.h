// The runtime's side of an evaluation context: what XSI::ICENodeContext asks
// of the call it belongs to. The runtime implements it once per callback call.
#pragma once

#include <cstdint>
#include <string>

#include "host/sdk/CStatus.h"
#include "host/sdk/CValue.h"

namespace VelpoHost {

class CContextBackend {
public:
    virtual ~CContextBackend() = default;

    virtual uint32_t EvaluatedOutputPortID() const = 0;
    virtual uint32_t NumberOfElementsToProcess() const = 0;
    virtual XSI::CStatus PutNumberOfElementsToProcess(uint32_t count) = 0;

    virtual XSI::CValue GetUserData() const = 0;
    virtual XSI::CStatus PutUserData(const XSI::CValue& value) = 0;

    // On success the data stays valid until the call returns. A mismatch of
    // data type or element size, or an unknown port, is refused.
    virtual XSI::CStatus AcquireInput(void** data, uint32_t* count, int32_t dataType,
                                      uint32_t elementSize, uint32_t portID, uint32_t instance) = 0;
    virtual XSI::CStatus AcquireOutput(void** data, uint32_t* count, int32_t dataType,
                                       uint32_t elementSize) = 0;
    virtual XSI::CStatus ReleaseArray() = 0;

    virtual XSI::CStatus AcquireIndexSet(uint32_t* offset, uint32_t* count) = 0;
    virtual XSI::CStatus ReleaseIndexSet() = 0;
};

}  // namespace VelpoHost
