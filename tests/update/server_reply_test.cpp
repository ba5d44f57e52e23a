#include <gtest/gtest.h>

#include <string>

#include "update/server_reply.h"
#include "util/code_page.h"
#include "vocabulary/command_string.h"

TEST(MeetingReply, ErrorFormWithNumberAndMessage) {
    int number = -1;
    std::wstring message;
    ASSERT_TRUE(ParseMeetingError(L"erro:2 meeting over", number, message));
    EXPECT_EQ(number, 2);
    EXPECT_EQ(message, L"meeting over");

    ASSERT_TRUE(ParseMeetingError(L"ERRO:5 x", number, message));
    EXPECT_EQ(number, 5);
    EXPECT_EQ(message, L"x");

    // Only the leading digits count.
    ASSERT_TRUE(ParseMeetingError(L"Erro:12ab rest of it", number, message));
    EXPECT_EQ(number, 12);
    EXPECT_EQ(message, L"rest of it");
}

TEST(MeetingReply, ErrorFormWithoutNumber) {
    int number = -1;
    std::wstring message;
    ASSERT_TRUE(ParseMeetingError(L"erro:meeting over", number, message));
    EXPECT_EQ(number, 0);
    EXPECT_EQ(message, L"meeting over");

    // A space right after the colon: no number, the message keeps the space.
    ASSERT_TRUE(ParseMeetingError(L"erro: 5 x", number, message));
    EXPECT_EQ(number, 0);
    EXPECT_EQ(message, L" 5 x");

    // Digits without a space after them are the message.
    ASSERT_TRUE(ParseMeetingError(L"erro:2", number, message));
    EXPECT_EQ(number, 0);
    EXPECT_EQ(message, L"2");

    ASSERT_TRUE(ParseMeetingError(L"erro:", number, message));
    EXPECT_EQ(number, 0);
    EXPECT_EQ(message, L"");
}

TEST(MeetingReply, OtherRepliesAreNotErrors) {
    int number = 7;
    std::wstring message = L"kept";
    EXPECT_FALSE(ParseMeetingError(L"err:2 x", number, message));
    EXPECT_FALSE(ParseMeetingError(L" erro:2 x", number, message));
    EXPECT_FALSE(ParseMeetingError(L"", number, message));
    EXPECT_FALSE(ParseMeetingError(EncodeCmdLine(L"qkmt:", L"-DOMAIN=9\n"), number, message));
    EXPECT_EQ(number, 7);
    EXPECT_EQ(message, L"kept");
}

TEST(MeetingReply, DomainOfCommandString) {
    EXPECT_EQ(MeetingReplyDomain(EncodeCmdLine(L"qkmtx:", L"-MEET=1\n-DOMAIN=d42\n")), L"d42");
    EXPECT_EQ(MeetingReplyDomain(EncodeCmdLine(L"QKMT:", L"-DOMAIN=7")), L"7");
    // Decodes, but names no domain.
    EXPECT_EQ(MeetingReplyDomain(EncodeCmdLine(L"qkmt:", L"-MEET=1\n")), L"");
    // Does not decode.
    EXPECT_EQ(MeetingReplyDomain(L"qkmt:not base64!"), L"");
    EXPECT_EQ(MeetingReplyDomain(L"<html>busy</html>"), L"");
    EXPECT_EQ(MeetingReplyDomain(L""), L"");
}

TEST(VersionReply, LinesSplitAtTheirFirstEquals) {
    CmdParamDeal values;
    ParseVersionReply(L"-SPVER=pc-4.2.1.3\n-UPURL=a;b\n-X=1=2\n", values);
    std::wstring value;
    ASSERT_TRUE(values.Get(L"-SPVER", value));
    EXPECT_EQ(value, L"pc-4.2.1.3");
    ASSERT_TRUE(values.Get(L"-UPURL", value));
    EXPECT_EQ(value, L"a;b");
    ASSERT_TRUE(values.Get(L"-X", value));
    EXPECT_EQ(value, L"1=2");
    EXPECT_FALSE(values.Has(L"-ERR"));
}

TEST(VersionReply, KeysAreSpelledOnlyByTheirOwnBytes) {
    // Longer byte forms of 'S', '-' and '=' than UTF-8 allows: in no code
    // page do they read as those characters.
    CmdParamDeal values;
    ParseVersionReply(AnsiToWide("-\xC1\x93PVER=pc-9.9.9.9\n\xC0\xAD" "ERR\xC0\xBDx\n-UPURL=a;b\n"), values);
    EXPECT_FALSE(values.Has(L"-SPVER"));
    EXPECT_FALSE(values.Has(L"-ERR"));
    std::wstring value;
    ASSERT_TRUE(values.Get(L"-UPURL", value));
    EXPECT_EQ(value, L"a;b");
}
