// Reading: records into slots, conversions, and round trips through files.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "PdcTestFiles.h"
#include "pdc/Pdc.h"

using namespace PdcTest;
using XSI::MATH::CVector3;

namespace {

class PdcRead : public ::testing::Test {
protected:
    // Writes `bytes` and reads them into `pdc` (layout set by the caller).
    bool Read(const CBytes& bytes, CPdc& pdc) {
        const std::string path = folder_.File("read.pdc");
        WriteFile(path, bytes.Get());
        return ReadPdcFile(path, pdc);
    }
    CTempFolder folder_;
};

TEST_F(PdcRead, DoubleIntoLongSlotTruncatesTowardZeroAndSaturates) {
    struct Case {
        double stored;
        int32_t expected;
    };
    const Case cases[] = {
        {-2.9, -2},
        {2.9, 2},
        {-0.5, 0},
        {2147483647.0, 2147483647},
        {-2147483648.0, -2147483647 - 1},
        {3e9, std::numeric_limits<int32_t>::max()},
        {-3e9, std::numeric_limits<int32_t>::min()},
        {std::numeric_limits<double>::infinity(), std::numeric_limits<int32_t>::max()},
        {-std::numeric_limits<double>::infinity(), std::numeric_limits<int32_t>::min()},
        {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const Case& c : cases) {
        CPdc pdc;
        SetLayout(pdc);
        ASSERT_TRUE(Read(CBytes().Header(1, 1).Record("id", 2).Double(c.stored), pdc)) << c.stored;
        EXPECT_EQ(pdc.attributes[PdcIdSlot].longValues[0], c.expected) << c.stored;
    }
}

TEST_F(PdcRead, IntegerRecordsFillLongSlotsOnly) {
    CPdc pdc;
    SetLayout(pdc, {{0, "mass"}});
    pdc.attributes[0].floatValues[0] = 4.0f;
    CBytes file;
    file.Header(2, 4).Record("id", 0).Int32(-77);
    file.Record("mass", 0).Int32(99);          // no Long slot bears "mass": skipped, 4 bytes
    file.Record("mass", 1).Int32(1).Int32(2);  // skipped, 4 * N bytes
    file.Record("id", 1).Int32(5).Int32(-6);
    ASSERT_TRUE(Read(file, pdc));
    const CAttribute& id = pdc.attributes[PdcIdSlot];
    EXPECT_TRUE(id.isArray);
    ASSERT_EQ(id.longValues.GetCount(), 2);
    EXPECT_EQ(id.longValues[0], 5);
    EXPECT_EQ(id.longValues[1], -6);
    EXPECT_EQ(pdc.attributes[0].floatValues[0], 4.0f);
}

TEST_F(PdcRead, NamesCompareExactly) {
    CPdc pdc;
    SetLayout(pdc);
    CBytes file;
    file.Header(1, 2).Record("Position", 4).Double(1).Double(2).Double(3);
    file.Record("position", 4).Double(4).Double(5).Double(6);
    ASSERT_TRUE(Read(file, pdc));
    EXPECT_EQ(pdc.attributes[PdcPositionSlot].vectorValues[0], CVector3(4, 5, 6));
}

TEST_F(PdcRead, RecordGoesToTheFirstSlotOfItsNameThatAcceptsItsCode) {
    CPdc pdc;
    SetLayout(pdc, {{3, "heat"}, {12, "heat"}, {20, "heat"}});
    CBytes file;
    file.Header(1, 3).Record("heat", 2).Double(1.5);       // Float slot 3 comes first
    file.Record("heat", 0).Int32(8);                       // only Long slot 12 takes integers
    file.Record("heat", 4).Double(1).Double(2).Double(3);  // only Vector slot 20
    ASSERT_TRUE(Read(file, pdc));
    EXPECT_EQ(pdc.attributes[3].floatValues[0], 1.5f);
    EXPECT_EQ(pdc.attributes[12].longValues[0], 8);
    EXPECT_EQ(pdc.attributes[20].vectorValues[0], CVector3(1, 2, 3));
}

TEST_F(PdcRead, NoRecordsDueNeedsNoStream) {
    CPdc pdc;
    for (int32_t count : {0, -1, std::numeric_limits<int32_t>::min()}) {
        pdc.header.attributeCount = count;
        EXPECT_TRUE(pdc.ReadParticles(nullptr)) << count;
    }
    pdc.header.attributeCount = 1;
    EXPECT_FALSE(pdc.ReadParticles(nullptr));
}

TEST_F(PdcRead, ZeroParticlesEmptyArraySlotsAndReadNoValues) {
    CPdc pdc;
    SetLayout(pdc);
    CBytes file;
    file.Header(0, 3).Record("id", 3).Record("nobody", 5).Record("position", 5);
    ASSERT_TRUE(Read(file, pdc));
    EXPECT_EQ(pdc.attributes[PdcIdSlot].longValues.GetCount(), 0);
    EXPECT_EQ(pdc.attributes[PdcPositionSlot].vectorValues.GetCount(), 0);
    EXPECT_TRUE(pdc.attributes[PdcPositionSlot].isArray);
}

TEST_F(PdcRead, EmptyNameIsSkippedByItsCode) {
    CPdc pdc;
    SetLayout(pdc);
    CBytes file;
    file.Header(2, 2).Record("", 5);
    for (int i = 0; i < 6; ++i) {
        file.Double(100 + i);
    }
    file.Record("id", 2).Double(42);
    ASSERT_TRUE(Read(file, pdc));
    EXPECT_EQ(pdc.attributes[PdcIdSlot].longValues[0], 42);
    EXPECT_EQ(pdc.attributes[PdcPositionSlot].vectorValues[0], CVector3());
}

TEST_F(PdcRead, NameEndsAtItsFirstZeroByte) {
    CPdc pdc;
    SetLayout(pdc);
    CBytes file;
    file.Header(1, 1).Int32(4).Raw({'i', 'd', 0, 'x'}).Int32(2).Double(12);
    ASSERT_TRUE(Read(file, pdc));
    EXPECT_EQ(pdc.attributes[PdcIdSlot].longValues[0], 12);
}

TEST_F(PdcRead, FileEndingInsideARecordFailsKeepingEarlierRecords) {
    CBytes whole;
    whole.Header(2, 2).Record("id", 3).Double(1).Double(2);
    const size_t idEnd = whole.Size();
    whole.Record("position", 5);
    for (int i = 0; i < 6; ++i) {
        whole.Double(i);
    }
    // Cut inside the length, the name, the code and the values of the
    // second record: the first is read, the read fails.
    for (size_t cut : {idEnd + 2, idEnd + 6, idEnd + 14, idEnd + 16 + 20, whole.Size() - 1}) {
        Bytes bytes(whole.Get().begin(), whole.Get().begin() + static_cast<ptrdiff_t>(cut));
        const std::string path = folder_.File("cut.pdc");
        WriteFile(path, bytes);
        CPdc pdc;
        SetLayout(pdc);
        EXPECT_FALSE(ReadPdcFile(path, pdc)) << cut;
        ASSERT_EQ(pdc.attributes[PdcIdSlot].longValues.GetCount(), 2) << cut;
        EXPECT_EQ(pdc.attributes[PdcIdSlot].longValues[1], 2) << cut;
    }
}

TEST_F(PdcRead, HeaderFieldsAreNotCheckedAndTrailingBytesIgnored) {
    CPdc pdc;
    SetLayout(pdc);
    CBytes file;
    file.Text("XYZ!").Int32(7).Int32(0).Int32(-1).Int32(5).Int32(1).Int32(1);
    file.Record("id", 2).Double(3).Text("garbage after the last record");
    ASSERT_TRUE(Read(file, pdc));
    EXPECT_EQ(std::string(pdc.header.format, 4), "XYZ!");
    EXPECT_EQ(pdc.header.version, 7);
    EXPECT_EQ(pdc.header.reserved1, -1);
    EXPECT_EQ(pdc.attributes[PdcIdSlot].longValues[0], 3);
}

TEST_F(PdcRead, ShortHeaderKeepsTheFieldsReadWhole) {
    const Bytes full = CBytes().Header(11, 22).Get();
    for (size_t size : {size_t{0}, size_t{3}, size_t{4}, size_t{10}, size_t{22}, size_t{27}}) {
        const std::string path = folder_.File("short.pdc");
        WriteFile(path, Bytes(full.begin(), full.begin() + static_cast<ptrdiff_t>(size)));
        PdcHeader header;
        header.version = header.byteOrder = header.reserved1 = header.reserved2 = -9;
        header.particleCount = header.attributeCount = -9;
        CFile file(path, "rb");
        EXPECT_FALSE(header.FRead(file)) << size;
        const int32_t fields[] = {header.version,   header.byteOrder,     header.reserved1,
                                  header.reserved2, header.particleCount, header.attributeCount};
        const int32_t written[] = {1, 1, 0, 0, 11, 22};
        for (size_t i = 0; i < 6; ++i) {
            const bool whole = size >= 8 + 4 * i;
            EXPECT_EQ(fields[i], whole ? written[i] : -9) << size << " field " << i;
        }
    }
    PdcHeader header;
    EXPECT_FALSE(header.FRead(nullptr));
}

TEST_F(PdcRead, LaterRecordForTheSameSlotOverwrites) {
    CPdc pdc;
    SetLayout(pdc);
    CBytes file;
    file.Header(2, 2).Record("id", 3).Double(1).Double(2).Record("id", 2).Double(9);
    ASSERT_TRUE(Read(file, pdc));
    const CAttribute& id = pdc.attributes[PdcIdSlot];
    EXPECT_FALSE(id.isArray);
    int32_t value = 0;
    EXPECT_TRUE(id.GetLong(1, value));
    EXPECT_EQ(value, 9);
}

// Settings that name two slots alike write two records of that name, in
// slot order; each comes back to its own slot, not both to the first.
TEST_F(PdcRead, SlotsOfOneNameTakeTheRecordsInTurn) {
    CPdc pdc;
    SetLayout(pdc, {{0, "age"}, {1, "age"}, {11, "id"}, {3, "position"}});
    CBytes file;
    file.Header(2, 6);
    file.Record("age", 3).Double(1).Double(2).Record("age", 2).Double(7);
    file.Record("position", 3).Double(-1).Double(-2);  // Float slot 3
    file.Record("id", 3).Double(10).Double(11).Record("id", 3).Double(20).Double(21);
    file.Record("position", 4).Double(4).Double(5).Double(6);
    ASSERT_TRUE(Read(file, pdc));
    EXPECT_TRUE(pdc.attributes[0].isArray);
    EXPECT_EQ(pdc.attributes[0].floatValues[1], 2.0f);
    EXPECT_FALSE(pdc.attributes[1].isArray);
    EXPECT_EQ(pdc.attributes[1].floatValues[0], 7.0f);
    EXPECT_EQ(pdc.attributes[3].floatValues[1], -2.0f);
    EXPECT_EQ(pdc.attributes[PdcIdSlot].longValues[1], 11);
    EXPECT_EQ(pdc.attributes[11].longValues[1], 21);
    EXPECT_EQ(pdc.attributes[PdcPositionSlot].vectorValues[0], CVector3(4, 5, 6));
}

// Once every slot of a name is filled, a further record overwrites the
// first of them, as a file with a repeated record always read.
TEST_F(PdcRead, RecordBeyondTheSlotsOfItsNameOverwritesTheFirst) {
    CPdc pdc;
    SetLayout(pdc, {{0, "age"}, {1, "age"}});
    CBytes file;
    file.Header(1, 3).Record("age", 2).Double(1).Record("age", 2).Double(2);
    file.Record("age", 2).Double(3);
    ASSERT_TRUE(Read(file, pdc));
    EXPECT_EQ(pdc.attributes[0].floatValues[0], 3.0f);
    EXPECT_EQ(pdc.attributes[1].floatValues[0], 2.0f);
}

TEST(PdcAccessors, SingleValueServesEveryIndexArrayOnlyItsOwn) {
    CAttribute attribute;
    attribute.Set(Text("mass"), PdcTypeFloat);
    attribute.floatValues[0] = 2.5f;
    float value = 0.0f;
    EXPECT_TRUE(attribute.GetFloat(-5, value));
    EXPECT_EQ(value, 2.5f);

    attribute.Resize(2);
    attribute.isArray = true;
    attribute.floatValues[1] = 7.0f;
    EXPECT_TRUE(attribute.GetFloat(1, value));
    EXPECT_EQ(value, 7.0f);
    value = -1.0f;
    EXPECT_FALSE(attribute.GetFloat(2, value));
    EXPECT_FALSE(attribute.GetFloat(-1, value));
    EXPECT_EQ(value, -1.0f);

    attribute.Resize(0);
    attribute.isArray = false;
    EXPECT_FALSE(attribute.GetFloat(0, value));
    int32_t longValue = 3;
    EXPECT_TRUE(attribute.GetLong(0, longValue));  // the Long array is untouched
    EXPECT_EQ(longValue, 0);
}

// Records far larger than one run of the reader, in every form a slot
// takes, each value distinct: nothing is lost, repeated or shifted where
// one run ends and the next begins, down to the last few values.
TEST_F(PdcRead, LargeRecordsArriveWholeAcrossEveryRun) {
    constexpr int32_t count = 100003;
    CBytes file;
    file.Header(count, 4).Record("mass", PdcCodeDoubleArray);
    for (int32_t i = 0; i < count; ++i) {
        file.Double(i + 0.25);
    }
    file.Record("id", PdcCodeIntegerArray);
    for (int32_t i = 0; i < count; ++i) {
        file.Int32(i * 3 - 7);
    }
    file.Record("age", PdcCodeDoubleArray);
    for (int32_t i = 0; i < count; ++i) {
        file.Double(-i - 0.5);
    }
    file.Record("position", PdcCodeVectorArray);
    for (int32_t i = 0; i < count; ++i) {
        file.Double(i).Double(-i).Double(i * 0.5);
    }
    CPdc pdc;
    SetLayout(pdc, {{0, "mass"}, {11, "age"}});
    ASSERT_TRUE(Read(file, pdc));
    ASSERT_EQ(pdc.attributes[0].floatValues.GetCount(), count);
    ASSERT_EQ(pdc.attributes[PdcIdSlot].longValues.GetCount(), count);
    ASSERT_EQ(pdc.attributes[11].longValues.GetCount(), count);
    ASSERT_EQ(pdc.attributes[PdcPositionSlot].vectorValues.GetCount(), count);
    for (int32_t i = 0; i < count; ++i) {
        ASSERT_EQ(pdc.attributes[0].floatValues[i], static_cast<float>(i + 0.25)) << i;
        ASSERT_EQ(pdc.attributes[PdcIdSlot].longValues[i], i * 3 - 7) << i;
        ASSERT_EQ(pdc.attributes[11].longValues[i], -i) << i;
        ASSERT_EQ(pdc.attributes[PdcPositionSlot].vectorValues[i], CVector3(i, -i, i * 0.5)) << i;
    }
}

// Every slot kind, single-valued and per-particle, written and read back
// with the same layout.
TEST(PdcRoundTrip, EverySlotKindComesBackWithItsValuesAndArrayFlag) {
    CTempFolder folder;
    const std::string path = folder.File("roundtrip.pdc");
    constexpr int32_t count = 5;
    const std::initializer_list<CNamedSlot> named = {{0, "mass"},  {9, "drag"},      {11, "age"},
                                                     {15, "kind"}, {17, "velocity"}, {26, "color"}};
    const int32_t arraySlots[] = {0, PdcIdSlot, 15, PdcPositionSlot, 26};

    CPdc out;
    SetLayout(out, named);
    out.Resize(count);
    for (int32_t slot : arraySlots) {
        out.attributes[slot].isArray = true;
    }
    const int32_t extremes[] = {std::numeric_limits<int32_t>::min(), -1, 0, 1,
                                std::numeric_limits<int32_t>::max()};
    for (int32_t i = 0; i < count; ++i) {
        out.attributes[0].floatValues[i] = std::nextafter(0.1f * static_cast<float>(i), 1.0f);
        out.attributes[PdcIdSlot].longValues[i] = extremes[i];
        out.attributes[15].longValues[i] = 1000 * i - 3;
        out.attributes[PdcPositionSlot].vectorValues[i] = CVector3(i, 1.0 / 3.0, -1e300);
        out.attributes[26].vectorValues[i] = CVector3(-i, 0.1 * i, 5e-324);
    }
    out.attributes[9].floatValues[0] = -3.25e-20f;
    out.attributes[11].longValues[0] = std::numeric_limits<int32_t>::min();
    out.attributes[17].vectorValues[0] = CVector3(7, 8, 9);
    {
        CFile file(path, "wb");
        ASSERT_TRUE(
            PdcHeader::ForWriting(out.PositionCount(), out.NamedAttributeCount()).FWrite(file));
        ASSERT_TRUE(out.FWriteAttributes(file));
        ASSERT_EQ(file.Close(), 0);
    }

    CPdc in;
    SetLayout(in, named);
    ASSERT_TRUE(ReadPdcFile(path, in));
    EXPECT_EQ(in.header.particleCount, count);
    EXPECT_EQ(in.header.attributeCount, 8);
    for (int32_t slot = 0; slot < PdcSlotCount; ++slot) {
        const CAttribute& a = out.attributes[slot];
        const CAttribute& b = in.attributes[slot];
        SCOPED_TRACE(slot);
        EXPECT_EQ(static_cast<bool>(a.isArray), static_cast<bool>(b.isArray));
        const int32_t n = a.isArray ? count : 1;
        for (int32_t i = 0; i < n; ++i) {
            float fa = 0, fb = 0;
            int32_t la = 0, lb = 0;
            CVector3 va, vb;
            switch (a.type) {
                case PdcTypeFloat:
                    ASSERT_TRUE(a.GetFloat(i, fa) && b.GetFloat(i, fb));
                    EXPECT_EQ(fa, fb) << i;
                    break;
                case PdcTypeLong:
                    ASSERT_TRUE(a.GetLong(i, la) && b.GetLong(i, lb));
                    EXPECT_EQ(la, lb) << i;
                    break;
                case PdcTypeVector:
                    ASSERT_TRUE(a.GetVector(i, va) && b.GetVector(i, vb));
                    EXPECT_EQ(va, vb) << i;
                    break;
                default:
                    EXPECT_EQ(b.type, PdcTypeNone);
            }
        }
    }
}

}  // namespace
