#include "manifest/ini_file.h"

#include <gtest/gtest.h>

#include "temp_dir.h"

namespace {

// Stands in for the macro-expanding subclass: replaces "%DIR%" by a fixed text.
class DirMacroIniFile : public CIniFile {
public:
    void ExpandValue(std::wstring& value) const override {
        for (size_t at = value.find(L"%DIR%"); at != std::wstring::npos; at = value.find(L"%DIR%", at)) {
            value.replace(at, 5, L"C:\\App\\");
        }
    }
};

const char kUpdateInfo[] =
    "[VER]\r\n"
    "Ver=2.1.0.7\r\n"
    "INIVer=3\r\n"
    "Mixed=12abc\r\n"
    "Word=abc\r\n"
    "[MAIN_V3]\r\n"
    "UpdateExe=%DIR%ZOLTAMeeting.exe\r\n"
    "Job_a = dlfl;a=b=c\r\n"
    "; a comment is no entry\r\n"
    "Job_b=sub;%DIR%x\r\n"
    "[Broken]\r\n"
    "Job_1=ckfl\r\n"
    "no equals sign here\r\n"
    "Job_2=ckfl\r\n";

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_.Write("UpdateInfo.ini", kUpdateInfo);
        ini_.SetFile(dir_.WinPath() + L"UpdateInfo.ini");
    }

    ScopedTempDir dir_;
    DirMacroIniFile ini_;
};

}  // namespace

TEST_F(IniFileTest, GetStringExpandsAfterCutting) {
    EXPECT_EQ(ini_.GetString(L"MAIN_V3", L"UpdateExe", L"", 256), L"C:\\App\\ZOLTAMeeting.exe");
    EXPECT_EQ(ini_.GetString(L"MAIN_V3", L"UpdateExe", L"", 6), L"C:\\App\\");
    EXPECT_EQ(ini_.GetString(L"MAIN_V3", L"StopCmd", L"%DIR%stop", 512), L"C:\\App\\stop");
    EXPECT_EQ(ini_.GetString(L"VER", L"Ver", L"0.0.0", 32), L"2.1.0.7");
    EXPECT_EQ(ini_.GetString(L"MAIN_V3", L"StopCmd", nullptr, 512), L"");
}

TEST_F(IniFileTest, GetIntReadsLeadingDigitsAndZeroForAnythingElse) {
    EXPECT_EQ(ini_.GetInt(L"VER", L"INIVer"), 3);
    EXPECT_EQ(ini_.GetInt(L"VER", L"Mixed"), 12);
    EXPECT_EQ(ini_.GetInt(L"VER", L"Word"), 0);
    EXPECT_EQ(ini_.GetInt(L"VER", L"Absent"), 0);
    EXPECT_EQ(ini_.GetInt(L"MAIN", L"INIVer"), 0);
}

TEST_F(IniFileTest, GetSectionGivesOrderedExpandedPairs) {
    SIniSection section;
    section.entries.push_back({L"stale", L"entry"});
    ASSERT_TRUE(ini_.GetSection(L"main_v3", section));
    EXPECT_EQ(section.name, L"main_v3");
    ASSERT_EQ(section.entries.size(), 3u);
    EXPECT_EQ(section.entries[0].key, L"UpdateExe");
    EXPECT_EQ(section.entries[0].value, L"C:\\App\\ZOLTAMeeting.exe");
    EXPECT_EQ(section.entries[1].key, L"Job_a");
    EXPECT_EQ(section.entries[1].value, L"dlfl;a=b=c");
    EXPECT_EQ(section.entries[2].value, L"sub;C:\\App\\x");
    EXPECT_EQ(ini_.GetLastErrorCode(), INI_ERROR_NONE);
}

TEST_F(IniFileTest, GetSectionOfAMissingSectionIsEmptyOfAMissingFileFails) {
    SIniSection section;
    EXPECT_TRUE(ini_.GetSection(L"MAIN", section));
    EXPECT_EQ(section.name, L"MAIN");
    EXPECT_TRUE(section.entries.empty());
    ini_.SetFile(dir_.WinPath() + L"Absent.ini");
    EXPECT_FALSE(ini_.GetSection(L"MAIN_V3", section));
    EXPECT_EQ(ini_.GetLastErrorCode(), INI_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(section.name, L"MAIN_V3");
}

TEST_F(IniFileTest, GetSectionStopsAtALineWithoutEquals) {
    SIniSection section;
    EXPECT_FALSE(ini_.GetSection(L"Broken", section));
    EXPECT_EQ(ini_.GetLastErrorCode(), INI_ERROR_BAD_FORMAT);
    ASSERT_EQ(section.entries.size(), 1u);
    EXPECT_EQ(section.entries[0].key, L"Job_1");
    EXPECT_TRUE(ini_.GetSection(L"VER", section));
    EXPECT_EQ(ini_.GetLastErrorCode(), INI_ERROR_NONE);
}

TEST_F(IniFileTest, KeptContentsAnswerUntilForgotten) {
    ASSERT_TRUE(ini_.KeepContents());
    EXPECT_TRUE(ini_.KeepsContents());
    dir_.Write("UpdateInfo.ini", "[VER]\r\nVer=9.9.9.9\r\n[Broken]\r\nJob_1=ckfl\r\n");
    // Every read, expanded as before, comes from the contents kept.
    EXPECT_EQ(ini_.GetString(L"VER", L"Ver", L"0.0.0", 32), L"2.1.0.7");
    EXPECT_EQ(ini_.GetString(L"MAIN_V3", L"UpdateExe", L"", 6), L"C:\\App\\");
    EXPECT_EQ(ini_.GetInt(L"VER", L"INIVer"), 3);
    SIniSection section;
    ASSERT_TRUE(ini_.GetSection(L"MAIN_V3", section));
    ASSERT_EQ(section.entries.size(), 3u);
    EXPECT_EQ(section.entries[2].value, L"sub;C:\\App\\x");
    EXPECT_FALSE(ini_.GetSection(L"Broken", section));
    EXPECT_EQ(ini_.GetLastErrorCode(), INI_ERROR_BAD_FORMAT);

    ini_.ForgetContents();
    EXPECT_FALSE(ini_.KeepsContents());
    EXPECT_EQ(ini_.GetString(L"VER", L"Ver", L"0.0.0", 32), L"9.9.9.9");
    EXPECT_TRUE(ini_.GetSection(L"Broken", section));

    // A new file forgets what was kept; a file that cannot be read keeps nothing.
    ASSERT_TRUE(ini_.KeepContents());
    ini_.SetFile(dir_.WinPath() + L"Absent.ini");
    EXPECT_FALSE(ini_.KeepsContents());
    EXPECT_FALSE(ini_.KeepContents());
    EXPECT_FALSE(ini_.KeepsContents());
    EXPECT_EQ(ini_.GetString(L"VER", L"Ver", L"0.0.0", 32), L"0.0.0");
    EXPECT_FALSE(ini_.GetSection(L"VER", section));
    EXPECT_EQ(ini_.GetLastErrorCode(), INI_ERROR_FILE_NOT_FOUND);
}
