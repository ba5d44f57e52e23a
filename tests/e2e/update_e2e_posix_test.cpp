// Whole updates under Wine: the updater's worker with its real WinHTTP
// connections, file system and processes, against the test server on
// loopback, with releases made by the release tool.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.h"
#include "system_proxy_setting.h"
#include "tiny_proxy.h"
#include "update/update_result.h"
#include "util/base64.h"
#include "util/code_page.h"
#include "vocabulary/command_string.h"

namespace {

using namespace e2e;

const char kStartClient[] = "\"%APPDIR%client.exe\" meetinfo";

// Client file i of the 200-file release: modules, and packed data in sub-folders.
std::string ClientFile(int i) {
    char name[64];
    if (i % 5 == 4) {
        std::snprintf(name, sizeof name, "res/sub%d/data%03d.bin", i % 3, i);
    } else {
        std::snprintf(name, sizeof name, "bin/mod%03d.dll", i);
    }
    return name;
}

size_t ClientFileSize(int i) { return 200 + static_cast<size_t>(i) * 7919 % 60000; }

// The parameter text of a command string; empty when it does not decode.
std::string DecodedText(const std::string& commandString) {
    std::wstring prefix;
    std::wstring text;
    if (!DecodeCmdLine(Utf8ToWide(commandString), prefix, text)) return std::string();
    return WideToUtf8(text);
}

// The "meetinfo" that a journal line of the client carries, decoded.
std::string HandedOverParameters(const std::string& journalLine) {
    const std::string marker = "|meetinfo=";
    const size_t at = journalLine.find(marker);
    return at == std::string::npos ? std::string() : DecodedText(journalLine.substr(at + marker.size()));
}

size_t CountFiles(const fs::path& dir) {
    size_t n = 0;
    if (!fs::exists(dir)) return 0;
    for (const auto& entry : fs::directory_iterator(dir)) n += entry.is_regular_file() ? 1 : 0;
    return n;
}

class UpdateE2e : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(WindowsBin().empty()); }

    // The client files 0 to count-1 of the version, and the programs an update runs.
    void WriteClient(int count, int version) {
        for (int i = 0; i < count; ++i)
            WriteFile(source_.path(), ClientFile(i), ContentBytes(i, version, ClientFileSize(i)));
        const std::string program = ProgramBytes("e2e_program.exe");
        for (const char* name : {"client.exe", "stop.exe", "check.exe", "setup.exe"}) {
            WriteFile(source_.path(), name, program);
        }
    }
    void Publish(ReleaseRecipe recipe) {
        if (recipe.startCmd.empty()) recipe.startCmd = kStartClient;
        PublishRelease(source_.path(), releases_.path(), recipe);
    }
    std::string Manifest(const std::string& version) {
        return ReadFileBytes(releases_.path() / ("UpdateInfo.ini." + version));
    }
    void StartMirrors(int count, long long rate = 0) {
        for (int i = 0; i < count; ++i) {
            ServerOptions options;
            options.root = releases_.path().string();
            options.rate = rate;
            mirrors_.Add(options);
        }
    }
    // Error reports go to the first mirror, which takes them as a log server.
    std::string LogCfgLine() { return "-LOGCFG=x;127.0.0.1:12005:" + std::to_string(mirrors_.Port(0)) + "\n"; }
    std::string VersionParameters(const std::string& version) {
        return "-SPVER=pc-" + version + "\n-UPURL=" + mirrors_.Urls() + "\n-MEET=8801;x\n" + LogCfgLine();
    }
    DriverReport Update(const std::string& parameterLines) {
        return app_.RunUpdater({Installation::CommandString(parameterLines)});
    }
    void ExpectInstalled(int i, int version) {
        EXPECT_EQ(app_.Read(ClientFile(i)), ContentBytes(i, version, ClientFileSize(i))) << ClientFile(i);
    }

    ScopedTempDir source_;
    ScopedTempDir releases_;
    ScopedTempDir reportStore_;
    Installation app_;
    ServerSet mirrors_;
};

