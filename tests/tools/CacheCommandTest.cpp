// export then import: the user's tables into caches through the nodes and
// back out, value for value.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/tools/CommandRunner.h"

namespace VelpoCommandTest {
namespace {

constexpr const char* Settings =
    R"({"Path": "CACHE/pts", "Step": 10, "Float0": "age", "Long0": "kind", "Vector0": "vel"})";

std::string SettingsFile(const CScratch& scratch) {
    std::string text = Settings;
    text.replace(text.find("CACHE"), 5, scratch.Path().generic_string());
    WriteFile(scratch.Path() / "settings.json", text);
    return scratch / "settings.json";
}

// Written the way import writes them, so the round trip can be compared
// byte for byte: extremes, a subnormal, negative zero, values with no short
// binary form.
constexpr const char* Frame1Csv =
    "id,position.x,position.y,position.z,age,kind,vel.x,vel.y,vel.z\n"
    "1,0.1,2,-3.5,0.25,3,1e-07,0,-0\n"
    "2,3.4028235e+38,-1.5,1e-45,1,-2147483648,1,2,3\n"
    "2147483647,-1.1754944e-38,0.33333334,16777216,-0.7,2147483647,-4,5.5,6\n";
constexpr const char* Frame2Csv =
    "id,position.x,position.y,position.z,age,kind,vel.x,vel.y,vel.z\n"
    "-5,1,1,1,0.5,0,0.1,0.2,0.3\n";

TEST(CacheCommands, CsvTablesComeBackExactlyThroughTheNodes) {
    CScratch scratch;
    const std::string settings = SettingsFile(scratch);
    WriteFile(scratch.Path() / "in.1.csv", Frame1Csv);
    WriteFile(scratch.Path() / "in.2.csv", Frame2Csv);
    const CRun exported = Velpo("export --settings \"" + settings + "\" --frames 1-2 --input \"" +
                                (scratch / "in.#.csv") + "\"");
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_NE(exported.out.find("pts.20.pdc"), std::string::npos) << exported.out;
    EXPECT_TRUE(std::filesystem::exists(scratch.Path() / "pts.10.pdc"));

    const CRun imported = Velpo("import --settings \"" + settings + "\" --frames 1-2 --output \"" +
                                (scratch / "out.#.csv") + "\"");
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_EQ(ReadFile(scratch.Path() / "out.1.csv"), Frame1Csv);
    EXPECT_EQ(ReadFile(scratch.Path() / "out.2.csv"), Frame2Csv);
}

TEST(CacheCommands, JsonTablesRoundTripAndAConstantIsWrittenOnce) {
    CScratch scratch;
    const std::string settings = SettingsFile(scratch);
    WriteFile(scratch.Path() / "in.json", R"({"particleCount": 2, "attributes": {
        "id": [7, 8], "position": [[0.1, 0.2, 0.3], [-1, -2, -3]],
        "age": 0.75, "kind": [1, 2], "vel": [4, 5, 6]}})");
    ASSERT_EQ(Velpo("export --settings \"" + settings + "\" --frames 4 --input \"" +
                    (scratch / "in.json") + "\"")
                  .exitCode,
              0);
    // One value for every particle goes to the file as a single-value record.
    const CRun info = Velpo("info --json \"" + (scratch / "pts.40.pdc") + "\"");
    const nlohmann::json file = nlohmann::json::parse(info.out);
    std::map<std::string, int> codes;
    for (const nlohmann::json& record : file["records"]) {
        codes[record["name"]] = record["code"];
    }
    EXPECT_EQ(codes, (std::map<std::string, int>{
                         {"age", 2}, {"id", 3}, {"kind", 3}, {"position", 5}, {"vel", 4}}));

    ASSERT_EQ(Velpo("import --settings \"" + settings + "\" --frames 4 --output \"" +
                    (scratch / "out.json") + "\"")
                  .exitCode,
              0);
    const nlohmann::json table = nlohmann::json::parse(ReadFile(scratch.Path() / "out.json"));
    EXPECT_EQ(table["particleCount"], 2);
    EXPECT_EQ(table["attributes"]["id"], nlohmann::json({7, 8}));
    EXPECT_EQ(table["attributes"]["age"], nlohmann::json({0.75, 0.75}));
    EXPECT_EQ(table["attributes"]["vel"], nlohmann::json({{4, 5, 6}, {4, 5, 6}}));
    EXPECT_EQ(table["attributes"]["position"][0].dump(), "[0.1,0.2,0.3]");
    // import's JSON is export's input: a second pass gives the same table.
    ASSERT_EQ(Velpo("export --settings \"" + settings + "\" --frames 4 --input \"" +
                    (scratch / "out.json") + "\"")
                  .exitCode,
              0);
    ASSERT_EQ(Velpo("import --settings \"" + settings + "\" --frames 4 --output \"" +
                    (scratch / "again.json") + "\"")
                  .exitCode,
              0);
    EXPECT_EQ(ReadFile(scratch.Path() / "again.json"), ReadFile(scratch.Path() / "out.json"));
}

