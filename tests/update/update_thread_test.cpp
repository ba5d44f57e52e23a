// Whole updates by the worker against scripted mirrors: a fresh install, an
// installation already current, a partial change with the tester's lists, an
// interrupted download and its rerun, and manifests that must be refused.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "captured_trace_log.h"
#include "download_test_support.h"
#include "update/update_result.h"
#include "update_test_support.h"

namespace {

class UpdateWorker : public UpdateWorkerFixture {
protected:
    // Installs release 2.0.0.0 of four client files.
    void InstallReleaseTwo() {
        WriteClient(4, 2);
        Publish(L"2.0.0.0");
        SetVersionParameters(L"2.0.0.0");
        ASSERT_EQ(Run(), URC_NO_ERR);
    }
};

TEST_F(UpdateWorker, FreshInstallFromThreeMirrors) {
    WriteClient(24, 2);
    const auto release = Publish(L"2.0.0.0", [](SReleaseOptions& options) {
        options.pack = PACK_MATCHING;
        options.packPatterns = {L"res\\*"};
    });
    SetVersionParameters(L"2.0.0.0");

    ASSERT_EQ(Run(), URC_NO_ERR);

    for (int i = 0; i < 24; ++i) {
        EXPECT_EQ(app_.Read(ClientFileName(i)), source_.Read(ClientFileName(i))) << WideToUtf8(ClientFileName(i));
    }
    EXPECT_EQ(app_.Read(L"UpdateInfo.ini"), release.at("/UpdateInfo.ini"));
    // The staging folder stays, emptied.
    EXPECT_TRUE(app_.Exists(L"UpdateVer"));
    for (const std::wstring& name : app_.Files()) EXPECT_NE(name.compare(0, 10, L"UpdateVer\\"), 0) << WideToUtf8(name);
    // The main program started from the new manifest, its parameters in "meetinfo".
    EXPECT_EQ(environment_->RunCommandLines(), std::vector<std::wstring>{app_.Dir() + L"client.exe -start"});
    EXPECT_EQ(environment_->Runs()[0].waitMode, L"WAITEXIT");
    EXPECT_EQ(DecodedParameters(app_.Read(L"meetinfo")),
              L"qkmt:|-MEET=8801;x\n-PRODUCT=win32_net\n-SPVER=pc-2.0.0.0\n-UPURL=mirror1;mirror2;mirror3\n");
    EXPECT_GT(RequestsFor("/UpdateInfo.ini.2.0.0.0"), 0);
    // Without release keys (a test build's) no signature is asked for.
    EXPECT_EQ(RequestsFor("/UpdateInfo.ini.2.0.0.0.sig"), 0);
    ExpectPercentBands(handle_->Percents(), {0, 5, 7, 13, 90});
    EXPECT_LE(handle_->Percents().back(), 100);
    const std::vector<std::wstring> texts = handle_->StatusTexts();
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(texts.front(), L"Querying Meeting Information...");
    EXPECT_EQ(texts.back(), L"Starting the program...");
    EXPECT_TRUE(handle_->ErrorText().empty());
}

TEST_F(UpdateWorker, CurrentInstallationFetchesNothingAndStarts) {
    WriteClient(8, 2);
    Publish(L"2.0.0.0");
    SetVersionParameters(L"2.0.0.0");
    ASSERT_EQ(Run(), URC_NO_ERR);
    const size_t requestsAfterInstall = network_.Requests().size();

    SetVersionParameters(L"2.0.0.0");
    ASSERT_EQ(Run(), URC_NO_ERR);
    EXPECT_EQ(network_.Requests().size(), requestsAfterInstall);
    EXPECT_EQ(environment_->RunCommandLines().size(), 2u);
    ExpectPercentBands(handle_->Percents(), {0, 90});
}

TEST_F(UpdateWorker, SameVersionWithADamagedFileRepairsIt) {
    WriteClient(8, 2);
    const auto release = Publish(L"2.0.0.0");
    SetVersionParameters(L"2.0.0.0");
    ASSERT_EQ(Run(), URC_NO_ERR);
    app_.Write(ClientFileName(5), "damaged");
    const int before5 = RequestsFor(ServerPath("2.0.0.0", 5));
    const int before4 = RequestsFor(ServerPath("2.0.0.0", 4));

    SetVersionParameters(L"2.0.0.0");
    ASSERT_EQ(Run(), URC_NO_ERR);
    EXPECT_EQ(app_.Read(ClientFileName(5)), source_.Read(ClientFileName(5)));
    EXPECT_GT(RequestsFor(ServerPath("2.0.0.0", 5)), before5);
    EXPECT_EQ(RequestsFor(ServerPath("2.0.0.0", 4)), before4);
}

TEST_F(UpdateWorker, PartialChangeFetchesOnlyWhatDiffers) {
    WriteClient(20, 2);
    Publish(L"2.0.0.0");
    SetVersionParameters(L"2.0.0.0");
    ASSERT_EQ(Run(), URC_NO_ERR);
    const std::string keptByTester = app_.Read(ClientFileName(2));

    // Version 3: four files change, one is new, one goes away.
    for (int i : {1, 2, 5, 6}) source_.Write(ClientFileName(i), ClientFileBytes(i, 3, 4000));
    source_.Write(L"bin\\new.dll", "new in 3");
    ASSERT_TRUE(DeleteFileRetry(source_.Path(ClientFileName(9)), true));
    Publish(L"3.0.0.0", [](SReleaseOptions& options) { options.removals = {{L"bin\\file9.dll", false}}; });
    // The tester keeps file2 as it is and brings file6 himself.
    app_.Write(L"testCfg.ini", "[CFG]\r\nnoupdateFiles=bin\\file2.dll;\r\nnodownfiles=bin\\file6.dll;\r\n");
    app_.Write(L"UpdateVer\\bin\\file6.dll", "the tester's own build");

    SetVersionParameters(L"3.0.0.0");
    ASSERT_EQ(Run(), URC_NO_ERR);

    EXPECT_GT(RequestsFor("/UpdateInfo.ini.3.0.0.0"), 0);
    EXPECT_GT(RequestsFor(ServerPath("3.0.0.0", 1)), 0);
    EXPECT_GT(RequestsFor(ServerPath("3.0.0.0", 5)), 0);
    EXPECT_GT(RequestsFor("/3.0.0.0/bin/new.dll"), 0);
    EXPECT_EQ(RequestsFor("/3.0.0.0/bin/file2.dll"), 0);
    EXPECT_EQ(RequestsFor("/3.0.0.0/bin/file6.dll"), 0);
    for (int i : {0, 3, 4, 7, 8, 10, 19}) EXPECT_EQ(RequestsFor(ServerPath("3.0.0.0", i)), 0) << i;
    EXPECT_EQ(app_.Read(ClientFileName(1)), source_.Read(ClientFileName(1)));
    EXPECT_EQ(app_.Read(ClientFileName(5)), source_.Read(ClientFileName(5)));
    EXPECT_EQ(app_.Read(L"bin\\new.dll"), "new in 3");
    EXPECT_EQ(app_.Read(ClientFileName(2)), keptByTester);
    EXPECT_EQ(app_.Read(ClientFileName(6)), "the tester's own build");
    EXPECT_FALSE(app_.Exists(ClientFileName(9)));
    EXPECT_TRUE(app_.Exists(ClientFileName(8)));
    ExpectPercentBands(handle_->Percents(), {0, 5, 7, 13, 90});
}

TEST_F(UpdateWorker, FailedDownloadEndsWithSixAndTheRerunKeepsWhatArrived) {
    WriteClient(10, 2);
    Publish(L"2.0.0.0");
    SetVersionParameters(L"2.0.0.0");
    // A folder where file5's download would go: that file cannot be written.
    // The manifest lists bin\ (0, 1, 2, 4, 5, 6, 8, 9) before res\ (3, 7).
    ASSERT_TRUE(MakeDirs(app_.Path(L"UpdateVer\\bin\\file5.dll.tmp")));

    ASSERT_EQ(Run(), URC_DOWNLOAD_ERR);
    EXPECT_FALSE(app_.Exists(L"UpdateInfo.ini"));
    EXPECT_FALSE(app_.Exists(ClientFileName(0)));
    EXPECT_TRUE(environment_->Runs().empty());
    // Files go several at a time: those ahead of file5 were asked for, none
    // after it; what was under way when it failed did not arrive.
    std::map<int, int> arrived;
    for (int i : {0, 1, 2, 4}) {
        EXPECT_GT(RequestsFor(ServerPath("2.0.0.0", i)), 0) << i;
        if (app_.Exists(L"UpdateVer\\" + ClientFileName(i))) arrived[i] = RequestsFor(ServerPath("2.0.0.0", i));
    }
    for (int i : {5, 6, 8, 9, 3, 7}) EXPECT_EQ(RequestsFor(ServerPath("2.0.0.0", i)), 0) << i;

    ASSERT_TRUE(RemoveTree(app_.Path(L"UpdateVer\\bin\\file5.dll.tmp")));
    SetVersionParameters(L"2.0.0.0");
    ASSERT_EQ(Run(), URC_NO_ERR);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(app_.Read(ClientFileName(i)), source_.Read(ClientFileName(i))) << i;
        // What arrived before the failure was not fetched again.
        if (arrived.count(i) != 0) {
            EXPECT_EQ(RequestsFor(ServerPath("2.0.0.0", i)), arrived[i]) << i;
        } else {
            EXPECT_GT(RequestsFor(ServerPath("2.0.0.0", i)), 0) << i;
        }
    }
}

