#include "vocabulary/message_table.h"

#include <gtest/gtest.h>

#include <string>

#include "captured_trace_log.h"

namespace {

// Selects a language with the trace log in a file of its own and returns
// what was logged meanwhile.
std::string LogOfSelecting(const std::wstring& language) {
    CapturedTraceLog log;
    EXPECT_TRUE(log.opened());
    SelectMessageLanguage(language);
    return log.Text();
}

}  // namespace

TEST(MessageTable, EnglishTexts) {
    EXPECT_EQ(LogOfSelecting(L"en_US"), "");
    EXPECT_STREQ(GetMessageText(2),
                 L"There is an unknown error! \n\nYou can re-download and install and try again, if you still have "
                 L"problems, please contact us.");
    EXPECT_STREQ(GetMessageText(7),
                 L"Close this window will cause the program not work correctly. \n\nYou sure you want to close?");
    EXPECT_STREQ(GetMessageText(22), L"The %s does not exist or has been ended!");
    EXPECT_EQ(GetMessageTextWith(22, L"Meeting"), L"The Meeting does not exist or has been ended!");
    EXPECT_EQ(GetMessageTextWith(7, L"x"), GetMessageText(7));
}

TEST(MessageTable, ChineseTextsAndUnknownNumbers) {
    SelectMessageLanguage(L"zh_CN");
    EXPECT_STREQ(GetMessageText(2), L"遇到未知错误！\n\n您可以重新下载安装后再重试，如果仍有问题请联系我们。");
    EXPECT_STREQ(GetMessageText(4), L"正在更新“%s”，请稍候...");
    EXPECT_STREQ(GetMessageText(7), L"关闭此窗口，将造成程序功能无法正常进行。\n\n您确认要关闭吗？");
    EXPECT_STREQ(GetMessageText(22), L"%s不存在或已经结束!");
    EXPECT_STREQ(GetMessageText(23), GetMessageText(2));
    EXPECT_STREQ(GetMessageText(-1), GetMessageText(2));
    SelectMessageLanguage(L"en_US");
}

TEST(MessageTable, EveryMessageHasBothTextsWithTheSamePlaceholder) {
    for (int number = 0; number < kMessageCount; ++number) {
        SelectMessageLanguage(L"en_US");
        const std::wstring english = GetMessageText(number);
        SelectMessageLanguage(L"zh_CN");
        const std::wstring chinese = GetMessageText(number);
        EXPECT_NE(english, chinese) << number;
        EXPECT_EQ(english.find(L"%s") == std::wstring::npos, chinese.find(L"%s") == std::wstring::npos) << number;
    }
    SelectMessageLanguage(L"en_US");
}

TEST(MessageTable, UnknownLanguageFallsBackToEnglishAndIsLogged) {
    SelectMessageLanguage(L"zh_CN");
    const std::string log = LogOfSelecting(L"zh_cn");
    EXPECT_STREQ(GetMessageText(5), L"Warning");
    const std::string line = "][ERR][DownLoad:";
    const std::string message = "] Err language type: zh_cn!\n";
    EXPECT_EQ(log.find(line), log.find(']')) << log;
    ASSERT_GE(log.size(), message.size());
    EXPECT_EQ(log.substr(log.size() - message.size()), message);
    EXPECT_EQ(log.find('\n'), log.size() - 1) << log;
}
