#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "tests/tools/CommandRunner.h"

namespace VelpoCommandTest {
namespace {

TEST(DemoCommand, SmallSceneRoundTripsExactlyAndLeavesTheFilesItNames) {
    CScratch scratch;
    const std::string dir = scratch / "cache.v2";  // a dot in the folder must not matter
    const CRun run =
        Velpo("demo --dir \"" + dir + "\" --particles 400 --frames 3-7 --step 250 --threads 2");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("round trip: exact"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("5 frames (3-7)"), std::string::npos) << run.out;
    // The summary names the first and last file; all five are there, and
    // nothing else was written.
    const std::filesystem::path folder(dir);
    EXPECT_NE(run.out.find((folder / "particles.750.pdc").string()), std::string::npos);
    EXPECT_NE(run.out.find((folder / "particles.1750.pdc").string()), std::string::npos);
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "particles.750.pdc" || name == "particles.1000.pdc" ||
                    name == "particles.1250.pdc" || name == "particles.1500.pdc" ||
                    name == "particles.1750.pdc")
            << name;
        ++files;
    }
    EXPECT_EQ(files, 5u);
}

TEST(DemoCommand, WrittenFilesHoldThePerPointAndConstantAttributes) {
    CScratch scratch;
    ASSERT_EQ(Velpo("demo --dir \"" + scratch.Path().string() + "\" --particles 80 --frames 1-40")
                  .exitCode,
              0);
    const CRun info = Velpo("info --json \"" + (scratch / "particles.40.pdc") + "\"");
    ASSERT_EQ(info.exitCode, 0) << info.err;
    const nlohmann::json file = nlohmann::json::parse(info.out);
    const int particles = file["header"]["particleCount"];
    EXPECT_GT(particles, 0);
    EXPECT_LE(particles, 80);
    std::map<std::string, nlohmann::json> records;
    for (const nlohmann::json& record : file["records"]) {
        records[record["name"]] = record;
    }
    ASSERT_EQ(records.size(), 10u);
    EXPECT_EQ(records["position"]["code"], 5);
    EXPECT_EQ(records["age"]["code"], 3);
    EXPECT_EQ(records["drag"]["code"], 2);
    EXPECT_EQ(records["gravity"]["code"], 4);
    EXPECT_DOUBLE_EQ(records["gravity"]["min"][1].get<double>(), static_cast<double>(-9.81f));
    // By frame 40 the first particles have died and been replaced, so ids
    // run past the particle limit; the floor keeps every particle above 0.
    EXPECT_GT(records["id"]["max"][0].get<double>(), 80.0);
    EXPECT_GE(records["position"]["min"][1].get<double>(), 0.0);
    EXPECT_TRUE(file["problems"].empty());
}

TEST(DemoCommand, FolderThatCannotBeCreatedFailsNamingIt) {
    CScratch scratch;
    WriteFile(scratch.Path() / "plain", "not a folder");
    const CRun run =
        Velpo("demo --particles 10 --frames 1-1 --dir \"" + (scratch / "plain") + "/sub\"");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("plain"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("cannot create the folder"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace VelpoCommandTest