TEST_F(UpdateE2e, FreshInstallOfTwoHundredFilesThenNothingThenAPartialChange) {
    WriteClient(200, 2);
    ReleaseRecipe v2;
    v2.version = "2.0.0.0";
    v2.packPatterns = {"*.bin"};
    Publish(v2);
    StartMirrors(3);
    const std::string params = VersionParameters("2.0.0.0");

    const DriverReport install = Update(params);
    ASSERT_EQ(install.result, 0);
    for (int i = 0; i < 200; ++i) ExpectInstalled(i, 2);
    EXPECT_EQ(app_.Read("UpdateInfo.ini"), Manifest("2.0.0.0"));
    EXPECT_TRUE(fs::is_directory(app_.Path("UpdateVer")));
    EXPECT_TRUE(app_.StagedFiles().empty());
    std::vector<std::string> journal = app_.Journal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0].compare(0, 20, "client.exe meetinfo "), 0) << journal[0];
    EXPECT_EQ(HandedOverParameters(journal[0]),
              LogCfgLine() + "-MEET=8801;x\n-PRODUCT=win32_net\n-SPVER=pc-2.0.0.0\n-UPURL=" + mirrors_.Urls() + "\n");
    ExpectPercentBands(install.percents, {0, 5, 7, 13, 90});
    for (size_t m = 0; m < mirrors_.size(); ++m) EXPECT_FALSE(mirrors_[m].Requests().empty()) << "mirror " << m;

    // Nothing to do: no file is asked for, the client starts.
    mirrors_.ClearRequests();
    const DriverReport current = Update(params);
    EXPECT_EQ(current.result, 0);
    EXPECT_TRUE(mirrors_.FileRequests().empty());
    EXPECT_EQ(app_.Journal().size(), 2u);
    ExpectPercentBands(current.percents, {0, 90});

    // Version 3: ten files change, one goes; the tester keeps one and brings another.
    const std::vector<int> changed = {0, 7, 21, 42, 77, 99, 120, 150, 181, 199};
    for (int i : changed) WriteFile(source_.path(), ClientFile(i), ContentBytes(i, 3, ClientFileSize(i)));
    fs::remove(source_.path() / ClientFile(100));
    ReleaseRecipe v3 = v2;
    v3.version = "3.0.0.0";
    v3.removals = {{ClientFile(100), false}};
    Publish(v3);
    auto windowsName = [](std::string name) {
        std::replace(name.begin(), name.end(), '/', '\\');
        return name;
    };
    app_.Write("testCfg.ini", "[CFG]\r\nnoupdateFiles=" + windowsName(ClientFile(7)) +
                                  ";\r\nnodownfiles=" + windowsName(ClientFile(21)) + ";\r\n");
    app_.Write("UpdateVer/" + ClientFile(21), "the tester's own build");
    mirrors_.ClearRequests();

    const DriverReport partial = Update(VersionParameters("3.0.0.0"));
    ASSERT_EQ(partial.result, 0);
    std::vector<std::string> expected = {"/UpdateInfo.ini.3.0.0.0", "/UpdateInfo.ini.3.0.0.0.sig"};
    for (int i : changed) {
        if (i != 7 && i != 21) expected.push_back("/3.0.0.0/" + ClientFile(i));
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(DistinctPaths(mirrors_.FileRequests()), expected);
    for (int i = 0; i < 200; ++i) {
        if (i == 100 || i == 7 || i == 21) continue;
        const bool isChanged = std::find(changed.begin(), changed.end(), i) != changed.end();
        ExpectInstalled(i, isChanged ? 3 : 2);
    }
    ExpectInstalled(7, 2);
    EXPECT_EQ(app_.Read(ClientFile(21)), "the tester's own build");
    EXPECT_FALSE(app_.Exists(ClientFile(100)));
    EXPECT_EQ(app_.Read("UpdateInfo.ini"), Manifest("3.0.0.0"));
    ExpectPercentBands(partial.percents, {0, 5, 7, 13, 90});
}

TEST_F(UpdateE2e, DyingServerEndsWithSixAndTheRerunFetchesOnlyWhatWasMissing) {
    for (int i = 0; i < 30; ++i)
        WriteFile(source_.path(), "data/f" + std::to_string(i) + ".bin", ContentBytes(i, 2, 40000));
    WriteFile(source_.path(), "client.exe", ProgramBytes("e2e_program.exe"));
    ReleaseRecipe v2;
    v2.version = "2.0.0.0";
    Publish(v2);
    ServerSet logServer;
    ServerOptions logOptions;
    logOptions.reportDir = reportStore_.path().string();
    logServer.Add(logOptions);
    StartMirrors(1, 150000);
    const std::string params = "-SPVER=pc-2.0.0.0\n-UPURL=" + mirrors_.Urls() +
                               "\n-MEET=8801;x\n-LOGCFG=x;127.0.0.1:12005:" + std::to_string(logServer.Port(0)) + "\n";

    const pid_t updater =
        StartUnderWine(app_.Path("ZOLTAMeeting.exe"), {Installation::CommandString(params)}, app_.NextRunEnvironment());
    // The server dies once a few files have arrived.
    auto arrived = [this] {
        size_t n = 0;
        for (const std::string& name : app_.StagedFiles())
            n += name.compare(0, 5, "data/") == 0 && name.find(".tmp") == std::string::npos;
        return n;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(300);
    while (arrived() < 6 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_GE(arrived(), 6u);
    mirrors_.StopAll();
    EXPECT_GE(WaitForWine(updater, kDriverTimeoutSeconds), 0);
    const std::map<int, DriverReport> reports = ReadReports(app_.RunReportDir());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports.begin()->second.result, 6);
    EXPECT_EQ(app_.InstalledFiles(), std::vector<std::string>{"ZOLTAMeeting.exe"});
    // The failure was reported to the log server.
    ASSERT_EQ(CountFiles(reportStore_.path()), 1u);
    const std::string report = ReadFileBytes(reportStore_.path() / "report_0001.txt");
    EXPECT_NE(report.find("module:update;conferenceID:8801;"), std::string::npos) << report;
    EXPECT_NE(report.find("update failed! (code:6(URC_DOWNLOAD_ERR))"), std::string::npos) << report;

    // Files arrive several at a time, not in the manifest's order: any of the
    // release's 31 may be among them.
    std::set<std::string> staged;
    for (const std::string& name : app_.StagedFiles()) {
        if ((name.compare(0, 5, "data/") == 0 || name == "client.exe") && name.find(".tmp") == std::string::npos)
            staged.insert("/2.0.0.0/" + name);
    }
    ServerSet revived;
    ServerOptions options;
    options.root = releases_.path().string();
    revived.Add(options);
    const DriverReport rerun = Update("-SPVER=pc-2.0.0.0\n-UPURL=" + revived.Urls() + "\n-MEET=8801;x\n");
    ASSERT_EQ(rerun.result, 0);
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(app_.Read("data/f" + std::to_string(i) + ".bin"), ContentBytes(i, 2, 40000)) << i;
    }
    const std::vector<std::string> fetched = DistinctPaths(revived.FileRequests());
    for (const std::string& path : fetched) EXPECT_EQ(staged.count(path), 0u) << path << " was fetched again";
    EXPECT_EQ(fetched.size(), 2 + 31 - staged.size());  // the manifest, its signature and the missing files
}

