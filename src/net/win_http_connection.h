// The download connection over asynchronous WinHTTP: one transfer at a time
// against one server, for a byte range of one file. WinHTTP's notifications
// become messages on the connection's own thread, so every step of a transfer
// runs there and the transfer state needs no lock.
//
// Windows only (through net/qk_winhttp.h); portable code sees connections
// through CHttpConnection and makes them through CHttpConnectionFactory.
//
// Threading: the owner's thread calls SetProxy, DoTransfer, Abort, IsBusy and
// Destroy; WinHTTP's threads call the QK_RequestCallBack operations, which
// only post messages; the connection's own thread runs everything else and
// every CConnectionCallBack call. The state (idle, transferring, stopping)
// and the stored proxy are the only fields shared across threads, guarded by
// one mutex.
//
// A stored proxy is given to WinHTTP twice: on the session (Wine's WinHTTP
// takes it only there) and on each request. A proxy that asks for
// credentials (407) gets the stored ones once per transfer, and the request
// goes again with its body; a refusal after that fails the transfer like any
// failing server, with a log line that names the proxy.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "net/http_connection.h"
#include "net/msg_thread.h"
#include "net/qk_winhttp.h"

// Returns a new idle connection whose log lines carry connNo, its thread
// started and named "CWinHttpConnection:<connNo>"; null when the object or
// its thread cannot be made. The caller releases it with Destroy.
CHttpConnection* CreateHttpConnection(int32_t connNo);

// Makes WinHTTP connections for the download manager.
//
// Threading: Create may be called from any thread.
class CWinHttpConnectionFactory : public CHttpConnectionFactory {
public:
    // Returns CreateHttpConnection(connNo): null when it cannot be made.
    CHttpConnection* Create(int32_t connNo) override;
};

// One transfer request, posted by DoTransfer to the connection's thread.
class CDoTransferMsg : public CMsg {
public:
    CDoTransferMsg(CConnectionCallBack* transferCallback, const std::string& transferUrl, const char* bodyBytes,
                   uint32_t bodyLength, int32_t transferStart, int32_t transferLength);

    CConnectionCallBack* const callback;
    const std::string url;
    const std::string body;  // empty when the caller gave none
    const int32_t start;
    const int32_t length;
};

class CWinHttpConnection : public CHttpConnection, public CMsgThread, public QK_RequestCallBack {
public:
    // Message types of the connection's queue.
    enum MsgType {
        kDoTransferMsg = 1,           // CDoTransferMsg
        kAbortMsg = 2,                // CMsg
        kDestroyMsg = 3,              // CMsg
        kRequestErrorMsg = 4,         // CVar2Msg<unsigned long, QK_WinHttpRequest*>: error code
        kRedirectMsg = 5,             // CVar2Msg<std::wstring, QK_WinHttpRequest*>: new URL
        kSendRequestCompleteMsg = 6,  // CVar1Msg<QK_WinHttpRequest*>
        kWriteCompleteMsg = 7,        // CVar2Msg<unsigned long, QK_WinHttpRequest*>: bytes written
        kHeadersAvailableMsg = 8,     // CVar1Msg<QK_WinHttpRequest*>
        kDataAvailableMsg = 9,        // CVar2Msg<unsigned long, QK_WinHttpRequest*>: bytes available
        kReadCompleteMsg = 10,        // CVar2Msg<HTTP_READ_COMP, QK_WinHttpRequest*>, owning the buffer
    };

    // Pieces in which request bodies are written and responses are read.
    static constexpr uint32_t kIoPieceBytes = 10240;

    // CHttpConnection. DoTransfer also refuses (false) a null callback.
    void SetProxy(const std::string& proxyHost, uint16_t proxyPort, const std::string& proxyUser,
                  const std::string& proxyPassword) override;
    bool DoTransfer(CConnectionCallBack* callback, const std::string& url, int32_t start, int32_t length,
                    const char* body, uint32_t bodyLength) override;
    void Abort() override;
    bool IsBusy() override;
    // Must not be called from the connection's own thread (that is, from
    // inside a CConnectionCallBack call): it waits for that thread to end.
    void Destroy() override;

private:
    friend CHttpConnection* CreateHttpConnection(int32_t connNo);

    enum State { kIdle = 0, kTransferring = 1, kStopping = 2 };

    // The proxy of SetProxy: an empty host means none, an empty user no credentials.
    struct SProxySetting {
        std::string host;
        uint16_t port = 0;
        std::string user;
        std::string password;
    };

