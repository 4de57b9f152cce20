// velpo diff on files and sequences whose every byte the test states.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/tools/CommandRunner.h"

namespace VelpoCommandTest {
namespace {

// "id" and "age" per particle; `age` is added to every age.
std::string File(int32_t particles, double age = 0, bool withAge = true) {
    CPdcBytes bytes;
    bytes.Header(particles, withAge ? 2 : 1).Record("id", 3);
    for (int32_t i = 0; i < particles; ++i) {
        bytes.Double(i);
    }
    if (withAge) {
        bytes.Record("age", 3);
        for (int32_t i = 0; i < particles; ++i) {
            bytes.Double(i * 0.5 + age);
        }
    }
    return bytes.Bytes();
}

std::string Quote(const std::string& path) {
    return "\"" + path + "\"";
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(DiffCommand, FilesEqualWithinOrOverTheTolerance) {
    CScratch scratch;
    WriteFile(scratch.Path() / "a.pdc", File(4));
    WriteFile(scratch.Path() / "b.pdc", File(4));
    WriteFile(scratch.Path() / "c.pdc", File(4, 0.001));
    const std::string ab = Quote(scratch / "a.pdc") + " " + Quote(scratch / "b.pdc");
    const std::string ac = Quote(scratch / "a.pdc") + " " + Quote(scratch / "c.pdc");

    const CRun equal = Velpo("diff " + ab);
    EXPECT_EQ(equal.exitCode, 0) << equal.out << equal.err;
    EXPECT_TRUE(Has(equal.out, "are equal")) << equal.out;

    const CRun over = Velpo("diff " + ac);
    EXPECT_EQ(over.exitCode, 1);
    EXPECT_TRUE(Has(over.out, "\"age\": 4 of 4 values differ, largest difference 0.001"))
        << over.out;
    EXPECT_TRUE(Has(over.out, "first at particle 0: 0 in A, 0.001 in B")) << over.out;
    const CRun within = Velpo("diff --tolerance 0.0011 " + ac);
    EXPECT_EQ(within.exitCode, 0);
    EXPECT_TRUE(Has(within.out, "are equal within 0.0011")) << within.out;
    EXPECT_EQ(Velpo("diff --tolerance 0.0009 " + ac).exitCode, 1);
}

TEST(DiffCommand, CountsAndAttributesThatDiffer) {
    CScratch scratch;
    WriteFile(scratch.Path() / "a.pdc", File(4));
    WriteFile(scratch.Path() / "more.pdc", File(5));
    WriteFile(scratch.Path() / "noage.pdc", File(4, 0, false));
    const CRun counts =
        Velpo("diff " + Quote(scratch / "a.pdc") + " " + Quote(scratch / "more.pdc"));
    EXPECT_EQ(counts.exitCode, 1);
    EXPECT_TRUE(Has(counts.out, "particle count: 4 in A, 5 in B")) << counts.out;
    const CRun missing =
        Velpo("diff " + Quote(scratch / "a.pdc") + " " + Quote(scratch / "noage.pdc"));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(Has(missing.out, "\"age\": only in A")) << missing.out;
}

TEST(DiffCommand, UnreadableInputNamesTheFileAndReason) {
    CScratch scratch;
    WriteFile(scratch.Path() / "a.pdc", File(4));
    WriteFile(scratch.Path() / "cut.pdc", File(4).substr(0, 50));
    const CRun run = Velpo("diff " + Quote(scratch / "a.pdc") + " " + Quote(scratch / "cut.pdc"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.err, scratch / "cut.pdc" + ": record 0 at byte 28 (\"id\")")) << run.err;
}

TEST(DiffCommand, SequencesFrameByFrameWithAFrameOnOneSideOnly) {
    CScratch scratch;
    std::filesystem::create_directories(scratch.Path() / "a");
    std::filesystem::create_directories(scratch.Path() / "b");
    for (int32_t frame = 1; frame <= 4; ++frame) {
        const std::string name = "p." + std::to_string(frame) + ".pdc";
        WriteFile(scratch.Path() / "a" / name, File(frame));
        if (frame != 2) {
            WriteFile(scratch.Path() / "b" / name, File(frame, frame == 4 ? 1 : 0));
        }
    }
    const std::string patterns = Quote((scratch.Path() / "a" / "p.#.pdc").string()) + " " +
                                 Quote((scratch.Path() / "b" / "p.#.pdc").string());
    const CRun run = Velpo("diff " + patterns);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.out, "frame 2: only in A")) << run.out;
    EXPECT_TRUE(Has(run.out, "frame 4: ")) << run.out;
    EXPECT_FALSE(Has(run.out, "frame 1")) << run.out;
    EXPECT_TRUE(Has(run.out, "compared 4 frames: 2 differ")) << run.out;
    EXPECT_EQ(Velpo("diff " + patterns + " --frames 3-3").exitCode, 0);
    EXPECT_EQ(Velpo("diff " + patterns + " --jobs 2").out, run.out);

