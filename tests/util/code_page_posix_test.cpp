// The native build's ANSI code page is UTF-8: bytes that are no UTF-8 become
// U+FFFD, one for each byte that starts no valid sequence.
#include "util/code_page.h"

#include <gtest/gtest.h>

#include <string>

TEST(CodePagePosix, OverlongFormsAreInvalid) {
    // Two-, three- and four-byte forms of '/', NUL, '=' and '\n'.
    EXPECT_EQ(AnsiToWide("\xC0\xAF"), L"\uFFFD\uFFFD");
    EXPECT_EQ(AnsiToWide("\xC0\x80"), L"\uFFFD\uFFFD");
    EXPECT_EQ(AnsiToWide("\xE0\x80\xBD"), L"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(AnsiToWide("\xF0\x80\x80\x8A"), L"\uFFFD\uFFFD\uFFFD\uFFFD");
    // The same characters around them stay.
    EXPECT_EQ(AnsiToWide("a\xC1\x81z"), L"a\uFFFD\uFFFDz");
}

TEST(CodePagePosix, SurrogatesAndValuesPastUnicodeAreInvalid) {
    EXPECT_EQ(AnsiToWide("\xED\xA0\x80"), L"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(AnsiToWide("\xED\xBF\xBF"), L"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(AnsiToWide("\xF4\x90\x80\x80"), L"\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(AnsiToWide("\xF7\xBF\xBF\xBF"), L"\uFFFD\uFFFD\uFFFD\uFFFD");
}

TEST(CodePagePosix, ShortestFormsAtTheEdgesAreValid) {
    EXPECT_EQ(AnsiToWide("\x7F\xC2\x80\xDF\xBF"), std::wstring(L"\x7F\u0080\u07FF"));
    EXPECT_EQ(AnsiToWide("\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF"), L"\u0800\uD7FF\uE000\uFFFF");
    EXPECT_EQ(AnsiToWide("\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"), std::wstring(L"\U00010000\U0010FFFF"));
}
