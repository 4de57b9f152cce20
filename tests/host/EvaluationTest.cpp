// Evaluating node instances of the test plug-in: subsets, threads, inputs,
// user data, element generators, binding errors, leak counting and what
// outputs hold where no callback wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/core/Log.h"
#include "host/runtime/NodeInstance.h"
#include "tests/host/TestPlugin.h"

using namespace VelpoHost;
using namespace VelpoTest;
using XSI::MATH::CVector3f;

namespace {

class EvaluationTest : public ::testing::Test {
protected:
    void SetUp() override {
        CLog::Instance().SetEcho(false);
        const CResult loaded = CPlugin::Load(VELPO_TEST_PLUGIN, plugin);
        ASSERT_TRUE(plugin) << loaded.Message();
    }

    // The Tracker's record, owned by the test once the instance has one.
    std::unique_ptr<CTrackerRecord> TakeRecord(CNodeInstance& node) {
        return std::unique_ptr<CTrackerRecord>(
            static_cast<CTrackerRecord*>(node.UserData().GetAsPointer()));
    }

    std::shared_ptr<CPlugin> plugin;
};

template <class T>
const std::vector<T>& Output(const CEvaluationResult& result, uint32_t port) {
    static const std::vector<T> none;
    auto found = result.outputs.find(port);
    if (found == result.outputs.end() || !std::holds_alternative<std::vector<T>>(found->second)) {
        ADD_FAILURE() << "no output of the expected type on port " << port;
        return none;
    }
    return std::get<std::vector<T>>(found->second);
}

void ExpectClean(const CEvaluationResult& result) {
    EXPECT_TRUE(result.status) << result.status.Message();
    EXPECT_EQ(result.failedCallbacks, 0u);
    EXPECT_EQ(result.unreleasedArrays, 0u);
    EXPECT_EQ(result.unreleasedIndexSets, 0u);
    EXPECT_EQ(result.beginCalls, 1u);
    EXPECT_EQ(result.endCalls, 1u);
}

// Every subset size and thread count: each element is handed to exactly one
// Evaluate call per port, at its own absolute index, and per-element inputs
// are seen subset-relative.
TEST_F(EvaluationTest, SubsetsCoverEveryElementOnce) {
    const uint32_t count = 9001;
    std::vector<int32_t> values(count);
    for (uint32_t i = 0; i < count; ++i) {
        values[i] = static_cast<int32_t>(i * 3 + 1);
    }
    for (uint32_t subsetSize : {1u, 7u, 4096u, 20000u}) {
        for (uint32_t threads : {1u, 2u, 4u}) {
            SCOPED_TRACE("subset size " + std::to_string(subsetSize) + ", threads " +
                         std::to_string(threads));
            CNodeInstance node(plugin, "Tracker");
            node.Connect(TrackerValue, CInput::PerElement(values));
            CEvaluateOptions options;
            options.subsetSize = subsetSize;
            options.threads = threads;
            CEvaluationResult result = node.Evaluate(options);
            ExpectClean(result);
            std::unique_ptr<CTrackerRecord> record = TakeRecord(node);
            ASSERT_TRUE(record);

            const uint32_t subsets = (count + subsetSize - 1) / subsetSize;
            EXPECT_EQ(result.elementCount, count);
            EXPECT_EQ(result.evaluateCalls, 3 * subsets + 1);
            EXPECT_EQ(record->evaluatesSeenByEnd, result.evaluateCalls);

            std::vector<int32_t> index = Output<int32_t>(result, TrackerIndex);
            ASSERT_EQ(index.size(), count);
            for (uint32_t i = 0; i < count; ++i) {
                ASSERT_EQ(index[i], static_cast<int32_t>(i));
            }
            EXPECT_EQ(Output<int32_t>(result, TrackerEcho), values);
            EXPECT_EQ(Output<int32_t>(result, TrackerCount), std::vector<int32_t>{9001});

            for (uint32_t port : {TrackerIndex, TrackerEcho, TrackerSeenTag}) {
                std::vector<CSubset> seen;
                for (const CSubset& s : record->subsets) {
                    if (s.port == port) {
                        seen.push_back(s);
                    }
                }
                std::sort(seen.begin(), seen.end(),
                          [](const CSubset& a, const CSubset& b) { return a.offset < b.offset; });
                uint32_t next = 0;
                for (const CSubset& s : seen) {
                    ASSERT_EQ(s.offset, next);
                    ASSERT_GE(s.count, 1u);
                    ASSERT_LE(s.count, subsetSize);
                    next += s.count;
                }
                EXPECT_EQ(next, count);
            }
        }
    }
}

TEST_F(EvaluationTest, ZeroElementsCallOnlySingletonPorts) {
    CNodeInstance node(plugin, "Tracker");
    CEvaluateOptions options;
    options.elementCount = 0;
    options.threads = 2;
    CEvaluationResult result = node.Evaluate(options);
    ExpectClean(result);
    std::unique_ptr<CTrackerRecord> record = TakeRecord(node);
    EXPECT_EQ(result.evaluateCalls, 1u);
    EXPECT_TRUE(Output<int32_t>(result, TrackerIndex).empty());
    EXPECT_EQ(Output<int32_t>(result, TrackerCount), std::vector<int32_t>{0});
}

TEST_F(EvaluationTest, BeginAndEndSeeNoPortAndOnlyRequestedPortsRun) {
    CNodeInstance node(plugin, "Tracker");
    CEvaluateOptions options;
    options.elementCount = 10;
    options.outputs = {TrackerSeenTag, TrackerIndex};
    options.subsetSize = 4;
    CEvaluationResult result = node.Evaluate(options);
    ExpectClean(result);
    std::unique_ptr<CTrackerRecord> record = TakeRecord(node);
    EXPECT_EQ(record->beginPort, 0xFFFFFFFFu);
    EXPECT_EQ(record->endPort, 0xFFFFFFFFu);
    EXPECT_EQ(result.evaluateCalls, 6u);
    EXPECT_EQ(result.outputs.size(), 2u);
    EXPECT_EQ(result.outputs.count(TrackerEcho), 0u);
    for (const CSubset& s : record->subsets) {
        EXPECT_TRUE(s.port == TrackerSeenTag || s.port == TrackerIndex) << s.port;
    }
}

// Result = Value * Factor + Shift + Base; Moved = Direction * Factor.
// Unbound: Factor 2.0 (floating), Value 0.0, Shift 1 (floating 1.5 on a
// Long port), Direction (1, 2, 3), Base 5.0 (integer on a Float port).
TEST_F(EvaluationTest, ConstantPerElementAndUnconnectedInputs) {
    struct Case {
        const char* name;
        std::vector<std::pair<uint32_t, CInput>> inputs;
        float result[3];
        CVector3f moved[3];
    };
    const Case cases[] = {
        {"all defaults", {}, {6, 6, 6}, {{2, 4, 6}, {2, 4, 6}, {2, 4, 6}}},
        {"constants",
         {{ScaleFactor, CInput::Constant(3.0f)},
          {ScaleValue, CInput::Constant(2.0f)},
          {ScaleShift, CInput::Constant(int32_t{-4})},
          {ScaleDirection, CInput::Constant(CVector3f(1, 0, -1))}},
         {7, 7, 7},
         {{3, 0, -3}, {3, 0, -3}, {3, 0, -3}}},
        {"per element",
         {{ScaleValue, CInput::PerElement(std::vector<float>{1, 2, 3})},
          {ScaleShift, CInput::PerElement(std::vector<int32_t>{10, 20, 30})},
          {ScaleDirection,
           CInput::PerElement(std::vector<CVector3f>{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}})}},
         {17, 29, 41},
         {{2, 0, 0}, {0, 2, 0}, {0, 0, 2}}},
        {"mixed",
         {{ScaleFactor, CInput::Constant(0.5f)},
          {ScaleValue, CInput::PerElement(std::vector<float>{4, 8, 12})}},
         {8, 10, 12},
         {{0.5f, 1, 1.5f}, {0.5f, 1, 1.5f}, {0.5f, 1, 1.5f}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CNodeInstance node(plugin, "Scale");
        for (const auto& [port, input] : c.inputs) {
            node.Connect(port, input);
        }
        CEvaluateOptions options;
        options.elementCount = 3;
        options.subsetSize = 2;
        options.threads = 2;
        CEvaluationResult result = node.Evaluate(options);
        ExpectClean(result);
        EXPECT_EQ(Output<float>(result, ScaleResult), std::vector<float>(c.result, c.result + 3));
        EXPECT_EQ(Output<CVector3f>(result, ScaleMoved),
                  std::vector<CVector3f>(c.moved, c.moved + 3));
    }
}

TEST_F(EvaluationTest, DisconnectServesTheDefaultAgain) {
    CNodeInstance node(plugin, "Scale");
    node.Connect(ScaleBase, CInput::Constant(100.0f));
    node.Disconnect(ScaleBase);
    CEvaluationResult result = node.Evaluate();
    ExpectClean(result);
    EXPECT_EQ(result.elementCount, 1u);
    EXPECT_EQ(Output<float>(result, ScaleResult), std::vector<float>{6});
}

// User data put in BeginEvaluate reaches every later callback of the same
// instance, across evaluations, and never another instance's.
TEST_F(EvaluationTest, UserDataStaysWithItsInstance) {
    CNodeInstance first(plugin, "Tracker");
    CNodeInstance second(plugin, "Tracker");
    first.Connect(TrackerTag, CInput::Constant(int32_t{11}));
    second.Connect(TrackerTag, CInput::Constant(int32_t{22}));
    CEvaluateOptions options;
    options.elementCount = 1000;
    options.subsetSize = 64;
    options.threads = 4;
    options.outputs = {TrackerSeenTag};
    for (int round = 0; round < 2; ++round) {
        for (CNodeInstance* node : {&first, &second}) {
            CEvaluationResult result = node->Evaluate(options);
            ExpectClean(result);
            int32_t tag = node == &first ? 11 : 22;
            EXPECT_EQ(Output<int32_t>(result, TrackerSeenTag), std::vector<int32_t>(1000, tag));
        }
    }
    std::unique_ptr<CTrackerRecord> a = TakeRecord(first);
    std::unique_ptr<CTrackerRecord> b = TakeRecord(second);
    ASSERT_TRUE(a && b);
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(a->begins, 2u);
    EXPECT_EQ(a->ends, 2u);
    EXPECT_EQ(b->begins, 2u);
    EXPECT_EQ(a->evaluatesSeenByEnd, 2u * 16u);
}

TEST_F(EvaluationTest, ElementGeneratorSetsTheCount) {
    for (int32_t count : {0, 5, 10000}) {
        SCOPED_TRACE(count);
        CNodeInstance node(plugin, "Generator");
        if (count != 5) {  // 5 is the port's default
            node.Connect(GeneratorCount, CInput::Constant(count));
        }
        CEvaluateOptions options;
        options.threads = 2;
        options.elementCount = 3;  // ignored: the node sets its own
        CEvaluationResult result = node.Evaluate(options);
        ExpectClean(result);
        EXPECT_EQ(result.elementCount, static_cast<uint32_t>(count));
        EXPECT_EQ(result.evaluateCalls, 1 + (static_cast<uint32_t>(count) + 4095) / 4096);
        const std::vector<CVector3f>& position = Output<CVector3f>(result, GeneratorPosition);
        ASSERT_EQ(position.size(), static_cast<size_t>(count));
        for (int32_t i = 0; i < count; ++i) {
            ASSERT_EQ(position[i], CVector3f(static_cast<float>(i), 0, 0));
        }
        EXPECT_EQ(Output<int32_t>(result, GeneratorNumberOfElements), std::vector<int32_t>{count});
    }
}

TEST_F(EvaluationTest, GeneratedCountAboveTheLimitIsRefusedAfterEnd) {
    CNodeInstance node(plugin, "Generator");
    node.Connect(GeneratorCount, CInput::Constant(int32_t{1000}));
    CEvaluateOptions options;
    options.maxElements = 999;
    CEvaluationResult result = node.Evaluate(options);
    EXPECT_FALSE(result.status);
    EXPECT_NE(result.status.Message().find("1000"), std::string::npos) << result.status.Message();
    EXPECT_EQ(result.beginCalls, 1u);
    EXPECT_EQ(result.evaluateCalls, 0u);
    EXPECT_EQ(result.endCalls, 1u);
    EXPECT_TRUE(result.outputs.empty());
}

// Bad bindings are reported before any callback runs.
TEST_F(EvaluationTest, BindingErrorsStopBeforeAnyCallback) {
    struct Case {
        const char* node;
        std::vector<std::pair<uint32_t, CInput>> inputs;
        CEvaluateOptions options;
        const char* words;  // must appear in the error
    };
    CEvaluateOptions none;
    CEvaluateOptions sevenElements;
    sevenElements.elementCount = 7;
    CEvaluateOptions unknownOutput;
    unknownOutput.outputs = {99};
    CEvaluateOptions twice;
    twice.outputs = {TrackerIndex, TrackerIndex};
    CEvaluateOptions zeroSubset;
    zeroSubset.subsetSize = 0;
    CEvaluateOptions tooMany;
    tooMany.elementCount = 100;
    tooMany.maxElements = 99;
    const std::vector<float> three = {1, 2, 3};
    const Case cases[] = {
        {"Tracker", {{42, CInput::Constant(int32_t{1})}}, none, "port 42"},
        {"Tracker", {{TrackerIndex, CInput::Constant(int32_t{1})}}, none, "port 10"},
        {"Tracker", {{TrackerTag, CInput::Constant(1.0f)}}, none, "Tag (0) takes Long"},
        {"Scale", {{ScaleValue, CInput::Constant(int32_t{1})}}, none, "Value (1) takes Float"},
        {"Scale",
         {{ScaleValue, CInput::PerElement(three)},
          {ScaleShift, CInput::PerElement(std::vector<int32_t>{1, 2})}},
         none,
         "holds 2 values"},
        {"Scale", {{ScaleValue, CInput::PerElement(three)}}, sevenElements, "7 elements"},
        {"Scale", {{ScaleFactor, CInput::PerElement(three)}}, none, "Factor (0)"},
        {"Scale", {{ScaleBase, CInput{three, false}}}, none, "holds 3 values instead of one"},
        {"Generator",
         {{GeneratorCount, CInput::PerElement(std::vector<int32_t>{1})}},
         none,
         "Count (0)"},
        {"Tracker", {}, unknownOutput, "port 99"},
        {"Tracker", {}, twice, "twice"},
        {"Tracker", {}, zeroSubset, "subset size"},
        {"Tracker", {}, tooMany, "limit"},
        {"Nothing", {}, none, "no node named Nothing"},
        {"Missing", {}, none, "Missing_Evaluate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words);
        CNodeInstance node(plugin, c.node);
        for (const auto& [port, input] : c.inputs) {
            node.Connect(port, input);
        }
        CEvaluationResult result = node.Evaluate(c.options);
        EXPECT_FALSE(result.status);
        EXPECT_NE(result.status.Message().find(c.words), std::string::npos)
            << result.status.Message();
        EXPECT_EQ(result.beginCalls + result.evaluateCalls + result.endCalls, 0u);
        EXPECT_TRUE(node.UserData().IsEmpty());
    }
}

TEST_F(EvaluationTest, MissingCallbackErrorNamesTheLibrary) {
    CNodeInstance node(plugin, "Missing");
    CEvaluationResult result = node.Evaluate();
    EXPECT_FALSE(result.status);
    EXPECT_NE(result.status.Message().find(VELPO_TEST_PLUGIN), std::string::npos)
        << result.status.Message();
}

// Leaky keeps one input array in BeginEvaluate and its index set in each
// Evaluate, fails EndEvaluate, and tries two refused calls: setting the
// element count without being a generator, and an output of the wrong type.
TEST_F(EvaluationTest, CountsWhatCallbacksLeaveAcquiredAndFailedCalls) {
    CNodeInstance node(plugin, "Leaky");
    CEvaluateOptions options;
    options.elementCount = 10;
    options.subsetSize = 4;
    options.threads = 2;
    CEvaluationResult result = node.Evaluate(options);
    EXPECT_TRUE(result.status) << result.status.Message();
    EXPECT_EQ(result.elementCount, 10u);
    EXPECT_EQ(result.evaluateCalls, 3u);
    EXPECT_EQ(result.unreleasedArrays, 1u);
    EXPECT_EQ(result.unreleasedIndexSets, 3u);
    EXPECT_EQ(result.failedCallbacks, 1u);
    EXPECT_EQ(Output<float>(result, LeakyFlag), std::vector<float>(10, 1.0f));
}

// Output arrays start filled with the pattern, not zero, whatever the split:
// an element no call wrote, and a port no call acquired, show as such.
TEST_F(EvaluationTest, UnwrittenElementsKeepTheFillPattern) {
    const uint32_t count = 7;
    for (uint32_t subsetSize : {1u, 3u, 4096u}) {
        SCOPED_TRACE("subset size " + std::to_string(subsetSize));
        CNodeInstance node(plugin, "Sparse");
        CEvaluateOptions options;
        options.elementCount = count;
        options.subsetSize = subsetSize;
        options.threads = 2;
        CEvaluationResult result = node.Evaluate(options);
        ExpectClean(result);
        EXPECT_EQ(result.acquiredOutputs, (std::set<uint32_t>{SparseEven, SparseOdd}));
        EXPECT_EQ(UnwrittenCount(result.outputs.at(SparseSkipped)), count);
        EXPECT_EQ(UnwrittenCount(result.outputs.at(SparseEven)), 3u);
        EXPECT_EQ(UnwrittenCount(result.outputs.at(SparseOdd)), 4u);
        const std::vector<float>& skipped = Output<float>(result, SparseSkipped);
        const std::vector<CVector3f>& even = Output<CVector3f>(result, SparseEven);
        const std::vector<int32_t>& odd = Output<int32_t>(result, SparseOdd);
        ASSERT_EQ(skipped.size(), count);
        ASSERT_EQ(even.size(), count);
        ASSERT_EQ(odd.size(), count);
        for (uint32_t i = 0; i < count; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(std::bit_cast<uint32_t>(skipped[i]), UnwrittenFloatBits);
            if (i % 2 == 0) {
                EXPECT_EQ(even[i], CVector3f(static_cast<float>(i), 0, 0));
                EXPECT_EQ(odd[i], UnwrittenLong);
            } else {
                EXPECT_EQ(std::bit_cast<uint32_t>(even[i].GetY()), UnwrittenFloatBits);
                EXPECT_EQ(odd[i], static_cast<int32_t>(i));
            }
        }
    }
}

// Only the exact pattern counts as unwritten: zeros, other NaNs and a vector
// written whole do not; a vector with one component left does.
TEST(UnwrittenCount, CountsOnlyThePattern) {
    const float pattern = std::bit_cast<float>(UnwrittenFloatBits);
    const float otherNaN = std::bit_cast<float>(0x7FC00000u);
    const struct {
        const char* name;
        CValues values;
        uint32_t unwritten;
    } cases[] = {
        {"longs", std::vector<int32_t>{0, UnwrittenLong, -1, UnwrittenLong}, 2},
        {"floats", std::vector<float>{0.0f, -0.0f, otherNaN, pattern}, 1},
        {"vectors", std::vector<CVector3f>{{0, 0, 0}, {1, pattern, 2}, {pattern, pattern, pattern}},
         2},
        {"empty", std::vector<float>{}, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UnwrittenCount(c.values), c.unwritten) << c.name;
    }
}

// Separate instances may be evaluated from separate threads at once, and
// share the runtime's pools.
TEST_F(EvaluationTest, InstancesEvaluateConcurrently) {
    std::vector<std::thread> callers;
    std::vector<CEvaluationResult> results(4);
    for (int i = 0; i < 4; ++i) {
        callers.emplace_back([this, i, &results] {
            CNodeInstance node(plugin, "Generator");
            node.Connect(GeneratorCount, CInput::Constant(int32_t{500 + i}));
            CEvaluateOptions options;
            options.subsetSize = 16;
            options.threads = 3;
            results[i] = node.Evaluate(options);
        });
    }
    for (std::thread& caller : callers) {
        caller.join();
    }
    for (int i = 0; i < 4; ++i) {
        ExpectClean(results[i]);
        EXPECT_EQ(results[i].elementCount, static_cast<uint32_t>(500 + i));
        EXPECT_EQ(Output<CVector3f>(results[i], GeneratorPosition).back(),
                  CVector3f(static_cast<float>(499 + i), 0, 0));
    }
}

}  // namespace

namespace {

// Windows of a windowed evaluation, as handed out.
struct CWindows {
    std::vector<COutputWindow> seen;

    CEvaluateOptions::CWindow Receiver(uint32_t elements, size_t stopAfter = SIZE_MAX) {
        return {elements, [this, stopAfter](const COutputWindow& window) {
                    seen.push_back(window);
                    return seen.size() < stopAfter;
                }};
    }

    // One port's values over all windows, in order.
    template <class T>
    std::vector<T> Joined(uint32_t port) const {
        std::vector<T> all;
        for (const COutputWindow& window : seen) {
            const auto& values = std::get<std::vector<T>>(window.outputs.at(port));
            all.insert(all.end(), values.begin(), values.end());
        }
        return all;
    }
};

// Windows follow one another in order, whole subsets each, and give the
// same values as one evaluation of every element; BeginEvaluate and
// EndEvaluate run once, and no outputs are kept.
TEST_F(EvaluationTest, WindowsGiveEveryElementInOrder) {
    const uint32_t count = 9001;
    std::vector<int32_t> values(count);
    for (uint32_t i = 0; i < count; ++i) {
        values[i] = static_cast<int32_t>(i * 5 - 3);
    }
    for (uint32_t subsetSize : {7u, 4096u}) {
        for (uint32_t window : {1u, 5000u, 9001u, 20000u}) {
            for (uint32_t threads : {1u, 2u}) {
                SCOPED_TRACE("subset size " + std::to_string(subsetSize) + ", window " +
                             std::to_string(window) + ", threads " + std::to_string(threads));
                CNodeInstance node(plugin, "Tracker");
                node.Connect(TrackerValue, CInput::PerElement(values));
                CWindows windows;
                CEvaluateOptions options;
                options.subsetSize = subsetSize;
                options.threads = threads;
                options.window = windows.Receiver(window);
                CEvaluationResult result = node.Evaluate(options);
                ExpectClean(result);
                std::unique_ptr<CTrackerRecord> record = TakeRecord(node);
                ASSERT_TRUE(record);
                EXPECT_TRUE(result.outputs.empty());
                EXPECT_EQ(record->evaluatesSeenByEnd, result.evaluateCalls);

                const uint32_t length = (window + subsetSize - 1) / subsetSize * subsetSize;
                ASSERT_EQ(windows.seen.size(), (count + length - 1) / length);
                uint32_t next = 0;
                for (const COutputWindow& seen : windows.seen) {
                    EXPECT_EQ(seen.first, next);
                    EXPECT_EQ(seen.count, std::min(length, count - next));
                    EXPECT_EQ(std::get<std::vector<int32_t>>(seen.outputs.at(TrackerCount)),
                              std::vector<int32_t>{static_cast<int32_t>(count)});
                    next += seen.count;
                }
                std::vector<int32_t> index = windows.Joined<int32_t>(TrackerIndex);
                ASSERT_EQ(index.size(), count);
                for (uint32_t i = 0; i < count; ++i) {
                    ASSERT_EQ(index[i], static_cast<int32_t>(i));
                }
                EXPECT_EQ(windows.Joined<int32_t>(TrackerEcho), values);
            }
        }
    }
}

// Each window starts from the fill pattern, so what no call wrote in it
// shows, not what the window before left there.
TEST_F(EvaluationTest, EachWindowStartsUnwritten) {
    const uint32_t count = 8;
    CNodeInstance node(plugin, "Sparse");
    CWindows windows;
    CEvaluateOptions options;
    options.elementCount = count;
    options.subsetSize = 1;
    options.window = windows.Receiver(3);
    CEvaluationResult result = node.Evaluate(options);
    ExpectClean(result);
    EXPECT_EQ(result.acquiredOutputs, (std::set<uint32_t>{SparseEven, SparseOdd}));
    ASSERT_EQ(windows.seen.size(), 3u);
    for (const COutputWindow& window : windows.seen) {
        SCOPED_TRACE(window.first);
        uint32_t even = 0;
        for (uint32_t i = window.first; i < window.first + window.count; ++i) {
            even += i % 2 == 0 ? 1 : 0;
        }
        EXPECT_EQ(UnwrittenCount(window.outputs.at(SparseSkipped)), window.count);
        EXPECT_EQ(UnwrittenCount(window.outputs.at(SparseEven)), window.count - even);
        EXPECT_EQ(UnwrittenCount(window.outputs.at(SparseOdd)), even);
    }
}

// A receiver that stops the evaluation fails it; EndEvaluate still runs.
TEST_F(EvaluationTest, AReceiverThatStopsFailsTheEvaluationAfterEnd) {
    CNodeInstance node(plugin, "Tracker");
    CWindows windows;
    CEvaluateOptions options;
    options.elementCount = 100;
    options.subsetSize = 10;
    options.window = windows.Receiver(20, 2);
    CEvaluationResult result = node.Evaluate(options);
    std::unique_ptr<CTrackerRecord> record = TakeRecord(node);
    EXPECT_FALSE(result.status);
    EXPECT_NE(result.status.Message().find("stopped after element 40"), std::string::npos)
        << result.status.Message();
    EXPECT_EQ(windows.seen.size(), 2u);
    EXPECT_EQ(result.endCalls, 1u);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->evaluatesSeenByEnd, result.evaluateCalls);
    EXPECT_TRUE(result.outputs.empty());
}

}  // namespace
