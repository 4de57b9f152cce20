// Tables as users and other programs write them, through export, import and
// dump and back: odd names, non-finite values, other line ends.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <limits>

#include "tests/tools/CommandRunner.h"

namespace VelpoCommandTest {
namespace {

std::string Quote(const std::string& path) {
    std::string quoted = "\"";
    quoted += path;
    quoted += "\"";
    return quoted;
}

std::string SettingsFile(const CScratch& scratch, const std::string& parameters) {
    WriteFile(scratch.Path() / "settings.json", R"({"Path": ")" + scratch.Path().generic_string() +
                                                    R"(/pts", "Step": 1)" + parameters + "}");
    return "--settings " + Quote(scratch / "settings.json") + " ";
}

TEST(TableCommands, NamesWithCommasQuotesAndLineBreaksAreQuotedAndReadBack) {
    CScratch scratch;
    const std::string settings = SettingsFile(
        scratch, R"(, "Float0": "a,b", "Float1": "say \"hi\"", "Vector0": "two\nlines")");
    // As the table writer writes it: only the odd names are quoted.
    const std::string table =
        "id,position.x,position.y,position.z,\"a,b\",\"say \"\"hi\"\"\",\"two\nlines.x\","
        "\"two\nlines.y\",\"two\nlines.z\"\n"
        "1,0,0,0,0.5,1.5,1,2,3\n"
        "2,1,1,1,-0.5,-1.5,4,5,6\n";
    WriteFile(scratch.Path() / "in.csv", table);
    const CRun exported =
        Velpo("export " + settings + "--frames 1 --input " + Quote(scratch / "in.csv"));
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    const CRun imported =
        Velpo("import " + settings + "--frames 1 --output " + Quote(scratch / "out.csv"));
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_EQ(ReadFile(scratch.Path() / "out.csv"), table);

    // dump quotes the same names the same way (records in the file's order).
    const CRun dumped = Velpo("dump " + Quote(scratch / "pts.1.pdc"));
    ASSERT_EQ(dumped.exitCode, 0) << dumped.err;
    EXPECT_EQ(dumped.out.substr(0, dumped.out.find("\n0.5,")),
              "\"a,b\",\"say \"\"hi\"\"\",id,position.x,position.y,position.z,\"two\nlines.x\","
              "\"two\nlines.y\",\"two\nlines.z\"");
}

TEST(TableCommands, AByteOrderMarkAndCarriageReturnLineEndsAreAccepted) {
    CScratch scratch;
    const std::string settings = SettingsFile(scratch, "");
    WriteFile(scratch.Path() / "in.csv",
              "\xEF\xBB\xBFid,position.x,position.y,position.z\r1,0.5,0,0\r2,1.5,0,0\r");
    const CRun exported =
        Velpo("export " + settings + "--frames 1 --input " + Quote(scratch / "in.csv"));
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    const CRun imported =
        Velpo("import " + settings + "--frames 1 --output " + Quote(scratch / "out.csv"));
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_EQ(ReadFile(scratch.Path() / "out.csv"),
              "id,position.x,position.y,position.z\n1,0.5,0,0\n2,1.5,0,0\n");
}

TEST(TableCommands, NumbersOutOfRangeAreNamedSo) {
    CScratch scratch;
    const std::string settings = SettingsFile(scratch, R"(, "Float0": "age", "Long0": "kind")");
    struct CCase {
        const char* table;
        const char* message;
    };
    const CCase cases[] = {
        {"id,position.x,position.y,position.z,age,kind\n1,0,0,0,1e-50,0\n",
         "line 2, column 5 (\"age\"): \"1e-50\" is out of float range"},
        {"id,position.x,position.y,position.z,age,kind\n1,0,0,0,3.5e38,0\n",
         "\"3.5e38\" is out of float range"},
        {"id,position.x,position.y,position.z,age,kind\n1,0,0,0,0,3000000000\n",
         "line 2, column 6 (\"kind\"): \"3000000000\" is out of int32 range"},
        {"id,position.x,position.y,position.z,age,kind\n1,0,0,0,0,1.5\n",
         "\"1.5\" is not a 32-bit integer"},
    };
    for (const CCase& c : cases) {
        WriteFile(scratch.Path() / "in.csv", c.table);
        const CRun run =
            Velpo("export " + settings + "--frames 1 --input " + Quote(scratch / "in.csv"));
        EXPECT_EQ(run.exitCode, 1) << c.table;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
}

// NaN and infinities as dump and import write them: JSON that export and
// Python's json module read back, value for value.
TEST(TableCommands, NonFiniteValuesGoOutAsJsonWordsAndComeBack) {
    CScratch scratch;
    const std::string settings = SettingsFile(scratch, R"(, "Float0": "age")");
    WriteFile(scratch.Path() / "in.csv",
              "id,position.x,position.y,position.z,age\n"
              "1,NaN,0,0,Infinity\n2,0,-Infinity,0,-0\n3,0,0,1e-45,nan\n");
    ASSERT_EQ(
        Velpo("export " + settings + "--frames 1 --input " + Quote(scratch / "in.csv")).exitCode,
        0);
    const CRun dumped = Velpo("dump --format json " + Quote(scratch / "pts.1.pdc"));
    ASSERT_EQ(dumped.exitCode, 0) << dumped.err;
    EXPECT_NE(dumped.out.find("\"age\": [Infinity, -0.0, NaN]"), std::string::npos) << dumped.out;
    EXPECT_NE(dumped.out.find("[NaN, 0, 0], [0, -Infinity, 0]"), std::string::npos) << dumped.out;
    EXPECT_EQ(dumped.out.find("nan"), std::string::npos) << dumped.out;
    EXPECT_EQ(dumped.out.find("inf"), std::string::npos) << dumped.out;

    // dump's JSON is export's input: the cache written from it is the same.
    WriteFile(scratch.Path() / "dumped.json", dumped.out);
    WriteFile(scratch.Path() / "again.json", R"({"Path": ")" + scratch.Path().generic_string() +
                                                 R"(/again", "Step": 1, "Float0": "age"})");
    const CRun again = Velpo("export --settings " + Quote(scratch / "again.json") +
                             " --frames 1 --input " + Quote(scratch / "dumped.json"));
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(ReadFile(scratch.Path() / "again.1.pdc"), ReadFile(scratch.Path() / "pts.1.pdc"));

    const CRun imported =
        Velpo("import " + settings + "--frames 1 --output " + Quote(scratch / "out.json"));
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_NE(ReadFile(scratch.Path() / "out.json").find("\"age\": [Infinity, -0.0, NaN]"),
              std::string::npos);
#ifndef _WIN32
    if (std::system("command -v python3 >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "no python3 to read the JSON back";
    }
    for (const char* file : {"dumped.json", "out.json"}) {
        const std::string check =
            "python3 -c \"import json, math, sys; a = json.load(open(sys.argv[1]))"
            "['attributes']['age']; sys.exit(0 if a[0] == math.inf and math.copysign(1, a[1]) "
            "== -1 and math.isnan(a[2]) else 1)\" " +
            Quote(scratch / file);
        EXPECT_EQ(std::system(check.c_str()), 0) << file;
    }
#endif
}

}  // namespace
}  // namespace VelpoCommandTest
