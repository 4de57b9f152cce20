// The table reader and the one table writer, without the command around
// them: what each form of table reads as, and what the writer's tables
// read back as.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/Streams.h"
#include "tools/common/Numbers.h"
#include "tools/common/Output.h"
#include "tools/common/Text.h"
#include "tools/tables/TableWriter.h"
#include "tools/tables/Tables.h"

namespace VelpoTools {
namespace {

CTable Read(const std::string& text, CTableFormat format = CTableFormat::Csv) {
    CTable table;
    const Velpo::CResult read = ReadTableText(text, format, "t", table);
    EXPECT_TRUE(read.Succeeded()) << read.Message();
    return table;
}

std::string Failure(const std::string& text, CTableFormat format = CTableFormat::Csv) {
    CTable table;
    const Velpo::CResult read = ReadTableText(text, format, "t", table);
    EXPECT_FALSE(read.Succeeded()) << text;
    return read.Message();
}

std::vector<float> Floats(const CTable& table, const std::string& name) {
    std::vector<float> values;
    const CTableColumn* column = table.Find(name);
    EXPECT_NE(column, nullptr) << name;
    if (column) {
        const Velpo::CResult parsed = table.Values(*column, values);
        EXPECT_TRUE(parsed.Succeeded()) << parsed.Message();
    }
    return values;
}

std::string Written(CTableFormat format, const std::vector<CTableOutputColumn>& columns,
                    size_t rows) {
    return VelpoTestSupport::WrittenText([&](std::FILE* file) {
        COutput out(file, "t");
        WriteTable(out, format, columns, rows);
        EXPECT_TRUE(out.Flush().Succeeded());
    });
}

TEST(TableReader, CsvLineEndsAndByteOrderMarkAllReadAlike) {
    const std::string forms[] = {
        "id,x\n1,0.5\n2,-1\n",
        "id,x\r\n1,0.5\r\n2,-1\r\n",
        "id,x\r1,0.5\r2,-1",
        "\xEF\xBB\xBFid,x\n1,0.5\n\n2,-1",
        "\xEF\xBB\xBF id , x \r\n \t\r\n1 , 0.5\r2,-1\n",
    };
    for (const std::string& text : forms) {
        SCOPED_TRACE(text);
        const CTable table = Read(text);
        ASSERT_EQ(table.columns.size(), 2u);
        EXPECT_EQ(table.columns[0].name, "id");
        EXPECT_EQ(table.rows, 2u);
        EXPECT_EQ(Floats(table, "x"), (std::vector<float>{0.5f, -1.0f}));
    }
    // Lines are counted for messages whatever ends them.
    EXPECT_EQ(Failure("id,x\r1,2\r3\r"),
              "t: line 3, column 2: the row has 1 fields, the header row 2");
}

TEST(TableReader, QuotedNamesMayHoldCommasQuotesAndLineBreaks) {
    const CTable table =
        Read("\"a,b\",\"say \"\"hi\"\"\",\"two\r\nlines\", \" blank \" \n1,2,3,4\n");
    ASSERT_EQ(table.columns.size(), 4u);
    EXPECT_EQ(table.columns[0].name, "a,b");
    EXPECT_EQ(table.columns[1].name, "say \"hi\"");
    EXPECT_EQ(table.columns[2].name, "two\r\nlines");
    EXPECT_EQ(table.columns[3].name, " blank ");
    EXPECT_EQ(table.columns[3].cells[0].line, 3u) << "the quoted line break is a line";
    EXPECT_EQ(Failure("id,\"open\n1,2\n"), "t: line 1, column 2: unterminated or misplaced quote");
    EXPECT_EQ(Failure("id,\"x\"y\n1,2\n"), "t: line 1, column 2: unterminated or misplaced quote");
}

TEST(TableReader, NumbersOutsideTheirTypeAreNamedSo) {
    const CTable table =
        Read("f,i\n1e-50,3000000000\n3.5e38,-2147483649\nx,1.5\n1e-45,-2147483648\nNaN,0\n");
    const CTableColumn& f = *table.Find("f");
    const CTableColumn& i = *table.Find("i");
    struct CCase {
        const CTableColumn* column;
        size_t row;
        const char* message;
    };
    const CCase cases[] = {
        {&f, 0, "t: line 2, column 1 (\"f\"): \"1e-50\" is out of float range"},
        {&f, 1, "t: line 3, column 1 (\"f\"): \"3.5e38\" is out of float range"},
        {&f, 2, "t: line 4, column 1 (\"f\"): \"x\" is not a number"},
        {&i, 0, "t: line 2, column 2 (\"i\"): \"3000000000\" is out of int32 range"},
        {&i, 1, "t: line 3, column 2 (\"i\"): \"-2147483649\" is out of int32 range"},
        {&i, 2, "t: line 4, column 2 (\"i\"): \"1.5\" is not a 32-bit integer"},
    };
    for (const CCase& c : cases) {
        // One row at a time: a column is parsed up to its first bad cell.
        CTable one = table;
        CTableColumn column = *c.column;
        column.cells = {c.column->cells[c.row]};
        one.rows = 1;
        std::vector<float> floats;
        std::vector<int32_t> integers;
        const Velpo::CResult parsed =
            c.column == &f ? one.Values(column, floats) : one.Values(column, integers);
        EXPECT_EQ(parsed.Message(), c.message);
    }
    CTable edges = table;
    edges.rows = 2;
    CTableColumn last = f;
    last.cells = {f.cells[3], f.cells[4]};
    std::vector<float> values;
    ASSERT_TRUE(edges.Values(last, values).Succeeded());
    EXPECT_EQ(values[0], std::numeric_limits<float>::denorm_min());
    EXPECT_TRUE(std::isnan(values[1]));
}

TEST(TableReader, DuplicateColumnsAreFoundAmongManyAtOnce) {
    std::string header;
    for (int i = 0; i < 80000; ++i) {
        header += 'c';
        header += std::to_string(i);
        header += ',';
    }
    const CTable table = Read(header + "last\n");
    EXPECT_EQ(table.columns.size(), 80001u);
    EXPECT_EQ(table.Find("c79999"), &table.columns[79999]);
    EXPECT_EQ(Failure(header + "c40000\n"),
              "t: line 1, column 80001: column \"c40000\" appears twice in the header row");
    EXPECT_EQ(Failure(R"({"particleCount": 0, "attributes": {"a": [], "b": [], "a": []}})",
                      CTableFormat::Json),
              "t: line 1, column 57: attribute \"a\" appears twice");
}

TEST(TableReader, JsonSingleValuesAreOneConstantCellAndNonFiniteWordsAreNumbers) {
    const CTable table = Read(R"({"particleCount": 2147483647, "attributes": {
        "age": 0.5, "wind": [1, NaN, -Infinity], "heat": Infinity}})",
                              CTableFormat::Json);
    EXPECT_EQ(table.rows, 2147483647u);
    for (const char* name : {"age", "wind.x", "wind.y", "wind.z", "heat"}) {
        SCOPED_TRACE(name);
        ASSERT_NE(table.Find(name), nullptr);
        EXPECT_TRUE(table.Find(name)->constant);
        EXPECT_EQ(Floats(table, name).size(), 1u) << "a constant is never copied per particle";
    }
    EXPECT_TRUE(std::isnan(Floats(table, "wind.y")[0]));
    EXPECT_EQ(Floats(table, "wind.z")[0], -std::numeric_limits<float>::infinity());
    EXPECT_EQ(Floats(table, "heat")[0], std::numeric_limits<float>::infinity());
    // Negative zero keeps its sign: numbers are read as they stand.
    const CTable zero =
        Read(R"({"particleCount": 1, "attributes": {"z": [-0]}})", CTableFormat::Json);
    EXPECT_TRUE(std::signbit(Floats(zero, "z")[0]));
    // The words only count as numbers outside strings.
    EXPECT_NE(Failure(R"({"particleCount": 1, "attributes": {"NaN": ["NaN"]}})", CTableFormat::Json)
                  .find("a string where the table expects a number"),
              std::string::npos);
    EXPECT_NE(Failure(R"({"particleCount": 1, "attributes": {"x": [NaNa]}})", CTableFormat::Json)
                  .find("t: line 1, column"),
              std::string::npos);
}

