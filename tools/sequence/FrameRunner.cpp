#include "tools/sequence/FrameRunner.h"

#include <fmt/format.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace VelpoTools {

namespace {

// Through the progress line when there is one, which it must not tear.
void Say(CConsole& console, CProgress* progress, CConsole::CStream stream, std::string_view text) {
    if (progress) {
        progress->Write(stream, text);
    } else {
        console.Write(stream, text);
    }
}

// Hands out frame indices and shows finished reports in order.
class COrderedReports {
public:
    COrderedReports(size_t count, CConsole& console, CProgress* progress)
        : reports_(count), done_(count, false), console_(console), progress_(progress) {}

    bool Take(size_t& index) {
        std::lock_guard lock(mutex_);
        if (next_ >= reports_.size()) {
            return false;
        }
        index = next_++;
        return true;
    }

    void Finish(size_t index, CFrameReport report) {
        std::lock_guard lock(mutex_);
        failed_ += report.failed ? 1 : 0;
        if (progress_) {
            progress_->FrameDone(report.bytes);
        }
        reports_[index] = std::move(report);
        done_[index] = true;
        while (printed_ < reports_.size() && done_[printed_]) {
            Show(reports_[printed_]);
            reports_[printed_] = CFrameReport();  // its text is no longer needed
            ++printed_;
        }
    }

    size_t Failed() const { return failed_; }

private:
    void Show(const CFrameReport& report) {
        using CStream = CConsole::CStream;
        for (auto [stream, text] :
             {std::pair{CStream::Out, &report.out}, {CStream::Err, &report.err}}) {
            if (!text->empty()) {
                Say(console_, progress_, stream, *text);
            }
        }
    }

    std::mutex mutex_;
    std::vector<CFrameReport> reports_;
    std::vector<bool> done_;
    size_t next_ = 0;
    size_t printed_ = 0;
    size_t failed_ = 0;
    CConsole& console_;
    CProgress* progress_;
};

// Said once per process: a command that runs frames more than once (a
// sheet reads, then draws) hits the same limit each time.
std::atomic<bool> fewerThreadsSaid{false};

void SayFewerThreads(size_t asked, size_t got, CConsole& console, CProgress* progress) {
    if (fewerThreadsSaid.exchange(true)) {
        return;
    }
    const std::string who = progress ? "velpo " + progress->Command() : std::string("velpo");
    const std::string text = fmt::format(
        "{}: warning: --jobs {}: the system gave only {} threads; the frames run {} at a time\n",
        who, asked, got, got);
    Say(console, progress, CConsole::CStream::Err, text);
}

// The threads that could be started, up to `wanted`, besides the caller's.
// The system refuses a thread beyond its limit (ulimit -u, a container's
// pids limit): the threads already running are kept and work on.
std::vector<std::thread> StartWorkers(size_t wanted, const std::function<void()>& worker) {
    std::vector<std::thread> pool;
    for (size_t t = 0; t < wanted; ++t) {
        try {
            pool.emplace_back(worker);
        } catch (const std::exception&) {
            break;
        }
    }
    return pool;
}

}  // namespace

uint32_t DefaultJobs() {
    return std::max(1u, std::thread::hardware_concurrency());
}

size_t RunFrames(size_t count, uint32_t jobs,
                 const std::function<void(size_t, CFrameReport&)>& work, CConsole& console,
                 CProgress* progress) {
    COrderedReports reports(count, console, progress);
    auto worker = [&] {
        size_t index = 0;
        while (reports.Take(index)) {
            CFrameReport report;
            work(index, report);
            reports.Finish(index, std::move(report));
        }
    };
    const size_t threads = std::min<size_t>(jobs == 0 ? DefaultJobs() : jobs, count);
    std::vector<std::thread> pool = StartWorkers(threads > 0 ? threads - 1 : 0, worker);
    if (pool.size() + 1 < threads) {
        SayFewerThreads(threads, pool.size() + 1, console, progress);
    }
    worker();
    for (std::thread& thread : pool) {
        thread.join();
    }
    return reports.Failed();
}

}  // namespace VelpoTools
