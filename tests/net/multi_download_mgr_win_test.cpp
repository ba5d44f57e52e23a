// The download manager with its real WinHTTP connections against servers
// that misbehave: loopback servers in the test process, one per mirror.
#include "net/multi_download_mgr.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "download_test_support.h"
#include "loopback_http_server_win.h"
#include "net/win_http_connection.h"
#include "temp_dir.h"
#include "util/code_page.h"

namespace {

constexpr int kIdleTimeoutMs = 3000;
const char kPath[] = "/files/f.bin";

ScriptedReply Reply(const std::string& head, const std::string& body, ScriptedReply::End end) {
    ScriptedReply reply;
    reply.head = head;
    reply.body = body;
    reply.end = end;
    return reply;
}

std::string OkHead(size_t contentLength) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(contentLength) + "\r\n\r\n";
}

class MultiDownloadMgrWinTest : public ::testing::Test {
protected:
    MultiDownloadMgrWinTest() {
        mgr_ = new CMultiDownloadMgr("W", &factory_);
        mgr_->SetBackoff(50, 200);
        mgr_->SetIdleTimeout(kIdleTimeoutMs);
        mgr_->SetCallBack(&logger_, &callback_);
    }
    ~MultiDownloadMgrWinTest() override {
        mgr_->Destroy();
        for (auto& server : servers_) server->Stop();
        if (HasFailure()) std::printf("%s", log_.Text().c_str());
    }

    // A started mirror serving the content at kPath.
    LoopbackHttpServer& AddMirror() {
        servers_.push_back(std::make_unique<LoopbackHttpServer>());
        LoopbackHttpServer& server = *servers_.back();
        EXPECT_TRUE(server.Start());
        server.AddFile(kPath, content_);
        return server;
    }
    // Downloads kPath from the mirrors, in the order they were added, and
    // returns the file's error code (-1 when it was never reported).
    int32_t Download() {
        std::string servers;
        for (const auto& server : servers_) servers += server->Url("") + ";";
        EXPECT_TRUE(mgr_->SetSverInfo(servers.c_str()));
        EXPECT_TRUE(mgr_->getFile(1, kPath, Local(), true, "", {}));
        EXPECT_TRUE(mgr_->start(0, false));
        EXPECT_TRUE(callback_.WaitAllFinished());
        mgr_->WaitForStop();
        const auto finished = callback_.FinishedFiles();
        return finished.size() == 1 ? finished[0].errorCode : -1;
    }
    std::string Local() const { return WideToAnsi(dir_.WinPath()) + "f.bin"; }
    std::string LocalBytes() const { return ReadFileBytes(dir_.path() / "f.bin"); }

    const std::string content_ = MakeContent(300000, 31);
    LogCapture log_;
    CWinHttpConnectionFactory factory_;
    NullLogger logger_;
    RecordingTransferCallBack callback_;
    ScopedTempDir dir_;
    std::vector<std::unique_ptr<LoopbackHttpServer>> servers_;
    CMultiDownloadMgr* mgr_ = nullptr;
};

}  // namespace

TEST_F(MultiDownloadMgrWinTest, TwoMirrorsGiveTheFileByteForByte) {
    AddMirror();
    AddMirror();
    EXPECT_EQ(Download(), DLF_OK);
    EXPECT_TRUE(callback_.AllSucceeded());
    EXPECT_EQ(LocalBytes(), content_);
}

TEST_F(MultiDownloadMgrWinTest, GarbageHeadersFromTheOnlyMirrorFailTheFileWithTheIdleTimeout) {
    ASSERT_TRUE(log_.Opened());
    AddMirror().ScriptEvery(Reply("garbage\r\nmore garbage\r\n\r\n", "", ScriptedReply::End::kClose));
    EXPECT_EQ(Download(), DLF_IDLE_TIMEOUT);
    EXPECT_FALSE(callback_.AllSucceeded());
    // It was asked again after each failure, and never gave the file a byte.
    EXPECT_GE(servers_[0]->Requests().size(), 2u);
    EXPECT_TRUE(log_.Contains("[W][conn0] OnMsgTransfFin error:12152, errtimes:2,"));
    EXPECT_TRUE(LocalBytes().empty());
}

TEST_F(MultiDownloadMgrWinTest, AMirrorAnsweringGarbageDoesNotSpoilTheFile) {
    AddMirror().ScriptEvery(Reply("garbage\r\n\r\n", "", ScriptedReply::End::kClose));
    AddMirror();
    EXPECT_EQ(Download(), DLF_OK);
    EXPECT_EQ(LocalBytes(), content_);
}

