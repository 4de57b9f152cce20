// Conversions a block of particles at a time: frames of many blocks give the
// bytes a single block gives, a file cut inside a late block is refused with
// nothing written, and no buffer grows with the frame.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/pdc/AllocationProbe.h"
#include "tests/support/TestSupport.h"
#include "tools/ply/ConvertFiles.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace VelpoTools {
namespace {

using VelpoTestSupport::CScratchFolder;
using VelpoTestSupport::ReadFile;
using VelpoTestSupport::WriteFile;
using CPdcBytes = VelpoTestSupport::CPdcBytesIn<std::string>;

// Every record kind, the arrays in an order that puts "position" neither
// first nor last, with values that differ per particle and component.
std::string ManyBlockFrame(int32_t particles) {
    CPdcBytes bytes;
    bytes.Header(particles, 6).Record("velocity", 5);
    for (int32_t i = 0; i < 3 * particles; ++i) {
        bytes.Double(i % 5 == 0 ? -0.0 : i * 0.5 - 7);
    }
    bytes.Record("id", 1);
    for (int32_t i = 0; i < particles; ++i) {
        bytes.Int(i * 7919 - 1000000);
    }
    bytes.Record("drag", 2).Double(0.25).Record("position", 5);
    for (int32_t i = 0; i < 3 * particles; ++i) {
        bytes.Double(i % 11 == 3 ? std::bit_cast<double>(0x7FF0000000000ABCull) : i / 3.0);
    }
    bytes.Record("age", 3);
    for (int32_t i = 0; i < particles; ++i) {
        bytes.Double(1e300 / (i + 1));
    }
    bytes.Record("state", 0).Int(-7);
    return bytes.Bytes();
}

CConvertBlock Block(int64_t particles, int64_t bytes = CConvertBlock::DefaultBytes) {
    CConvertBlock block;
    block.particles = particles;
    block.bytes = bytes;
    return block;
}

std::string Convert(const std::string& in, const std::string& out, const CPlyChoice& choice,
                    const CConvertBlock& block) {
    CConvertSummary summary;
    std::vector<std::string> notes;
    const Velpo::CResult done = ConvertFile(in, out, choice, summary, notes, block);
    return done ? std::string() : done.Message();
}

TEST(ConvertStream, ManyBlocksGiveTheBytesOfOneBlockBothWays) {
    constexpr int32_t Particles = 1000;
    CScratchFolder scratch;
    const std::string pdc = ManyBlockFrame(Particles);
    ASSERT_TRUE(WriteFile(scratch / "in.pdc", pdc));
    const CPlyChoice choices[] = {{false, false}, {true, false}, {false, true}};
    for (const CPlyChoice& choice : choices) {
        ASSERT_EQ(Convert(scratch / "in.pdc", scratch / "whole.ply", choice, Block(1 << 20)), "");
        const std::string whole = ReadFile(scratch / "whole.ply");
        for (const int64_t block : {1, 7, 64, Particles - 1, Particles, Particles + 5}) {
            SCOPED_TRACE("ascii " + std::to_string(choice.ascii) + ", float " +
                         std::to_string(choice.floats) + ", block " + std::to_string(block));
            ASSERT_EQ(Convert(scratch / "in.pdc", scratch / "out.ply", choice, Block(block)), "");
            EXPECT_TRUE(ReadFile(scratch / "out.ply") == whole);
            if (choice.ascii) {
                // Its unusual NaNs come back as plain ones, as over one block.
                ASSERT_EQ(Convert(scratch / "whole.ply", scratch / "whole.pdc", {}, Block(1 << 20)),
                          "");
                ASSERT_EQ(Convert(scratch / "out.ply", scratch / "back.pdc", {}, Block(block)), "");
                EXPECT_TRUE(ReadFile(scratch / "back.pdc") == ReadFile(scratch / "whole.pdc"));
            }
            if (!choice.ascii && !choice.floats) {
                ASSERT_EQ(Convert(scratch / "out.ply", scratch / "back.pdc", {}, Block(block)), "");
                EXPECT_TRUE(ReadFile(scratch / "back.pdc") == pdc);
                // Bytes for one record's writer at a time: a pass over the
                // rows per record, each written at its offset.
                ASSERT_EQ(
                    Convert(scratch / "out.ply", scratch / "back.pdc", {}, Block(block, 300 << 10)),
                    "");
                EXPECT_TRUE(ReadFile(scratch / "back.pdc") == pdc);
            }
        }
    }
}

TEST(ConvertStream, AFileCutInsideALateBlockIsRefusedWithNothingWritten) {
    constexpr int32_t Particles = 1000;
    CScratchFolder scratch;
    const std::string pdc = ManyBlockFrame(Particles);
    // Inside the last array record's values, near the end and in the middle
    // of its last blocks; and the last single value cut.
    for (const size_t cut : {pdc.size() - 20, pdc.size() - 12 - 8 * 40 - 3, pdc.size() - 1}) {
        SCOPED_TRACE(cut);
        ASSERT_TRUE(WriteFile(scratch / "cut.pdc", pdc.substr(0, cut)));
        ASSERT_TRUE(WriteFile(scratch / "out.ply", "earlier"));
        const std::string problem = Convert(scratch / "cut.pdc", scratch / "out.ply", {}, Block(7));
        EXPECT_EQ(problem.rfind(scratch / "cut.pdc", 0), 0u) << problem;
        EXPECT_NE(problem.find("truncated"), std::string::npos) << problem;
        EXPECT_EQ(ReadFile(scratch / "out.ply"), "earlier");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch.Path()),
                                std::filesystem::directory_iterator()),
                  2);
    }
}

