#include "net/multi_download_mgr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "download_test_support.h"
#include "fake_http_connection.h"
#include "temp_dir.h"
#include "util/code_page.h"

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// The monotonic tick of Windows moves in steps of about 16 ms.
constexpr milliseconds kTickResolution{20};

class MultiDownloadMgrTest : public ::testing::Test {
protected:
    MultiDownloadMgrTest() {
        mgr_ = new CMultiDownloadMgr("T", &factory_);
        mgr_->SetBackoff(50, 200);
        mgr_->SetCallBack(&logger_, &callback_);
    }
    ~MultiDownloadMgrTest() override {
        if (mgr_ != nullptr) mgr_->Destroy();
        // The manager's story of a failed test.
        if (HasFailure()) std::printf("%s", log_.Text().c_str());
    }

    std::string Local(const std::string& name) const { return WideToAnsi(dir_.WinPath()) + name; }
    std::string LocalBytes(const std::string& name) const { return ReadFileBytes(dir_.path() / name); }
    // Puts the same file on every host.
    void PutEverywhere(const std::vector<std::string>& hosts, const std::string& path, const std::string& bytes) {
        for (const std::string& host : hosts) net_.PutFile(host, path, bytes);
    }
    // Starts the queued files and waits for the run to end.
    void RunToEnd(bool stopWhenOneFileFailed = false) {
        ASSERT_TRUE(mgr_->start(7, stopWhenOneFileFailed));
        ASSERT_TRUE(callback_.WaitAllFinished());
        mgr_->WaitForStop();
    }
    // Polls until condition holds; false after kDownloadWait.
    template <class Condition>
    static bool WaitFor(Condition condition) {
        const auto deadline = Clock::now() + kDownloadWait;
        while (!condition()) {
            if (Clock::now() > deadline) return false;
            std::this_thread::sleep_for(milliseconds(5));
        }
        return true;
    }
    // True once every transfer the servers saw has ended.
    bool WaitRequestsEnded() {
        return WaitFor([this] {
            const auto requests = net_.Requests();
            return std::all_of(requests.begin(), requests.end(), [](const FakeRequest& r) { return r.finished; });
        });
    }
    static bool Has(const std::vector<FakeRequest>& requests, int32_t start, int32_t length) {
        return std::any_of(requests.begin(), requests.end(),
                           [&](const FakeRequest& r) { return r.start == start && r.length == length; });
    }
    void ExpectFinished(const std::vector<std::pair<int32_t, int32_t>>& expected) {
        const auto finished = callback_.FinishedFiles();
        ASSERT_EQ(finished.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(finished[i].fileID, expected[i].first) << i;
            EXPECT_EQ(finished[i].errorCode, expected[i].second) << i;
            EXPECT_EQ(finished[i].userValue, 7) << i;
        }
    }

    LogCapture log_;
    FakeNetwork net_;
    FakeConnectionFactory factory_{net_};
    RecordingTransferCallBack callback_;
    NullLogger logger_;
    ScopedTempDir dir_;
    CMultiDownloadMgr* mgr_ = nullptr;
};

}  // namespace

TEST_F(MultiDownloadMgrTest, MakesOneConnectionPerServerEntryUpToTheFirstEmptyOne) {
    ASSERT_TRUE(log_.Opened());
    EXPECT_TRUE(mgr_->SetSverInfo("srvA/;http://srvB:8080;;srvC"));
    EXPECT_EQ(factory_.made.size(), 2u);
    EXPECT_TRUE(log_.Contains("[T] connID=0; serverinfo=srvA/"));
    EXPECT_TRUE(log_.Contains("[T] connID=1; serverinfo=http://srvB:8080"));
    EXPECT_FALSE(log_.Contains("serverinfo=srvC"));
}

TEST_F(MultiDownloadMgrTest, RefusesServerStringsThatGiveNoConnection) {
    ASSERT_TRUE(log_.Opened());
    EXPECT_FALSE(mgr_->SetSverInfo(nullptr));
    EXPECT_TRUE(log_.Contains("[T] SetSverInfo to null!"));
    EXPECT_FALSE(mgr_->SetSverInfo(""));
    EXPECT_FALSE(mgr_->SetSverInfo(";srvA"));
    EXPECT_TRUE(log_.Contains("[T] SetSverInfo failed, the server string[;srvA]!"));
    factory_.failAtConnNo = 1;
    EXPECT_FALSE(mgr_->SetSverInfo("srvA;srvB;srvC"));
    EXPECT_TRUE(log_.Contains("[T] query httpConnection instance fail"));
    EXPECT_TRUE(log_.Contains("[T] RemoveAllConn..."));
}

