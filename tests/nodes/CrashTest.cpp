// A cache export killed at any moment leaves the cache under its final name
// as the complete earlier file or the complete new one, byte for byte.
//
// A forked child exports two big frames in turn into one cache, over and
// over, and the parent kills it with SIGKILL after a different pause each
// time, spread over two write times, so that kills land in the header, the
// records, the flush and the rename. Every other kill first waits for the
// child's temporary file to appear, so that some kills land mid-write however
// slowly a loaded machine starts the child. This program starts no threads:
// every evaluation runs on one.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "pdc/TempFile.h"
#include "plugin/Ports.h"
#include "tests/nodes/NodeTestSupport.h"

using namespace VelpoTest;

namespace {

// About 10 MB per file: thousands of writes of the C library's buffer.
constexpr uint32_t Points = 100000;
constexpr int Kills = 40;
// Spreads the pauses without letting a slow machine (or a sanitizer build)
// stretch the test.
constexpr std::chrono::milliseconds LongestWriteTime{100};

CEvaluateOptions OneThread() {
    CEvaluateOptions options;
    options.threads = 1;
    return options;
}

// Starts a child that writes `newer` and `earlier` in turn until it is
// killed; returns once it is about to start. -1 when it cannot be started.
pid_t StartWriter(CNodeInstance& newer, CNodeInstance& earlier) {
    int ready[2];
    if (pipe(ready) != 0) {
        return -1;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        const char signal = 'r';
        const bool told = write(ready[1], &signal, 1) == 1;
        close(ready[1]);
        while (told) {
            newer.Evaluate(OneThread());
            earlier.Evaluate(OneThread());
        }
        _exit(1);
    }
    close(ready[1]);
    char signal = 0;
    const bool started = child != -1 && read(ready[0], &signal, 1) == 1;
    close(ready[0]);
    return started ? child : -1;
}

// Waits until something other than the cache is in the folder (the writer's
// temporary file), for at most a few seconds.
void AwaitTemporaryFile(const CScratchFolder& folder) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < giveUp) {
        for (const std::string& name : folder.Files()) {
            if (name != "cache.1.pdc") {
                return;
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

TEST(Crash, KilledExportLeavesACompleteCache) {
    CScratchFolder folder;
    TakeLog();
    const uint32_t scop = MakeSettings(folder / "cache", 1, AllNames());
    const std::string cache = folder / "cache.1.pdc";
    CNodeInstance earlierNode = SeededExport(scop, 1, Points, 1.0f, true);
    CNodeInstance newerNode = SeededExport(scop, 1, Points, 2.0f, true);

    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Clean(newerNode.Evaluate(OneThread())));
    const auto writeTime = std::min<std::chrono::steady_clock::duration>(
        std::chrono::steady_clock::now() - start, LongestWriteTime);
    const std::vector<uint8_t> newer = ReadBytes(cache);
    ASSERT_TRUE(Clean(earlierNode.Evaluate(OneThread())));
    const std::vector<uint8_t> earlier = ReadBytes(cache);
    ASSERT_TRUE(TakeLog().empty());
    ASSERT_GT(earlier.size(), 10000000u);
    // Alike in size, so only the bytes tell a torn file.
    ASSERT_EQ(earlier.size(), newer.size());
    ASSERT_FALSE(earlier == newer);

    int midWrite = 0;  // kills that left a temporary file: the child was writing
    for (int kill = 0; kill < Kills; ++kill) {
        // A spread of 0 to 2 write times, visited out of order; after the
        // temporary file appears, a spread within half a write.
        const bool awaitWrite = kill % 2 == 1;
        const auto pause =
            writeTime * 2 * ((kill * 17) % Kills) / Kills / (awaitWrite ? 4 : 1);
        const pid_t child = StartWriter(newerNode, earlierNode);
        ASSERT_NE(child, -1);
        if (awaitWrite) {
            AwaitTemporaryFile(folder);
        }
        std::this_thread::sleep_for(pause);
        ASSERT_EQ(::kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the writer stopped";

        const std::vector<uint8_t> bytes = ReadBytes(cache);
        EXPECT_TRUE(bytes == earlier || bytes == newer)
            << "kill " << kill << ": " << bytes.size() << " bytes, torn";
        // All a killed writer leaves beside the cache is its one temporary
        // file, which the leftover listing finds.
        std::vector<CLeftoverFile> leftovers;
        std::string reason;
        ASSERT_TRUE(ListLeftoverFiles(folder.Path().string(), leftovers, reason)) << reason;
        ASSERT_LE(leftovers.size(), 1u);
        if (!leftovers.empty()) {
            ++midWrite;
            EXPECT_EQ(leftovers[0].processID, static_cast<uint32_t>(child));
            std::filesystem::remove(folder.Path() / leftovers[0].name);
        }
        EXPECT_EQ(folder.Files(), std::vector<std::string>{"cache.1.pdc"});
    }
    // A temporary file exists through nearly all of every write: no kill
    // finding one would mean no kill hit a write.
    EXPECT_GT(midWrite, 0);
}

}  // namespace
