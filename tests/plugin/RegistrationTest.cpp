// What libVelpo registers, as the host runtime recorded it at load, against
// the port tables of the three nodes.
#include <gtest/gtest.h>

#include <variant>

#include "host/core/Log.h"
#include "host/runtime/Plugin.h"
#include "host/sdk/Xsi.h"

using VelpoHost::CAdditionKind;
using VelpoHost::CNodeDefinition;
using VelpoHost::CPortAddition;
using namespace XSI;

namespace {

constexpr uint32_t None = 0xFFFFFFFFu;
constexpr int32_t Long = 2, Float = 4, Vector3 = 16;
constexpr int32_t Singleton = 1, Component0D = 2, Generator = 32;

struct CNoDefault {};
struct CVectorDefault {
    float x, y, z;
};
using CDefault = std::variant<CNoDefault, int32_t, double, CVectorDefault>;

// One row of a port table.
struct CRow {
    CAdditionKind kind;
    uint32_t id;  // groups: the group ID
    uint32_t group;
    int32_t dataType = 0;
    int32_t context = 0;
    std::string name;
    CDefault defaultValue = CNoDefault{};
    uint32_t structureConstraint = None;
    uint32_t contextConstraint = None;
};

CRow Group(uint32_t id) {
    return {CAdditionKind::Group, id, id, 0, 0, "", CNoDefault{}, None, None};
}
CRow Single(uint32_t id, const std::string& name, int32_t defaultValue) {
    return {CAdditionKind::Input, id, 100, Long, Singleton, name, defaultValue, None, None};
}
CRow PerPoint(uint32_t id, int32_t type, const std::string& name, CDefault defaultValue) {
    return {CAdditionKind::Input, id, 100, type, Component0D, name, defaultValue, 401, 402};
}
CRow Output(uint32_t id, uint32_t group, int32_t type, int32_t context, const std::string& name) {
    return {CAdditionKind::Output, id, group, type, context, name, CNoDefault{}, None, None};
}

std::vector<CRow> ExportTable() {
    std::vector<CRow> rows = {Group(100), Single(0, "Frame", 4), Single(1, "Count", 4),
                              Single(2, "Scop", 4)};
    for (uint32_t i = 0; i < 10; ++i) {
        rows.push_back(PerPoint(33 + i, Float, "Float" + std::to_string(i), 0.0));
    }
    rows.push_back(PerPoint(50, Long, "Id", int32_t{0}));
    for (uint32_t i = 0; i < 5; ++i) {
        rows.push_back(PerPoint(51 + i, Long, "Long" + std::to_string(i), 0.0));
    }
    rows.push_back(PerPoint(12, Vector3, "inPosition", CVectorDefault{0, 0, 0}));
    for (uint32_t i = 0; i < 10; ++i) {
        rows.push_back(
            PerPoint(14 + i, Vector3, "Vector" + std::to_string(i), CVectorDefault{0, 0, 0}));
    }
    rows.push_back(Group(300));
    rows.push_back(Output(200, 300, Vector3, Component0D, "Position"));
    return rows;
}

std::vector<CRow> ImportTable() {
    return {Group(100),
            Single(0, "Frame", 4),
            Single(1, "Scop", 9999),
            Group(300),
            Group(301),
            Output(200, 300, Vector3, Generator, "Position"),
            Output(201, 301, Long, Singleton, "NumberOfElements")};
}

std::vector<CRow> SetDataTable() {
    std::vector<CRow> rows = {Group(100), Single(0, "Frame", 4), Single(2, "Scop", 4),
                              PerPoint(12, Vector3, "InPosition", CVectorDefault{1, 1, 1})};
    auto numbered = [&rows](uint32_t first, uint32_t count, int32_t type,
                            const std::string& prefix) {
        for (uint32_t i = 0; i < count; ++i) {
            rows.push_back(Group(first + 100 + i));
            rows.push_back(
                Output(first + i, first + 100 + i, type, Component0D, prefix + std::to_string(i)));
        }
    };
    numbered(33, 10, Float, "Float");
    rows.push_back(Group(150));
    rows.push_back(Output(50, 150, Long, Component0D, "Id"));
    numbered(51, 5, Long, "Long");
    rows.push_back(Group(300));
    rows.push_back(Output(200, 300, Vector3, Component0D, "Position"));
    numbered(14, 10, Vector3, "Vector");
    return rows;
}

void ExpectDefault(const CValue& value, const CDefault& expected) {
    if (std::holds_alternative<CNoDefault>(expected)) {
        EXPECT_TRUE(value.IsEmpty());
    } else if (const int32_t* integer = std::get_if<int32_t>(&expected)) {
        EXPECT_EQ(value.GetType(), CValue::Int);
        EXPECT_EQ(value.GetAsInt(), *integer);
    } else if (const double* floating = std::get_if<double>(&expected)) {
        EXPECT_EQ(value.GetType(), CValue::Double);
        EXPECT_EQ(value.GetAsDouble(), *floating);
    } else {
        const CVectorDefault& v = std::get<CVectorDefault>(expected);
        EXPECT_EQ(value.GetType(), CValue::Vector3f);
        EXPECT_EQ(value.GetAsVector3f(), MATH::CVector3f(v.x, v.y, v.z));
    }
}

void ExpectTable(const CNodeDefinition& node, const std::vector<CRow>& table) {
    EXPECT_EQ(node.category, "Pdc");
    ASSERT_EQ(node.additions.size(), table.size());
    for (size_t i = 0; i < table.size(); ++i) {
        const CRow& row = table[i];
        const CPortAddition& added = node.additions[i];
        SCOPED_TRACE(node.name + " addition " + std::to_string(i + 1) + " " + row.name);
        EXPECT_TRUE(added.accepted);
        ASSERT_EQ(added.kind, row.kind);
        EXPECT_EQ(added.id, row.id);
        EXPECT_EQ(added.group, row.group);
        if (row.kind == CAdditionKind::Group) {
            EXPECT_EQ(added.minInstances, 1);
            EXPECT_EQ(added.maxInstances, 1);
            EXPECT_EQ(added.groupText, "");
            continue;
        }
        EXPECT_EQ(added.dataType, row.dataType);
        EXPECT_EQ(added.structure, 1);
        EXPECT_EQ(added.context, row.context);
        EXPECT_EQ(added.name, row.name);
        EXPECT_EQ(added.label, row.name);
        EXPECT_EQ(added.typeConstraint, None);
        EXPECT_EQ(added.structureConstraint, row.structureConstraint);
        EXPECT_EQ(added.contextConstraint, row.contextConstraint);
        if (row.kind == CAdditionKind::Input) {
            ExpectDefault(added.defaultValue, row.defaultValue);
        }
    }
}

class Registration : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        VelpoHost::CLog::Instance().SetEcho(false);
        VelpoHost::CLog::Instance().Clear();
        failedAssertions_ = CStatus::FailedAssertionCount();
        const Velpo::CResult loaded = VelpoHost::CPlugin::Load(VELPO_PLUGIN_PATH, plugin_);
        ASSERT_NE(plugin_, nullptr) << loaded.Message();
        log_ = VelpoHost::CLog::Instance().Take();
        failedAssertions_ = CStatus::FailedAssertionCount() - failedAssertions_;
    }
    static void TearDownTestSuite() { plugin_.reset(); }

    static std::shared_ptr<VelpoHost::CPlugin> plugin_;
    static std::vector<VelpoHost::CLogEntry> log_;
    static uint32_t failedAssertions_;
};

