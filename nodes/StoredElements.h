// Which elements of an Export evaluation the Evaluate calls have stored.
//
// The Export node sizes its slot arrays without zeroing them, so that the
// Evaluate calls' copies are the first to touch that memory. Elements that
// no call stores (a Count larger than the elements evaluated) must still be
// written as zero; EndEvaluate asks this record which ones they are.
//
// Thread-safety: Mark may be called from any number of threads at once
// (one atomic OR per 64 elements, no lock); ForEachGap runs after all of
// them have finished.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>

class CStoredElements {
public:
    // All `count` elements unstored. Throws std::bad_alloc like any
    // allocation (count / 8 bytes).
    explicit CStoredElements(uint32_t count)
        : count_(count), words_(new std::atomic<uint64_t>[(uint64_t{count} + 63) / 64]()) {}

    uint32_t Count() const { return count_; }

    // Marks the elements [first, first + count) that lie below Count().
    void Mark(uint32_t first, uint32_t count) {
        const uint64_t end = std::min<uint64_t>(uint64_t{first} + count, count_);
        for (uint64_t at = first; at < end;) {
            const uint64_t word = at / 64;
            const uint64_t upTo = std::min<uint64_t>(end, (word + 1) * 64);
            const uint64_t bits =
                upTo - at == 64 ? ~uint64_t{0} : ((uint64_t{1} << (upTo - at)) - 1) << (at % 64);
            words_[word].fetch_or(bits, std::memory_order_relaxed);
            at = upTo;
        }
    }

    // Calls gap(first, count) for every run of unmarked elements, in order.
    template <class Gap>
    void ForEachGap(Gap&& gap) const {
        uint32_t runStart = 0;
        bool inRun = false;
        for (uint64_t at = 0; at < count_; ++at) {
            const uint64_t bits = words_[at / 64].load(std::memory_order_relaxed);
            if (bits == ~uint64_t{0} && at % 64 == 0 && !inRun) {
                at += 63;  // a whole stored word
                continue;
            }
            const bool stored = (bits >> (at % 64)) & 1;
            if (!stored && !inRun) {
                runStart = static_cast<uint32_t>(at);
                inRun = true;
            } else if (stored && inRun) {
                gap(runStart, static_cast<uint32_t>(at) - runStart);
                inRun = false;
            }
        }
        if (inRun) {
            gap(runStart, count_ - runStart);
        }
    }

private:
    uint32_t count_;
    std::unique_ptr<std::atomic<uint64_t>[]> words_;
};