class SelfUpdateE2e : public UpdateE2e {
protected:
    // The new updater runs from UpdateVer\ and finishes the update; returns its report.
    DriverReport HandOver(const std::string& version) {
        WriteClient(5, 2);
        newUpdater_ = ProgramBytes("update_driver.exe") + "\nthe updater of version " + version + "\n";
        WriteFile(source_.path(), "ZOLTAMeeting.exe", newUpdater_);
        ReleaseRecipe recipe;
        recipe.version = version;
        Publish(recipe);
        StartMirrors(2);

        const DriverReport first = Update(VersionParameters(version));
        EXPECT_TRUE(IsNewUpdaterPid(first.result)) << first.result;
        EXPECT_TRUE(app_.Journal().empty());
        return app_.WaitForHandedOver(first.result);
    }
    void ExpectFinished(const DriverReport& second) {
        EXPECT_EQ(second.result, 0);
        EXPECT_EQ(app_.Read("ZOLTAMeeting.exe"), newUpdater_);
        for (int i = 0; i < 5; ++i) ExpectInstalled(i, 2);
        const std::vector<std::string> journal = app_.Journal();
        ASSERT_EQ(journal.size(), 1u);
        EXPECT_EQ(journal[0].compare(0, 20, "client.exe meetinfo "), 0);
    }

    std::string newUpdater_;
};

TEST_F(SelfUpdateE2e, BelowTwoFiveTheNewUpdaterGetsTheBareCommandStringWithDir) {
    const DriverReport second = HandOver("2.4.9");
    ASSERT_EQ(second.args.size(), 1u);
    EXPECT_EQ(DecodedText(second.args[0]),
              "-DIR=1\n" + LogCfgLine() +
                  "-MEET=8801;x\n-PRODUCT=win32_net\n-SPVER=pc-2.4.9\n-UPURL=" + mirrors_.Urls() + "\n");
    ExpectFinished(second);
}

TEST_F(SelfUpdateE2e, FromTwoFiveTheNewUpdaterGetsTheUpdateSwitch) {
    const DriverReport second = HandOver("2.5.0");
    ASSERT_EQ(second.args.size(), 2u);
    EXPECT_EQ(second.args[0], "-do=update");
    ASSERT_EQ(second.args[1].compare(0, 7, "-param="), 0);
    EXPECT_EQ(DecodedText(second.args[1].substr(7)),
              LogCfgLine() + "-MEET=8801;x\n-PRODUCT=win32_net\n-SPVER=pc-2.5.0\n-UPURL=" + mirrors_.Urls() + "\n");
    ExpectFinished(second);
}

