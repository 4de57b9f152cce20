#include "tools/sequence/SequenceOptions.h"

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include "tools/common/Numbers.h"
#include "tools/sequence/Progress.h"

namespace VelpoTools {

using Velpo::CResult;

void AddSequenceOptions(CLI::App& command, CSequenceOptions& options) {
    command.add_option("--frames", options.frames, "Frames A-B, both included");
    command.add_option("--jobs", options.jobs,
                       "Frames worked on at once (default 0: one per core)");
    command.add_option("--shard", options.shard,
                       "K/N: only every N-th frame starting at the K-th (0 <= K < N), so that N "
                       "machines of a farm share the sequence");
    command.add_flag("--quiet", options.quiet, "No progress line on the terminal");
}

CResult ParseSequenceOptions(const CSequenceOptions& options, CSequenceChoice& choice) {
    choice = CSequenceChoice();
    if (!options.frames.empty()) {
        CFrameRange range;
        if (CResult parsed = ParseFrames(options.frames, range.first, range.last); !parsed) {
            return CResult::Fail("--frames: " + parsed.Message());
        }
        const int64_t frames = static_cast<int64_t>(range.last) - range.first + 1;
        if (frames > MaxSequenceFrames) {
            return CResult::Fail(fmt::format(
                "--frames: \"{}\" holds {} frames, more than the {} one run takes; split the range",
                options.frames, frames, MaxSequenceFrames));
        }
        choice.range = range;
    }
    if (!options.shard.empty()) {
        if (CResult parsed = ParseShard(options.shard, choice.shard); !parsed) {
            return CResult::Fail("--shard: " + parsed.Message());
        }
    }
    choice.jobs = options.jobs;
    choice.progress = CProgress::ShownOnTerminal(options.quiet);
    return CResult::Ok();
}

CResult ResolvePattern(const std::string& pattern, const CSequenceChoice& choice,
                       std::vector<CSequenceFrame>& frames, std::vector<std::string>* unnumbered) {
    std::vector<CSequenceFrame> all;
    if (CResult found = PatternSequence(pattern, choice.range, all, unnumbered); !found) {
        return found;
    }
    frames = TakeShard(all, choice.shard);
    return CResult::Ok();
}

}  // namespace VelpoTools
