// A cache write that runs out of space leaves the earlier cache as it was.
//
// The disk is "full" through a file size limit, set in a forked child so the
// limit never reaches other tests; this program starts no threads before it
// forks.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include "plugin/Ports.h"
#include "tests/nodes/NodeTestSupport.h"

using namespace VelpoTest;

namespace {

// Exit codes of the child, one per check.
enum : int { ChildOk = 0, ChildNotClean = 10, ChildWrongLog = 11, ChildNoLimit = 12 };

int WriteUnderLimit(uint32_t scop, const std::string& expectedMessage, rlim_t limit) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit fileSize{limit, limit};
    if (setrlimit(RLIMIT_FSIZE, &fileSize) != 0) {
        return ChildNoLimit;
    }
    CNodeInstance node = SeededExport(scop, 5, 40000, 2.0f, true);
    CEvaluateOptions options;
    options.threads = 1;
    if (!Clean(node.Evaluate(options))) {
        return ChildNotClean;
    }
    const auto log = TakeLog();
    if (log.size() != 1 || log[0].text != expectedMessage || log[0].severity != XSI::siErrorMsg) {
        return ChildWrongLog;
    }
    return ChildOk;
}

TEST(FullDisk, EarlierCacheSurvivesByteForByte) {
    CScratchFolder folder;
    TakeLog();
    const uint32_t scop = MakeSettings(folder / "cache", 1, AllNames());
    CNodeInstance first = SeededExport(scop, 5, 1000, 1.0f, true);
    CEvaluateOptions options;
    options.threads = 1;
    ASSERT_TRUE(Clean(first.Evaluate(options)));
    const std::string cache = folder / "cache.5.pdc";
    const std::vector<uint8_t> earlier = ReadBytes(cache);
    ASSERT_GT(earlier.size(), 1000u);

    // Room for a file a little larger than the earlier one, far less than
    // the new one needs.
    const rlim_t limit = static_cast<rlim_t>(earlier.size()) * 2;
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        _exit(WriteUnderLimit(scop, "VelpoExport: Cannot Write " + cache, limit));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child died of signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), ChildOk);

    EXPECT_TRUE(ReadBytes(cache) == earlier);
    EXPECT_EQ(folder.Files(), std::vector<std::string>{"cache.5.pdc"});
}

}  // namespace
