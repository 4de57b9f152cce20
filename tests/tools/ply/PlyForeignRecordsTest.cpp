// PLY files of other programs turned into records: which code each
// property gets, which properties make a vector, and the values an integer
// record cannot hold.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tools/ply/Convert.h"
#include "tools/ply/PlyFormat.h"

namespace VelpoTools {
namespace {

CPlyColumn Column(const std::string& name, CPlyType type, std::vector<double> values) {
    CPlyColumn column;
    column.name = name;
    column.type = type;
    column.values = std::move(values);
    return column;
}

TEST(PlyForeignRecords, EachPropertyTypeGetsTheCodeThatHoldsItsValues) {
    struct Case {
        CPlyType type;
        std::vector<double> values;
        int32_t code;
    } cases[] = {
        {CPlyType::Int8, {-128, 127}, PdcCodeIntegerArray},
        {CPlyType::UInt16, {0, 65535}, PdcCodeIntegerArray},
        {CPlyType::Int32, {-2147483648.0, 2147483647}, PdcCodeIntegerArray},
        {CPlyType::UInt32, {0, 1}, PdcCodeDoubleArray},
        {CPlyType::Int64, {-2147483648.0, 2147483647}, PdcCodeIntegerArray},
        {CPlyType::Int64, {0, 2147483648.0}, PdcCodeDoubleArray},
        {CPlyType::UInt64, {0, 7}, PdcCodeIntegerArray},
        {CPlyType::UInt64, {4294967296.0, 7}, PdcCodeDoubleArray},
        {CPlyType::Float32, {0.5, 1}, PdcCodeDoubleArray},
        {CPlyType::Float64, {1, 2}, PdcCodeDoubleArray},
    };
    for (const Case& c : cases) {
        CPlyVertices ply;
        ply.count = 2;
        ply.columns.push_back(Column("a", c.type, c.values));
        CConvertFrame frame;
        std::vector<std::string> notes;
        const Velpo::CResult made = FrameFromPly(ply, frame, notes);
        ASSERT_TRUE(made.Succeeded()) << PlyTypeName(c.type) << ": " << made.Message();
        ASSERT_EQ(frame.records.size(), 1u);
        EXPECT_EQ(frame.records[0].name, "a");
        EXPECT_EQ(frame.records[0].code, c.code) << PlyTypeName(c.type) << " " << c.values[1];
        EXPECT_EQ(frame.header.particleCount, 2);
        if (c.code == PdcCodeIntegerArray) {
            EXPECT_EQ(frame.records[0].integers,
                      (std::vector<int32_t>{static_cast<int32_t>(c.values[0]),
                                            static_cast<int32_t>(c.values[1])}));
        } else {
            EXPECT_EQ(frame.records[0].doubles, c.values);
        }
    }
}

TEST(PlyForeignRecords, XyzAndNamedTriplesBecomeVectors) {
    CPlyVertices ply;
    ply.count = 2;
    ply.columns = {
        Column("v_x", CPlyType::Float32, {1, 4}), Column("x", CPlyType::Float64, {7, 8}),
        Column("v_y", CPlyType::Float32, {2, 5}), Column("y", CPlyType::Float64, {9, 10}),
        Column("v_z", CPlyType::Float32, {3, 6}), Column("z", CPlyType::Float64, {11, 12}),
        Column("w_x", CPlyType::Float32, {0, 0})};
    CConvertFrame frame;
    std::vector<std::string> notes;
    const Velpo::CResult made = FrameFromPly(ply, frame, notes);
    ASSERT_TRUE(made.Succeeded()) << made.Message();
    std::vector<std::string> names;
    for (const CConvertRecord& record : frame.records) {
        names.push_back(record.name + ":" + std::to_string(record.code));
    }
    // In the order of their first property; a lone _x stays a record of its own.
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], "v:" + std::to_string(PdcCodeVectorArray));
    EXPECT_EQ(frame.records[0].doubles, (std::vector<double>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(names[1], "position:" + std::to_string(PdcCodeVectorArray));
    EXPECT_EQ(frame.records[1].doubles, (std::vector<double>{7, 9, 11, 8, 10, 12}));
    EXPECT_EQ(names[2], "w_x:" + std::to_string(PdcCodeDoubleArray));
}

TEST(PlyForeignRecords, AnIntegerRecordTakesOnlyWhole32BitValues) {
    struct Case {
        double value;
        bool ok;
    } cases[] = {
        {-2147483648.0, true},
        {2147483647, true},
        {-0.0, true},
        {2147483648.0, false},
        {-2147483649.0, false},
        {0.5, false},
        {std::numeric_limits<double>::quiet_NaN(), false},
        {std::numeric_limits<double>::infinity(), false},
    };
    for (const Case& c : cases) {
        CPlyColumn column = Column("n", CPlyType::Float64, {1, c.value});
        CConvertRecord record;
        record.name = "n";
        record.code = PdcCodeIntegerArray;
        const Velpo::CResult filled = FillRecord(record, {&column}, 40, false);
        ASSERT_EQ(filled.Succeeded(), c.ok) << c.value;
        if (c.ok) {
            EXPECT_EQ(record.integers, (std::vector<int32_t>{1, static_cast<int32_t>(c.value)}));
        } else {
            EXPECT_EQ(filled.Message().rfind("property \"n\", vertex 41: ", 0), 0u)
                << filled.Message();
            EXPECT_NE(filled.Message().find("is not a 32-bit integer"), std::string::npos);
        }
        EXPECT_EQ(ColumnFitsInt32(column), c.ok || c.value == 0.5) << c.value;
    }
    // A double record copies, or moves when asked.
    CPlyColumn column = Column("d", CPlyType::Float64, {1.5, -2});
    CConvertRecord record;
    record.code = PdcCodeDoubleArray;
    ASSERT_TRUE(FillRecord(record, {&column}, 0, false).Succeeded());
    EXPECT_EQ(record.doubles, (std::vector<double>{1.5, -2}));
    EXPECT_EQ(column.values.size(), 2u);
}

TEST(PlyForeignRecords, ParticlesWithoutAnyValueAreRefused) {
    struct Case {
        int32_t particles;
        std::vector<bool> nameOnly;  // one per record
        bool ok;
    } cases[] = {
        {0, {}, true},      {5, {}, false},           {5, {true}, false},
        {5, {false}, true}, {5, {false, true}, true}, {-1, {}, true},
    };
    for (const Case& c : cases) {
        CConvertFrame frame;
        frame.header.particleCount = c.particles;
        for (const bool nameOnly : c.nameOnly) {
            CConvertRecord record;
            record.nameOnly = nameOnly;
            frame.records.push_back(record);
        }
        const Velpo::CResult held = CheckParticlesHeld(frame);
        EXPECT_EQ(held.Succeeded(), c.ok) << c.particles << " " << c.nameOnly.size();
        if (!c.ok) {
            EXPECT_EQ(held.Message(),
                      "the header counts 5 particles but no record holds a value "
                      "for them; a file of particles without data is refused");
        }
    }
    // A PLY whose vertices have no property says the same.
    CPlyVertices empty;
    empty.count = 3;
    CConvertFrame frame;
    std::vector<std::string> notes;
    const Velpo::CResult made = FrameFromPly(empty, frame, notes);
    ASSERT_FALSE(made.Succeeded());
    EXPECT_NE(made.Message().find("the header counts 3 particles but no record holds a value"),
              std::string::npos)
        << made.Message();
}

}  // namespace
}  // namespace VelpoTools
