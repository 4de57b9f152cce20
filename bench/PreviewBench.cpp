// velpo preview's whole path for one frame: a 1,000,000-particle PDC file
// (position and a per-particle vector, a swirl) read from the page cache,
// framed, drawn coloured by the vector's length at 1920x1080 with its
// legend, and encoded as PNG bytes in memory. The file write is left out:
// it is WriteFileReplacing's, measured with the caches.
//
// The file lies in VELPO_BENCH_DIR, else the system's temporary folder.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "tests/support/FileContents.h"
#include "tests/support/PdcBytes.h"
#include "tests/support/ScratchFolder.h"
#include "tools/preview/ColorMap.h"
#include "tools/preview/FramePicture.h"
#include "tools/preview/Picture.h"

namespace {

constexpr int32_t kParticles = 1000000;

// A flat swirl of arms with some thickness; the velocity turns with it.
std::vector<uint8_t> SwirlFile() {
    VelpoTestSupport::CPdcBytes bytes;
    bytes.Header(kParticles, 2).Record("position", 5);
    const auto angle = [](int32_t i) { return i * 0.0007 + (i % 5) * 1.2566; };
    const auto radius = [](int32_t i) { return 0.2 + 4.0 * (i % 997) / 997.0; };
    for (int32_t i = 0; i < kParticles; ++i) {
        const double a = angle(i) + radius(i) * 0.8;
        bytes.Doubles(
            {radius(i) * std::cos(a), 0.05 * std::sin(i * 0.37), radius(i) * std::sin(a)});
    }
    bytes.Record("velocity", 5);
    for (int32_t i = 0; i < kParticles; ++i) {
        const double a = angle(i) + radius(i) * 0.8;
        const double speed = 1.0 / (0.3 + radius(i));
        bytes.Doubles({-speed * std::sin(a), 0.0, speed * std::cos(a)});
    }
    return bytes.Bytes();
}

void BM_PreviewFrameToPng(benchmark::State& state) {
    VelpoTestSupport::CScratchFolder scratch;
    const std::string file = scratch / "swirl.pdc";
    if (!VelpoTestSupport::WriteBytes(file, SwirlFile())) {
        state.SkipWithError("the frame could not be written");
        return;
    }
    VelpoTools::CPreviewChoice choice;
    choice.width = 1920;
    choice.height = 1080;
    choice.colour = "velocity";
    choice.view.axis = 'y';
    size_t pngBytes = 0;
    for (auto _ : state) {
        VelpoTools::CPicture picture(choice.width, choice.height, VelpoTools::BackgroundColour);
        int64_t particles = 0;
        std::string png;
        if (!VelpoTools::DrawFramePicture(choice, file, picture, particles) ||
            !VelpoTools::EncodePng(picture, png)) {
            state.SkipWithError("the preview failed");
            return;
        }
        pngBytes = png.size();
        benchmark::DoNotOptimize(png.data());
    }
    state.counters["png_bytes"] = static_cast<double>(pngBytes);
    state.SetItemsProcessed(state.iterations() * kParticles);
}
BENCHMARK(BM_PreviewFrameToPng)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
