#include "net/multi_download_mgr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
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
    // Fetches content as f.bin, in ranges, from one server that answers by script.
    void FetchFromOneServer(const FakeServerScript& script, const std::string& content) {
        net_.AddServer("srv0", script);
        net_.PutFile("srv0", "/f.bin", content);
        ASSERT_TRUE(mgr_->SetSverInfo("srv0"));
        ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, "", {}));
        RunToEnd();
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
    // The files that finished, by id: several may be under way at once.
    void ExpectFinished(const std::vector<std::pair<int32_t, int32_t>>& expected) {
        auto finished = callback_.FinishedFiles();
        std::stable_sort(finished.begin(), finished.end(),
                         [](const auto& a, const auto& b) { return a.fileID < b.fileID; });
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
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), false, "", {}));
    ASSERT_TRUE(mgr_->getFile(2, "/g.bin", Local("g.bin"), false, "", {}));
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
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("sub/f.bin"), false, "", {}));
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

TEST_F(MultiDownloadMgrTest, AServerThatStaysSilentIsRacedAndTheFirstToAnswerLeads) {
    ASSERT_TRUE(log_.Opened());
    const std::string content = MakeContent(50000, 4);
    FakeServerScript far;
    far.responseDelayMs = 2000;
    far.responseDelayTimes = 1;
    net_.AddServer("srv0", far);
    net_.AddServer("srv1");
    PutEverywhere({"srv0", "srv1"}, "/f.bin", content);
    ASSERT_TRUE(mgr_->SetSverInfo("srv0;srv1"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), false, "", {}));
    RunToEnd();
    ExpectFinished({{1, 0}});
    EXPECT_EQ(LocalBytes("f.bin"), content);
    EXPECT_TRUE(log_.Contains("[T][conn0] become the main conn"));
    EXPECT_TRUE(log_.Contains("[T][conn1] became the main conn"));
    EXPECT_EQ(callback_.MainServers(), (std::vector<std::string>{"http://srv0", "http://srv1"}));
    ASSERT_TRUE(WaitRequestsEnded());
    const auto silent = net_.RequestsTo("srv0");
    ASSERT_EQ(silent.size(), 1u);
    EXPECT_EQ(silent[0].result, -1);
    EXPECT_EQ(silent[0].bytesSent, 0);
    // It was raced only once it had stayed silent.
    const auto racer = net_.RequestsTo("srv1");
    ASSERT_EQ(racer.size(), 1u);
    EXPECT_GE(racer[0].startedAt - silent[0].startedAt, milliseconds(kSilentMinMs) - kTickResolution);
}

TEST_F(MultiDownloadMgrTest, SplitsTheOpenRangeByRateAndTheFasterConnectionLeads) {
    ASSERT_TRUE(log_.Opened());
    const std::string f = MakeContent(4000000, 5);
    // Slow enough for several of the manager's 500 ms progress ticks, at
    // which the main connection is chosen again, even under a sanitizer.
    FakeServerScript slow;
    slow.chunkDelayMs = 40;
    FakeServerScript fast;
    fast.chunkDelayMs = 4;
    net_.AddServer("srv0", slow);
    net_.AddServer("srv1", fast);
    PutEverywhere({"srv0", "srv1"}, "/f.bin", f);
    ASSERT_TRUE(mgr_->SetSverInfo("srv0;srv1"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, "a=1&b=2", {}));
    RunToEnd();
    ExpectFinished({{1, 0}});
    EXPECT_EQ(LocalBytes("f.bin"), f);
    ASSERT_TRUE(WaitRequestsEnded());
    int64_t slowBytes = 0, fastBytes = 0;
    int small = 0;
    for (const FakeRequest& request : net_.Requests()) {
        (request.host == "srv0" ? slowBytes : fastBytes) += request.bytesSent;
        // No probe and no small pieces: what is taken over is at least the
        // least piece; only the last range may be fetched beside a slower one.
        small += request.start > 0 && request.length < kMinPieceBytes ? 1 : 0;
        // The body goes with every transfer from offset 0, and only with those.
        EXPECT_EQ(request.body, request.start == 0 ? "a=1&b=2" : "") << request.start;
    }
    EXPECT_LE(small, 1);
    // The fast server, ten times the slow one's speed, carries the most.
    EXPECT_GT(fastBytes, 3 * slowBytes);
    EXPECT_TRUE(log_.Contains("] takes over ["));
    EXPECT_TRUE(log_.Contains("[T] network support http-range!"));
    // srv0 started the file; srv1 leads it once measured faster.
    EXPECT_EQ(callback_.MainServers().front(), "http://srv0");
    EXPECT_TRUE(log_.Contains("[T][conn1] become the main conn"));
    // The sources say who wrote what, without overlap or gap.
    int64_t covered = 0, fromFast = 0;
    for (const SServedRange& range : callback_.SourcesOf(1)) {
        covered += range.length;
        fromFast += range.serverNo == 1 ? range.length : 0;
    }
    EXPECT_EQ(covered, static_cast<int64_t>(f.size()));
    EXPECT_GT(fromFast, 3 * (covered - fromFast));
}