std::shared_ptr<VelpoHost::CPlugin> Registration::plugin_;
std::vector<VelpoHost::CLogEntry> Registration::log_;
uint32_t Registration::failedAssertions_ = 0;

TEST_F(Registration, IdentityAndVersion) {
    const auto& definition = plugin_->Definition();
    EXPECT_EQ(definition.name, "Velpo");
    EXPECT_FALSE(definition.author.empty());
    EXPECT_FALSE(definition.email.empty());
    EXPECT_FALSE(definition.url.empty());
    EXPECT_EQ(definition.major, 1);
    EXPECT_EQ(definition.minor, 0);
}

TEST_F(Registration, NodesInOrderImportSetDataExport) {
    std::vector<std::string> names;
    for (const CNodeDefinition& node : plugin_->Definition().nodes) {
        names.push_back(node.name);
        EXPECT_EQ(node.description, "");
    }
    EXPECT_EQ(names, (std::vector<std::string>{"VelpoImport", "VelpoSetData", "VelpoExport"}));
}

TEST_F(Registration, PortTables) {
    const auto& definition = plugin_->Definition();
    const struct {
        const char* node;
        std::vector<CRow> table;
    } cases[] = {{"VelpoImport", ImportTable()},
                 {"VelpoSetData", SetDataTable()},
                 {"VelpoExport", ExportTable()}};
    for (const auto& c : cases) {
        const CNodeDefinition* node = definition.FindNode(c.node);
        ASSERT_NE(node, nullptr) << c.node;
        ExpectTable(*node, c.table);
    }
    EXPECT_EQ(failedAssertions_, 0u);
}

TEST_F(Registration, LogsLoadedOnceAtInfoSeverity) {
    ASSERT_EQ(log_.size(), 1u);
    EXPECT_EQ(log_[0].text, "Velpo Loaded");
    EXPECT_EQ(log_[0].severity, siInfoMsg);
}

// Every callback the host will look for is there.
TEST_F(Registration, EveryNodeHasItsCallbacks) {
    for (const char* node : {"VelpoImport", "VelpoSetData", "VelpoExport"}) {
        VelpoHost::CNodeCallbacks callbacks;
        const Velpo::CResult found = plugin_->Callbacks(node, callbacks);
        EXPECT_TRUE(found) << found.Message();
    }
}

}  // namespace
