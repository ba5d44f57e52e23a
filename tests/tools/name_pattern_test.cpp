#include "publish/name_pattern.h"

#include <gtest/gtest.h>

TEST(NamePattern, PatternWithoutSeparatorMatchesTheLastComponent) {
    EXPECT_TRUE(MatchesNamePattern(L"*.dll", L"a.dll"));
    EXPECT_TRUE(MatchesNamePattern(L"*.dll", L"bin\\plugins\\b.dll"));
    EXPECT_FALSE(MatchesNamePattern(L"*.dll", L"bin.dll\\readme.txt"));
}

TEST(NamePattern, PatternWithSeparatorMatchesTheWholeName) {
    EXPECT_TRUE(MatchesNamePattern(L"bin\\*.exe", L"bin\\a.exe"));
    EXPECT_TRUE(MatchesNamePattern(L"bin/*.exe", L"bin\\sub\\a.exe"));
    EXPECT_FALSE(MatchesNamePattern(L"bin\\*.exe", L"a.exe"));
    EXPECT_FALSE(MatchesNamePattern(L"bin\\*.exe", L"lib\\bin\\a.exe"));
}

TEST(NamePattern, LettersMatchIgnoringCase) {
    EXPECT_TRUE(MatchesNamePattern(L"*.DLL", L"Core.dll"));
    EXPECT_TRUE(MatchesNamePattern(L"\u00c4*", L"\u00e4rger.txt"));
}

TEST(NamePattern, QuestionMarkTakesExactlyOneCharacter) {
    EXPECT_TRUE(MatchesNamePattern(L"a?.txt", L"ab.txt"));
    EXPECT_FALSE(MatchesNamePattern(L"a?.txt", L"a.txt"));
    EXPECT_FALSE(MatchesNamePattern(L"a?.txt", L"abc.txt"));
}

TEST(NamePattern, StarBacktracksToLaterOccurrences) {
    EXPECT_TRUE(MatchesNamePattern(L"*a*b", L"xaxxab"));
    EXPECT_FALSE(MatchesNamePattern(L"*a*b", L"xaxxa"));
    EXPECT_TRUE(MatchesNamePattern(L"*", L""));
    EXPECT_FALSE(MatchesNamePattern(L"", L"a"));
}