TEST_F(MultiDownloadMgrTest, AnIdleConnectionFetchesAStalledRangeBesideItAndTheFirstToFinishWins) {
    ASSERT_TRUE(log_.Opened());
    const std::string content = MakeContent(400000, 7);
    FakeServerScript steady;
    steady.chunkDelayMs = 10;
    FakeServerScript stalling;
    stalling.responseDelayMs = 50;
    stalling.stallAfter = 100;
    net_.AddServer("srv0", steady);
    net_.AddServer("srv1", stalling);
    PutEverywhere({"srv0", "srv1"}, "/f.bin", content);
    ASSERT_TRUE(mgr_->SetSverInfo("srv0;srv1"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, "", {}));
    RunToEnd();
    ExpectFinished({{1, 0}});
    EXPECT_EQ(LocalBytes("f.bin"), content);

    ASSERT_TRUE(WaitRequestsEnded());
    const auto fast = net_.RequestsTo("srv0");
    int taken = 0;
    for (const FakeRequest& stalled : net_.RequestsTo("srv1")) {
        if (stalled.start == 0) continue;
        EXPECT_EQ(stalled.result, -1);
        // srv0 fetched the rest of the stalled range from where it stopped.
        taken += std::any_of(fast.begin(), fast.end(),
                             [&](const FakeRequest& r) { return r.start == stalled.start + 100; })
                     ? 1
                     : 0;
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
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, "", {}));
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
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, "", {}));
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
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, "", {}));
    const auto started = Clock::now();
    RunToEnd();
    EXPECT_GE(Clock::now() - started, milliseconds(kIdleMs));
    ExpectFinished({{1, 2}});
    EXPECT_FALSE(callback_.AllSucceeded());
    EXPECT_TRUE(log_.Contains("[T] file download failed. [errCode:2, file=f.bin]"));
    // A failed file is closed, not deleted.
    EXPECT_EQ(LocalBytes("f.bin").size(), 1000u);
}

TEST_F(MultiDownloadMgrTest, ASingleServerResumesFromWhatIsOnDisk) {
    const std::string content = MakeContent(100000, 23);
    // The first answer breaks off after 30000 bytes; the next transfer asks
    // only for what is missing.
    FakeServerScript breaking;
    breaking.dieAfter = 30000;
    breaking.dieTimes = 1;
    FetchFromOneServer(breaking, content);
    ExpectFinished({{1, 0}});
    EXPECT_EQ(LocalBytes("f.bin"), content);
    ASSERT_TRUE(WaitRequestsEnded());
    const auto requests = net_.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].bytesSent, 30000);
    EXPECT_EQ(requests[1].start, 30000);
    EXPECT_EQ(requests[1].length, 70000);
}