// Whole-record reads would ask for a buffer of every particle's position
// (24 bytes each, 7.2 MB here); blocks of 4096 particles never ask for more
// than the PLY writer's fixed row buffer.
TEST(ConvertStream, NoBufferGrowsWithTheFrame) {
    if (!AllocationProbe::Watching()) {
        GTEST_SKIP() << "the allocation functions belong to the sanitizer here";
    }
    constexpr int32_t Particles = 300000;
    CScratchFolder scratch;
    CPdcBytes bytes;
    bytes.Header(Particles, 2).Record("position", 5);
    for (int32_t i = 0; i < 3 * Particles; ++i) {
        bytes.Double(i);
    }
    bytes.Record("id", 1);
    for (int32_t i = 0; i < Particles; ++i) {
        bytes.Int(i);
    }
    ASSERT_TRUE(WriteFile(scratch / "in.pdc", bytes.Bytes()));
    constexpr size_t Bound = 2 << 20;
    AllocationProbe::Arm();
    const std::string toPly = Convert(scratch / "in.pdc", scratch / "out.ply", {}, Block(4096));
    EXPECT_LT(AllocationProbe::Disarm(), Bound);
    ASSERT_EQ(toPly, "");
    EXPECT_EQ(std::filesystem::file_size(scratch / "out.ply"),
              ReadFile(scratch / "out.ply").find("end_header\n") + 11 + Particles * 28u);

    AllocationProbe::Arm();
    const std::string toPdc = Convert(scratch / "out.ply", scratch / "back.pdc", {}, Block(4096));
    EXPECT_LT(AllocationProbe::Disarm(), Bound);
    ASSERT_EQ(toPdc, "");
    EXPECT_TRUE(ReadFile(scratch / "back.pdc") == bytes.Bytes());

    ASSERT_EQ(Convert(scratch / "in.pdc", scratch / "text.ply", {true, false}, Block(4096)), "");
    AllocationProbe::Arm();
    const std::string fromText =
        Convert(scratch / "text.ply", scratch / "back.pdc", {}, Block(4096));
    EXPECT_LT(AllocationProbe::Disarm(), Bound);
    ASSERT_EQ(fromText, "");
    EXPECT_TRUE(ReadFile(scratch / "back.pdc") == bytes.Bytes());
}

