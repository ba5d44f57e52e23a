// The commands of the update-info files and the moves of the local update,
// through whole updates: their order, their switches, their failures, an
// installation rolled back to the previous release with the staged files
// kept, and the watchdog held while the commands run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "manifest/ini_profile.h"
#include "manifest/install_name.h"
#include "update/update_result.h"
#include "update_test_support.h"

namespace {

class LocalCommands : public UpdateWorkerFixture {
protected:
    // Version 2 installed with the given commands; the programs run so far forgotten.
    void InstallVersion2(const std::function<void(SReleaseOptions&)>& adjust) {
        WriteClient(8, 2);
        Publish(L"2.0.0.0", adjust);
        SetVersionParameters(L"2.0.0.0");
        ASSERT_EQ(Run(), URC_NO_ERR);
        UseUpdaterAt(app_.Path(L"ZOLTAMeeting.exe"));
    }
    // Version 3: files 1 and 5 change.
    void PublishVersion3(const std::function<void(SReleaseOptions&)>& adjust) {
        for (int i : {1, 5}) source_.Write(ClientFileName(i), ClientFileBytes(i, 3, 5000));
        Publish(L"3.0.0.0", adjust);
        SetVersionParameters(L"3.0.0.0");
    }
};

void Commands2(SReleaseOptions& options) {
    options.stopCmd = L"%APPDIR%stop2.exe";
    options.checkCmd = L"%APPDIR%check2.exe -v";
}

void Commands3(SReleaseOptions& options) {
    options.stopCmd = L"%APPDIR%stop3.exe";
    options.checkCmd = L"%APPDIR%check3.exe";
    options.setupCmd = L"%APPDIR%setup3.exe /WAIT_Ready /ADMIN -q";
    options.startCmd = L"%APPDIR%client3.exe /WAITIDLE";
}

TEST_F(LocalCommands, StopAndCheckFromTheInstalledVersionSetupFromTheNew) {
    InstallVersion2(Commands2);
    PublishVersion3(Commands3);
    const std::string old1 = app_.Read(ClientFileName(1));
    std::string seenByStop;
    std::string seenByCheck;
    bool busyWhileStopping = false;
    ProgramOutcome stop;
    stop.action = [&] {
        seenByStop = app_.Read(ClientFileName(1));
        busyWhileStopping = handle_->Busy();
    };
    environment_->SetOutcome(L"stop2.exe", stop);
    ProgramOutcome check;
    check.exitCode = 1;
    check.action = [&] { seenByCheck = app_.Read(ClientFileName(1)); };
    environment_->SetOutcome(L"check2.exe", check);

    ASSERT_EQ(Run(), URC_NO_ERR);

    const std::wstring dir = app_.Dir();
    EXPECT_EQ(environment_->RunCommandLines(),
              (std::vector<std::wstring>{dir + L"stop2.exe", dir + L"check2.exe -v", dir + L"setup3.exe -q",
                                         dir + L"client3.exe"}));
    const std::vector<RecordedRun> runs = environment_->Runs();
    EXPECT_EQ(runs[0].waitMode, L"WAITEXIT");
    EXPECT_FALSE(runs[0].asAdmin);
    EXPECT_EQ(runs[2].waitMode, L"WAIT_Ready");
    EXPECT_TRUE(runs[2].asAdmin);
    EXPECT_EQ(runs[3].waitMode, L"WAITIDLE");
    // The stop command ran before the first file moved, the check after the section.
    EXPECT_EQ(seenByStop, old1);
    EXPECT_EQ(seenByCheck, source_.Read(ClientFileName(1)));
    EXPECT_EQ(InstalledVersion(), L"3.0.0.0");
    // No watchdog stops a command, however long it runs: the start-up
    // check for an unfinished apply, the apply and the start were busy.
    EXPECT_TRUE(busyWhileStopping);
    EXPECT_EQ(handle_->BusySteps(), 3);
    EXPECT_FALSE(handle_->Busy());
}

TEST_F(LocalCommands, UnchangedSectionRunsTheCheckButNoStop) {
    InstallVersion2(Commands2);
    Publish(L"3.0.0.0", Commands3);
    SetVersionParameters(L"3.0.0.0");
    ASSERT_EQ(Run(), URC_NO_ERR);
    const std::wstring dir = app_.Dir();
    EXPECT_EQ(environment_->RunCommandLines(),
              (std::vector<std::wstring>{dir + L"check2.exe -v", dir + L"client3.exe"}));
    EXPECT_EQ(InstalledVersion(), L"3.0.0.0");
}

TEST_F(LocalCommands, FailingSetupEndsWithTenRolledBackAndTheNextRunFetchesNothingAgain) {
    InstallVersion2(Commands2);
    const std::vector<std::wstring> release2 = InstalledFiles();
    const std::string old1 = app_.Read(ClientFileName(1));
    PublishVersion3(Commands3);
    ProgramOutcome failing;
    failing.exitCode = 1;
    environment_->SetOutcome(L"check2.exe", failing);
    ProgramOutcome setupFails;
    setupFails.exitCode = 5;
    environment_->SetOutcome(L"setup3.exe", setupFails);

    EXPECT_EQ(Run(), URC_LOCAL_UPDATE_ERR);
    // The previous release is back in place, the new files wait in UpdateVer\.
    EXPECT_EQ(app_.Read(ClientFileName(1)), old1);
    EXPECT_EQ(InstalledFiles(), release2);
    EXPECT_EQ(InstalledVersion(), L"2.0.0.0");
    EXPECT_EQ(app_.Read(L"UpdateVer\\" + ClientFileName(1)), source_.Read(ClientFileName(1)));
    const std::wstring dir = app_.Dir();
    EXPECT_EQ(environment_->RunCommandLines(),
              (std::vector<std::wstring>{dir + L"stop2.exe", dir + L"check2.exe -v", dir + L"setup3.exe -q"}));

    const int fetched1 = RequestsFor(ServerPath("3.0.0.0", 1));
    const int fetched5 = RequestsFor(ServerPath("3.0.0.0", 5));
    UseUpdaterAt(app_.Path(L"ZOLTAMeeting.exe"));
    environment_->SetOutcome(L"check2.exe", failing);
    SetVersionParameters(L"3.0.0.0");
    ASSERT_EQ(Run(), URC_NO_ERR);
    EXPECT_EQ(environment_->RunCommandLines(), (std::vector<std::wstring>{dir + L"stop2.exe", dir + L"check2.exe -v",
                                                                          dir + L"setup3.exe -q", dir + L"client3.exe"}));
    EXPECT_EQ(InstalledVersion(), L"3.0.0.0");
    EXPECT_EQ(app_.Read(ClientFileName(1)), source_.Read(ClientFileName(1)));
    EXPECT_EQ(RequestsFor(ServerPath("3.0.0.0", 1)), fetched1);
    EXPECT_EQ(RequestsFor(ServerPath("3.0.0.0", 5)), fetched5);
}

TEST_F(LocalCommands, FailingOrEmptyStartEndsWithElevenWithoutMeetinfo) {
    InstallVersion2(nullptr);
    ASSERT_TRUE(app_.Exists(L"meetinfo"));
    ProgramOutcome failing;
    failing.exitCode = 3;
    environment_->SetOutcome(L"client.exe", failing);
    SetVersionParameters(L"2.0.0.0");
    EXPECT_EQ(Run(), URC_START_MEET_ERR);
    EXPECT_FALSE(app_.Exists(L"meetinfo"));

    UseUpdaterAt(app_.Path(L"ZOLTAMeeting.exe"));
    ProgramOutcome notStarted;
    notStarted.startError = 2;
    environment_->SetOutcome(L"client.exe", notStarted);
    SetVersionParameters(L"2.0.0.0");
    EXPECT_EQ(Run(), URC_START_MEET_ERR);

    // A manifest without a start command: the start still runs, and fails.
    PublishVersion3([](SReleaseOptions& options) { options.startCmd = L"  "; });
    UseUpdaterAt(app_.Path(L"ZOLTAMeeting.exe"));
    EXPECT_EQ(Run(), URC_START_MEET_ERR);
    ASSERT_EQ(environment_->Runs().size(), 1u);
    EXPECT_EQ(environment_->Runs()[0].commandLine, L"");
    EXPECT_EQ(InstalledVersion(), L"3.0.0.0");
}

TEST_F(LocalCommands, DoWhenExistRunsOnlyPresentPrograms) {
    InstallVersion2([](SReleaseOptions& options) {
        options.checkCmd = L"%APPDIR%missing.exe /DOWHENEXIST";
        options.stopCmd = L"\"%APPDIR%tool.exe\" /DOWHENEXIST stop";
    });
    app_.Write(L"tool.exe", "a program");
    PublishVersion3([](SReleaseOptions& options) { options.setupCmd = L"%APPDIR%setup3.exe"; });
    ASSERT_EQ(Run(), URC_NO_ERR);
    const std::wstring dir = app_.Dir();
    EXPECT_EQ(environment_->RunCommandLines(),
              (std::vector<std::wstring>{L"\"" + dir + L"tool.exe\" stop", dir + L"client.exe -start"}));
}

TEST_F(LocalCommands, DeleteThatMustSucceedEndsWithTwelveRolledBack) {
    InstallVersion2(nullptr);
    const std::string old1 = app_.Read(ClientFileName(1));
    // A folder with a file in it cannot be deleted as a file.
    app_.Write(L"bin\\stuck\\inner.txt", "x");
    app_.Write(L"bin\\loose\\inner.txt", "x");
    PublishVersion3([](SReleaseOptions& options) {
        options.removals = {{L"bin\\loose", false}, {L"bin\\stuck", true}};
    });
    EXPECT_EQ(Run(), URC_LOCAL_FILE_COPY_ERR);
    EXPECT_TRUE(app_.Exists(L"bin\\stuck\\inner.txt"));
    EXPECT_TRUE(app_.Exists(L"bin\\loose\\inner.txt"));
    EXPECT_EQ(app_.Read(ClientFileName(1)), old1);
    EXPECT_EQ(InstalledVersion(), L"2.0.0.0");
    EXPECT_EQ(environment_->Runs().size(), 0u);
}

TEST_F(LocalCommands, DirectoryWhereAFileGoesEndsWithTwelveRolledBack) {
    InstallVersion2(nullptr);
    const std::string old1 = app_.Read(ClientFileName(1));
    PublishVersion3(nullptr);
    // file5's place is taken by a folder: it is neither moved aside nor replaced.
    ASSERT_TRUE(DeleteFileRetry(app_.Path(ClientFileName(5)), true));
    app_.Write(ClientFileName(5) + L"\\inner.txt", "x");

    EXPECT_EQ(Run(), URC_LOCAL_FILE_COPY_ERR);
    EXPECT_EQ(app_.Read(ClientFileName(1)), old1);
    EXPECT_EQ(app_.Read(ClientFileName(5) + L"\\inner.txt"), "x");
    EXPECT_EQ(InstalledVersion(), L"2.0.0.0");

    ASSERT_TRUE(RemoveTree(app_.Path(ClientFileName(5))));
    UseUpdaterAt(app_.Path(L"ZOLTAMeeting.exe"));
    SetVersionParameters(L"3.0.0.0");
    ASSERT_EQ(Run(), URC_NO_ERR);
    EXPECT_EQ(app_.Read(ClientFileName(5)), source_.Read(ClientFileName(5)));
    EXPECT_EQ(InstalledVersion(), L"3.0.0.0");
    EXPECT_FALSE(app_.Exists(kUndoFolderName));
}

TEST_F(LocalCommands, AFileListedTwiceIsAppliedOnce) {
    InstallVersion2(nullptr);
    for (int i : {1, 5}) source_.Write(ClientFileName(i), ClientFileBytes(i, 3, 5000));
    const std::map<std::string, std::string> release = Publish(L"3.0.0.0");
    // The same file entry under a second key of the main section.
    FileFolder edit;
    const std::wstring manifest = edit.Path(L"UpdateInfo.ini");
    ASSERT_TRUE(WriteWholeFile(manifest, release.at("/UpdateInfo.ini.3.0.0.0")));
    CIniFile ini;
    ini.SetFile(manifest);
    SIniSection main;
    ASSERT_TRUE(ini.GetSection(L"MAIN", main));
    std::wstring entry;
    for (const SIniEntry& job : main.entries) {
        if (job.value.find(ClientFileName(1)) != std::wstring::npos) entry = job.value;
    }
    ASSERT_FALSE(entry.empty());
    ASSERT_TRUE(WriteProfileValue(L"MAIN", L"Job_again", entry.c_str(), manifest));
    PutRelease(network_, kMirrors, {{"/UpdateInfo.ini.3.0.0.0", edit.Read(L"UpdateInfo.ini")}});
    SetVersionParameters(L"3.0.0.0");

    ASSERT_EQ(Run(), URC_NO_ERR);
    EXPECT_EQ(app_.Read(ClientFileName(1)), source_.Read(ClientFileName(1)));
    EXPECT_EQ(InstalledVersion(), L"3.0.0.0");
}

}  // namespace
