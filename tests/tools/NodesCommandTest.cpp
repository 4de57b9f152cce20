// nodes --json against the registration the nodes are defined by: a few
// facts that a wrong port table would break, not the whole table again.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/tools/CommandRunner.h"

namespace VelpoCommandTest {
namespace {

class NodesCommand : public testing::Test {
protected:
    static void SetUpTestSuite() {
        const CRun run = Velpo("nodes --json");
        ASSERT_EQ(run.exitCode, 0) << run.err;
        definition_ = new nlohmann::json(nlohmann::json::parse(run.out));
    }
    static void TearDownTestSuite() { delete definition_; }

    static const nlohmann::json& Node(const std::string& name) {
        for (const nlohmann::json& node : (*definition_)["nodes"]) {
            if (node["name"] == name) {
                return node;
            }
        }
        static const nlohmann::json none;
        return none;
    }
    static nlohmann::json Port(const std::string& node, const std::string& name) {
        for (const nlohmann::json& addition : Node(node)["additions"]) {
            if (addition["name"] == name) {
                return addition;
            }
        }
        return nullptr;
    }

    static nlohmann::json* definition_;
};
nlohmann::json* NodesCommand::definition_ = nullptr;

TEST_F(NodesCommand, PluginIdentityAndNodeOrder) {
    const nlohmann::json& plugin = (*definition_)["plugin"];
    EXPECT_EQ(plugin["name"], "Velpo");
    EXPECT_EQ(plugin["version"], nlohmann::json({1, 0}));
    ASSERT_EQ((*definition_)["nodes"].size(), 3u);
    EXPECT_EQ((*definition_)["nodes"][0]["name"], "VelpoImport");
    EXPECT_EQ((*definition_)["nodes"][1]["name"], "VelpoSetData");
    EXPECT_EQ((*definition_)["nodes"][2]["name"], "VelpoExport");
    for (const nlohmann::json& node : (*definition_)["nodes"]) {
        EXPECT_EQ(node["category"], "Pdc");
    }
    EXPECT_EQ(Node("VelpoImport")["additions"].size(), 7u);
    EXPECT_EQ(Node("VelpoSetData")["additions"].size(), 58u);
    EXPECT_EQ(Node("VelpoExport")["additions"].size(), 33u);
}

TEST_F(NodesCommand, DefaultsKeepTheirKind) {
    EXPECT_EQ(Port("VelpoImport", "Scop")["default"], nlohmann::json::parse(R"({"int": 9999})"));
    EXPECT_EQ(Port("VelpoImport", "Scop")["id"], 1);
    EXPECT_EQ(Port("VelpoExport", "Scop")["default"], nlohmann::json::parse(R"({"int": 4})"));
    EXPECT_EQ(Port("VelpoExport", "Long3")["default"], nlohmann::json::parse(R"({"double": 0.0})"));
    EXPECT_EQ(Port("VelpoExport", "Id")["default"], nlohmann::json::parse(R"({"int": 0})"));
    EXPECT_EQ(Port("VelpoSetData", "InPosition")["default"],
              nlohmann::json::parse(R"({"vector": [1.0, 1.0, 1.0]})"));
    EXPECT_EQ(Port("VelpoExport", "inPosition")["default"],
              nlohmann::json::parse(R"({"vector": [0.0, 0.0, 0.0]})"));
    EXPECT_TRUE(Port("VelpoExport", "Position")["default"].is_null());
}

TEST_F(NodesCommand, PortsGroupsAndConstraints) {
    const nlohmann::json& exportAdditions = Node("VelpoExport")["additions"];
    // inPosition comes after Long4, not in ID order.
    EXPECT_EQ(exportAdditions[19]["name"], "Long4");
    EXPECT_EQ(exportAdditions[20]["name"], "inPosition");
    EXPECT_EQ(exportAdditions[20]["id"], 12);
    EXPECT_EQ(Port("VelpoExport", "Vector9")["constraints"],
              nlohmann::json({4294967295u, 401, 402}));
    EXPECT_EQ(Port("VelpoExport", "Position")["constraints"],
              nlohmann::json({4294967295u, 4294967295u, 4294967295u}));
    EXPECT_EQ(Port("VelpoImport", "Position")["context"], 32);
    EXPECT_EQ(Port("VelpoImport", "NumberOfElements")["context"], 1);
    // Every SetData output sits in a group of its own, added just before it.
    const nlohmann::json& setData = Node("VelpoSetData")["additions"];
    for (size_t i = 0; i < setData.size(); ++i) {
        if (setData[i]["kind"] == "output") {
            ASSERT_GT(i, 0u);
            EXPECT_EQ(setData[i - 1]["kind"], "group");
            EXPECT_EQ(setData[i]["group"], setData[i]["id"].get<int>() + 100);
            EXPECT_EQ(setData[i - 1]["group"], setData[i]["group"]);
        }
    }
    EXPECT_EQ(Port("VelpoSetData", "Long2")["id"], 53);
    EXPECT_EQ(Port("VelpoSetData", "Float9")["dataType"], 4);
}

TEST(NodesCommandText, ListsTheLoadedPlugin) {
    const CRun run = Velpo("nodes --plugin \"" + std::string(VELPO_PLUGIN) + "\"");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Velpo 1.0"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(VELPO_PLUGIN), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("NumberOfElements"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("host log info: Velpo Loaded"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace VelpoCommandTest
