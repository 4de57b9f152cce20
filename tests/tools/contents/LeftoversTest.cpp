// The scraps that killed writers leave: found among other files, shown with
// their size, age and writer, and never taken for anything else.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/support/FileContents.h"
#include "tests/support/ScratchFolder.h"
#include "tools/contents/Leftovers.h"

namespace VelpoTools {
namespace {

using VelpoTestSupport::CScratchFolder;

TEST(LeftoverAge, EachUnitTakesOverAtItsBoundary) {
    struct Case {
        int64_t seconds;
        const char* text;
    } cases[] = {
        {-1, "in the future (the clocks disagree)"},
        {-86400, "in the future (the clocks disagree)"},
        {0, "0 s ago"},
        {59, "59 s ago"},
        {60, "1 min ago"},
        {119, "1 min ago"},
        {3599, "59 min ago"},
        {3600, "1 h 0 min ago"},
        {3 * 3600 + 12 * 60 + 59, "3 h 12 min ago"},
        {86399, "23 h 59 min ago"},
        {86400, "1 days ago"},
        {10 * 86400 + 5, "10 days ago"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AgeText(c.seconds), c.text) << c.seconds;
    }
}

TEST(LeftoverReport, LinesAndJsonNameTheFileInItsFolder) {
    CLeftovers leftovers;
    leftovers.folder = "cache";
    leftovers.now = 100000;
    leftovers.files = {{".velpo-4711-0.tmp", 4711, 164000000, 100000 - (3 * 3600 + 12 * 60)},
                       {".velpo-12-\x1b[1m.tmp", 12, 0, 100005}};
    const std::string lines = LeftoverLines(leftovers);
    const std::string first = (std::filesystem::path("cache") / ".velpo-4711-0.tmp").string();
    const std::string second = (std::filesystem::path("cache") / ".velpo-12-\\x1b[1m.tmp").string();
    EXPECT_EQ(lines, "  " + first +
                         ": 164000000 bytes, last written 3 h 12 min ago by process 4711\n"
                         "  " +
                         second +
                         ": 0 bytes, last written in the future (the clocks disagree) by "
                         "process 12\n");

    const nlohmann::ordered_json json = LeftoverJson(leftovers);
    ASSERT_EQ(json.size(), 2u);
    EXPECT_EQ(json[0].dump(), nlohmann::ordered_json({{"file", first},
                                                      {"size", 164000000},
                                                      {"modified", 100000 - 11520},
                                                      {"ageSeconds", 11520},
                                                      {"processID", 4711}})
                                  .dump());
    // JSON carries the name as it is; only the terminal lines escape it.
    EXPECT_EQ(json[1]["file"], (std::filesystem::path("cache") / ".velpo-12-\x1b[1m.tmp").string());
    EXPECT_EQ(json[1]["ageSeconds"], -5);

    EXPECT_EQ(LeftoverLines(CLeftovers()), "");
    EXPECT_EQ(LeftoverJson(CLeftovers()).dump(), "[]");
}

TEST(LeftoverSearch, OnlyTemporaryNamesOfRegularFilesAreFound) {
    CScratchFolder scratch;
    for (const char* name : {".velpo-4711-0.tmp", ".velpo-9-12.tmp", "cache.1.pdc",
                             ".velpo-x-1.tmp", "velpo-1-1.tmp", ".velpo-1-1.tmp.pdc"}) {
        ASSERT_TRUE(VelpoTestSupport::WriteFile(scratch.Path() / name, "12345"));
    }
    std::filesystem::create_directory(scratch.Path() / ".velpo-5-5.tmp");
    CLeftovers leftovers;
    const Velpo::CResult found = FindLeftovers(scratch.Path().string(), leftovers);
    ASSERT_TRUE(found.Succeeded()) << found.Message();
    EXPECT_EQ(leftovers.folder, scratch.Path().string());
    EXPECT_GT(leftovers.now, 0);
    ASSERT_EQ(leftovers.files.size(), 2u);
    EXPECT_EQ(leftovers.files[0].name, ".velpo-4711-0.tmp");
    EXPECT_EQ(leftovers.files[0].processID, 4711u);
    EXPECT_EQ(leftovers.files[0].size, 5u);
    EXPECT_EQ(leftovers.files[1].name, ".velpo-9-12.tmp");
    EXPECT_EQ(leftovers.files[1].processID, 9u);
    // Just written: its age is small and not in the future.
    const int64_t age = leftovers.now - leftovers.files[0].modified;
    EXPECT_GE(age, -2);
    EXPECT_LT(age, 3600);

    CLeftovers none;
    none.files.resize(3);
    const std::string missing = (scratch.Path() / "missing").string();
    const Velpo::CResult refused = FindLeftovers(missing, none);
    ASSERT_FALSE(refused.Succeeded());
    EXPECT_EQ(refused.Message().rfind(missing + ": ", 0), 0u) << refused.Message();
    EXPECT_TRUE(none.files.empty());
}

}  // namespace
}  // namespace VelpoTools