TEST_F(MultiDownloadMgrTest, JoinsBaseUrlAndServerPathWithOneSlash) {
    const std::string f = MakeContent(3000, 1), g = MakeContent(4000, 2);
    net_.AddServer("srvA");
    net_.PutFile("srvA", "/sub/f.bin", f);
    net_.PutFile("srvA", "/sub/g.bin", g);
    ASSERT_TRUE(mgr_->SetSverInfo("srvA/sub/"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), false, ""));
    ASSERT_TRUE(mgr_->getFile(2, "/g.bin", Local("g.bin"), false, ""));
    RunToEnd();
    ExpectFinished({{1, 0}, {2, 0}});
    for (const FakeRequest& request : net_.Requests()) {
        EXPECT_TRUE(request.path == "/sub/f.bin" || request.path == "/sub/g.bin") << request.path;
    }
    EXPECT_EQ(LocalBytes("f.bin"), f);
    EXPECT_EQ(LocalBytes("g.bin"), g);
}

TEST_F(MultiDownloadMgrTest, DownloadsAWholeFileFromOneServerWithoutRanges) {
    const std::string content = MakeContent(70000, 3);
    net_.AddServer("srv0");
    net_.PutFile("srv0", "/f.bin", content);
    ASSERT_TRUE(mgr_->SetSverInfo("srv0"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("sub/f.bin"), false, ""));
    RunToEnd();
    ExpectFinished({{1, 0}});
    EXPECT_TRUE(callback_.AllSucceeded());
    EXPECT_EQ(callback_.AllUserValue(), 7);
    const auto requests = net_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].start, 0);
    EXPECT_EQ(requests[0].length, -1);
    EXPECT_EQ(LocalBytes("sub/f.bin"), content);
    const auto progress = callback_.ProgressReports();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().total, 70000);
    EXPECT_EQ(progress.back().transferred, 70000);
}

TEST_F(MultiDownloadMgrTest, FirstServerToReportTheSizeBecomesMainAndTheOthersAreAborted) {
    ASSERT_TRUE(log_.Opened());
    const std::string content = MakeContent(50000, 4);
    FakeServerScript far;
    far.responseDelayMs = 300;
    net_.AddServer("srv0", far);
    net_.AddServer("srv1");
    net_.AddServer("srv2", far);
    PutEverywhere({"srv0", "srv1", "srv2"}, "/f.bin", content);
    ASSERT_TRUE(mgr_->SetSverInfo("srv0;srv1;srv2"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), false, ""));
    RunToEnd();
    ExpectFinished({{1, 0}});
    EXPECT_TRUE(log_.Contains("[T][conn1] became the main conn"));
    ASSERT_TRUE(WaitRequestsEnded());
    for (const std::string host : {"srv0", "srv2"}) {
        const auto requests = net_.RequestsTo(host);
        ASSERT_EQ(requests.size(), 1u) << host;
        EXPECT_EQ(requests[0].result, -1) << host;
        EXPECT_EQ(requests[0].bytesSent, 0) << host;
    }
    EXPECT_EQ(LocalBytes("f.bin"), content);
}

