// One instance of a node type in a graph: its input bindings and its user
// data, which live from one evaluation to the next.
//
// Evaluate runs BeginEvaluate once, then Evaluate once per requested output
// port and element subset (subsets on a pool of threads), then EndEvaluate
// once. An instance runs one evaluation at a time; separate instances may be
// evaluated from separate threads.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "host/runtime/Evaluation.h"
#include "host/runtime/Plugin.h"
#include "host/sdk/CValue.h"

namespace VelpoHost {

class CNodeInstance {
public:
    // The node must be one the plug-in registered; otherwise every
    // evaluation fails with an error naming it.
    CNodeInstance(std::shared_ptr<CPlugin> plugin, std::string nodeName);

    // Binds an input port. The values' data type must be the port's; a
    // mismatch or an unknown port is reported by the next evaluation, before
    // any callback runs. An unbound port serves its registered default as one
    // constant value, converted to the port's data type.
    void Connect(uint32_t portID, CInput input);
    void Disconnect(uint32_t portID);

    CEvaluationResult Evaluate(const CEvaluateOptions& options = {});

    const XSI::CValue& UserData() const { return userData_; }
    const std::string& NodeName() const { return nodeName_; }

private:
    std::shared_ptr<CPlugin> plugin_;
    std::string nodeName_;
    std::map<uint32_t, CInput> inputs_;
    XSI::CValue userData_;
};

}  // namespace VelpoHost
