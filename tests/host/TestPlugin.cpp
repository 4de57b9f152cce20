// The host runtime's test plug-in: small nodes that make the runtime's
// behaviour visible in their outputs and records (see TestPlugin.h).
#include "tests/host/TestPlugin.h"

#include "host/sdk/Xsi.h"

#ifdef _WIN32
#define TEST_EXPORT extern "C" __declspec(dllexport)
#else
#define TEST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using namespace XSI;
using namespace VelpoTest;

namespace {

constexpr uint32_t kNone = siICENodeNoConstraint;

ICENodeDef NewNode(const wchar_t* name) {
    ICENodeDef node;
    node = Application().GetFactory().CreateICENodeDef(name, L"");
    return node;
}

void Input(ICENodeDef& node, uint32_t id, int32_t type, int32_t context, const wchar_t* name,
           const CValue& defaultValue) {
    node.AddInputPort(id, GroupIn, type, siICENodeStructureSingle, context, name, name,
                      defaultValue, kNone, kNone, kNone);
}

void Output(ICENodeDef& node, uint32_t id, int32_t type, int32_t context, const wchar_t* name) {
    node.AddOutputPort(id, GroupOut, type, siICENodeStructureSingle, context, name, name, kNone,
                       kNone, kNone);
}

void Register(PluginRegistrar& registrar, const ICENodeDef& node) {
    registrar.RegisterICENode(node).PutCategories(L"Test");
}

void RegisterScale(PluginRegistrar& registrar) {
    ICENodeDef node = NewNode(L"Scale");
    node.AddPortGroup(GroupIn, 1, 1, L"");
    Input(node, ScaleFactor, siICENodeDataFloat, siICENodeContextSingleton, L"Factor", 2.0);
    Input(node, ScaleValue, siICENodeDataFloat, siICENodeContextComponent0D, L"Value", 0.0);
    Input(node, ScaleShift, siICENodeDataLong, siICENodeContextComponent0D, L"Shift", 1.5);
    Input(node, ScaleDirection, siICENodeDataVector3, siICENodeContextComponent0D, L"Direction",
          MATH::CVector3f(1.0f, 2.0f, 3.0f));
    Input(node, ScaleBase, siICENodeDataFloat, siICENodeContextSingleton, L"Base", int32_t{5});
    node.AddPortGroup(GroupOut, 1, 1, L"");
    Output(node, ScaleResult, siICENodeDataFloat, siICENodeContextComponent0D, L"Result");
    Output(node, ScaleMoved, siICENodeDataVector3, siICENodeContextComponent0D, L"Moved");
    Register(registrar, node);
}

void RegisterTracker(PluginRegistrar& registrar) {
    ICENodeDef node = NewNode(L"Tracker");
    node.AddPortGroup(GroupIn, 1, 1, L"");
    Input(node, TrackerTag, siICENodeDataLong, siICENodeContextSingleton, L"Tag", int32_t{7});
    Input(node, TrackerValue, siICENodeDataLong, siICENodeContextComponent0D, L"Value", int32_t{0});
    node.AddPortGroup(GroupOut, 1, 1, L"");
    Output(node, TrackerIndex, siICENodeDataLong, siICENodeContextComponent0D, L"Index");
    Output(node, TrackerEcho, siICENodeDataLong, siICENodeContextComponent0D, L"Echo");
    Output(node, TrackerSeenTag, siICENodeDataLong, siICENodeContextComponent0D, L"SeenTag");
    Output(node, TrackerCount, siICENodeDataLong, siICENodeContextSingleton, L"Count");
    Register(registrar, node);
}

void RegisterGenerator(PluginRegistrar& registrar) {
    ICENodeDef node = NewNode(L"Generator");
    node.AddPortGroup(GroupIn, 1, 1, L"");
    Input(node, GeneratorCount, siICENodeDataLong, siICENodeContextSingleton, L"Count", int32_t{5});
    node.AddPortGroup(GroupOut, 1, 1, L"");
    Output(node, GeneratorPosition, siICENodeDataVector3, siICENodeContextElementGenerator,
           L"Position");
    Output(node, GeneratorNumberOfElements, siICENodeDataLong, siICENodeContextSingleton,
           L"NumberOfElements");
    Register(registrar, node);
}

void RegisterLeaky(PluginRegistrar& registrar) {
    ICENodeDef node = NewNode(L"Leaky");
    node.AddPortGroup(GroupIn, 1, 1, L"");
    Input(node, LeakyCount, siICENodeDataLong, siICENodeContextSingleton, L"Count", int32_t{0});
    node.AddPortGroup(GroupOut, 1, 1, L"");
    Output(node, LeakyFlag, siICENodeDataFloat, siICENodeContextComponent0D, L"Flag");
    Register(registrar, node);
}

void RegisterSparse(PluginRegistrar& registrar) {
    ICENodeDef node = NewNode(L"Sparse");
    node.AddPortGroup(GroupOut, 1, 1, L"");
    Output(node, SparseSkipped, siICENodeDataFloat, siICENodeContextComponent0D, L"Skipped");
    Output(node, SparseEven, siICENodeDataVector3, siICENodeContextComponent0D, L"Even");
    Output(node, SparseOdd, siICENodeDataLong, siICENodeContextComponent0D, L"Odd");
    Register(registrar, node);
}

// Also adds a second input under an ID already taken, which the registrar
// refuses but records.
void RegisterMissing(PluginRegistrar& registrar) {
    ICENodeDef node = NewNode(L"Missing");
    node.AddPortGroup(GroupIn, 1, 1, L"");
    Input(node, 0, siICENodeDataLong, siICENodeContextSingleton, L"In", int32_t{0});
    Input(node, 0, siICENodeDataLong, siICENodeContextSingleton, L"Again", int32_t{0});
    node.AddPortGroup(GroupOut, 1, 1, L"");
    Output(node, 10, siICENodeDataLong, siICENodeContextComponent0D, L"Out");
    Register(registrar, node);
}

int32_t FirstLong(ICENodeContext& context, uint32_t port) {
    CDataArray<int32_t> values;
    context.AcquireInputDataArray(values, siICENodeDataLong, port);
    int32_t value = values[0];
    context.ReleaseDataArray(values);
    return value;
}

CTrackerRecord* Record(ICENodeContext& context) {
    return static_cast<CTrackerRecord*>(context.GetUserData().GetAsPointer());
}

}  // namespace