TEST_F(MultiDownloadMgrWinTest, AStalledMirrorFailsTheFileWithTheIdleTimeout) {
    AddMirror().ScriptEvery(Reply(OkHead(content_.size()), content_.substr(0, 1000), ScriptedReply::End::kStall));
    EXPECT_EQ(Download(), DLF_IDLE_TIMEOUT);
    EXPECT_FALSE(callback_.AllSucceeded());
    // Windows completes a read with the 1000 bytes there are and the abort
    // ends the transfer at once. Wine's WinHttpReadData waits on the calling
    // thread until the whole read is filled, so the connection hears of the
    // abort only when the 20 s receive time-out ends that read, and the
    // manager's Destroy waits for that.
}

TEST_F(MultiDownloadMgrWinTest, AMirrorThatStallsMidFileIsWorkedAround) {
    AddMirror().ScriptEvery(Reply(OkHead(content_.size()), content_.substr(0, 1000), ScriptedReply::End::kStall));
    AddMirror();
    EXPECT_EQ(Download(), DLF_OK);
    EXPECT_EQ(LocalBytes(), content_);
}

TEST_F(MultiDownloadMgrWinTest, AMirrorAnsweringAnotherSizeFailsTheFileWithSizeMismatch) {
    ASSERT_TRUE(log_.Opened());
    // The first mirror leaves the first request unanswered, then answers
    // every request with a file 5000 bytes longer.
    LoopbackHttpServer& other = AddMirror();
    other.Script(Reply("", "", ScriptedReply::End::kStall));
    other.ScriptEvery(Reply(OkHead(content_.size() + 5000), content_ + std::string(5000, 'p'),
                            ScriptedReply::End::kKeepAlive));
    // The second makes the size known, breaks off after 1000 bytes and then
    // answers only garbage: the whole file is asked for again, of the first.
    LoopbackHttpServer& dying = AddMirror();
    dying.Script(Reply(OkHead(content_.size()), content_.substr(0, 1000), ScriptedReply::End::kClose));
    dying.ScriptEvery(Reply("garbage\r\n\r\n", "", ScriptedReply::End::kClose));
    EXPECT_EQ(Download(), DLF_SIZE_MISMATCH);
    EXPECT_TRUE(log_.Contains("[W][conn0] filesize err, lastSize:300000, newSize:305000, file:/files/f.bin"));
}

TEST_F(MultiDownloadMgrWinTest, AMirrorClosingBeforeItsContentLengthIsAskedAgainUntilTheIdleTimeout) {
    // Every answer claims the whole file and brings its first 1000 bytes.
    AddMirror().ScriptEvery(Reply(OkHead(content_.size()), content_.substr(0, 1000), ScriptedReply::End::kClose));
    EXPECT_EQ(Download(), DLF_IDLE_TIMEOUT);
    EXPECT_GE(servers_[0]->Requests().size(), 2u);
    EXPECT_EQ(LocalBytes(), content_.substr(0, 1000));
}

TEST_F(MultiDownloadMgrWinTest, ABodyRunningOnPastItsContentLengthEndsAtTheFilesSize) {
    AddMirror().ScriptEvery(Reply(OkHead(content_.size()), content_, ScriptedReply::End::kEndless));
    EXPECT_EQ(Download(), DLF_OK);
    EXPECT_EQ(LocalBytes(), content_);
}

TEST_F(MultiDownloadMgrWinTest, AnEndlessBodyWithoutLengthDoesNotShutOutAMirrorThatGivesOne) {
    AddMirror().ScriptEvery(Reply("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", "", ScriptedReply::End::kEndless));
    AddMirror();
    EXPECT_EQ(Download(), DLF_OK);
    EXPECT_EQ(LocalBytes(), content_);
}

TEST_F(MultiDownloadMgrWinTest, StopEndsAnEndlessBodyWithoutReportingTheFileFinished) {
    AddMirror().ScriptEvery(Reply("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", "", ScriptedReply::End::kEndless));
    ASSERT_TRUE(mgr_->SetSverInfo(servers_[0]->Url("").c_str()));
    ASSERT_TRUE(mgr_->getFile(1, kPath, Local(), true, "", {}));
    ASSERT_TRUE(mgr_->start(0, false));
    ASSERT_TRUE(servers_[0]->WaitForRequests(1));
    mgr_->stop();
    ASSERT_TRUE(callback_.WaitAllFinished());
    mgr_->WaitForStop();
    EXPECT_FALSE(callback_.AllSucceeded());
    EXPECT_TRUE(callback_.FinishedFiles().empty());
}
