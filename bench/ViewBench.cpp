// velpo view's server side for one frame: a 1,000,000-particle PDC file
// (id, position, velocity, age) read from the page cache into the points
// the page draws, coloured by age and by the velocity's length, and the
// payload sent; and the same frame shown as a 250,000-particle subset by
// id. The browser's side is measured by bench/view_bench.py.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "tests/support/FileContents.h"
#include "tests/support/PdcBytes.h"
#include "tests/support/ScratchFolder.h"
#include "tools/view/FramePoints.h"
#include "tools/view/MemoryReuse.h"

namespace {

constexpr int32_t kParticles = 1000000;

std::vector<uint8_t> CloudFile() {
    VelpoTestSupport::CPdcBytes bytes;
    bytes.Header(kParticles, 4).Record("id", 1);
    for (int32_t i = 0; i < kParticles; ++i) {
        bytes.Int(i + 1);
    }
    bytes.Record("position", 5);
    for (int32_t i = 0; i < kParticles; ++i) {
        bytes.Doubles({std::sin(i * 0.001) * 3, std::cos(i * 0.0007) * 2, (i % 1000) * 0.01});
    }
    bytes.Record("velocity", 5);
    for (int32_t i = 0; i < kParticles; ++i) {
        bytes.Doubles({std::cos(i * 0.003), 0.5, std::sin(i * 0.002)});
    }
    bytes.Record("age", 3);
    for (int32_t i = 0; i < kParticles; ++i) {
        bytes.Double((i % 240) / 24.0);
    }
    return bytes.Bytes();
}

void FramePoints(benchmark::State& state, const char* colour, int64_t budget) {
    VelpoTestSupport::CScratchFolder scratch;
    const std::string file = scratch / "cloud.pdc";
    if (!VelpoTestSupport::WriteBytes(file, CloudFile())) {
        state.SkipWithError("the frame could not be written");
        return;
    }
    size_t bytes = 0;
    for (auto _ : state) {
        VelpoTools::CFramePoints points;
        const VelpoTools::CPointsRequest request{
            colour, *colour ? VelpoTools::CColourMode::Map : VelpoTools::CColourMode::None, budget};
        if (!VelpoTools::ReadFramePoints(file, request, points)) {
            state.SkipWithError("the frame could not be read");
            return;
        }
        bytes = VelpoTools::PointsPayload(points).size();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["payloadMB"] = static_cast<double>(bytes) / 1e6;
}

void BM_ViewPointsPlain(benchmark::State& state) {
    FramePoints(state, "", 4000000);
}
void BM_ViewPointsByAge(benchmark::State& state) {
    FramePoints(state, "age", 4000000);
}
void BM_ViewPointsBySpeed(benchmark::State& state) {
    FramePoints(state, "velocity", 4000000);
}
void BM_ViewPointsSubsetById(benchmark::State& state) {
    FramePoints(state, "age", 250000);
}

BENCHMARK(BM_ViewPointsPlain)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ViewPointsByAge)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ViewPointsBySpeed)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ViewPointsSubsetById)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

// As velpo view runs: freed frame buffers kept for the next frame.
int main(int argc, char** argv) {
    VelpoTools::ReuseLargeBlocks();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