TEST_EXPORT CStatus XSILoadPlugin(PluginRegistrar& registrar) {
    registrar.PutAuthor(L"Test Author");
    registrar.PutName(L"TestPlugin");
    registrar.PutEmail(L"test@example.org");
    registrar.PutURL(L"https://example.org");
    registrar.PutVersion(2, 5);
    RegisterScale(registrar);
    RegisterTracker(registrar);
    RegisterGenerator(registrar);
    RegisterLeaky(registrar);
    RegisterSparse(registrar);
    RegisterMissing(registrar);
    // A second node of a taken name is refused.
    RegisterScale(registrar);
    Application().LogMessage(L"Test plug-in loaded", siInfoMsg);
    return CStatus::OK;
}

// Scale ---------------------------------------------------------------------

TEST_EXPORT CStatus Scale_BeginEvaluate(ICENodeContext&) {
    return CStatus::OK;
}

TEST_EXPORT CStatus Scale_Evaluate(ICENodeContext& context) {
    CDataArray<float> factor, value, base;
    CDataArray<int32_t> shift;
    CDataArray<MATH::CVector3f> direction;
    context.AcquireInputDataArray(factor, siICENodeDataFloat, ScaleFactor);
    context.AcquireInputDataArray(value, siICENodeDataFloat, ScaleValue);
    context.AcquireInputDataArray(shift, siICENodeDataLong, ScaleShift);
    context.AcquireInputDataArray(direction, siICENodeDataVector3, ScaleDirection);
    context.AcquireInputDataArray(base, siICENodeDataFloat, ScaleBase);
    CIndexSet set;
    context.AcquireIndexSet(set);
    if (context.GetEvaluatedOutputPortID() == ScaleResult) {
        CDataArray<float> out;
        context.AcquireOutputDataArray(out, siICENodeDataFloat);
        for (CIndexSet::Iterator it = set.Begin(); it.HasNext(); it.Next()) {
            out[it] = value[it] * factor[0] + static_cast<float>(shift[it]) + base[0];
        }
        context.ReleaseDataArray(out);
    } else {
        CDataArray<MATH::CVector3f> out;
        context.AcquireOutputDataArray(out, siICENodeDataVector3);
        for (CIndexSet::Iterator it = set.Begin(); it.HasNext(); it.Next()) {
            const MATH::CVector3f& d = direction[it];
            out[it].Set(d.GetX() * factor[0], d.GetY() * factor[0], d.GetZ() * factor[0]);
        }
        context.ReleaseDataArray(out);
    }
    context.ReleaseIndexSet(set);
    context.ReleaseDataArray(factor);
    context.ReleaseDataArray(value);
    context.ReleaseDataArray(shift);
    context.ReleaseDataArray(direction);
    context.ReleaseDataArray(base);
    return CStatus::OK;
}

