#include "launcher/web_home.h"

#include <gtest/gtest.h>

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
