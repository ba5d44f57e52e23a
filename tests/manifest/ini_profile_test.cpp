#include "manifest/ini_profile.h"

#include <gtest/gtest.h>

#include "ini_test_bytes.h"
#include "temp_dir.h"
#include "util/code_page.h"

namespace {

class IniProfileTest : public ::testing::Test {
protected:
    // Writes the file and returns its path as the code under test sees it.
    std::wstring File(const std::string& name, const std::string& bytes) {
        dir_.Write(name, bytes);
        return Path(name);
    }
    std::wstring Path(const std::string& name) const {
        return dir_.WinPath() + std::wstring(name.begin(), name.end());
    }
    std::string Bytes(const std::string& name) const { return ReadFileBytes(dir_.path() / name); }

    ScopedTempDir dir_;
};

}  // namespace

TEST_F(IniProfileTest, MissingFileSectionOrKeyGivesTheDefault) {
    const std::wstring path = File("UserCfg.ini", "[CFG]\r\nLanguage=en_US\r\n");
    EXPECT_EQ(ReadProfileString(L"CFG", L"Language", L"zh_CN", 64, path), L"en_US");
    EXPECT_EQ(ReadProfileString(L"CFG", L"Language", L"zh_CN", 64, Path("absent.ini")), L"zh_CN");
    EXPECT_EQ(ReadProfileString(L"NOCFG", L"Language", L"zh_CN", 64, path), L"zh_CN");
    EXPECT_EQ(ReadProfileString(L"CFG", L"UsrID", nullptr, 64, path), L"");
    EXPECT_EQ(ReadProfileString(L"CFG", L"UsrID", L" zh_CN  ", 64, path), L" zh_CN");
}

TEST_F(IniProfileTest, RemovesOnePairOfMatchingQuotes) {
    const std::wstring path =
        File("q.ini", "[s]\nd=\"a b\"\ns=' x '\nmixed=\"x'\nlone=\"\nempty=\"\"\nnested=\"\"x\"\"\n");
    EXPECT_EQ(ReadProfileString(L"s", L"d", nullptr, 64, path), L"a b");
    EXPECT_EQ(ReadProfileString(L"s", L"s", nullptr, 64, path), L" x ");
    EXPECT_EQ(ReadProfileString(L"s", L"mixed", nullptr, 64, path), L"\"x'");
    EXPECT_EQ(ReadProfileString(L"s", L"lone", nullptr, 64, path), L"\"");
    EXPECT_EQ(ReadProfileString(L"s", L"empty", L"dflt", 64, path), L"");
    EXPECT_EQ(ReadProfileString(L"s", L"nested", nullptr, 64, path), L"\"x\"");
}

TEST_F(IniProfileTest, CutsTheValueToBufferLengthMinusOne) {
    const std::wstring path =
        File("testCfg.ini", "[CFG]\r\nnoupdateFiles=" + std::string(5000, 'f') + "\r\nfit=\"abc\"\r\n");
    EXPECT_EQ(ReadProfileString(L"CFG", L"noupdateFiles", L"", 4096, path), std::wstring(4095, L'f'));
    EXPECT_EQ(ReadProfileString(L"CFG", L"fit", nullptr, 4, path), L"abc");
    EXPECT_EQ(ReadProfileString(L"CFG", L"fit", nullptr, 3, path), L"ab");
    EXPECT_EQ(ReadProfileString(L"CFG", L"fit", nullptr, 1, path), L"");
    EXPECT_EQ(ReadProfileString(L"CFG", L"fit", nullptr, 0, path), L"");
    EXPECT_EQ(ReadProfileString(L"CFG", L"none", L"0.0.0", 3, path), L"0.");
}

TEST_F(IniProfileTest, ReadsIntegersAsTheSystemDoes) {
    const std::wstring path = File("UpdateInfo.ini",
                                   "[VER]\nINIVer=3\nmixed=12abc\nword=abc\nneg=-42\nempty=\n"
                                   "wrap=4294967297\nquoted=\" 7\"\n");
    const std::pair<const wchar_t*, int> expected[] = {
        {L"INIVer", 3}, {L"mixed", 12}, {L"word", 0},   {L"neg", -42},
        {L"empty", 5},  {L"wrap", 1},   {L"quoted", 7}, {L"absent", 5}};
    for (const auto& [key, value] : expected) EXPECT_EQ(ReadProfileInt(path, L"VER", key, 5), value) << key;
    EXPECT_EQ(ReadProfileInt(Path("absent.ini"), L"VER", L"INIVer", -1), -1);
}