TEST_F(MultiDownloadMgrTest, TheIdleTimeoutCountsBytesThatBringNothingNew) {
    mgr_->SetIdleTimeout(300);
    const std::string content = MakeContent(30 * 4096, 25);
    // Without ranges and broken off once after 20 pieces, the file comes again
    // from its start: 20 pieces, 600 ms, that bring nothing new.
    FakeServerScript rangeless;
    rangeless.ignoresRange = true;
    rangeless.chunkSize = 4096;
    rangeless.chunkDelayMs = 30;
    rangeless.dieAfter = 20 * 4096;
    rangeless.dieTimes = 1;
    FetchFromOneServer(rangeless, content);
    ExpectFinished({{1, 0}});
    EXPECT_EQ(LocalBytes("f.bin"), content);
    ASSERT_TRUE(WaitRequestsEnded());
    const auto requests = net_.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].start, 20 * 4096);
    EXPECT_EQ(requests[1].result, kFakeBadResponse);
    EXPECT_EQ(requests[2].start, 0);
}

TEST_F(MultiDownloadMgrTest, AServerThatBringsNothingNewIsGivenUpAndTheFileFails) {
    ASSERT_TRUE(log_.Opened());
    mgr_->SetIdleTimeout(5000);
    // Without ranges, every answer brings the same first 1000 bytes and ends
    // as if complete.
    FakeServerScript shortAnswers;
    shortAnswers.ignoresRange = true;
    shortAnswers.dieAfter = 1000;
    shortAnswers.dieWith = 0;
    FetchFromOneServer(shortAnswers, MakeContent(50000, 23));
    ExpectFinished({{1, 2}});
    EXPECT_TRUE(log_.Contains("[T][conn0] brings nothing new of file:f.bin"));
    ASSERT_TRUE(WaitRequestsEnded());
    int fromStart = 0;
    for (const FakeRequest& request : net_.Requests()) fromStart += request.start == 0 ? 1 : 0;
    EXPECT_EQ(fromStart, 1 + CMultiDownloadMgr::kFruitlessLimit);
    EXPECT_EQ(LocalBytes("f.bin"), MakeContent(50000, 23).substr(0, 1000));
}

TEST_F(MultiDownloadMgrTest, SmallFilesGoSeveralAtATimeOverMoreConnectionsPerServer) {
    FakeServerScript far;
    far.responseDelayMs = 40;
    net_.AddServer("srv0", far);
    net_.AddServer("srv1", far);
    std::vector<std::string> contents;
    for (int i = 0; i < 24; ++i) {
        contents.push_back(MakeContent(20000 + i, 40 + i));
        PutEverywhere({"srv0", "srv1"}, "/f" + std::to_string(i), contents.back());
    }
    ASSERT_TRUE(mgr_->SetSverInfo("srv0;srv1"));
    for (int i = 0; i < 24; ++i) {
        ASSERT_TRUE(mgr_->getFile(i, "f" + std::to_string(i), Local("f" + std::to_string(i)), true, "", {}));
    }
    RunToEnd();
    EXPECT_TRUE(callback_.AllSucceeded());
    for (int i = 0; i < 24; ++i) EXPECT_EQ(LocalBytes("f" + std::to_string(i)), contents[i]) << i;
    const size_t made = factory_.made.size();
    EXPECT_GT(made, 2u);
    EXPECT_LE(made, 2u * CMultiDownloadMgr::kMaxConnsPerServer);
    // Each file is one request, and requests to one server overlap.
    ASSERT_TRUE(WaitRequestsEnded());
    const auto requests = net_.Requests();
    EXPECT_EQ(requests.size(), 24u);
    int overlapping = 0;
    for (size_t a = 0; a < requests.size(); ++a) {
        for (size_t b = a + 1; b < requests.size(); ++b) {
            overlapping += requests[a].host == requests[b].host && requests[a].startedAt < requests[b].finishedAt &&
                                   requests[b].startedAt < requests[a].finishedAt
                               ? 1
                               : 0;
        }
    }
    EXPECT_GT(overlapping, 0);
}

