// Ctrl-C (SIGINT) and SIGTERM as a request to stop, handled on a thread of
// its own instead of in a signal handler, so that stopping may take locks
// and join threads.
//
// Construct it before any thread is started: it blocks the two signals in
// the calling thread, and the threads started later inherit that. The
// destructor ends the watching thread and restores the signal mask.
// POSIX only.
#pragma once

#include <atomic>
#include <csignal>
#include <functional>
#include <thread>

namespace VelpoTools {

class CStopSignal {
public:
    CStopSignal();
    ~CStopSignal();
    CStopSignal(const CStopSignal&) = delete;
    CStopSignal& operator=(const CStopSignal&) = delete;

    // Calls `onStop` once, on the watching thread, when either signal
    // arrives. Call at most once.
    void Watch(std::function<void()> onStop);

    // The signal that arrived; 0 while none has.
    int Received() const { return received_.load(); }

private:
    sigset_t previous_{};
    std::atomic<bool> done_{false};
    std::atomic<int> received_{0};
    std::thread watcher_;
};

}  // namespace VelpoTools
