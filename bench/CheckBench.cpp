// `velpo check`'s reading over a warm sequence: 8 frames of about 64 MB
// (1,000,000 particles of "id", "age", "position" and "velocity"), written
// once to a scratch folder and read once before timing, so that the page
// cache holds them and the figure is the per-value work (byte order, NaN
// and infinity counts, statistics, the content hash), not the disk.
//
// CheckSequence/jobs:N reads every frame with N jobs as the command does
// and works out the sequence's problems; bytes/s is the files' bytes over
// wall-clock time. VELPO_BENCH_PARTICLES changes the particles per frame.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/FileContents.h"
#include "tests/support/PdcBytes.h"
#include "tests/support/ScratchFolder.h"
#include "tools/common/Console.h"
#include "tools/contents/SequenceCheck.h"
#include "tools/sequence/FrameRunner.h"

namespace {

using VelpoTools::CFrameFacts;
using VelpoTools::CSequenceFrame;

constexpr int32_t Frames = 8;

int32_t Particles() {
    const char* text = std::getenv("VELPO_BENCH_PARTICLES");
    return text && *text ? std::atoi(text) : 1000000;
}

struct CSequence {
    VelpoTestSupport::CScratchFolder folder;
    std::vector<CSequenceFrame> frames;
    int64_t bytes = 0;
};

const CSequence& Sequence() {
    static const std::unique_ptr<CSequence> sequence = [] {
        auto made = std::make_unique<CSequence>();
        const int32_t n = Particles();
        for (int32_t frame = 1; frame <= Frames; ++frame) {
            VelpoTestSupport::CPdcBytesIn<std::string> bytes;
            bytes.Header(n, 4).Record("id", 3);
            for (int32_t i = 0; i < n; ++i) {
                bytes.Double(i);
            }
            bytes.Record("age", 3);
            for (int32_t i = 0; i < n; ++i) {
                bytes.Double(frame * 0.04 + i * 1e-6);
            }
            for (const char* name : {"position", "velocity"}) {
                bytes.Record(name, 5);
                for (int32_t i = 0; i < n; ++i) {
                    bytes.Doubles({i * 1e-3 + frame, -i * 1e-3, 1.0 / (i + frame)});
                }
            }
            const std::string file = made->folder / ("p." + std::to_string(frame) + ".pdc");
            VelpoTestSupport::WriteFile(file, bytes.Bytes());
            made->frames.push_back({frame, file});
            made->bytes += static_cast<int64_t>(bytes.Size());
        }
        for (const CSequenceFrame& frame : made->frames) {
            VelpoTools::FrameFacts(frame);  // into the page cache
        }
        return made;
    }();
    return *sequence;
}

// The frames' reports are empty: nothing to show.
class CSilentConsole final : public VelpoTools::CConsole {
public:
    void Write(CStream, std::string_view) override {}
};

void CheckSequence(benchmark::State& state) {
    const CSequence& sequence = Sequence();
    const uint32_t jobs = static_cast<uint32_t>(state.range(0));
    size_t problems = 0;
    CSilentConsole console;
    for (auto _ : state) {
        std::vector<CFrameFacts> facts(sequence.frames.size());
        VelpoTools::RunFrames(
            facts.size(), jobs,
            [&](size_t i, VelpoTools::CFrameReport&) {
                facts[i] = VelpoTools::FrameFacts(sequence.frames[i]);
            },
            console, nullptr);
        problems = VelpoTools::SequenceProblems(facts, {0.5}).size();
        benchmark::DoNotOptimize(problems);
    }
    if (problems != 0) {
        state.SkipWithError("the sequence should have no problems");
    }
    state.SetBytesProcessed(state.iterations() * sequence.bytes);
}

BENCHMARK(CheckSequence)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