TEST_F(UpdateE2e, ServerRepliesGiveTheirCodes) {
    WriteClient(3, 2);
    ReleaseRecipe v2;
    v2.version = "2.0.0.0";
    Publish(v2);
    StartMirrors(1);
    ServerSet web;
    ServerOptions webOptions;
    webOptions.reportDir = reportStore_.path().string();
    TestServer& server = web.Add(webOptions);
    const std::string webParams = "-WEBSVR=127.0.0.1:" + std::to_string(web.Port(0)) +
                                  "\n-MEET=8801;x\n-LOGCFG=x;127.0.0.1:12005:" + std::to_string(web.Port(0)) + "\n";
    const std::string domain = Installation::CommandString("-DOMAIN=77\n");

    struct Case {
        std::string meetReply;
        std::string versionReply;
        int result;
        std::string errorText;
        size_t queries;
        bool reported;
    };
    const std::vector<Case> cases = {
        {"erro:2 meeting over", "", 13, "meeting over", 1, false},
        {"erro:9 server busy", "", 7, "server busy", 1, true},
        {Installation::CommandString("-MEET=1\n"), "", 7, "", 1, true},
        {"qkmt:@@@@", "", 7, "", 1, true},
        {domain, "-ERR=no such client\n", 7, "no such client", 2, true},
        {domain, "-UPURL=" + mirrors_.Urls() + "\n", 4, "", 2, true},
        {domain, "-SPVER=pc-2.0.0.0\n", 4, "", 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.meetReply + " / " + c.versionReply);
        server.SetReply("getClientAccKey", QueryReply{200, c.meetReply});
        server.SetReply("QueryClientVer", QueryReply{200, c.versionReply});
        server.ClearRequests();
        const size_t reportsBefore = CountFiles(reportStore_.path());
        const DriverReport run = Update(webParams);
        EXPECT_EQ(run.result, c.result);
        EXPECT_EQ(run.errorText, c.errorText);
        size_t queries = 0;
        for (const RequestRecord& record : server.Requests())
            queries += record.path.find("servlet/") != std::string::npos;
        EXPECT_EQ(queries, c.queries);
        EXPECT_EQ(CountFiles(reportStore_.path()), reportsBefore + (c.reported ? 1 : 0));
        EXPECT_EQ(app_.InstalledFiles(), std::vector<std::string>{"ZOLTAMeeting.exe"});
    }
    EXPECT_TRUE(mirrors_.FileRequests().empty());

    EXPECT_EQ(Update("-MEET=8801;x\n").result, 2);

    // The domain, then the version and the mirrors.
    server.SetReply("getClientAccKey", QueryReply{200, domain});
    server.SetReply("QueryClientVer", QueryReply{200, "-SPVER=pc-2.0.0.0\n-UPURL=" + mirrors_.Urls() + "\n"});
    server.ClearRequests();
    ASSERT_EQ(Update(webParams).result, 0);
    std::vector<RequestRecord> queries = server.Requests();
    ASSERT_EQ(queries.size(), 2u);
    const std::string sent = webParams.substr(webParams.find("-LOGCFG"));
    const std::string withoutDomain =
        sent + "-MEET=8801;x\n-PRODUCT=win32_net\n" + webParams.substr(0, webParams.find('\n') + 1);
    EXPECT_EQ(queries[0].path, "/servlet/getClientAccKey");
    EXPECT_EQ(DecodedText(queries[0].body), withoutDomain);
    EXPECT_EQ(queries[1].path, "/servlet/QueryClientVer");
    EXPECT_EQ(queries[1].body, "-DOMAIN=77\n" + withoutDomain);
    for (int i = 0; i < 3; ++i) ExpectInstalled(i, 2);
    ASSERT_EQ(app_.Journal().size(), 1u);
    EXPECT_EQ(HandedOverParameters(app_.Journal()[0]), "-DOMAIN=77\n" + withoutDomain);

    // Both values given: no query at all.
    server.ClearRequests();
    EXPECT_EQ(Update(webParams + "-SPVER=2.0.0.0\n-UPURL=" + mirrors_.Urls() + "\n").result, 0);
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(UpdateE2e, CommandsRunInOrderWithTheirSwitches) {
    WriteClient(6, 2);
    ReleaseRecipe v2;
    v2.version = "2.0.0.0";
    v2.stopCmd = "\"%APPDIR%stop.exe\" v2";
    v2.checkCmd = "\"%APPDIR%check.exe\" v2 exit=1";
    v2.startCmd = "\"%APPDIR%client.exe\" v2";
    Publish(v2);
    StartMirrors(1);
    ASSERT_EQ(Update(VersionParameters("2.0.0.0")).result, 0);
    EXPECT_EQ(app_.Journal(), std::vector<std::string>{"client.exe v2"});

    for (int i : {1, 2}) WriteFile(source_.path(), ClientFile(i), ContentBytes(i, 3, ClientFileSize(i)));
    ReleaseRecipe v3;
    v3.version = "3.0.0.0";
    v3.stopCmd = "\"%APPDIR%stop.exe\" v3";
    v3.checkCmd = "\"%APPDIR%check.exe\" v3";
    v3.setupCmd = "\"%APPDIR%setup.exe\" v3 event=ZmE2eReady linger=20000 /WAIT_ZmE2eReady /ADMIN";
    v3.startCmd = "\"%APPDIR%client.exe\" v3 idle linger=20000 /WAITIDLE /DOWHENEXIST";
    Publish(v3);
    ASSERT_EQ(Update(VersionParameters("3.0.0.0")).result, 0);
    // Stop and check of the installed version, setup of the new one, then the
    // start; the setup's event and the client's first wait for input let the
    // update go on while both still ran.
    EXPECT_EQ(app_.Journal(), (std::vector<std::string>{"client.exe v2", "stop.exe v2", "check.exe v2 exit=1",
                                                        "setup.exe v3 event=ZmE2eReady linger=20000",
                                                        "client.exe v3 idle linger=20000"}));
    ExpectInstalled(1, 3);
    EXPECT_TRUE(app_.WaitForJournalLine("setup.exe done", 120));
    EXPECT_TRUE(app_.WaitForJournalLine("client.exe done", 120));
}

TEST_F(UpdateE2e, FailingCommandsAndALockedFileLeaveThePreviousReleaseWhole) {
    WriteClient(6, 2);
    ReleaseRecipe v2;
    v2.version = "2.0.0.0";
    v2.checkCmd = "\"%APPDIR%check.exe\" exit=1";
    Publish(v2);
    StartMirrors(1);
    ASSERT_EQ(Update(VersionParameters("2.0.0.0")).result, 0);

    // A failing setup: 10, and release 2 in place as it was.
    const std::map<std::string, std::string> release2 = app_.Contents();
    for (int i : {1, 2}) WriteFile(source_.path(), ClientFile(i), ContentBytes(i, 3, ClientFileSize(i)));
    ReleaseRecipe v3 = v2;
    v3.version = "3.0.0.0";
    v3.setupCmd = "\"%APPDIR%setup.exe\" exit=4";
    Publish(v3);
    EXPECT_EQ(Update(VersionParameters("3.0.0.0")).result, 10);
    EXPECT_EQ(app_.Contents(), release2);
    v3.setupCmd = "\"%APPDIR%setup.exe\" fixed";
    Publish(v3);
    EXPECT_EQ(Update(VersionParameters("3.0.0.0")).result, 0);
    ExpectInstalled(1, 3);
    EXPECT_EQ(app_.Read("UpdateInfo.ini"), Manifest("3.0.0.0"));
    EXPECT_EQ(app_.Journal().back(), "client.exe meetinfo |meetinfo=" + app_.Read("meetinfo"));

    // A failing start: 11, and no "meetinfo" left behind.
    ReleaseRecipe v4 = v3;
    v4.version = "4.0.0.0";
    v4.setupCmd.clear();
    v4.startCmd = "\"%APPDIR%client.exe\" exit=3";
    Publish(v4);
    EXPECT_EQ(Update(VersionParameters("4.0.0.0")).result, 11);
    EXPECT_FALSE(app_.Exists("meetinfo"));
    EXPECT_EQ(app_.Read("UpdateInfo.ini"), Manifest("4.0.0.0"));

    // Every file changes; the last of them in the job order is held open
    // without sharing by another program for the whole run: 12 after the
    // retries, and every file of release 4 back in place.
    const int held = 4;  // res/sub1/data004.bin, after every bin/ file
    for (int i = 0; i < 6; ++i) WriteFile(source_.path(), ClientFile(i), ContentBytes(i, 5, ClientFileSize(i)));
    ReleaseRecipe v5 = v4;
    v5.version = "5.0.0.0";
    v5.startCmd = kStartClient;
    Publish(v5);
    const std::map<std::string, std::string> release4 = app_.Contents();
    ScopedTempDir holderDir;
    fs::copy_file(WindowsBin() / "e2e_program.exe", holderDir.path() / "holder.exe");
    const fs::path heldMark = app_.Path(ClientFile(held) + ".held");
    // Starts a program that holds the file for the time; returns once it does.
    auto hold = [&](int ms) {
        const pid_t holder = StartUnderWine(holderDir.path() / "holder.exe",
                                            {"hold=" + WinePath(app_.Path(ClientFile(held))), "linger=" + std::to_string(ms)}, {});
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (!fs::exists(heldMark) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_TRUE(fs::exists(heldMark));
        return holder;
    };
    const pid_t holder = hold(45000);
    EXPECT_EQ(Update(VersionParameters("5.0.0.0")).result, 12);
    std::map<std::string, std::string> now = app_.Contents();
    now.erase(ClientFile(held) + ".held");
    EXPECT_EQ(now, release4);
    EXPECT_FALSE(app_.Exists(Installation::kUndoFolder));
    // What was fetched waits in UpdateVer\ for the next run.
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(app_.Read("UpdateVer/" + ClientFile(i)), ContentBytes(i, 5, ClientFileSize(i))) << ClientFile(i);
    }
    EXPECT_GE(WaitForWine(holder, 300), 0);
    fs::remove(heldMark);
    mirrors_.ClearRequests();
    EXPECT_EQ(Update(VersionParameters("5.0.0.0")).result, 0);
    for (int i = 0; i < 6; ++i) ExpectInstalled(i, 5);
    EXPECT_EQ(app_.Read("UpdateInfo.ini"), Manifest("5.0.0.0"));
    EXPECT_EQ(DistinctPaths(mirrors_.FileRequests()),
              (std::vector<std::string>{"/UpdateInfo.ini.5.0.0.0", "/UpdateInfo.ini.5.0.0.0.sig"}));

    // Held for a few seconds only, as a virus scanner does: the retries outlast it.
    WriteFile(source_.path(), ClientFile(held), ContentBytes(held, 6, ClientFileSize(held)));
    ReleaseRecipe v6 = v5;
    v6.version = "6.0.0.0";
    Publish(v6);
    const pid_t scanner = hold(10000);
    EXPECT_EQ(Update(VersionParameters("6.0.0.0")).result, 0);
    ExpectInstalled(held, 6);
    EXPECT_EQ(app_.Read("UpdateInfo.ini"), Manifest("6.0.0.0"));
    EXPECT_GE(WaitForWine(scanner, 300), 0);
    fs::remove(heldMark);
}

TEST_F(UpdateE2e, AStopCommandLongerThanTheWatchdogPeriodStillSucceeds) {
    // The dialog's watchdog stops an update that stands still for a period;
    // the installed release's stop command takes three.
    const int watchdogMs = 10000;
    WriteClient(3, 2);
    ReleaseRecipe v2;
    v2.version = "2.0.0.0";
    v2.stopCmd = "\"%APPDIR%stop.exe\" idle linger=" + std::to_string(3 * watchdogMs);
    Publish(v2);
    StartMirrors(1);
    ASSERT_EQ(Update(VersionParameters("2.0.0.0")).result, 0);
    for (int i : {0, 1}) WriteFile(source_.path(), ClientFile(i), ContentBytes(i, 3, ClientFileSize(i)));
    ReleaseRecipe v3 = v2;
    v3.version = "3.0.0.0";
    Publish(v3);

    std::map<std::string, std::string> environment = app_.NextRunEnvironment();
    environment["ZM_E2E_WATCHDOG_MS"] = std::to_string(watchdogMs);
    const pid_t updater = StartUnderWine(app_.Path("ZOLTAMeeting.exe"),
                                         {Installation::CommandString(VersionParameters("3.0.0.0"))}, environment);
    // A watchdog that fires leaves its error box open: the update never ends.
    EXPECT_EQ(WaitForWine(updater, 150), 0);
    const std::map<int, DriverReport> reports = ReadReports(app_.RunReportDir());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports.begin()->second.result, 0);
    EXPECT_TRUE(app_.WaitForJournalLine("stop.exe done", 10));
    for (int i : {0, 1}) ExpectInstalled(i, 3);
    EXPECT_EQ(app_.Read("UpdateInfo.ini"), Manifest("3.0.0.0"));
    const std::string log = app_.Read("log/QKMeeting.log");
    EXPECT_EQ(log.find("Update percent not change for a long time!"), std::string::npos);
    EXPECT_NE(log.find("Update successful finished! (exitCode:0)"), std::string::npos);
}

