// The Export node's record of the elements its Evaluate calls stored: the
// gaps it reports are exactly the elements no call marked, whatever the
// ranges, their order and the threads that mark them.
#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

#include "nodes/StoredElements.h"

namespace {

using CRanges = std::vector<std::pair<uint32_t, uint32_t>>;  // first, count

CRanges Gaps(const CStoredElements& stored) {
    CRanges gaps;
    stored.ForEachGap([&gaps](uint32_t first, uint32_t count) { gaps.emplace_back(first, count); });
    return gaps;
}

TEST(StoredElements, GapsAreTheElementsNoRangeMarked) {
    struct Case {
        const char* what;
        uint32_t count;
        CRanges marked;
        CRanges gaps;
    };
    const Case cases[] = {
        {"nothing marked", 10, {}, {{0, 10}}},
        {"no elements", 0, {{0, 5}}, {}},
        {"everything, in one range", 200, {{0, 200}}, {}},
        {"everything, in subsets out of order", 200, {{128, 72}, {0, 64}, {64, 64}}, {}},
        {"a tail past the points", 100, {{0, 37}}, {{37, 63}}},
        {"a hole inside a word", 64, {{0, 10}, {12, 52}}, {{10, 2}}},
        {"holes across words",
         300,
         {{1, 63}, {65, 127}, {200, 36}},
         {{0, 1}, {64, 1}, {192, 8}, {236, 64}}},
        {"ranges past the end are cut", 70, {{60, 100}, {0, 3}}, {{3, 57}}},
        {"a range starting past the end", 70, {{80, 5}}, {{0, 70}}},
        {"single elements", 5, {{4, 1}, {0, 1}, {2, 1}}, {{1, 1}, {3, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CStoredElements stored(c.count);
        for (const auto& [first, count] : c.marked) {
            stored.Mark(first, count);
        }
        EXPECT_EQ(Gaps(stored), c.gaps);
    }
}

// Subsets of odd sizes marked from several threads at once share words at
// their edges; every element still ends up marked.
constexpr uint32_t Count = 100003;
constexpr uint32_t Subset = 13;

TEST(StoredElements, ThreadsMarkingNeighbouringSubsetsLoseNothing) {
    CStoredElements stored(Count + 40);
    std::vector<std::thread> threads;
    for (uint32_t t = 0; t < 4; ++t) {
        threads.emplace_back([&stored, t] {
            for (uint32_t first = t * Subset; first < Count; first += 4 * Subset) {
                stored.Mark(first, std::min(Subset, Count - first));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(Gaps(stored), (CRanges{{Count, 40}}));
}

}  // namespace
