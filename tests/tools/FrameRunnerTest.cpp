// Frames worked on in parallel report in frame order, whatever the jobs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/tools/KeptConsole.h"
#include "tools/sequence/FrameRunner.h"

namespace VelpoTools {
namespace {

// What one run says, results and errors.
CKeptConsole Captured(uint32_t jobs, size_t frames, size_t& failed) {
    CKeptConsole console;
    failed = RunFrames(
        frames, jobs,
        [](size_t index, CFrameReport& report) {
            // Later frames finish first, so printing as they finish would
            // scramble the order.
            std::this_thread::sleep_for(std::chrono::microseconds((40 - index % 40) % 7 * 200));
            report.out = "frame " + std::to_string(index) + "\n";
            report.failed = index % 5 == 0;
            if (report.failed) {
                report.err = "failed " + std::to_string(index) + "\n";
            }
        },
        console, nullptr);
    return console;
}

TEST(FrameRunner, ReportsComeOutInFrameOrderAndCountFailures) {
    size_t failed = 0;
    std::string expected;
    std::string expectedErrors;
    for (size_t i = 0; i < 40; ++i) {
        expected += "frame " + std::to_string(i) + "\n";
        if (i % 5 == 0) {
            expectedErrors += "failed " + std::to_string(i) + "\n";
        }
    }
    for (uint32_t jobs : {1u, 2u, 3u, 8u, 64u}) {
        const CKeptConsole said = Captured(jobs, 40, failed);
        EXPECT_EQ(said.out, expected) << jobs;
        EXPECT_EQ(said.err, expectedErrors) << jobs;
        EXPECT_EQ(failed, 8u) << jobs;
    }
    const CKeptConsole none = Captured(4, 0, failed);
    EXPECT_EQ(none.out + none.err, "");
    EXPECT_EQ(failed, 0u);
}

TEST(FrameRunner, RunsEveryFrameOnceOnSeveralThreads) {
    std::vector<std::atomic<int>> calls(1000);
    std::atomic<int> running{0};
    std::atomic<int> most{0};
    CKeptConsole console;
    RunFrames(
        calls.size(), 4,
        [&](size_t index, CFrameReport&) {
            const int now = ++running;
            int seen = most.load();
            while (now > seen && !most.compare_exchange_weak(seen, now)) {
            }
            ++calls[index];
            // The first frame waits (a bounded while) for a second one to
            // start, so the test sees the jobs overlap however short a
            // sleep the system gives.
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (index == 0 && most.load() < 2 && std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            --running;
        },
        console, nullptr);
    for (size_t i = 0; i < calls.size(); ++i) {
        ASSERT_EQ(calls[i].load(), 1) << i;
    }
    EXPECT_LE(most.load(), 4);
    EXPECT_GT(most.load(), 1);
}

}  // namespace
}  // namespace VelpoTools
