// The commands of the update-info files and the moves of the local update,
// through whole updates: their order, their switches, their failures, and an
// installation left so that the next run repeats the update.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    ProgramOutcome stop;
    stop.action = [&] { seenByStop = app_.Read(ClientFileName(1)); };
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

TEST_F(LocalCommands, FailingSetupEndsWithTenAndTheNextRunRepeatsTheUpdate) {
    InstallVersion2(Commands2);
    PublishVersion3(Commands3);
    ProgramOutcome failing;
    failing.exitCode = 1;
    environment_->SetOutcome(L"check2.exe", failing);
    ProgramOutcome setupFails;
    setupFails.exitCode = 5;
    environment_->SetOutcome(L"setup3.exe", setupFails);

    EXPECT_EQ(Run(), URC_LOCAL_UPDATE_ERR);
    // The files stay applied, the installed version stays the old one.
    EXPECT_EQ(app_.Read(ClientFileName(1)), source_.Read(ClientFileName(1)));
    EXPECT_EQ(InstalledVersion(), L"2.0.0.0");
    const std::wstring dir = app_.Dir();
    EXPECT_EQ(environment_->RunCommandLines(),
              (std::vector<std::wstring>{dir + L"stop2.exe", dir + L"check2.exe -v", dir + L"setup3.exe -q"}));

    UseUpdaterAt(app_.Path(L"ZOLTAMeeting.exe"));
    environment_->SetOutcome(L"check2.exe", failing);
    SetVersionParameters(L"3.0.0.0");
    ASSERT_EQ(Run(), URC_NO_ERR);
    EXPECT_EQ(environment_->RunCommandLines(),
              (std::vector<std::wstring>{dir + L"check2.exe -v", dir + L"setup3.exe -q", dir + L"client3.exe"}));
    EXPECT_EQ(InstalledVersion(), L"3.0.0.0");
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

TEST_F(LocalCommands, DeleteThatMustSucceedEndsWithTwelve) {
    InstallVersion2(nullptr);
    // A folder with a file in it cannot be deleted as a file.
    app_.Write(L"bin\\stuck\\inner.txt", "x");
    app_.Write(L"bin\\loose\\inner.txt", "x");
    PublishVersion3([](SReleaseOptions& options) {
        options.removals = {{L"bin\\loose", false}, {L"bin\\stuck", true}};
    });
    EXPECT_EQ(Run(), URC_LOCAL_FILE_COPY_ERR);
    EXPECT_TRUE(app_.Exists(L"bin\\stuck\\inner.txt"));
    EXPECT_EQ(InstalledVersion(), L"2.0.0.0");
    EXPECT_EQ(environment_->Runs().size(), 0u);
}

TEST_F(LocalCommands, LockedDestinationEndsWithTwelveAfterItsRetries) {
    InstallVersion2(nullptr);
    PublishVersion3(nullptr);
    // file5's place is taken by a folder: neither the move nor the copies succeed.
    ASSERT_TRUE(DeleteFileRetry(app_.Path(ClientFileName(5)), true));
    app_.Write(ClientFileName(5) + L"\\inner.txt", "x");

    EXPECT_EQ(Run(), URC_LOCAL_FILE_COPY_ERR);
    // The files before it stay applied; the installed manifest stays old.
    EXPECT_EQ(app_.Read(ClientFileName(1)), source_.Read(ClientFileName(1)));
    EXPECT_EQ(InstalledVersion(), L"2.0.0.0");

    ASSERT_TRUE(RemoveTree(app_.Path(ClientFileName(5))));
    UseUpdaterAt(app_.Path(L"ZOLTAMeeting.exe"));
    SetVersionParameters(L"3.0.0.0");
    ASSERT_EQ(Run(), URC_NO_ERR);
    EXPECT_EQ(app_.Read(ClientFileName(5)), source_.Read(ClientFileName(5)));
    EXPECT_EQ(InstalledVersion(), L"3.0.0.0");
}

}  // namespace
