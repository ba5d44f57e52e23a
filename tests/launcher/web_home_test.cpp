#include "launcher/web_home.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

TEST(WebHome, BuildsTheClientEntranceUrl) {
    EXPECT_EQ(WebHomeUrlOf(L"meeting.example.com"), L"http://meeting.example.com/ClientEntrance");
    EXPECT_EQ(WebHomeUrlOf(L"meeting.example.com/"), L"http://meeting.example.com/ClientEntrance");
    EXPECT_EQ(WebHomeUrlOf(L"meeting.example.com///"), L"http://meeting.example.com/ClientEntrance");
    EXPECT_EQ(WebHomeUrlOf(L"http://meeting.example.com/"), L"http://meeting.example.com/ClientEntrance");
}

TEST(WebHome, OnlyLowerCaseHttpIsKept) {
    EXPECT_EQ(WebHomeUrlOf(L"HTTP://a.example.com"), L"http://HTTP://a.example.com/ClientEntrance");
    EXPECT_EQ(WebHomeUrlOf(L"https://a.example.com"), L"http://https://a.example.com/ClientEntrance");
    EXPECT_EQ(WebHomeUrlOf(L""), L"http:///ClientEntrance");
}

namespace {

// A shell whose answers are scripted, recording what it was asked to open.
class ScriptedShellOpener : public CShellOpener {
public:
    std::vector<long long> answers;
    std::vector<std::pair<std::wstring, std::wstring>> opened;

    long long Open(const std::wstring& file, const std::wstring& parameters) override {
        opened.emplace_back(file, parameters);
        long long answer = answers.empty() ? 2 : answers.front();
        if (!answers.empty()) answers.erase(answers.begin());
        return answer;
    }
};

}  // namespace

TEST(OpenWebPage, OpensTheTargetDirectly) {
    ScriptedShellOpener shell;
    shell.answers = {42};
    EXPECT_EQ(OpenWebPageWith(shell, L"http://a.example.com/ClientEntrance"), 0);
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(shell.opened[0].first, L"http://a.example.com/ClientEntrance");
    EXPECT_EQ(shell.opened[0].second, L"");
}

TEST(OpenWebPage, FallsBackToInternetExplorerWithTheTarget) {
    ScriptedShellOpener shell;
    shell.answers = {31, 33};
    EXPECT_EQ(OpenWebPageWith(shell, L"http://a.example.com/x"), 0);
    ASSERT_EQ(shell.opened.size(), 2u);
    EXPECT_EQ(shell.opened[1].first, L"iexplore.exe");
    EXPECT_EQ(shell.opened[1].second, L"http://a.example.com/x");
}

TEST(OpenWebPage, BothFailingGivesMinusOne) {
    ScriptedShellOpener shell;
    shell.answers = {2, 32};
    EXPECT_EQ(OpenWebPageWith(shell, L"x"), -1);
    EXPECT_EQ(shell.opened.size(), 2u);
}
