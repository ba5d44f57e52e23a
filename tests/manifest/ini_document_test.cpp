#include "manifest/ini_document.h"

#include <gtest/gtest.h>

#include "ini_test_bytes.h"

namespace {

std::wstring ValueOf(const CIniDocument& document, const std::wstring& section, const std::wstring& key) {
    std::wstring value;
    return document.FindValue(section, key, value) ? value : L"<missing>";
}

}  // namespace

TEST(IniDocument, MatchesNamesIgnoringCaseAndBlanks) {
    CIniDocument document("  [ VER ]  \r\n\t Ver \t=  1.2.3 \v \r\n");
    EXPECT_EQ(ValueOf(document, L"ver", L"VER"), L"1.2.3");
    EXPECT_EQ(ValueOf(document, L" VER ", L"  Ver "), L"1.2.3");
    EXPECT_EQ(ValueOf(document, L"VER", L"\tVer"), L"<missing>");  // a name asked for loses spaces only
    // [Ça] Ключ=1
    CIniDocument accented(Utf8File("[\xC3\x87" "a]\n\xD0\x9A\xD0\xBB\xD1\x8E\xD1\x87=1\n"));
    EXPECT_EQ(ValueOf(accented, L"\u00E7A", L"\u041A\u041B\u042E\u0427"), L"1");
}

TEST(IniDocument, ReadsKeysAsTheSystemDoes) {
    // Windows ends a section name at the first ']', or at the line's end when
    // there is none; Wine differs here (see ini_profile_win_test.cpp).
    CIniDocument document("k=before\n[s]\n;k=comment\nbare k\nk=a=b=c\nK=second\n=no key\n"
                          "[a]b]x\nj=1\n[open \nj=2\n[S]\nm=3\n");
    EXPECT_EQ(ValueOf(document, L"s", L"k"), L"a=b=c");
    EXPECT_EQ(ValueOf(document, L"s", L";k"), L"<missing>");
    EXPECT_EQ(ValueOf(document, L"s", L"bare k"), L"<missing>");
    EXPECT_EQ(ValueOf(document, L"s", L""), L"no key");
    EXPECT_EQ(ValueOf(document, L"", L"k"), L"<missing>");
    EXPECT_EQ(ValueOf(document, L"a", L"j"), L"1");
    EXPECT_EQ(ValueOf(document, L"open", L"j"), L"2");
    EXPECT_EQ(ValueOf(document, L"s", L"m"), L"<missing>");  // only the first [s] counts
}

TEST(IniDocument, EndsLinesAtCarriageReturnLineFeedOrEither) {
    CIniDocument document("[s]\ra=1\nb=2\r\nc=3\r\rd=4");
    EXPECT_EQ(ValueOf(document, L"s", L"a") + ValueOf(document, L"s", L"b") + ValueOf(document, L"s", L"c") +
                  ValueOf(document, L"s", L"d"),
              L"1234");
}

TEST(IniDocument, ListsSectionLinesAsTheSystemDoes) {
    CIniDocument document("[s]\r\n name = v \r\n bare line \r\n\r\n;c\r\nq=\"x\"\r\na=b=c\r\n[t]\r\nz=1\r\n");
    std::vector<std::wstring> entries;
    ASSERT_TRUE(document.GetSectionEntries(L"S", entries));
    EXPECT_EQ(entries, (std::vector<std::wstring>{L"name=v", L"bare line", L"q=\"x\"", L"a=b=c"}));
    EXPECT_FALSE(document.GetSectionEntries(L"missing", entries));
    EXPECT_TRUE(entries.empty());
}

TEST(IniDocument, EditsChangeOnlyTheirOwnLine) {
    CIniDocument document("; head\r\n[CFG]\r\nUsrID =  old \r\nx=1\r\n\r\n[Other]\r\ny=2");
    document.SetValue(L"cfg", L"usrid", L"new");
    document.SetValue(L"CFG", L" cfgProxy ", L"0;");
    document.SetValue(L"New", L"k", L"v");
    EXPECT_TRUE(document.DeleteKey(L"other", L"Y"));
    EXPECT_FALSE(document.DeleteKey(L"other", L"y"));
    EXPECT_EQ(document.ToBytes(),
              "; head\r\n[CFG]\r\nUsrID =  new \r\nx=1\r\ncfgProxy=0;\r\n\r\n[Other]\r\n[New]\r\nk=v\r\n");
    CIniDocument empty;
    empty.SetValue(L"CFG", L"UsrID", L"abc");
    EXPECT_EQ(empty.ToBytes(), "[CFG]\r\nUsrID=abc\r\n");
}

TEST(IniDocument, KeepsUndecodableBytesOfUntouchedLines) {
    const char before[] = "[a]\nraw=\x80\xFF\x00z\nx=1\n";
    const char after[] = "[a]\nraw=\x80\xFF\x00z\nx=2\n";
    CIniDocument document(std::string(before, sizeof(before) - 1));
    document.SetValue(L"a", L"x", L"2");
    EXPECT_EQ(document.ToBytes(), std::string(after, sizeof(after) - 1));
}

TEST(IniDocument, ReadsAndWritesSurrogatePairsInUtf16Files) {
    CIniDocument document(Utf16LeFile(u"[s]\r\nk=\U0001F600\r\n"));
    std::wstring value;
    ASSERT_TRUE(document.FindValue(L"s", L"k", value));
    EXPECT_EQ(value.size(), sizeof(wchar_t) == 2 ? 2u : 1u);
    document.SetValue(L"s", L"j", value);
    EXPECT_EQ(document.ToBytes(), Utf16LeFile(u"[s]\r\nk=\U0001F600\r\nj=\U0001F600\r\n"));
}

TEST(IniDocument, SurvivesMalformedInput) {
    CIniDocument odd(Utf16LeFile(u"[s]\r\nk=v\r\n") + "A");
    EXPECT_EQ(ValueOf(odd, L"s", L"k"), L"v");
    odd.SetValue(L"t", L"j", L"w");
    EXPECT_EQ(odd.ToBytes(), Utf16LeFile(u"[s]\r\nk=v\r\n[t]\r\nj=w\r\n") + "A");

    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919) & 0xFF);
    for (const std::string& bytes : {garbage, std::string("\xFF\xFE"), std::string("\xFF"), std::string()}) {
        CIniDocument document(bytes);
        EXPECT_EQ(document.ToBytes(), bytes);
        EXPECT_EQ(ValueOf(document, L"CFG", L"Language"), L"<missing>");
    }
}
