// Frames worked on in parallel report in frame order, whatever the jobs.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/tools/KeptConsole.h"
#include "tools/sequence/FrameRunner.h"
#include "tools/sequence/Progress.h"

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

TEST(ProgressText, RatesAndDurationsAsTheLineShowsThem) {
    const struct {
        double bytesPerSecond;
        const char* text;
    } rates[] = {
        {0, "0.0 B/s"},        {0.05, "0.1 B/s"},      {999.9, "999.9 B/s"},  {1000, "1.0 kB/s"},
        {1234567, "1.2 MB/s"}, {41.56e9, "41.6 GB/s"}, {5e12, "5000.0 GB/s"},
    };
    for (const auto& r : rates) {
        EXPECT_EQ(ProgressRate(r.bytesPerSecond), r.text) << r.bytesPerSecond;
    }
    const struct {
        double seconds;
        const char* text;
    } durations[] = {
        {0, "0 s"},
        {0.49, "0 s"},
        {0.5, "1 s"},
        {59.49, "59 s"},
        {59.5, "1 min 00 s"},
        {65, "1 min 05 s"},
        {3599, "59 min 59 s"},
        {3600, "1 h 00 min"},
        {2 * 3600 + 3 * 60 + 59, "2 h 03 min"},
        {100 * 3600 + 10 * 60, "100 h 10 min"},
    };
    for (const auto& d : durations) {
        EXPECT_EQ(ProgressDuration(d.seconds), d.text) << d.seconds;
    }
}

// The line redraws itself in place; its numbers depend on the clock, so
// only its shape is fixed: done/total, the frame rate, what is left.
TEST(ProgressText, TheLineCountsFramesAndSaysWhatIsLeft) {
    CKeptConsole console;
    {
        CProgress progress("check", 2, true, console);
        // The clock must move for a rate to be shown at all.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        progress.FrameDone(1500);
        progress.FrameDone(1500);
    }
    // "\r" line "\r" line, padded over the first "\r" blanks "\r".
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t at = console.err.find('\r'); at != std::string::npos;
         from = at + 1, at = console.err.find('\r', from)) {
        parts.push_back(console.err.substr(from, at - from));
    }
    parts.push_back(console.err.substr(from));
    ASSERT_EQ(parts.size(), 5u) << console.err;
    const std::string& first = parts[1];
    const std::string second = parts[2].substr(0, parts[2].find_last_not_of(' ') + 1);
    EXPECT_EQ(first.rfind("velpo check: 1/2 frames, ", 0), 0u) << first;
    EXPECT_NE(first.find(" frames/s, "), std::string::npos) << first;
    EXPECT_NE(first.find("B/s, "), std::string::npos) << first;
    EXPECT_EQ(first.substr(first.size() - 5), " left") << first;
    EXPECT_EQ(second.rfind("velpo check: 2/2 frames, ", 0), 0u) << second;
    EXPECT_EQ(second.find(" left"), std::string::npos) << second;
    EXPECT_EQ(parts[2].size(), std::max(first.size(), second.size()));
    EXPECT_EQ(parts[3], std::string(second.size(), ' '));
    EXPECT_TRUE(parts[4].empty());
    EXPECT_TRUE(console.out.empty());
}

}  // namespace
}  // namespace VelpoTools
