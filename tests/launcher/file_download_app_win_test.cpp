// The updater application: the single-updater rule across processes, its
// start-up checks and texts, and the crash dump, with real processes
// (ZOLTAMeeting.exe, updater_probe.exe) under the real system.
#include "launcher/file_download_app.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <regex>
#include <string>

#include "captured_trace_log.h"
#include "child_process.h"
#include "dump_trailer.h"
#include "launcher/share_mem.h"
#include "launcher/updater_record.h"
#include "running_program_win.h"
#include "temp_dir.h"
#include "util/code_page.h"
#include "vocabulary/command_string.h"

namespace fs = std::filesystem;

namespace {

const int kAccessViolation = static_cast<int>(0xC0000005u);
const char kKillLine[] = "CFileDownloadApp: kill pre-FileUpdate pid:";
// Writing a minidump under Wine on a busy machine takes a while; the bound
// only tells a hang from a slow dump.
const unsigned kCrashRunLimitMs = 300000;

std::wstring DecodableCommand() { return EncodeCmdLine(L"qkmt:", L"-MEETTYPE=MAIN\n-MEET=42"); }

// Holds the updaters' shared memory open for the whole test, so that what
// the processes under test leave in it stays there after they end.
class UpdaterRegistry : public ::testing::Test {
protected:
    ShareMem registry;
    ScopedTempDir dir;

    void SetUp() override {
        ASSERT_EQ(registry.Open(CFileDownloadApp::kShareMemName, CFileDownloadApp::kShareMemSize), 0);
        Store(0);
    }
    void TearDown() override { Store(0); }

    uint32_t Stored() {
        ShareMemLock lock(registry);
        uint32_t id = 0;
        std::memcpy(&id, registry.Data(), sizeof id);
        return id;
    }
    // The id alone, as an updater that keeps no creation time writes it.
    void Store(uint32_t id) {
        ShareMemLock lock(registry);
        WriteUpdaterRecord(registry.Data(), 0, 0);
        std::memcpy(registry.Data(), &id, sizeof id);
    }
    void StoreWithTime(uint32_t id, uint64_t creationTime) {
        ShareMemLock lock(registry);
        WriteUpdaterRecord(registry.Data(), id, creationTime);
    }

    std::wstring Install(const wchar_t* program) {
        const fs::path target = dir.path() / program;
        if (!fs::exists(target)) fs::copy_file(TestBinDir() + program, target);
        return target.wstring();
    }
    std::wstring Probe() { return Install(L"updater_probe.exe"); }
    std::wstring Launcher() { return Install(L"ZOLTAMeeting.exe"); }
    std::string Log() const { return ReadFileBytes(dir.path() / "log" / "QKMeeting.log"); }
};

class ReleaseEvent {
public:
    explicit ReleaseEvent(const std::wstring& name)
        : name_(name + L"-" + std::to_wstring(GetCurrentProcessId())),
          event_(CreateEventW(nullptr, TRUE, FALSE, name_.c_str())) {}
    ~ReleaseEvent() { CloseHandle(event_); }
    const std::wstring& name() const { return name_; }
    void Set() { SetEvent(event_); }

private:
    std::wstring name_;
    HANDLE event_;
};

}  // namespace

// In this process: the rule applied to the test program itself.

TEST_F(UpdaterRegistry, StopOtherRegistersAndExitInstanceUnregisters) {
    CFileDownloadApp app;
    ASSERT_TRUE(app.StopOther());
    EXPECT_EQ(Stored(), GetCurrentProcessId());
    app.ExitInstance();
    EXPECT_EQ(Stored(), 0u);
}

TEST_F(UpdaterRegistry, ExitInstanceLeavesANewerUpdaterRegistered) {
    RunningProgram newer(TestBinDir() + L"idle_program.exe", L"");
    ASSERT_TRUE(newer.started());
    CFileDownloadApp app;
    ASSERT_TRUE(app.StopOther());
    Store(newer.id());
    app.ExitInstance();
    EXPECT_EQ(Stored(), newer.id());
    EXPECT_TRUE(newer.Running());
}

