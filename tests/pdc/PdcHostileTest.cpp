// Damaged and forged files: each is refused (or read) without reading,
// writing or allocating past what the file holds.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "AllocationProbe.h"
#include "PdcHostileFiles.h"
#include "PdcTestFiles.h"
#include "pdc/Pdc.h"

using namespace PdcTest;
using XSI::MATH::CVector3;

namespace {

TEST(PdcHostile, EachDefectIsRefusedWithoutLargeAllocation) {
    CTempFolder folder;
    for (const HostileCase& c : HostileCases()) {
        SCOPED_TRACE(c.defect);
        const std::string path = folder.File("hostile.pdc");
        WriteFile(path, c.file.Get());
        CPdc pdc;
        SetLayout(pdc);
        AllocationProbe::Arm();
        const bool read = ReadPdcFile(path, pdc);
        const size_t largest = AllocationProbe::Disarm();
        EXPECT_EQ(read, c.readable);
        if (AllocationProbe::Watching()) {
            EXPECT_LT(largest, size_t{1} << 20);
        }
        // A refused array record leaves its slot as it was.
        EXPECT_EQ(pdc.attributes[PdcPositionSlot].vectorValues.GetCount(), 1);
        EXPECT_FALSE(pdc.attributes[PdcPositionSlot].isArray);
    }
}

TEST(PdcHostile, NameOnlyLastRecordLeavesEarlierRecordsRead) {
    CTempFolder folder;
    const std::string path = folder.File("trail.pdc");
    CBytes file;
    file.Header(2, 3).Record("id", 3).Double(4).Double(5);
    file.Record("position", 4).Double(1).Double(2).Double(3).Int32(8).Text("position");
    WriteFile(path, file.Get());
    CPdc pdc;
    SetLayout(pdc);
    ASSERT_TRUE(ReadPdcFile(path, pdc));
    EXPECT_EQ(pdc.attributes[PdcIdSlot].longValues[1], 5);
    EXPECT_FALSE(pdc.attributes[PdcPositionSlot].isArray);
    EXPECT_EQ(pdc.attributes[PdcPositionSlot].vectorValues[0], CVector3(1, 2, 3));
}

TEST(PdcHostile, SingleValueAfterAnEmptyingArrayRecordGetsAnElement) {
    CTempFolder folder;
    const std::string path = folder.File("emptied.pdc");
    CBytes file;
    file.Header(0, 4).Record("mass", 3).Record("mass", 2).Double(5);
    file.Record("id", 1).Record("id", 0).Int32(-3);
    WriteFile(path, file.Get());
    CPdc pdc;
    SetLayout(pdc, {{0, "mass"}});
    ASSERT_TRUE(ReadPdcFile(path, pdc));
    const CAttribute& mass = pdc.attributes[0];
    EXPECT_FALSE(mass.isArray);
    ASSERT_EQ(mass.floatValues.GetCount(), 1);
    float value = 0;
    EXPECT_TRUE(mass.GetFloat(12, value));
    EXPECT_EQ(value, 5.0f);
    ASSERT_EQ(pdc.attributes[PdcIdSlot].longValues.GetCount(), 1);
    EXPECT_EQ(pdc.attributes[PdcIdSlot].longValues[0], -3);
}

// A direct read that runs out keeps every value that arrived whole, down to
// the single component of a vector, and leaves the rest as they were.
TEST(PdcHostile, ShortReadKeepsTheValuesReadWhole) {
    CTempFolder folder;
    const std::string path = folder.File("short.pdc");
    struct Case {
        int32_t type;
        bool fileHoldsIntegers;
        CBytes values;
    };
    const Case cases[] = {
        {PdcTypeFloat, false, CBytes().Double(1).Double(2).Raw({0x40, 0x08})},
        {PdcTypeLong, false, CBytes().Double(1).Double(2).Raw({0x40})},
        {PdcTypeLong, true, CBytes().Int32(1).Int32(2).Raw({0, 0, 0})},
        {PdcTypeVector, false, CBytes().Double(1).Double(2).Raw({1, 2, 3, 4, 5})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type * 10 + c.fileHoldsIntegers);
        WriteFile(path, c.values.Get());
        CAttribute attribute;
        attribute.Set(Text("a"), c.type);
        attribute.floatValues.Resize(4);
        attribute.longValues.Resize(4);
        attribute.vectorValues.Resize(4);
        attribute.isArray = true;
        for (int32_t i = 0; i < 4; ++i) {
            attribute.floatValues[i] = -1.0f;
            attribute.longValues[i] = -1;
            attribute.vectorValues[i] = CVector3(-1, -1, -1);
        }
        CFile file(path, "rb");
        EXPECT_FALSE(attribute.FRead(file, c.fileHoldsIntegers));
        if (c.type == PdcTypeFloat) {
            EXPECT_EQ(attribute.floatValues[1], 2.0f);
            EXPECT_EQ(attribute.floatValues[2], -1.0f);
        } else if (c.type == PdcTypeLong) {
            EXPECT_EQ(attribute.longValues[1], 2);
            EXPECT_EQ(attribute.longValues[2], -1);
        } else {
            EXPECT_EQ(attribute.vectorValues[0], CVector3(1, 2, -1));
            EXPECT_EQ(attribute.vectorValues[1], CVector3(-1, -1, -1));
        }
    }
}

// An array read sizes its array without zeroing it first; when the read
// runs out, the values read whole stay and everything after them, down to
// a vector's components, is zero, as it was when the array was zeroed
// first. The arrays start full of other values, as reused memory is.
TEST(PdcHostile, ArrayReadCutShortLeavesZerosAfterTheValuesReadWhole) {
    CTempFolder folder;
    const std::string path = folder.File("short-array.pdc");
    struct Case {
        int32_t type;
        bool fileHoldsIntegers;
        CBytes values;
    };
    const Case cases[] = {
        {PdcTypeFloat, false, CBytes().Double(1).Double(2).Raw({0x40, 0x08})},
        {PdcTypeLong, false, CBytes().Double(1).Double(2).Raw({0x40})},
        {PdcTypeLong, true, CBytes().Int32(1).Int32(2).Raw({0, 0, 0})},
        {PdcTypeVector, false, CBytes().Double(1).Double(2).Raw({1, 2, 3, 4, 5})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type * 10 + c.fileHoldsIntegers);
        WriteFile(path, c.values.Get());
        CAttribute attribute;
        attribute.Set(Text("a"), c.type);
        attribute.floatValues.Resize(6);
        attribute.longValues.Resize(6);
        attribute.vectorValues.Resize(6);
        for (int32_t i = 0; i < 6; ++i) {
            attribute.floatValues[i] = -1.0f;
            attribute.longValues[i] = -1;
            attribute.vectorValues[i] = CVector3(-1, -1, -1);
        }
        CFile file(path, "rb");
        EXPECT_FALSE(attribute.FReadArray(file, c.fileHoldsIntegers, 4));
        EXPECT_TRUE(attribute.isArray);
        if (c.type == PdcTypeFloat) {
            EXPECT_EQ(attribute.floatValues.GetCount(), 4);
            EXPECT_EQ(attribute.floatValues[1], 2.0f);
            EXPECT_EQ(attribute.floatValues[2], 0.0f);
            EXPECT_EQ(attribute.floatValues[3], 0.0f);
        } else if (c.type == PdcTypeLong) {
            EXPECT_EQ(attribute.longValues.GetCount(), 4);
            EXPECT_EQ(attribute.longValues[1], 2);
            EXPECT_EQ(attribute.longValues[2], 0);
            EXPECT_EQ(attribute.longValues[3], 0);
        } else {
            EXPECT_EQ(attribute.vectorValues.GetCount(), 4);
            EXPECT_EQ(attribute.vectorValues[0], CVector3(1, 2, 0));
            EXPECT_EQ(attribute.vectorValues[1], CVector3());
            EXPECT_EQ(attribute.vectorValues[3], CVector3());
        }
    }
    // No stream: the array is sized and zero.
    CAttribute attribute;
    attribute.Set(Text("a"), PdcTypeVector);
    attribute.vectorValues[0] = CVector3(-1, -1, -1);
    EXPECT_FALSE(attribute.FReadArray(nullptr, false, 3));
    ASSERT_EQ(attribute.vectorValues.GetCount(), 3);
    EXPECT_EQ(attribute.vectorValues[0], CVector3());
    EXPECT_EQ(attribute.vectorValues[2], CVector3());
}

TEST(PdcHostile, OutOfRangeDoublesIntoFloatSlotsRoundToInfinity) {
    CTempFolder folder;
    const std::string path = folder.File("range.pdc");
    WriteFile(path, CBytes()
                        .Header(3, 1)
                        .Record("mass", 3)
                        .Double(1e300)
                        .Double(-1e300)
                        .Double(std::nan(""))
                        .Get());
    CPdc pdc;
    SetLayout(pdc, {{0, "mass"}});
    ASSERT_TRUE(ReadPdcFile(path, pdc));
    EXPECT_EQ(pdc.attributes[0].floatValues[0], std::numeric_limits<float>::infinity());
    EXPECT_EQ(pdc.attributes[0].floatValues[1], -std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(pdc.attributes[0].floatValues[2]));
}

}  // namespace