// A binary PLY: the header's property lines (types uchar, short, int,
// int64 and double, the last given as its bits), then rows whose values
// `value(vertex, property)` gives, each in its type's width in the file's
// byte order.
std::string ForeignPly(bool bigEndian,
                       const std::vector<std::pair<const char*, const char*>>& properties,
                       int32_t vertices, const std::function<int64_t(int32_t, size_t)>& value,
                       const std::string& comments = "") {
    std::string text = std::string("ply\nformat ") +
                       (bigEndian ? "binary_big_endian" : "binary_little_endian") + " 1.0\n" +
                       comments + "element vertex " + std::to_string(vertices) + "\n";
    std::vector<int> widths;
    for (const auto& [name, type] : properties) {
        const std::string t = type;
        widths.push_back(t == "uchar" ? 1 : t == "short" ? 2 : t == "int" ? 4 : 8);
        text += "property " + t + " " + name + "\n";
    }
    text += "end_header\n";
    for (int32_t v = 0; v < vertices; ++v) {
        for (size_t p = 0; p < properties.size(); ++p) {
            const auto bits = static_cast<uint64_t>(value(v, p));
            const int width = widths[p];
            for (int k = 0; k < width; ++k) {
                const int shift = 8 * (bigEndian ? width - 1 - k : k);
                text += static_cast<char>((bits >> shift) & 0xFF);
            }
        }
    }
    return text;
}

TEST(ConvertStream, PlyOfAnotherProgramGivesTheBytesOfOneBlockInEveryByteOrder) {
    constexpr int32_t Vertices = 500;
    // A triple, integers of every width, and one int64 property whose values
    // fit 32 bits (an integer record) and one whose last do not (doubles).
    const std::vector<std::pair<const char*, const char*>> properties = {
        {"x", "int"},   {"k", "uchar"},     {"y", "int"},    {"z", "int"},
        {"s", "short"}, {"small", "int64"}, {"big", "int64"}};
    const auto value = [](int32_t v, size_t p) -> int64_t {
        if (p == 6) {
            return v == Vertices - 1 ? (int64_t{1} << 40) : -v;
        }
        return p == 1 ? v % 256 : p == 4 ? -v : p == 5 ? v * 1000003LL % 2000000000 : v * 3 + p;
    };
    CScratchFolder scratch;
    for (const bool bigEndian : {false, true}) {
        ASSERT_TRUE(
            WriteFile(scratch / "in.ply", ForeignPly(bigEndian, properties, Vertices, value)));
        ASSERT_EQ(Convert(scratch / "in.ply", scratch / "whole.pdc", {}, Block(1 << 20)), "");
        const std::string whole = ReadFile(scratch / "whole.pdc");
        // "big" is the last record, of doubles (code 3); "small" integers (code 1).
        EXPECT_NE(whole.find(std::string("big") + std::string("\0\0\0\3", 4)), std::string::npos);
        EXPECT_NE(whole.find(std::string("small") + std::string("\0\0\0\1", 4)), std::string::npos);
        for (const int64_t block : {1, 7, 64, Vertices - 1}) {
            SCOPED_TRACE("big-endian " + std::to_string(bigEndian) + ", block " +
                         std::to_string(block));
            ASSERT_EQ(Convert(scratch / "in.ply", scratch / "out.pdc", {}, Block(block)), "");
            EXPECT_TRUE(ReadFile(scratch / "out.pdc") == whole);
        }
    }
}