// Three mirrors at 4, 2 and 1 MiB/s; the fastest damaged ones serve data.bin
// (5 MB) with the byte at 2,500,000 inverted. The sound ones refuse their
// first three requests for it: their back-off then outlasts the first copy,
// which thus surely comes from the damaged ones alone.
class DamagedMirrorE2e : public UpdateE2e, public ::testing::WithParamInterface<int> {
protected:
    static constexpr const char* kDataPath = "/2.0.0.0/data.bin";

    void SetUp() override {
        UpdateE2e::SetUp();
        if (HasFatalFailure()) return;
        WriteClient(2, 1);
        ReleaseRecipe v1;
        v1.version = "1.0.0.0";
        Publish(v1);
        for (long long rate : {4, 2, 1}) {
            ServerOptions options;
            options.root = releases_.path().string();
            options.rate = rate * 1024 * 1024;
            mirrors_.Add(options);
        }
        ASSERT_EQ(Update(VersionParameters("1.0.0.0")).result, 0);
        for (const std::string& name : app_.InstalledFiles()) before_[name] = app_.Read(name);
        WriteClient(2, 2);
        data_ = ContentBytes(7, 2, 5000000);
        WriteFile(source_.path(), "data.bin", data_);
        ReleaseRecipe v2;
        v2.version = "2.0.0.0";
        Publish(v2);
    }
    std::string Url(size_t mirror) { return "http://127.0.0.1:" + std::to_string(mirrors_.Port(mirror)); }
    // The log names the mirror as one that served a damaged copy alone.
    bool Named(const std::string& log, size_t mirror) {
        return log.find("mirror served a damaged copy! (mirror:" + Url(mirror) + ", file:data.bin)") != std::string::npos;
    }

