// Names read from files, shown on a terminal: no byte of them may act as a
// control sequence, and what is already safe stays as it is.
#include <gtest/gtest.h>

#include <string>

#include "tools/common/Text.h"

namespace VelpoTools {
namespace {

TEST(TextEscaped, ControlBytesBecomeEscapesAndEverythingElseStays) {
    using namespace std::string_literals;
    struct Case {
        std::string text;
        std::string escaped;
    } cases[] = {
        {"", ""},
        {"age", "age"},
        {"a\nb", "a\\nb"},
        {"a\tb\rc", "a\\tb\\rc"},
        {"\x1b[31mred", "\\x1b[31mred"},
        {"\x7f", "\\x7f"},
        {"\x01\x1f", "\\x01\\x1f"},
        {"nul\0here"s, "nul\\x00here"},
        {"\x20~", " ~"},
        {"C:\\cache\\fluid", "C:\\cache\\fluid"},
        {"caf\xc3\xa9", "caf\xc3\xa9"},
        {"\x80\xff", "\x80\xff"},
        {"\"quoted\"", "\"quoted\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Escaped(c.text), c.escaped) << c.escaped;
        // Escaping what is escaped changes nothing: no control byte is left.
        EXPECT_EQ(Escaped(c.escaped), c.escaped);
    }
}

TEST(TextEscaped, NoByteBelowSpaceOrDelSurvivesAndTheRestDo) {
    for (int byte = 0; byte < 256; ++byte) {
        const std::string text(1, static_cast<char>(byte));
        const std::string escaped = Escaped(text);
        const bool control = byte < 0x20 || byte == 0x7f;
        if (control) {
            EXPECT_EQ(escaped.front(), '\\') << byte;
            EXPECT_GE(escaped.size(), 2u) << byte;
            for (const char c : escaped) {
                const unsigned char u = static_cast<unsigned char>(c);
                EXPECT_TRUE(u >= 0x20 && u < 0x7f) << byte;
            }
        } else {
            EXPECT_EQ(escaped, text) << byte;
        }
    }
}

TEST(TextQuoted, QuotesTheEscapedText) {
    EXPECT_EQ(Quoted("age"), "\"age\"");
    EXPECT_EQ(Quoted(""), "\"\"");
    EXPECT_EQ(Quoted("x\ty\x7f"), "\"x\\ty\\x7f\"");
}

}  // namespace
}  // namespace VelpoTools
