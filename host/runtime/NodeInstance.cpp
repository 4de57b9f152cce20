#include "host/runtime/NodeInstance.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "host/core/ContextBackend.h"
#include "host/runtime/ThreadPool.h"

namespace VelpoHost {

namespace {

constexpr uint32_t kNoPort = 0xFFFFFFFFu;

uint32_t ElementSize(int32_t dataType) {
    switch (dataType) {
        case XSI::siICENodeDataLong:
            return sizeof(int32_t);
        case XSI::siICENodeDataFloat:
            return sizeof(float);
        case XSI::siICENodeDataVector3:
            return sizeof(XSI::MATH::CVector3f);
        default:
            return 0;
    }
}

std::string DataTypeName(int32_t dataType) {
    switch (dataType) {
        case XSI::siICENodeDataLong:
            return "Long";
        case XSI::siICENodeDataFloat:
            return "Float";
        case XSI::siICENodeDataVector3:
            return "Vector3";
        default:
            return "data type " + std::to_string(dataType);
    }
}

std::string PortText(const CPortAddition& port) {
    return port.name + " (" + std::to_string(port.id) + ")";
}

uint32_t CountOf(const CValues& values) {
    return std::visit([](const auto& items) { return static_cast<uint32_t>(items.size()); },
                      values);
}

std::byte* DataOf(CValues& values) {
    return std::visit([](auto& items) { return reinterpret_cast<std::byte*>(items.data()); },
                      values);
}

// Storage for count values of a data type the runtime knows, every element
// holding the fill pattern, so what a callback leaves unwritten shows.
CValues UnwrittenValues(int32_t dataType, uint32_t count) {
    const float unwrittenFloat = std::bit_cast<float>(UnwrittenFloatBits);
    switch (dataType) {
        case XSI::siICENodeDataLong:
            return std::vector<int32_t>(count, UnwrittenLong);
        case XSI::siICENodeDataFloat:
            return std::vector<float>(count, unwrittenFloat);
        default:
            return std::vector<XSI::MATH::CVector3f>(
                count, XSI::MATH::CVector3f(unwrittenFloat, unwrittenFloat, unwrittenFloat));
    }
}

// A registered default is a host value of any kind (the Long ports of a
// plug-in may carry a floating default); it is served in the port's type.
CValues DefaultOf(const CPortAddition& port) {
    switch (port.dataType) {
        case XSI::siICENodeDataLong:
            return std::vector<int32_t>{port.defaultValue.GetAsInt()};
        case XSI::siICENodeDataFloat:
            return std::vector<float>{static_cast<float>(port.defaultValue.GetAsDouble())};
        default:
            return std::vector<XSI::MATH::CVector3f>{port.defaultValue.GetAsVector3f()};
    }
}

bool IsGenerator(const CNodeDefinition& node) {
    return std::any_of(node.additions.begin(), node.additions.end(), [](const CPortAddition& a) {
        return a.accepted && a.kind == CAdditionKind::Output &&
               a.context == XSI::siICENodeContextElementGenerator;
    });
}

// An input as the callbacks are served it. Data points into the instance's
// bindings or into the evaluation's defaults, both unchanged while it runs.
struct CServedInput {
    const CPortAddition* port = nullptr;
    const std::byte* data = nullptr;
    uint32_t count = 0;
    bool perElement = false;
};

struct COutputRun {
    const CPortAddition* port = nullptr;
    bool singleton = false;
    CValues values;
    uint32_t subsets = 0;
    uint64_t firstTask = 0;
};

enum class CPhase { Begin, Evaluate, End };

// What all callback calls of one evaluation share.
struct CRun {
    bool generator = false;
    // Evaluate calls: one per subset of every per-element output, one per
    // singleton output.
    uint32_t tasks = 0;
    // Written only by BeginEvaluate, before any Evaluate call starts.
    uint32_t elementCount = 0;
    // The elements whose outputs the arrays hold now: all of them, or one
    // window of a windowed evaluation. Set before the window's calls start.
    uint32_t windowFirst = 0;
    uint32_t windowLength = 0;
    std::map<uint32_t, CServedInput> inputs;
    std::map<uint32_t, CValues> defaults;
    std::vector<COutputRun> outputs;

    // Evaluate calls may run at once and may all touch the user data.
    mutable std::mutex userDataMutex;
    XSI::CValue userData;