TEST_F(UpdateWorker, AFileThatFailsItsCheckIsFetchedAgainFromTheSoundMirror) {
    LogCapture log;
    ASSERT_TRUE(log.Opened());
    WriteClient(4, 2);
    const std::map<std::string, std::string> files = Publish(L"2.0.0.0");
    // mirror1 and mirror2 serve file1 with a byte inverted.
    const std::string path = ServerPath("2.0.0.0", 1);
    std::string damaged = files.at(path);
    damaged[damaged.size() / 2] ^= '\xff';
    for (const std::string host : {"mirror1", "mirror2"}) network_.PutFile(host, path, damaged);
    SetVersionParameters(L"2.0.0.0");
    ASSERT_EQ(Run(), URC_NO_ERR);
    EXPECT_EQ(app_.Read(ClientFileName(1)), source_.Read(ClientFileName(1)));
    EXPECT_FALSE(log.Contains("mirror served a damaged copy! (mirror:http://mirror3"));
    // Whenever a damaged copy came, its mirror is named and the sound one served the file at last.
    if (log.Contains("file failed its check! (file:bin\\file1.dll")) {
        EXPECT_TRUE(log.Contains("mirror served a damaged copy! (mirror:http://mirror"));
        EXPECT_FALSE(network_.RequestsTo("mirror3").empty());
    }
}