TEST_EXPORT CStatus Scale_EndEvaluate(ICENodeContext&) {
    return CStatus::OK;
}

// Tracker -------------------------------------------------------------------

TEST_EXPORT CStatus Tracker_BeginEvaluate(ICENodeContext& context) {
    CTrackerRecord* record = Record(context);
    if (!record) {
        record = new CTrackerRecord();
        record->tag = FirstLong(context, TrackerTag);
        context.PutUserData(CValue(static_cast<void*>(record)));
    }
    ++record->begins;
    record->beginPort = context.GetEvaluatedOutputPortID();
    return CStatus::OK;
}

TEST_EXPORT CStatus Tracker_Evaluate(ICENodeContext& context) {
    CTrackerRecord* record = Record(context);
    if (!record) {
        return CStatus::Fail;
    }
    uint32_t port = context.GetEvaluatedOutputPortID();
    CIndexSet set;
    context.AcquireIndexSet(set);
    {
        std::lock_guard lock(record->mutex);
        record->subsets.push_back({port, set.GetOffset(), set.GetCount()});
    }
    CDataArray<int32_t> value;
    context.AcquireInputDataArray(value, siICENodeDataLong, TrackerValue);
    CDataArray<int32_t> out;
    context.AcquireOutputDataArray(out, siICENodeDataLong);
    for (CIndexSet::Iterator it = set.Begin(); it.HasNext(); it.Next()) {
        switch (port) {
            case TrackerIndex:
                out[it] = static_cast<int32_t>(it.GetAbsoluteIndex());
                break;
            case TrackerEcho:
                out[it] = value[it];
                break;
            case TrackerSeenTag:
                out[it] = record->tag;
                break;
            default:
                out[it] = static_cast<int32_t>(context.GetNumberOfElementsToProcess());
                break;
        }
    }
    context.ReleaseDataArray(out);
    context.ReleaseDataArray(value);
    context.ReleaseIndexSet(set);
    record->evaluates.fetch_add(1);
    return CStatus::OK;
}

TEST_EXPORT CStatus Tracker_EndEvaluate(ICENodeContext& context) {
    CTrackerRecord* record = Record(context);
    if (!record) {
        return CStatus::Fail;
    }
    ++record->ends;
    record->endPort = context.GetEvaluatedOutputPortID();
    record->evaluatesSeenByEnd = record->evaluates.load();
    return CStatus::OK;
}

// Generator -----------------------------------------------------------------

TEST_EXPORT CStatus Generator_BeginEvaluate(ICENodeContext& context) {
    int32_t count = FirstLong(context, GeneratorCount);
    context.PutNumberOfElementsToProcess(count > 0 ? static_cast<uint32_t>(count) : 0);
    return CStatus::OK;
}

