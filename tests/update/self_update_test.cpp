// The hand-off to a newer updater: the first process fetches the new updater
// and starts it with its parameters in the form its version expects; the
// copy started from "UpdateVer\" finishes the update and replaces the
// updater of the installation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "update/update_result.h"
#include "update_test_support.h"

namespace {

const std::string kNewUpdater = "the updater of the new version";

class SelfUpdate : public UpdateWorkerFixture {
protected:
    void SetUp() override {
        UpdateWorkerFixture::SetUp();
        WriteClient(5, 2);
        source_.Write(L"ZOLTAMeeting.exe", kNewUpdater);
        app_.Write(L"ZOLTAMeeting.exe", "the installed updater");
    }
    // The command string that the first process handed on: its program
    // path and its decoded parameters.
    void HandedOn(std::wstring& program, std::wstring& rest, std::wstring& parameters) {
        const std::vector<std::wstring> started = environment_->Started();
        ASSERT_EQ(started.size(), 1u);
        const std::wstring& line = started[0];
        ASSERT_EQ(line[0], L'"');
        const size_t quote = line.find(L'"', 1);
        program = line.substr(1, quote - 1);
        rest = line.substr(quote + 1);
        const size_t scheme = rest.find(L"qkmt:");
        ASSERT_NE(scheme, std::wstring::npos);
        std::wstring prefix;
        ASSERT_TRUE(DecodeCmdLine(rest.substr(scheme), prefix, parameters));
        rest.erase(scheme);
    }
    // Runs the second process as the first one started it.
    int RunHandedOn(const std::wstring& program, const std::wstring& parameters) {
        UseUpdaterAt(program);
        SetUpdaterParameters(parameters);
        return Run();
    }
};

TEST_F(SelfUpdate, BelowTwoFiveTheNewUpdaterTakesTheBareCommandStringWithDir) {
    Publish(L"2.4.9");
    app_.Write(L"VeltranePrepair.exe", "an older copy");
    SetVersionParameters(L"2.4.9");

    ASSERT_EQ(Run(), static_cast<int>(RecordingUpdateEnvironment::kNewProcessId));
    std::wstring program, rest, parameters;
    HandedOn(program, rest, parameters);
    EXPECT_EQ(program, app_.Dir() + L"UpdateVer\\ZOLTAMeeting.exe");
    EXPECT_EQ(rest, L" ");
    EXPECT_EQ(parameters,
              L"-DIR=1\n-MEET=8801;x\n-PRODUCT=win32_net\n-SPVER=pc-2.4.9\n-UPURL=mirror1;mirror2;mirror3\n");
    // Only the updater came; nothing is installed yet and nothing started.
    EXPECT_EQ(app_.Read(L"UpdateVer\\ZOLTAMeeting.exe"), kNewUpdater);
    EXPECT_EQ(RequestsFor(ServerPath("2.4.9", 0)), 0);
    EXPECT_FALSE(app_.Exists(L"UpdateInfo.ini"));
    EXPECT_EQ(app_.Read(L"ZOLTAMeeting.exe"), "the installed updater");
    EXPECT_TRUE(environment_->Runs().empty());
    const int updaterRequests = RequestsFor("/2.4.9/ZOLTAMeeting.exe");
    EXPECT_GT(updaterRequests, 0);

    ASSERT_EQ(RunHandedOn(program, parameters), URC_NO_ERR);
    EXPECT_TRUE(environment_->Started().empty());
    EXPECT_EQ(app_.Read(L"ZOLTAMeeting.exe"), kNewUpdater);
    EXPECT_EQ(app_.Read(L"VeltranePrepair.exe"), kNewUpdater);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(app_.Read(ClientFileName(i)), source_.Read(ClientFileName(i))) << i;
    EXPECT_EQ(RequestsFor("/2.4.9/ZOLTAMeeting.exe"), updaterRequests);
    EXPECT_FALSE(app_.Exists(L"UpdateVer\\ZOLTAMeeting.exe"));
    EXPECT_EQ(environment_->RunCommandLines(), std::vector<std::wstring>{app_.Dir() + L"client.exe -start"});
    EXPECT_NE(DecodedParameters(app_.Read(L"meetinfo")).find(L"-DIR=1\n"), std::wstring::npos);
}

TEST_F(SelfUpdate, FromTwoFiveTheNewUpdaterTakesTheUpdateSwitch) {
    Publish(L"2.5.0");
    SetVersionParameters(L"2.5.0");

    ASSERT_EQ(Run(), static_cast<int>(RecordingUpdateEnvironment::kNewProcessId));
    std::wstring program, rest, parameters;
    HandedOn(program, rest, parameters);
    EXPECT_EQ(rest, L" -do=update -param=");
    EXPECT_EQ(parameters, L"-MEET=8801;x\n-PRODUCT=win32_net\n-SPVER=pc-2.5.0\n-UPURL=mirror1;mirror2;mirror3\n");

    ASSERT_EQ(RunHandedOn(program, parameters), URC_NO_ERR);
    EXPECT_EQ(app_.Read(L"ZOLTAMeeting.exe"), kNewUpdater);
    // Without an older copy none is made.
    EXPECT_FALSE(app_.Exists(L"VeltranePrepair.exe"));
}

TEST_F(SelfUpdate, UpdaterNameDifferingInCaseStillHandsOver) {
    Publish(L"2.5.0", [](SReleaseOptions& options) { options.updateExe = L"zoltameeting.EXE"; });
    SetVersionParameters(L"2.5.0");
    ASSERT_EQ(Run(), static_cast<int>(RecordingUpdateEnvironment::kNewProcessId));
    std::wstring program, rest, parameters;
    HandedOn(program, rest, parameters);
    EXPECT_EQ(program, app_.Dir() + L"UpdateVer\\zoltameeting.EXE");
    EXPECT_EQ(app_.Read(L"UpdateVer\\zoltameeting.EXE"), kNewUpdater);
}

TEST_F(SelfUpdate, MissingUpdateExeKeyNamesTheOemUpdater) {
    const std::string manifest = "[VER]\r\nVer=2.5.0\r\n[MAIN]\r\nJob_1=dlfl;ZOLTAMeeting.exe;" +
                                 std::to_string(kNewUpdater.size()) + ";1500000000;;2.5.0/ZOLTAMeeting.exe;" +
                                 std::to_string(kNewUpdater.size()) + ";;;\r\n";
    for (const std::string& host : kMirrors) {
        network_.PutFile(host, "/UpdateInfo.ini.2.5.0", manifest);
        network_.PutFile(host, "/2.5.0/ZOLTAMeeting.exe", kNewUpdater);
    }
    SetVersionParameters(L"2.5.0");
    ASSERT_EQ(Run(), static_cast<int>(RecordingUpdateEnvironment::kNewProcessId));
    std::wstring program, rest, parameters;
    HandedOn(program, rest, parameters);
    EXPECT_EQ(program, app_.Dir() + L"UpdateVer\\ZOLTAMeeting.exe");
}

TEST_F(SelfUpdate, FailedStartAndMissingUpdater) {
    Publish(L"2.5.0");
    SetVersionParameters(L"2.5.0");
    environment_->startProcessError = 2;
    EXPECT_EQ(Run(), URC_START_NEWUPDATE_ERR);
    EXPECT_EQ(environment_->Started().size(), 1u);
    EXPECT_EQ(app_.Read(L"ZOLTAMeeting.exe"), "the installed updater");

    // The tester keeps the updater from being downloaded: nothing to start.
    ASSERT_TRUE(RemoveTree(app_.Path(L"UpdateVer")));
    app_.Write(L"testCfg.ini", "[CFG]\r\nnodownfiles=ZOLTAMeeting.exe;\r\n");
    UseUpdaterAt(app_.Path(L"ZOLTAMeeting.exe"));
    SetVersionParameters(L"2.5.0");
    EXPECT_EQ(Run(), URC_UNKNOW_ERR);
    EXPECT_TRUE(environment_->Started().empty());
    EXPECT_FALSE(app_.Exists(L"UpdateInfo.ini"));
}

}  // namespace