// What only the values of a late block show stops the write: the earlier
// file stays, and no temporary file is left beside it.
TEST(ConvertStream, AValueOfALateBlockThatNoRecordHoldsKeepsTheEarlierFile) {
    constexpr int32_t Vertices = 1000;
    struct CCase {
        const char* name;
        std::string ply;
        const char* problem;
    };
    const std::string integerRecord =
        "comment velpo pdc PDC%20 1 1 0 0 1000 1\ncomment velpo array 1 k\n";
    const CCase cases[] = {
        {"fraction for an integer record",
         ForeignPly(
             false, {{"k", "double"}}, Vertices,
             [](int32_t v, size_t) {
                 return std::bit_cast<int64_t>(v == 990 ? 2.5 : static_cast<double>(v));
             },
             integerRecord),
         "vertex 990: 2.5 is not a 32-bit integer"},
        {"int64 beyond 2^53",
         ForeignPly(
             true, {{"x", "int"}, {"n", "int64"}}, Vertices,
             [](int32_t v, size_t p) { return p == 1 && v == 995 ? (int64_t{1} << 60) + 1 : v; }),
         "vertex 995, property \"n\": the int64 1152921504606846977 is beyond"},
    };
    std::string asciiRows;
    for (int32_t v = 0; v < Vertices; ++v) {
        asciiRows += std::to_string(v) + (v == 996 ? " 1e 3\n" : " 2 3\n");
    }
    const std::string asciiHead =
        "ply\nformat ascii 1.0\nelement vertex 1000\nproperty float x\n"
        "property float y\nproperty float z\nend_header\n";
    std::string uncut = asciiRows;
    uncut.replace(uncut.find(" 1e 3"), 5, " 1 3");
    const CCase asciiCases[] = {
        {"ascii word that is not a number", asciiHead + asciiRows,
         "vertex 996, property \"y\": \"1e\" is not a number of type float"},
        {"ascii cut inside its last number", asciiHead + uncut.substr(0, uncut.size() - 1),
         "ends inside the last value of element \"vertex\", with no line end after it"},
        {"ascii missing its last value", asciiHead + uncut.substr(0, uncut.size() - 3),
         "the data ends inside element \"vertex\""},
    };
    CScratchFolder scratch;
    std::vector<CCase> all(std::begin(cases), std::end(cases));
    all.insert(all.end(), std::begin(asciiCases), std::end(asciiCases));
    for (const CCase& c : all) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteFile(scratch / "bad.ply", c.ply));
        ASSERT_TRUE(WriteFile(scratch / "out.pdc", "earlier"));
        const std::string problem = Convert(scratch / "bad.ply", scratch / "out.pdc", {}, Block(7));
        EXPECT_EQ(problem.rfind(scratch / "bad.ply", 0), 0u) << problem;
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        EXPECT_EQ(ReadFile(scratch / "out.pdc"), "earlier");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch.Path()),
                                std::filesystem::directory_iterator()),
                  2);
    }
}

TEST(ConvertStream, APlyCutInsideALateBlockIsRefusedWithNothingWritten) {
    constexpr int32_t Vertices = 1000;
    CScratchFolder scratch;
    const std::string ply = ForeignPly(false, {{"x", "int"}, {"y", "int"}, {"z", "int"}}, Vertices,
                                       [](int32_t v, size_t p) { return v + p; });
    for (const size_t cut : {ply.size() - 1, ply.size() - 12 * 20}) {
        SCOPED_TRACE(cut);
        ASSERT_TRUE(WriteFile(scratch / "cut.ply", ply.substr(0, cut)));
        ASSERT_TRUE(WriteFile(scratch / "out.pdc", "earlier"));
        const std::string problem = Convert(scratch / "cut.ply", scratch / "out.pdc", {}, Block(7));
        EXPECT_EQ(problem.rfind(scratch / "cut.ply", 0), 0u) << problem;
        EXPECT_NE(problem.find("counts 1000 vertices of 12 bytes, but only"), std::string::npos)
            << problem;
        EXPECT_EQ(ReadFile(scratch / "out.pdc"), "earlier");
    }
}