TEST_F(UpdateWorker, EveryMirrorServingADamagedCopyFailsTheDownloadAndLeavesTheInstallation) {
    LogCapture log;
    ASSERT_TRUE(log.Opened());
    InstallReleaseTwo();
    const std::vector<std::wstring> installed = InstalledFiles();
    const std::string info = app_.Read(L"UpdateInfo.ini");
    const std::string before = app_.Read(ClientFileName(1));

    // Another size, so that no file of release 3 passes for current by its time.
    WriteClient(4, 3, 4000);
    const std::map<std::string, std::string> files = Publish(L"3.0.0.0");
    const std::string path = ServerPath("3.0.0.0", 1);
    std::string damaged = files.at(path);
    damaged[0] ^= '\xff';
    for (const std::string& host : kMirrors) network_.PutFile(host, path, damaged);
    SetVersionParameters(L"3.0.0.0");
    EXPECT_EQ(Run(), URC_DOWNLOAD_ERR);
    EXPECT_EQ(InstalledFiles(), installed);
    EXPECT_EQ(app_.Read(L"UpdateInfo.ini"), info);
    EXPECT_EQ(app_.Read(ClientFileName(1)), before);
    EXPECT_TRUE(log.Contains("file decode failed! (file:bin\\file1.dll)"));
    // Each mirror had its one whole turn, and none more.
    for (const std::string& host : kMirrors) {
        EXPECT_TRUE(log.Contains("mirror served a damaged copy! (mirror:http://" + host + ", file:bin\\file1.dll)"))
            << host;
    }
    EXPECT_EQ(RequestsFor(path), 3);
}

