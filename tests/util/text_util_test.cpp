#include "util/text_util.h"

#include <gtest/gtest.h>

TEST(TextUtil, ParseLeadingIntStopsAtFirstNonDigit) {
    EXPECT_EQ(ParseLeadingInt(L"12abc"), 12);
    EXPECT_EQ(ParseLeadingInt(L"abc"), 0);
    EXPECT_EQ(ParseLeadingInt(L""), 0);
    EXPECT_EQ(ParseLeadingInt(L"-42"), -42);
    EXPECT_EQ(ParseLeadingInt(L"+7x"), 7);
    EXPECT_EQ(ParseLeadingInt(L" 5"), 0);
}

TEST(TextUtil, IndexOfTextIsExactAndCaseSensitive) {
    const wchar_t* const names[] = {L"PSTN", L"MAIN", L"MEETMGR"};
    EXPECT_EQ(IndexOfText(L"MAIN", names, 3), 1);
    EXPECT_EQ(IndexOfText(L"main", names, 3), 3);
    EXPECT_EQ(IndexOfText(L"", names, 3), 3);
}

TEST(TextUtil, MainPartOfTakesTheTextBetweenDashes) {
    EXPECT_EQ(MainPartOf(L"abc;def"), L"abc");
    EXPECT_EQ(MainPartOf(L"x-main-y;z"), L"main");
    EXPECT_EQ(MainPartOf(L"x-tail"), L"tail");
    EXPECT_EQ(MainPartOf(L""), L"");
}

TEST(TextUtil, VersionNumbersCompareMajorFirst) {
    EXPECT_EQ(ParseVersionNumber(L"1.2.3.4"), 0x01020304u);
    EXPECT_EQ(ParseVersionNumber(L"2.5.0"), 0x02050000u);
    EXPECT_EQ(ParseVersionNumber(L"0.0.0"), 0u);
    EXPECT_EQ(ParseVersionNumber(L"garbage"), 0u);
    EXPECT_EQ(ParseVersionNumber(L"3.x.4"), 0x03000000u);
    EXPECT_EQ(ParseVersionNumber(L"1.300.0.0"), 0x012C0000u);  // each field kept to 8 bits
    EXPECT_GT(ParseVersionNumber(L"10.0.0.0"), ParseVersionNumber(L"9.255.255.255"));
}

TEST(TextUtil, CaseFoldingCoversLatinOneAndCyrillicOnly) {
    EXPECT_TRUE(EqualsIgnoringCase(L"UpdateInfo.INI", L"updateinfo.ini"));
    EXPECT_TRUE(EqualsIgnoringCase(L"\u00E9t\u00E9", L"\u00C9T\u00C9"));
    EXPECT_TRUE(EqualsIgnoringCase(L"\u0444\u0430\u0439\u043B", L"\u0424\u0410\u0419\u041B"));
    EXPECT_FALSE(EqualsIgnoringCase(L"\u00F7", L"\u00D7"));  // division and multiplication signs
    EXPECT_FALSE(EqualsIgnoringCase(L"ab", L"abc"));
    EXPECT_EQ(FoldCaseText(L"a\\b.dll"), L"A\\B.DLL");
}
