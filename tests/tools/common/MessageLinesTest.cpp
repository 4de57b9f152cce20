// How errors and warnings read, one line each, and what the command learns
// of the system it runs on: its own folder, the plug-in's file name, and
// whether it writes to a terminal.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/support/ScratchFolder.h"
#include "tools/common/MessageLines.h"
#include "tools/common/Platform.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#endif

namespace VelpoTools {
namespace {

namespace fs = std::filesystem;

TEST(MessageLines, OneLinePerMessageWithTheCommandAndTheKind) {
    struct CCase {
        bool error;
        const char* command;
        std::string text;
        const char* line;
    } cases[] = {
        {true, "export", "s.json: no such file", "velpo export: error: s.json: no such file\n"},
        {false, "import", "frame 3: 2 unfilled", "velpo import: warning: frame 3: 2 unfilled\n"},
        {true, "", "no command given", "velpo: error: no command given\n"},
        {false, "", "x", "velpo: warning: x\n"},
        {true, "dump", "", "velpo dump: error: \n"},
        // A name read from a file can neither break the line nor recolour it.
        {true, "info", "a\nb\r\tc", "velpo info: error: a\\nb\\r\\tc\n"},
        {false, "info", "\x1b[31mred", "velpo info: warning: \\x1b[31mred\n"},
        {true, "info", std::string("nul\0byte", 8), "velpo info: error: nul\\x00byte\n"},
        {true, "info", "caf\xc3\xa9 C:\\x", "velpo info: error: caf\xc3\xa9 C:\\x\n"},
    };
    for (const CCase& c : cases) {
        const std::string line =
            c.error ? ErrorLine(c.command, c.text) : WarningLine(c.command, c.text);
        EXPECT_EQ(line, c.line);
        EXPECT_EQ(line.find('\n'), line.size() - 1) << "exactly one line: " << line;
    }
}

TEST(PlatformFacts, ThePlugInIsFoundNextToTheProgramUnderItsBuildName) {
    const fs::path folder = ExecutableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(folder.is_absolute()) << folder;
    EXPECT_TRUE(fs::is_directory(folder)) << folder;
    // The build puts the programs and the plug-in in one folder, which is
    // where the command looks for it.
    const fs::path plugin = VELPO_PLUGIN;
    EXPECT_EQ(plugin.filename().string(), PluginFileName());
    EXPECT_TRUE(fs::exists(folder / PluginFileName())) << folder / PluginFileName();
    EXPECT_TRUE(fs::equivalent(folder, plugin.parent_path())) << folder << " " << plugin;
}

TEST(PlatformFacts, OnlyATerminalIsTakenForOne) {
    VelpoTestSupport::CScratchFolder scratch;
    std::FILE* file = std::fopen((scratch.Path() / "f.txt").string().c_str(), "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(IsTerminal(file));
    std::fclose(file);
#if !defined(_WIN32)
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::FILE* writer = fdopen(ends[1], "wb");
    ASSERT_NE(writer, nullptr);
    EXPECT_FALSE(IsTerminal(writer));
    std::fclose(writer);
    close(ends[0]);
    // A pseudo-terminal is a terminal, whatever runs the tests.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        GTEST_SKIP() << "no pseudo-terminals here";
    }
    const int follower = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(follower, 0);
    std::FILE* terminal = fdopen(follower, "wb");
    ASSERT_NE(terminal, nullptr);
    EXPECT_TRUE(IsTerminal(terminal));
    std::fclose(terminal);
    close(master);
#endif
}

}  // namespace
}  // namespace VelpoTools
