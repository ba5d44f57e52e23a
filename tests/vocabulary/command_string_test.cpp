#include "vocabulary/command_string.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "captured_trace_log.h"
#include "diag/trace_log.h"
#include "temp_dir.h"
#include "util/base64.h"
#include "util/code_page.h"
#include "vocabulary/cmd_param_deal.h"

namespace {

// Decodes a string that must be refused and returns the log written meanwhile.
std::string RefusalLog(const std::wstring& commandString) {
    CapturedTraceLog log;
    EXPECT_TRUE(log.opened());
    std::wstring prefix = L"kept";
    std::wstring text = L"stale";
    EXPECT_FALSE(DecodeCmdLine(commandString, prefix, text));
    EXPECT_EQ(prefix, L"kept");
    EXPECT_TRUE(text.empty());
    return log.Text();
}

// True when the log is exactly one updater error line ending in message.
bool IsOneErrorLine(const std::string& log, const std::string& message) {
    const std::string ending = message + "\n";
    return log.find("][ERR][DownLoad:") != std::string::npos && log.find('\n') == log.size() - 1 &&
           log.size() > ending.size() && log.compare(log.size() - ending.size(), ending.size(), ending) == 0;
}

const char kBadPrefix[] = "unknow cmd prefix!";
const char kBadBody[] = "unknow decode cmdstr!";

// Decodes a string that must be accepted; returns its text and, when asked, its prefix.
std::wstring Decoded(const std::wstring& commandString, std::wstring* prefix = nullptr) {
    std::wstring scheme;
    std::wstring text;
    EXPECT_TRUE(DecodeCmdLine(commandString, scheme, text)) << WideToUtf8(commandString);
    if (prefix != nullptr) *prefix = scheme;
    return text;
}

}  // namespace

TEST(IsCommandString, AcceptsTheSchemeWordInAnyLetterCase) {
    for (const wchar_t* line : {L"qkmt:LQ==", L"QKMT:LQ==", L"qKmT:", L"qkmtx:abc", L"Qkmt2018:LQ=="}) {
        EXPECT_TRUE(IsCommandString(line)) << WideToUtf8(line);
    }
}

TEST(IsCommandString, FirstColonMustStandAtPosition32AtMost) {
    const std::wstring at32 = L"qkmt" + std::wstring(28, L'x') + L":LQ==";
    EXPECT_TRUE(IsCommandString(at32));
    EXPECT_TRUE(IsCommandString(L"  " + at32));  // counted from the first non-blank character
    EXPECT_FALSE(IsCommandString(L"qkmt" + std::wstring(29, L'x') + L":LQ=="));
    EXPECT_FALSE(IsCommandString(L"qkmt" + std::wstring(29, L'x') + L":a:b"));
    EXPECT_TRUE(IsCommandString(L"qkmt:" + std::wstring(40, L'x') + L":"));
    EXPECT_FALSE(IsCommandString(L"qkmtLQ=="));
}

TEST(IsCommandString, RefusesAnythingBeforeTheSchemeWord) {
    for (const wchar_t* line :
         {L"xqkmt:LQ==", L"\"qkmt:LQ==\"", L"-do=start qkmt:LQ==", L"q kmt:LQ==", L"qkm:LQ==", L""}) {
        EXPECT_FALSE(IsCommandString(line)) << WideToUtf8(line);
    }
}

TEST(IsCommandString, SurroundingWhiteSpaceIsRecognisedButNotDecoded) {
    EXPECT_TRUE(IsCommandString(L" qkmt:LWE9MQ=="));
    EXPECT_TRUE(IsCommandString(L"\tQKMT:LWE9MQ==\r\n"));
    EXPECT_TRUE(IsOneErrorLine(RefusalLog(L" qkmt:LWE9MQ=="), kBadPrefix));
    // Trailing blanks stay in the body, which is then no Base64.
    EXPECT_TRUE(IsOneErrorLine(RefusalLog(L"qkmt:LWE9MQ== "), kBadBody));
}

TEST(DecodeCmdLine, PrefixKeepsTheLetterCaseOfTheSchemeWord) {
    CapturedTraceLog log;
    ASSERT_TRUE(log.opened());
    std::wstring prefix;
    EXPECT_EQ(Decoded(L"QKMT:LU1FRVRUWVBFPU1BSU4=", &prefix), L"-MEETTYPE=MAIN");
    EXPECT_EQ(prefix, L"QKMT:");
    EXPECT_EQ(log.Text(), "");
}

TEST(DecodeCmdLine, LongerSchemeWordsBelongToThePrefix) {
    std::wstring prefix;
    EXPECT_EQ(Decoded(L"qkmtx:LWE9MQ==", &prefix), L"-a=1");
    EXPECT_EQ(prefix, L"qkmtx:");
    // Only recognition limits the length of the scheme word.
    const std::wstring longWord = L"QkmtMeetingLauncherWithAVeryLongSchemeWord:";
    EXPECT_EQ(Decoded(longWord + L"LWE9MQ==", &prefix), L"-a=1");
    EXPECT_EQ(prefix, longWord);
}

TEST(DecodeCmdLine, RefusesStringsWithoutSchemeWordOrColon) {
    for (const wchar_t* line : {L"http://LWE9MQ==", L"qkmtLWE9MQ==", L"qkm:LWE9MQ==", L"qkmt", L""}) {
        EXPECT_TRUE(IsOneErrorLine(RefusalLog(line), kBadPrefix)) << WideToUtf8(line);
    }
}

