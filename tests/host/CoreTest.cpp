// The host SDK's own records: host objects, the log and registration.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/core/ContextBackend.h"
#include "host/core/Definitions.h"
#include "host/core/Log.h"
#include "host/core/ObjectTable.h"
#include "host/sdk/Xsi.h"

using namespace XSI;
using VelpoHost::CAdditionKind;
using VelpoHost::CLog;
using VelpoHost::CObjectTable;
using VelpoHost::CPluginDefinition;

namespace {

class ObjectTableTest : public ::testing::Test {
protected:
    void SetUp() override { CObjectTable::Instance().Clear(); }
    void TearDown() override { CObjectTable::Instance().Clear(); }
};

TEST_F(ObjectTableTest, ChosenIdIsReachableAndParametersReadBack) {
    CObjectTable& table = CObjectTable::Instance();
    ASSERT_EQ(table.Create(4), 4u);
    table.Find(4)->SetParameter("Path", CString(L"/cache/fluid"));
    table.Find(4)->SetParameter("Step", int32_t{250});

    ProjectItem item = Application().GetObjectFromID(4);
    ASSERT_TRUE(item.IsValid());
    EXPECT_EQ(item.GetParameter(L"Path").GetValue().GetAsText(), CString(L"/cache/fluid"));
    EXPECT_EQ(item.GetParameter(L"Step").GetValue().GetAsInt(), 250);
    EXPECT_TRUE(item.GetParameter(L"Step").IsValid());

    Parameter missing = item.GetParameter(L"Float0");
    EXPECT_FALSE(missing.IsValid());
    EXPECT_TRUE(missing.GetValue().IsEmpty());
}

TEST_F(ObjectTableTest, ChangedParametersAreSeenThroughExistingHandles) {
    CObjectTable& table = CObjectTable::Instance();
    uint32_t id = table.Create();
    table.Find(id)->SetParameter("Step", int32_t{1});
    Parameter step = Application().GetObjectFromID(id).GetParameter(L"Step");
    table.Find(id)->SetParameter("Step", int32_t{3});
    EXPECT_EQ(step.GetValue().GetAsInt(), 3);
    table.Find(id)->RemoveParameter("Step");
    EXPECT_TRUE(step.GetValue().IsEmpty());
}

TEST_F(ObjectTableTest, NewIdsAreFreshAndAboveChosenOnes) {
    CObjectTable& table = CObjectTable::Instance();
    uint32_t first = table.Create();
    uint32_t second = table.Create();
    EXPECT_NE(first, second);
    EXPECT_EQ(table.Create(5000), 5000u);
    EXPECT_GT(table.Create(), 5000u);
    // Taking the last ID does not make new IDs wrap onto used ones.
    EXPECT_EQ(table.Create(0xFFFFFFFFu), 0xFFFFFFFFu);
    uint32_t after = table.Create();
    EXPECT_NE(after, 0xFFFFFFFFu);
    EXPECT_NE(after, first);
    EXPECT_NE(after, 5000u);
}

TEST_F(ObjectTableTest, RemovedAndUnknownIdsGiveInvalidItems) {
    CObjectTable& table = CObjectTable::Instance();
    table.Create(4);
    EXPECT_TRUE(table.Remove(4));
    EXPECT_FALSE(table.Remove(4));
    for (uint32_t id : {0u, 4u, 9999u, 0xFFFFFFFFu}) {
        ProjectItem item = Application().GetObjectFromID(id);
        EXPECT_FALSE(item.IsValid()) << id;
        EXPECT_TRUE(item.GetParameter(L"Path").GetValue().IsEmpty()) << id;
    }
}

TEST(LogTest, KeepsMessagesInOrderWithSeverity) {
    CLog& log = CLog::Instance();
    log.SetEcho(false);
    log.Clear();
    Application app;
    app.LogMessage(L"first", siInfoMsg);
    app.LogMessage(L"VelpoExport: Cannot Read User Data", siErrorMsg);
    app.LogMessage(L"third");

    std::vector<VelpoHost::CLogEntry> entries = log.Take();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].text, "first");
    EXPECT_EQ(entries[0].severity, siInfoMsg);
    EXPECT_EQ(entries[1].text, "VelpoExport: Cannot Read User Data");
    EXPECT_EQ(entries[1].severity, siErrorMsg);
    EXPECT_EQ(entries[2].severity, siInfoMsg);
    EXPECT_TRUE(log.Entries().empty());
}

