// Array records read slice by slice: the values each slot's accessors give
// after a whole read, for any slice and from several threads at once, and
// zeros with a failure when the file is no longer what was walked.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <thread>

#include "PdcTestFiles.h"
#include "pdc/SliceReader.h"

using namespace PdcTest;
using XSI::MATH::CVector3;
using XSI::MATH::CVector3f;

namespace {

constexpr int32_t Particles = 5000;

// A value per particle whose narrowing and conversion are worth checking:
// fractions a float cannot hold, and for "state" values no int32 holds.
double ValueOf(int record, int32_t i) {
    if (record == 3 && i % 7 == 0) {
        const double odd[] = {std::numeric_limits<double>::quiet_NaN(), 1e12, -1e12, -3.7,
                              std::numeric_limits<double>::infinity()};
        return odd[(i / 7) % 5];
    }
    return record * 1000.0 + i * 0.1;
}

// id as integers, position and velocity as vectors, mass and state as
// doubles; "age" ends as a single value after its array, "drag" as an array
// after its single value; "unused" reaches no slot.
CBytes Frame() {
    CBytes bytes;
    bytes.Header(Particles, 9);
    bytes.Record("id", PdcCodeIntegerArray);
    for (int32_t i = 0; i < Particles; ++i) {
        bytes.Int(i * 3 - 7000);
    }
    for (const char* vector : {"position", "velocity"}) {
        bytes.Record(vector, PdcCodeVectorArray);
        for (int32_t i = 0; i < Particles; ++i) {
            bytes.Doubles({ValueOf(1, i), -ValueOf(2, i), 1.0 / (i + 1)});
        }
    }
    const std::pair<const char*, int> arrays[] = {{"mass", 2}, {"state", 3}, {"age", 4}};
    for (const auto& [name, record] : arrays) {
        bytes.Record(name, PdcCodeDoubleArray);
        for (int32_t i = 0; i < Particles; ++i) {
            bytes.Double(ValueOf(record, i));
        }
    }
    bytes.Record("age", PdcCodeDouble).Double(42.5);
    bytes.Record("drag", PdcCodeDouble).Double(-1);
    bytes.Record("drag", PdcCodeDoubleArray);
    for (int32_t i = 0; i < Particles; ++i) {
        bytes.Double(ValueOf(5, i));
    }
    bytes.Record("unused", PdcCodeDoubleArray);
    for (int32_t i = 0; i < Particles; ++i) {
        bytes.Double(0);
    }
    return bytes;
}

void Layout(CPdc& pdc) {
    SetLayout(pdc, {{PdcFirstFloatSlot, "mass"},
                    {PdcFirstFloatSlot + 1, "age"},
                    {PdcFirstFloatSlot + 2, "drag"},
                    {PdcFirstLongSlot, "state"},
                    {PdcFirstVectorSlot, "velocity"}});
}

struct CFrameFixture {
    CTempFolder folder;
    std::string path = folder.File("frame.pdc");
    CPdc whole;  // read whole, as the reference
    CPdc located;
    CPdcArrayPlace places[PdcSlotCount];
    std::unique_ptr<CFile> open;

    CFrameFixture() {
        WriteFile(path, Frame().Bytes());
        Layout(whole);
        Layout(located);
        EXPECT_TRUE(ReadPdcFile(path, whole));
        open = std::make_unique<CFile>(path, "rb");
        EXPECT_TRUE(located.header.FRead(File()) && located.LocateParticles(File(), places));
    }

