// Several threads set array flags at once while others read them, as the
// exporting node's evaluations do.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "pdc/Pdc.h"

namespace {

TEST(PdcThreads, ArrayFlagsSetAndReadConcurrently) {
    CPdc pdc;
    constexpr int threadCount = 4;
    std::vector<std::thread> threads;
    std::vector<int> seen(threadCount, 0);
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&pdc, &seen, t] {
            for (int round = 0; round < 1000; ++round) {
                for (CAttribute& attribute : pdc.attributes) {
                    if (t % 2 == 0) {
                        attribute.isArray = true;
                    } else if (attribute.isArray) {
                        ++seen[static_cast<size_t>(t)];
                    }
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const CAttribute& attribute : pdc.attributes) {
        EXPECT_TRUE(attribute.isArray);
    }
    // Copies carry the flag.
    const CPdc copy = pdc;
    EXPECT_TRUE(copy.attributes[PdcPositionSlot].isArray);
}

}  // namespace
