// A sequence of cache files, one per frame, as the commands that work on
// whole sequences name it:
//
//   --settings fluid.json --frames 1-48   the files the nodes use for those
//                                         frames ("Path" and "Step")
//   cache/fluid.#.pdc --frames 1-48       '#' stands for the frame number
//   cache/fluid.#.pdc                     every file of the folder that fits
//                                         the pattern, in frame order
//   cache/fluid.12.pdc                    one file, frame 0
//
// and the share of it that one machine of a farm takes (--shard K/N).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Result.h"
#include "tools/common/Settings.h"

namespace VelpoTools {

struct CSequenceFrame {
    int32_t frame = 0;
    std::string file;
};

struct CFrameRange {
    int32_t first = 0;
    int32_t last = 0;
};

// Every frame of the range, named as the nodes name them. Frames whose
// names coincide (Step 0, or frame * step wrapping) are refused, naming both
// frames and the file; given read settings, that is the only failure.
Velpo::CResult SettingsSequence(const std::string& settingsFile, const CFrameRange& range,
                                std::vector<CSequenceFrame>& frames);
Velpo::CResult SettingsSequence(const CSettings& settings, const CFrameRange& range,
                                std::vector<CSequenceFrame>& frames);

// The pattern with '#' replaced by each frame of the range; without a range,
// the files of the pattern's folder whose names fit it, where '#' stands
// for an optionally signed run of digits, sorted by frame. A pattern
// without '#' names one file (frame 0) and takes no range.
//
// A file whose number does not fit a frame number (32 bits, such as
// p.99999999999.pdc) is no frame of the sequence; its path is added to
// `unnumbered`, when given, so that the command can say it was left out.
Velpo::CResult PatternSequence(const std::string& pattern, const std::optional<CFrameRange>& range,
                               std::vector<CSequenceFrame>& frames,
                               std::vector<std::string>* unnumbered = nullptr);

// What a command says of a file PatternSequence left out.
std::string UnnumberedWarning(const std::string& file, const std::string& pattern);

// The pattern with every '#' replaced by the frame number.
std::string FrameFile(const std::string& pattern, int32_t frame);

// "K/N": every N-th item starting at item K (0 <= K < N), so that N machines
// given 0/N ... N-1/N share a sequence without overlap.
struct CShard {
    uint32_t index = 0;
    uint32_t count = 1;
};

Velpo::CResult ParseShard(const std::string& text, CShard& shard);

// The positions, from 0, of the shard's items among `items` items, in
// order. The one rule of what a shard takes, for a list of files as for a
// range of frames.
std::vector<uint64_t> ShardPositions(uint64_t items, const CShard& shard);

// The items of `frames` that belong to the shard, in order.
std::vector<CSequenceFrame> TakeShard(const std::vector<CSequenceFrame>& frames,
                                      const CShard& shard);

}  // namespace VelpoTools
