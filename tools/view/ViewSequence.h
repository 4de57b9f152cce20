// The frames `velpo view` serves and what is known of each: readable with
// its particle count, missing, or unreadable with the reason `velpo check`
// gives. The list of frames is fixed when the server starts; what is known
// of them is refreshed whenever a file changes on disk.
//
// Thread-safety: every member may be called from any thread at once; the
// frame list never changes, the states are guarded by one lock that is
// never held while a file is read.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "tools/sequence/Sequence.h"

namespace VelpoTools {

// What tells that a file changed: its existence, size, modification time
// and file number. Equal stamps are taken to mean the same contents.
struct CFileStamp {
    bool present = false;
    uint64_t size = 0;
    int64_t modified = 0;  // nanoseconds
    uint64_t inode = 0;

    bool operator==(const CFileStamp&) const = default;
};

// Never fails: a file that cannot be looked at is not present.
CFileStamp StampOf(const std::string& file);

enum class CFrameState { Unknown, Readable, Missing, Unreadable };

struct CViewFrame {
    int32_t frame = 0;
    std::string file;
    CFrameState state = CFrameState::Unknown;
    std::string reason;  // why it is missing or unreadable, as `velpo check` says
    int64_t particleCount = 0;
    CFileStamp stamp;         // of the file when it was last read
    uint64_t generation = 0;  // when its state last changed
};

// A pattern's frames with the numbers missing between them put back, as
// `velpo check` counts them (see FrameGaps), so the timeline shows them as
// missing frames. `found` must be sorted. Gaps are filled only while the
// whole sequence stays within `maxFrames`.
std::vector<CSequenceFrame> WithGapsFilled(const std::string& pattern,
                                           const std::vector<CSequenceFrame>& found,
                                           size_t maxFrames);

class CViewSequence {
public:
    explicit CViewSequence(std::vector<CSequenceFrame> frames);

    size_t Size() const { return frames_.size(); }
    // The frame whose number is `frame`; unset for a number the sequence
    // does not hold.
    std::optional<CSequenceFrame> Find(int32_t frame) const;

    // Reads again every frame whose file changed since it was last read,
    // or that was never read; stops early once `stop` is set. Gives the
    // number of frames read.
    size_t Refresh(const std::atomic<bool>& stop);

    // The frames whose state changed after generation `since`, as
    //   {"generation", "complete", "frames": [{"index", "frame", "file",
    //    "state", "reason", "particles", "version"}]}
    // "complete" is true once every frame has been read at least once;
    // "version" changes whenever the frame's file does.
    nlohmann::ordered_json Changes(uint64_t since) const;

    CViewFrame Frame(size_t index) const;

private:
    void Update(size_t index, const CFileStamp& stamp);

    std::vector<CSequenceFrame> frames_;
    mutable std::mutex mutex_;
    std::vector<CViewFrame> states_;
    uint64_t generation_ = 0;
    size_t unread_ = 0;
};

}  // namespace VelpoTools
