// A fixed set of worker threads that runs batches of numbered tasks.
//
// Built on the standard library's threads alone, so that the runtime builds
// wherever the compiler does (32-bit MinGW-w64 included).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace VelpoHost {

class CLogCapture;

class CThreadPool {
public:
    // `threads` workers (at least one asked for), or as many as the system
    // gives: a thread refused beyond its limit is not an error, and with no
    // worker at all the tasks run on the threads that call Run. Never
    // throws for want of threads.
    explicit CThreadPool(uint32_t threads);
    // Waits for the workers to finish the batches already handed to them.
    ~CThreadPool();
    CThreadPool(const CThreadPool&) = delete;
    CThreadPool& operator=(const CThreadPool&) = delete;

    // The workers running, which may be fewer than asked for, even none.
    uint32_t Size() const { return static_cast<uint32_t>(workers_.size()); }

    // Calls task(i) once for each i in [0, count) on the workers and returns
    // when every call has returned; whatever the calls wrote is then visible
    // to the caller. The task must not throw. Several threads may run
    // batches at once; the batches share the workers in order of arrival.
    // The tasks log where the caller logs (see CLogCapture).
    // Must not be called from one of this pool's own tasks.
    void Run(uint32_t count, const std::function<void(uint32_t)>& task);

    // A pool of the given size shared by the whole process, made on first
    // use and kept until exit.
    static CThreadPool& Shared(uint32_t threads);

private:
    struct CBatch {
        const std::function<void(uint32_t)>* task = nullptr;
        CLogCapture* log = nullptr;  // the caller's
        uint32_t count = 0;
        uint32_t next = 0;  // next index to hand out
        uint32_t done = 0;  // calls returned
        std::condition_variable finished;
    };

    void Work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<CBatch*> batches_;  // batches with indices left to hand out
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace VelpoHost
