// One instance of a node type in a graph: its input bindings and its user
// data, which live from one evaluation to the next.
//
// Evaluate runs BeginEvaluate once, then Evaluate once per requested output
// port and element subset (subsets on a pool of threads), then EndEvaluate
// once. An instance runs one evaluation at a time; separate instances may be
// evaluated from separate threads.
//
// What the callbacks are served:
// - GetNumberOfElementsToProcess: the evaluation's element count throughout
//   (in an element generator's BeginEvaluate, what it has set so far).
// - An Evaluate call of a per-element output port works on one subset: its
//   index set has the subset's offset and count, its output array and every
//   per-element input array hold the subset's values, indexed from 0.
// - An Evaluate call of a singleton output port has one element (offset 0).
//   BeginEvaluate, EndEvaluate and singleton ports see per-element inputs
//   whole, and BeginEvaluate and EndEvaluate have no output port.
// - Output arrays start filled with a pattern (see UnwrittenCount), never
//   zeroed: a node must write every element it is handed.
// - Constant inputs and defaults have count 1 everywhere.
// - User data put by any callback is seen by every later callback of the
//   same instance, in this evaluation and the next ones.
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