TEST_F(MultiDownloadMgrTest, ProbesTheTailThenSpreadsPiecesAndElectsTheMainOfTheNextFile) {
    ASSERT_TRUE(log_.Opened());
    const std::string f = MakeContent(300000, 5), g = MakeContent(100000, 6);
    FakeServerScript slowStream;
    slowStream.chunkDelayMs = 20;
    FakeServerScript far;
    far.responseDelayMs = 100;
    far.responseDelayTimes = 1;
    net_.AddServer("srv0", slowStream);
    net_.AddServer("srv1", far);
    PutEverywhere({"srv0", "srv1"}, "/f.bin", f);
    PutEverywhere({"srv0", "srv1"}, "/g.bin", g);
    ASSERT_TRUE(mgr_->SetSverInfo("srv0;srv1"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, "a=1&b=2"));
    ASSERT_TRUE(mgr_->getFile(2, "g.bin", Local("g.bin"), true, ""));
    RunToEnd();
    ExpectFinished({{1, 0}, {2, 0}});
    EXPECT_EQ(LocalBytes("f.bin"), f);
    EXPECT_EQ(LocalBytes("g.bin"), g);

    EXPECT_TRUE(log_.Contains("[T][conn0] became the main conn"));
    EXPECT_TRUE(Has(net_.RequestsTo("srv1"), 299900, 100));
    EXPECT_TRUE(log_.Contains("[T] network support http-range!"));
    EXPECT_TRUE(log_.Contains("fullFileBlk became to: [0~300000]"));
    EXPECT_TRUE(log_.Contains("fullFileBlk became to: [0~100000]"));
    int pieces = 0;
    for (const FakeRequest& request : net_.Requests()) {
        pieces += request.length == FileMgr::kPieceSize ? 1 : 0;
        if (request.start > 0) {
            EXPECT_GT(request.length, 0) << request.start;
        }
        // The body goes with every transfer of f.bin from offset 0, and only with those.
        const bool wantsBody = request.path == "/f.bin" && request.start == 0;
        EXPECT_EQ(request.body, wantsBody ? "a=1&b=2" : "") << request.path << " " << request.start;
    }
    EXPECT_GT(pieces, 0);
    // The server is known to honour ranges: g.bin needs no probe.
    const auto requests = net_.Requests();
    EXPECT_FALSE(std::any_of(requests.begin(), requests.end(),
                             [](const FakeRequest& r) { return r.path == "/g.bin" && r.length == 100; }));
    // Elected again whenever the main connection's own range is done.
    const auto mains = callback_.MainServers();
    ASSERT_FALSE(mains.empty());
    for (const std::string& url : mains) EXPECT_TRUE(url == "http://srv0" || url == "http://srv1") << url;
    EXPECT_TRUE(log_.Contains("] become the main conn"));
}

TEST_F(MultiDownloadMgrTest, AnIdleConnectionRacesForTheLastPieceAndTheFirstToFinishWins) {
    ASSERT_TRUE(log_.Opened());
    const std::string content = MakeContent(200000, 7);
    FakeServerScript steady;
    steady.chunkDelayMs = 30;
    FakeServerScript stalling;
    stalling.responseDelayMs = 50;
    stalling.stallAfter = 100;
    net_.AddServer("srv0", steady);
    net_.AddServer("srv1", stalling);
    PutEverywhere({"srv0", "srv1"}, "/f.bin", content);
    ASSERT_TRUE(mgr_->SetSverInfo("srv0;srv1"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, ""));
    RunToEnd();
    ExpectFinished({{1, 0}});
    EXPECT_EQ(LocalBytes("f.bin"), content);

    ASSERT_TRUE(WaitRequestsEnded());
    const auto fast = net_.RequestsTo("srv0");
    int taken = 0;
    for (const FakeRequest& piece : net_.RequestsTo("srv1")) {
        if (piece.length != FileMgr::kPieceSize) continue;
        EXPECT_EQ(piece.result, -1);
        // srv0 fetched the rest of the stalled piece.
        taken += Has(fast, piece.start + 100, FileMgr::kPieceSize - 100) ? 1 : 0;
    }
    EXPECT_GT(taken, 0);
    EXPECT_TRUE(log_.Contains("] abort by range("));
}

