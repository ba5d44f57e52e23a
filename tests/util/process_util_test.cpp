#include "util/process_util.h"

#include <gtest/gtest.h>

TEST(ProcessUtil, WaitModes) {
    std::wstring name = L"stale";
    EXPECT_EQ(ParseWaitMode(nullptr, name), WaitMode::kExit);
    EXPECT_EQ(name, L"");
    EXPECT_EQ(ParseWaitMode(L"", name), WaitMode::kExit);
    EXPECT_EQ(ParseWaitMode(L"WAITEXIT", name), WaitMode::kExit);
    EXPECT_EQ(ParseWaitMode(L"WAITIDLE", name), WaitMode::kIdle);
    EXPECT_EQ(ParseWaitMode(L"WAIT_MeetReady", name), WaitMode::kEvent);
    EXPECT_EQ(name, L"MeetReady");
    EXPECT_EQ(ParseWaitMode(L"waitexit", name), WaitMode::kNone);
    EXPECT_EQ(ParseWaitMode(L"NOWAIT", name), WaitMode::kNone);
    EXPECT_EQ(name, L"");
}

TEST(ProcessUtil, SplitQuotedCommandLine) {
    std::wstring file;
    std::wstring parameters;
    ASSERT_TRUE(SplitCommandLine(L"\"C:\\Program Files\\a.exe\"   -x \"y z\"", file, parameters));
    EXPECT_EQ(file, L"C:\\Program Files\\a.exe");
    EXPECT_EQ(parameters, L"-x \"y z\"");
    ASSERT_TRUE(SplitCommandLine(L"\"C:\\a.exe\"", file, parameters));
    EXPECT_EQ(file, L"C:\\a.exe");
    EXPECT_EQ(parameters, L"");
}

TEST(ProcessUtil, SplitUnquotedCommandLineAtTheFirstSpace) {
    std::wstring file;
    std::wstring parameters;
    ASSERT_TRUE(SplitCommandLine(L"C:\\a.exe \t-x 1", file, parameters));
    EXPECT_EQ(file, L"C:\\a.exe");
    EXPECT_EQ(parameters, L"-x 1");
    ASSERT_TRUE(SplitCommandLine(L"C:\\a.exe", file, parameters));
    EXPECT_EQ(file, L"C:\\a.exe");
    EXPECT_EQ(parameters, L"");
}

TEST(ProcessUtil, SplitSearchesTheSpaceFromTheSecondCharacter) {
    std::wstring file;
    std::wstring parameters;
    ASSERT_TRUE(SplitCommandLine(L" a.exe b", file, parameters));
    EXPECT_EQ(file, L" a.exe");
    EXPECT_EQ(parameters, L"b");
}

TEST(ProcessUtil, SplitFailsOnAnUnclosedQuote) {
    std::wstring file = L"stale";
    std::wstring parameters = L"stale";
    EXPECT_FALSE(SplitCommandLine(L"\"C:\\a b.exe -x", file, parameters));
    EXPECT_EQ(file, L"");
    EXPECT_EQ(parameters, L"");
}
