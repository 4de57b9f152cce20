// velpo convert on a 960 MB frame: PDC to binary PLY (the direction a
// pipeline runs per frame to hand caches to point tools), and back.
//
// The frame holds 10,000,000 particles: "position" and "velocity" vectors
// and six per-particle double records, 96 bytes a particle. Throughput is
// counted in input bytes; the page cache is warm after the first pass.
// Files go to VELPO_BENCH_DIR, else the system's temporary folder; each pass
// writes a fresh file (the earlier output is removed outside the timing).
// The block variants show what the block size costs or saves; the largest
// resident set of the process so far is reported as peak_rss_mib (Linux).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "pdc/Pdc.h"
#include "pdc/RecordWriter.h"
#include "tools/ply/ConvertFiles.h"

#ifdef __linux__
#include <sys/resource.h>
#endif

namespace {

constexpr int32_t Particles = 10000000;

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

// Written a slice at a time, so that the benchmark's own peak memory stays
// that of the conversion.
bool WriteFrame() {
    std::FILE* file = std::fopen(Pdc().string().c_str(), "wb");
    if (!file) {
        return false;
    }
    constexpr size_t Slice = 65536;
    std::vector<double> values(3 * Slice);
    CPdcWriter writer(file);
    bool ok = writer.WriteHeader(PdcHeader::ForWriting(Particles, 8));
    const char* names[] = {"position", "velocity", "id",          "age",
                           "radius",   "density",  "temperature", "mass"};
    for (const char* name : names) {
        const bool vector = name[0] == 'p' || name[0] == 'v';
        const size_t components = vector ? 3 : 1;
        ok = ok &&
             writer.BeginRecord(name, vector ? PdcCodeVectorArray : PdcCodeDoubleArray, Particles);
        for (size_t first = 0; first < Particles; first += Slice) {
            const size_t n = std::min<size_t>(Slice, Particles - first) * components;
            for (size_t i = 0; i < n; ++i) {
                values[i] = static_cast<double>(first * components + i) / (1.0 + name[0]);
            }
            ok = ok && writer.AppendDoubles(values.data(), n);
        }
        ok = ok && writer.EndRecord();
    }
    ok = ok && writer.Flush();
    return std::fclose(file) == 0 && ok;
}

double PeakMiB() {
#ifdef __linux__
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
#else
    return 0;
#endif
}

bool Convert(const std::filesystem::path& in, const std::filesystem::path& out,
             benchmark::State& state, int64_t blockParticles = 0) {
    VelpoTools::CConvertSummary summary;
    std::vector<std::string> notes;
    VelpoTools::CConvertBlock block;
    if (blockParticles > 0) {
        block.particles = blockParticles;
        block.bytes = INT64_MAX;
    }
    const Velpo::CResult done =
        VelpoTools::ConvertFile(in.string(), out.string(), {}, summary, notes, block);
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
        if (!Convert(Pdc(), Ply(), state, state.range(0))) {
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["peak_rss_mib"] = PeakMiB();
}
// 0: the command's default block; then blocks of fixed particle counts.
BENCHMARK(BM_PdcToBinaryPly)
    ->Arg(0)
    ->Arg(8192)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

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
    state.counters["peak_rss_mib"] = PeakMiB();
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
