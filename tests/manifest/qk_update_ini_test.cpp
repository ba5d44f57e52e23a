#include "manifest/qk_update_ini.h"

#include <gtest/gtest.h>

#include <string>

#include "temp_dir.h"

namespace {

const wchar_t kAppDir[] = L"C:\\ZOLTA\\";

const char kUpdateInfo[] =
    "[VER]\r\n"
    "INIVer=3\r\n"
    "[ZOLTA]\r\n"
    "Job_APPEXE=dlfl;%OEMID%Main.exe;100;0;;s;-1;;x\r\n"
    "[MAIN]\r\n"
    "Twice=%APPDIR%a;%APPDIR%b\r\n"
    "Mixed=%QKMEETDIR%|%OEMID%|%APPEXE%|%UNKNOWN%|%appdir%|%ORGPARAM%\r\n";

class QKUpdateIniTest : public ::testing::Test {
protected:
    void SetUp() override { dir_.Write("UpdateInfo.ini", kUpdateInfo); }
    std::wstring Path() const { return dir_.WinPath() + L"UpdateInfo.ini"; }

    ScopedTempDir dir_;
};

}  // namespace

TEST_F(QKUpdateIniTest, ValuesAreExpandedEveryTimeAndUnknownNamesKept) {
    CQKUpdateIni ini(kAppDir, L"ZOLTA");
    ini.SetFile(Path());
    // Job_APPEXE is read with the macros before it already expanded.
    EXPECT_EQ(ini.GetMacro(kMacroAppExe), L"ZOLTAMain.exe");
    ini.SetMacro(kMacroOrgParam, L"-do=update");
    EXPECT_EQ(ini.GetString(L"MAIN", L"Twice", nullptr, 256), L"C:\\ZOLTA\\a;C:\\ZOLTA\\b");
    SIniSection section;
    ASSERT_TRUE(ini.GetSection(L"MAIN", section));
    ASSERT_EQ(section.entries.size(), 2u);
    EXPECT_EQ(section.entries[1].value, L"C:\\ZOLTA\\|ZOLTA|ZOLTAMain.exe|%UNKNOWN%|%appdir%|-do=update");
    // Binding the file again starts the table anew.
    ini.SetFile(Path());
    EXPECT_EQ(ini.GetMacro(kMacroOrgParam), L"");
}

TEST_F(QKUpdateIniTest, WithoutTheOemSectionAppExeIsNeverReplaced) {
    CQKUpdateIni ini(kAppDir, L"OTHER");
    ini.SetFile(Path());
    EXPECT_EQ(ini.GetString(L"MAIN", L"Mixed", nullptr, 256),
              L"C:\\ZOLTA\\|OTHER|%APPEXE%|%UNKNOWN%|%appdir%|%ORGPARAM%");
}

TEST_F(QKUpdateIniTest, MainSectionFollowsIniVer) {
    CQKUpdateIni ini(kAppDir, L"ZOLTA");
    ini.SetFile(Path());
    EXPECT_EQ(ini.GetMainSection(), L"MAIN_V3");
    for (const char* ver : {"", "INIVer=1\r\n", "INIVer=-2\r\n"}) {
        dir_.Write("UpdateInfo.ini", std::string("[VER]\r\n") + ver);
        EXPECT_EQ(ini.GetMainSection(), L"MAIN") << ver;
    }
}