    std::map<std::string, std::string> before_;
    std::string data_;
};

TEST_P(DamagedMirrorE2e, TheUpdateCompletesFromTheSoundMirrorsOrFailsWhenNoneIsLeft) {
    const int damaged = GetParam();
    FaultPlan corrupt;
    corrupt.corruptAt = 2500000;
    FaultPlan refuseAtFirst;
    refuseAtFirst.status = 404;
    refuseAtFirst.times = 3;
    for (int i = 0; i < 3; ++i) mirrors_[i].SetFault(kDataPath, i < damaged ? corrupt : refuseAtFirst);
    const DriverReport run = Update(VersionParameters("2.0.0.0"));
    const std::string log = app_.Read("log/QKMeeting.log");
    for (int i = damaged; i < 3; ++i) EXPECT_FALSE(Named(log, i)) << i;
    if (damaged == 3) {
        // Every mirror had its whole turn: the download fails and nothing changed.
        EXPECT_EQ(run.result, URC_DOWNLOAD_ERR);
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(Named(log, i)) << i;
        EXPECT_NE(log.find("file decode failed! (file:data.bin)"), std::string::npos);
        std::map<std::string, std::string> now;
        for (const std::string& name : app_.InstalledFiles()) now[name] = app_.Read(name);
        EXPECT_EQ(now, before_);
        return;
    }
    ASSERT_EQ(run.result, 0);
    EXPECT_EQ(app_.Read("data.bin"), data_);
    ExpectInstalled(0, 2);
    // The failing copy's mirrors are the damaged ones; one alone is proven damaged.
    std::string copyFrom;
    for (int i = 0; i < damaged; ++i) copyFrom += " " + Url(i);
    EXPECT_NE(log.find("file failed its check! (file:data.bin, copy from:" + copyFrom + ")"), std::string::npos) << log;
    if (damaged == 1) {
        EXPECT_TRUE(Named(log, 0));
    }
}

INSTANTIATE_TEST_SUITE_P(Mirrors, DamagedMirrorE2e, ::testing::Values(1, 2, 3),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::to_string(info.param) + "Damaged";
                         });

TEST_F(UpdateE2e, BadManifestsLeaveTheInstallationAsItWas) {
    WriteClient(4, 2);
    ReleaseRecipe v2;
    v2.version = "2.0.0.0";
    Publish(v2);
    StartMirrors(1);
    ASSERT_EQ(Update(VersionParameters("2.0.0.0")).result, 0);
    std::map<std::string, std::string> before;
    for (const std::string& name : app_.InstalledFiles()) before[name] = app_.Read(name);
    auto installation = [this] {
        std::map<std::string, std::string> now;
        for (const std::string& name : app_.InstalledFiles()) now[name] = app_.Read(name);
        return now;
    };

    // Signed, so that the updater reads them.
    WriteFile(releases_.path(), "UpdateInfo.ini.3.0.0.0",
              "[VER]\r\nVer=3.0.0.0\r\n[MAIN]\r\nJob_1=dlfl;bin\\mod001.dll\r\n");
    SignManifest(releases_.path() / "UpdateInfo.ini.3.0.0.0");
    EXPECT_EQ(Update(VersionParameters("3.0.0.0")).result, 10);
    EXPECT_EQ(installation(), before);

    WriteFile(releases_.path(), "UpdateInfo.ini.3.0.0.1",
              "[VER]\r\nVer=3.0.0.1\r\n[MAIN]\r\nJob_1=dlfl;..\\evil.dll;4;1500000000;;3.0.0.1/evil.dll;4;;;\r\n");
    WriteFile(releases_.path(), "3.0.0.1/evil.dll", "evil");
    SignManifest(releases_.path() / "UpdateInfo.ini.3.0.0.1");
    mirrors_.ClearRequests();
    EXPECT_EQ(Update(VersionParameters("3.0.0.1")).result, 10);
    EXPECT_EQ(installation(), before);
    EXPECT_EQ(DistinctPaths(mirrors_.FileRequests()),
              (std::vector<std::string>{"/UpdateInfo.ini.3.0.0.1", "/UpdateInfo.ini.3.0.0.1.sig"}));
    EXPECT_FALSE(fs::exists(app_.Dir().parent_path() / "evil.dll"));
    EXPECT_EQ(app_.Journal().size(), 1u);
}