    // Per output, in order: whether an Evaluate call acquired its array.
    // Flags sized before the first Evaluate call, so that acquiring
    // allocates nothing: the backend is called from the plug-in's module,
    // and an exception thrown there could not reach a handler on Windows
    // (see XSI::MATH::CVector3Array).
    std::unique_ptr<std::atomic<bool>[]> acquired;

    std::atomic<uint32_t> failedCallbacks{0};
    std::atomic<uint32_t> unreleasedArrays{0};
    std::atomic<uint32_t> unreleasedIndexSets{0};
    std::atomic<uint32_t> evaluateCalls{0};
};

// The context of one callback call: its port, its elements and what it has
// acquired. Used by the one thread that runs the call.
class CCallBackend final : public CContextBackend {
public:
    CCallBackend(CRun& run, CPhase phase, COutputRun* output, uint32_t offset, uint32_t count)
        : run_(run), phase_(phase), output_(output), offset_(offset), count_(count) {}

    uint32_t OutstandingArrays() const { return arrays_; }
    uint32_t OutstandingIndexSets() const { return indexSets_; }

    uint32_t EvaluatedOutputPortID() const override {
        return output_ ? output_->port->id : kNoPort;
    }

    uint32_t NumberOfElementsToProcess() const override { return run_.elementCount; }

    XSI::CStatus PutNumberOfElementsToProcess(uint32_t count) override {
        if (phase_ != CPhase::Begin || !run_.generator) {
            return XSI::CStatus::Fail;
        }
        run_.elementCount = count;
        return XSI::CStatus::OK;
    }

    XSI::CValue GetUserData() const override {
        std::lock_guard lock(run_.userDataMutex);
        return run_.userData;
    }

    XSI::CStatus PutUserData(const XSI::CValue& value) override {
        std::lock_guard lock(run_.userDataMutex);
        run_.userData = value;
        return XSI::CStatus::OK;
    }

    XSI::CStatus AcquireInput(void** data, uint32_t* count, int32_t dataType, uint32_t elementSize,
                              uint32_t portID, uint32_t instance) override {
        auto found = run_.inputs.find(portID);
        if (found == run_.inputs.end() || instance != 0) {
            return XSI::CStatus::InvalidArgument;
        }
        const CServedInput& input = found->second;
        if (dataType != input.port->dataType || elementSize != ElementSize(dataType)) {
            return XSI::CStatus::InvalidArgument;
        }
        const std::byte* start = input.data;
        uint32_t served = input.count;
        // A per-element input is seen by an Evaluate call over a subset as
        // the values of that subset, indexed from 0 like its output.
        if (input.perElement && output_ && !output_->singleton) {
            start += static_cast<size_t>(offset_) * elementSize;
            served = count_;
        }
        // Inputs are lent read-only by contract; the SDK's array type has
        // no const form.
        *data = const_cast<std::byte*>(start);
        *count = served;
        ++arrays_;
        return XSI::CStatus::OK;
    }

    XSI::CStatus AcquireOutput(void** data, uint32_t* count, int32_t dataType,
                               uint32_t elementSize) override {
        if (!output_) {
            return XSI::CStatus::Fail;
        }
        if (dataType != output_->port->dataType || elementSize != ElementSize(dataType)) {
            return XSI::CStatus::InvalidArgument;
        }
        const uint32_t first = output_->singleton ? 0 : offset_ - run_.windowFirst;
        *data = DataOf(output_->values) + static_cast<size_t>(first) * elementSize;
        *count = count_;
        ++arrays_;
        run_.acquired[static_cast<size_t>(output_ - run_.outputs.data())].store(
            true, std::memory_order_relaxed);
        return XSI::CStatus::OK;
    }

    XSI::CStatus ReleaseArray() override {
        if (arrays_ == 0) {
            return XSI::CStatus::False;
        }
        --arrays_;
        return XSI::CStatus::OK;
    }

    XSI::CStatus AcquireIndexSet(uint32_t* offset, uint32_t* count) override {
        *offset = output_ ? offset_ : 0;
        *count = output_ ? count_ : run_.elementCount;
        ++indexSets_;
        return XSI::CStatus::OK;
    }

