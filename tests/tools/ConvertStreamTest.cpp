// Conversions a block of particles at a time: frames of many blocks give the
// bytes a single block gives, a file cut inside a late block is refused with
// nothing written, and no buffer grows with the frame.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/pdc/AllocationProbe.h"
#include "tests/support/TestSupport.h"
#include "tools/ply/ConvertFiles.h"

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

CConvertBlock Block(int64_t particles) {
    CConvertBlock block;
    block.particles = particles;
    return block;
}

std::string Convert(const std::string& in, const std::string& out, const CPlyChoice& choice,
                    const CConvertBlock& block) {
    CConvertSummary summary;
    std::vector<std::string> notes;
    const VelpoHost::CResult done = ConvertFile(in, out, choice, summary, notes, block);
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
            if (!choice.ascii && !choice.floats) {
                ASSERT_EQ(Convert(scratch / "out.ply", scratch / "back.pdc", {}, Block(block)), "");
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
}

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
