// Cache file names of a frame range: the name each frame gets, and the
// first two frames of a range that would share one file.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tools/common/CacheNames.h"

namespace VelpoTools {
namespace {

CSettings Settings(const std::string& path, int32_t step) {
    CSettings settings;
    settings.file = "s.json";
    settings.path = path;
    settings.step = step;
    return settings;
}

TEST(CacheFileNames, TheNumberIsFrameTimesStepAsAnUnsignedWord) {
    struct CCase {
        const char* path;
        int32_t step;
        int32_t frame;
        const char* file;
    } cases[] = {
        {"cache/fluid", 250, 1, "cache/fluid.250.pdc"},
        {"cache/fluid", 250, 120, "cache/fluid.30000.pdc"},
        {"cache/fluid.250.pdc", 250, 2, "cache/fluid.500.pdc"},
        {"cache/fluid", 1, 0, "cache/fluid.0.pdc"},
        {"cache/fluid", 1, -1, "cache/fluid.4294967295.pdc"},
        {"cache/fluid", -1, 1, "cache/fluid.4294967295.pdc"},
        {"cache/fluid", -1, -1, "cache/fluid.1.pdc"},
        {"cache/fluid", 0, 77, "cache/fluid.0.pdc"},
        {"cache/fluid", 65536, 65536, "cache/fluid.0.pdc"},
        {"cache/fluid", 2147483647, 2, "cache/fluid.4294967294.pdc"},
    };
    for (const CCase& c : cases) {
        EXPECT_EQ(CacheFile(Settings(c.path, c.step), c.frame), c.file)
            << c.path << " step " << c.step << " frame " << c.frame;
    }
}

// For each step the longest range of distinct names is found exactly: one
// frame more, and the check names a pair that the naming does give one file.
TEST(CacheFileNames, TheLongestRangeOfDistinctFilesIsAllowedAndNotOneFrameMore) {
    struct CCase {
        int32_t step;
        int64_t period;  // frames apart that share a file
    } cases[] = {
        {1, int64_t{1} << 32},
        {3, int64_t{1} << 32},
        {-7, int64_t{1} << 32},
        {2, int64_t{1} << 31},
        {4, int64_t{1} << 30},
        {12, int64_t{1} << 30},
        {1 << 20, int64_t{1} << 12},
        {-(1 << 24), int64_t{1} << 8},
        {1 << 30, 4},
        {-2147483647 - 1, 2},
        {0, 1},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE("step " + std::to_string(c.step));
        const CSettings settings = Settings("c/p", c.step);
        const int32_t first = -2147483647 - 1;
        if (c.period <= (int64_t{1} << 31)) {
            const int32_t lastDistinct = static_cast<int32_t>(first + c.period - 1);
            EXPECT_TRUE(CheckDistinctCacheFiles(settings, first, lastDistinct).Succeeded());
            EXPECT_TRUE(CheckDistinctCacheFiles(settings, 5, 5 + (lastDistinct - first)));
            const int32_t second = static_cast<int32_t>(first + c.period);
            const Velpo::CResult shared = CheckDistinctCacheFiles(settings, first, second);
            ASSERT_FALSE(shared.Succeeded());
            EXPECT_EQ(shared.Message().rfind(
                          "frames " + std::to_string(first) + " and " + std::to_string(second) +
                              " would both be written to " + CacheFile(settings, first),
                          0),
                      0u)
                << shared.Message();
            EXPECT_NE(shared.Message().find("nothing was written"), std::string::npos);
            EXPECT_EQ(CacheFile(settings, first), CacheFile(settings, second));
            if (c.period > 1) {
                EXPECT_NE(CacheFile(settings, first), CacheFile(settings, lastDistinct));
            }
        } else {
            // Every frame a 32-bit port can carry has a file of its own.
            EXPECT_TRUE(CheckDistinctCacheFiles(settings, first, 2147483647).Succeeded());
        }
    }
    // A range that is empty or one frame long shares nothing, whatever the step.
    for (int32_t step : {0, 1, 2, -2147483647 - 1}) {
        EXPECT_TRUE(CheckDistinctCacheFiles(Settings("c/p", step), 9, 9).Succeeded()) << step;
        EXPECT_TRUE(CheckDistinctCacheFiles(Settings("c/p", step), 9, 3).Succeeded()) << step;
    }
}

TEST(CacheFileNames, AFolderCutIsNamedOnlyWhenADotOfAFolderIsCut) {
    struct CCase {
        const char* path;
        int32_t step;
        int32_t first;
        const char* firstFile;  // empty: no warning
    } cases[] = {
        {"out/v1.2.3/pts", 250, 4, "out/v1.1000.pdc"},
        {"out/v1.2/pts", 250, 4, ""},  // one dot: nothing is cut
        {"out/v1.2/pts.pdc", 1, 3, "out/v1.3.pdc"},
        {"out/v1/pts.9.pdc", 1, 3, ""},
        {"out/v1.2/pts.9.pdc", 1, 3, ""},
        {"pts", 1, 1, ""},
        {"pts.pdc", 1, 1, ""},
        {"", 1, 1, ""},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string warning = FolderCutWarning(Settings(c.path, c.step), c.first);
        if (std::string(c.firstFile).empty()) {
            EXPECT_EQ(warning, "");
            continue;
        }
        EXPECT_EQ(warning.rfind(std::string("s.json: \"Path\" \"") + c.path + "\" is cut", 0), 0u)
            << warning;
        const std::string tail = std::string("the first is ") + c.firstFile;
        ASSERT_GE(warning.size(), tail.size());
        EXPECT_EQ(warning.substr(warning.size() - tail.size()), tail) << warning;
    }
}

}  // namespace
}  // namespace VelpoTools
