// The tables the commands write: names quoted where a reader would
// otherwise change them, numbers exact, constants written as the format
// wants them, and every table readable by the one reader.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "tests/support/FileContents.h"
#include "tests/support/ScratchFolder.h"
#include "tools/common/Output.h"
#include "tools/tables/Tables.h"

namespace VelpoTools {
namespace {

std::string Written(CTableFormat format, const std::vector<CTableOutputColumn>& columns,
                    size_t rows) {
    VelpoTestSupport::CScratchFolder scratch;
    const std::string file = scratch / "t";
    std::FILE* stream = std::fopen(file.c_str(), "wb");
    if (!stream) {
        return "cannot write";
    }
    {
        COutput out(stream, file);
        WriteTable(out, format, columns, rows);
        if (!out.Flush().Succeeded()) {
            std::fclose(stream);
            return "write failed";
        }
    }
    std::fclose(stream);
    return VelpoTestSupport::ReadFile(file);
}

TEST(TableFormat, ExtensionsChooseTheFormatInAnyCase) {
    struct Case {
        const char* file;
        CTableFormat format;
        bool table;
    } cases[] = {
        {"a.json", CTableFormat::Json, true},     {"a.JSON", CTableFormat::Json, true},
        {"d/a.Json", CTableFormat::Json, true},   {"a.csv", CTableFormat::Csv, true},
        {"a.CsV", CTableFormat::Csv, true},       {"a.txt", CTableFormat::Csv, false},
        {"a.json.bak", CTableFormat::Csv, false}, {"json", CTableFormat::Csv, false},
        {"a.pdc", CTableFormat::Csv, false},      {"a.", CTableFormat::Csv, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TableFormatOf(c.file), c.format) << c.file;
        EXPECT_EQ(IsTableFile(c.file), c.table) << c.file;
    }
}

TEST(TableWriterText, NamesThatAReaderWouldChangeAreQuoted) {
    const std::vector<int32_t> values = {1, 2};
    struct Case {
        std::string name;
        std::string header;
    } cases[] = {
        {"age", "age"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {" lead", "\" lead\""},
        {"trail\t", "\"trail\t\""},
        {"in side", "in side"},
        {"two\nlines", "\"two\nlines\""},
        {"cr\r", "\"cr\r\""},
        {"\xEF\xBB\xBFmark", "\"\xEF\xBB\xBFmark\""},
        {"caf\xc3\xa9", "caf\xc3\xa9"},
    };
    for (const Case& c : cases) {
        const std::vector<CTableOutputColumn> columns = {
            {c.name, CNumberKind::Int32, 1, false, values.data()}};
        const std::string text = Written(CTableFormat::Csv, columns, 2);
        EXPECT_EQ(text, c.header + "\n1\n2\n") << c.name;
        // And the reader takes the name back as it was.
        CTable table;
        const Velpo::CResult read = ReadTableText(text, CTableFormat::Csv, "t.csv", table);
        ASSERT_TRUE(read.Succeeded()) << c.name << ": " << read.Message();
        ASSERT_EQ(table.columns.size(), 1u);
        EXPECT_EQ(table.columns[0].name, c.name);
        EXPECT_EQ(table.rows, 2u);
    }
}

TEST(TableWriterText, CsvAndJsonOfVectorsConstantsAndSpecialNumbers) {
    const std::vector<int32_t> ids = {7, -2147483647 - 1};
    const std::vector<float> xyz = {0.1f, -0.0f, 1e-45f, 3e38f, -1.5f, 16777216.0f};
    const double drag = -0.0;
    const std::vector<double> heat = {std::numeric_limits<double>::quiet_NaN(),
                                      -std::numeric_limits<double>::infinity()};
    const std::vector<CTableOutputColumn> columns = {
        {"id", CNumberKind::Int32, 1, false, ids.data()},
        {"v", CNumberKind::Float, 3, false, xyz.data()},
        {"drag", CNumberKind::Double, 1, true, &drag},
        {"heat", CNumberKind::Double, 1, false, heat.data()},
    };
    EXPECT_EQ(Written(CTableFormat::Csv, columns, 2),
              "id,v.x,v.y,v.z,drag,heat\n"
              "7,0.1,-0,1e-45,-0,NaN\n"
              "-2147483648,3e+38,-1.5,16777216,-0,-Infinity\n");
    const std::string json = Written(CTableFormat::Json, columns, 2);
    // A negative zero keeps its sign in JSON only as -0.0.
    EXPECT_NE(json.find("\"drag\": -0.0"), std::string::npos) << json;
    EXPECT_EQ(json.find("\"drag\": ["), std::string::npos) << json;
    EXPECT_NE(json.find("\"particleCount\": 2"), std::string::npos) << json;

    // Both read back to the same bits.
    for (const CTableFormat format : {CTableFormat::Csv, CTableFormat::Json}) {
        CTable table;
        const Velpo::CResult read = ReadTableText(Written(format, columns, 2), format, "t", table);
        ASSERT_TRUE(read.Succeeded()) << read.Message();
        std::vector<float> y;
        ASSERT_TRUE(table.Values(*table.Find("v.y"), y).Succeeded());
        ASSERT_EQ(y.size(), 2u);
        EXPECT_TRUE(std::signbit(y[0]));
        EXPECT_EQ(y[1], -1.5f);
        std::vector<float> z;
        ASSERT_TRUE(table.Values(*table.Find("v.z"), z).Succeeded());
        EXPECT_EQ(z, (std::vector<float>{1e-45f, 16777216.0f}));
        std::vector<int32_t> id;
        ASSERT_TRUE(table.Values(*table.Find("id"), id).Succeeded());
        EXPECT_EQ(id, ids);
        const CTableColumn* dragColumn = table.Find("drag");
        ASSERT_NE(dragColumn, nullptr);
        EXPECT_EQ(dragColumn->constant, format == CTableFormat::Json);
        std::vector<float> d;
        ASSERT_TRUE(table.Values(*dragColumn, d).Succeeded());
        ASSERT_FALSE(d.empty());
        EXPECT_TRUE(std::signbit(d[0]));
        std::vector<float> h;
        ASSERT_TRUE(table.Values(*table.Find("heat"), h).Succeeded());
        ASSERT_EQ(h.size(), 2u);
        EXPECT_TRUE(std::isnan(h[0]));
        EXPECT_EQ(h[1], -std::numeric_limits<float>::infinity());
    }
}

TEST(TableWriterText, AnEmptyTableIsStillATable) {
    const std::vector<CTableOutputColumn> columns = {{"id", CNumberKind::Int32, 1, false, nullptr}};
    EXPECT_EQ(Written(CTableFormat::Csv, columns, 0), "id\n");
    CTable table;
    const std::string json = Written(CTableFormat::Json, columns, 0);
    ASSERT_TRUE(ReadTableText(json, CTableFormat::Json, "t.json", table).Succeeded()) << json;
    EXPECT_EQ(table.rows, 0u);
    ASSERT_NE(table.Find("id"), nullptr);
}

}  // namespace
}  // namespace VelpoTools
