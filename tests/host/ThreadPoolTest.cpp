#include "host/runtime/ThreadPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "host/core/Log.h"

#ifndef _WIN32
#include "tests/ChildProcess.h"
#endif

// A forked child that starts threads is refused by ThreadSanitizer when the
// test program ran other threads before.
#if defined(__SANITIZE_THREAD__)
#define VELPO_TEST_UNDER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VELPO_TEST_UNDER_TSAN 1
#endif
#endif

using VelpoHost::CThreadPool;

namespace {

TEST(ThreadPoolTest, RunsEveryIndexOnceAndWaitsForAll) {
    CThreadPool pool(4);
    for (uint32_t count : {0u, 1u, 3u, 1000u}) {
        std::vector<std::atomic<uint32_t>> calls(count);
        pool.Run(count, [&calls](uint32_t i) { calls[i].fetch_add(1); });
        for (uint32_t i = 0; i < count; ++i) {
            ASSERT_EQ(calls[i].load(), 1u) << i;
        }
    }
}

// Plain writes made by the tasks are visible to the caller after Run.
TEST(ThreadPoolTest, CallersShareThePoolAndSeeTheirResults) {
    CThreadPool& pool = CThreadPool::Shared(3);
    EXPECT_EQ(&pool, &CThreadPool::Shared(3));
    EXPECT_EQ(pool.Size(), 3u);
    std::vector<std::thread> callers;
    std::vector<std::vector<uint32_t>> results(4, std::vector<uint32_t>(500));
    for (uint32_t c = 0; c < 4; ++c) {
        callers.emplace_back([&pool, &results, c] {
            pool.Run(500, [&results, c](uint32_t i) { results[c][i] = i * c + 1; });
        });
    }
    for (std::thread& caller : callers) {
        caller.join();
    }
    for (uint32_t c = 0; c < 4; ++c) {
        for (uint32_t i = 0; i < 500; ++i) {
            ASSERT_EQ(results[c][i], i * c + 1);
        }
    }
}

TEST(ThreadPoolTest, TasksRunOnTheWorkers) {
    CThreadPool pool(2);
    std::mutex mutex;
    std::set<std::thread::id> ids;
    pool.Run(64, [&](uint32_t) {
        std::lock_guard lock(mutex);
        ids.insert(std::this_thread::get_id());
    });
    EXPECT_EQ(ids.count(std::this_thread::get_id()), 0u);
    EXPECT_LE(ids.size(), 2u);
}

}  // namespace

// Callers that evaluate at once on one pool each get what their own tasks
// logged, and nothing of the others'; without a capture, messages go to the
// shared log as before.
TEST(ThreadPoolTest, TasksLogIntoTheirCallersCapture) {
    using VelpoHost::CLog;
    using VelpoHost::CLogCapture;
    CLog::Instance().SetEcho(false);
    CLog::Instance().Clear();
    CThreadPool& pool = CThreadPool::Shared(3);
    constexpr uint32_t Callers = 4;
    constexpr uint32_t Tasks = 200;
    std::vector<std::vector<VelpoHost::CLogEntry>> captured(Callers);
    std::vector<std::thread> callers;
    for (uint32_t c = 0; c < Callers; ++c) {
        callers.emplace_back([&pool, &captured, c] {
            CLogCapture capture;
            CLog::Instance().Add("caller " + std::to_string(c), 0);
            pool.Run(Tasks,
                     [c](uint32_t) { CLog::Instance().Add("caller " + std::to_string(c), 0); });
            captured[c] = capture.Take();
        });
    }
    for (std::thread& caller : callers) {
        caller.join();
    }
    for (uint32_t c = 0; c < Callers; ++c) {
        ASSERT_EQ(captured[c].size(), Tasks + 1) << c;
        for (const VelpoHost::CLogEntry& entry : captured[c]) {
            ASSERT_EQ(entry.text, "caller " + std::to_string(c));
        }
    }
    EXPECT_TRUE(CLog::Instance().Take().empty());

    // Once the capture is closed, the same tasks log to the shared log.
    pool.Run(5, [](uint32_t) { CLog::Instance().Add("shared", 0); });
    EXPECT_EQ(CLog::Instance().Take().size(), 5u);
}

#if !defined(_WIN32) && !defined(VELPO_TEST_UNDER_TSAN)

// Under a limit on threads (ulimit -u), the pool works with the threads
// the system gives, none at all included, and never throws. In a child
// process as a user of its own: root is not held by the limit.
TEST(ThreadPoolTest, WorksWithTheThreadsTheSystemGives) {
    if (!VelpoTest::IsRoot()) {
        GTEST_SKIP() << "needs root to run as a user of its own under a limit";
    }
    for (const uint64_t room : {0u, 5u}) {
        const std::string seen = VelpoTest::RunInChild(
            [room]() -> std::string {
                // No room: no thread at all may start.
                const rlimit none{0, 0};
                const std::string limited =
                    room == 0 ? (setrlimit(RLIMIT_NPROC, &none) == 0 ? std::string()
                                                                     : "cannot limit the tasks")
                              : VelpoTest::LimitTasks(room);
                if (!limited.empty()) {
                    return limited;
                }
                CThreadPool pool(200);
                if (pool.Size() >= 200 || (room == 0 && pool.Size() != 0)) {
                    return "workers: " + std::to_string(pool.Size());
                }
                std::vector<std::atomic<uint32_t>> calls(1000);
                pool.Run(1000, [&calls](uint32_t i) { calls[i].fetch_add(1); });
                for (uint32_t i = 0; i < calls.size(); ++i) {
                    if (calls[i].load() != 1) {
                        return "index " + std::to_string(i) + " ran " +
                               std::to_string(calls[i].load()) + " times";
                    }
                }
                return std::string();
            },
            VelpoTest::CChildUser::TestUser);
        EXPECT_EQ(seen, "") << room;
    }
}

#endif