TEST_F(MultiDownloadMgrTest, AFailingServerWaitsOutAGrowingBackoff) {
    ASSERT_TRUE(log_.Opened());
    constexpr int kStepMs = 200, kMaxMs = 1000;
    mgr_->SetBackoff(kStepMs, kMaxMs);
    const std::string content = MakeContent(4096 * 120, 8);
    FakeServerScript slow;
    slow.chunkSize = 4096;
    slow.chunkDelayMs = 20;
    FakeServerScript failing;
    failing.failWith = 12002;
    net_.AddServer("srv0", slow);
    net_.AddServer("srv1", failing);
    PutEverywhere({"srv0", "srv1"}, "/f.bin", content);
    ASSERT_TRUE(mgr_->SetSverInfo("srv0;srv1"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, ""));
    RunToEnd();
    ExpectFinished({{1, 0}});
    EXPECT_EQ(LocalBytes("f.bin"), content);

    ASSERT_TRUE(WaitRequestsEnded());
    const auto attempts = net_.RequestsTo("srv1");
    ASSERT_GE(attempts.size(), 5u);
    for (size_t i = 1; i < attempts.size(); ++i) {
        const int errors = static_cast<int>(i);
        const milliseconds backoff(errors > 3 ? kMaxMs : (errors - 1) * kStepMs);
        const auto waited = std::chrono::duration_cast<milliseconds>(attempts[i].startedAt - attempts[i - 1].finishedAt);
        EXPECT_GE(waited, backoff - kTickResolution) << "after " << errors << " errors";
    }
    EXPECT_TRUE(log_.Contains("[T][conn1] OnMsgTransfFin error:12002, errtimes:4, lastTime:"));
    EXPECT_TRUE(log_.Contains("[T][conn1] OnMsgTransfFin error:12002, errtimes:5, lastTime:"));
}

TEST_F(MultiDownloadMgrTest, ReceivedDataResetsTheErrorCount) {
    ASSERT_TRUE(log_.Opened());
    mgr_->SetBackoff(200, 1000);
    const std::string content = MakeContent(4096 * 80, 9);
    FakeServerScript slow;
    slow.chunkSize = 4096;
    slow.chunkDelayMs = 20;
    FakeServerScript dying;
    dying.chunkSize = 500;
    dying.dieAfter = 1000;
    dying.dieWith = 12002;
    net_.AddServer("srv0", slow);
    net_.AddServer("srv1", dying);
    PutEverywhere({"srv0", "srv1"}, "/f.bin", content);
    ASSERT_TRUE(mgr_->SetSverInfo("srv0;srv1"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, ""));
    RunToEnd();
    ExpectFinished({{1, 0}});
    EXPECT_EQ(LocalBytes("f.bin"), content);
    EXPECT_GE(log_.Count("[T][conn1] OnMsgTransfFin error:12002, errtimes:1,"), 2);
    EXPECT_FALSE(log_.Contains("[T][conn1] OnMsgTransfFin error:12002, errtimes:2,"));
}

TEST_F(MultiDownloadMgrTest, AFileThatReceivesNothingForTheIdleTimeoutFails) {
    ASSERT_TRUE(log_.Opened());
    constexpr int kIdleMs = 300;
    mgr_->SetIdleTimeout(kIdleMs);
    FakeServerScript stalling;
    stalling.stallAfter = 1000;
    net_.AddServer("srv0", stalling);
    net_.PutFile("srv0", "/f.bin", MakeContent(50000, 10));
    ASSERT_TRUE(mgr_->SetSverInfo("srv0"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, ""));
    const auto started = Clock::now();
    RunToEnd();
    EXPECT_GE(Clock::now() - started, milliseconds(kIdleMs));
    ExpectFinished({{1, 2}});
    EXPECT_FALSE(callback_.AllSucceeded());
    EXPECT_TRUE(log_.Contains("[T] file download failed. [errCode:2, file=f.bin]"));
    // A failed file is closed, not deleted.
    EXPECT_EQ(LocalBytes("f.bin").size(), 1000u);
}

TEST_F(MultiDownloadMgrTest, AServerThatSendsTheSameStartAgainAndAgainFailsWithTheIdleTimeout) {
    ASSERT_TRUE(log_.Opened());
    mgr_->SetIdleTimeout(300);
    // Every answer claims the whole file, brings its first 1000 bytes and ends
    // as if complete; the file is asked for again from its start each time.
    FakeServerScript shortAnswers;
    shortAnswers.dieAfter = 1000;
    shortAnswers.dieWith = 0;
    net_.AddServer("srv0", shortAnswers);
    net_.PutFile("srv0", "/f.bin", MakeContent(50000, 23));
    ASSERT_TRUE(mgr_->SetSverInfo("srv0"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, ""));
    RunToEnd();
    ExpectFinished({{1, 2}});
    ASSERT_TRUE(WaitRequestsEnded());
    EXPECT_GE(net_.Requests().size(), 2u);
    EXPECT_EQ(LocalBytes("f.bin"), MakeContent(50000, 23).substr(0, 1000));
}

