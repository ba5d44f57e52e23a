// The real executable, started in a folder of its own as a user would start it.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "vocabulary/command_string.h"
#include "child_process.h"
#include "running_program_win.h"
#include "temp_dir.h"

namespace fs = std::filesystem;

namespace {

class LauncherExe : public ::testing::Test {
protected:
    ScopedTempDir dir;

    void SetUp() override {
        fs::copy_file(TestBinDir() + L"ZOLTAMeeting.exe", dir.path() / "ZOLTAMeeting.exe");
    }

    void AddModule(const wchar_t* helper, const wchar_t* asName) {
        fs::copy_file(TestBinDir() + helper, dir.path() / asName);
    }

    int Run(const std::wstring& args) {
        return RunAndWait((dir.path() / "ZOLTAMeeting.exe").wstring(), args, L"");
    }

    // Runs an update that cannot find a web server: the dialog shows the
    // parameter error, which the test answers; returns the exit code.
    int RunFailingUpdate(const std::wstring& exe, const std::wstring& params) {
        // A log server that refuses at once, so the error report does not wait.
        const std::wstring cmd = EncodeCmdLine(L"qkmt:", params + L"\n-LOGCFG=x;127.0.0.1:1:9");
        RunningProgram updater(exe, cmd);
        const MessageBoxSeen box = WaitForMessageBox(updater.id());
        EXPECT_NE(box.window, nullptr);
        if (box.window) CloseMessageBox(box);
        return updater.Wait();
    }

    std::string Log() const { return ReadFileBytes(dir.path() / "log" / "QKMeeting.log"); }
    std::string Err() const { return ReadFileBytes(dir.path() / "log" / "QKMeeting.err"); }
    std::string Record() const { return ReadFileBytes(dir.path() / "client_record.txt"); }
};

}  // namespace

TEST_F(LauncherExe, NoArgumentsWithoutModuleLogsBannerAndExitsMinusOne) {
    EXPECT_EQ(Run(L""), -1);
    const std::string log = Log();
    EXPECT_NE(log.find("---------- AgentMain running... (pid:"), std::string::npos) << log;
    EXPECT_NE(log.find("CmdLine:"), std::string::npos);
    EXPECT_NE(log.find("Main ver:0.0.0, Exe Ver:"), std::string::npos);
    EXPECT_NE(log.find("LoadLibrary: MeetingMgrClient.dll!"), std::string::npos);
    EXPECT_NE(log.find("[WAR][AgentMain:"), std::string::npos);
    std::regex prefix(R"(^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\]\[INF\]\[AgentMain:\d+\] )");
    EXPECT_TRUE(std::regex_search(log, prefix)) << log;
}

TEST_F(LauncherExe, BannerShowsInstalledVersionFromUpdateInfo) {
    dir.Write("UpdateInfo.ini", "[VER]\r\nVer=3.2.1.0\r\n");
    Run(L"-do=cfg");
    EXPECT_NE(Log().find("Main ver:3.2.1.0, Exe Ver:1.0.0.1, Last modified:"), std::string::npos) << Log();
}

TEST_F(LauncherExe, ModuleGetsTheWholeLineAfterTheLogIsClosed) {
    AddModule(L"test_client.dll", L"MeetingMgrClient.dll");
    dir.Write("client_result.txt", "1234");
    EXPECT_EQ(Run(L"-do=stop -x=1"), 1234);
    EXPECT_NE(Record().find("cmdline:-do=stop -x=1"), std::string::npos) << Record();
    EXPECT_NE(Record().find("ZOLTAMeeting.exe"), std::string::npos);
    // Every launcher line was on disk before the module wrote its own.
    const std::string log = Log();
    size_t clientLine = log.find("client module line\n");
    ASSERT_NE(clientLine, std::string::npos) << log;
    EXPECT_EQ(clientLine + std::string("client module line\n").size(), log.size());
    EXPECT_NE(log.find("LoadLibrary: MeetingMgrClient.dll!"), std::string::npos);
}

TEST_F(LauncherExe, CommandStringCallsItsModuleWithTheString) {
    AddModule(L"test_client.dll", L"QKNetMeeting.dll");
    const std::wstring cmd = EncodeCmdLine(L"QKMT:", L"-MEETTYPE=MAIN\n-MEET=42");
    EXPECT_EQ(Run(cmd), 5);
    EXPECT_NE(Record().find("cmdline:QKMT:"), std::string::npos) << Record();
}

TEST_F(LauncherExe, ModuleWithoutInitGivesMinusOneAndLeavesTheLogOpen) {
    AddModule(L"no_init_client.dll", L"MeetingMgrClient.dll");
    EXPECT_EQ(Run(L"-do=cfg"), -1);
    EXPECT_NE(Log().find("GetProcAddress for Init failed! (err:"), std::string::npos) << Log();
}

TEST_F(LauncherExe, UndecodableCommandStringIsAnError) {
    EXPECT_EQ(Run(L"qkmt:%%%"), -1);
    EXPECT_NE(Err().find("DecodeCmdLine failed!"), std::string::npos) << Err();
    EXPECT_NE(Err().find("[ERR][DownLoad:"), std::string::npos);
}