TEST_F(MultiDownloadMgrTest, ABodySentAgainAndAgainToAServerThatFailsEndsWithTheIdleTimeout) {
    mgr_->SetIdleTimeout(300);
    // The server takes the body, then answers without data (the path is unknown to it).
    net_.AddServer("srv0");
    ASSERT_TRUE(mgr_->SetSverInfo("srv0"));
    ASSERT_TRUE(mgr_->getFile(1, "report", Local("reply.txt"), false, std::string(3000, 'r'), {}));
    RunToEnd();
    ExpectFinished({{1, 2}});
    ASSERT_TRUE(WaitRequestsEnded());
    const auto requests = net_.Requests();
    ASSERT_GE(requests.size(), 2u);
    // Taking the body clears no error: the attempts wait out the back-off.
    EXPECT_LE(requests.size(), 6u);
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
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, "", {}));
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
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), false, "", {}));
    RunToEnd();
    ExpectFinished({{1, 3}});
    EXPECT_TRUE(log_.Contains("[T][conn1] filesize err, lastSize:4096, newSize:5000, file:f.bin"));
}

TEST_F(MultiDownloadMgrTest, AServerStatingAnotherSizeThanTheTransferSizeIsLeftOutAndTheOthersCarryOn) {
    ASSERT_TRUE(log_.Opened());
    const std::string content = MakeContent(300000, 26);
    FakeServerScript paced;
    paced.chunkDelayMs = 5;
    net_.AddServer("srv0", paced);
    net_.AddServer("srv1", paced);
    net_.PutFile("srv0", "/f.bin", content);
    net_.PutFile("srv1", "/f.bin", MakeContent(400000, 27));
    ASSERT_TRUE(mgr_->SetSverInfo("srv0;srv1"));
    SFileFetch fetch;
    fetch.transferSize = 300000;
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, "", fetch));
    RunToEnd();
    ExpectFinished({{1, 0}});
    EXPECT_EQ(LocalBytes("f.bin"), content);
    EXPECT_TRUE(log_.Contains("[T][conn1] filesize err, lastSize:300000, newSize:400000, file:f.bin"));
    // Once found out it is asked nothing more of the file.
    EXPECT_EQ(net_.RequestsTo("srv1").size(), 1u);
}

TEST_F(MultiDownloadMgrTest, NoServerWritesPastTheTransferSizeOrTheBound) {
    SFileFetch exact;
    exact.transferSize = 5000;
    SFileFetch bounded;
    bounded.sizeLimit = 5000;
    // One server states the size of an 8000-byte file, the other streams it without one.
    const std::string content = MakeContent(8000, 28);
    FakeServerScript sizeless;
    sizeless.sendsSize = false;
    net_.AddServer("srv0");
    net_.AddServer("srv1", sizeless);
    PutEverywhere({"srv0", "srv1"}, "/f.bin", content);
    ASSERT_TRUE(mgr_->SetSverInfo("srv0;srv1"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("exact.bin"), true, "", exact));
    ASSERT_TRUE(mgr_->getFile(2, "f.bin", Local("bounded.bin"), false, "", bounded));
    RunToEnd();
    // The release's size is taken from the stream (its check value has the
    // last word); past the bound every server fails.
    ExpectFinished({{1, DLF_OK}, {2, DLF_SIZE_MISMATCH}});
    EXPECT_EQ(LocalBytes("exact.bin"), content.substr(0, 5000));
    EXPECT_LE(LocalBytes("bounded.bin").size(), 5000u);
}

TEST_F(MultiDownloadMgrTest, ALocalFileFailureFailsThatFileAndTheNextOneStarts) {
    const std::string content = MakeContent(9000, 12);
    net_.AddServer("srv0");
    net_.PutFile("srv0", "/f.bin", content);
    ASSERT_TRUE(mgr_->SetSverInfo("srv0"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", "nodir.bin", true, "", {}));
    ASSERT_TRUE(mgr_->getFile(2, "f.bin", Local("f.bin"), true, "", {}));
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
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", "nodir.bin", true, "", {}));
    ASSERT_TRUE(mgr_->getFile(2, "f.bin", Local("f.bin"), true, "", {}));
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
    FetchFromOneServer(sizeless, content);
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
        ASSERT_TRUE(mgr_->getFile(static_cast<int32_t>(i), name, Local("out\\" + name), true, "", {}));
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
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, "", {}));
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
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, "", {}));
    ASSERT_TRUE(mgr_->start(7, false));
    EXPECT_FALSE(mgr_->start(7, false));
    EXPECT_FALSE(mgr_->getFile(2, "g.bin", Local("g.bin"), true, "", {}));
    EXPECT_FALSE(mgr_->SetSverInfo("srv1"));
    EXPECT_TRUE(log_.Contains("[T] download is running, start failed!"));
    EXPECT_TRUE(log_.Contains("[T] getFile failed, is running!"));
    EXPECT_TRUE(log_.Contains("[T] SetSverInfo failed,the job is running!"));
    mgr_->stop();
    mgr_->WaitForStop();
    EXPECT_TRUE(mgr_->SetSverInfo("srv1"));
    EXPECT_TRUE(mgr_->getFile(2, "g.bin", Local("g.bin"), true, "", {}));
}

