// The WinHTTP wrapper driven by hand against a loopback server in the test process.
#include "net/qk_winhttp.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "loopback_http_server_win.h"

namespace {

// Stand-in for the request's owner: records each notification as one word
// ("send", "headers", "data:<n>", "read:<n>", "error:<code>", "redirect")
// and keeps the bytes read.
class RecordingRequestCallBack : public QK_RequestCallBack {
public:
    void OnRequestError(QK_WinHttpRequest*, const WINHTTP_ASYNC_RESULT* result) override {
        Record("error:" + std::to_string(result->dwError));
    }
    void OnRedirect(QK_WinHttpRequest*, const std::wstring&) override { Record("redirect"); }
    void OnSendRequestComplete(QK_WinHttpRequest*) override { Record("send"); }
    void OnWriteComplete(QK_WinHttpRequest*, DWORD bytesWritten) override {
        Record("write:" + std::to_string(bytesWritten));
    }
    void OnHeadersAvailable(QK_WinHttpRequest*) override { Record("headers"); }
    void OnDataAvailable(QK_WinHttpRequest*, DWORD bytesAvailable) override {
        Record("data:" + std::to_string(bytesAvailable));
    }
    void OnReadComplete(QK_WinHttpRequest*, char* buffer, DWORD bytesRead) override {
        std::lock_guard<std::mutex> guard(lock_);
        data_.append(buffer, bytesRead);
        delete[] buffer;
        events_.push_back("read:" + std::to_string(bytesRead));
        changed_.notify_all();
    }

    // Waits up to a minute for the event after the first skip ones; returns
    // it, or "" when none came.
    std::string WaitForEvent(size_t skip) {
        std::unique_lock<std::mutex> lock(lock_);
        changed_.wait_for(lock, std::chrono::minutes(1), [&] { return events_.size() > skip; });
        return events_.size() > skip ? events_[skip] : std::string();
    }
    size_t EventCount() {
        std::lock_guard<std::mutex> guard(lock_);
        return events_.size();
    }
    std::string Data() {
        std::lock_guard<std::mutex> guard(lock_);
        return data_;
    }

private:
    void Record(const std::string& event) {
        std::lock_guard<std::mutex> guard(lock_);
        events_.push_back(event);
        changed_.notify_all();
    }

    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
    std::string data_;
};

class QkWinHttpTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Start());
        ASSERT_EQ(session_.Open(L"wrapper-test", true), 0u);
        EXPECT_TRUE(session_.IsAsync());
        ASSERT_EQ(connection_.Connect(L"127.0.0.1", server_.Port(), &session_), 0u);
        EXPECT_EQ(connection_.GetSession(), &session_);
    }
    void TearDown() override { server_.Stop(); }

    // Opens and sends a GET of path; false when a step fails.
    bool SendGet(QK_WinHttpRequest& request, const wchar_t* path) {
        return request.OpenRequest(L"GET", path, &connection_) == 0 && request.SetStatusCallback(&callback_) == 0 &&
               request.SendRequest(0) == 0;
    }

    LoopbackHttpServer server_;
    QK_WinHttpSession session_;
    QK_WinHttpConnection connection_;
    RecordingRequestCallBack callback_;
};

TEST(QkWinHttpHandle, CloseOfAHandleNeverOpenedReturnsTrue) {
    QK_WinHttpSession session;
    QK_WinHttpRequest request;
    EXPECT_FALSE(session.IsOpen());
    EXPECT_EQ(session.Close(), TRUE);
    EXPECT_EQ(request.Close(), TRUE);
}