TEST_EXPORT CStatus Generator_Evaluate(ICENodeContext& context) {
    if (context.GetEvaluatedOutputPortID() == GeneratorNumberOfElements) {
        CDataArray<int32_t> out;
        context.AcquireOutputDataArray(out, siICENodeDataLong);
        out[0] = static_cast<int32_t>(context.GetNumberOfElementsToProcess());
        context.ReleaseDataArray(out);
        return CStatus::OK;
    }
    CDataArray<MATH::CVector3f> out;
    context.AcquireOutputDataArray(out, siICENodeDataVector3);
    CIndexSet set;
    context.AcquireIndexSet(set);
    for (CIndexSet::Iterator it = set.Begin(); it.HasNext(); it.Next()) {
        out[it].Set(static_cast<float>(it.GetAbsoluteIndex()), 0.0f, 0.0f);
    }
    context.ReleaseIndexSet(set);
    context.ReleaseDataArray(out);
    return CStatus::OK;
}

TEST_EXPORT CStatus Generator_EndEvaluate(ICENodeContext&) {
    return CStatus::OK;
}

// Leaky ---------------------------------------------------------------------

// Keeps the Count array: one unreleased array per evaluation. Not being an
// element generator, it may not set the element count.
TEST_EXPORT CStatus Leaky_BeginEvaluate(ICENodeContext& context) {
    CDataArray<int32_t> count;
    context.AcquireInputDataArray(count, siICENodeDataLong, LeakyCount);
    context.PutNumberOfElementsToProcess(99);
    return CStatus::OK;
}

// Keeps its index set: one unreleased index set per call.
TEST_EXPORT CStatus Leaky_Evaluate(ICENodeContext& context) {
    CDataArray<int32_t> wrong;
    bool refused = !context.AcquireOutputDataArray(wrong, siICENodeDataLong).Succeeded();
    context.ReleaseDataArray(wrong);
    CDataArray<float> out;
    context.AcquireOutputDataArray(out, siICENodeDataFloat);
    CIndexSet set;
    context.AcquireIndexSet(set);
    for (CIndexSet::Iterator it = set.Begin(); it.HasNext(); it.Next()) {
        out[it] = refused ? 1.0f : 0.0f;
    }
    context.ReleaseDataArray(out);
    return CStatus::OK;
}

TEST_EXPORT CStatus Leaky_EndEvaluate(ICENodeContext&) {
    return CStatus::Fail;
}

// Sparse --------------------------------------------------------------------

TEST_EXPORT CStatus Sparse_BeginEvaluate(ICENodeContext&) {
    return CStatus::OK;
}

template <class T>
void WriteEveryOther(ICENodeContext& context, int32_t dataType, uint32_t parity,
                     T value(uint32_t)) {
    CDataArray<T> out;
    context.AcquireOutputDataArray(out, dataType);
    CIndexSet set;
    context.AcquireIndexSet(set);
    for (CIndexSet::Iterator it = set.Begin(); it.HasNext(); it.Next()) {
        if (it.GetAbsoluteIndex() % 2 == parity) {
            out[it] = value(it.GetAbsoluteIndex());
        }
    }
    context.ReleaseIndexSet(set);
    context.ReleaseDataArray(out);
}

MATH::CVector3f EvenValue(uint32_t index) {
    return MATH::CVector3f(static_cast<float>(index), 0.0f, 0.0f);
}

int32_t OddValue(uint32_t index) {
    return static_cast<int32_t>(index);
}

TEST_EXPORT CStatus Sparse_Evaluate(ICENodeContext& context) {
    switch (context.GetEvaluatedOutputPortID()) {
        case SparseEven:
            WriteEveryOther(context, siICENodeDataVector3, 0, EvenValue);
            break;
        case SparseOdd:
            WriteEveryOther(context, siICENodeDataLong, 1, OddValue);
            break;
        default:
            break;
    }
    return CStatus::OK;
}

TEST_EXPORT CStatus Sparse_EndEvaluate(ICENodeContext&) {
    return CStatus::OK;
}

// Missing: no Missing_Evaluate ----------------------------------------------

TEST_EXPORT CStatus Missing_BeginEvaluate(ICENodeContext&) {
    return CStatus::OK;
}

TEST_EXPORT CStatus Missing_EndEvaluate(ICENodeContext&) {
    return CStatus::OK;
}
