// velpo convert as a user runs it: single files and sequences both ways,
// usage errors, damaged input and output that cannot be written.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "tests/tools/CommandRunner.h"

namespace VelpoCommandTest {
namespace {

std::string Quote(const std::string& path) {
    return "\"" + path + "\"";
}

// Three particles as the nodes write them, the frame number in "id".
std::string Frame(int frame) {
    return CPdcBytes()
        .Header(3, 3)
        .Record("id", 3)
        .Doubles({frame * 10.0, frame * 10.0 + 1, frame * 10.0 + 2})
        .Record("position", 5)
        .Doubles({0.5, -1, 2, 1.5, 3, -4, frame * 1.0, 0, 0})
        .Record("drag", 2)
        .Double(0.25)
        .Bytes();
}

TEST(ConvertCommand, HelpExplainsTheMappingWithAnExample) {
    const CRun run = Velpo("convert --help");
    EXPECT_EQ(run.exitCode, 0);
    for (const char* text : {"Example:", "velpo convert", "--ascii", "NOT exact", "%XX",
                             "binary_big_endian", "comment velpo value"}) {
        EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;
    }
}

TEST(ConvertCommand, OneFileGoesToPlyAndBackUnchanged) {
    CScratch scratch;
    WriteFile(scratch.Path() / "a.pdc", Frame(1));
    for (const char* options : {"", " --ascii"}) {
        SCOPED_TRACE(options);
        CRun run =
            Velpo("convert " + Quote(scratch / "a.pdc") + " " + Quote(scratch / "a.ply") + options);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, "converted " + (scratch / "a.pdc") + " to " + (scratch / "a.ply") +
                               ": 3 particles, 3 records\n");
        run = Velpo("convert " + Quote(scratch / "a.ply") + " " + Quote(scratch / "b.pdc"));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(ReadFile(scratch.Path() / "b.pdc"), Frame(1));
    }
}

TEST(ConvertCommand, SequencesConvertEveryFrameOrTheOnesAskedFor) {
    CScratch scratch;
    for (int frame : {1, 2, 5}) {
        WriteFile(scratch.Path() / ("pts." + std::to_string(frame) + ".pdc"), Frame(frame));
    }
    std::filesystem::create_directory(scratch.Path() / "ply");
    CRun run = Velpo("convert " + Quote(scratch / "pts.#.pdc") + " " +
                     Quote(scratch / "ply/pts.#.ply") + " --jobs 2 --quiet");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("converted 3 of 3 frames\n"), std::string::npos) << run.out;
    EXPECT_LT(run.out.find("pts.1.pdc"), run.out.find("pts.5.pdc")) << run.out;

    std::filesystem::create_directory(scratch.Path() / "back");
    run = Velpo("convert " + Quote(scratch / "ply/pts.#.ply") + " " +
                Quote(scratch / "back/p#.pdc") + " --frames 1-2");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(scratch.Path() / "back/p1.pdc"), Frame(1));
    EXPECT_EQ(ReadFile(scratch.Path() / "back/p2.pdc"), Frame(2));
    EXPECT_FALSE(std::filesystem::exists(scratch.Path() / "back/p5.pdc"));

    run = Velpo("convert " + Quote(scratch / "ply/pts.#.ply") + " " +
                Quote(scratch / "back/s#.pdc") + " --shard 1/2");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(scratch.Path() / "back/s2.pdc"), Frame(2));
    EXPECT_FALSE(std::filesystem::exists(scratch.Path() / "back/s1.pdc"));
}

TEST(ConvertCommand, CachesTheNodesWroteComeBackUnchanged) {
    CScratch scratch;
    const std::string demo = scratch / "demo";
    ASSERT_EQ(Velpo("demo --particles 60 --frames 1-2 --dir " + Quote(demo)).exitCode, 0);
    for (const char* options : {"", " --ascii"}) {
        SCOPED_TRACE(options);
        CRun run = Velpo("convert " + Quote(demo + "/particles.#.pdc") + " " +
                         Quote(demo + "/p.#.ply") + options);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        run = Velpo("convert " + Quote(demo + "/p.#.ply") + " " + Quote(demo + "/back.#.pdc"));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        for (const char* frame : {"1", "2"}) {
            const std::string cache = ReadFile(demo + "/particles." + frame + ".pdc");
            EXPECT_GT(cache.size(), 500u);  // particles and records, not an empty file
            EXPECT_EQ(ReadFile(demo + "/back." + frame + ".pdc"), cache);
        }
    }
}

