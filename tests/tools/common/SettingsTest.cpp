// The settings as a user writes them down: each mistake is named with the
// file, and nothing of a refused text is taken.
#include <gtest/gtest.h>

#include <string>

#include "tools/common/Settings.h"

namespace VelpoTools {
namespace {

TEST(SettingsParse, WellFormedParametersArriveInTheirPlaces) {
    CSettings settings;
    const Velpo::CResult parsed =
        ParseSettings("s.json",
                      R"({"Path": "cache/fluid", "Step": -250, "Float9": "age", "Long4": "state",
            "Vector0": "velocity", "Float0": ""})",
                      settings);
    ASSERT_TRUE(parsed.Succeeded()) << parsed.Message();
    EXPECT_EQ(settings.file, "s.json");
    EXPECT_EQ(settings.path, "cache/fluid");
    EXPECT_EQ(settings.step, -250);
    EXPECT_EQ(settings.floatNames[9], "age");
    EXPECT_EQ(settings.floatNames[0], "");
    EXPECT_EQ(settings.longNames[4], "state");
    EXPECT_EQ(settings.vectorNames[0], "velocity");

    CSettings defaults;
    ASSERT_TRUE(ParseSettings("d.json", R"({"Path": "p"})", defaults).Succeeded());
    EXPECT_EQ(defaults.step, 1);

    // id and position first, then the named parameters by kind and number.
    const std::vector<CNamedAttribute> attributes = NamedAttributes(settings);
    ASSERT_EQ(attributes.size(), 5u);
    EXPECT_EQ(attributes[0].name, "id");
    EXPECT_EQ(attributes[1].name, "position");
    EXPECT_EQ(attributes[2].name, "age");
    EXPECT_EQ(attributes[2].parameter, "Float9");
    EXPECT_EQ(attributes[2].Owner(), "\"Float9\"");
    EXPECT_EQ(attributes[3].parameter, "Long4");
    EXPECT_EQ(attributes[4].parameter, "Vector0");
    EXPECT_EQ(attributes[0].Owner(), "the Id port");
    EXPECT_EQ(attributes[1].Owner(), "the Position port");
}

TEST(SettingsParse, EachMistakeIsNamedAndNothingIsTaken) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"", "s.json: "},
        {"{\"Path\": \"p\",}", "s.json: "},
        {"[1, 2]", "expected a JSON object of settings parameters"},
        {"\"cache\"", "expected a JSON object of settings parameters"},
        {"{}", "\"Path\" is missing or empty"},
        {R"({"Path": ""})", "\"Path\" is missing or empty"},
        {R"({"Step": 1})", "\"Path\" is missing or empty"},
        {R"({"Path": 3})", "\"Path\" must be a string, not 3"},
        {R"({"Path": "p", "Float0": null})", "\"Float0\" must be a string, not null"},
        {R"({"Path": "p", "Step": 2.5})", "\"Step\" must be a 32-bit integer, not 2.5"},
        {R"({"Path": "p", "Step": "1"})", "\"Step\" must be a 32-bit integer"},
        {R"({"Path": "p", "Step": 2147483648})", "\"Step\" must be a 32-bit integer"},
        {R"({"Path": "p", "Step": -2147483649})", "\"Step\" must be a 32-bit integer"},
        {R"({"Path": "p", "Float10": "x"})", "unknown parameter \"Float10\""},
        {R"({"Path": "p", "Long5": "x"})", "unknown parameter \"Long5\""},
        {R"({"Path": "p", "path": "x"})", "unknown parameter \"path\""},
        {R"({"Path": "p", "Float01": "x"})", "unknown parameter \"Float01\""},
        {R"({"Path": "p", "Path": "q"})", "\"Path\" is given twice"},
        {R"({"Path": "p", "Float1": "a", "Float1": "a"})", "\"Float1\" is given twice"},
    };
    for (const Case& c : cases) {
        CSettings settings;
        settings.path = "kept";
        const Velpo::CResult parsed = ParseSettings("s.json", c.text, settings);
        ASSERT_FALSE(parsed.Succeeded()) << c.text;
        EXPECT_EQ(parsed.Message().rfind("s.json: ", 0), 0u) << parsed.Message();
        EXPECT_NE(parsed.Message().find(c.message), std::string::npos)
            << c.text << ": " << parsed.Message();
        EXPECT_EQ(settings.path, "kept") << c.text;
    }
    // A limit that fits is taken.
    CSettings extreme;
    ASSERT_TRUE(
        ParseSettings("s.json", R"({"Path": "p", "Step": -2147483648})", extreme).Succeeded());
    EXPECT_EQ(extreme.step, -2147483647 - 1);
}

TEST(SettingsWarnings, NamesThatTheNodesWriteTwiceAreFlaggedOncePerParameter) {
    CSettings settings;
    ASSERT_TRUE(ParseSettings("s.json",
                              R"({"Path": "p", "Float0": "age", "Float3": "age", "Long0": "id",
                                  "Vector2": "v"})",
                              settings)
                    .Succeeded());
    const std::vector<std::string> warnings = SettingsWarnings(settings);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[0].find("\"Float3\" names \"age\" like \"Float0\""), std::string::npos)
        << warnings[0];
    EXPECT_NE(warnings[1].find("\"Long0\" names \"id\" like the Id port"), std::string::npos)
        << warnings[1];
}

}  // namespace
}  // namespace VelpoTools
