// velpo convert on a ~100 MB frame: PDC to binary PLY (the direction a
// pipeline runs per frame to hand caches to point tools), and back.
//
// The frame holds 1,150,000 particles: "position" and "velocity" vectors,
// five per-particle doubles and one per-particle integer record, 92 bytes a
// particle. Throughput is counted in input bytes. Files go to
// VELPO_BENCH_DIR, else the system's temporary folder; each pass writes a
// fresh file (the earlier output is removed outside the timing).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "pdc/Pdc.h"
#include "pdc/RecordWriter.h"
#include "tools/ply/ConvertFiles.h"

namespace {

constexpr int32_t Particles = 1150000;

std::filesystem::path BenchFolder() {
    const char* folder = std::getenv("VELPO_BENCH_DIR");
    return folder && *folder ? std::filesystem::path(folder)
                             : std::filesystem::temp_directory_path();
}

std::filesystem::path Pdc() {
    return BenchFolder() / "velpo_convert_bench.pdc";
}
std::filesystem::path Ply() {
    return BenchFolder() / "velpo_convert_bench.ply";
}
std::filesystem::path Back() {
    return BenchFolder() / "velpo_convert_bench_back.pdc";
}

bool WriteFrame() {
    std::FILE* file = std::fopen(Pdc().string().c_str(), "wb");
    if (!file) {
        return false;
    }
    const size_t n = Particles;
    std::vector<double> vectors(3 * n);
    std::vector<double> doubles(n);
    std::vector<int32_t> integers(n);
    bool ok = PdcHeader::ForWriting(Particles, 8).FWrite(file);
    for (const char* name : {"position", "velocity"}) {
        for (size_t i = 0; i < 3 * n; ++i) {
            vectors[i] = static_cast<double>(i) * (name[0] == 'p' ? 1e-3 : -2e-3);
        }
        ok = ok && PdcWriteRecord(file, name, PdcCodeVectorArray, vectors.data(), 3 * n);
    }
    for (const char* name : {"id", "age", "radius", "density", "temperature"}) {
        for (size_t i = 0; i < n; ++i) {
            doubles[i] = static_cast<double>(i) / (1.0 + name[0]);
        }
        ok = ok && PdcWriteRecord(file, name, PdcCodeDoubleArray, doubles.data(), n);
    }
    for (size_t i = 0; i < n; ++i) {
        integers[i] = static_cast<int32_t>(i % 7);
    }
    ok = ok && PdcWriteRecord(file, "state", PdcCodeIntegerArray, integers.data(), n);
    return std::fclose(file) == 0 && ok;
}

bool Convert(const std::filesystem::path& in, const std::filesystem::path& out,
             benchmark::State& state) {
    VelpoTools::CConvertSummary summary;
    std::vector<std::string> notes;
    const Velpo::CResult done =
        VelpoTools::ConvertFile(in.string(), out.string(), {}, summary, notes);
    if (!done) {
        state.SkipWithError(done.Message().c_str());
        return false;
    }
    return true;
}

void BM_PdcToBinaryPly(benchmark::State& state) {
    if (!std::filesystem::exists(Pdc()) && !WriteFrame()) {
        state.SkipWithError("cannot write the PDC frame");
        return;
    }
    const int64_t bytes = static_cast<int64_t>(std::filesystem::file_size(Pdc()));
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(Ply());
        state.ResumeTiming();
        if (!Convert(Pdc(), Ply(), state)) {
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_PdcToBinaryPly)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BinaryPlyToPdc(benchmark::State& state) {
    if (!std::filesystem::exists(Ply())) {
        if ((!std::filesystem::exists(Pdc()) && !WriteFrame()) || !Convert(Pdc(), Ply(), state)) {
            state.SkipWithError("cannot write the PLY frame");
            return;
        }
    }
    const int64_t bytes = static_cast<int64_t>(std::filesystem::file_size(Ply()));
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(Back());
        state.ResumeTiming();
        if (!Convert(Ply(), Back(), state)) {
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_BinaryPlyToPdc)->Unit(benchmark::kMillisecond)->UseRealTime();

// Removes the files when the program ends.
struct CCleanUp {
    ~CCleanUp() {
        std::error_code ignored;
        for (const auto& file : {Pdc(), Ply(), Back()}) {
            std::filesystem::remove(file, ignored);
        }
    }
} cleanUp;

}  // namespace

BENCHMARK_MAIN();