TEST_F(MultiDownloadMgrTest, ABodySentAgainAndAgainToAServerThatFailsEndsWithTheIdleTimeout) {
    mgr_->SetIdleTimeout(300);
    // The server takes the body, then answers without data (the path is unknown to it).
    net_.AddServer("srv0");
    ASSERT_TRUE(mgr_->SetSverInfo("srv0"));
    ASSERT_TRUE(mgr_->getFile(1, "report", Local("reply.txt"), false, std::string(3000, 'r')));
    RunToEnd();
    ExpectFinished({{1, 2}});
    ASSERT_TRUE(WaitRequestsEnded());
    const auto requests = net_.Requests();
    ASSERT_GE(requests.size(), 2u);
    for (const FakeRequest& request : requests) EXPECT_EQ(request.result, kFakeBadResponse);
    // The second failure counts as such, although the body was taken: the back-off grows.
    EXPECT_TRUE(log_.Contains(", errtimes:2, lastTime:"));
}

TEST_F(MultiDownloadMgrTest, AServerThatCannotTellTheSizeDoesNotShutOutOneThatCan) {
    ASSERT_TRUE(log_.Opened());
    const std::string content = MakeContent(300000, 24);
    FakeServerScript sizelessAndSlow;
    sizelessAndSlow.sendsSize = false;
    sizelessAndSlow.chunkDelayMs = 20;
    FakeServerScript far;
    far.responseDelayMs = 100;
    far.responseDelayTimes = 1;
    net_.AddServer("srv0", sizelessAndSlow);
    net_.AddServer("srv1", far);
    PutEverywhere({"srv0", "srv1"}, "/f.bin", content);
    ASSERT_TRUE(mgr_->SetSverInfo("srv0;srv1"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, ""));
    RunToEnd();
    ExpectFinished({{1, 0}});
    EXPECT_EQ(LocalBytes("f.bin"), content);
    EXPECT_TRUE(log_.Contains("[T][conn1] became the main conn"));
    EXPECT_FALSE(log_.Contains("[T][conn0] became the main conn"));
    ASSERT_TRUE(WaitRequestsEnded());
    EXPECT_EQ(net_.RequestsTo("srv0").at(0).result, -1);
}

TEST_F(MultiDownloadMgrTest, ASizeDifferentFromTheKnownOneFailsTheFile) {
    ASSERT_TRUE(log_.Opened());
    FakeServerScript dying;
    dying.dieAfter = 1000;
    FakeServerScript farAtFirst;
    farAtFirst.responseDelayMs = 150;
    farAtFirst.responseDelayTimes = 1;
    net_.AddServer("srv0", dying);
    net_.AddServer("srv1", farAtFirst);
    net_.PutFile("srv0", "/f.bin", MakeContent(4096, 11));
    net_.PutFile("srv1", "/f.bin", MakeContent(5000, 11));
    ASSERT_TRUE(mgr_->SetSverInfo("srv0;srv1"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), false, ""));
    RunToEnd();
    ExpectFinished({{1, 3}});
    EXPECT_TRUE(log_.Contains("[T][conn1] filesize err, lastSize:4096, newSize:5000, file:f.bin"));
}

