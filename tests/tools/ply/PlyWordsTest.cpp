// The streamed reader of ASCII PLY words: the same words as the whole-file
// cursor, whatever piece boundary they straddle, and a bound on their size.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/FileContents.h"
#include "tests/support/ScratchFolder.h"
#include "tools/ply/PlyCursor.h"
#include "tools/ply/PlyWords.h"

namespace VelpoTools {
namespace {

using VelpoTestSupport::CScratchFolder;

std::vector<std::string> CursorWords(const std::string& text, size_t at) {
    std::vector<std::string> words;
    CPlyCursor cursor(text, at);
    for (std::string_view word = cursor.Word(); !word.empty(); word = cursor.Word()) {
        words.emplace_back(word);
    }
    return words;
}

TEST(PlyWordReader, GivesTheCursorsWordsAcrossPieceBoundaries) {
    // Words of growing length, so that some straddle every piece boundary,
    // separated by each kind of blank.
    std::string text = "skip me\n";
    const size_t start = text.size();
    const char blanks[] = {' ', '\t', '\n', '\r', '\f', '\v'};
    for (size_t i = 0; text.size() < 3 * CPlyWordReader::PieceBytes + 1000; ++i) {
        text += std::string(1 + i % 37, static_cast<char>('0' + i % 10));
        text += blanks[i % 6];
        if (i % 101 == 0) {
            text += "\r\n  ";
        }
    }
    text += "last";  // no blank after the last word
    CScratchFolder scratch;
    ASSERT_TRUE(VelpoTestSupport::WriteFile(scratch.Path() / "w.txt", text));
    std::FILE* file = std::fopen((scratch / "w.txt").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    CPlyWordReader reader(file);
    ASSERT_TRUE(reader.Start(static_cast<int64_t>(start)));
    const std::vector<std::string> expected = CursorWords(text, start);
    size_t taken = 0;
    std::string_view word;
    while (true) {
        ASSERT_TRUE(reader.Next(word)) << taken;
        if (word.empty()) {
            break;
        }
        ASSERT_LT(taken, expected.size());
        ASSERT_EQ(word, expected[taken]) << taken;
        ++taken;
        // The position is just after the word taken.
        ASSERT_EQ(text.substr(static_cast<size_t>(reader.Position()) - word.size(), word.size()),
                  word);
    }
    EXPECT_EQ(taken, expected.size());
    EXPECT_EQ(reader.Position(), static_cast<int64_t>(text.size()));
    // At the end it stays at the end.
    ASSERT_TRUE(reader.Next(word));
    EXPECT_TRUE(word.empty());

    // Started again elsewhere, it reads from there.
    ASSERT_TRUE(reader.Start(0));
    ASSERT_TRUE(reader.Next(word));
    EXPECT_EQ(word, "skip");
    std::fclose(file);
}

TEST(PlyWordReader, AWordLongerThanAnyNumberIsRefused) {
    struct Case {
        size_t length;
        bool ok;
    } cases[] = {
        {CPlyWordReader::MaxWordBytes, true},
        {CPlyWordReader::PieceBytes + CPlyWordReader::MaxWordBytes + 10, false},
    };
    for (const Case& c : cases) {
        CScratchFolder scratch;
        const std::string text = "1 " + std::string(c.length, '7') + " 2\n";
        ASSERT_TRUE(VelpoTestSupport::WriteFile(scratch.Path() / "w.txt", text));
        std::FILE* file = std::fopen((scratch / "w.txt").c_str(), "rb");
        ASSERT_NE(file, nullptr);
        CPlyWordReader reader(file);
        ASSERT_TRUE(reader.Start(0));
        std::string_view word;
        ASSERT_TRUE(reader.Next(word));
        EXPECT_EQ(word, "1");
        const bool read = reader.Next(word);
        EXPECT_EQ(read, c.ok) << c.length;
        if (read) {
            EXPECT_EQ(word.size(), c.length);
            ASSERT_TRUE(reader.Next(word));
            EXPECT_EQ(word, "2");
        }
        std::fclose(file);
    }
}

}  // namespace
}  // namespace VelpoTools
