// The host's wide string: its UTF-8 narrow form and the two wchar_t widths.
#include <gtest/gtest.h>

#include <string>

#include "host/sdk/CString.h"

using XSI::CString;

namespace {

constexpr bool kWide16 = sizeof(wchar_t) == 2;

struct Utf8Case {
    const char* utf8;
    uint32_t characters16;  // wide characters with a 16-bit wchar_t
    uint32_t characters32;  // and with a 32-bit one
};

TEST(CString, Utf8RoundTripsThroughTheWideForm) {
    const Utf8Case cases[] = {
        {"", 0, 0},
        {"plain", 5, 5},
        {"caf\xC3\xA9", 4, 4},         // é, 2 bytes
        {"\xE2\x82\xAC", 1, 1},        // €, 3 bytes
        {"\xF0\x9F\x98\x80", 2, 1},    // U+1F600, a surrogate pair in 16 bits
        {"a\xF4\x8F\xBF\xBFz", 4, 3},  // U+10FFFF, the last code point
        {"\xEF\xBF\xBD", 1, 1},        // U+FFFD itself
    };
    for (const Utf8Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        const CString text = CString::FromUtf8(c.utf8);
        EXPECT_EQ(text.Length(), kWide16 ? c.characters16 : c.characters32);
        EXPECT_EQ(text.ToUtf8(), c.utf8);
        EXPECT_STREQ(text.GetAsciiString(), c.utf8);
        CString again;
        again.PutAsciiString(text.GetAsciiString());
        EXPECT_EQ(again, text);
    }
}

TEST(CString, WideTextGetsItsUtf8Form) {
    std::wstring wide = L"x";
    if (kWide16) {
        wide += static_cast<wchar_t>(0xD83D);
        wide += static_cast<wchar_t>(0xDE00);
    } else {
        wide += static_cast<wchar_t>(0x1F600);
    }
    const CString text(wide);
    EXPECT_STREQ(text.GetAsciiString(), "x\xF0\x9F\x98\x80");
    EXPECT_EQ(text.GetWideString(), wide);
}

TEST(CString, UnpairedSurrogateHasAQuestionMarkAsNarrowForm) {
    const wchar_t lone[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};
    EXPECT_STREQ(CString(lone).GetAsciiString(), "a?b");
    const wchar_t reversed[] = {static_cast<wchar_t>(0xDE00), static_cast<wchar_t>(0xD83D), 0};
    EXPECT_STREQ(CString(reversed).GetAsciiString(), "??");
}

TEST(CString, BytesThatAreNotUtf8ReadAsLatin1) {
    struct Case {
        const char* bytes;
        const wchar_t* wide;
    };
    const Case cases[] = {
        {"caf\xE9", L"caf\u00E9"},                          // lone Latin-1 byte
        {"\xC3", L"\u00C3"},                                // truncated sequence
        {"\xC0\xAF", L"\u00C0\u00AF"},                      // overlong form of '/'
        {"\xED\xA0\x80", L"\u00ED\u00A0\u0080"},            // encoded surrogate
        {"\xF5\x80\x80\x80", L"\u00F5\u0080\u0080\u0080"},  // beyond U+10FFFF
    };
    for (const Case& c : cases) {
        CString text;
        text.PutAsciiString(c.bytes);
        EXPECT_EQ(text, CString(c.wide)) << c.bytes;
    }
}

TEST(CString, ExplicitByteCountKeepsOrCutsText) {
    CString text;
    text.PutAsciiString("abc\0def", 7);
    EXPECT_EQ(text.Length(), 7u);
    text.PutAsciiString("abcdef", 2);
    EXPECT_EQ(text.ToUtf8(), "ab");
    text.PutAsciiString(nullptr);
    EXPECT_TRUE(text.IsEmpty());
}

TEST(CString, CompareAndConcatenate) {
    const CString a = CString::FromUtf8("d\xC3\xA9j\xC3\xA0");
    const CString b(L"/x");
    EXPECT_EQ(a, CString(L"d\u00E9j\u00E0"));
    EXPECT_NE(a, CString(L"deja"));
    const CString joined = a + b;
    EXPECT_EQ(joined.ToUtf8(), "d\xC3\xA9j\xC3\xA0/x");
    EXPECT_EQ(joined.Length(), 6u);
    CString grown = b;
    grown += a;
    EXPECT_EQ(grown.ToUtf8(), "/xd\xC3\xA9j\xC3\xA0");
}

}  // namespace