TEST(QkWinHttpHandle, ConnectWithoutSessionIsRefused) {
    QK_WinHttpConnection connection;
    EXPECT_EQ(connection.Connect(L"127.0.0.1", 80, nullptr), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(connection.IsOpen());
}

TEST_F(QkWinHttpTest, NotificationsOfAGetReachTheCallbackInOrder) {
    server_.AddFile("/f", std::string(15000, 'q'));
    QK_WinHttpRequest request;
    ASSERT_TRUE(SendGet(request, L"/f"));
    ASSERT_EQ(callback_.WaitForEvent(0), "send");

    ASSERT_EQ(request.ReceiveResponse(), 0u);
    ASSERT_EQ(callback_.WaitForEvent(1), "headers");
    DWORD status = 0;
    ASSERT_EQ(request.QueryHeaderNumber(WINHTTP_QUERY_STATUS_CODE, &status), 0u);
    EXPECT_EQ(status, 200u);
    DWORD length = 0;
    ASSERT_EQ(request.QueryCustomHeaderNumber(L"Content-Length", &length), 0u);
    EXPECT_EQ(length, 15000u);
    wchar_t text[64] = {};
    DWORD textBytes = sizeof text;
    ASSERT_EQ(request.QueryCustomHeader(L"Content-Length", text, &textBytes), 0u);
    EXPECT_EQ(std::wstring(text), L"15000");
    textBytes = sizeof text;
    EXPECT_EQ(request.QueryHeader(WINHTTP_QUERY_CONTENT_RANGE, text, &textBytes),
              static_cast<DWORD>(ERROR_WINHTTP_HEADER_NOT_FOUND));

    ASSERT_EQ(request.QueryDataAvailable(nullptr), 0u);
    const std::string available = callback_.WaitForEvent(2);
    EXPECT_EQ(available.compare(0, 5, "data:"), 0) << available;

    // Reads until the empty one that marks the end.
    size_t next = 3;
    for (;;) {
        char* buffer = new char[10240];
        ASSERT_EQ(request.ReadData(buffer, 10240, nullptr), 0u);
        const std::string event = callback_.WaitForEvent(next++);
        ASSERT_EQ(event.compare(0, 5, "read:"), 0) << event;
        if (event == "read:0") break;
    }
    EXPECT_EQ(callback_.Data(), std::string(15000, 'q'));
    EXPECT_EQ(request.Close(), TRUE);
    EXPECT_FALSE(request.IsOpen());
}

TEST_F(QkWinHttpTest, BodyIsWrittenThroughWriteData) {
    server_.AddFile("/upload", "ok");
    QK_WinHttpRequest request;
    ASSERT_EQ(request.OpenRequest(L"POST", L"/upload", &connection_), 0u);
    ASSERT_EQ(request.SetStatusCallback(&callback_), 0u);
    ASSERT_EQ(request.AddRequestHeaders(L"X-Test: one", static_cast<DWORD>(-1)), 0u);
    ASSERT_EQ(request.AddRequestHeaders(L"X-Test: two", static_cast<DWORD>(-1)), 0u);
    ASSERT_EQ(request.SendRequest(5), 0u);
    ASSERT_EQ(callback_.WaitForEvent(0), "send");

    ASSERT_EQ(request.WriteData("hello", 5, nullptr), 0u);
    EXPECT_EQ(callback_.WaitForEvent(1), "write:5");
    ASSERT_EQ(request.ReceiveResponse(), 0u);
    EXPECT_EQ(callback_.WaitForEvent(2), "headers");

    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].body, "hello");
    // Add-and-replace keeps one value per header.
    EXPECT_EQ(requests[0].Header("X-Test"), "two");
    EXPECT_EQ(requests[0].Header("User-Agent"), "wrapper-test");
}

TEST_F(QkWinHttpTest, WrittenBytesAreTheRequestsOnceWriteDataHasReturned) {
    server_.AddFile("/upload", "ok");
    QK_WinHttpRequest request;
    ASSERT_EQ(request.OpenRequest(L"POST", L"/upload", &connection_), 0u);
    ASSERT_EQ(request.SetStatusCallback(&callback_), 0u);
    const std::string body(10240, 'b');
    ASSERT_EQ(request.SendRequest(static_cast<DWORD>(body.size())), 0u);
    ASSERT_EQ(callback_.WaitForEvent(0), "send");

    // WinHTTP sends an asynchronous write later, from its own thread; the
    // caller's buffer is overwritten and freed before that.
    auto* piece = new std::string(body);
    ASSERT_EQ(request.WriteData(piece->data(), static_cast<DWORD>(piece->size()), nullptr), 0u);
    piece->assign(piece->size(), 'X');
    delete piece;
    EXPECT_EQ(callback_.WaitForEvent(1), "write:10240");
    ASSERT_EQ(request.ReceiveResponse(), 0u);
    EXPECT_EQ(callback_.WaitForEvent(2), "headers");

    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].body, body);
}

TEST_F(QkWinHttpTest, ARequestNeverSentClosesWithoutNotifications) {
    QK_WinHttpRequest request;
    ASSERT_EQ(request.OpenRequest(L"GET", L"/f", &connection_), 0u);
    ASSERT_EQ(request.SetStatusCallback(&callback_), 0u);
    EXPECT_EQ(request.Close(), TRUE);
    EXPECT_EQ(callback_.EventCount(), 0u);
    EXPECT_EQ(server_.ConnectionsAccepted(), 0u);
}

TEST_F(QkWinHttpTest, NoNotificationReachesAClosedRequest) {
    ScriptedReply stall;
    stall.head = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n";
    stall.end = ScriptedReply::End::kStall;
    server_.Script(stall);
    auto* request = new QK_WinHttpRequest();
    ASSERT_TRUE(SendGet(*request, L"/stall"));
    ASSERT_EQ(callback_.WaitForEvent(0), "send");
    ASSERT_EQ(request->ReceiveResponse(), 0u);
    ASSERT_EQ(callback_.WaitForEvent(1), "headers");
    // A read that is still waiting for data when the request closes: its
    // buffer stays with the request, which frees it when the handle is gone.
    ASSERT_EQ(request->ReadData(new char[10240], 10240, nullptr), 0u);

    request->Close();
    delete request;
    const size_t eventsAtClose = callback_.EventCount();
    // Ending the connection now would complete the read, were it still attached.
    server_.Stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(callback_.EventCount(), eventsAtClose);
    EXPECT_EQ(eventsAtClose, 2u);
}

TEST_F(QkWinHttpTest, OperationsOnAClosedRequestReturnTheError) {
    QK_WinHttpRequest request;
    EXPECT_EQ(request.SendRequest(0), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(request.AddRequestHeaders(L"X: y", static_cast<DWORD>(-1)), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
