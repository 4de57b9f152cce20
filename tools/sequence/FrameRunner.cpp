#include "tools/sequence/FrameRunner.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/Output.h"

namespace VelpoTools {

namespace {

// Hands out frame indices and prints finished reports in order.
class COrderedReports {
public:
    COrderedReports(size_t count, CProgress* progress)
        : reports_(count), done_(count, false), progress_(progress) {}

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
            Print(reports_[printed_]);
            reports_[printed_] = CFrameReport();  // its text is no longer needed
            ++printed_;
        }
    }

    size_t Failed() const { return failed_; }

private:
    void Print(const CFrameReport& report) {
        for (auto [stream, text] : {std::pair{stdout, &report.out}, {stderr, &report.err}}) {
            if (text->empty()) {
                continue;
            }
            if (progress_) {
                progress_->Write(stream, *text);
            } else {
                std::fwrite(text->data(), 1, text->size(), stream);
            }
        }
    }

    std::mutex mutex_;
    std::vector<CFrameReport> reports_;
    std::vector<bool> done_;
    size_t next_ = 0;
    size_t printed_ = 0;
    size_t failed_ = 0;
    CProgress* progress_;
};

}  // namespace

uint32_t DefaultJobs() {
    return std::max(1u, std::thread::hardware_concurrency());
}

size_t RunFrames(size_t count, uint32_t jobs,
                 const std::function<void(size_t, CFrameReport&)>& work, CProgress* progress) {
    // The reports go straight to the streams: what was gathered for standard
    // output before comes first.
    (void)StandardOutput().Flush();
    COrderedReports reports(count, progress);
    auto worker = [&] {
        size_t index = 0;
        while (reports.Take(index)) {
            CFrameReport report;
            work(index, report);
            reports.Finish(index, std::move(report));
        }
    };
    const size_t threads = std::min<size_t>(jobs == 0 ? DefaultJobs() : jobs, count);
    std::vector<std::thread> pool;
    for (size_t t = 1; t < threads; ++t) {
        pool.emplace_back(worker);
    }
    worker();
    for (std::thread& thread : pool) {
        thread.join();
    }
    return reports.Failed();
}

}  // namespace VelpoTools