TEST_F(IniProfileTest, ReadsEachEncodingAndSections) {
    const std::wstring name = L"\u4F1A\u8BAE caf\u00E9";
    const std::wstring wide = File("wide.ini", Utf16LeFile(u"[CFG]\r\nName = \u4F1A\u8BAE caf\u00E9\r\n"));
    const std::wstring utf8 = File("utf8.ini", Utf8File("[CFG]\r\nName=" + WideToUtf8(name) + "\r\n"));
    const std::wstring ansi = File("ansi.ini", "[CFG]\r\nName=" + WideToAnsi(L"caf\u00E9") + "\r\nbare\r\n");
    EXPECT_EQ(ReadProfileString(L"cfg", L"name", nullptr, 64, wide), name);
    EXPECT_EQ(ReadProfileString(L"cfg", L"name", nullptr, 64, utf8), name);
    EXPECT_EQ(ReadProfileString(L"cfg", L"name", nullptr, 64, ansi), L"caf\u00E9");

    std::vector<std::wstring> entries;
    ASSERT_TRUE(ReadProfileSection(L"CFG", ansi, entries));
    EXPECT_EQ(entries, (std::vector<std::wstring>{L"Name=caf\u00E9", L"bare"}));
    EXPECT_TRUE(ReadProfileSection(L"Missing", ansi, entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_FALSE(ReadProfileSection(L"CFG", Path("absent.ini"), entries));
}

TEST_F(IniProfileTest, WritesKeepTheRestOfTheFileInEachEncoding) {
    struct Case {
        std::string name;
        std::string before;
        std::string after;
    };
    const Case cases[] = {
        {"ansi.ini", "; keep\r\n[CFG]\r\nLanguage=en_US\r\nUsrID=old\r\n\r\n[Z]\r\nz=1",
         "; keep\r\n[CFG]\r\nLanguage=en_US\r\nUsrID=new\r\ncfgProxy=0;\r\n\r\n[Z]\r\nz=1\r\n[N]\r\nk=v\r\n"},
        {"utf8.ini", Utf8File("[CFG]\n\xE4\xBC\x9A=1\nUsrID=old\n"),
         Utf8File("[CFG]\n\xE4\xBC\x9A=1\nUsrID=new\ncfgProxy=0;\n[N]\nk=v\n")},
        {"wide.ini", Utf16LeFile(u"[CFG]\r\n\u4F1A=1\r\nUsrID=old\r\n"),
         Utf16LeFile(u"[CFG]\r\n\u4F1A=1\r\nUsrID=new\r\ncfgProxy=0;\r\n[N]\r\nk=v\r\n")},
    };
    for (const Case& c : cases) {
        const std::wstring path = File(c.name, c.before);
        EXPECT_TRUE(WriteProfileValue(L"cfg", L"usrid", L"new", path));
        EXPECT_TRUE(WriteProfileValue(L"CFG", L"cfgProxy", L"0;", path));
        EXPECT_TRUE(WriteProfileValue(L"N", L"k", L"v", path));
        EXPECT_EQ(Bytes(c.name), c.after) << c.name;
    }
}

TEST_F(IniProfileTest, WriteCreatesAMissingFileAndNullDeletes) {
    const std::wstring path = Path("UserCfg.ini");
    EXPECT_TRUE(WriteProfileValue(L"CFG", L"UsrID", nullptr, path));
    EXPECT_TRUE(Bytes("UserCfg.ini").empty());
    EXPECT_TRUE(WriteProfileValue(L"CFG", L"UsrID", L"id-1", path));
    EXPECT_TRUE(WriteProfileValue(L"CFG", L"Language", L"en_US", path));
    EXPECT_EQ(Bytes("UserCfg.ini"), "[CFG]\r\nUsrID=id-1\r\nLanguage=en_US\r\n");
    EXPECT_TRUE(WriteProfileValue(L"cfg", L"USRID", nullptr, path));
    EXPECT_EQ(Bytes("UserCfg.ini"), "[CFG]\r\nLanguage=en_US\r\n");
}

TEST_F(IniProfileTest, BadFilesGiveDefaultsAndAreNotReplaced) {
    std::string garbage;
    for (int i = 0; i < 2048; ++i) garbage += static_cast<char>((i * 131 + 7) & 0xFF);
    dir_.Write("folder.ini/inner.txt", "x");  // a directory where a file is expected
    const std::wstring paths[] = {
        File("garbage.ini", garbage),
        File("odd.ini", Utf16LeFile(u"[CFG]\r\nLanguage=en_US") + "\x01"),
        File("bom-only.ini", "\xFF\xFE"),
        Path("folder.ini"),
    };
    for (const std::wstring& path : paths) {
        EXPECT_EQ(ReadProfileString(L"CFG", L"UsrID", L"dflt", 64, path), L"dflt");
        EXPECT_EQ(ReadProfileInt(path, L"CFG", L"UsrID", 9), 9);
    }
    EXPECT_EQ(ReadProfileString(L"CFG", L"Language", nullptr, 64, paths[1]), L"en_US");
    std::vector<std::wstring> entries;
    EXPECT_FALSE(ReadProfileSection(L"CFG", paths[3], entries));
    EXPECT_FALSE(WriteProfileValue(L"CFG", L"UsrID", L"x", paths[3]));
}