    FILE* File() const { return open->Get(); }
};

// The slot's values as its accessors give them, for points first..first+count.
template <class T>
std::vector<T> Expected(const CAttribute& slot, uint32_t first, uint32_t count) {
    std::vector<T> values(count);
    for (uint32_t k = 0; k < count; ++k) {
        const auto i = static_cast<int32_t>(first + k);
        if constexpr (std::is_same_v<T, float>) {
            slot.GetFloat(i, values[k]);
        } else if constexpr (std::is_same_v<T, int32_t>) {
            slot.GetLong(i, values[k]);
        } else {
            CVector3 v;
            slot.GetVector(i, v);
            values[k] = CVector3f(static_cast<float>(v.GetX()), static_cast<float>(v.GetY()),
                                  static_cast<float>(v.GetZ()));
        }
    }
    return values;
}

template <class T>
bool SameBits(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

template <class T>
void CheckSlot(CFrameFixture& f, int32_t slot, uint32_t first, uint32_t count) {
    std::vector<T> got(count, T());
    std::memset(static_cast<void*>(got.data()), 0x55, got.size() * sizeof(T));  // no zero by luck
    EXPECT_TRUE(PdcReadSlice(f.File(), f.places[slot], first, count, got.data()));
    EXPECT_TRUE(SameBits(got, Expected<T>(f.whole.attributes[slot], first, count)))
        << "slot " << slot << ", points " << first << " + " << count;
}

TEST(SliceReader, SlicesGiveWhatTheWholeReadGivesForEveryPoint) {
    CFrameFixture f;
    // Which slots were located: the array records that stayed last.
    for (const int32_t slot : {PdcIdSlot, PdcPositionSlot, PdcFirstVectorSlot, PdcFirstFloatSlot,
                               PdcFirstLongSlot, PdcFirstFloatSlot + 2}) {
        EXPECT_TRUE(f.places[slot].Located()) << slot;
        EXPECT_TRUE(f.located.attributes[slot].isArray) << slot;
    }
    EXPECT_FALSE(f.places[PdcFirstFloatSlot + 1].Located());  // "age" ends single
    EXPECT_FALSE(f.located.attributes[PdcFirstFloatSlot + 1].isArray);
    float age = 0;
    EXPECT_TRUE(f.located.attributes[PdcFirstFloatSlot + 1].GetFloat(0, age));
    EXPECT_EQ(age, 42.5f);

    // Whole, inside, across the end, past the end, across a read buffer.
    const std::pair<uint32_t, uint32_t> slices[] = {
        {0, Particles}, {1, 1}, {123, 456}, {4990, 20}, {5000, 3}, {70000, 5}, {0, 4000}};
    for (const auto& [first, count] : slices) {
        CheckSlot<int32_t>(f, PdcIdSlot, first, count);
        CheckSlot<CVector3f>(f, PdcPositionSlot, first, count);
        CheckSlot<CVector3f>(f, PdcFirstVectorSlot, first, count);
        CheckSlot<float>(f, PdcFirstFloatSlot, first, count);
        CheckSlot<int32_t>(f, PdcFirstLongSlot, first, count);
        CheckSlot<float>(f, PdcFirstFloatSlot + 2, first, count);
    }
}

TEST(SliceReader, ThreadsReadOneStreamAtOnce) {
    CFrameFixture f;
    const long before = std::ftell(f.File());
    std::vector<std::thread> threads;
    for (uint32_t t = 0; t < 4; ++t) {
        threads.emplace_back([&f, t] {
            for (uint32_t first = t * 37; first < Particles; first += 4 * 37) {
                CheckSlot<CVector3f>(f, PdcPositionSlot, first, 37);
                CheckSlot<int32_t>(f, PdcFirstLongSlot, first, 37);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(std::ftell(f.File()), before);  // the reads are positional
}

TEST(SliceReader, AFileCutShortSinceItWasWalkedGivesZerosAndFails) {
    CFrameFixture f;
    std::filesystem::resize_file(f.path, 28 + 4000);
    std::vector<CVector3f> got(10, CVector3f(1, 1, 1));
    EXPECT_FALSE(PdcReadSlice(f.File(), f.places[PdcPositionSlot], 0, 10, got.data()));
    for (const CVector3f& v : got) {
        EXPECT_EQ(v.GetX(), 0.0f);
        EXPECT_EQ(v.GetZ(), 0.0f);
    }
}

TEST(SliceReader, AnOutputThatDoesNotSuitTheRecordIsRefused) {
    CFrameFixture f;
    std::vector<float> floats(4, 1.0f);
    EXPECT_FALSE(PdcReadSlice(f.File(), f.places[PdcPositionSlot], 0, 4, floats.data()));
    EXPECT_EQ(floats, std::vector<float>(4, 0.0f));
    std::vector<CVector3f> vectors(4);
    EXPECT_FALSE(PdcReadSlice(f.File(), f.places[PdcFirstFloatSlot], 0, 4, vectors.data()));
    // A slot without a record has no values: zeros, and nothing failed.
    floats.assign(4, 1.0f);
    EXPECT_TRUE(PdcReadSlice(f.File(), CPdcArrayPlace(), 0, 4, floats.data()));
    EXPECT_EQ(floats, std::vector<float>(4, 0.0f));
}

}  // namespace