TEST_F(UpdateWorker, UnparsableManifestLeavesTheInstallation) {
    InstallReleaseTwo();
    const std::vector<std::wstring> installed = InstalledFiles();
    const std::string info = app_.Read(L"UpdateInfo.ini");

    for (const std::string& host : kMirrors) {
        network_.PutFile(host, "/UpdateInfo.ini.3.0.0.0",
                         "[VER]\r\nVer=3.0.0.0\r\n[MAIN]\r\nJob_1=dlfl;bin\\file1.dll\r\n");
    }
    SetVersionParameters(L"3.0.0.0");
    EXPECT_EQ(Run(), URC_LOCAL_UPDATE_ERR);
    EXPECT_EQ(InstalledFiles(), installed);
    EXPECT_EQ(app_.Read(L"UpdateInfo.ini"), info);
    EXPECT_EQ(app_.Read(ClientFileName(1)), source_.Read(ClientFileName(1)));
    EXPECT_EQ(environment_->RunCommandLines().size(), 1u);
}

TEST_F(UpdateWorker, AManifestLongerThanItsBoundIsAFailedDownloadAndLeavesNoFileOfIt) {
    WriteClient(2, 2);
    Publish(L"2.0.0.0");
    // Every mirror serves a manifest a byte past 16 MiB.
    const std::string endless(CUpdateThread::kManifestLimitBytes + 1, ';');
    for (const std::string& host : kMirrors) network_.PutFile(host, "/UpdateInfo.ini.2.0.0.0", endless);
    SetVersionParameters(L"2.0.0.0");
    EXPECT_EQ(Run(), URC_DOWNLOAD_ERR);
    EXPECT_FALSE(app_.Exists(L"UpdateInfo.ini"));
    EXPECT_FALSE(app_.Exists(L"UpdateVer\\UpdateInfo.ini"));
}

TEST_F(UpdateWorker, ManifestNamingFilesOutsideTheInstallationIsRefused) {
    const std::string evil =
        "[VER]\r\nVer=2.0.0.0\r\n[MAIN]\r\n"
        "Job_1=dlfl;..\\evil.dll;4;1500000000;;2.0.0.0/evil.dll;4;;;\r\n";
    for (const std::string& host : kMirrors) {
        network_.PutFile(host, "/UpdateInfo.ini.2.0.0.0", evil);
        network_.PutFile(host, "/2.0.0.0/evil.dll", "evil");
    }
    SetVersionParameters(L"2.0.0.0");
    EXPECT_EQ(Run(), URC_LOCAL_UPDATE_ERR);
    EXPECT_EQ(RequestsFor("/2.0.0.0/evil.dll"), 0);
    EXPECT_TRUE(InstalledFiles().empty());
    EXPECT_FALSE(FileExists(app_.Dir() + L"..\\evil.dll"));
}

TEST_F(UpdateWorker, UpdaterNameOtherThanABareFileNameFailsTheManifest) {
    for (const char* name : {"..\\evil.exe", "bin\\up.exe", "NUL.exe", "up.exe."}) {
        SCOPED_TRACE(name);
        const std::string manifest = std::string("[VER]\r\nVer=2.0.0.0\r\n[MAIN]\r\nUpdateExe=") + name + "\r\n";
        for (const std::string& host : kMirrors) network_.PutFile(host, "/UpdateInfo.ini.2.0.0.0", manifest);
        SetVersionParameters(L"2.0.0.0");
        CapturedTraceLog log;
        ASSERT_TRUE(log.opened());
        EXPECT_EQ(Run(), URC_LOCAL_UPDATE_ERR);
        EXPECT_EQ(log.Count(std::string("UpdateExe is no bare file name, refused! (name:") + name), 1u);
        EXPECT_TRUE(InstalledFiles().empty());
    }
}

TEST_F(UpdateWorker, NoFileServerAndBadServerStrings) {
    SetUpdaterParameters(L"-SPVER=2.0.0.0\n-UPURL=;\n");
    EXPECT_EQ(Run(), URC_PARAM_ERR);
    EXPECT_TRUE(network_.Requests().empty());
    EXPECT_TRUE(environment_->Runs().empty());
}

}  // namespace