TEST(CacheCommands, MissingCacheIsReportedAfterTheOtherFramesAreDone) {
    CScratch scratch;
    const std::string settings = SettingsFile(scratch);
    WriteFile(scratch.Path() / "in.2.csv", Frame2Csv);
    ASSERT_EQ(Velpo("export --settings \"" + settings + "\" --frames 2 --input \"" +
                    (scratch / "in.#.csv") + "\"")
                  .exitCode,
              0);
    const CRun run = Velpo("import --settings \"" + settings + "\" --frames 1-3 --output \"" +
                           (scratch / "out.#.csv") + "\"");
    EXPECT_EQ(run.exitCode, 1);
    // The cache is checked before the nodes run; the settings give the path
    // with '/', which the message repeats as given.
    EXPECT_NE(run.err.find((scratch.Path() / "pts.10.pdc").generic_string() +
                           ": cannot be opened for reading: no such file; no table written for "
                           "frame 1"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("pts.30.pdc"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(scratch.Path() / "out.2.csv"), Frame2Csv);
    EXPECT_FALSE(std::filesystem::exists(scratch.Path() / "out.1.csv"));
}

// A cache whose header reads but whose records are cut short: VelpoImport
// counts its particles, VelpoSetData gets no record and writes nothing, and
// import must say so rather than write a table of values nobody read.
TEST(CacheCommands, CacheCutInsideItsRecordsWritesNoTable) {
    CScratch scratch;
    const std::string settings = SettingsFile(scratch);
    WriteFile(scratch.Path() / "in.2.csv", Frame2Csv);
    ASSERT_EQ(Velpo("export --settings \"" + settings + "\" --frames 2 --input \"" +
                    (scratch / "in.#.csv") + "\"")
                  .exitCode,
              0);
    const std::string cache = ReadFile(scratch.Path() / "pts.20.pdc");
    WriteFile(scratch.Path() / "pts.20.pdc", cache.substr(0, cache.size() - 4));
    const CRun run = Velpo("import --settings \"" + settings + "\" --frames 2 --output \"" +
                           (scratch / "out.#.csv") + "\"");
    EXPECT_EQ(run.exitCode, 1);
    // The cache is named from "Path", written with forward slashes.
    EXPECT_NE(run.err.find(scratch.Path().generic_string() + "/pts.20.pdc: record 4 at byte 125"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("no table written for frame 2"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(scratch.Path() / "out.2.csv"));
}

// A readable cache without a record the settings name (here a peer's file
// with "particleId" and no "id", and frames without "vel") is read as the
// nodes read it, zeros for what is missing, with one warning for the whole
// sequence; --strict makes that a failure.
TEST(CacheCommands, CachesLackingNamedRecordsAreReadAsTheNodesReadThem) {
    CScratch scratch;
    const std::string settings = SettingsFile(scratch);
    const auto cache = [](bool id, bool vel) {
        CPdcBytes bytes;
        bytes.Header(2, 4 + (vel ? 1 : 0)).Record(id ? "id" : "particleId", 1).Int(7).Int(8);
        bytes.Record("position", 5).Doubles({0.5, 1, 2, -1, -2, -3});
        bytes.Record("age", 3).Doubles({0.25, 0.75});
        bytes.Record("kind", 1).Int(3).Int(4);
        if (vel) {
            bytes.Record("vel", 5).Doubles({1, 2, 3, 4, 5, 6});
        }
        return bytes.Bytes();
    };
    WriteFile(scratch.Path() / "pts.10.pdc", cache(false, false));
    WriteFile(scratch.Path() / "pts.20.pdc", cache(true, true));
    WriteFile(scratch.Path() / "pts.30.pdc", cache(true, false));
    const std::string import = "import --settings \"" + settings + "\" --frames 1-3 --output \"" +
                               (scratch / "out.#.csv") + "\"";
    const CRun run = Velpo(import);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(scratch.Path() / "out.1.csv"),
              "id,position.x,position.y,position.z,age,kind,vel.x,vel.y,vel.z\n"
              "0,0.5,1,2,0.25,3,0,0,0\n0,-1,-2,-3,0.75,4,0,0,0\n");
    EXPECT_EQ(ReadFile(scratch.Path() / "out.2.csv"),
              "id,position.x,position.y,position.z,age,kind,vel.x,vel.y,vel.z\n"
              "7,0.5,1,2,0.25,3,1,2,3\n8,-1,-2,-3,0.75,4,4,5,6\n");
    EXPECT_TRUE(std::filesystem::exists(scratch.Path() / "out.3.csv"));
    // One warning for the sequence, each missing record with its first frame.
    const std::string first = (scratch.Path() / "pts.10.pdc").generic_string();
    EXPECT_EQ(run.err.find("warning"), run.err.rfind("warning")) << run.err;
    EXPECT_NE(run.err.find("velpo import: warning: caches lack records that the settings name"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("no Long record \"id\" for the Id port in 1 of 3 frames, the first "
                           "frame 1 (" +
                           first + ")"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("no Vector record \"vel\" for \"Vector0\" in 2 of 3 frames, the first "
                           "frame 1 (" +
                           first + ")"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("error"), std::string::npos) << run.err;
    // The same words whatever the order the frames ran in.
    EXPECT_EQ(Velpo(import + " --jobs 3").err, run.err);

    std::filesystem::remove(scratch.Path() / "out.2.csv");
    const CRun strict = Velpo(import + " --strict");
    EXPECT_EQ(strict.exitCode, 1);
    EXPECT_NE(strict.err.find("(--strict: this fails the job)"), std::string::npos) << strict.err;
    EXPECT_TRUE(std::filesystem::exists(scratch.Path() / "out.2.csv"));
    // A sequence that lacks nothing says nothing, strict or not.
    const CRun whole = Velpo("import --strict --settings \"" + settings +
                             "\" --frames 2 --output \"" + (scratch / "w.csv") + "\"");
    EXPECT_EQ(whole.exitCode, 0) << whole.err;
    EXPECT_EQ(whole.err.find("warning"), std::string::npos) << whole.err;
}

// Each bad table names its file, line and column and fails the job; the
// other frames are still exported.
TEST(CacheCommands, MalformedTablesNameFileLineAndColumn) {
    struct CCase {
        const char* name;
        const char* table;
        const char* message;
    };
    const CCase cases[] = {
        {"bad.csv",
         "id,position.x,position.y,position.z,age,kind,vel.x,vel.y,vel.z\n1,0,0,0,0,0,0,0,0\n2,0,"
         "x1,0,0,0,0,0,0\n",
         "line 3, column 3 (\"position.y\"): \"x1\" is not a number"},
        {"short.csv", "id,position.x,position.y,position.z,age,kind,vel.x,vel.y,vel.z\n1,0,0\n",
         "line 2, column 4: the row has 3 fields, the header row 9"},
        {"nokind.csv",
         "id,position.x,position.y,position.z,age,vel.x,vel.y,vel.z\n1,0,0,0,0,0,0,0\n",
         "line 1: no column \"kind\" for the parameter \"Long0\""},
        {"float-id.csv",
         "id,position.x,position.y,position.z,age,kind,vel.x,vel.y,vel.z\n1.5,0,0,0,0,0,0,0,0\n",
         "line 2, column 1 (\"id\"): \"1.5\" is not a 32-bit integer"},
        {"bad.json",
         "{\"particleCount\": 1,\n \"attributes\": {\"id\": [1], \"position\": [[0, 0, true]]}}",
         "line 2, column"},
        {"syntax.json", "{\"particleCount\": 1,\n \"attributes\": {\"id\": [1,]}}",
         "line 2, column"},
        {"count.json", "{\"particleCount\": 2, \"attributes\": {\"id\": [1]}}",
         "attribute \"id\" has 1 values, \"particleCount\" says 2"},
    };
    CScratch scratch;
    const std::string settings = SettingsFile(scratch);
    for (const CCase& c : cases) {
        WriteFile(scratch.Path() / c.name, c.table);
        const CRun run = Velpo("export --settings \"" + settings + "\" --frames 1 --input \"" +
                               (scratch / c.name) + "\"");
        EXPECT_EQ(run.exitCode, 1) << c.name;
        EXPECT_NE(run.err.find(scratch / c.name), std::string::npos) << c.name << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.name << ": " << run.err;
    }
    WriteFile(scratch.Path() / "t.2.csv", Frame2Csv);
    const CRun run = Velpo("export --settings \"" + settings + "\" --frames 1-2 --input \"" +
                           (scratch / "t.#.csv") + "\"");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find((scratch / "t.1.csv") + ": cannot be opened"), std::string::npos)
        << run.err;
    EXPECT_TRUE(std::filesystem::exists(scratch.Path() / "pts.20.pdc"));
}

}  // namespace
}  // namespace VelpoCommandTest