// Every release the updater takes is signed by a key it holds and no older
// than the installed one, unless its signed manifest allows that; a mirror
// cannot make it unpack more than the manifest says. A refused release
// leaves the installation exactly as it was and is reported as a failure.
TEST_F(UpdateE2e, OnlySignedReleasesAndNoStepBackUnlessAllowed) {
    WriteClient(8, 2);
    ReleaseRecipe v2;
    v2.version = "2.0.0.0";
    v2.packPatterns = {"*.bin"};
    Publish(v2);
    StartMirrors(2);
    ServerSet logServer;
    ServerOptions logOptions;
    logOptions.reportDir = reportStore_.path().string();
    logServer.Add(logOptions);
    auto params = [&](const std::string& version) {
        return "-SPVER=pc-" + version + "\n-UPURL=" + mirrors_.Urls() + "\n-MEET=8801;x\n-LOGCFG=x;127.0.0.1:12005:" +
               std::to_string(logServer.Port(0)) + "\n";
    };
    auto logLines = [this](const std::string& text) {
        const std::string log = app_.Read("log/QKMeeting.log");
        size_t n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    };
    ASSERT_EQ(Update(params("2.0.0.0")).result, 0);
    EXPECT_EQ(logLines("manifest signature verified! (file:UpdateInfo.ini.2.0.0.0)"), 1u);
    const std::map<std::string, std::string> installed = app_.Contents();
    size_t reports = 0;

    struct Refusal {
        std::string version;
        int result;
        std::string logLine;
        size_t mostLogged;                           // the line is written once, or up to this often
        std::function<void(ReleaseRecipe&)> adjust;  // before publishing
        std::function<void()> tamper;                // after publishing
    };
    const fs::path out = releases_.path();
    const std::vector<Refusal> refusals = {
        {"3.0.0.1", 6, "manifest signature refused: no signature file from any file server! (file:UpdateInfo.ini.3.0.0.1)", 1,
         [](ReleaseRecipe& r) { r.signKey.clear(); }, nullptr},
        {"3.0.0.2", 6, "manifest signature refused: wrong signature (made by no key this updater holds, or over other "
                       "bytes)! (file:UpdateInfo.ini.3.0.0.2)",
         1, nullptr,
         [&] {
             std::string manifest = ReadFileBytes(out / "UpdateInfo.ini.3.0.0.2");
             manifest[manifest.size() / 2] ^= 1;
             WriteFile(out, "UpdateInfo.ini.3.0.0.2", manifest);
         }},
        {"3.0.0.3", 6, "manifest signature refused: wrong signature (made by no key this updater holds, or over other "
                       "bytes)! (file:UpdateInfo.ini.3.0.0.3)",
         1, [](ReleaseRecipe& r) { r.signKey = ForeignKey(); }, nullptr},
        {"1.5.0.0", 10, "manifest ver(1.5.0.0) is below the installed ver(2.0.0.0), downgrade refused!", 1, nullptr,
         nullptr},
        // Both mirrors' container of data004.bin states nearly 4 GiB
        // unpacked: each copy fetched is refused, the first one and at most
        // one more from each mirror.
        {"3.0.0.4", 6, "CreateLocalFile failed(err:-5)! zipType:2", 3, nullptr,
         [&] {
             std::string packed = ReadFileBytes(out / "3.0.0.4" / ClientFile(4));
             packed.replace(8, 4, "\xF0\xFF\xFF\xFF");
             WriteFile(out / "3.0.0.4", ClientFile(4), packed);
         }},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.version);
        WriteClient(8, refusal.version[0] - '0');
        ReleaseRecipe recipe = v2;
        recipe.version = refusal.version;
        if (refusal.adjust) refusal.adjust(recipe);
        Publish(recipe);
        if (refusal.tamper) refusal.tamper();
        EXPECT_EQ(Update(params(refusal.version)).result, refusal.result);
        const size_t logged = logLines(refusal.logLine);
        EXPECT_GE(logged, 1u) << refusal.logLine;
        EXPECT_LE(logged, refusal.mostLogged) << refusal.logLine;
        EXPECT_EQ(app_.Contents(), installed);
        // A refused signature or version leaves no manifest staged.
        if (refusal.logLine.compare(0, 8, "manifest") == 0) {
            EXPECT_FALSE(app_.Exists("UpdateVer/UpdateInfo.ini"));
        }
        EXPECT_EQ(CountFiles(reportStore_.path()), ++reports);
    }
    EXPECT_FALSE(app_.Exists("UpdateVer/" + ClientFile(4)));
    EXPECT_EQ(app_.Journal().size(), 1u);

    // Rolled back on purpose: the signed manifest allows it.
    WriteClient(8, 1);
    ReleaseRecipe back = v2;
    back.version = "1.5.0.0";
    back.allowDowngrade = true;
    Publish(back);
    ASSERT_EQ(Update(params("1.5.0.0")).result, 0);
    for (int i = 0; i < 8; ++i) ExpectInstalled(i, 1);
    EXPECT_EQ(app_.Read("UpdateInfo.ini"), Manifest("1.5.0.0"));
    EXPECT_EQ(CountFiles(reportStore_.path()), reports);
}