// Registration straight into a definition, as the runtime's loader does it.
class RegistrationTest : public ::testing::Test {
protected:
    CPluginDefinition plugin;
    PluginRegistrar registrar{&plugin};

    ICENodeDef NewNode(const wchar_t* name) {
        ICENodeDef node;
        node = Application().GetFactory().CreateICENodeDef(name, L"");
        return node;
    }
};

TEST_F(RegistrationTest, RecordsIdentityAndVersion) {
    registrar.PutAuthor(L"Author");
    registrar.PutName(L"Velpo");
    registrar.PutEmail(L"a@b.c");
    registrar.PutURL(L"https://x.y");
    registrar.PutVersion(1, 0);
    EXPECT_EQ(plugin.author, "Author");
    EXPECT_EQ(plugin.name, "Velpo");
    EXPECT_EQ(plugin.email, "a@b.c");
    EXPECT_EQ(plugin.url, "https://x.y");
    EXPECT_EQ(plugin.major, 1);
    EXPECT_EQ(plugin.minor, 0);
}

TEST_F(RegistrationTest, RecordsEveryAdditionInOrderExactlyAsGiven) {
    ICENodeDef node = NewNode(L"Node");
    ASSERT_TRUE(node.IsValid());
    EXPECT_EQ(node.AddPortGroup(100, 1, 1, L""), CStatus::OK);
    EXPECT_EQ(node.AddInputPort(55, 100, siICENodeDataLong, siICENodeStructureSingle,
                                siICENodeContextComponent0D, L"Long4", L"Long4", CValue(0.0),
                                siICENodeNoConstraint, 401, 402),
              CStatus::OK);
    EXPECT_EQ(node.AddInputPort(12, 100, siICENodeDataVector3, siICENodeStructureSingle,
                                siICENodeContextComponent0D, L"inPosition", L"label",
                                MATH::CVector3f(1, 1, 1), siICENodeNoConstraint, 401, 402),
              CStatus::OK);
    EXPECT_EQ(node.AddPortGroup(300, 1, 1, L"out"), CStatus::OK);
    EXPECT_EQ(
        node.AddOutputPort(200, 300, siICENodeDataVector3, siICENodeStructureSingle,
                           siICENodeContextElementGenerator, L"Position", L"Position",
                           siICENodeNoConstraint, siICENodeNoConstraint, siICENodeNoConstraint),
        CStatus::OK);
    PluginItem item = registrar.RegisterICENode(node);
    ASSERT_TRUE(item.IsValid());
    EXPECT_EQ(item.PutCategories(L"Pdc"), CStatus::OK);

    ASSERT_EQ(plugin.nodes.size(), 1u);
    const VelpoHost::CNodeDefinition& def = plugin.nodes[0];
    EXPECT_EQ(def.name, "Node");
    EXPECT_EQ(def.category, "Pdc");
    ASSERT_EQ(def.additions.size(), 5u);

    struct Expected {
        CAdditionKind kind;
        uint32_t id, group;
        int32_t dataType, context;
        std::string name, label;
        CValue defaultValue;
        uint32_t structureConstraint, contextConstraint;
    };
    const Expected expected[] = {
        {CAdditionKind::Group, 100, 100, 0, 0, "", "", CValue(), 0, 0},
        {CAdditionKind::Input, 55, 100, siICENodeDataLong, siICENodeContextComponent0D, "Long4",
         "Long4", CValue(0.0), 401, 402},
        {CAdditionKind::Input, 12, 100, siICENodeDataVector3, siICENodeContextComponent0D,
         "inPosition", "label", CValue(MATH::CVector3f(1, 1, 1)), 401, 402},
        {CAdditionKind::Group, 300, 300, 0, 0, "", "", CValue(), 0, 0},
        {CAdditionKind::Output, 200, 300, siICENodeDataVector3, siICENodeContextElementGenerator,
         "Position", "Position", CValue(), siICENodeNoConstraint, siICENodeNoConstraint},
    };
    for (size_t i = 0; i < 5; ++i) {
        const VelpoHost::CPortAddition& got = def.additions[i];
        const Expected& want = expected[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(got.kind, want.kind);
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(got.group, want.group);
        EXPECT_EQ(got.dataType, want.dataType);
        EXPECT_EQ(got.context, want.context);
        EXPECT_EQ(got.name, want.name);
        EXPECT_EQ(got.label, want.label);
        // The default keeps its own kind: a floating 0.0 stays floating.
        EXPECT_TRUE(got.defaultValue == want.defaultValue);
        EXPECT_EQ(got.structureConstraint, want.structureConstraint);
        EXPECT_EQ(got.contextConstraint, want.contextConstraint);
        EXPECT_TRUE(got.accepted);
    }
    EXPECT_EQ(def.additions[3].groupText, "out");
    EXPECT_EQ(def.additions[3].minInstances, 1);
    EXPECT_EQ(def.additions[3].maxInstances, 1);
    EXPECT_EQ(def.FindInput(12), &def.additions[2]);
    EXPECT_EQ(def.FindOutput(200), &def.additions[4]);
    EXPECT_EQ(def.FindInput(200), nullptr);
}

TEST_F(RegistrationTest, RefusesDuplicatesByStatusAndRecordsThem) {
    ICENodeDef node = NewNode(L"Node");
    node.AddPortGroup(100, 1, 1, L"");
    EXPECT_FALSE(node.AddPortGroup(100, 1, 1, L"").Succeeded());
    node.AddInputPort(0, 100, siICENodeDataLong, 1, 1, L"A", L"A", CValue(int32_t{4}), 0, 0, 0);
    EXPECT_FALSE(node.AddInputPort(0, 100, siICENodeDataLong, 1, 1, L"B", L"B", CValue(), 0, 0, 0)
                     .Succeeded());
    // Inputs and outputs share their IDs.
    EXPECT_FALSE(
        node.AddOutputPort(0, 100, siICENodeDataLong, 1, 2, L"C", L"C", 0, 0, 0).Succeeded());
    registrar.RegisterICENode(node);

    const VelpoHost::CNodeDefinition& def = plugin.nodes.at(0);
    ASSERT_EQ(def.additions.size(), 5u);
    EXPECT_FALSE(def.additions[1].accepted);
    EXPECT_FALSE(def.additions[3].accepted);
    EXPECT_FALSE(def.additions[4].accepted);
    EXPECT_EQ(def.FindInput(0)->name, "A");
    EXPECT_EQ(def.FindOutput(0), nullptr);

    // A second node of the same name is refused too.
    PluginItem again = registrar.RegisterICENode(node);
    EXPECT_FALSE(again.IsValid());
    EXPECT_FALSE(again.PutCategories(L"Pdc").Succeeded());
    EXPECT_EQ(plugin.nodes.size(), 1u);
}

TEST_F(RegistrationTest, RegisteringCopiesTheDefinitionAsItStands) {
    ICENodeDef node = NewNode(L"Node");
    node.AddPortGroup(100, 1, 1, L"");
    registrar.RegisterICENode(node);
    node.AddPortGroup(200, 1, 1, L"");
    EXPECT_EQ(plugin.nodes.at(0).additions.size(), 1u);
}

TEST_F(RegistrationTest, UncreatedDefinitionRefusesEverything) {
    ICENodeDef node;
    EXPECT_FALSE(node.IsValid());
    EXPECT_FALSE(node.AddPortGroup(100, 1, 1, L"").Succeeded());
    EXPECT_FALSE(node.AddOutputPort(1, 100, 2, 1, 2, L"A", L"A", 0, 0, 0).Succeeded());
    EXPECT_FALSE(registrar.RegisterICENode(node).IsValid());

    CStatus status;
    CRef ref = Application().GetFactory().CreateICENodeDef(L"", L"", &status);
    EXPECT_FALSE(ref.IsValid());
    EXPECT_EQ(status, CStatus::InvalidArgument);
    EXPECT_TRUE(plugin.nodes.empty());
}

// A context that belongs to no evaluation refuses everything and lends
// nothing, so a stray call cannot reach freed storage.
TEST(ContextTest, WithoutBackendRefusesAndLendsNothing) {
    ICENodeContext context(nullptr);
    CDataArray<float> values;
    EXPECT_FALSE(context.AcquireInputDataArray(values, siICENodeDataFloat, 0).Succeeded());
    EXPECT_EQ(values.GetCount(), 0u);
    EXPECT_EQ(values[5], 0.0f);
    EXPECT_FALSE(context.ReleaseDataArray(values) == CStatus::OK);
    CIndexSet set;
    EXPECT_FALSE(context.AcquireIndexSet(set).Succeeded());
    EXPECT_FALSE(set.Begin().HasNext());
    EXPECT_EQ(context.GetEvaluatedOutputPortID(), 0xFFFFFFFFu);
    EXPECT_TRUE(context.GetUserData().IsEmpty());
}

}  // namespace
