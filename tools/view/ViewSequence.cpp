#include "tools/view/ViewSequence.h"

#include <fmt/format.h>
#include <sys/stat.h>
#include <nlohmann/json.hpp>

#include <algorithm>

#include "tools/contents/SequenceCheck.h"

namespace VelpoTools {

CFileStamp StampOf(const std::string& file) {
    CFileStamp stamp;
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) {
        return stamp;
    }
    stamp.present = true;
    stamp.size = static_cast<uint64_t>(status.st_size);
    stamp.modified =
        static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    stamp.inode = static_cast<uint64_t>(status.st_ino);
    return stamp;
}

std::vector<CSequenceFrame> WithGapsFilled(const std::string& pattern,
                                           const std::vector<CSequenceFrame>& found,
                                           size_t maxFrames) {
    std::vector<int32_t> numbers;
    numbers.reserve(found.size());
    for (const CSequenceFrame& frame : found) {
        numbers.push_back(frame.frame);
    }
    const std::vector<CFrameGap> gaps = FrameGaps(numbers);
    uint64_t total = found.size();
    for (const CFrameGap& gap : gaps) {
        total += static_cast<uint64_t>(gap.Count());
    }
    if (gaps.empty() || total > maxFrames) {
        return found;
    }
    std::vector<CSequenceFrame> frames;
    frames.reserve(static_cast<size_t>(total));
    auto gap = gaps.begin();
    for (size_t i = 0; i < found.size(); ++i) {
        frames.push_back(found[i]);
        if (gap != gaps.end() && gap->after == i) {
            for (int64_t n = gap->first; n <= gap->last; n += gap->step) {
                const int32_t number = static_cast<int32_t>(n);
                frames.push_back({number, FrameFile(pattern, number)});
            }
            ++gap;
        }
    }
    return frames;
}

CViewSequence::CViewSequence(std::vector<CSequenceFrame> frames)
    : frames_(std::move(frames)), states_(frames_.size()), unread_(frames_.size()) {
    for (size_t i = 0; i < frames_.size(); ++i) {
        states_[i].frame = frames_[i].frame;
        states_[i].file = frames_[i].file;
    }
}

std::optional<CSequenceFrame> CViewSequence::Find(int32_t frame) const {
    // The sequences are in frame order: by settings, by range or sorted.
    const auto at = std::lower_bound(
        frames_.begin(), frames_.end(), frame,
        [](const CSequenceFrame& item, int32_t number) { return item.frame < number; });
    if (at != frames_.end() && at->frame == frame) {
        return *at;
    }
    // A sequence out of order still finds its frames.
    const auto any = std::find_if(frames_.begin(), frames_.end(),
                                  [&](const CSequenceFrame& item) { return item.frame == frame; });
    return any == frames_.end() ? std::nullopt : std::optional<CSequenceFrame>(*any);
}

size_t CViewSequence::Refresh(const std::atomic<bool>& stop) {
    size_t read = 0;
    for (size_t i = 0; i < frames_.size() && !stop.load(); ++i) {
        const CFileStamp stamp = StampOf(frames_[i].file);
        {
            std::lock_guard lock(mutex_);
            if (states_[i].state != CFrameState::Unknown && states_[i].stamp == stamp) {
                continue;
            }
        }
        Update(i, stamp);
        ++read;
    }
    return read;
}

void CViewSequence::Update(size_t index, const CFileStamp& stamp) {
    // Read outside the lock: a large frame takes a while.
    const CFrameFacts facts = FrameFacts(frames_[index]);
    std::string reason;
    for (const CCheckProblem& problem : FrameProblems(facts)) {
        if (problem.severity == CSeverity::Error) {
            reason = problem.text;
            break;
        }
    }
    std::lock_guard lock(mutex_);
    CViewFrame& state = states_[index];
    if (state.state == CFrameState::Unknown) {
        --unread_;
    }
    state.state = !facts.present     ? CFrameState::Missing
                  : facts.Readable() ? CFrameState::Readable
                                     : CFrameState::Unreadable;
    state.reason = reason;
    state.particleCount = facts.Readable() ? facts.particleCount : 0;
    state.stamp = stamp;
    state.generation = ++generation_;
}

namespace {

const char* StateName(CFrameState state) {
    switch (state) {
        case CFrameState::Readable:
            return "readable";
        case CFrameState::Missing:
            return "missing";
        case CFrameState::Unreadable:
            return "unreadable";
        case CFrameState::Unknown:
        default:
            return "unknown";
    }
}

}  // namespace

nlohmann::ordered_json CViewSequence::Changes(uint64_t since) const {
    std::lock_guard lock(mutex_);
    nlohmann::ordered_json out;
    out["generation"] = generation_;
    out["complete"] = unread_ == 0;
    out["frames"] = nlohmann::ordered_json::array();
    for (size_t i = 0; i < states_.size(); ++i) {
        const CViewFrame& state = states_[i];
        if (since > 0 && state.generation <= since) {
            continue;
        }
        const CFileStamp& stamp = state.stamp;
        out["frames"].push_back(
            {{"index", i},
             {"frame", state.frame},
             {"file", state.file},
             {"state", StateName(state.state)},
             {"reason", state.reason},
             {"particles", state.particleCount},
             {"version", fmt::format("{:x}-{:x}-{:x}", stamp.size, stamp.modified, stamp.inode)}});
    }
    return out;
}

CViewFrame CViewSequence::Frame(size_t index) const {
    std::lock_guard lock(mutex_);
    return states_.at(index);
}

}  // namespace VelpoTools
