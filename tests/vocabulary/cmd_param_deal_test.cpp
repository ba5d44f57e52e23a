#include "vocabulary/cmd_param_deal.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

std::wstring Lines(const std::wstring& text) {
    CmdParamDeal table;
    table.Parse(text, L'\n', L'=');
    return table.Serialize(L'\n', L'=');
}

}  // namespace

TEST(CmdParamDeal, LaterOccurrenceOfAKeyWins) {
    EXPECT_EQ(Lines(L"-a=1\n-b\n-a=2\n"), L"-a=2\n-b=\n");
}

TEST(CmdParamDeal, EmptyPiecesCountExceptAfterTheLastSeparator) {
    EXPECT_EQ(Lines(L"-a=1\n\n-b=2"), L"=\n-a=1\n-b=2\n");
    EXPECT_EQ(Lines(L"-a=1\n"), L"-a=1\n");
    EXPECT_EQ(Lines(L"-a=1\n\n"), L"=\n-a=1\n");
    EXPECT_EQ(Lines(L""), L"=\n");
    EXPECT_EQ(Lines(L"\n"), L"=\n");
}

TEST(CmdParamDeal, OnlyTheFirstKeySeparatorSplits) {
    CmdParamDeal table;
    table.Parse(L"a=b=c;=x", L';', L'=');
    std::wstring value;
    EXPECT_TRUE(table.Get(L"a", value));
    EXPECT_EQ(value, L"b=c");
    EXPECT_TRUE(table.Get(L"", value));
    EXPECT_EQ(value, L"x");
}

TEST(CmdParamDeal, NothingIsTrimmed) {
    EXPECT_EQ(Lines(L"-a=1\r\n -b= 2 \r\n"), L" -b= 2 \r\n-a=1\r\n");
}

TEST(CmdParamDeal, SerializeListsKeysInOrdinalOrder) {
    CmdParamDeal table;
    table.Parse(L"-b=2\n-a=1\n-B=3\n-_=4\n-MEET=5\n-meet=6", L'\n', L'=');
    EXPECT_EQ(table.Serialize(L'\n', L'='), L"-B=3\n-MEET=5\n-_=4\n-a=1\n-b=2\n-meet=6\n");
    EXPECT_EQ(table.Serialize(L' ', L':'), L"-B:3 -MEET:5 -_:4 -a:1 -b:2 -meet:6 ");
    EXPECT_EQ(CmdParamDeal().Serialize(L'\n', L'='), L"");
}

TEST(CmdParamDeal, ReadsTheCommandLineAndTheEntranceTable) {
    CmdParamDeal line;
    line.Parse(L"-fromDesktop -do=update -param=qkmt:LWE9MQ==", L' ', L'=');
    std::wstring value;
    EXPECT_TRUE(line.Get(L"-param", value));
    EXPECT_EQ(value, L"qkmt:LWE9MQ==");
    EXPECT_TRUE(line.Has(L"-fromDesktop"));
    CmdParamDeal entrances;
    entrances.Parse(L";", L';', L'=');
    EXPECT_EQ(entrances.Serialize(L';', L'='), L"=;");
}

TEST(CmdParamDeal, GetLeavesTheValueAloneWhenAbsent) {
    CmdParamDeal table;
    std::wstring value = L"before";
    EXPECT_FALSE(table.Get(L"-MEET", value));
    EXPECT_FALSE(table.Has(L"-MEET"));
    EXPECT_EQ(value, L"before");
}

TEST(CmdParamDeal, GetIntReadsTheLeadingNumber) {
    CmdParamDeal table;
    table.Parse(L"-a=12abc\n-b=-7\n-c=abc\n-d=", L'\n', L'=');
    EXPECT_EQ(table.GetInt(L"-a"), 12);
    EXPECT_EQ(table.GetInt(L"-b"), -7);
    EXPECT_EQ(table.GetInt(L"-c"), 0);
    EXPECT_EQ(table.GetInt(L"-d"), 0);
    EXPECT_EQ(table.GetInt(L"-absent"), 0);
}

TEST(CmdParamDeal, SetAndParseOverwriteButKeepOtherEntries) {
    CmdParamDeal table;
    table.SetInt(L"-RETRY", INT_MIN);
    table.Set(L"-PRODUCT", L"x");
    table.Parse(L"-PRODUCT=win32_net", L'\n', L'=');
    EXPECT_EQ(table.Serialize(L'\n', L'='), L"-PRODUCT=win32_net\n-RETRY=-2147483648\n");
    table.SetInt(L"-RETRY", 42);
    EXPECT_EQ(table.GetInt(L"-RETRY"), 42);
}

TEST(CmdParamDeal, MegabyteOfSeparatorsIsOneEmptyEntry) {
    EXPECT_EQ(Lines(std::wstring(1 << 20, L'\n')), L"=\n");
}

TEST(CCmdLineAnalyse, KeepsThePrefixBesideTheParameters) {
    CCmdLineAnalyse params;
    params.SetPrefix(L"QKMTX:");
    params.Set(L"-MEETTYPE", L"MAIN");
    EXPECT_EQ(params.GetPrefix(), L"QKMTX:");
    EXPECT_EQ(params.Serialize(L'\n', L'='), L"-MEETTYPE=MAIN\n");
    EXPECT_EQ(&CmdLineParams(), &CmdLineParams());
}