    const CRun json = Velpo("diff --json " + patterns + " --frames 1-5");
    EXPECT_EQ(json.exitCode, 1);
    const nlohmann::json report = nlohmann::json::parse(json.out);
    EXPECT_FALSE(report["equal"]);
    EXPECT_EQ(report["tolerance"], 0.0);
    ASSERT_EQ(report["frames"].size(), 5u);
    EXPECT_TRUE(report["frames"][0]["equal"]);
    EXPECT_FALSE(report["frames"][1]["presentB"]);
    EXPECT_EQ(
        report["frames"][4]["error"].get<std::string>().find("both missing") != std::string::npos,
        true);
    const nlohmann::json& age = report["frames"][3]["records"][1];
    EXPECT_EQ(age["name"], "age");
    EXPECT_EQ(age["code"], nlohmann::json({3, 3}));
    EXPECT_EQ(age["components"][0]["differing"], 4);
    EXPECT_EQ(age["components"][0]["maxAbsolute"], 1.0);
    EXPECT_EQ(age["components"][0]["firstParticle"], 0);
    EXPECT_EQ(age["components"][0]["first"], nlohmann::json({0.0, 1.0}));
}

// Every frame's problems carry a kind, and the report parses with a strict
// JSON parser (nlohmann's refuses NaN tokens) with no null for a number.
TEST(DiffCommand, JsonIsStrictAndEachProblemHasAKind) {
    CScratch scratch;
    std::filesystem::create_directories(scratch.Path() / "a");
    std::filesystem::create_directories(scratch.Path() / "b");
    const auto write = [&](const char* side, int32_t frame, const std::string& bytes) {
        WriteFile(scratch.Path() / side / ("p." + std::to_string(frame) + ".pdc"), bytes);
    };
    for (int32_t frame = 1; frame <= 6; ++frame) {
        write("a", frame, File(4));
    }
    write("b", 1, File(4));
    write("b", 3, File(4).substr(0, 20));
    write("b", 4, File(4, std::nan("")));
    write("b", 5, File(5));
    write("b", 6, File(4, 0, false));
    const CRun run = Velpo("diff --json " + Quote((scratch.Path() / "a" / "p.#.pdc").string()) +
                           " " + Quote((scratch.Path() / "b" / "p.#.pdc").string()));
    EXPECT_EQ(run.exitCode, 1);
    const nlohmann::json report = nlohmann::json::parse(run.out);
    ASSERT_EQ(report["frames"].size(), 6u);
    const auto kinds = [&](size_t frame) {
        std::vector<std::string> found;
        for (const nlohmann::json& problem : report["frames"][frame - 1]["problems"]) {
            found.push_back(problem["kind"]);
            EXPECT_FALSE(problem["text"].get<std::string>().empty());
        }
        return found;
    };
    using CKinds = std::vector<std::string>;
    EXPECT_EQ(kinds(1), CKinds{});
    EXPECT_EQ(kinds(2), CKinds{"missing-frame"});
    EXPECT_EQ(kinds(3), CKinds{"truncated"});
    EXPECT_EQ(kinds(4), CKinds{"values-differ"});
    EXPECT_EQ(kinds(5), CKinds{"particle-count-differs"});
    EXPECT_EQ(kinds(6), CKinds{"only-in-a"});
    const nlohmann::json& age = report["frames"][3]["records"][1]["components"][0];
    EXPECT_EQ(age["differing"], 4);
    EXPECT_EQ(age["withNaN"], 4);
    EXPECT_EQ(age["maxAbsolute"], "NaN");
    EXPECT_EQ(age["first"], nlohmann::json({0.0, "NaN"}));
}

TEST(DiffCommand, UsageErrors) {
    CScratch scratch;
    WriteFile(scratch.Path() / "a.pdc", File(4));
    const CRun help = Velpo("diff --help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(Has(help.out, "Example:\n  velpo diff")) << help.out;
    EXPECT_EQ(Velpo("diff " + Quote(scratch / "a.pdc")).exitCode, 2);
    EXPECT_EQ(Velpo("diff " + Quote(scratch / "a.pdc") + " \"b.#.pdc\"").exitCode, 2);
    EXPECT_EQ(
        Velpo("diff " + Quote(scratch / "a.pdc") + " " + Quote(scratch / "a.pdc") + " --frames 1-2")
            .exitCode,
        2);
    EXPECT_EQ(
        Velpo("diff --tolerance -1 " + Quote(scratch / "a.pdc") + " " + Quote(scratch / "a.pdc"))
            .exitCode,
        2);
}

}  // namespace
}  // namespace VelpoCommandTest