    XSI::CStatus ReleaseIndexSet() override {
        if (indexSets_ == 0) {
            return XSI::CStatus::False;
        }
        --indexSets_;
        return XSI::CStatus::OK;
    }

private:
    CRun& run_;
    CPhase phase_;
    COutputRun* output_;
    uint32_t offset_;
    uint32_t count_;
    uint32_t arrays_ = 0;
    uint32_t indexSets_ = 0;
};

// A callback that throws is treated as one that failed: nothing may unwind
// into the runtime's threads.
void Call(CNodeCallback callback, CRun& run, CCallBackend& backend) {
    XSI::ICENodeContext context(&backend);
    bool ok = false;
    try {
        ok = callback(context) == XSI::CStatus::OK;
    } catch (...) {
        ok = false;
    }
    if (!ok) {
        run.failedCallbacks.fetch_add(1, std::memory_order_relaxed);
    }
    run.unreleasedArrays.fetch_add(backend.OutstandingArrays(), std::memory_order_relaxed);
    run.unreleasedIndexSets.fetch_add(backend.OutstandingIndexSets(), std::memory_order_relaxed);
}

// BeginEvaluate or EndEvaluate: no output port, every element.
void CallWhole(CNodeCallback callback, CRun& run, CPhase phase) {
    CCallBackend backend(run, phase, nullptr, 0, run.elementCount);
    Call(callback, run, backend);
}

// The per-element values bound so far: the last port that had them and how
// many it holds, which every later one must match.
struct CPerElementBinding {
    const CPortAddition* port = nullptr;
    uint32_t count = 0;
};

// Checks one binding against its port: type, constant size, context, and a
// count per element that agrees with the ports before it.
CResult CheckBinding(const CNodeDefinition& node, uint32_t portID, const CInput& input,
                     bool generator, CPerElementBinding& counted) {
    const std::string prefix = node.name + ": ";
    const CPortAddition* port = node.FindInput(portID);
    if (!port) {
        return CResult::Fail(prefix + "a value is bound to port " + std::to_string(portID) +
                             ", which is not an input port of the node");
    }
    int32_t bound = DataTypeOf(input.values);
    if (bound != port->dataType) {
        return CResult::Fail(prefix + "input port " + PortText(*port) + " takes " +
                             DataTypeName(port->dataType) + " values; " + DataTypeName(bound) +
                             " values are bound to it");
    }
    uint32_t count = CountOf(input.values);
    if (!input.perElement) {
        if (count != 1) {
            return CResult::Fail(prefix + "the constant bound to input port " + PortText(*port) +
                                 " holds " + std::to_string(count) + " values instead of one");
        }
        return CResult::Ok();
    }
    if (port->context == XSI::siICENodeContextSingleton) {
        return CResult::Fail(prefix + "input port " + PortText(*port) +
                             " takes one value for the whole evaluation; values per element "
                             "are bound to it");
    }
    if (generator) {
        return CResult::Fail(prefix +
                             "the node sets its own element count; values per element are "
                             "bound to input port " +
                             PortText(*port));
    }
    if (counted.port && count != counted.count) {
        return CResult::Fail(prefix + "input port " + PortText(*port) + " holds " +
                             std::to_string(count) + " values per element, input port " +
                             PortText(*counted.port) + " holds " + std::to_string(counted.count));
    }
    counted = {port, count};
    return CResult::Ok();
}

// The element count of a node that does not generate its own: the one the
// options give, else the per-element inputs' count, else 1.
CResult SettleElementCount(const CNodeDefinition& node, const CEvaluateOptions& options,
                           const CPerElementBinding& counted, uint32_t& elementCount) {
    const std::string prefix = node.name + ": ";
    if (options.elementCount) {
        elementCount = *options.elementCount;
        if (counted.port && counted.count != elementCount) {
            return CResult::Fail(prefix + "input port " + PortText(*counted.port) + " holds " +
                                 std::to_string(counted.count) +
                                 " values per element; the evaluation has " +
                                 std::to_string(elementCount) + " elements");
        }
    } else {
        elementCount = counted.port ? counted.count : 1;
    }
    if (elementCount > options.maxElements) {
        return CResult::Fail(prefix + "the evaluation would have " + std::to_string(elementCount) +
                             " elements, more than the limit of " +
                             std::to_string(options.maxElements));
    }
    return CResult::Ok();
}

// Checks every binding against the node's ports and settles the element
// count of a node that does not generate its own.
CResult CheckBindings(const CNodeDefinition& node, const std::map<uint32_t, CInput>& inputs,
                      const CEvaluateOptions& options, bool generator, uint32_t& elementCount) {
    CPerElementBinding counted;
    for (const auto& [portID, input] : inputs) {
        if (CResult checked = CheckBinding(node, portID, input, generator, counted); !checked) {
            return checked;
        }
    }
    if (generator) {
        elementCount = 0;
        return CResult::Ok();
    }
    return SettleElementCount(node, options, counted, elementCount);
}

// The output ports to evaluate, in order.
CResult SelectOutputs(const CNodeDefinition& node, const CEvaluateOptions& options,
                      std::vector<COutputRun>& outputs) {
    const std::string prefix = node.name + ": ";
    std::vector<const CPortAddition*> ports;
    if (options.outputs.empty()) {
        for (const CPortAddition& addition : node.additions) {
            if (addition.accepted && addition.kind == CAdditionKind::Output) {
                ports.push_back(&addition);
            }
        }
    } else {
        for (uint32_t portID : options.outputs) {
            const CPortAddition* port = node.FindOutput(portID);
            if (!port) {
                return CResult::Fail(prefix + "port " + std::to_string(portID) +
                                     " is asked for, but it is not an output port of the node");
            }
            if (std::find(ports.begin(), ports.end(), port) != ports.end()) {
                return CResult::Fail(prefix + "output port " + PortText(*port) +
                                     " is asked for twice");
            }
            ports.push_back(port);
        }
    }
    for (const CPortAddition* port : ports) {
        if (ElementSize(port->dataType) == 0) {
            return CResult::Fail(prefix + "output port " + PortText(*port) + " has " +
                                 DataTypeName(port->dataType) +
                                 ", which the runtime cannot evaluate");
        }
        COutputRun output;
        output.port = port;
        output.singleton = port->context == XSI::siICENodeContextSingleton;
        outputs.push_back(std::move(output));
    }
    return CResult::Ok();
}

// Every input port is served: its binding, or else its default.
void ServeInputs(const CNodeDefinition& node, const std::map<uint32_t, CInput>& inputs, CRun& run) {
    for (const CPortAddition& addition : node.additions) {
        if (!addition.accepted || addition.kind != CAdditionKind::Input ||
            ElementSize(addition.dataType) == 0) {
            continue;
        }
        CServedInput served;
        served.port = &addition;
        auto bound = inputs.find(addition.id);
        const CValues* values = nullptr;
        if (bound != inputs.end()) {
            values = &bound->second.values;
            served.perElement = bound->second.perElement;
        } else {
            values = &(run.defaults[addition.id] = DefaultOf(addition));
        }
        served.data = DataOf(const_cast<CValues&>(*values));
        served.count = CountOf(*values);
        run.inputs[addition.id] = served;
    }
}

// Everything an evaluation settles before its first callback: the node and
// its callbacks, the bindings checked against its ports, the element count
// of a node that does not set its own, the outputs and the inputs served.
CResult Prepare(CPlugin* plugin, const std::string& nodeName,
                const std::map<uint32_t, CInput>& inputs, const CEvaluateOptions& options,
                CRun& run, CNodeCallbacks& callbacks) {
    if (!plugin) {
        return CResult::Fail(nodeName + ": the node instance has no plug-in");
    }
    const CNodeDefinition* node = plugin->Definition().FindNode(nodeName);
    if (!node) {
        return CResult::Fail(plugin->Path() + ": the plug-in registers no node named " + nodeName);
    }
    if (options.subsetSize == 0) {
        return CResult::Fail(nodeName + ": the subset size must be at least 1");
    }
    run.generator = IsGenerator(*node);
    CResult ready = CheckBindings(*node, inputs, options, run.generator, run.elementCount);
    if (ready) {
        ready = SelectOutputs(*node, options, run.outputs);
    }
    if (ready) {
        ready = plugin->Callbacks(nodeName, callbacks);
    }
    if (ready) {
        ServeInputs(*node, inputs, run);
    }
    return ready;
}

// Fills every element of `values` with the fill pattern.
void FillUnwritten(CValues& values) {
    const float unwrittenFloat = std::bit_cast<float>(UnwrittenFloatBits);
    std::visit(
        [unwrittenFloat](auto& items) {
            using T = typename std::decay_t<decltype(items)>::value_type;
            if constexpr (std::is_same_v<T, int32_t>) {
                std::fill(items.begin(), items.end(), UnwrittenLong);
            } else if constexpr (std::is_same_v<T, float>) {
                std::fill(items.begin(), items.end(), unwrittenFloat);
            } else {
                std::fill(items.begin(), items.end(),
                          T(unwrittenFloat, unwrittenFloat, unwrittenFloat));
            }
        },
        values);
}

// The Evaluate calls of the elements the arrays hold now: each output's
// share, one call per subset (one in all for a singleton output).
CResult PlanCalls(CRun& run, const std::string& nodeName, uint32_t subsetSize) {
    uint64_t tasks = 0;
    for (COutputRun& output : run.outputs) {
        output.subsets =
            output.singleton ? 1 : (run.windowLength + (subsetSize - 1ull)) / subsetSize;
        output.firstTask = tasks;
        tasks += output.subsets;
    }
    if (tasks > std::numeric_limits<uint32_t>::max()) {
        return CResult::Fail(nodeName + ": too many element subsets; use a larger subset size");
    }
    run.tasks = static_cast<uint32_t>(tasks);
    return CResult::Ok();
}

// Once BeginEvaluate has run, and with it an element generator has set the
// count: every output gets its array, for every element or for the first
// window, filled with the pattern, and its share of the Evaluate calls.
CResult SizeOutputs(CRun& run, const std::string& nodeName, const CEvaluateOptions& options) {
    const uint32_t count = run.elementCount;
    if (count > options.maxElements) {
        return CResult::Fail(nodeName + ": the node sets " + std::to_string(count) +
                             " elements, more than the limit of " +
                             std::to_string(options.maxElements));
    }
    run.windowFirst = 0;
    run.windowLength = count;
    if (options.window.elements != 0) {
        // Whole subsets, so that a window's calls are the same as without.
        const uint64_t subsets =
            (options.window.elements + (options.subsetSize - 1ull)) / options.subsetSize;
        run.windowLength =
            static_cast<uint32_t>(std::min<uint64_t>(count, subsets * options.subsetSize));
    }
    // Out of memory fails the evaluation like any other refusal, so that
    // EndEvaluate still runs and frees what BeginEvaluate built.
    try {
        run.acquired = std::make_unique<std::atomic<bool>[]>(run.outputs.size());
        for (COutputRun& output : run.outputs) {
            output.values =
                UnwrittenValues(output.port->dataType, output.singleton ? 1 : run.windowLength);
        }
    } catch (const std::bad_alloc&) {
        for (COutputRun& output : run.outputs) {
            output.values = CValues();
        }
        return CResult::Fail(nodeName + ": out of memory for the outputs of " +
                             std::to_string(run.windowLength) + " elements");
    }
    return PlanCalls(run, nodeName, options.subsetSize);
}

// Every Evaluate call of the elements the arrays hold now, on the calling
// thread or on the shared pool.
void CallEvaluate(CNodeCallback evaluate, CRun& run, const CEvaluateOptions& options) {
    const uint32_t first = run.windowFirst;
    const uint32_t length = run.windowLength;
    auto task = [&run, evaluate, &options, first, length](uint32_t index) {
        auto after = std::upper_bound(
            run.outputs.begin(), run.outputs.end(), index,
            [](uint64_t i, const COutputRun& output) { return i < output.firstTask; });
        COutputRun& output = *(after - 1);
        uint32_t subset = static_cast<uint32_t>(index - output.firstTask);
        uint32_t offset = 0;
        uint32_t elements = 1;
        if (!output.singleton) {
            offset = first + subset * options.subsetSize;
            elements = std::min(options.subsetSize, length - subset * options.subsetSize);
        }
        CCallBackend backend(run, CPhase::Evaluate, &output, offset, elements);
        Call(evaluate, run, backend);
        run.evaluateCalls.fetch_add(1, std::memory_order_relaxed);
    };
    uint32_t threads =
        options.threads != 0 ? options.threads : std::max(1u, std::thread::hardware_concurrency());
    if (threads == 1 || run.tasks <= 1) {
        for (uint32_t i = 0; i < run.tasks; ++i) {
            task(i);
        }
    } else {
        CThreadPool::Shared(threads).Run(run.tasks, task);
    }
}

// The ports whose arrays an Evaluate call has acquired so far.
std::set<uint32_t> AcquiredPorts(const CRun& run) {
    std::set<uint32_t> ports;
    for (size_t i = 0; i < run.outputs.size(); ++i) {
        if (run.acquired[i].load(std::memory_order_relaxed)) {
            ports.insert(run.outputs[i].port->id);
        }
    }
    return ports;
}

// A windowed evaluation: the Evaluate calls of each window in turn into
// the same arrays, each window handed to the receiver before the next.
CResult EvaluateWindows(CNodeCallback evaluate, CRun& run, const std::string& nodeName,
                        const CEvaluateOptions& options) {
    const uint32_t window = run.windowLength;
    for (uint32_t first = 0; first < run.elementCount; first += window) {
        if (first != 0) {
            run.windowFirst = first;
            run.windowLength = std::min(window, run.elementCount - first);
            for (COutputRun& output : run.outputs) {
                if (!output.singleton && run.windowLength < window) {
                    std::visit([&run](auto& items) { items.resize(run.windowLength); },
                               output.values);
                }
                FillUnwritten(output.values);
            }
            if (CResult planned = PlanCalls(run, nodeName, options.subsetSize); !planned) {
                return planned;
            }
        }
        CallEvaluate(evaluate, run, options);
        COutputWindow done;
        done.first = run.windowFirst;
        done.count = run.windowLength;
        done.acquiredOutputs = AcquiredPorts(run);
        for (COutputRun& output : run.outputs) {
            done.outputs[output.port->id] = std::move(output.values);
        }
        const bool more = options.window.receive(done);
        for (COutputRun& output : run.outputs) {
            output.values = std::move(done.outputs[output.port->id]);
        }
        if (!more) {
            return CResult::Fail(nodeName + ": the evaluation was stopped after element " +
                                 std::to_string(run.windowFirst + run.windowLength));
        }
    }
    return CResult::Ok();
}

// What the evaluation gave: the outputs only when it ran through.
CEvaluationResult Collect(CRun& run, CResult status, bool windowed) {
    CEvaluationResult result;
    result.elementCount = run.elementCount;
    if (status) {
        if (!windowed) {
            for (COutputRun& output : run.outputs) {
                result.outputs[output.port->id] = std::move(output.values);
            }
        }
        result.acquiredOutputs = AcquiredPorts(run);
    }
    result.status = std::move(status);
    result.failedCallbacks = run.failedCallbacks.load();
    result.unreleasedArrays = run.unreleasedArrays.load();
    result.unreleasedIndexSets = run.unreleasedIndexSets.load();
    result.beginCalls = 1;
    result.evaluateCalls = run.evaluateCalls.load();
    result.endCalls = 1;
    return result;
}

}  // namespace

CNodeInstance::CNodeInstance(std::shared_ptr<CPlugin> plugin, std::string nodeName)
    : plugin_(std::move(plugin)), nodeName_(std::move(nodeName)) {}

void CNodeInstance::Connect(uint32_t portID, CInput input) {
    inputs_[portID] = std::move(input);
}

void CNodeInstance::Disconnect(uint32_t portID) {
    inputs_.erase(portID);
}

CEvaluationResult CNodeInstance::Evaluate(const CEvaluateOptions& options) {
    CRun run;
    CNodeCallbacks callbacks;
    if (CResult prepared = Prepare(plugin_.get(), nodeName_, inputs_, options, run, callbacks);
        !prepared) {
        CEvaluationResult refused;
        refused.status = std::move(prepared);
        return refused;
    }
    {
        std::lock_guard lock(run.userDataMutex);
        run.userData = userData_;
    }
    CallWhole(callbacks.begin, run, CPhase::Begin);
    CResult status = SizeOutputs(run, nodeName_, options);
    if (status) {
        // The pool may lack the memory or the threads to start; EndEvaluate
        // must run all the same.
        try {
            if (options.window.elements == 0) {
                CallEvaluate(callbacks.evaluate, run, options);
            } else {
                status = EvaluateWindows(callbacks.evaluate, run, nodeName_, options);
            }
        } catch (const std::bad_alloc&) {
            status = CResult::Fail(nodeName_ + ": out of memory to run the Evaluate calls");
        } catch (const std::exception& error) {
            status =
                CResult::Fail(nodeName_ + ": the Evaluate calls could not run: " + error.what());
        }
    }
    CallWhole(callbacks.end, run, CPhase::End);
    {
        std::lock_guard lock(run.userDataMutex);
        userData_ = run.userData;
    }
    return Collect(run, std::move(status), options.window.elements != 0);
}

}  // namespace VelpoHost
