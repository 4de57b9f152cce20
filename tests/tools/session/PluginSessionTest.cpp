// The plug-in run the way the commands run it: frames of the demo scene
// written through VelpoExport and read back whole or a window at a time,
// settings replaced between runs, and what the nodes log turned into a
// step's failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/core/Log.h"
#include "host/sdk/Enums.h"
#include "plugin/Ports.h"
#include "tests/support/ScratchFolder.h"
#include "tools/common/CacheNames.h"
#include "tools/session/DemoCheck.h"
#include "tools/session/PluginSession.h"
#include "tools/session/Scene.h"

namespace VelpoTools {
namespace {

using VelpoHost::CInput;
namespace fs = std::filesystem;

CSettings SceneSettings(const fs::path& folder) {
    CSettings settings;
    settings.file = "s.json";
    settings.path = (folder / "pts.1.pdc").string();
    settings.step = 1;
    settings.floatNames[0] = "age";
    settings.longNames[0] = "state";
    settings.vectorNames[0] = "velocity";
    return settings;
}

// The inputs of VelpoExport for the scene's particles, port by port as the
// settings name them.
std::vector<std::pair<uint32_t, CInput>> Inputs(const CSettings& settings,
                                                const CSceneParticles& p) {
    std::vector<std::pair<uint32_t, CInput>> inputs;
    for (const CNamedAttribute& named : NamedAttributes(settings)) {
        CInput input = named.name == "id"         ? CInput::PerElement(p.id)
                       : named.name == "position" ? CInput::PerElement(p.position)
                       : named.name == "age"      ? CInput::PerElement(p.age)
                       : named.name == "state"    ? CInput::PerElement(p.state)
                                                  : CInput::PerElement(p.velocity);
        inputs.emplace_back(named.inputPort, std::move(input));
    }
    return inputs;
}

class PluginSessionRun : public ::testing::Test {
protected:
    void SetUp() override {
        const Velpo::CResult opened = CPluginSession::Open(VELPO_PLUGIN, session_);
        ASSERT_TRUE(opened.Succeeded()) << opened.Message();
        VelpoHost::CLog::Instance().Take();
    }

    // What the nodes logged since the last call, as the commands judge it.
    Velpo::CResult Logged(std::string& text) {
        text.clear();
        return CPluginSession::LogText(VelpoHost::CLog::Instance().Take(), text);
    }