TEST(TableWriter, WhatItWritesReadsBackToTheSameNamesAndBits) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> odd = {nan, -inf, -0.0f, std::numeric_limits<float>::denorm_min()};
    const std::vector<int32_t> ids = {1, -2147483647 - 1, 2147483647, 0};
    const std::vector<float> vectors = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0.1f, 0.2f, 0.3f};
    const double drag = 0.15;
    const std::vector<CTableOutputColumn> columns = {
        {"id", CNumberKind::Int32, 1, false, ids.data()},
        {"a,b \"c\"\nd", CNumberKind::Float, 1, false, odd.data()},
        {" v", CNumberKind::Float, 3, false, vectors.data()},
        {"drag", CNumberKind::Double, 1, true, &drag},
    };
    for (const CTableFormat format : {CTableFormat::Csv, CTableFormat::Json}) {
        SCOPED_TRACE(format == CTableFormat::Csv ? "csv" : "json");
        const std::string text = Written(format, columns, 4);
        const CTable table = Read(text, format);
        EXPECT_EQ(table.rows, 4u);
        const std::vector<float> read = Floats(table, "a,b \"c\"\nd");
        ASSERT_EQ(read.size(), 4u);
        for (size_t i = 0; i < read.size(); ++i) {
            EXPECT_TRUE(std::bit_cast<uint32_t>(read[i]) == std::bit_cast<uint32_t>(odd[i]) ||
                        (std::isnan(read[i]) && std::isnan(odd[i])))
                << i;
        }
        std::vector<int32_t> readIds;
        ASSERT_TRUE(table.Values(*table.Find("id"), readIds).Succeeded());
        EXPECT_EQ(readIds, ids);
        EXPECT_EQ(Floats(table, " v.y"), (std::vector<float>{2, 5, 8, 0.2f}));
        EXPECT_EQ(Floats(table, "drag").size(), format == CTableFormat::Csv ? 4u : 1u);
        EXPECT_EQ(Floats(table, "drag")[0], 0.15f);
    }
    EXPECT_EQ(Written(CTableFormat::Csv, {columns[0], columns[3]}, 2),
              "id,drag\n1,0.15\n-2147483648,0.15\n");
}