    struct SpeedSample {
        uint32_t startTick;  // 32-bit millisecond tick count; 0 never counts
        uint32_t bytes;
        uint32_t durationMs;
    };

    explicit CWinHttpConnection(int32_t connNo);
    ~CWinHttpConnection() override;

    // CMsgThread: the connection's messages.
    void OnMsg(CMsg* msg) override;

    // QK_RequestCallBack, on WinHTTP's threads: each only posts a message.
    void OnRequestError(QK_WinHttpRequest* request, const WINHTTP_ASYNC_RESULT* result) override;
    void OnRedirect(QK_WinHttpRequest* request, const std::wstring& newUrl) override;
    void OnSendRequestComplete(QK_WinHttpRequest* request) override;
    void OnWriteComplete(QK_WinHttpRequest* request, DWORD bytesWritten) override;
    void OnHeadersAvailable(QK_WinHttpRequest* request) override;
    void OnDataAvailable(QK_WinHttpRequest* request, DWORD bytesAvailable) override;
    void OnReadComplete(QK_WinHttpRequest* request, char* buffer, DWORD bytesRead) override;

    // The handlers, on the connection's thread.
    void On_DoTransfer(CDoTransferMsg& msg);
    // Returns 0 once the request is on its way, otherwise the reason to end
    // the transfer with: 85 a request still exists, 87 a URL that cannot be
    // split or is not http, else the failing step's WinHTTP or system error.
    DWORD BeginTransfer(const CDoTransferMsg& msg);
    // Opens the session, through the transfer's proxy when there is one; a
    // session opened with another proxy is closed first.
    void OpenSession();
    // Makes the current request and sends it; returns the failing step's error, 0 on success.
    DWORD OpenAndStartRequest();
    // Sets the transfer's proxy on the request, with the Basic credentials
    // when the proxy took them before; returns the failing call's error.
    DWORD ApplyProxy();
    // On a 407 with proxy credentials stored, answers the challenge and sends
    // the request again, once per transfer; true when it did (or failed
    // doing so and ended the transfer), false when the response is to be
    // checked as it is.
    bool ResendWithProxyCredentials();
    // Adds the headers and sends the request; returns the failing step's error, 0 on success.
    DWORD StartWinHttpRequest();
    void On_Abort();
    void On_Destroy();
    void OnRequestErrorMsg(DWORD error);
    void OnRedirectMsg(const std::wstring& newUrl);
    void OnSendRequestCompleteMsg();
    void OnWriteCompleteMsg(DWORD bytesWritten);
    void OnHeadersAvailableMsg();
    void OnReadCompleteMsg(const HTTP_READ_COMP& read);
    // Writes the next piece of the body, or asks for the response once it is all sent.
    void SendBodyOrFinish();
    // Checks status and range; returns 0 or the reason to end the transfer with.
    DWORD CheckResponse();
    void IssueRead();
    void FinishTransfer();
    void CloseTaskOnError(DWORD reason);
    void CloseHandles();
    void ReleaseRequest();
    bool IsCurrentRequest(const QK_WinHttpRequest* request) const;

    void StartSpeedSample();
    void CountSpeed(uint32_t bytes);

    const int32_t connNo_;
    std::string serverHost_;
    uint16_t serverPort_ = 0;
    SProxySetting proxy_;          // guarded by stateLock_
    SProxySetting transferProxy_;  // the proxy of the current transfer
    std::wstring sessionProxy_;    // the proxy (host:port) the session was opened with; empty: direct
    bool proxyAnswered_ = false;   // a proxy challenge was answered in this transfer
    bool proxyTakesBasic_ = false; // the proxy asked for Basic: later requests carry it at once
    DWORD statusCode_ = 0;         // the status of the transfer's last response, 0 before one
    std::string objectPath_;
    std::string verb_;
    int32_t taskStart_ = 0;
    int32_t taskLength_ = CHttpConnection::kOpenLength;
    std::string body_;
    CConnectionCallBack* callback_ = nullptr;
    QK_WinHttpSession session_;
    QK_WinHttpConnection connection_;
    std::unique_ptr<QK_WinHttpRequest> request_;
    std::mutex stateLock_;
    int32_t state_ = kIdle;  // guarded by stateLock_
    int32_t bytesRecv_ = 0;
    uint32_t bytesSent_ = 0;
    std::list<SpeedSample> speedWindow_;  // newest first
};