TEST_F(LauncherExe, CommandStringWithoutModuleTakesTheUpdaterPath) {
    EXPECT_EQ(RunFailingUpdate((dir.path() / "ZOLTAMeeting.exe").wstring(), L"-MEETTYPE=PSTN"), 2);
    EXPECT_NE(Log().find("do update!"), std::string::npos) << Log();
    EXPECT_NE(Log().find("CFileDownloadApp running..."), std::string::npos);
    EXPECT_NE(Log().find("no WEBSVR param!"), std::string::npos);
}

TEST_F(LauncherExe, EmptyUpdateParamIsRefused) {
    EXPECT_EQ(Run(L"-do=update"), -1);
    EXPECT_NE(Log().find("FileDownload null param!"), std::string::npos) << Log();
}

TEST_F(LauncherExe, HugeCommandLineDoesNotCrash) {
    // CreateProcess takes at most 32767 characters.
    EXPECT_EQ(Run(std::wstring(32000, L'a')), -1);
    EXPECT_NE(Log().find("CmdLine:aaaa"), std::string::npos);
}

TEST_F(LauncherExe, UnwritableLogFolderStillRuns) {
    // A file where the log folder should be: the log cannot open, nothing else changes.
    dir.Write("log", "not a folder");
    AddModule(L"test_client.dll", L"MeetingMgrClient.dll");
    EXPECT_EQ(Run(L""), 5);
    EXPECT_EQ(ReadFileBytes(dir.path() / "log"), "not a folder");
}

TEST_F(LauncherExe, RunningFromUpdateVerUsesTheParentAsAppDir) {
    fs::create_directories(dir.path() / "UpdateVer");
    fs::copy_file(dir.path() / "ZOLTAMeeting.exe", dir.path() / "UpdateVer" / "ZOLTAMeeting.exe");
    AddModule(L"test_client.dll", L"QKNetMeeting.dll");
    // The updater runs, not the module.
    EXPECT_EQ(RunFailingUpdate((dir.path() / "UpdateVer" / "ZOLTAMeeting.exe").wstring(), L"-MEETTYPE=MAIN"), 2);
    EXPECT_TRUE(Record().empty());
    EXPECT_NE(Log().find("do update!"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.path() / "UpdateVer" / "log"));
}

TEST_F(LauncherExe, DoFormsChooseTheirAction) {
    AddModule(L"test_client.dll", L"MeetingMgrClient.dll");
    AddModule(L"test_client.dll", L"QKPstnMeeting.dll");
    dir.Write("client_result.txt", "77");
    const std::wstring pstn = EncodeCmdLine(L"qkmt:", L"-MEETTYPE=PSTN");
    struct Case {
        std::wstring args;
        const char* expectedLine;
    } cases[] = {
        {L"-do=restart -param=" + pstn, "cmdline:qkmt:"},
        {L"-do=start -param=" + pstn, "cmdline:qkmt:"},
        {L"-do=Start -param=" + pstn, "cmdline:-do=Start -param=qkmt:"},
        {L"-do=stop", "cmdline:-do=stop"},
        {L"-do=cfg", "cmdline:-do=cfg"},
    };
    for (const Case& c : cases) {
        fs::remove(dir.path() / "client_record.txt");
        EXPECT_EQ(Run(c.args), 77);
        EXPECT_EQ(Record().rfind(c.expectedLine, std::string::npos), Record().find("cmdline:")) << Record();
        EXPECT_NE(Record().find(c.expectedLine), std::string::npos) << Record();
    }
}

TEST_F(LauncherExe, TvEditionSwitchesModules) {
    AddModule(L"test_client.dll", L"TVNetMeeting.dll");
    AddModule(L"test_client.dll", L"QKNetMeeting.dll");
    dir.Write("client_result.txt", "9");
    const std::wstring cmd = EncodeCmdLine(L"qkmt:", L"-MEETTYPE=MAIN");
    dir.Write("UserCfg.ini", "[CFG]\r\nTVVersion=1\r\n");
    EXPECT_EQ(Run(cmd), 9);
    EXPECT_NE(Log().find("LoadLibrary: TVNetMeeting.dll!"), std::string::npos);
    dir.Write("UserCfg.ini", "[CFG]\r\nTVVersion=0\r\n");
    EXPECT_EQ(Run(cmd), 9);
    EXPECT_NE(Log().find("LoadLibrary: QKNetMeeting.dll!"), std::string::npos);
}

TEST_F(LauncherExe, TalklaneBuildAlwaysCallsItsOwnModule) {
    fs::copy_file(TestBinDir() + L"TALKLANEMeeting.exe", dir.path() / "TALKLANEMeeting.exe");
    AddModule(L"test_client.dll", L"TALKLANEMeeting.dll");
    dir.Write("client_result.txt", "11");
    const std::wstring exe = (dir.path() / "TALKLANEMeeting.exe").wstring();
    EXPECT_EQ(RunAndWait(exe, EncodeCmdLine(L"qkmt:", L"-MEETTYPE=PSTN"), L""), 11);
    EXPECT_EQ(RunAndWait(exe, L"-do=cfg", L""), 11);
    EXPECT_EQ(Log().find("LoadLibrary: QKPstnMeeting.dll!"), std::string::npos);
    EXPECT_NE(Log().find("LoadLibrary: TALKLANEMeeting.dll!"), std::string::npos);
}