// Every cut of a frame of several blocks, in each format: refused, naming
// the file, with the earlier output kept and nothing left beside it. The
// one cut a PDC reader takes is the last record's values and code: a last
// record that holds only its name.
TEST(ConvertStream, AFileCutAtAnyOffsetIsRefusedAndKeepsTheEarlierOutput) {
    constexpr int32_t Particles = 4;
    CScratchFolder scratch;
    ASSERT_TRUE(WriteFile(scratch / "f.pdc", ManyBlockFrame(Particles)));
    ASSERT_EQ(Convert(scratch / "f.pdc", scratch / "b.ply", {}, Block(1 << 20)), "");
    ASSERT_EQ(Convert(scratch / "f.pdc", scratch / "a.ply", {true, false}, Block(1 << 20)), "");
    const std::pair<const char*, const char*> inputs[] = {
        {"f.pdc", "cut.pdc"}, {"b.ply", "cut.ply"}, {"a.ply", "cut.ply"}};
    for (const auto& [whole, cut] : inputs) {
        const std::string bytes = ReadFile(scratch / whole);
        const std::string out = std::string(cut).ends_with(".pdc") ? "out.ply" : "out.pdc";
        ASSERT_TRUE(WriteFile(scratch / out, "earlier"));
        for (size_t size = 0; size < bytes.size(); ++size) {
            SCOPED_TRACE(std::string(whole) + " cut to " + std::to_string(size) + " bytes");
            ASSERT_TRUE(WriteFile(scratch / cut, bytes.substr(0, size)));
            const std::string problem = Convert(scratch / cut, scratch / out, {}, Block(1));
            if (problem.empty() && std::string(whole) == "f.pdc" && size == bytes.size() - 8) {
                ASSERT_TRUE(WriteFile(scratch / out, "earlier"));
                continue;
            }
            ASSERT_EQ(problem.rfind(scratch / cut, 0), 0u) << problem;
            ASSERT_EQ(ReadFile(scratch / out), "earlier");
        }
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch.Path()),
                                std::filesystem::directory_iterator()),
                  5);
        std::filesystem::remove(scratch / cut);
        std::filesystem::remove(scratch / out);
    }
}

#ifndef _WIN32
// A pipe cannot seek: the records go out one per pass, front to back.
TEST(ConvertStream, APipeTakesTheRecordsInOrder) {
    constexpr int32_t Particles = 1000;
    CScratchFolder scratch;
    const std::string pdc = ManyBlockFrame(Particles);
    ASSERT_TRUE(WriteFile(scratch / "in.pdc", pdc));
    ASSERT_EQ(Convert(scratch / "in.pdc", scratch / "in.ply", {}, Block(1 << 20)), "");
    ASSERT_EQ(mkfifo((scratch / "pipe.pdc").c_str(), 0600), 0);
    std::string piped;
    std::thread reader([&] { piped = ReadFile(scratch / "pipe.pdc"); });
    const std::string problem = Convert(scratch / "in.ply", scratch / "pipe.pdc", {}, Block(7));
    reader.join();
    EXPECT_EQ(problem, "");
    EXPECT_TRUE(piped == pdc);
}
#endif

TEST(ConvertStream, ABlockHoldsWhatItsBytesAllowAndAtLeastOneParticle) {
    struct CCase {
        int64_t particles, bytes, perParticle, expected;
    };
    const CCase cases[] = {
        {65536, 16 << 20, 96, 65536},              // the particle count binds
        {1 << 20, 16 << 20, 96, (16 << 20) / 96},  // the bytes bind
        {65536, 16 << 20, int64_t{1} << 40, 1},    // one particle larger than the bytes
        {65536, 16 << 20, 0, 65536},               // no array record
    };
    for (const CCase& c : cases) {
        CConvertBlock block;
        block.particles = c.particles;
        block.bytes = c.bytes;
        EXPECT_EQ(block.ParticlesFor(c.perParticle), c.expected) << c.perParticle;
    }
}

}  // namespace
}  // namespace VelpoTools
