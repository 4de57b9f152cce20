// What it costs to make a cache last through a power failure: the
// 10,000,000-particle cache of bench_pdc_large (960 MB: "position",
// "velocity" and six per-particle doubles) written as the Export node writes
// it, through the safe write, once as it always is (CDurability::Process:
// temporary file and rename) and once flushed to the disk before the rename
// and the folder after it (CDurability::Disk, what --sync and sync=True ask
// for).
//
// Writes go to VELPO_BENCH_DIR, else the system's temporary folder: it must
// be on a disk, not in memory (tmpfs), or there is nothing to flush; the
// program says which file system it found. VELPO_BENCH_PARTICLES changes
// the particle count. Each pass starts with no dirty pages and no earlier
// file, so that the flush of one pass is not paid by the next. Run with
// repetitions interleaved, so that both meet the same load:
//
//   bench_safe_write --benchmark_repetitions=5
//                    --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#if defined(__linux__)
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

#include "bench/LargeFrame.h"
#include "pdc/Pdc.h"
#include "pdc/SafeWrite.h"
#include "tests/support/PdcLayouts.h"

namespace {

using VelpoBench::LargeFrame;

std::string BenchFolder() {
    const char* folder = std::getenv("VELPO_BENCH_DIR");
    return folder && *folder ? folder : std::filesystem::temp_directory_path().string();
}

// The file system of the folder, for the context: a flush to tmpfs costs
// nothing and says nothing.
std::string FileSystemOf(const std::string& folder) {
#if defined(__linux__)
    struct statfs status {};
    if (statfs(folder.c_str(), &status) != 0) {
        return "unknown";
    }
    switch (status.f_type) {
        case TMPFS_MAGIC:
            return "tmpfs (in memory: the flush measures nothing)";
        case EXT4_SUPER_MAGIC:
            return "ext2/3/4";
        case XFS_SUPER_MAGIC:
            return "xfs";
        case BTRFS_SUPER_MAGIC:
            return "btrfs";
        default:
            return "type 0x" + std::to_string(static_cast<long long>(status.f_type));
    }
#else
    static_cast<void>(folder);
    return "unknown";
#endif
}

void BM_SafeWrite(benchmark::State& state, CDurability durability) {
    const std::string path = BenchFolder() + "/velpo-bench-safe-write.pdc";
    const CPdc& pdc = LargeFrame();
    const CFileWriter write = [&pdc](std::FILE* file) {
        const PdcHeader header =
            PdcHeader::ForWriting(pdc.PositionCount(), pdc.NamedAttributeCount());
        return header.FWrite(file) && pdc.FWriteAttributes(file);
    };
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(path);
        sync();
        state.ResumeTiming();
        std::string reason;
        if (!SafeWriteFile(path, write, reason, durability)) {
            state.SkipWithError(("write failed: " + reason).c_str());
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<int64_t>(std::filesystem::file_size(path)));
    state.SetLabel(FileSystemOf(BenchFolder()));
    std::filesystem::remove(path);
    sync();
}

BENCHMARK_CAPTURE(BM_SafeWrite, Process, CDurability::Process)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_SafeWrite, Disk, CDurability::Disk)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
