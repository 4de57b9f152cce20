// Writing records from numbers in memory: the same bytes as the slots'
// writer, integer codes, and the calls that must write nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "PdcTestFiles.h"
#include "pdc/RecordWriter.h"

using namespace PdcTest;

namespace {

TEST(PdcRecordWriter, WritesTheBytesOfTheSlotsWriter) {
    CTempFolder folder;
    CAttribute position;
    position.Set(Text("position"), PdcTypeVector);
    position.isArray = true;
    position.Resize(3);
    std::vector<double> xyz;
    for (int32_t i = 0; i < 3; ++i) {
        const XSI::MATH::CVector3 v(i + 0.25, -1e300 * i, std::ldexp(1.0, -1070));
        position.vectorValues[i] = v;
        xyz.insert(xyz.end(), {v.GetX(), v.GetY(), v.GetZ()});
    }
    CAttribute mass;
    mass.Set(Text("mass"), PdcTypeFloat);
    mass.floatValues[0] = 0.5f;
    const double massValue = 0.5;

    const std::string bySlots = folder.File("slots.pdc");
    const std::string byRecords = folder.File("records.pdc");
    {
        CFile file(bySlots, "wb");
        ASSERT_TRUE(position.FWrite(file) && mass.FWrite(file));
    }
    {
        CFile file(byRecords, "wb");
        ASSERT_TRUE(PdcWriteRecord(file, "position", PdcCodeVectorArray, xyz.data(), xyz.size()));
        ASSERT_TRUE(PdcWriteRecord(file, "mass", PdcCodeDouble, &massValue, 1));
    }
    EXPECT_EQ(ReadFile(byRecords), ReadFile(bySlots));
}

TEST(PdcRecordWriter, IntegerCodesHoldInt32Numbers) {
    CTempFolder folder;
    const std::string path = folder.File("ints.pdc");
    const int32_t ids[] = {std::numeric_limits<int32_t>::min(), -1, 0, 7,
                           std::numeric_limits<int32_t>::max()};
    const int32_t state = 3;
    {
        CFile file(path, "wb");
        ASSERT_TRUE(PdcHeader::ForWriting(5, 2).FWrite(file));
        ASSERT_TRUE(PdcWriteRecord(file, "id", PdcCodeIntegerArray, ids, 5));
        ASSERT_TRUE(PdcWriteRecord(file, "state", PdcCodeInteger, &state, 1));
    }
    CBytes expected;
    expected.Header(5, 2).Record("id", 1);
    for (int32_t id : ids) {
        expected.Int32(id);
    }
    expected.Record("state", 0).Int32(3);
    EXPECT_EQ(ReadFile(path), expected.Get());
}

TEST(PdcRecordWriter, RefusesCallsThatWouldWriteABrokenRecord) {
    CTempFolder folder;
    const std::string path = folder.File("refused.pdc");
    const double doubles[4] = {1, 2, 3, 4};
    const int32_t ints[2] = {1, 2};
    struct Case {
        const char* what;
        bool written;
    };
    CFile file(path, "wb");
    const Case cases[] = {
        {"double values under an integer code", PdcWriteRecord(file, "a", 1, doubles, 1)},
        {"int32 values under a double code", PdcWriteRecord(file, "a", 3, ints, 1)},
        {"unknown code", PdcWriteRecord(file, "a", 6, doubles, 1)},
        {"two numbers for a single double", PdcWriteRecord(file, "a", 2, doubles, 2)},
        {"two numbers for a single integer", PdcWriteRecord(file, "a", 0, ints, 2)},
        {"two numbers for a single vector", PdcWriteRecord(file, "a", 4, doubles, 2)},
        {"four numbers for vectors", PdcWriteRecord(file, "a", 5, doubles, 4)},
        {"no stream", PdcWriteRecord(nullptr, "a", 3, doubles, 1)},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(c.written) << c.what;
    }
    file.Close();
    EXPECT_TRUE(ReadFile(path).empty());
}

TEST(PdcRecordWriter, ReportsAStreamThatCannotWrite) {
    CTempFolder folder;
    const std::string path = folder.File("read-only.pdc");
    WriteFile(path, {});
    CFile file(path, "rb");
    const double value = 1;
    EXPECT_FALSE(PdcWriteRecord(file, "a", PdcCodeDouble, &value, 1));
}

}  // namespace
