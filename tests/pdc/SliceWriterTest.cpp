// A frame written slice by slice: the bytes against the layer's write of the
// same values, whatever order and threads the slices come in, and what the
// target holds when a write fails or is never finished.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "PdcTestFiles.h"
#include "pdc/SafeWriteAt.h"
#include "pdc/SliceWriter.h"

#ifndef _WIN32
#include "tests/ChildProcess.h"
#endif

using namespace PdcTest;
using XSI::MATH::CVector3;
using XSI::MATH::CVector3f;

namespace {

// id, position, "mass" (Float), "state" (Long), "velocity" (Vector), "drag"
// (Float) and "wind" (Vector): the single-valued ones of a case sit between
// arrays, so the records behind them move.
void Layout(CPdc& pdc) {
    SetLayout(pdc, {{PdcFirstFloatSlot, "mass"},
                    {PdcFirstFloatSlot + 3, "drag"},
                    {PdcFirstLongSlot, "state"},
                    {PdcFirstVectorSlot, "velocity"},
                    {PdcFirstVectorSlot + 4, "wind"}});
}

constexpr int32_t Slots[] = {PdcFirstFloatSlot,     PdcFirstFloatSlot + 3, PdcIdSlot,
                             PdcFirstLongSlot,      PdcPositionSlot,       PdcFirstVectorSlot,
                             PdcFirstVectorSlot + 4};

// Element i's value in a slot: different per slot and element, with
// fractions a float keeps.
float FloatOf(int32_t slot, uint32_t i) {
    return static_cast<float>(slot) * 1000.0f + static_cast<float>(i) * 0.25f;
}
int32_t LongOf(int32_t slot, uint32_t i) {
    return -slot * 100000 - static_cast<int32_t>(i);
}
CVector3f VectorOf(int32_t slot, uint32_t i) {
    return {FloatOf(slot, i), -0.5f * static_cast<float>(i), 1.0f / (static_cast<float>(i) + 1)};
}

struct CSliceCase {
    const char* label;
    int32_t particles;
    std::vector<int32_t> single;  // slots written as one value (by Fill)
    uint32_t skipEvery;           // every n-th subset is never written (0: none)
    uint32_t subset;
    int threads;
};

// What the layer writes for the same slots and values: unwritten elements
// zero, a single value its element 0.
CPdc Expected(const CSliceCase& c) {
    CPdc pdc;
    Layout(pdc);
    pdc.Resize(c.particles);
    const auto count = static_cast<uint32_t>(std::max(c.particles, 0));
    for (const int32_t slot : Slots) {
        CAttribute& a = pdc.attributes[slot];
        const bool single = std::find(c.single.begin(), c.single.end(), slot) != c.single.end();
        a.isArray = !single;
        for (uint32_t i = 0; i < count; ++i) {
            const bool skipped = c.skipEvery > 0 && (i / c.subset) % c.skipEvery == 0;
            const uint32_t from = single ? 0 : i;
            if (skipped) {
                continue;
            }
            if (a.type == PdcTypeFloat) {
                a.floatValues[i] = FloatOf(slot, from);
            } else if (a.type == PdcTypeLong) {
                a.longValues[i] = LongOf(slot, from);
            } else {
                const CVector3f v = VectorOf(slot, from);
                a.vectorValues[i] = CVector3(v.GetX(), v.GetY(), v.GetZ());
            }
        }
    }
    return pdc;
}

// Subset `first` of every slot, as the Export node stores it: a constant
// filled, a per-element input written.
void WriteSubset(CPdcSliceWriter& frame, const CPdc& layout, const CSliceCase& c, uint32_t first,
                 uint32_t count) {
    for (const int32_t slot : Slots) {
        const bool single = std::find(c.single.begin(), c.single.end(), slot) != c.single.end();
        const int32_t type = layout.attributes[slot].type;
        std::vector<float> floats;
        std::vector<int32_t> longs;
        std::vector<CVector3f> vectors;
        for (uint32_t i = first; i < first + count; ++i) {
            floats.push_back(FloatOf(slot, i));
            longs.push_back(LongOf(slot, i));
            vectors.push_back(VectorOf(slot, i));
        }
        bool ok;
        if (type == PdcTypeFloat) {
            ok = single ? frame.Fill(slot, first, FloatOf(slot, 0), count)
                        : frame.Write(slot, first, floats.data(), count);
        } else if (type == PdcTypeLong) {
            ok = single ? frame.Fill(slot, first, LongOf(slot, 0), count)
                        : frame.Write(slot, first, longs.data(), count);
        } else {
            ok = single ? frame.Fill(slot, first, VectorOf(slot, 0), count)
                        : frame.Write(slot, first, vectors.data(), count);
        }
        EXPECT_TRUE(ok) << "slot " << slot;
    }
}

class SliceWriterBytes : public ::testing::TestWithParam<CSliceCase> {};

TEST_P(SliceWriterBytes, AreTheBytesOfTheLayersWrite) {
    const CSliceCase& c = GetParam();
    CTempFolder folder;
    const std::string expectedFile = folder.File("layer.pdc");
    const std::string target = folder.File("slices.pdc");
    ASSERT_TRUE(VelpoTestSupport::WritePdcFile(expectedFile, Expected(c)));

    CPdc layout;
    Layout(layout);
    CPdcSliceWriter frame(layout, c.particles);
    std::string reason;
    ASSERT_TRUE(frame.Begin(target, reason)) << reason;
    // Subsets in a shuffled order, split over the threads.
    std::vector<uint32_t> firsts;
    const auto count = static_cast<uint32_t>(std::max(c.particles, 0));
    for (uint32_t first = 0; first < count; first += c.subset) {
        if (c.skipEvery == 0 || (first / c.subset) % c.skipEvery != 0) {
            firsts.push_back(first);
        }
    }
    std::shuffle(firsts.begin(), firsts.end(), std::mt19937(7));
    std::vector<std::thread> threads;
    for (int t = 0; t < c.threads; ++t) {
        threads.emplace_back([&, t] {
            for (size_t k = static_cast<size_t>(t); k < firsts.size();
                 k += static_cast<size_t>(c.threads)) {
                WriteSubset(frame, layout, c, firsts[k], std::min(c.subset, count - firsts[k]));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const int32_t slot : Slots) {
        layout.attributes[slot].isArray =
            std::find(c.single.begin(), c.single.end(), slot) == c.single.end();
    }
    ASSERT_TRUE(frame.Finish(layout, CDurability::Process, reason)) << reason;
    const Bytes expected = ReadFile(expectedFile);
    const Bytes written = ReadFile(target);
    ASSERT_EQ(written.size(), expected.size());
    const auto differ = std::mismatch(written.begin(), written.end(), expected.begin());
    EXPECT_TRUE(differ.first == written.end())
        << "first difference at byte " << (differ.first - written.begin());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SliceWriterBytes,
    ::testing::Values(
        CSliceCase{"EveryElementInOrder", 100, {}, 0, 100, 1},
        CSliceCase{"ShuffledSubsetsOnFourThreads", 5000, {}, 0, 37, 4},
        CSliceCase{"UnwrittenSubsetsAreZero", 1000, {}, 3, 64, 2},
        CSliceCase{"SingleValuesBetweenArraysMoveTheRestUp",
                   3000,
                   {PdcFirstFloatSlot, PdcFirstLongSlot, PdcFirstVectorSlot + 4},
                   0,
                   128,
                   2},
        CSliceCase{"EverySlotSingle",
                   40,
                   {PdcFirstFloatSlot, PdcFirstFloatSlot + 3, PdcIdSlot, PdcFirstLongSlot,
                    PdcPositionSlot, PdcFirstVectorSlot, PdcFirstVectorSlot + 4},
                   0,
                   8,
                   2},
        CSliceCase{"OneParticle", 1, {PdcIdSlot}, 0, 1, 1},
        CSliceCase{"NoParticlesAsArrays", 0, {}, 0, 1, 1},
        CSliceCase{"NoParticlesWithSingleValues", 0, {PdcFirstFloatSlot, PdcPositionSlot}, 0, 1, 1},
        // Past the conversion buffer in one call, and records larger than
        // the buffer they are moved through.
        CSliceCase{
            "LargeSubsetsAndMovesPastTheirBuffers", 60000, {PdcFirstFloatSlot}, 0, 20000, 2}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(SliceWriter, ElementsPastTheCountAndUnwrittenSlotsTakeNothing) {
    CTempFolder folder;
    CPdc layout;
    SetLayout(layout);
    CPdcSliceWriter frame(layout, 4);
    std::string reason;
    ASSERT_TRUE(frame.Begin(folder.File("a.pdc"), reason)) << reason;
    const CVector3f positions[6] = {{1, 2, 3},    {4, 5, 6},    {7, 8, 9},
                                    {10, 11, 12}, {13, 14, 15}, {16, 17, 18}};
    EXPECT_TRUE(frame.Write(PdcPositionSlot, 2, positions, 6));  // 2 of them fit
    EXPECT_TRUE(frame.Write(PdcPositionSlot, 9, positions, 6));  // none fit
    const float mass = 2.0f;
    EXPECT_TRUE(frame.Fill(PdcFirstFloatSlot, 0, mass, 4));  // an unnamed slot
    // A value that does not fit the slot's type is refused.
    EXPECT_FALSE(frame.Fill(PdcPositionSlot, 0, mass, 1));
    layout.attributes[PdcIdSlot].isArray = true;
    layout.attributes[PdcPositionSlot].isArray = true;
    ASSERT_TRUE(frame.Finish(layout, CDurability::Process, reason)) << reason;

    CPdc read;
    SetLayout(read, {{PdcFirstFloatSlot, "Float0"}});
    ASSERT_TRUE(ReadPdcFile(folder.File("a.pdc"), read));
    ASSERT_EQ(read.PositionCount(), 4);
    EXPECT_EQ(read.header.attributeCount, 2);
    const auto& got = read.attributes[PdcPositionSlot].vectorValues;
    EXPECT_EQ(got[0], CVector3(0, 0, 0));
    EXPECT_EQ(got[2], CVector3(1, 2, 3));
    EXPECT_EQ(got[3], CVector3(4, 5, 6));
}

// ---------------------------------------------------------------------------
// The target.

const Bytes Earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};

std::vector<std::string> Names(const CTempFolder& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(folder.File("x")).parent_path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A frame of two particles, begun on `target` and written whole.
bool WriteSmallFrame(const std::string& target, bool finish, std::string& reason) {
    CPdc layout;
    SetLayout(layout);
    CPdcSliceWriter frame(layout, 2);
    if (!frame.Begin(target, reason)) {
        return false;
    }
    const int32_t ids[2] = {5, 6};
    frame.Write(PdcIdSlot, 0, ids, 2);
    layout.attributes[PdcIdSlot].isArray = true;
    return !finish || frame.Finish(layout, CDurability::Process, reason);
}

TEST(SliceWriterTarget, AWriteNeverFinishedLeavesTheEarlierFileAndNothingElse) {
    CTempFolder folder;
    const std::string target = folder.File("cache.pdc");
    WriteFile(target, Earlier);
    std::string reason;
    ASSERT_TRUE(WriteSmallFrame(target, false, reason)) << reason;
    EXPECT_EQ(ReadFile(target), Earlier);
    EXPECT_EQ(Names(folder), std::vector<std::string>{"cache.pdc"});
    ASSERT_TRUE(WriteSmallFrame(target, true, reason)) << reason;
    EXPECT_NE(ReadFile(target), Earlier);
    EXPECT_EQ(Names(folder), std::vector<std::string>{"cache.pdc"});
}

TEST(SliceWriterTarget, AMissingFolderIsRefusedAtTheStart) {
    CTempFolder folder;
    std::string reason;
    EXPECT_FALSE(WriteSmallFrame(folder.File("no/such/cache.pdc"), true, reason));
    EXPECT_EQ(reason, std::strerror(ENOENT));
}

#ifndef _WIN32

// Written in place, through the file gathered in memory: every name sees
// the new frame.
TEST(SliceWriterTarget, AHardLinkedCacheIsWrittenForEveryName) {
    CTempFolder folder;
    WriteFile(folder.File("cache.pdc"), Earlier);
    std::filesystem::create_hard_link(folder.File("cache.pdc"), folder.File("other.pdc"));
    std::string reason;
    ASSERT_TRUE(WriteSmallFrame(folder.File("cache.pdc"), true, reason)) << reason;
    CPdc read;
    SetLayout(read);
    ASSERT_TRUE(ReadPdcFile(folder.File("other.pdc"), read));
    EXPECT_EQ(read.attributes[PdcIdSlot].longValues[1], 6);
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"cache.pdc", "other.pdc"}));
}

TEST(SliceWriterTarget, ADeviceThatIsFullFailsWithItsReason) {
    std::string reason;
    EXPECT_FALSE(WriteSmallFrame("/dev/full", true, reason));
    EXPECT_EQ(reason, std::strerror(ENOSPC));
    EXPECT_TRUE(WriteSmallFrame("/dev/null", true, reason)) << reason;
}

// A limit on the file size stands in for a full disk: the room is taken
// before any value is written, so the write fails at its start.
TEST(SliceWriterTarget, NoRoomKeepsTheEarlierFile) {
    CTempFolder folder;
    const std::string target = folder.File("cache.pdc");
    WriteFile(target, Earlier);
    const std::string seen = VelpoTest::RunInChild([&]() -> std::string {
        if (const std::string limited = VelpoTest::LimitFileSize(4096); !limited.empty()) {
            return limited;
        }
        CPdc layout;
        SetLayout(layout);
        CPdcSliceWriter frame(layout, 100000);
        std::string reason;
        if (frame.Begin(target, reason)) {
            return "begun";
        }
        return reason == std::strerror(EFBIG) ? "" : "reason: " + reason;
    });
    EXPECT_EQ(seen, "");
    EXPECT_EQ(ReadFile(target), Earlier);
    EXPECT_EQ(Names(folder), std::vector<std::string>{"cache.pdc"});
}

#endif

// ---------------------------------------------------------------------------
// The safe write at offsets underneath.

TEST(SafeWriteAt, UnwrittenBytesAreZeroAndCommitCutsTheFile) {
    CTempFolder folder;
    const std::string target = folder.File("bytes.bin");
    CSafeWriteAt file;
    std::string reason;
    ASSERT_TRUE(file.Begin(target, 16, reason)) << reason;
    ASSERT_TRUE(file.WriteAt(4, "abcd", 4));
    unsigned char back[8];
    ASSERT_TRUE(file.ReadAt(2, back, 8));
    EXPECT_EQ(Bytes(back, back + 8), (Bytes{0, 0, 'a', 'b', 'c', 'd', 0, 0}));
    ASSERT_TRUE(file.Commit(10, CDurability::Process, reason)) << reason;
    EXPECT_EQ(ReadFile(target), (Bytes{0, 0, 0, 0, 'a', 'b', 'c', 'd', 0, 0}));
}

TEST(SafeWriteAt, AWriteOutsideTheFileFailsTheCommit) {
    CTempFolder folder;
    const std::string target = folder.File("bytes.bin");
    WriteFile(target, Earlier);
    for (const uint64_t offset : {uint64_t{14}, uint64_t{17}, ~uint64_t{0}}) {
        CSafeWriteAt file;
        std::string reason;
        ASSERT_TRUE(file.Begin(target, 16, reason)) << reason;
        EXPECT_FALSE(file.WriteAt(offset, "abcd", 4)) << offset;
        EXPECT_FALSE(file.Commit(16, CDurability::Process, reason));
        EXPECT_EQ(reason, std::strerror(EINVAL));
        EXPECT_EQ(ReadFile(target), Earlier);
    }
    EXPECT_EQ(Names(folder), std::vector<std::string>{"bytes.bin"});
}

}  // namespace
