// Every usage error exits 2, every bad file or failed job 1, each with a
// message on stderr that says what is wrong.
#include <gtest/gtest.h>

#include "tests/tools/CommandRunner.h"

namespace VelpoCommandTest {
namespace {

struct CErrorCase {
    std::string arguments;  // "{}" stands for the scratch folder
    int exitCode;
    std::string message;
};

std::string Expand(std::string text, const std::string& folder) {
    for (size_t at; (at = text.find("{}")) != std::string::npos;) {
        text.replace(at, 2, folder);
    }
    return text;
}

TEST(CommandErrors, EachGivesItsExitCodeAndMessage) {
    CScratch scratch;
    const std::string folder = scratch.Path().generic_string();
    WriteFile(scratch.Path() / "ok.json", R"({"Path": ")" + folder + R"(/c", "Step": 1})");
    WriteFile(scratch.Path() / "unknown.json", R"({"Path": "c", "Float10": "age"})");
    WriteFile(scratch.Path() / "syntax.json", "{\"Path\": \"c\",\n \"Step\": }");
    WriteFile(scratch.Path() / "step.json", R"({"Path": "c", "Step": "ten"})");
    WriteFile(scratch.Path() / "nopath.json", R"({"Step": 1})");
    WriteFile(scratch.Path() / "twice.json", R"({"Path": "c", "Float0": "age", "Float0": "heat"})");
    WriteFile(scratch.Path() / "step0.json", R"({"Path": ")" + folder + R"(/c", "Step": 0})");
    WriteFile(scratch.Path() / "a.pdc", CPdcBytes().Header(1, 1).Record("m", 2).Double(1).Bytes());
    const std::string files = " \"{}/a.pdc\" \"{}/a.pdc\"";
    const std::string ok = " --settings \"{}/ok.json\" ";
    const CErrorCase cases[] = {
        {"", 2, "A subcommand is required"},
        {"frobnicate", 2, "A subcommand is required"},
        {"demo --particles 0", 2, "--particles"},
        {"demo --frames 9-2", 2, "frame range \"9-2\" runs backwards"},
        {"demo --frames 1-x", 2, "\"1-x\" is not a frame range"},
        {"demo --frames 0-3", 2, "the scene starts at frame 1"},
        {"info", 2, "files is required"},
        {"dump --format xml a.pdc", 2, "--format"},
        {"export --frames 1-2 --input t.#.csv", 2, "--settings is required"},
        {"export" + ok + "--frames 1-2 --input t.txt", 2, "\"t.txt\" must end in .csv or .json"},
        {"export" + ok + "--frames 1-2 --input t.csv", 2, "has no '#' for the frame number"},
        {"import" + ok + "--frames 1 --output out.xml", 2, "must end in .csv or .json"},
        {"export --settings \"{}/none.json\" --frames 1 --input t.csv", 1,
         "{}/none.json: cannot be opened for reading"},
        {"export --settings \"{}/unknown.json\" --frames 1 --input t.csv", 1,
         "{}/unknown.json: unknown parameter \"Float10\""},
        {"export --settings \"{}/syntax.json\" --frames 1 --input t.csv", 1,
         "{}/syntax.json: parse error at line 2, column"},
        {"export --settings \"{}/step.json\" --frames 1 --input t.csv", 1,
         "\"Step\" must be a 32-bit integer"},
        {"import --settings \"{}/nopath.json\" --frames 1 --output t.csv", 1,
         "\"Path\" is missing or empty"},
        {"export" + ok + "--frames 1 --input \"{}/t.csv\" --plugin \"{}/nothing.so\"", 1,
         "{}/nothing.so"},
        {"nodes --plugin \"{}/ok.json\"", 1, "{}/ok.json"},
        {"info \"{}/none.pdc\"", 1, "{}/none.pdc"},
        {"dump \"{}\"", 1, "is a folder"},
        {"dump \"{}/none.pdc\"", 1, "{}/none.pdc"},
        // Values that are not what the option takes: said so, as usage.
        {"diff --tolerance inf" + files, 2, "--tolerance: \"inf\" is not a finite number"},
        {"diff --tolerance nan" + files, 2, "--tolerance: \"nan\" is not a finite number"},
        {"diff --tolerance -1e-9" + files, 2, "--tolerance: \"-1e-9\" is negative"},
        {"diff --tolerance 0x10" + files, 2, "--tolerance: \"0x10\" is not a number"},
        {"diff --tolerance 1e400" + files, 2, "--tolerance: \"1e400\" is beyond the range"},
        {"diff --tolerance \" 1\"" + files, 2, "--tolerance: \" 1\" is not a number"},
        {"check --max-count-change nan \"{}/a.pdc\"", 2,
         "--max-count-change: \"nan\" is not a finite number"},
        {"check --max-count-change Infinity \"{}/a.pdc\"", 2,
         "--max-count-change: \"Infinity\" is not a finite number"},
        {"export --settings \"{}/twice.json\" --frames 1 --input t.csv", 1,
         "{}/twice.json: \"Float0\" is given twice"},
        // Settings that send several frames to one file, as export refuses them.
        {"check --settings \"{}/step0.json\" --frames 1-3", 2, "frames 1 and 2 are both named"},
    };
    for (const CErrorCase& c : cases) {
        const std::string arguments = Expand(c.arguments, folder);
        const CRun run = Velpo(arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << arguments << "\n" << run.err;
        EXPECT_NE(run.err.find(Expand(c.message, folder)), std::string::npos) << arguments << "\n"
                                                                              << run.err;
    }
}

TEST(CommandErrors, HelpOfEverySubcommandShowsAnExample) {
    for (const char* command : {"demo", "export", "import", "info", "dump", "nodes", "convert",
                                "preview", "check", "diff"}) {
        const CRun run = Velpo(std::string(command) + " --help");
        EXPECT_EQ(run.exitCode, 0) << command;
        EXPECT_NE(run.out.find("Example:\n  velpo " + std::string(command)), std::string::npos)
            << command << ": " << run.out;
    }
    const CRun top = Velpo("--help");
    EXPECT_EQ(top.exitCode, 0);
    EXPECT_NE(top.out.find("velpo demo"), std::string::npos) << top.out;
}

}  // namespace
}  // namespace VelpoCommandTest
