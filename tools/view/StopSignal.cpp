#include "tools/view/StopSignal.h"

#include <pthread.h>

#include <ctime>

namespace VelpoTools {

namespace {

sigset_t StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

}  // namespace

CStopSignal::CStopSignal() {
    const sigset_t signals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, &previous_);
}

CStopSignal::~CStopSignal() {
    done_ = true;
    if (watcher_.joinable()) {
        watcher_.join();
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void CStopSignal::Watch(std::function<void()> onStop) {
    watcher_ = std::thread([this, onStop = std::move(onStop)] {
        const sigset_t signals = StopSignals();
        // Woken every fifth of a second to see whether it is still wanted.
        const timespec wait{0, 200000000};
        while (!done_) {
            const int signal = sigtimedwait(&signals, nullptr, &wait);
            if (signal > 0) {
                received_ = signal;
                onStop();
                return;
            }
        }
    });
}

}  // namespace VelpoTools
