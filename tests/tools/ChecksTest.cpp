// The checks the commands make before and after the nodes run: cache names
// of a frame range, settings that name an attribute twice, a cache against
// the attributes the settings name, the demo's count of differing values,
// and files that replace others only when whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/core/Log.h"
#include "host/sdk/Enums.h"
#include "plugin/Ports.h"
#include "tests/pdc/PdcTestFiles.h"
#include "tests/tools/KeptConsole.h"
#include "tools/common/CacheNames.h"
#include "tools/common/OutputFile.h"
#include "tools/common/Settings.h"
#include "tools/session/CacheCheck.h"
#include "tools/session/DemoCheck.h"
#include "tools/session/PluginSession.h"

namespace VelpoTools {
namespace {

using PdcTest::CBytes;

CSettings Settings(const std::string& path, int32_t step) {
    CSettings settings;
    settings.file = "s.json";
    settings.path = path;
    settings.step = step;
    return settings;
}

TEST(CacheNames, TwoFramesOfOneFileAreFoundWhateverTheRangeLength) {
    struct CCase {
        int32_t step;
        int32_t first;
        int32_t last;
        const char* problem;  // empty: every frame has a file of its own
    };
    const CCase cases[] = {
        {1, -2147483647 - 1, 2147483647, ""},
        {-1, 0, 2147483647, ""},
        {250, 1, 1000000, ""},
        {2, 0, 2147483647, ""},
        {0, 5, 5, ""},
        {0, 5, 6, "frames 5 and 6 would both be written to c/p.0.pdc (\"Step\" is 0)"},
        {2, -2147483647 - 1, 0, "frames -2147483648 and 0 would both be written to c/p.0.pdc"},
        {-2147483647 - 1, 1, 3,
         "frames 1 and 3 would both be written to c/p.2147483648.pdc (frame * \"Step\" "
         "-2147483648 wraps around 2^32)"},
        {65536 * 3, 10, 65545, ""},
        {65536 * 3, 10, 65546, "frames 10 and 65546 would both be written to c/p.1966080.pdc"},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.step) + ": " + std::to_string(c.first) + "-" +
                     std::to_string(c.last));
        const CSettings settings = Settings("c/p", c.step);
        const Velpo::CResult checked = CheckDistinctCacheFiles(settings, c.first, c.last);
        if (std::string(c.problem).empty()) {
            EXPECT_TRUE(checked.Succeeded()) << checked.Message();
            continue;
        }
        ASSERT_FALSE(checked.Succeeded());
        EXPECT_NE(checked.Message().find(c.problem), std::string::npos) << checked.Message();
    }
    // What the check reports is what the naming gives.
    EXPECT_EQ(CacheFile(Settings("c/p", 65536 * 3), 10),
              CacheFile(Settings("c/p", 65536 * 3), 65546));
    EXPECT_EQ(CacheFile(Settings("c/p", 2), 0), CacheFile(Settings("c/p", 2), -2147483647 - 1));
}

TEST(CacheNames, ACutInsideAFolderNameIsFlaggedWithTheFirstFile) {
    struct CCase {
        const char* path;
        const char* firstFile;  // empty: no warning
    };
    const CCase cases[] = {
        {"../x/fluid", ".1.pdc"},
        {"./fluid", ""},
        {"/cache/run.2/particles.pdc", "/cache/run.1.pdc"},
        {"/cache/run.2/particles", ""},
        {"/cache/particles.250.pdc", ""},
        {"/cache/run.2/particles.7.pdc", ""},
        {"cache.v2/particles.1.pdc", ""},
        {"a.b/c.d/pts", "a.1.pdc"},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string warning = FolderCutWarning(Settings(c.path, 1), 1);
        if (std::string(c.firstFile).empty()) {
            EXPECT_EQ(warning, "");
        } else {
            EXPECT_NE(warning.find(std::string("the first is ") + c.firstFile), std::string::npos)
                << warning;
            EXPECT_EQ(warning.rfind("s.json: \"Path\" \"", 0), 0u) << warning;
        }
    }
}

TEST(SettingsWarnings, EachParameterThatRepeatsANameIsFlagged) {
    CSettings settings = Settings("c", 1);
    settings.floatNames = {"age", "mass", "age"};
    settings.longNames = {"id"};
    settings.vectorNames = {"vel", "position"};
    EXPECT_EQ(SettingsWarnings(settings),
              (std::vector<std::string>{
                  "s.json: \"Float2\" names \"age\" like \"Float0\": the cache gets two records "
                  "of that name, which other programs may take for one",
                  "s.json: \"Long0\" names \"id\" like the Id port: the cache gets two records "
                  "of that name, which other programs may take for one",
                  "s.json: \"Vector1\" names \"position\" like the Position port: the cache gets "
                  "two records of that name, which other programs may take for one"}));
    settings.floatNames[2] = "heat";
    settings.longNames[0] = "heat";  // a Float and a Long of one name: two records too
    settings.vectorNames[1] = "";
    ASSERT_EQ(SettingsWarnings(settings).size(), 1u);
}

