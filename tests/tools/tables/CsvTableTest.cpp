// The CSV tables users write by hand or export from spreadsheets: every
// mistake is placed at its line and field, whatever the line ends, and
// quoted names come back as they were meant.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/tables/Tables.h"

namespace VelpoTools {
namespace {

std::string Failure(const std::string& text) {
    CTable table;
    const Velpo::CResult read = ReadTableText(text, CTableFormat::Csv, "t.csv", table);
    return read.Succeeded() ? "read" : read.Message();
}

std::vector<std::string> Cells(const CTable& table, const std::string& name) {
    std::vector<std::string> cells;
    const CTableColumn* column = table.Find(name);
    if (column) {
        for (const CTableCell& cell : column->cells) {
            cells.emplace_back(table.Text(cell));
        }
    }
    return cells;
}

TEST(CsvTable, MistakesArePlacedAtTheirLineAndFieldWhateverTheLineEnds) {
    struct Case {
        const char* name;
        std::string text;
        std::string message;
    } cases[] = {
        {"too many fields", "a,b\n1,2,3\n",
         "t.csv: line 2, column 3: the row has 3 fields, the header row 2"},
        {"too few fields", "a,b\n1\n",
         "t.csv: line 2, column 2: the row has 1 fields, the header row 2"},
        {"after a blank CR LF line", "a,b\r\n\r\n1,2\r\n1,2,3\r\n",
         "t.csv: line 4, column 3: the row has 3 fields"},
        {"lone CR line ends", "a,b\r1,2\r1,2,3", "t.csv: line 3, column 3: the row has 3 fields"},
        {"blank lines of blanks", "a,b\n \t\n\n1\n",
         "t.csv: line 4, column 2: the row has 1 fields"},
        {"lone CR inside a quoted name", "\"a\rb\",c\n1,2\n1\n",
         "t.csv: line 4, column 2: the row has 1 fields"},
        {"CR LF inside a quoted name", "\"a\r\nb\",c\n1,2\n1\n",
         "t.csv: line 4, column 2: the row has 1 fields"},
        {"two LF inside a quoted cell", "a,b\n\"1\n\n\",2\n3\n",
         "t.csv: line 5, column 2: the row has 1 fields"},
        {"unterminated quote", "a\n\"1,2\n",
         "t.csv: line 2, column 1: unterminated or misplaced quote"},
        {"text after the closing quote", "a,b\n1,\"2\"x\n",
         "t.csv: line 2, column 2: unterminated or misplaced quote"},
        {"empty name", "a,,b\n", "t.csv: line 1, column 2: empty column name in the header row"},
        {"empty quoted name", "\"\",b\n", "t.csv: line 1, column 1: empty column name"},
        {"repeated name", "a,b,a\n", "t.csv: line 1, column 3: column \"a\" appears twice"},
        {"repeated after unquoting", "\"a\",a\n",
         "t.csv: line 1, column 2: column \"a\" appears twice"},
        {"nothing", "", "t.csv: line 1, column 1: empty table, expected a header row"},
        {"only blank lines", "\n \r\n\t\n", "t.csv: line 1, column 1: empty table"},
        {"only a byte-order mark", "\xEF\xBB\xBF", "t.csv: line 1, column 1: empty table"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Failure(c.text).substr(0, c.message.size()), c.message) << c.name;
    }
}

TEST(CsvTable, QuotedNamesLoseExactlyOneQuoteOfEachPair) {
    struct Case {
        std::string field;
        std::string name;
    } cases[] = {
        {"\"plain\"", "plain"}, {"\"a\"\"b\"", "a\"b"},   {"\"a\"\"\"\"b\"", "a\"\"b"},
        {"\"\"\"\"", "\""},     {"\"\"\"\"\"\"", "\"\""}, {"\"x\"\"\"", "x\""},
        {"\"\"\"x\"", "\"x"},   {"\" a,b \"", " a,b "},   {"\"line\nbreak\"", "line\nbreak"},
    };
    for (const Case& c : cases) {
        CTable table;
        const Velpo::CResult read =
            ReadTableText(c.field + ",z\n1,2\n", CTableFormat::Csv, "t.csv", table);
        ASSERT_TRUE(read.Succeeded()) << c.field << ": " << read.Message();
        ASSERT_EQ(table.columns.size(), 2u) << c.field;
        EXPECT_EQ(table.columns[0].name, c.name) << c.field;
        EXPECT_NE(table.Find(c.name), nullptr) << c.field;
        EXPECT_EQ(table.columns[1].name, "z") << c.field;
    }
}

TEST(CsvTable, CellsKeepTheirTextPlaceAndBlanksOnlyInsideQuotes) {
    CTable table;
    const Velpo::CResult read =
        ReadTableText("\xEF\xBB\xBF id , \"p x\"\t,age\n 1 ,\t\" 2.5 \" , \r\n\n3,4,5",
                      CTableFormat::Csv, "t.csv", table);
    ASSERT_TRUE(read.Succeeded()) << read.Message();
    ASSERT_EQ(table.rows, 2u);
    EXPECT_EQ(Cells(table, "id"), (std::vector<std::string>{"1", "3"}));
    EXPECT_EQ(Cells(table, "p x"), (std::vector<std::string>{" 2.5 ", "4"}));
    EXPECT_EQ(Cells(table, "age"), (std::vector<std::string>{"", "5"}));
    const CTableColumn* age = table.Find("age");
    ASSERT_NE(age, nullptr);
    EXPECT_FALSE(age->constant);
    EXPECT_EQ(age->cells[1].line, 4u);
    EXPECT_EQ(age->cells[1].column, 3u);
    EXPECT_EQ(table.Find("Age"), nullptr);
    EXPECT_EQ(table.Find(" id "), nullptr);
}

TEST(CsvTable, ValuesAreCheckedAgainstTheirTypeAtTheirPlace) {
    CTable table;
    ASSERT_TRUE(ReadTableText("f,i\n1.5,7\n,x\n1e50,2147483648\n-1e-50,-2147483649\nNaN,1.0\n",
                              CTableFormat::Csv, "t.csv", table)
                    .Succeeded());
    struct Case {
        size_t rows;  // the table cut to its first rows
        std::string floatFailure;
        std::string intFailure;
    } cases[] = {
        {1, "", ""},
        {2, "t.csv: line 3, column 1 (\"f\"): \"\" is not a number",
         "t.csv: line 3, column 2 (\"i\"): \"x\" is not a 32-bit integer"},
    };
    for (const Case& c : cases) {
        CTable cut = table;
        cut.rows = c.rows;
        std::vector<float> floats;
        std::vector<int32_t> ints;
        const Velpo::CResult f = cut.Values(*cut.Find("f"), floats);
        const Velpo::CResult i = cut.Values(*cut.Find("i"), ints);
        EXPECT_EQ(f.Succeeded() ? "" : f.Message(), c.floatFailure);
        EXPECT_EQ(i.Succeeded() ? "" : i.Message(), c.intFailure);
        if (f.Succeeded()) {
            EXPECT_EQ(floats, std::vector<float>{1.5f});
            EXPECT_EQ(ints, std::vector<int32_t>{7});
        }
    }
    // Each later row, alone, fails on its own cell.
    struct Cell {
        size_t row;
        std::string floatFailure;
        std::string intFailure;
    } cells[] = {
        {2, "t.csv: line 4, column 1 (\"f\"): \"1e50\" is out of float range",
         "t.csv: line 4, column 2 (\"i\"): \"2147483648\" is out of int32 range"},
        {3, "t.csv: line 5, column 1 (\"f\"): \"-1e-50\" is out of float range",
         "t.csv: line 5, column 2 (\"i\"): \"-2147483649\" is out of int32 range"},
        {4, "", "t.csv: line 6, column 2 (\"i\"): \"1.0\" is not a 32-bit integer"},
    };
    for (const Cell& c : cells) {
        CTable one = table;
        one.rows = 1;
        for (CTableColumn& column : one.columns) {
            column.cells = {column.cells[c.row]};
        }
        std::vector<float> floats;
        std::vector<int32_t> ints;
        const Velpo::CResult f = one.Values(*one.Find("f"), floats);
        const Velpo::CResult i = one.Values(*one.Find("i"), ints);
        EXPECT_EQ(f.Succeeded() ? "" : f.Message(), c.floatFailure);
        EXPECT_EQ(i.Succeeded() ? "" : i.Message(), c.intFailure);
    }
}

TEST(CsvTable, PlacesNameTheFileLineAndColumn) {
    EXPECT_EQ(TablePlace("t.csv", 3, 2), "t.csv: line 3, column 2");
    EXPECT_EQ(TablePlace("t.csv", 3), "t.csv: line 3");
    EXPECT_EQ(TablePlace("t.csv", 3, 0), "t.csv: line 3");
}

}  // namespace
}  // namespace VelpoTools