TEST_F(UpdaterRegistry, StaleIdOfARunningProgramIsReplacedAndNothingKilled) {
    RunningProgram other(TestBinDir() + L"idle_program.exe", L"");
    ASSERT_TRUE(other.started());
    Store(other.id());
    CapturedTraceLog log;
    CFileDownloadApp app;
    ASSERT_TRUE(app.StopOther());
    EXPECT_EQ(Stored(), GetCurrentProcessId());
    EXPECT_TRUE(other.Running());
    const std::string text = log.Text();
    EXPECT_NE(text.find(kKillLine + std::to_string(other.id())), std::string::npos) << text;
    EXPECT_NE(text.find("is not an updater ("), std::string::npos) << text;
    EXPECT_NE(text.find("idle_program.exe), id replaced"), std::string::npos) << text;
    app.ExitInstance();
}

TEST_F(UpdaterRegistry, ReusedIdOfARunningProgramIsNeverTerminated) {
    // A program of an updater's file name, started after the updater that
    // registered its id had ended: the creation time tells them apart.
    const fs::path reused = dir.path() / "VeltranePrepair.exe";
    fs::copy_file(TestBinDir() + L"idle_program.exe", reused);
    RunningProgram other(reused.wstring(), L"");
    ASSERT_TRUE(other.started());
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, other.id());
    ASSERT_NE(process, nullptr);
    FILETIME creation, exit, kernel, user;
    ASSERT_TRUE(GetProcessTimes(process, &creation, &exit, &kernel, &user));
    CloseHandle(process);
    const uint64_t started = (static_cast<uint64_t>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime;
    const uint64_t oneSecond = 10000000;
    StoreWithTime(other.id(), started - oneSecond);
    CapturedTraceLog log;
    CFileDownloadApp app;
    ASSERT_TRUE(app.StopOther());
    EXPECT_EQ(Stored(), GetCurrentProcessId());
    EXPECT_TRUE(other.Running());
    EXPECT_NE(log.Text().find("VeltranePrepair.exe), id replaced"), std::string::npos) << log.Text();
    app.ExitInstance();
    EXPECT_EQ(Stored(), 0u);
}

