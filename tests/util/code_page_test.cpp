#include "util/code_page.h"

#include <gtest/gtest.h>

TEST(CodePage, AsciiRoundTrips) {
    const std::wstring text = L"-MEETTYPE=MAIN\n-WEBSVR=meet.example.com";
    EXPECT_EQ(AnsiToWide(WideToAnsi(text)), text);
    EXPECT_EQ(WideToAnsi(text), "-MEETTYPE=MAIN\n-WEBSVR=meet.example.com");
}

TEST(CodePage, Utf8HoldsEveryCharacter) {
    const std::wstring text = L"\u4F1A\u8BAE caf\u00E9";
    std::string utf8 = WideToUtf8(text);
    EXPECT_EQ(utf8, "\xE4\xBC\x9A\xE8\xAE\xAE caf\xC3\xA9");
    EXPECT_EQ(Utf8ToWide(utf8), text);
}

TEST(CodePage, EmptyInputsGiveEmptyOutputs) {
    std::string out = "x";
    EXPECT_TRUE(Utf8ToAnsi("", 0, out));
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(WideToAnsi(L"").empty());
    EXPECT_TRUE(AnsiToWide("").empty());
}

TEST(CodePage, AnsiAndUtf8AgreeOnAscii) {
    std::string out;
    ASSERT_TRUE(AnsiToUtf8("abc=1", 5, out));
    EXPECT_EQ(out, "abc=1");
    ASSERT_TRUE(Utf8ToAnsi("abc=1", 5, out));
    EXPECT_EQ(out, "abc=1");
}