TEST_F(MultiDownloadMgrTest, RunsAgainAfterARunHasEnded) {
    const std::string f = MakeContent(12000, 20), g = MakeContent(13000, 21);
    net_.AddServer("srv0");
    net_.PutFile("srv0", "/f.bin", f);
    net_.PutFile("srv0", "/g.bin", g);
    ASSERT_TRUE(mgr_->SetSverInfo("srv0"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, "", {}));
    ASSERT_TRUE(mgr_->start(7, true));
    ASSERT_TRUE(callback_.WaitAllFinished());
    mgr_->WaitForStop();
    ASSERT_TRUE(mgr_->getFile(2, "g.bin", Local("g.bin"), true, "", {}));
    ASSERT_TRUE(mgr_->start(7, true));
    ASSERT_TRUE(WaitFor([this] { return callback_.AllFinishedCount() == 2; }));
    mgr_->WaitForStop();
    ExpectFinished({{1, 0}, {2, 0}});
    EXPECT_EQ(LocalBytes("f.bin"), f);
    EXPECT_EQ(LocalBytes("g.bin"), g);
}

TEST_F(MultiDownloadMgrTest, AServerAskedLastWorksOnlyWhileNoOtherIsBusy) {
    FakeServerScript paced;
    paced.chunkDelayMs = 5;
    FakeServerScript failing;
    failing.failWith = 12029;
    net_.AddServer("srv0");
    net_.AddServer("srv1", paced);
    net_.AddServer("srv2", failing);
    for (int i = 0; i < 4; ++i) PutEverywhere({"srv0", "srv1", "srv2"}, "/f" + std::to_string(i), MakeContent(80000, 50 + i));
    ASSERT_TRUE(mgr_->SetSverInfo("srv0;srv1"));
    mgr_->DemoteServer(0);
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(mgr_->getFile(i, "f" + std::to_string(i), Local("a" + std::to_string(i)), true, "", {}));
    RunToEnd();
    EXPECT_TRUE(callback_.AllSucceeded());
    EXPECT_TRUE(net_.RequestsTo("srv0").empty());
    EXPECT_EQ(mgr_->ServersBySpeed(), (std::vector<int32_t>{1, 0}));
    EXPECT_EQ(mgr_->ServerUrl(1), "http://srv1");
    // With the other server failing, the one asked last serves the file.
    ASSERT_TRUE(mgr_->SetSverInfo("srv0;srv2"));
    mgr_->DemoteServer(0);
    ASSERT_TRUE(mgr_->getFile(9, "f0", Local("b0"), true, "", {}));
    ASSERT_TRUE(mgr_->start(7, false));
    ASSERT_TRUE(WaitFor([this] { return callback_.AllFinishedCount() == 2; }));
    mgr_->WaitForStop();
    EXPECT_EQ(LocalBytes("b0"), MakeContent(80000, 50));
    EXPECT_FALSE(net_.RequestsTo("srv0").empty());
}

