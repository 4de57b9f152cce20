// info and dump on files whose every byte the test states.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>

#include "tests/tools/CommandRunner.h"

namespace VelpoCommandTest {
namespace {

// "id" 1, 2, 3 and "position" as an array, written the way the nodes write:
// 28 + 34 + 88 = 150 bytes.
CPdcBytes IdAndPosition() {
    CPdcBytes bytes;
    bytes.Header(3, 2).Name("id").Int(3).Doubles({1, 2, 3});
    bytes.Name("position").Int(5).Doubles({0.5, -1, 2, 1.5, -3, 4, 2.5, 5, -6});
    return bytes;
}

TEST(InfoCommand, JsonGivesHeaderRecordsOffsetsAndStatistics) {
    CScratch scratch;
    CPdcBytes bytes = IdAndPosition();
    bytes.Name("mass").Int(2).Double(0.25);
    std::string data = bytes.Bytes();
    data[27] = 3;  // attributeCount: three records
    WriteFile(scratch.Path() / "a.pdc", data);

    const CRun run = Velpo("info --json \"" + (scratch / "a.pdc") + "\"");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const nlohmann::json file = nlohmann::json::parse(run.out);
    EXPECT_EQ(file["file"], scratch / "a.pdc");
    EXPECT_EQ(file["header"], nlohmann::json::parse(R"({"format": "PDC ", "version": 1,
        "byteOrder": 1, "particleCount": 3, "attributeCount": 3})"));
    ASSERT_EQ(file["records"].size(), 3u);
    EXPECT_EQ(file["records"][0], nlohmann::json::parse(R"({"name": "id", "code": 3,
        "array": true, "count": 3, "offset": 28, "nan": 0, "infinite": 0, "min": [1.0],
        "max": [3.0], "mean": [2.0]})"));
    EXPECT_EQ(file["records"][1], nlohmann::json::parse(R"({"name": "position", "code": 5,
        "array": true, "count": 3, "offset": 62, "nan": 0, "infinite": 0, "min": [0.5, -3, -6],
        "max": [2.5, 5, 4], "mean": [1.5, 0.3333333333333333, 0]})"));
    EXPECT_EQ(file["records"][2], nlohmann::json::parse(R"({"name": "mass", "code": 2,
        "array": false, "count": 1, "offset": 150, "nan": 0, "infinite": 0, "min": [0.25],
        "max": [0.25], "mean": [0.25]})"));
    EXPECT_TRUE(file["problems"].empty());
}

TEST(InfoCommand, TextShowsEveryRecordAndComponent) {
    CScratch scratch;
    WriteFile(scratch.Path() / "a.pdc", IdAndPosition().Bytes());
    const CRun run = Velpo("info \"" + (scratch / "a.pdc") + "\"");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("150 bytes"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("3 particles, 2 records"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"position\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("z -6"), std::string::npos) << run.out;
}

// What a damaged file does to info: its exit status and the problem named.
TEST(InfoCommand, ProblemsAreNamedAndOnlyUnreadableFilesFail) {
    const std::string idRecord = CPdcBytes().Name("id").Int(3).Doubles({1, 2, 3}).Bytes();
    struct CCase {
        const char* name;
        std::string bytes;
        int exitCode;
        const char* problem;
        const char* kind;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const CCase cases[] = {
        {"short-header", std::string("PDC \0\0\0\1", 8), 1,
         "truncated header: the file holds 8 bytes", "truncated"},
        {"cut-values", IdAndPosition().Bytes().substr(0, 120), 1,
         "record 1 at byte 62 (\"position\"): 3 values need 72 bytes, only 42 are left",
         "count-exceeds-file"},
        {"forged-count", CPdcBytes().Header(1000000, 1).Raw(idRecord).Bytes(), 1,
         "1000000 values need 8000000 bytes", "count-exceeds-file"},
        {"forged-name", CPdcBytes().Header(3, 1).Int(1 << 30).Raw("id").Doubles({1, 2, 3}).Bytes(),
         1, "name length 1073741824 exceeds", "forged-length"},
        {"negative-name", CPdcBytes().Header(3, 1).Int(-4).Raw("id").Doubles({1, 2, 3}).Bytes(), 1,
         "negative name length -4", "forged-length"},
        // The file layer's walker reads record 0 before it finds the file
        // short, and info says so in the walker's words.
        {"forged-records", CPdcBytes().Header(3, 50000).Raw(idRecord).Bytes(), 1,
         "record 1 at byte 62: the file ends inside its name length (truncated file)", "truncated"},
        {"type-code", CPdcBytes().Header(3, 1).Name("id").Int(9).Doubles({1, 2, 3}).Bytes(), 1,
         "unknown type code 9", "unknown-type-code"},
        // A name that reads like another problem does not change the kind.
        {"named-like-a-problem",
         CPdcBytes().Header(3, 1).Name("x\"): truncated header").Int(9).Bytes(), 1,
         "unknown type code 9", "unknown-type-code"},
        {"negative-count", CPdcBytes().Header(-2, 1).Raw(idRecord).Bytes(), 1,
         "negative particle count -2", "negative-particle-count"},
        {"trailing", CPdcBytes().Header(3, 1).Raw(idRecord).Raw("xyz").Bytes(), 0,
         "3 trailing bytes after the last record, at byte 62", "trailing-bytes"},
        {"name-only", CPdcBytes().Header(3, 1).Raw(idRecord).Name("velocity").Bytes(), 0,
         "trailing name-only record \"velocity\" at byte 62", "trailing-name-only-record"},
        {"nan", CPdcBytes().Header(3, 1).Name("age").Int(3).Doubles({nan, 1, 2}).Bytes(), 0,
         "record 0 (\"age\"): 1 NaN value", "nan-values"},
        {"infinite", CPdcBytes().Header(3, 1).Name("age").Int(3).Doubles({-inf, 1, inf}).Bytes(), 0,
         "record 0 (\"age\"): 2 infinite values", "infinite-values"},
        {"no-records", CPdcBytes().Header(2147483647, 0).Bytes(), 0,
         "the header declares 2147483647 particles but the file holds no record",
         "particles-without-records"},
        {"missing", "", 1, "cannot be opened for reading", "missing-file"},
    };
    CScratch scratch;
    for (const CCase& c : cases) {
        if (std::string(c.name) != "missing") {
            WriteFile(scratch.Path() / c.name, c.bytes);
        }
        const CRun run = Velpo("info --json \"" + (scratch / c.name) + "\"");
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name;
        // nlohmann's parser is strict: a NaN token would not parse.
        const nlohmann::json file = nlohmann::json::parse(run.out, nullptr, false);
        ASSERT_FALSE(file.is_discarded()) << c.name << ": " << run.out;
        ASSERT_EQ(file["problems"].size(), 1u) << c.name << ": " << run.out;
        const nlohmann::json& problem = file["problems"][0];
        EXPECT_NE(problem["text"].get<std::string>().find(c.problem), std::string::npos)
            << c.name << ": " << problem;
        EXPECT_EQ(problem["kind"], c.kind) << c.name;
        EXPECT_EQ(problem["fatal"], c.exitCode == 1) << c.name;
        EXPECT_EQ(file["readable"], c.exitCode == 0) << c.name;
    }
    // NaN and infinity stay out of the statistics, and are counted per record.
    const nlohmann::json file =
        nlohmann::json::parse(Velpo("info --json \"" + (scratch / "infinite") + "\"").out);
    EXPECT_EQ(file["records"][0]["min"], nlohmann::json({1.0}));
    EXPECT_EQ(file["records"][0]["max"], nlohmann::json({1.0}));
    EXPECT_EQ(file["records"][0]["nan"], 0);
    EXPECT_EQ(file["records"][0]["infinite"], 2);
    EXPECT_EQ(nlohmann::json::parse(
                  Velpo("info --json \"" + (scratch / "nan") + "\"").out)["records"][0]["nan"],
              1);
}

TEST(InfoCommand, SeveralFilesOneObjectPerLineAndAMissingOneFails) {
    CScratch scratch;
    WriteFile(scratch.Path() / "a.pdc", IdAndPosition().Bytes());
    const CRun run =
        Velpo("info --json \"" + (scratch / "a.pdc") + "\" \"" + (scratch / "none.pdc") + "\"");
    EXPECT_EQ(run.exitCode, 1);
    const size_t newline = run.out.find('\n');
    ASSERT_NE(newline, std::string::npos);
    EXPECT_EQ(nlohmann::json::parse(run.out.substr(0, newline))["records"].size(), 2u);
    const nlohmann::json missing = nlohmann::json::parse(run.out.substr(newline + 1));
    EXPECT_TRUE(missing["header"].is_null());
    EXPECT_NE(run.err.find(scratch / "none.pdc"), std::string::npos) << run.err;
}

// A last counted record that holds only its name (some tools end files so,
// like the fuzz seed integers.pdc): the nodes read the file, so info says
// so with a note and dump leaves the record out.
TEST(InfoCommand, ALastRecordWithOnlyItsNameIsANoteAndDumpSkipsIt) {
    CScratch scratch;
    CPdcBytes bytes;
    bytes.Header(2, 4).Name("id").Int(1).Int(7).Int(8).Name("heat").Int(0).Int(-3);
    bytes.Name("mass").Int(0).Int(9).Name("trail");
    WriteFile(scratch.Path() / "integers.pdc", bytes.Bytes());
    const CRun info = Velpo("info --json \"" + (scratch / "integers.pdc") + "\"");
    EXPECT_EQ(info.exitCode, 0) << info.err;
    const nlohmann::json file = nlohmann::json::parse(info.out);
    EXPECT_TRUE(file["readable"].get<bool>());
    EXPECT_EQ(file["records"].size(), 3u);
    ASSERT_EQ(file["problems"].size(), 1u);
    EXPECT_EQ(file["problems"][0],
              nlohmann::json({{"kind", "name-only-record"},
                              {"fatal", false},
                              {"text",
                               "last record \"trail\" at byte 78 holds only its name; readers take "
                               "the records before it"}}));
    const CRun dump = Velpo("dump \"" + (scratch / "integers.pdc") + "\"");
    EXPECT_EQ(dump.exitCode, 0) << dump.err;
    EXPECT_EQ(dump.out, "id,heat,mass\n7,-3,9\n8,-3,9\n");
}

TEST(InfoCommand, ControlCharactersOfNamesReachTheTerminalEscaped) {
    CScratch scratch;
    const std::string name = "red\x1b[31m\nname\x7f";
    WriteFile(scratch.Path() / "a.pdc",
              CPdcBytes().Header(1, 2).Name(name).Int(2).Double(1).Name(name).Int(9).Bytes());
    const CRun run = Velpo("info \"" + (scratch / "a.pdc") + "\"");
    EXPECT_EQ(run.exitCode, 1);
    for (const std::string* text : {&run.out, &run.err}) {
        EXPECT_EQ(text->find('\x1b'), std::string::npos) << *text;
        EXPECT_EQ(text->find('\x7f'), std::string::npos) << *text;
        EXPECT_NE(text->find("\"red\\x1b[31m\\nname\\x7f\""), std::string::npos) << *text;
    }
    // JSON carries the name exactly, as JSON escapes.
    const CRun json = Velpo("info --json \"" + (scratch / "a.pdc") + "\"");
    EXPECT_EQ(nlohmann::json::parse(json.out)["records"][0]["name"], name);
}

// A rooted path written with '/' is a path on every platform; on Windows the
// command line once took it for an option ("/cache/x.pdc").
TEST(InfoCommand, ARootedPathWithForwardSlashesIsAFile) {
    const std::filesystem::path folder =
        std::filesystem::current_path() / ("velpo-slash-" + std::to_string(std::rand()));
    std::filesystem::create_directories(folder);
    WriteFile(folder / "a.pdc", IdAndPosition().Bytes());
    std::string rooted = "/";  // appended: g++ 12 warns falsely on "/" + std::string&&
    rooted += (folder / "a.pdc").relative_path().generic_string();
    const CRun run = Velpo("info " + rooted);
    std::filesystem::remove_all(folder);
    EXPECT_EQ(run.exitCode, 0) << rooted << "\n" << run.err;
    EXPECT_NE(run.out.find("3 particles, 2 records"), std::string::npos) << run.out;
}

TEST(DumpCommand, CsvRowsRepeatSingleValuesAndJsonKeepsThemOnce) {
    CScratch scratch;
    CPdcBytes bytes = IdAndPosition();
    bytes.Name("wind").Int(4).Doubles({0.1, 0, -2});
    bytes.Name("kind").Int(1).Int(-7).Int(0).Int(2147483647);
    std::string data = bytes.Bytes();
    data[27] = 4;
    WriteFile(scratch.Path() / "a.pdc", data);

    const CRun csv = Velpo("dump \"" + (scratch / "a.pdc") + "\"");
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    EXPECT_EQ(csv.out,
              "id,position.x,position.y,position.z,wind.x,wind.y,wind.z,kind\n"
              "1,0.5,-1,2,0.1,0,-2,-7\n"
              "2,1.5,-3,4,0.1,0,-2,0\n"
              "3,2.5,5,-6,0.1,0,-2,2147483647\n");

    const CRun json = Velpo("dump --format json --attributes wind,kind,position --range 1:5 \"" +
                            (scratch / "a.pdc") + "\"");
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(nlohmann::json::parse(json.out), nlohmann::json::parse(R"({"particleCount": 2,
        "attributes": {"position": [[1.5, -3, 4], [2.5, 5, -6]], "wind": [0.1, 0, -2],
        "kind": [0, 2147483647]}})"));

    const CRun one = Velpo("dump --range 2:2 --attributes id \"" + (scratch / "a.pdc") + "\"");
    EXPECT_EQ(one.out, "id\n3\n");
}

// A row per particle only where records hold particles: 28 bytes may claim
// 2^31 - 1 of them. Single values alone repeat for as many as the nodes take.
TEST(DumpCommand, PrintsNoMoreRowsThanTheRecordsHold) {
    struct CCase {
        const char* name;
        std::string bytes;
        int exitCode;
        std::string out;    // exactly, when exit code 0
        const char* error;  // part of stderr, when 1
    };
    const CCase cases[] = {
        {"no-records", CPdcBytes().Header(2147483647, 0).Bytes(), 1, "",
         "the header declares 2147483647 particles but the file holds no record of their "
         "values; nothing to dump"},
        {"huge-single", CPdcBytes().Header(2147483647, 1).Record("m", 2).Double(0.5).Bytes(), 1, "",
         "declares 2147483647 particles, more than the 67108864 the nodes take"},
        {"just-over", CPdcBytes().Header(67108865, 1).Record("m", 2).Double(0.5).Bytes(), 1, "",
         "declares 67108865 particles"},
        {"singles", CPdcBytes().Header(3, 1).Record("m", 2).Double(0.5).Bytes(), 0,
         "m\n0.5\n0.5\n0.5\n", nullptr},
        {"empty", CPdcBytes().Header(0, 0).Bytes(), 0, "\n", nullptr},
    };
    CScratch scratch;
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(scratch.Path() / c.name, c.bytes);
        const CRun run = Velpo("dump \"" + (scratch / c.name) + "\"");
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_EQ(run.out, c.out);
        if (c.error) {
            EXPECT_NE(run.err.find(scratch / c.name + ": "), std::string::npos) << run.err;
            EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
        }
    }
}

TEST(InfoCommand, WholeNumbersShowAllTheirDigits) {
    CScratch scratch;
    WriteFile(scratch.Path() / "a.pdc",
              CPdcBytes().Header(3, 1).Record("id", 3).Doubles({100000, 200000, 300000}).Bytes());
    const CRun run = Velpo("info \"" + (scratch / "a.pdc") + "\"");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // min, max and mean, which the shortest form writes 1e+05, 3e+05, 2e+05.
    EXPECT_NE(run.out.find(" 100000 "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(" 300000 "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(" 200000\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("e+"), std::string::npos) << run.out;
}

TEST(DumpCommand, BadRequestsAndBadFilesFail) {
    CScratch scratch;
    WriteFile(scratch.Path() / "a.pdc", IdAndPosition().Bytes());
    WriteFile(scratch.Path() / "cut.pdc", IdAndPosition().Bytes().substr(0, 100));
    // Built by append: g++ 12 at -O2 warns falsely on "literal" + std::string&&.
    std::string file = "\"";
    file += scratch / "a.pdc";
    file += "\"";

    const CRun unknown = Velpo("dump --attributes id,age " + file);
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("no record named \"age\" (the file holds \"id\", \"position\")"),
              std::string::npos)
        << unknown.err;

    const CRun past = Velpo("dump --range 3: " + file);
    EXPECT_EQ(past.exitCode, 1);
    EXPECT_NE(past.err.find("starts past the 3 particles"), std::string::npos) << past.err;

    const CRun backwards = Velpo("dump --range 2:1 " + file);
    EXPECT_EQ(backwards.exitCode, 2);
    EXPECT_NE(backwards.err.find("--range"), std::string::npos) << backwards.err;

    const CRun cut = Velpo("dump \"" + (scratch / "cut.pdc") + "\"");
    EXPECT_EQ(cut.exitCode, 1);
    EXPECT_TRUE(cut.out.empty()) << cut.out;
    EXPECT_NE(cut.err.find("truncated file"), std::string::npos) << cut.err;
}

}  // namespace
}  // namespace VelpoCommandTest

namespace VelpoCommandTest {
namespace {

// A folder shows the temporary files of interrupted writes, with size and
// age, and keeps them; other files are not taken for leftovers.
TEST(InfoCommand, FolderListsLeftoversOfInterruptedWritesAndKeepsThem) {
    CScratch scratch;
    const std::filesystem::path leftover = scratch.Path() / ".velpo-4711-3.tmp";
    WriteFile(leftover, std::string(1000, 'x'));
    std::filesystem::last_write_time(
        leftover, std::filesystem::file_time_type::clock::now() - std::chrono::hours(3));
    WriteFile(scratch.Path() / "p.1.pdc", IdAndPosition().Bytes());
    WriteFile(scratch.Path() / ".velpo-x-1.tmp", "");

    const CRun text = Velpo("info \"" + scratch.Path().string() + "\"");
    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_NE(text.out.find("1 leftover temporary file of interrupted writes"), std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find(".velpo-4711-3.tmp: 1000 bytes, last written 3 h 0 min ago by "
                            "process 4711"),
              std::string::npos)
        << text.out;

    const CRun json = Velpo("info --json \"" + scratch.Path().string() + "\"");
    ASSERT_EQ(json.exitCode, 0) << json.err;
    const nlohmann::json folder = nlohmann::json::parse(json.out);
    ASSERT_EQ(folder["leftovers"].size(), 1u);
    EXPECT_EQ(folder["leftovers"][0]["size"], 1000);
    EXPECT_EQ(folder["leftovers"][0]["processID"], 4711);
    EXPECT_NEAR(folder["leftovers"][0]["ageSeconds"].get<double>(), 3 * 3600, 60);
    EXPECT_TRUE(std::filesystem::exists(leftover));

    const CRun none = Velpo("info \"" + (scratch / "missing-folder/") + "\"");
    EXPECT_EQ(none.exitCode, 1);
}

}  // namespace
}  // namespace VelpoCommandTest