// Whole updates through a real proxy: the update asks the web server, fetches
// the manifest and the files from two mirrors, and every one of these
// requests reaches the mirrors through the proxy or not at all.
class ProxyE2e : public UpdateE2e {
protected:
    void SetUp() override {
        UpdateE2e::SetUp();
        WriteClient(3, 2);
        ReleaseRecipe v2;
        v2.version = "2.0.0.0";
        Publish(v2);
        StartMirrors(2);
        mirrors_[0].SetReply("getClientAccKey", QueryReply{200, Installation::CommandString("-DOMAIN=77\n")});
        mirrors_[0].SetReply("QueryClientVer", QueryReply{200, "-SPVER=pc-2.0.0.0\n-UPURL=" + mirrors_.Urls() + "\n"});
    }
    // Stores the proxy setting "cfgProxy" in the installation's UserCfg.ini.
    void StoreProxy(const std::string& value) { app_.Write("UserCfg.ini", "[CFG]\r\ncfgProxy=" + value + "\r\n"); }
    static std::string GivenProxy(const TinyProxy& proxy, const std::string& user, const std::string& password) {
        return "2;" + std::string(TinyProxy::kHost) + ";" + std::to_string(proxy.Port()) + ";" + Base64Encode(user) +
               ";" + Base64Encode(password) + ";";
    }
    DriverReport UpdateFromWebServer() {
        return Update("-WEBSVR=127.0.0.1:" + std::to_string(mirrors_.Port(0)) + "\n-MEET=8801;x\n");
    }
    // Every request the mirrors answered, as a proxy names it, sorted.
    std::vector<std::string> MirrorRequests() {
        std::vector<std::string> requests;
        for (size_t m = 0; m < mirrors_.size(); ++m) {
            for (const RequestRecord& record : mirrors_[m].Requests()) {
                requests.push_back(record.method + " http://127.0.0.1:" + std::to_string(mirrors_.Port(m)) +
                                   record.path);
            }
        }
        std::sort(requests.begin(), requests.end());
        return requests;
    }
    void ExpectUpdatedThrough(const TinyProxy& proxy, const DriverReport& run) {
        EXPECT_EQ(run.result, 0);
        for (int i = 0; i < 3; ++i) ExpectInstalled(i, 2);
        const std::vector<std::string> served = MirrorRequests();
        EXPECT_EQ(proxy.Forwarded(served.size()), served);
        // The two queries, the manifest and the three files at least.
        EXPECT_GE(served.size(), 6u);
        const auto queries = std::count_if(served.begin(), served.end(), [](const std::string& request) {
            return request.compare(0, 5, "POST ") == 0 && request.find("/servlet/") != std::string::npos;
        });
        EXPECT_EQ(queries, 2);
    }
};

TEST_F(ProxyE2e, StoredProxyWithoutCredentialsCarriesEveryRequest) {
    TinyProxy proxy;
    StoreProxy(GivenProxy(proxy, "", ""));
    ExpectUpdatedThrough(proxy, UpdateFromWebServer());
}

TEST_F(ProxyE2e, StoredProxyWithBasicCredentialsCarriesEveryRequest) {
    TinyProxy proxy("meetuser", "s3cret");
    StoreProxy(GivenProxy(proxy, "meetuser", "s3cret"));
    ExpectUpdatedThrough(proxy, UpdateFromWebServer());
    // The proxy asked for them first.
    EXPECT_NE(app_.Read("log/QKMeeting.log").find("proxy asks for credentials (scheme:0x1)"), std::string::npos);
}

TEST_F(ProxyE2e, WrongCredentialsEndWithTheDownloadErrorAndNameTheProxy) {
    TinyProxy proxy("meetuser", "s3cret");
    StoreProxy(GivenProxy(proxy, "meetuser", "guessed"));

    EXPECT_EQ(UpdateFromWebServer().result, URC_DOWNLOAD_ERR);

    EXPECT_EQ(app_.InstalledFiles(), std::vector<std::string>{"ZOLTAMeeting.exe"});
    EXPECT_TRUE(MirrorRequests().empty());
    // The proxy refuses wrong credentials with 401 (407 by the book).
    const std::string log = app_.Read("log/QKMeeting.log");
    const std::string refused = "transfer through proxy " + proxy.Address() + " failed! (status_code:";
    EXPECT_TRUE(log.find(refused + "401, reason:12152") != std::string::npos ||
                log.find(refused + "407, reason:12152") != std::string::npos);
}

// Its own CTest entry: the registry it changes is the whole prefix's.
TEST_F(ProxyE2e, SystemProxyFromTheRegistryCarriesEveryRequest) {
    TinyProxy proxy;
    ScopedSystemProxy system(proxy.Address());
    StoreProxy("1;");
    ExpectUpdatedThrough(proxy, UpdateFromWebServer());
}

}  // namespace