// Whole numbers with all their digits (an id of 300000 is no "3e+05"), the
// rest in their shortest form; every text reads back to the same bits.
TEST(Numbers, WholeNumbersKeepTheirDigitsAndEveryTextReadsBack) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, const char*> doubles[] = {
        {300000, "300000"},
        {99999, "99999"},
        {-1e15, "-1000000000000000"},
        {9007199254740992.0, "9007199254740992"},
        {1e16, "1e+16"},
        {0.1, "0.1"},
        {1e-05, "1e-05"},
        {123456.5, "123456.5"},
        {-0.0, "-0"},
        {1.7976931348623157e308, "1.7976931348623157e+308"},
        {nan, "NaN"},
        {-inf, "-Infinity"},
    };
    for (const auto& [value, text] : doubles) {
        EXPECT_EQ(FormatDouble(value), text);
        double back = 0;
        ASSERT_EQ(ParseDouble(text, back), CParsed::Number) << text;
        EXPECT_TRUE(std::bit_cast<uint64_t>(back) == std::bit_cast<uint64_t>(value) ||
                    (std::isnan(back) && std::isnan(value)))
            << text;
    }
    const std::pair<float, const char*> floats[] = {
        {3e5f, "300000"},
        {16777216.0f, "16777216"},
        {0.1f, "0.1"},
        {3.4028235e38f, "3.4028235e+38"},
    };
    for (const auto& [value, text] : floats) {
        EXPECT_EQ(FormatFloat(value), text);
        float back = 0;
        ASSERT_EQ(ParseFloat(text, back), CParsed::Number) << text;
        EXPECT_EQ(back, value) << text;
    }
    double refused = 7;
    EXPECT_EQ(ParseDouble("0x10", refused), CParsed::NotANumber);
    EXPECT_EQ(ParseDouble(" 1", refused), CParsed::NotANumber);
    EXPECT_EQ(ParseDouble("1e400", refused), CParsed::OutOfRange);
    EXPECT_EQ(refused, 7);
}

TEST(TableWriter, StopsAtTheFirstWriteTheOutputRefuses) {
#ifdef _WIN32
    GTEST_SKIP() << "no /dev/full";
#else
    std::FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    std::vector<double> values(1000000, 1.5);
    COutput out(full, "/dev/full");
    WriteTable(out, CTableFormat::Csv, {{"x", CNumberKind::Double, 1, false, values.data()}},
               values.size());
    EXPECT_FALSE(out.Ok());
    EXPECT_EQ(out.Flush().Message(), "/dev/full: No space left on device");
    std::fclose(full);
#endif
}

// A CSV table written in runs of rows, as import writes the rows that come
// a window at a time, is the table written at once, whatever the runs.
TEST(TableWriter, CsvInRunsOfRowsIsTheWholeTable) {
    const std::vector<int32_t> ids = {4, -7, 0, 2147483647, 9};
    const std::vector<float> xyz = {0.5f, -1, 2, 1e-7f, 3, 4, 5, 6, 7, -0.0f, 8, 9, 1, 2, 3};
    const float drag = 0.25f;
    auto columns = [&](size_t from) {
        return std::vector<CTableOutputColumn>{
            {"id", CNumberKind::Int32, 1, false, ids.data() + from},
            {"p,q", CNumberKind::Float, 3, false, xyz.data() + 3 * from},
            {"drag", CNumberKind::Float, 1, true, &drag}};
    };
    const std::string whole = Written(CTableFormat::Csv, columns(0), ids.size());
    for (const std::vector<size_t>& runs :
         {std::vector<size_t>{5}, {1, 1, 1, 1, 1}, {2, 3}, {4, 0, 1}}) {
        const std::string pieces = VelpoTestSupport::WrittenText([&](std::FILE* file) {
            COutput out(file, "t");
            WriteCsvHeader(out, columns(0));
            size_t from = 0;
            for (size_t rows : runs) {
                WriteCsvRows(out, columns(from), rows);
                from += rows;
            }
            EXPECT_TRUE(out.Flush().Succeeded());
        });
        EXPECT_EQ(pieces, whole);
    }
}

// Extensions and host names compare without case, byte by byte: only the
// ASCII capitals change, so a UTF-8 name keeps every byte.
TEST(AsciiLower, OnlyAsciiCapitalsChange) {
    struct Case {
        const char* text;
        const char* lower;
    };
    for (const Case& c :
         {Case{".JSON", ".json"}, Case{".Pdc", ".pdc"}, Case{"", ""},
          Case{"@[`{AZaz09", "@[`{azaz09"}, Case{"\xC3\x89T\xC3\x89", "\xC3\x89t\xC3\x89"},
          Case{"LOCALHOST", "localhost"}}) {
        EXPECT_EQ(AsciiLower(c.text), c.lower) << c.text;
    }
}

}  // namespace
}  // namespace VelpoTools
