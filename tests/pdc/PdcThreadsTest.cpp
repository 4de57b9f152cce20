// Several threads set array flags at once while others read and copy them,
// as the exporting node's evaluations do. A flag only ever goes from false
// to true, so whatever the interleaving, a reader never sees one go back,
// a copy never holds fewer than were seen before it was made, and once the
// writers have finished every flag reads true.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "pdc/Pdc.h"

namespace {

constexpr int kWriters = 2;
constexpr int kReaders = 2;
constexpr int kRounds = 500;

// What one reader saw over all its passes.
struct CSeen {
    int passes = 0;
    int flagsTurnedBack = 0;  // a flag read true, then false
    int copiesBehind = 0;     // a copy with fewer flags than read just before
    int finalCount = 0;       // flags read true after the writers finished
};

int CountSet(const CPdc& pdc) {
    int count = 0;
    for (const CAttribute& attribute : pdc.attributes) {
        count += attribute.isArray ? 1 : 0;
    }
    return count;
}

// Writer w owns the slots s with s % kWriters == w and sets them one by one,
// round after round, as every Evaluate call of the node sets its flags.
void Write(CPdc& pdc, int writer, std::atomic<int>& writersDone) {
    for (int round = 0; round < kRounds; ++round) {
        for (int slot = writer; slot < PdcSlotCount; slot += kWriters) {
            if (round * kWriters >= slot) {
                pdc.attributes[slot].isArray = true;
            }
        }
    }
    writersDone.fetch_add(1, std::memory_order_release);
}

void Read(const CPdc& pdc, const std::atomic<int>& writersDone, CSeen& seen) {
    bool wasSet[PdcSlotCount] = {};
    bool last = false;
    while (!last) {
        // Writers done before this pass starts: it must see every flag.
        last = writersDone.load(std::memory_order_acquire) == kWriters;
        int count = 0;
        for (int slot = 0; slot < PdcSlotCount; ++slot) {
            const bool set = pdc.attributes[slot].isArray;
            if (wasSet[slot] && !set) {
                ++seen.flagsTurnedBack;
            }
            wasSet[slot] = wasSet[slot] || set;
            count += set ? 1 : 0;
        }
        const CPdc copy = pdc;
        if (CountSet(copy) < count) {
            ++seen.copiesBehind;
        }
        ++seen.passes;
        seen.finalCount = count;
    }
}

TEST(PdcThreads, ArrayFlagsOnlyEverTurnOn) {
    CPdc pdc;
    std::atomic<int> writersDone{0};
    std::vector<CSeen> seen(kReaders);
    std::vector<std::thread> threads;
    for (int r = 0; r < kReaders; ++r) {
        threads.emplace_back(Read, std::cref(pdc), std::cref(writersDone), std::ref(seen[r]));
    }
    for (int w = 0; w < kWriters; ++w) {
        threads.emplace_back(Write, std::ref(pdc), w, std::ref(writersDone));
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int r = 0; r < kReaders; ++r) {
        SCOPED_TRACE("reader " + std::to_string(r));
        EXPECT_GE(seen[r].passes, 1);
        EXPECT_EQ(seen[r].flagsTurnedBack, 0);
        EXPECT_EQ(seen[r].copiesBehind, 0);
        EXPECT_EQ(seen[r].finalCount, PdcSlotCount);
    }
    EXPECT_EQ(CountSet(pdc), PdcSlotCount);
    // Copies carry the flag.
    const CPdc copy = pdc;
    EXPECT_EQ(CountSet(copy), PdcSlotCount);
}

}  // namespace