class CacheCheck : public testing::Test {
protected:
    // "ok", then each slot no record fills; or the failure.
    std::string Check(const CBytes& file, const CSettings& settings, uint32_t maxElements = 1000) {
        const std::string path = folder_.File("c.pdc");
        PdcTest::WriteFile(path, file.Get());
        std::vector<CNamedAttribute> unfilled;
        const Velpo::CResult checked =
            CheckCacheFile(path, NamedAttributes(settings), maxElements, unfilled);
        if (!checked) {
            return checked.Message().substr(path.size() + 2);
        }
        std::string result = "ok";
        for (const CNamedAttribute& attribute : unfilled) {
            result += "; no \"" + attribute.name + "\" for " + attribute.Owner();
        }
        return result;
    }

    PdcTest::CTempFolder folder_;
};

TEST_F(CacheCheck, EachNamedSlotNeedsARecordItTakesInTheFileLayersOrder) {
    CSettings settings = Settings("c", 1);
    settings.floatNames = {"age", "age"};
    const CBytes idAndPosition = CBytes()
                                     .Header(1, 4)
                                     .Record("id", 1)
                                     .Int32(5)
                                     .Record("position", 4)
                                     .Double(0)
                                     .Double(0)
                                     .Double(0);
    // Both "age" slots filled: two records.
    EXPECT_EQ(Check(CBytes(idAndPosition).Record("age", 2).Double(1).Record("age", 3).Double(2),
                    settings),
              "ok");
    // One record fills the first slot only: the nodes give zeros for the
    // second, which the file is read with.
    EXPECT_EQ(
        Check(CBytes(idAndPosition).Record("age", 2).Double(1).Record("zz", 2).Double(2), settings),
        "ok; no \"age\" for \"Float1\"");
    // A vector record is no Float.
    EXPECT_EQ(Check(CBytes(idAndPosition)
                        .Record("age", 2)
                        .Double(1)
                        .Record("age", 4)
                        .Double(1)
                        .Double(2)
                        .Double(3),
                    settings),
              "ok; no \"age\" for \"Float1\"");
    // Neither id nor position: every slot is listed, in slot order.
    EXPECT_EQ(Check(CBytes().Header(1, 1).Record("zz", 2).Double(2), settings),
              "ok; no \"age\" for \"Float0\"; no \"age\" for \"Float1\"; no \"id\" for the Id "
              "port; no \"position\" for the Position port");
    // An integer "id" record passes a Float slot named "id" (Float slots take
    // doubles only) and goes to the id slot, so the Float slot stays empty.
    settings.floatNames = {"id"};
    EXPECT_EQ(Check(CBytes()
                        .Header(1, 2)
                        .Record("id", 1)
                        .Int32(5)
                        .Record("position", 4)
                        .Double(0)
                        .Double(0)
                        .Double(0),
                    settings),
              "ok; no \"id\" for \"Float0\"");
}

TEST_F(CacheCheck, CountsThatNoFileOrRuntimeCanHoldAreRefused) {
    const CSettings settings = Settings("c", 1);
    const auto singles = [](int32_t count) {
        return CBytes()
            .Header(count, 2)
            .Record("id", 2)
            .Double(1)
            .Record("position", 4)
            .Double(0)
            .Double(0)
            .Double(0);
    };
    EXPECT_EQ(Check(singles(1000), settings), "ok");
    EXPECT_EQ(Check(singles(1001), settings),
              "the header claims 1001 particles, more than the 1000 elements the host runtime "
              "evaluates (forged particle count?)");
    EXPECT_EQ(Check(singles(-1), settings), "the header claims a negative particle count -1");
    EXPECT_NE(Check(CBytes().Header(1000, 2).Record("id", 3).Double(1), settings)
                  .find("1000 values need 8000 bytes, only 8 are left"),
              std::string::npos);
}