TEST_F(MultiDownloadMgrTest, AManagerThatFallsBehindHoldsItsConnectionsBack) {
    // The manager's thread stops in the first progress report until released.
    class StallingCallBack : public RecordingTransferCallBack {
    public:
        void OnFileProgress(int32_t fileID, int32_t totalSize, int32_t transferred, int32_t userValue) override {
            std::unique_lock<std::mutex> lock(lock_);
            if (!stalled_) {
                stalled_ = true;
                writtenAtStall_ = transferred;
                changed_.notify_all();
                changed_.wait(lock, [this] { return released_; });
            }
            lock.unlock();
            RecordingTransferCallBack::OnFileProgress(fileID, totalSize, transferred, userValue);
        }
        int32_t WaitForStall() {
            std::unique_lock<std::mutex> lock(lock_);
            changed_.wait_for(lock, kDownloadWait, [this] { return stalled_; });
            return writtenAtStall_;
        }
        void Release() {
            std::lock_guard<std::mutex> guard(lock_);
            released_ = true;
            changed_.notify_all();
        }

    private:
        std::mutex lock_;
        std::condition_variable changed_;
        bool stalled_ = false;
        bool released_ = false;
        int32_t writtenAtStall_ = 0;
    } stalling;
    mgr_->SetCallBack(&logger_, &stalling);
    const std::string content = MakeContent(40 << 20, 30);
    FakeServerScript paced;
    paced.chunkDelayMs = 1;
    net_.AddServer("srv0", paced);
    net_.PutFile("srv0", "/f.bin", content);
    ASSERT_TRUE(mgr_->SetSverInfo("srv0"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, "", {}));
    ASSERT_TRUE(mgr_->start(7, false));
    const int64_t written = stalling.WaitForStall();
    // The connection goes on until the data on its way reaches the bound.
    int64_t sent = -1;
    ASSERT_TRUE(WaitFor([&] {
        const int64_t now = net_.Requests().at(0).bytesSent;
        std::this_thread::sleep_for(milliseconds(300));
        const bool still = now == net_.Requests().at(0).bytesSent;
        sent = now;
        return still;
    }));
    EXPECT_LE(sent - written, CMultiDownloadMgr::kMaxQueuedDataBytes + 10240);
    EXPECT_LT(sent, static_cast<int64_t>(content.size()));
    stalling.Release();
    ASSERT_TRUE(stalling.WaitAllFinished());
    mgr_->WaitForStop();
    EXPECT_TRUE(stalling.AllSucceeded());
    EXPECT_EQ(LocalBytes("f.bin"), content);
}

TEST_F(MultiDownloadMgrTest, ARunEndsOnlyOnceEveryTransferOfItHasEnded) {
    // The server answers the first request after a while; the stop comes meanwhile.
    FakeServerScript slowToAnswer;
    slowToAnswer.responseDelayMs = 500;
    slowToAnswer.responseDelayTimes = 1;
    net_.AddServer("srv0", slowToAnswer);
    const std::string f = MakeContent(5000, 31), g = MakeContent(6000, 32);
    net_.PutFile("srv0", "/f.bin", f);
    net_.PutFile("srv0", "/g.bin", g);
    ASSERT_TRUE(mgr_->SetSverInfo("srv0"));
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, "", {}));
    ASSERT_TRUE(mgr_->start(7, true));
    ASSERT_TRUE(WaitFor([this] { return !net_.Requests().empty(); }));
    mgr_->stop();
    mgr_->WaitForStop();
    // Its end came within the run, not in the next one.
    EXPECT_FALSE(factory_.made[0]->IsBusy());
    ASSERT_TRUE(net_.Requests().at(0).finished);
    EXPECT_EQ(net_.Requests().at(0).result, -1);
    ASSERT_TRUE(mgr_->getFile(2, "g.bin", Local("g.bin"), true, "", {}));
    ASSERT_TRUE(mgr_->start(7, true));
    ASSERT_TRUE(WaitFor([this] { return callback_.AllFinishedCount() == 2; }));
    mgr_->WaitForStop();
    ExpectFinished({{2, 0}});
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
    ASSERT_TRUE(mgr_->getFile(1, "f.bin", Local("f.bin"), true, "", {}));
    ASSERT_TRUE(mgr_->start(7, false));
    ASSERT_TRUE(WaitFor([this] { return !net_.Requests().empty(); }));
    mgr_->Destroy();
    mgr_ = nullptr;
    EXPECT_EQ(callback_.AllFinishedCount(), 1);
    EXPECT_FALSE(callback_.AllSucceeded());
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "f.bin"));
}