TEST(DecodeCmdLine, RefusesBodiesThatAreNotBase64) {
    for (const wchar_t* line : {L"qkmt:LWE9MQ=", L"qkmt:LWE 9Q==", L"qkmt:LWE9-Q==", L"qkmt:LWE9_Q==",
                                L"qkmt:LWE9:Q==", L"qkmt:LWE9M\u00E9==", L"qkmt:LWE9MQ%3D"}) {
        EXPECT_TRUE(IsOneErrorLine(RefusalLog(line), kBadBody)) << WideToUtf8(line);
    }
}

TEST(DecodeCmdLine, RefusesEmptyTextAndTextNotStartingWithDash) {
    EXPECT_TRUE(IsOneErrorLine(RefusalLog(L"qkmt:"), kBadBody));
    EXPECT_TRUE(IsOneErrorLine(RefusalLog(L"qkmt:TUVFVFRZUEU9TUFJTg=="), kBadBody));  // "MEETTYPE=MAIN"
    EXPECT_TRUE(IsOneErrorLine(RefusalLog(L"qkmt:AC1h"), kBadBody));                  // "\0-a"
}

TEST(DecodeCmdLine, PaddingInTheMiddleClosesOnlyItsGroup) {
    EXPECT_EQ(Decoded(L"qkmt:LWE=PTE="), L"-a=1");  // "-a" and "=1"
    EXPECT_EQ(Decoded(L"qkmt:LQ==YT0x"), L"-a=1");  // "-" and "a=1"
    EXPECT_EQ(Decoded(L"qkmt:LQ=AYT0x"), L"-a=1");  // a third '=' alone already closes the group
}

TEST(DecodeCmdLine, TextEndsAtTheFirstZeroByte) { EXPECT_EQ(Decoded(L"qkmt:LWE9MQAtYj0y"), L"-a=1"); }

TEST(DecodeCmdLine, BytesAreReadInTheAnsiCodePage) {
    EXPECT_EQ(Decoded(L"qkmt:LY+/"), AnsiToWide("-\x8F\xBF"));
}

TEST(EncodeCmdLine, PadsTheLastGroup) {
    EXPECT_EQ(EncodeCmdLine(L"qkmt:", L"-"), L"qkmt:LQ==");
    EXPECT_EQ(EncodeCmdLine(L"qkmt:", L"-a"), L"qkmt:LWE=");
    EXPECT_EQ(EncodeCmdLine(L"qkmt:", L"-ab"), L"qkmt:LWFi");
    EXPECT_EQ(EncodeCmdLine(L"QKMTX:", L"-MEETTYPE=MAIN"), L"QKMTX:LU1FRVRUWVBFPU1BSU4=");
}

TEST(EncodeCmdLine, EmptyTextGivesThePrefixAlone) {
    EXPECT_EQ(EncodeCmdLine(L"qkmt:", L""), L"qkmt:");
    EXPECT_EQ(EncodeCmdLine(L"", L""), L"");
}

TEST(CommandStringRoundTrip, RandomTextsStartingWithDashComeBack) {
    const std::wstring pool =
        L" !\"#$%&'()*+,-./0123456789:;<=>?@ABCXYZ[\\]^_`abcxyz{|}~\t\r\n\u00E9\u00FC\u4F1A";
    std::mt19937 random(20240611);
    for (int i = 0; i < 300; ++i) {
        std::wstring text = L"-";
        for (size_t n = random() % 200; n > 0; --n) text += pool[random() % pool.size()];
        std::wstring prefix;
        // Characters the ANSI code page lacks come back as it converts them.
        EXPECT_EQ(Decoded(EncodeCmdLine(L"qkmt:", text), &prefix), AnsiToWide(WideToAnsi(text)));
        EXPECT_EQ(prefix, L"qkmt:");
    }
}

TEST(CommandStringRoundTrip, ParameterTableIsHandedOnUnchanged) {
    CCmdLineAnalyse received;
    std::wstring prefix;
    received.Parse(Decoded(L"QKMT:LU1FRVRUWVBFPU1BSU4K", &prefix), L'\n', L'=');  // "-MEETTYPE=MAIN\n"
    received.SetPrefix(prefix);
    received.Set(L"-PRODUCT", L"win32_net");
    CmdParamDeal passedOn;
    const std::wstring handedOn = EncodeCmdLine(received.GetPrefix(), received.Serialize(L'\n', L'='));
    passedOn.Parse(Decoded(handedOn, &prefix), L'\n', L'=');
    EXPECT_EQ(prefix, L"QKMT:");
    EXPECT_EQ(passedOn.Serialize(L'\n', L'='), L"-MEETTYPE=MAIN\n-PRODUCT=win32_net\n");
}

TEST(CommandStringRoundTrip, MegabyteInputsAreHandled) {
    const std::wstring text = L"-DATA=" + std::wstring(1 << 20, L'x');
    EXPECT_EQ(Decoded(EncodeCmdLine(L"qkmt:", text)), text);
    EXPECT_TRUE(IsOneErrorLine(RefusalLog(L"qkmt:" + std::wstring(1 << 20, L'!')), kBadBody));
    EXPECT_TRUE(IsOneErrorLine(RefusalLog(std::wstring(1 << 20, L'Q')), kBadPrefix));
    EXPECT_FALSE(IsCommandString(std::wstring(1 << 20, L' ')));
    EXPECT_FALSE(IsCommandString(L"qkmt" + std::wstring(1 << 20, L'=') + L":"));
}

TEST(Base64, EveryByteValueComesBack) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const std::string text = Base64Encode(all);
    EXPECT_NE(text.find('+'), std::string::npos);
    EXPECT_NE(text.find('/'), std::string::npos);
    std::string bytes;
    EXPECT_TRUE(Base64Decode(text, bytes));
    EXPECT_EQ(bytes, all);
}