TEST(RoundTripCheck, CountsEachDifferingValueOnceAndSaysHowMany) {
    std::vector<std::string> reported;
    CRoundTripCheck check([&](const std::string& text) { reported.push_back(text); });
    CImportedFrame imported;
    imported.count = 30;
    std::vector<float> written(30, 0.5f);
    std::vector<float> read = written;
    read[17] = 0.25f;  // the changed value
    imported.outputs[PortFloatBase] = read;
    imported.outputs[PortId] = std::vector<int32_t>(30, 4);
    check.CheckCount(3, imported.count, 30);
    check.Check(3, "age", imported, PortFloatBase, written);
    check.Check(3, "id", imported, PortId, std::vector<int32_t>(30, 4));
    EXPECT_EQ(check.Compared(), 60u);
    EXPECT_EQ(check.Differing(), 1u);
    EXPECT_EQ(check.Summary(false), "round trip: NOT exact, 1 of 60 values differ");
    EXPECT_EQ(reported,
              (std::vector<std::string>{"frame 3: \"age\" of particle 17: wrote 0.5, read 0.25"}));

    // A port with no values: each of its values differs, and never more
    // values differ than were compared.
    check.Check(4, "mass", imported, PortFloatBase + 1, written);
    check.CheckCount(4, 32, 30);
    EXPECT_EQ(check.Compared(), 90u);
    EXPECT_EQ(check.Differing(), 31u);
    EXPECT_EQ(check.Summary(true),
              "round trip: NOT exact, 31 of 90 values differ; VelpoImport reported wrong "
              "particle counts; VelpoSetData gave the wrong number of values; the nodes logged "
              "errors");

    CRoundTripCheck exact([](const std::string&) {});
    exact.Check(1, "id", imported, PortId, std::vector<int32_t>(30, 4));
    EXPECT_EQ(exact.Summary(false), "round trip: exact, 30 values read back unchanged");
    imported.outputs[PortId] = std::vector<int32_t>(31, 4);
    exact.Check(1, "id", imported, PortId, std::vector<int32_t>(30, 4));
    EXPECT_FALSE(exact.Exact()) << "an extra value is no exact round trip";
}

TEST(WriteFileReplacing, AFileIsReplacedOnlyWhenWholeAndNothingElseIs) {
    PdcTest::CTempFolder folder;
    const std::filesystem::path target = folder.File("t.csv");
    PdcTest::WriteFile(target.string(), {'o', 'l', 'd'});
    ASSERT_TRUE(WriteFileReplacing(target, [](COutput& out) { out.Write("new"); }).Succeeded());
    EXPECT_EQ(PdcTest::ReadFile(target.string()), (PdcTest::Bytes{'n', 'e', 'w'}));

    const std::filesystem::path folderTarget = folder.File("f.csv");
    std::filesystem::create_directory(folderTarget);
    const Velpo::CResult refused =
        WriteFileReplacing(folderTarget, [](COutput& out) { out.Write("x"); });
    EXPECT_EQ(refused.Message(), folderTarget.string() +
                                     ": cannot be written: is a folder; the earlier file, if any, "
                                     "is kept");

    const std::filesystem::path nowhere = folder.File("none/t.csv");
    const Velpo::CResult failed = WriteFileReplacing(nowhere, [](COutput& out) { out.Write("x"); });
    EXPECT_NE(failed.Message().find(nowhere.string() + ": cannot be written"), std::string::npos)
        << failed.Message();

    // Only the two files made here are in the folder: no scrap is left.
    size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folderTarget.parent_path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 2u);
}

// The nodes report every failure in the log and return OK: a logged error
// is what fails an import or export frame.
TEST(PluginSessionLog, AnErrorTheNodesLogFailsTheStep) {
    std::unique_ptr<CPluginSession> session;
    const Velpo::CResult opened = CPluginSession::Open(VELPO_PLUGIN, session);
    ASSERT_TRUE(opened.Succeeded()) << opened.Message();
    CKeptConsole console;
    EXPECT_TRUE(session->ShowLog(console).Succeeded()) << "loading logs only \"Velpo Loaded\"";
    EXPECT_EQ(console.err, "host log info: Velpo Loaded\n");
    console.err.clear();
    VelpoHost::CLog::Instance().Add("VelpoSetData: Cannot Read c.pdc", XSI::siErrorMsg);
    VelpoHost::CLog::Instance().Add("an information\x01", XSI::siInfoMsg);
    EXPECT_EQ(session->ShowLog(console).Message(), "the nodes logged 1 error (shown above)");
    EXPECT_EQ(console.err,
              "host log error: VelpoSetData: Cannot Read c.pdc\n"
              "host log info: an information\\x01\n");
    console.err.clear();
    EXPECT_TRUE(session->ShowLog(console).Succeeded()) << "each message counts once";
    EXPECT_EQ(console.err, "");
    EXPECT_EQ(console.out, "");
}

}  // namespace
}  // namespace VelpoTools
