// The options every command that works on a whole sequence takes, added
// and read the same way everywhere:
//
//   --frames A-B   the frames (optional where a '#' pattern can find them)
//   --jobs N       frames worked on at once (default 0: one per core)
//   --shard K/N    every N-th frame starting at the K-th, for farm job arrays
//   --quiet        no progress line on a terminal
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Result.h"
#include "tools/sequence/Sequence.h"

namespace CLI {
class App;
}

namespace VelpoTools {

struct CSequenceOptions {
    std::string frames;
    uint32_t jobs = 0;
    std::string shard;
    bool quiet = false;
};

void AddSequenceOptions(CLI::App& command, CSequenceOptions& options);

// The most frames one command works on: each has a report held until the
// frames before it are done, so a range must not size memory by itself.
// Eleven hours of frames at 24 per second; a farm splits longer ranges.
inline constexpr int64_t MaxSequenceFrames = 1000000;

// The options as values. A failure is a usage error (exit 2); so is a range
// of more than MaxSequenceFrames frames.
struct CSequenceChoice {
    std::optional<CFrameRange> range;
    CShard shard;
    uint32_t jobs = 0;      // 0: one per core
    bool progress = false;  // a progress line is to be drawn
};

Velpo::CResult ParseSequenceOptions(const CSequenceOptions& options, CSequenceChoice& choice);

// The frames of a file or '#' pattern under the choice, shard applied.
// Fails naming the pattern or folder when no file can be found (exit 1).
// Files that fit the pattern with a number beyond 32 bits are left out and
// added to `unnumbered` when given (see PatternSequence).
Velpo::CResult ResolvePattern(const std::string& pattern, const CSequenceChoice& choice,
                              std::vector<CSequenceFrame>& frames,
                              std::vector<std::string>* unnumbered = nullptr);

}  // namespace VelpoTools