TEST_F(MultiDownloadMgrTest, ALocalFileFailureFailsThatFileAndTheNextOneStarts) {
    const std::string content = MakeContent(9000, 12);
    net_.AddServer("srv0");
    net_.PutFile("srv0", "/f.bin", content);
    ASSERT_TRUE(mgr_->SetSverInfo("srv0"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", "nodir.bin", true, ""));
    ASSERT_TRUE(mgr_->getFile(2, "f.bin", Local("f.bin"), true, ""));
    RunToEnd();
    ExpectFinished({{1, 4}, {2, 0}});
    EXPECT_FALSE(callback_.AllSucceeded());
    EXPECT_EQ(LocalBytes("f.bin"), content);
}

TEST_F(MultiDownloadMgrTest, StopWhenOneFileFailedEndsTheRunWithTheFilesError) {
    ASSERT_TRUE(log_.Opened());
    net_.AddServer("srv0");
    net_.PutFile("srv0", "/f.bin", MakeContent(9000, 13));
    ASSERT_TRUE(mgr_->SetSverInfo("srv0"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", "nodir.bin", true, ""));
    ASSERT_TRUE(mgr_->getFile(2, "f.bin", Local("f.bin"), true, ""));
    RunToEnd(true);
    ExpectFinished({{1, 4}});
    EXPECT_FALSE(callback_.AllSucceeded());
    EXPECT_EQ(mgr_->GetExitCode(), 4);
    EXPECT_TRUE(net_.Requests().empty());
    EXPECT_TRUE(log_.Contains("[T] StopWhenOneFileFailed is true, start to stop"));
}

TEST_F(MultiDownloadMgrTest, AnEmptyQueueEndsTheRunAtOnceAsASuccess) {
    ASSERT_TRUE(mgr_->SetSverInfo("srv0"));
    RunToEnd();
    EXPECT_TRUE(callback_.AllSucceeded());
    EXPECT_EQ(callback_.AllFinishedCount(), 1);
    EXPECT_TRUE(callback_.FinishedFiles().empty());
    EXPECT_TRUE(net_.Requests().empty());
}

TEST_F(MultiDownloadMgrTest, AFileWithoutContentLengthEndsWithItsResponse) {
    const std::string content = MakeContent(33333, 14);
    FakeServerScript sizeless;
    sizeless.sendsSize = false;
    net_.AddServer("srv0", sizeless);
    net_.PutFile("srv0", "/f.bin", content);
    ASSERT_TRUE(mgr_->SetSverInfo("srv0"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, ""));
    RunToEnd();
    ExpectFinished({{1, 0}});
    EXPECT_EQ(LocalBytes("f.bin"), content);
    const auto progress = callback_.ProgressReports();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().total, 33333);
}

TEST_F(MultiDownloadMgrTest, ManyServersWithFaultsGiveByteIdenticalFiles) {
    const std::vector<std::string> hosts = {"srv0", "srv1", "srv2", "srv3"};
    const std::vector<std::string> contents = {MakeContent(1000000, 15), MakeContent(300000, 16),
                                               MakeContent(50, 17), std::string()};
    FakeServerScript quick;
    quick.chunkDelayMs = 2;
    FakeServerScript dying;
    dying.dieAfter = 30000;
    FakeServerScript rangeless;
    rangeless.ignoresRange = true;
    FakeServerScript slow;
    slow.chunkDelayMs = 15;
    net_.AddServer("srv0", quick);
    net_.AddServer("srv1", dying);
    net_.AddServer("srv2", rangeless);
    net_.AddServer("srv3", slow);
    for (size_t i = 0; i < contents.size(); ++i) PutEverywhere(hosts, "/f" + std::to_string(i), contents[i]);
    ASSERT_TRUE(mgr_->SetSverInfo("srv0;srv1;srv2;srv3"));
    for (size_t i = 0; i < contents.size(); ++i) {
        const std::string name = "f" + std::to_string(i);
        ASSERT_TRUE(mgr_->getFile(static_cast<int32_t>(i), name, Local("out\\" + name), true, ""));
    }
    RunToEnd();
    ExpectFinished({{0, 0}, {1, 0}, {2, 0}, {3, 0}});
    EXPECT_TRUE(callback_.AllSucceeded());
    for (size_t i = 0; i < contents.size(); ++i) {
        EXPECT_EQ(LocalBytes("out/f" + std::to_string(i)), contents[i]) << i;
    }
    ASSERT_TRUE(WaitRequestsEnded());
    for (const FakeRequest& request : net_.RequestsTo("srv2")) {
        if (request.start == 0) continue;
        EXPECT_NE(request.result, 0) << request.start;
        EXPECT_EQ(request.bytesSent, 0) << request.start;
    }
}

TEST_F(MultiDownloadMgrTest, StopEndsTheRunAndRemovesTheUnfinishedFile) {
    FakeServerScript stalling;
    stalling.stallAfter = 5000;
    net_.AddServer("srv0", stalling);
    net_.PutFile("srv0", "/f.bin", MakeContent(50000, 18));
    ASSERT_TRUE(mgr_->SetSverInfo("srv0"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, ""));
    ASSERT_TRUE(mgr_->start(7, false));
    ASSERT_TRUE(WaitFor([this] {
        const auto requests = net_.Requests();
        return !requests.empty() && requests[0].bytesSent == 5000;
    }));
    mgr_->stop();
    ASSERT_TRUE(callback_.WaitAllFinished());
    mgr_->WaitForStop();
    EXPECT_FALSE(callback_.AllSucceeded());
    EXPECT_TRUE(callback_.FinishedFiles().empty());
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "f.bin"));
    ASSERT_TRUE(WaitRequestsEnded());
    EXPECT_EQ(net_.Requests()[0].result, -1);
}

TEST_F(MultiDownloadMgrTest, RefusesToChangeOrRestartWhileRunning) {
    ASSERT_TRUE(log_.Opened());
    FakeServerScript stalling;
    stalling.stallAfter = 0;
    net_.AddServer("srv0", stalling);
    net_.PutFile("srv0", "/f.bin", MakeContent(5000, 19));
    ASSERT_TRUE(mgr_->SetSverInfo("srv0"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, ""));
    ASSERT_TRUE(mgr_->start(7, false));
    EXPECT_FALSE(mgr_->start(7, false));
    EXPECT_FALSE(mgr_->getFile(2, "g.bin", Local("g.bin"), true, ""));
    EXPECT_FALSE(mgr_->SetSverInfo("srv1"));
    EXPECT_TRUE(log_.Contains("[T] download is running, start failed!"));
    EXPECT_TRUE(log_.Contains("[T] getFile failed, is running!"));
    EXPECT_TRUE(log_.Contains("[T] SetSverInfo failed,the job is running!"));
    mgr_->stop();
    mgr_->WaitForStop();
    EXPECT_TRUE(mgr_->SetSverInfo("srv1"));
    EXPECT_TRUE(mgr_->getFile(2, "g.bin", Local("g.bin"), true, ""));
}

TEST_F(MultiDownloadMgrTest, RunsAgainAfterARunHasEnded) {
    const std::string f = MakeContent(12000, 20), g = MakeContent(13000, 21);
    net_.AddServer("srv0");
    net_.PutFile("srv0", "/f.bin", f);
    net_.PutFile("srv0", "/g.bin", g);
    ASSERT_TRUE(mgr_->SetSverInfo("srv0"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, ""));
    ASSERT_TRUE(mgr_->start(7, true));
    ASSERT_TRUE(callback_.WaitAllFinished());
    mgr_->WaitForStop();
    ASSERT_TRUE(mgr_->getFile(2, "g.bin", Local("g.bin"), true, ""));
    ASSERT_TRUE(mgr_->start(7, true));
    ASSERT_TRUE(WaitFor([this] { return callback_.AllFinishedCount() == 2; }));
    mgr_->WaitForStop();
    ExpectFinished({{1, 0}, {2, 0}});
    EXPECT_EQ(LocalBytes("f.bin"), f);
    EXPECT_EQ(LocalBytes("g.bin"), g);
}

TEST_F(MultiDownloadMgrTest, GivesTheProxyToConnectionsMadeAfterIt) {
    ASSERT_TRUE(mgr_->SetSverInfo("srv0"));
    EXPECT_FALSE(mgr_->SetProxy(nullptr, 8080, "u", "p"));
    EXPECT_TRUE(mgr_->SetProxy("proxy.local", 8080, "u", "p"));
    EXPECT_EQ(factory_.made[0]->ProxyHost(), "");
    ASSERT_TRUE(mgr_->SetSverInfo("srv0;srv1"));
    ASSERT_EQ(factory_.made.size(), 3u);
    EXPECT_EQ(factory_.made[1]->ProxyHost(), "proxy.local");
    EXPECT_EQ(factory_.made[2]->ProxyHost(), "proxy.local");
}

TEST_F(MultiDownloadMgrTest, DestroyEndsARunThatIsStillGoing) {
    FakeServerScript stalling;
    stalling.stallAfter = 0;
    net_.AddServer("srv0", stalling);
    net_.PutFile("srv0", "/f.bin", MakeContent(5000, 22));
    ASSERT_TRUE(mgr_->SetSverInfo("srv0"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, ""));
    ASSERT_TRUE(mgr_->start(7, false));
    ASSERT_TRUE(WaitFor([this] { return !net_.Requests().empty(); }));
    mgr_->Destroy();
    mgr_ = nullptr;
    EXPECT_EQ(callback_.AllFinishedCount(), 1);
    EXPECT_FALSE(callback_.AllSucceeded());
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "f.bin"));
}
