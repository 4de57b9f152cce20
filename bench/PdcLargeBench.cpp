// The C++ file layer as bench/python_bench.py measures the Python module
// against it: a 10,000,000-particle cache of "position", "velocity" and six
// per-particle doubles, written from and read into the slots of a CPdc as
// the nodes write and read it, fresh slots for each read.
//
// VELPO_BENCH_FILE names the file to read (python_bench.py passes the one
// the module wrote, so that both read the same bytes); without it the
// program writes one first. Writes go to VELPO_BENCH_DIR, else the system's
// temporary folder. VELPO_BENCH_PARTICLES changes the particle count.
//
// Each pass starts with no dirty pages and no earlier file to replace, so
// that what the system does about the previous pass is not measured. One
// pass of each per run (--benchmark_repetitions for more): the Python
// script runs the program between its own passes, so that both meet the
// same load on a shared machine.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "bench/LargeFrame.h"
#include "pdc/Pdc.h"
#include "tests/support/PdcLayouts.h"

namespace {

using VelpoBench::LargeFrame;
using VelpoBench::SetLargeFrameLayout;

std::string BenchFolder() {
    const char* folder = std::getenv("VELPO_BENCH_DIR");
    return folder && *folder ? folder : std::filesystem::temp_directory_path().string();
}

bool Write(const std::string& path) {
    return VelpoTestSupport::WritePdcFile(path, LargeFrame());
}

std::string FileToRead() {
    static const std::string path = [] {
        const char* named = std::getenv("VELPO_BENCH_FILE");
        if (named && *named) {
            return std::string(named);
        }
        const std::string made = BenchFolder() + "/velpo-bench-large-read.pdc";
        if (!Write(made)) {
            std::abort();
        }
        return made;
    }();
    return path;
}

void BM_WriteLarge(benchmark::State& state) {
    const std::string path = BenchFolder() + "/velpo-bench-large-write.pdc";
    LargeFrame();
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(path);
        sync();
        state.ResumeTiming();
        if (!Write(path)) {
            state.SkipWithError("write failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<int64_t>(std::filesystem::file_size(path)));
    std::filesystem::remove(path);
}

void BM_ReadLarge(benchmark::State& state) {
    const std::string path = FileToRead();
    for (auto _ : state) {
        state.PauseTiming();
        sync();
        auto pdc = std::make_unique<CPdc>();
        SetLargeFrameLayout(*pdc);
        state.ResumeTiming();
        FILE* file = std::fopen(path.c_str(), "rb");
        const bool read = file && pdc->header.FRead(file) && pdc->ReadParticles(file);
        if (file) {
            std::fclose(file);
        }
        benchmark::DoNotOptimize(pdc->attributes[PdcPositionSlot].vectorValues.GetArray());
        state.PauseTiming();
        const bool whole = read && pdc->PositionCount() == pdc->header.particleCount;
        pdc.reset();  // freeing the slots is not part of the read
        state.ResumeTiming();
        if (!whole) {
            state.SkipWithError("read failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<int64_t>(std::filesystem::file_size(path)));
}

BENCHMARK(BM_WriteLarge)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ReadLarge)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
