// Loading plug-in libraries: what a plug-in registered, and the errors of
// files that are not plug-ins.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "host/core/Log.h"
#include "host/runtime/Plugin.h"
#include "tests/host/TestPlugin.h"

using namespace VelpoHost;
namespace fs = std::filesystem;

namespace {

std::shared_ptr<CPlugin> LoadTestPlugin() {
    std::shared_ptr<CPlugin> plugin;
    const CResult loaded = CPlugin::Load(VELPO_TEST_PLUGIN, plugin);
    EXPECT_TRUE(plugin) << loaded.Message();
    EXPECT_TRUE(loaded.Message().empty());
    return plugin;
}

TEST(PluginTest, KeepsIdentityAndNodesInOrder) {
    CLog::Instance().SetEcho(false);
    CLog::Instance().Clear();
    std::shared_ptr<CPlugin> plugin = LoadTestPlugin();
    ASSERT_TRUE(plugin);
    const CPluginDefinition& definition = plugin->Definition();
    EXPECT_EQ(definition.name, "TestPlugin");
    EXPECT_EQ(definition.author, "Test Author");
    EXPECT_EQ(definition.email, "test@example.org");
    EXPECT_EQ(definition.url, "https://example.org");
    EXPECT_EQ(definition.major, 2);
    EXPECT_EQ(definition.minor, 5);

    // The plug-in registers Scale a second time; that one is refused.
    const char* names[] = {"Scale", "Tracker", "Generator", "Leaky", "Sparse", "Missing"};
    ASSERT_EQ(definition.nodes.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(definition.nodes[i].name, names[i]);
        EXPECT_EQ(definition.nodes[i].category, "Test");
    }

    std::vector<CLogEntry> log = CLog::Instance().Take();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text, "Test plug-in loaded");
    EXPECT_EQ(log[0].severity, XSI::siInfoMsg);
}

TEST(PluginTest, KeepsPortsExactlyAsAdded) {
    std::shared_ptr<CPlugin> plugin = LoadTestPlugin();
    ASSERT_TRUE(plugin);
    const CNodeDefinition* scale = plugin->Definition().FindNode("Scale");
    ASSERT_TRUE(scale);
    ASSERT_EQ(scale->additions.size(), 9u);
    const CPortAddition& shift = scale->additions[3];
    EXPECT_EQ(shift.kind, CAdditionKind::Input);
    EXPECT_EQ(shift.id, VelpoTest::ScaleShift);
    EXPECT_EQ(shift.name, "Shift");
    EXPECT_EQ(shift.dataType, XSI::siICENodeDataLong);
    EXPECT_TRUE(shift.defaultValue == XSI::CValue(1.5));
    EXPECT_EQ(scale->additions[8].kind, CAdditionKind::Output);
    EXPECT_EQ(scale->additions[8].name, "Moved");

    const CNodeDefinition* missing = plugin->Definition().FindNode("Missing");
    ASSERT_TRUE(missing);
    EXPECT_FALSE(missing->additions[2].accepted);
    EXPECT_EQ(missing->FindInput(0)->name, "In");
}

TEST(PluginTest, FindsCallbacksAndNamesMissingOnes) {
    std::shared_ptr<CPlugin> plugin = LoadTestPlugin();
    ASSERT_TRUE(plugin);
    CNodeCallbacks callbacks;
    CResult found = plugin->Callbacks("Scale", callbacks);
    ASSERT_TRUE(found) << found.Message();
    EXPECT_TRUE(callbacks.begin && callbacks.evaluate && callbacks.end);
    EXPECT_NE(callbacks.begin, callbacks.evaluate);

    found = plugin->Callbacks("Missing", callbacks);
    std::string error = found.Message();
    EXPECT_FALSE(found);
    EXPECT_NE(error.find(VELPO_TEST_PLUGIN), std::string::npos) << error;
    EXPECT_NE(error.find("Missing_Evaluate"), std::string::npos) << error;
    EXPECT_EQ(error.find("Missing_BeginEvaluate"), std::string::npos) << error;

    found = plugin->Callbacks("Nothing", callbacks);
    error = found.Message();
    EXPECT_FALSE(found);
    EXPECT_NE(error.find("Nothing_BeginEvaluate, Nothing_Evaluate, Nothing_EndEvaluate"),
              std::string::npos)
        << error;
}

TEST(PluginTest, BadFilesGiveErrorsNamingTheFileAndReason) {
    fs::path folder =
        fs::temp_directory_path() / ("velpo_plugin_test_" + std::to_string(std::random_device()()));
    fs::create_directories(folder);
    std::string text = (folder / "notes.so").string();
    std::ofstream(text) << "this is not a library\n";
    std::string empty = (folder / "empty.so").string();
    std::ofstream(empty).flush();

    struct Case {
        std::string path;
        std::string reason;
    };
    const Case cases[] = {
        {(folder / "absent.so").string(), "no such file"},
        {folder.string(), "folder"},
        {text, "cannot load the plug-in library"},
        {empty, "cannot load the plug-in library"},
        {VELPO_TEST_NOENTRY, "does not export XSILoadPlugin"},
    };
    for (const Case& c : cases) {
        std::shared_ptr<CPlugin> plugin;
        const CResult loaded = CPlugin::Load(c.path, plugin);
        const std::string& error = loaded.Message();
        EXPECT_FALSE(loaded) << c.path;
        EXPECT_FALSE(plugin) << c.path;
        EXPECT_NE(error.find(c.path + ": "), std::string::npos) << error;
        size_t reason = error.find(c.reason);
        ASSERT_NE(reason, std::string::npos) << error;
        // The loader's own explanation follows ours.
        if (c.reason == "cannot load the plug-in library") {
            EXPECT_GT(error.size(), reason + c.reason.size() + 2) << error;
        }
    }
    fs::remove_all(folder);
}

}  // namespace