    VelpoTestSupport::CScratchFolder scratch_;
    std::unique_ptr<CPluginSession> session_;
};

TEST_F(PluginSessionRun, SceneFramesComeBackBitForBitWholeOrInWindows) {
    const CSettings settings = SceneSettings(scratch_.Path());
    session_->UseSettings(settings);
    // Frames of 5000, 10000 and 15000 particles: more than one window each.
    CScene scene(40000);
    std::vector<std::string> reported;
    CRoundTripCheck check([&](const std::string& text) { reported.push_back(text); });
    uint64_t values = 0;
    for (int32_t frame = 1; frame <= 3; ++frame) {
        scene.Advance();
        const CSceneParticles& p = scene.Particles();
        const uint32_t count = static_cast<uint32_t>(p.Count());
        ASSERT_TRUE(session_->Export(frame, count, Inputs(settings, p), 2).Succeeded());
        ASSERT_TRUE(fs::exists(CacheFile(settings, frame))) << CacheFile(settings, frame);

        std::vector<uint32_t> ports;
        for (const CNamedAttribute& named : NamedAttributes(settings)) {
            ports.push_back(named.outputPort);
        }
        CImportedFrame imported;
        ASSERT_TRUE(session_->Import(frame, ports, 2, imported).Succeeded());
        check.CheckCount(frame, imported.count, p.Count());
        for (const CNamedAttribute& named : NamedAttributes(settings)) {
            const char* name = named.name.c_str();
            if (named.name == "id") {
                check.Check(frame, name, imported, named.outputPort, p.id);
            } else if (named.name == "position") {
                check.Check(frame, name, imported, named.outputPort, p.position);
            } else if (named.name == "age") {
                check.Check(frame, name, imported, named.outputPort, p.age);
            } else if (named.name == "state") {
                check.Check(frame, name, imported, named.outputPort, p.state);
            } else {
                check.Check(frame, name, imported, named.outputPort, p.velocity);
            }
        }
        values += 5 * p.Count();

        // Windows (of at least the 64 elements asked for): in order, without
        // gaps, all alike but the last.
        uint32_t next = 0;
        uint32_t windows = 0;
        uint32_t size = 0;
        std::vector<int32_t> ids;
        uint32_t windowCount = 0;
        const Velpo::CResult windowed = session_->ImportWindows(
            frame, {PortId}, 1, 64,
            [&](const VelpoHost::COutputWindow& window) {
                EXPECT_EQ(window.first, next);
                EXPECT_GE(window.count, 1u);
                // Every window before this one was whole.
                EXPECT_TRUE(windows == 0 || next == size * windows);
                size = windows == 0 ? window.count : size;
                EXPECT_LE(window.count, size);
                const auto* part = std::get_if<std::vector<int32_t>>(&window.outputs.at(PortId));
                EXPECT_NE(part, nullptr);
                if (part) {
                    EXPECT_EQ(part->size(), window.count);
                    ids.insert(ids.end(), part->begin(), part->end());
                }
                next += window.count;
                ++windows;
                return true;
            },
            windowCount);
        ASSERT_TRUE(windowed.Succeeded()) << windowed.Message();
        EXPECT_EQ(windowCount, count);
        EXPECT_EQ(next, count);
        EXPECT_GE(size, 64u);
        EXPECT_LT(size, count);
        EXPECT_EQ(windows, (count + size - 1) / size);
        EXPECT_EQ(ids, p.id);
    }
    EXPECT_TRUE(check.Exact()) << check.Summary(false);
    EXPECT_EQ(check.Compared(), values);
    EXPECT_TRUE(reported.empty());
    std::string log;
    EXPECT_TRUE(Logged(log).Succeeded()) << log;
}

TEST_F(PluginSessionRun, NewSettingsSendTheFilesElsewhereAndAMissingFrameIsLogged) {
    const fs::path first = scratch_.Path() / "first";
    const fs::path second = scratch_.Path() / "second";
    fs::create_directories(first);
    fs::create_directories(second);
    CScene scene(20);
    scene.Advance();
    const CSceneParticles& p = scene.Particles();
    const uint32_t count = static_cast<uint32_t>(p.Count());
    for (const fs::path& folder : {first, second}) {
        const CSettings settings = SceneSettings(folder);
        session_->UseSettings(settings);
        ASSERT_TRUE(session_->Export(7, count, Inputs(settings, p), 1).Succeeded());
    }
    EXPECT_TRUE(fs::exists(first / "pts.7.pdc"));
    EXPECT_TRUE(fs::exists(second / "pts.7.pdc"));
    EXPECT_EQ(fs::file_size(first / "pts.7.pdc"), fs::file_size(second / "pts.7.pdc"));
    // Reading follows the settings in use: frame 7 is there, frame 8 is not.
    fs::remove(first / "pts.7.pdc");
    CImportedFrame imported;
    ASSERT_TRUE(session_->Import(7, {PortId}, 1, imported).Succeeded());
    EXPECT_EQ(imported.count, count);
    std::string log;
    EXPECT_TRUE(Logged(log).Succeeded()) << log;
    ASSERT_TRUE(session_->Import(8, {PortId}, 1, imported).Succeeded());
    EXPECT_EQ(imported.count, 0u);
    EXPECT_TRUE(imported.outputs.empty());
    EXPECT_FALSE(Logged(log).Succeeded()) << "a missing cache is the nodes' error";
    EXPECT_NE(log.find("pts.8.pdc"), std::string::npos) << log;
}

TEST(PluginSessionOpen, AMissingPlugInIsNamed) {
    std::unique_ptr<CPluginSession> session;
    const std::string missing = "/nonexistent/folder/libNothing.so";
    const Velpo::CResult opened = CPluginSession::Open(missing, session);
    ASSERT_FALSE(opened.Succeeded());
    EXPECT_NE(opened.Message().find(missing), std::string::npos) << opened.Message();
    EXPECT_EQ(session, nullptr);
}

TEST(PluginSessionLogText, EachEntryIsOneEscapedLineAndErrorsAreCounted) {
    struct CCase {
        std::vector<VelpoHost::CLogEntry> entries;
        const char* text;
        const char* failure;  // empty: no error logged
    } cases[] = {
        {{}, "", ""},
        {{{"Velpo Loaded", XSI::siInfoMsg}}, "host log info: Velpo Loaded\n", ""},
        {{{"a\nb", XSI::siErrorMsg}, {"c", 4}},  // any other severity reads as info
         "host log error: a\\nb\nhost log info: c\n",
         "the nodes logged 1 error (shown above)"},
        {{{"x", XSI::siErrorMsg}, {"y", XSI::siErrorMsg}},
         "host log error: x\nhost log error: y\n",
         "the nodes logged 2 errors (shown above)"},
    };
    for (const CCase& c : cases) {
        std::string text = "before\n";
        const Velpo::CResult logged = CPluginSession::LogText(c.entries, text);
        EXPECT_EQ(text, std::string("before\n") + c.text);
        EXPECT_EQ(logged.Succeeded(), std::string(c.failure).empty());
        EXPECT_EQ(logged.Message(), c.failure);
    }
}

}  // namespace
}  // namespace VelpoTools