TEST_F(UpdaterRegistry, StaleIdOfAnEndedProcessIsReplaced) {
    CapturedTraceLog log;
    CFileDownloadApp app;
    // Windows forgets an ended process once its last handle is closed, and
    // OpenProcess fails; Wine 8 still opens it, and the name rule applies.
    DWORD gone = 0;
    {
        RunningProgram ended(TestBinDir() + L"idle_program.exe", L"");
        ASSERT_TRUE(ended.started());
        gone = ended.id();
    }  // terminated, its last handle closed
    Store(gone);
    ASSERT_TRUE(app.StopOther());
    EXPECT_EQ(Stored(), GetCurrentProcessId());

    // Ended, and still known to the system through a handle held here.
    RunningProgram held(TestBinDir() + L"idle_program.exe", L"");
    ASSERT_TRUE(held.started());
    held.Terminate(7);
    ASSERT_EQ(held.Wait(), 7);
    Store(held.id());
    ASSERT_TRUE(app.StopOther());
    EXPECT_EQ(Stored(), GetCurrentProcessId());

    // An id no process has: it cannot be opened at all.
    const uint32_t neverUsed = 0x7FFFFFFC;
    Store(neverUsed);
    ASSERT_TRUE(app.StopOther());
    EXPECT_EQ(Stored(), GetCurrentProcessId());

    const std::string text = log.Text();
    EXPECT_NE(text.find(kKillLine + std::to_string(neverUsed) + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("CFileDownloadApp: Open pre-FileUpdate failed! errCode:"), std::string::npos) << text;
    EXPECT_EQ(text.find("Terminate preFileUpdate failed"), std::string::npos) << text;
    app.ExitInstance();
}

TEST_F(UpdaterRegistry, OwnIdStoredBeforeIsKeptWithoutStoppingAnything) {
    Store(GetCurrentProcessId());
    CapturedTraceLog log;
    CFileDownloadApp app;
    ASSERT_TRUE(app.StopOther());
    EXPECT_EQ(Stored(), GetCurrentProcessId());
    EXPECT_EQ(log.Text().find(kKillLine), std::string::npos);
    app.ExitInstance();
}

// Separate processes: two updaters of one program.

TEST_F(UpdaterRegistry, SecondUpdaterTerminatesTheFirstAndTakesOver) {
    ReleaseEvent releaseFirst(L"zm-probe-first");
    ReleaseEvent releaseSecond(L"zm-probe-second");
    RunningProgram first(Probe(), L"hold " + DecodableCommand() + L" " + releaseFirst.name());
    ASSERT_TRUE(first.started());
    ASSERT_TRUE(WaitFor([&] { return Stored() == first.id(); }));

    RunningProgram second(Probe(), L"hold " + DecodableCommand() + L" " + releaseSecond.name());
    ASSERT_TRUE(second.started());
    // Terminated, with the new updater's id as its exit code.
    EXPECT_EQ(first.Wait(), static_cast<int>(second.id()));
    ASSERT_TRUE(WaitFor([&] { return Stored() == second.id(); }));
    EXPECT_NE(Log().find(kKillLine + std::to_string(first.id())), std::string::npos) << Log();

    releaseSecond.Set();
    EXPECT_EQ(second.Wait(), 0);
    EXPECT_EQ(Stored(), 0u);
}

TEST_F(UpdaterRegistry, UpdaterOfAnotherFileNameIsEndedAndOnlyOneWorks) {
    // The older copy of the updater, then the launcher: the first registered
    // with its creation time, so its other file name does not matter.
    ReleaseEvent release(L"zm-probe-older");
    const fs::path older = dir.path() / "VeltranePrepair.exe";
    fs::copy_file(Probe(), older);
    RunningProgram first(older.wstring(), L"hold " + DecodableCommand() + L" " + release.name());
    ASSERT_TRUE(first.started());
    ASSERT_TRUE(WaitFor([&] { return Stored() == first.id(); }));

    RunningProgram launcher(Launcher(), L"-do=update -param=qkmt:%%%");
    EXPECT_EQ(first.Wait(), static_cast<int>(launcher.id()));
    const MessageBoxSeen box = WaitForMessageBox(launcher.id());
    ASSERT_NE(box.window, nullptr);
    EXPECT_EQ(Stored(), launcher.id());
    CloseMessageBox(box);
    EXPECT_EQ(launcher.Wait(), -1);
    EXPECT_NE(Log().find(kKillLine + std::to_string(first.id())), std::string::npos) << Log();
}

// The real launcher: the box of an undecodable command string.

TEST_F(UpdaterRegistry, TwoLaunchersWithInvalidParametersShowTheErrorBox) {
    dir.Write("UserCfg.ini", "[CFG]\r\nLanguage=zh_CN\r\n");
    RunningProgram first(Launcher(), L"-do=update -param=qkmt:%%%");
    const MessageBoxSeen firstBox = WaitForMessageBox(first.id());
    ASSERT_NE(firstBox.window, nullptr);
    // The language is still the default: decoding failed before it was read.
    EXPECT_EQ(firstBox.caption, L"Error");
    EXPECT_EQ(firstBox.text.rfind(L"Invalid parameters!", 0), 0u) << WideToUtf8(firstBox.text);
    EXPECT_EQ(Stored(), first.id());

    RunningProgram second(Launcher(), L"-do=update -param=qkmt:%%%");
    EXPECT_EQ(first.Wait(), static_cast<int>(second.id()));
    const MessageBoxSeen secondBox = WaitForMessageBox(second.id());
    ASSERT_NE(secondBox.window, nullptr);
    EXPECT_EQ(secondBox.caption, L"Error");
    EXPECT_EQ(Stored(), second.id());
    CloseMessageBox(secondBox);
    EXPECT_EQ(second.Wait(), -1);
    // A failed start runs no ExitInstance: the id stays, stale, for the next updater to replace.
    EXPECT_EQ(Stored(), second.id());

    const std::string log = Log();
    EXPECT_NE(log.find(kKillLine + std::to_string(first.id())), std::string::npos) << log;
    EXPECT_NE(log.find("unknow decode cmdstr!"), std::string::npos) << log;
}

TEST_F(UpdaterRegistry, EmptyCommandStringEndsWithoutBoxOrRegistration) {
    RunningProgram probe(Probe(), L"params \"\"");
    EXPECT_EQ(probe.Wait(), 1);
    EXPECT_EQ(Stored(), 0u);
    EXPECT_NE(Log().find("[INF][DownLoad:"), std::string::npos);
    EXPECT_NE(Log().find("FileDownload null param!"), std::string::npos) << Log();
}

// What a decoded command string selects.

namespace {

struct LanguageCase {
    const char* userCfg;  // null: no UserCfg.ini
    const char* message6;
    const char* meeting;
};

}  // namespace

TEST_F(UpdaterRegistry, DecodedParametersForceTheProductAndTakeTheLanguageOfUserCfg) {
    const LanguageCase cases[] = {
        {"[CFG]\r\nLanguage=zh_CN\r\n", "\xe9\x94\x99\xe8\xaf\xaf", "\xe4\xbc\x9a\xe8\xae\xae"},
        {"[CFG]\r\nLanguage=en_US\r\n", "Error", "Meeting"},
        {nullptr, "\xe9\x94\x99\xe8\xaf\xaf", "\xe4\xbc\x9a\xe8\xae\xae"},
        {"[CFG]\r\nLanguage=zh_cn\r\n", "Error", "Meeting"},
    };
    const std::wstring command = EncodeCmdLine(L"qkmt:", L"-MEETTYPE=MAIN\n-PRODUCT=mac_net\n");
    for (const LanguageCase& c : cases) {
        fs::remove(dir.path() / "UserCfg.ini");
        if (c.userCfg) dir.Write("UserCfg.ini", c.userCfg);
        fs::remove(dir.path() / "probe.txt");
        RunningProgram probe(Probe(), L"params " + command);
        ASSERT_EQ(probe.Wait(), 0) << (c.userCfg ? c.userCfg : "no UserCfg.ini");
        EXPECT_EQ(ReadFileBytes(dir.path() / "probe.txt"),
                  std::string("product=win32_net\nmessage6=") + c.message6 + "\nmeeting=" + c.meeting + "\n");
        EXPECT_EQ(Stored(), 0u);
    }
    EXPECT_NE(Log().find("Err language type: zh_cn!"), std::string::npos) << Log();
}

// The shared memory's mutex name taken by another kind of object.

TEST(FileDownloadAppStart, SharedMemoryThatCannotOpenStopsWithoutABox) {
    HANDLE squatter = CreateEventA(nullptr, TRUE, FALSE, "QKFileDownloadMut");
    ASSERT_NE(squatter, nullptr);
    ASSERT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "another updater is running";
    ScopedTempDir dir;
    fs::copy_file(TestBinDir() + L"ZOLTAMeeting.exe", dir.path() / "ZOLTAMeeting.exe");
    // A box would keep the process waiting until RunAndWait gives up.
    EXPECT_EQ(RunAndWait((dir.path() / "ZOLTAMeeting.exe").wstring(), L"-do=update -param=" + DecodableCommand(),
                         L""),
              -1);
    CloseHandle(squatter);
    const std::string log = ReadFileBytes(dir.path() / "log" / "QKMeeting.log");
    EXPECT_NE(log.find("CFileDownloadApp: Open FILEDOWNLOAD_SHAREMEM_NAME failed! errCode:6"), std::string::npos)
        << log;
    EXPECT_NE(log.find("[WAR][DownLoad:"), std::string::npos);
    EXPECT_NE(log.find("FileDownload stop other failed!"), std::string::npos);
}

TEST(ShareMem, OpenRefusesWhatItCannotMake) {
    ShareMem memory;
    EXPECT_EQ(memory.Open(std::string(260, 'n'), 128), ERROR_FILENAME_EXCED_RANGE);
    EXPECT_FALSE(memory.IsOpen());
    HANDLE squatter = CreateEventA(nullptr, TRUE, FALSE, "zm-test-sharemem-squatMut");
    ASSERT_NE(squatter, nullptr);
    EXPECT_EQ(memory.Open("zm-test-sharemem-squat", 128), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(memory.IsOpen());
    EXPECT_EQ(memory.Data(), nullptr);
    CloseHandle(squatter);
}

TEST(ShareMem, OpeningsShareTheBlockAndANewBlockIsZero) {
    const std::string name = "zm-test-sharemem-" + std::to_string(GetCurrentProcessId());
    {
        ShareMem first;
        ASSERT_EQ(first.Open(name, 128), 0);
        EXPECT_EQ(first.Size(), 128u);
        std::memset(first.Data(), 0x5A, 128);
        ShareMem second;
        ASSERT_EQ(second.Open(name, 128), 0);
        EXPECT_EQ(static_cast<unsigned char*>(second.Data())[127], 0x5A);
    }
    ShareMem again;
    ASSERT_EQ(again.Open(name, 128), 0);
    const std::string zeros(128, '\0');
    EXPECT_EQ(std::memcmp(again.Data(), zeros.data(), 128), 0);
}

// Crash dumps of the updater.

namespace {

// Checks the comment lines of a dump trailer that come from the installation.
void ExpectEveryLabel(const std::string& trailer, const std::string& pcid) {
    EXPECT_EQ(trailer.rfind("\nException code:0xC0000005\nFault address:0x", 0), 0u) << trailer.substr(0, 200);
    EXPECT_NE(trailer.find("\nModule:updater_probe.exe\nMeetVer:4.3.2.1\nExeVer:1.0.0.1\nDumpTime:"),
              std::string::npos)
        << trailer.substr(0, 400);
    EXPECT_TRUE(std::regex_search(trailer, std::regex(R"(\nDumpTime:\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\nPCID:)")));
    EXPECT_NE(trailer.find("\nPCID:" + pcid + "\nExePath:"), std::string::npos);
    EXPECT_TRUE(std::regex_search(trailer, std::regex(R"(\nExePath:[^\n]*\\updater_probe\.exe\nLastLogData:)",
                                                      std::regex::icase)));
}

}  // namespace

TEST_F(UpdaterRegistry, CrashWritesTheDumpWithEveryLabelAndASecondReplacesIt) {
    dir.Write("UpdateInfo.ini", "[VER]\r\nVer=4.3.2.1\r\n");
    dir.Write("UserCfg.ini", "[CFG]\r\nLanguage=en_US\r\nUsrID=pc-1234\r\n");
    EXPECT_EQ(RunAndWait(Probe(), L"crash " + DecodableCommand(), L"", kCrashRunLimitMs), kAccessViolation);

    const fs::path dump = dir.path() / "log" / "FileDownload.dmp";
    std::string file = ReadFileBytes(dump);
    EXPECT_EQ(file.substr(0, 4), "MDMP");
    std::string trailer;
    ASSERT_TRUE(ReadDumpTrailer(file, trailer)) << file.size();
    ExpectEveryLabel(trailer, "pc-1234");
    // The log tail was flushed first: it ends with the line naming the dump.
    const size_t tail = trailer.find("\nLastLogData:");
    ASSERT_NE(tail, std::string::npos);
    EXPECT_NE(trailer.find("CFileDownloadApp running... (pid:", tail), std::string::npos);
    const size_t dumpedLine = trailer.find("[ERR][DownLoad:", tail);
    ASSERT_NE(dumpedLine, std::string::npos) << trailer.substr(tail);
    EXPECT_NE(trailer.find("app dumped to: ", dumpedLine), std::string::npos);
    EXPECT_EQ(trailer.substr(trailer.size() - 18), "FileDownload.dmp\n\n");
    EXPECT_NE(ReadFileBytes(dir.path() / "log" / "QKMeeting.err").find("app dumped to: "), std::string::npos);

    dir.Write("UserCfg.ini", "[CFG]\r\nLanguage=en_US\r\nUsrID=pc-5678\r\n");
    EXPECT_EQ(RunAndWait(Probe(), L"crash " + DecodableCommand(), L"", kCrashRunLimitMs), kAccessViolation);
    file = ReadFileBytes(dump);
    EXPECT_EQ(file.substr(0, 4), "MDMP");
    ASSERT_TRUE(ReadDumpTrailer(file, trailer));
    ExpectEveryLabel(trailer, "pc-5678");
    EXPECT_EQ(file.find("pc-1234"), std::string::npos);
}

TEST_F(UpdaterRegistry, CrashOnTheLogWriterStillWritesTheDumpAndEnds) {
    dir.Write("UpdateInfo.ini", "[VER]\r\nVer=4.3.2.1\r\n");
    dir.Write("UserCfg.ini", "[CFG]\r\nUsrID=pc-w\r\n");
    // 5: the writer could not be redirected; INT_MIN: the process lived on.
    EXPECT_EQ(RunAndWait(Probe(), L"crash-writer " + DecodableCommand(), L"", kCrashRunLimitMs), kAccessViolation);
    const std::string file = ReadFileBytes(dir.path() / "log" / "FileDownload.dmp");
    EXPECT_EQ(file.substr(0, 4), "MDMP");
    std::string trailer;
    ASSERT_TRUE(ReadDumpTrailer(file, trailer)) << file.size();
    ExpectEveryLabel(trailer, "pc-w");
    // The writer cannot flush the log for itself: no tail.
    EXPECT_EQ(trailer.substr(trailer.size() - 14), "\nLastLogData:\n");
}
