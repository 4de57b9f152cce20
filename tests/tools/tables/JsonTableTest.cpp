// JSON particle tables as scripts write them: lists, vectors and constants
// become the columns they stand for, and every mistake is placed.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tools/tables/Tables.h"

namespace VelpoTools {
namespace {

std::string Failure(const std::string& text) {
    CTable table;
    const Velpo::CResult read = ReadTableText(text, CTableFormat::Json, "t.json", table);
    return read.Succeeded() ? "read" : read.Message();
}

std::vector<std::string> Names(const CTable& table) {
    std::vector<std::string> names;
    for (const CTableColumn& column : table.columns) {
        names.push_back(column.name + (column.constant ? "=" : ""));
    }
    return names;
}

TEST(JsonTable, ListsVectorsAndConstantsBecomeTheirColumns) {
    CTable table;
    const Velpo::CResult read = ReadTableText(
        R"({"particleCount": 2, "attributes": {
              "id": [1, 2], "position": [[0.5, 2, -1.25], [3, 4, 5]],
              "drag": 0.25, "wind": [1, 0, -1], "heat": [NaN, -Infinity]}})",
        CTableFormat::Json, "t.json", table);
    ASSERT_TRUE(read.Succeeded()) << read.Message();
    EXPECT_EQ(table.rows, 2u);
    EXPECT_EQ(Names(table),
              (std::vector<std::string>{"id", "position.x", "position.y", "position.z",
                                        "drag=", "wind.x=", "wind.y=", "wind.z=", "heat"}));
    std::vector<float> values;
    ASSERT_TRUE(table.Values(*table.Find("position.z"), values).Succeeded());
    EXPECT_EQ(values, (std::vector<float>{-1.25f, 5.0f}));
    ASSERT_TRUE(table.Values(*table.Find("wind.z"), values).Succeeded());
    EXPECT_EQ(values, std::vector<float>{-1.0f});
    ASSERT_TRUE(table.Values(*table.Find("heat"), values).Succeeded());
    ASSERT_EQ(values.size(), 2u);
    EXPECT_TRUE(std::isnan(values[0]));
    EXPECT_EQ(values[1], -INFINITY);
    // Cells are placed where they stand in the text.
    const CTableCell& y = table.Find("position.y")->cells[1];
    EXPECT_EQ(y.line, 2u);
    EXPECT_EQ(table.Text(y), "4");
}

TEST(JsonTable, ThreeNumbersForThreeParticlesAreOfferedBothWays) {
    CTable table;
    ASSERT_TRUE(ReadTableText(R"({"particleCount": 3, "attributes": {"a": [1, 2, 3]}})",
                              CTableFormat::Json, "t.json", table)
                    .Succeeded());
    EXPECT_EQ(Names(table), (std::vector<std::string>{"a.x=", "a.y=", "a.z=", "a"}));
    std::vector<int32_t> values;
    ASSERT_TRUE(table.Values(*table.Find("a"), values).Succeeded());
    EXPECT_EQ(values, (std::vector<int32_t>{1, 2, 3}));
    ASSERT_TRUE(table.Values(*table.Find("a.y"), values).Succeeded());
    EXPECT_EQ(values, std::vector<int32_t>{2});

    // With another count they are one vector for every particle.
    ASSERT_TRUE(ReadTableText(R"({"particleCount": 5, "attributes": {"a": [1, 2, 3]}})",
                              CTableFormat::Json, "t.json", table)
                    .Succeeded());
    EXPECT_EQ(Names(table), (std::vector<std::string>{"a.x=", "a.y=", "a.z="}));
}

TEST(JsonTable, MistakesAreNamedAndPlaced) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {R"({"attributes": {}})", "no \"particleCount\""},
        {R"({"particleCount": -1, "attributes": {}})",
         "t.json: line 1, column 19: \"particleCount\" must be a count of particles, not -1"},
        {R"({"particleCount": 2.5, "attributes": {}})", "must be a count of particles, not 2.5"},
        {R"({"particleCount": 2147483648, "attributes": {}})",
         "must be a count of particles, not 2147483648"},
        {R"({"particleCount": NaN, "attributes": {}})", "must be a count of particles, not NaN"},
        {R"({"particleCount": "2", "attributes": {}})", "a string where the table expects"},
        {R"({"particleCount": 1, "colour": {}})", "unknown key \"colour\""},
        {R"({"particleCount": 2, "attributes": {"a": [1]}})",
         "attribute \"a\" has 1 values, \"particleCount\" says 2"},
        {R"({"particleCount": 2, "attributes": {"a": []}})",
         "t.json: line 1, column 1: attribute \"a\" has 0 values"},
        {R"({"particleCount": 1, "attributes": {"v": [[1, 2]]}})",
         "a vector of attribute \"v\" has 2 components, not 3"},
        {R"({"particleCount": 1, "attributes": {"v": [[1, 2, 3, 4]]}})",
         "a vector of attribute \"v\" has 4 components, not 3"},
        {R"({"particleCount": 2, "attributes": {"v": [[1, 2, 3], 4]}})",
         "attribute \"v\" mixes numbers and vectors"},
        {R"({"particleCount": 2, "attributes": {"v": [4, [1, 2, 3]]}})",
         "attribute \"v\" mixes numbers and vectors"},
        {R"({"particleCount": 1, "attributes": {"v": [[[1]]]}})",
         "an array where the table expects"},
        {R"({"particleCount": 1, "attributes": {"a": null}})", "null where the table expects"},
        {R"({"particleCount": 1, "attributes": {"a": true}})", "true or false where the table"},
        {R"({"particleCount": 1, "attributes": {"a": "1"}})", "a string where the table expects"},
        {R"({"particleCount": 1, "attributes": {"a": {"b": 1}}})", "an object where the table"},
        {R"({"particleCount": 1, "attributes": {"a": 1, "a": 2}})",
         "attribute \"a\" appears twice"},
        {R"({"particleCount": 1, "attributes": {"v": [[1, 2, 3]], "v.y": [0]}})",
         "attribute \"v.y\" appears twice (once from \"v.y\")"},
        {R"([1, 2])",
         "t.json: line 1, column 1: an array where the table expects an object "
         "{\"particleCount\", \"attributes\"}"},
        {R"({"particleCount": 1, "attributes": {"a": [1]}, "particleCount": 2})",
         "\"particleCount\" appears twice"},
        {R"({"particleCount": 1, "attributes": {"a": [1]}, "attributes": {"b": [2]}})",
         "\"attributes\" appears twice"},
        {"{\"particleCount\": 1,\n \"attributes\": {\"a\": [1,]}}", "t.json: line 2, column"},
        {"", "t.json: line 1, column 1"},
    };
    for (const Case& c : cases) {
        const std::string failure = Failure(c.text);
        EXPECT_EQ(failure.rfind("t.json: line ", 0), 0u) << c.text << ": " << failure;
        EXPECT_NE(failure.find(c.message), std::string::npos) << c.text << ": " << failure;
    }
}

}  // namespace
}  // namespace VelpoTools