TEST(ConvertCommand, UsageErrorsExitTwo) {
    const std::pair<const char*, const char*> cases[] = {
        {"a.pdc b.pdc", "are both PDC files"},
        {"a.ply b.ply", "are both PLY files"},
        {"a.txt b.ply", "\"a.txt\" must end in .pdc or .ply"},
        {"a.pdc b", "\"b\" must end in .pdc or .ply"},
        {"a.#.pdc b.ply", "both IN and OUT need a '#'"},
        {"a.ply b.pdc --ascii", "--ascii and --float choose how PLY is written"},
        {"a.ply b.pdc --float", "--ascii and --float choose how PLY is written"},
        {"a.pdc b.ply --frames 1-3", "--frames needs '#' patterns"},
        {"a.#.pdc b.#.ply --frames 3-1", "runs backwards"},
        {"a.pdc", "OUT is required"},
    };
    for (const auto& [arguments, message] : cases) {
        const CRun run = Velpo(std::string("convert ") + arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments;
        EXPECT_NE(run.err.find(message), std::string::npos) << arguments << "\n" << run.err;
    }
}

TEST(ConvertCommand, ABadFrameFailsAloneAndNamesItsFile) {
    CScratch scratch;
    WriteFile(scratch.Path() / "f.1.ply",
              "ply\nformat binary_little_endian 1.0\nelement vertex 2000000000\n"
              "property double x\nproperty double y\nproperty double z\nend_header\n" +
                  std::string(100, '\0'));
    WriteFile(scratch.Path() / "f.2.ply", "ply\nformat ascii 1.0\nelement face 0\nend_header\n");
    WriteFile(scratch.Path() / "f.3.ply",
              "ply\nformat ascii 1.0\nelement vertex 1\nproperty double x\nend_header\n7\n");
    std::string limit;
#ifndef _WIN32
    if (!UnderAddressSanitizer()) {
        limit = "ulimit -v 262144; ";  // the lying count asks for 48 GB
    }
#endif
    const CRun run =
        VelpoIn(limit, "convert " + Quote(scratch / "f.#.ply") + " " + Quote(scratch / "f.#.pdc"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find((scratch / "f.1.ply") + ": the header counts 2000000000 vertices"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find((scratch / "f.2.ply") + ": no \"vertex\" element"), std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("out of memory"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("converted 1 of 3 frames"), std::string::npos) << run.out;
    EXPECT_FALSE(std::filesystem::exists(scratch.Path() / "f.1.pdc"));
    EXPECT_EQ(ReadFile(scratch.Path() / "f.3.pdc"),
              CPdcBytes().Header(1, 1).Record("x", 3).Double(7).Bytes());

    const CRun missing =
        Velpo("convert " + Quote(scratch / "none.pdc") + " " + Quote(scratch / "none.ply"));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find((scratch / "none.pdc") + ": cannot be opened for reading"),
              std::string::npos)
        << missing.err;
}

// A few bytes that claim two billion particles and hold none: refused both
// ways, so that no command after it has billions of empty rows to print.
TEST(ConvertCommand, ParticlesThatNoRecordHoldsAreRefusedBothWays) {
    CScratch scratch;
    const std::pair<std::string, std::string> cases[] = {
        {"huge.ply", "ply\nformat ascii 1.0\nelement vertex 2147483647\nend_header\n"},
        {"huge.pdc", CPdcBytes().Header(2147483647, 0).Bytes()},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        WriteFile(scratch.Path() / name, bytes);
        const std::string out = scratch / (name == "huge.ply" ? "out.pdc" : "out.ply");
        const CRun run = Velpo("convert " + Quote(scratch / name) + " " + Quote(out));
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find((scratch / name) +
                               ": the header counts 2147483647 particles but no record holds"),
                  std::string::npos)
            << run.err;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

#ifndef _WIN32
// Files of many small things, ten times those that once took from 5 s to
// 75 s to convert: every step must take time in proportion to the records,
// properties and elements, whatever their names, and at these sizes a
// quadratic step takes from 500 s to hours. The bound is generous (a release
// build needs at most 5 s for the largest on an idle 2-core machine, 20 s
// under AddressSanitizer), and `timeout` stops a run that would take hours.
std::string SameNameRecords(int records) {
    CPdcBytes pdc;
    pdc.Header(1, records);
    for (int i = 0; i < records; ++i) {
        pdc.Record("a", 3).Double(i);
    }
    return pdc.Bytes();
}

std::string PlyOfProperties(int properties, const std::function<std::string(int)>& name) {
    std::string ply = "ply\nformat binary_little_endian 1.0\nelement vertex 1\n";
    for (int i = 0; i < properties; ++i) {
        ply += "property uchar " + name(i) + "\n";
    }
    return ply + "end_header\n" + std::string(static_cast<size_t>(properties), '\1');
}

std::string PlyOfEmptyElements(int elements) {
    std::string ply = "ply\nformat ascii 1.0\n";
    for (int i = 0; i < elements; ++i) {
        ply += "element e" + std::to_string(i) + " 0\n";
    }
    return ply + "element vertex 1\nproperty double x\nend_header\n7\n";
}

const int BoundSeconds = UnderAddressSanitizer() ? 400 : 120;

// `velpo convert IN OUT` under `timeout`, with the seconds it took.
CRun TimedConvert(const std::string& in, const std::string& out, double& seconds) {
    const auto start = std::chrono::steady_clock::now();
    const CRun run = VelpoIn("timeout " + std::to_string(BoundSeconds) + " ",
                             "convert " + Quote(in) + " " + Quote(out));
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return run;
}

TEST(ConvertCommand, ManyRecordsOfOneNameTakeTimeInProportion) {
    CScratch scratch;
    const std::string pdc = SameNameRecords(200000);
    WriteFile(scratch.Path() / "a.pdc", pdc);
    double seconds = 0;
    CRun run = TimedConvert(scratch / "a.pdc", scratch / "a.ply", seconds);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_LT(seconds, BoundSeconds);
    EXPECT_NE(run.out.find("1 particles, 200000 records"), std::string::npos) << run.out;
    const std::string ply = ReadFile(scratch.Path() / "a.ply");
    for (const char* name :
         {"property double a\n", "property double a_2\n", "property double a_200000\n"}) {
        EXPECT_NE(ply.find(name), std::string::npos) << name;
    }
    run = TimedConvert(scratch / "a.ply", scratch / "b.pdc", seconds);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_LT(seconds, BoundSeconds);
    EXPECT_EQ(ReadFile(scratch.Path() / "b.pdc"), pdc);
}

TEST(ConvertCommand, ManyPropertiesAndElementsTakeTimeInProportion) {
    struct CCase {
        const char* name;
        std::string ply;
        const char* summary;
    };
    const CCase cases[] = {
        {"400,000 properties p<i>_x",
         PlyOfProperties(400000, [](int i) { return "p" + std::to_string(i) + "_x"; }),
         "1 particles, 400000 records"},
        {"2,000,000 plain properties",
         PlyOfProperties(2000000, [](int i) { return "p" + std::to_string(i); }),
         "1 particles, 2000000 records"},
        {"400,000 empty elements", PlyOfEmptyElements(400000), "1 particles, 1 records"},
    };
    CScratch scratch;
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(scratch.Path() / "in.ply", c.ply);
        double seconds = 0;
        const CRun run = TimedConvert(scratch / "in.ply", scratch / "out.pdc", seconds);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_LT(seconds, BoundSeconds);
        EXPECT_NE(run.out.find(c.summary), std::string::npos) << run.out;
    }
}

TEST(ConvertCommand, OutputThatCannotBeWrittenFailsAndLeavesNothingUnderItsName) {
    CScratch scratch;
    WriteFile(scratch.Path() / "a.pdc", Frame(1));
    const std::string in = Quote(scratch / "a.pdc");

    CRun run = Velpo("convert " + in + " " + Quote(scratch / "missing/a.ply"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(scratch / "missing/a.ply"), std::string::npos) << run.err;

    if (std::filesystem::exists("/dev/full")) {
        std::filesystem::create_symlink("/dev/full", scratch.Path() / "full.ply");
        run = Velpo("convert " + in + " " + Quote(scratch / "full.ply"));
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find((scratch / "full.ply") + ": No space left on device"),
                  std::string::npos)
            << run.err;
    }

    // Files may grow to 2 KiB; the PLY of 100 particles would not fit.
    CPdcBytes big;
    big.Header(100, 1).Record("position", 5);
    for (int i = 0; i < 300; ++i) {
        big.Double(i);
    }
    WriteFile(scratch.Path() / "big.pdc", big.Bytes());
    std::filesystem::create_directory(scratch.Path() / "out");
    WriteFile(scratch.Path() / "out/big.ply", "earlier file");
    run = VelpoIn("trap '' XFSZ; ulimit -f 4; ",
                  "convert " + Quote(scratch / "big.pdc") + " " + Quote(scratch / "out/big.ply"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find((scratch / "out/big.ply") + ": File too large"), std::string::npos)
        << run.err;
    EXPECT_EQ(ReadFile(scratch.Path() / "out/big.ply"), "earlier file");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch.Path() / "out"),
                            std::filesystem::directory_iterator()),
              1);
}
#endif

}  // namespace
}  // namespace VelpoCommandTest
