#include "net/win_http_connection.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <new>

#include "diag/trace_log.h"
#include "net/proxy_access_win.h"
#include "net/winhttp_error_name.h"
#include "util/clock.h"
#include "util/code_page.h"

namespace {

constexpr const wchar_t* kUserAgent = L"Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)";
constexpr DWORD kUrlPartChars = 512;
constexpr DWORD kErrorTransferExists = 85;    // ERROR_ALREADY_ASSIGNED
constexpr DWORD kErrorBadUrl = 87;            // ERROR_INVALID_PARAMETER
constexpr DWORD kErrorBadResponse = CConnectionCallBack::kResultBadResponse;
constexpr DWORD kErrorResendRequest = 12032;  // ERROR_WINHTTP_RESEND_REQUEST
constexpr uint32_t kSendCompleteBytes = 2048;  // what the request line and headers count for the speed
constexpr uint32_t kHeadersBytes = 1024;       // what the response headers count for the speed
constexpr size_t kSpeedSamples = 5;
constexpr uint32_t kSpeedSampleMs = 2000;

using CodeMsg = CVar2Msg<unsigned long, QK_WinHttpRequest*>;
using UrlMsg = CVar2Msg<std::wstring, QK_WinHttpRequest*>;
using RequestMsg = CVar1Msg<QK_WinHttpRequest*>;
using ReadMsg = CVar2Msg<HTTP_READ_COMP, QK_WinHttpRequest*>;

// A read completion owns its buffer, so that it is freed however the message
// ends: handled, ignored as late, or deleted unhandled when the thread stops.
class CReadCompleteMsg : public ReadMsg {
public:
    CReadCompleteMsg(const HTTP_READ_COMP& read, QK_WinHttpRequest* request)
        : ReadMsg(CWinHttpConnection::kReadCompleteMsg, read, request) {}
    ~CReadCompleteMsg() override { delete[] var1.buffer; }
};

uint32_t TickCount32() { return static_cast<uint32_t>(TickCountMs()); }

// The total size of a Content-Range value ("bytes 100-199/1000" gives 1000),
// INT32_MAX for a total that does not fit, or -1 when it is "*" or no number.
int32_t ContentRangeTotal(const wchar_t* contentRange) {
    const wchar_t* slash = std::wcschr(contentRange, L'/');
    if (!slash || slash[1] < L'0' || slash[1] > L'9') return -1;
    wchar_t* end = nullptr;
    const long long total = std::wcstoll(slash + 1, &end, 10);
    if (*end != L'\0' && *end != L' ') return -1;
    // Beyond what offsets can hold: over every size the caller knows.
    return total > INT32_MAX ? INT32_MAX : static_cast<int32_t>(total);
}

}  // namespace

CHttpConnection* CreateHttpConnection(int32_t connNo) {
    CWinHttpConnection* conn = new (std::nothrow) CWinHttpConnection(connNo);
    if (!conn) return nullptr;
    if (!conn->Start()) {
        delete conn;
        return nullptr;
    }
    char name[64];
    std::snprintf(name, sizeof name, "CWinHttpConnection:%d", connNo);
    conn->SetThreadName(name);
    return conn;
}

CHttpConnection* CWinHttpConnectionFactory::Create(int32_t connNo) { return CreateHttpConnection(connNo); }

CDoTransferMsg::CDoTransferMsg(CConnectionCallBack* transferCallback, const std::string& transferUrl,
                               const char* bodyBytes, uint32_t bodyLength, int32_t transferStart,
                               int32_t transferLength)
    : CMsg(CWinHttpConnection::kDoTransferMsg),
      callback(transferCallback),
      url(transferUrl),
      body(bodyBytes ? std::string(bodyBytes, bodyLength) : std::string()),
      start(transferStart),
      length(transferLength) {}

CWinHttpConnection::CWinHttpConnection(int32_t connNo) : connNo_(connNo) {}

CWinHttpConnection::~CWinHttpConnection() {
    Stop(0);
    Join();
}

void CWinHttpConnection::SetProxy(const std::string& proxyHost, uint16_t proxyPort, const std::string& proxyUser,
                                  const std::string& proxyPassword) {
    std::lock_guard<std::mutex> guard(stateLock_);
    proxy_ = SProxySetting{proxyHost, proxyPort, proxyUser, proxyPassword};
}

bool CWinHttpConnection::DoTransfer(CConnectionCallBack* callback, const std::string& url, int32_t start,
                                    int32_t length, const char* body, uint32_t bodyLength) {
    if (!callback) return false;
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        if (state_ != kIdle) return false;
        state_ = kTransferring;
    }
    PostMsg(new CDoTransferMsg(callback, url, body, bodyLength, start, length));
    return true;
}

void CWinHttpConnection::Abort() {
    std::lock_guard<std::mutex> guard(stateLock_);
    if (state_ != kTransferring) return;
    state_ = kStopping;
    DownLogDbg("[Conn%d] abort!", connNo_);
    PostMsg(new CMsg(kAbortMsg));
}

bool CWinHttpConnection::IsBusy() {
    std::lock_guard<std::mutex> guard(stateLock_);
    return state_ != kIdle;
}

void CWinHttpConnection::Destroy() {
    PostMsg(new CMsg(kDestroyMsg));
    Join();
    delete this;
}

void CWinHttpConnection::OnMsg(CMsg* msg) {
    // WinHTTP notifications of an earlier request are late and ignored.
    switch (msg->GetType()) {
    case kDoTransferMsg:
        On_DoTransfer(static_cast<CDoTransferMsg&>(*msg));
        break;
    case kAbortMsg:
        On_Abort();
        break;
    case kDestroyMsg:
        On_Destroy();
        break;
    case kRequestErrorMsg: {
        const auto& error = static_cast<const CodeMsg&>(*msg);
        if (IsCurrentRequest(error.var2)) OnRequestErrorMsg(error.var1);
        break;
    }
    case kRedirectMsg: {
        const auto& redirect = static_cast<const UrlMsg&>(*msg);
        if (IsCurrentRequest(redirect.var2)) OnRedirectMsg(redirect.var1);
        break;
    }
    case kSendRequestCompleteMsg:
        if (IsCurrentRequest(static_cast<const RequestMsg&>(*msg).var1)) OnSendRequestCompleteMsg();
        break;
    case kWriteCompleteMsg: {
        const auto& written = static_cast<const CodeMsg&>(*msg);
        if (IsCurrentRequest(written.var2)) OnWriteCompleteMsg(written.var1);
        break;
    }
    case kHeadersAvailableMsg:
        if (IsCurrentRequest(static_cast<const RequestMsg&>(*msg).var1)) OnHeadersAvailableMsg();
        break;
    case kDataAvailableMsg:
        if (IsCurrentRequest(static_cast<const CodeMsg&>(*msg).var2)) IssueRead();
        break;
    case kReadCompleteMsg: {
        const auto& read = static_cast<const ReadMsg&>(*msg);
        if (IsCurrentRequest(read.var2)) OnReadCompleteMsg(read.var1);
        break;
    }
    default:
        DownLogErr("conn %d:DealUsrMsg unknow type:%d", connNo_, msg->GetType());
        break;
    }
}

void CWinHttpConnection::OnRequestError(QK_WinHttpRequest* request, const WINHTTP_ASYNC_RESULT* result) {
    PostMsg(new CodeMsg(kRequestErrorMsg, result->dwError, request));
}

void CWinHttpConnection::OnRedirect(QK_WinHttpRequest* request, const std::wstring& newUrl) {
    PostMsg(new UrlMsg(kRedirectMsg, newUrl, request));
}

void CWinHttpConnection::OnSendRequestComplete(QK_WinHttpRequest* request) {
    PostMsg(new RequestMsg(kSendRequestCompleteMsg, request));
}

void CWinHttpConnection::OnWriteComplete(QK_WinHttpRequest* request, DWORD bytesWritten) {
    PostMsg(new CodeMsg(kWriteCompleteMsg, bytesWritten, request));
}

void CWinHttpConnection::OnHeadersAvailable(QK_WinHttpRequest* request) {
    PostMsg(new RequestMsg(kHeadersAvailableMsg, request));
}

void CWinHttpConnection::OnDataAvailable(QK_WinHttpRequest* request, DWORD bytesAvailable) {
    PostMsg(new CodeMsg(kDataAvailableMsg, bytesAvailable, request));
}

void CWinHttpConnection::OnReadComplete(QK_WinHttpRequest* request, char* buffer, DWORD bytesRead) {
    HTTP_READ_COMP read;
    read.buffer = buffer;
    read.bytesRead = bytesRead;
    PostMsg(new CReadCompleteMsg(read, request));
}

void CWinHttpConnection::On_DoTransfer(CDoTransferMsg& msg) {
    // The callback and the task come first, so that even a transfer refused
    // at once reports its end to the one who asked for it.
    callback_ = msg.callback;
    taskStart_ = msg.start;
    taskLength_ = msg.length;
    const DWORD result = BeginTransfer(msg);
    if (result != 0) CloseTaskOnError(result);
}

DWORD CWinHttpConnection::BeginTransfer(const CDoTransferMsg& msg) {
    if (request_) {
        DownLogDbg("[conn%d] On_DoTransfer(%d~%d)", connNo_, msg.start, msg.length);
        return kErrorTransferExists;
    }

    const std::wstring url = AnsiToWide(msg.url);
    wchar_t scheme[kUrlPartChars] = {};
    wchar_t host[kUrlPartChars] = {};
    wchar_t user[kUrlPartChars] = {};
    wchar_t password[kUrlPartChars] = {};
    wchar_t path[kUrlPartChars] = {};
    wchar_t extra[kUrlPartChars] = {};
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszScheme = scheme;
    parts.dwSchemeLength = kUrlPartChars;
    parts.lpszHostName = host;
    parts.dwHostNameLength = kUrlPartChars;
    parts.lpszUserName = user;
    parts.dwUserNameLength = kUrlPartChars;
    parts.lpszPassword = password;
    parts.dwPasswordLength = kUrlPartChars;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = kUrlPartChars;
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = kUrlPartChars;
    if (!WinHttpCrackUrl(url.c_str(), 0, ICU_ESCAPE, &parts)) return kErrorBadUrl;
    // Secure URLs are not supported.
    if (std::wcscmp(scheme, L"http") != 0) return kErrorBadUrl;

    serverHost_ = WideToAnsi(host);
    serverPort_ = parts.nPort;
    // The query part lies in the extra information and is not sent.
    objectPath_ = WideToAnsi(path);
    body_ = msg.body;
    verb_ = body_.empty() ? "GET" : "POST";
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        transferProxy_ = proxy_;
    }
    proxyAnswered_ = false;
    statusCode_ = 0;

    OpenSession();
    if (!connection_.IsOpen()) {
        // One connection object serves one server, so an open handle is kept
        // without comparing hosts.
        const DWORD error = connection_.Connect(AnsiToWide(serverHost_).c_str(), serverPort_, &session_);
        if (error) return error;
    }

    const DWORD error = OpenAndStartRequest();
    if (error) return error;
    StartSpeedSample();
    return 0;
}

DWORD CWinHttpConnection::OpenAndStartRequest() {
    request_.reset(new QK_WinHttpRequest());
    DWORD error = request_->OpenRequest(AnsiToWide(verb_).c_str(), AnsiToWide(objectPath_).c_str(), &connection_);
    if (error) return error;
    error = request_->SetStatusCallback(this);
    if (error) return error;
    error = ApplyProxy();
    if (error) return error;
    return StartWinHttpRequest();
}

void CWinHttpConnection::OpenSession() {
    const std::wstring proxy = SessionProxyName(transferProxy_.host, transferProxy_.port);
    if (session_.IsOpen() && proxy == sessionProxy_) return;
    CloseHandles();
    // A failure shows up when the connection is made on it.
    session_.Open(kUserAgent, true, proxy);
    if (proxy != sessionProxy_) proxyTakesBasic_ = false;
    sessionProxy_ = proxy;
}

DWORD CWinHttpConnection::ApplyProxy() {
    std::wstring proxyList = NamedProxyList(transferProxy_.host, transferProxy_.port);
    WINHTTP_PROXY_INFO proxyInfo = {};
    proxyInfo.dwAccessType = WINHTTP_ACCESS_TYPE_NO_PROXY;
    if (!proxyList.empty()) {
        proxyInfo.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
        proxyInfo.lpszProxy = &proxyList[0];
    }
    DWORD error = request_->SetProxy(&proxyInfo);
    // Credentials go only in answer to the proxy's challenge (see
    // ResendWithProxyCredentials), or with every request once it took Basic.
    if (error == 0 && proxyTakesBasic_) {
        error = request_->AddRequestHeaders(BasicProxyAuthorization(transferProxy_.user, transferProxy_.password).c_str(),
                                            static_cast<DWORD>(-1));
    }
    if (error) DownLogWar("Conn[%d] SetProxy failed! (err:%d)", connNo_, static_cast<int>(error));
    return error;
}

bool CWinHttpConnection::ResendWithProxyCredentials() {
    if (sessionProxy_.empty() || transferProxy_.user.empty() || proxyAnswered_) return false;
    DWORD statusCode = 0;
    if (request_->QueryHeaderNumber(WINHTTP_QUERY_STATUS_CODE, &statusCode) || statusCode != 407) return false;
    statusCode_ = statusCode;
    DWORD scheme = 0;
    const DWORD error = AnswerProxyChallenge(*request_, transferProxy_.user, transferProxy_.password, &scheme);
    if (error) {
        DownLogWar("[conn%d] proxy challenge not answered! (err:%d)", connNo_, static_cast<int>(error));
        return false;
    }
    proxyAnswered_ = true;
    DownLogDbg("[conn%d] proxy asks for credentials (scheme:0x%x), sending again", connNo_,
               static_cast<unsigned>(scheme));
    DWORD resendError = 0;
    if (scheme == WINHTTP_AUTH_SCHEME_BASIC) {
        // A new request, which carries the credentials from now on: a proxy
        // that refuses a request may close its connection under the old one
        // while the body is still coming.
        proxyTakesBasic_ = true;
        const std::unique_ptr<QK_WinHttpRequest> challenged = std::move(request_);
        challenged->Close();
        resendError = OpenAndStartRequest();
    } else {
        // WinHTTP answers the handshake of these schemes on the same request.
        resendError = StartWinHttpRequest();
    }
    if (resendError) CloseTaskOnError(resendError);
    return true;
}

DWORD CWinHttpConnection::StartWinHttpRequest() {
    DWORD error = request_->AddRequestHeaders(L"Accept: */*", static_cast<DWORD>(-1));
    if (error == 0) error = request_->AddRequestHeaders(L"Connection: Keep-Alive", static_cast<DWORD>(-1));
    if (error == 0 && (taskStart_ != 0 || taskLength_ != CHttpConnection::kOpenLength)) {
        char range[256];
        if (taskLength_ == CHttpConnection::kOpenLength) {
            // Resuming a file of unknown size past its start: up to its end.
            std::snprintf(range, sizeof range, "Range: bytes=%d-", taskStart_);
        } else {
            std::snprintf(range, sizeof range, "Range: bytes=%d-%d", taskStart_, taskStart_ + taskLength_ - 1);
        }
        error = request_->AddRequestHeaders(AnsiToWide(range).c_str(), static_cast<DWORD>(-1));
    }
    if (error == 0) {
        bytesRecv_ = 0;
        bytesSent_ = 0;
        error = request_->SendRequest(static_cast<DWORD>(body_.size()));
    }
    if (error) DownLogWar("[conn%d] StartWinHttpRequest failed! (err:%d)", connNo_, static_cast<int>(error));
    return error;
}

void CWinHttpConnection::On_Abort() {
    // Without a request the transfer has already ended and reported so.
    if (!request_) return;
    DownLogDbg("[Conn%d] winHttp On_Abort, range(%d~%d)!", connNo_, taskStart_, taskLength_);
    // Only the request goes: the session and its connection handle serve the
    // next transfer.
    ReleaseRequest();
    callback_->OnTransferFinished(this, CConnectionCallBack::kResultAborted);
}

void CWinHttpConnection::On_Destroy() {
    DownLogDbg("[Conn%d] winHttp destroy...", connNo_);
    CloseHandles();
    ReleaseRequest();
    Stop(0);
}

void CWinHttpConnection::OnRequestErrorMsg(DWORD error) {
    if (error != kErrorResendRequest) {
        CloseTaskOnError(error);
        return;
    }
    const DWORD resendError = StartWinHttpRequest();
    if (resendError) CloseTaskOnError(resendError);
}

void CWinHttpConnection::OnRedirectMsg(const std::wstring& newUrl) {
    // WinHTTP follows the redirect by itself.
    DownLogWar("[conn%d] url redirect to: %s", connNo_, WideToAnsi(newUrl).c_str());
}

void CWinHttpConnection::OnSendRequestCompleteMsg() {
    CountSpeed(kSendCompleteBytes);
    SendBodyOrFinish();
}

void CWinHttpConnection::OnWriteCompleteMsg(DWORD bytesWritten) {
    CountSpeed(bytesWritten);
    bytesSent_ += bytesWritten;
    callback_->OnSendProgress(this, bytesSent_);
    SendBodyOrFinish();
}

void CWinHttpConnection::SendBodyOrFinish() {
    if (bytesSent_ < body_.size()) {
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(kIoPieceBytes, body_.size() - bytesSent_));
        DWORD written = 0;
        const DWORD error = request_->WriteData(body_.data() + bytesSent_, piece, &written);
        if (error) {
            DownLogWar("[Conn%d] winHttp send conten failed! (err:%d)", connNo_, static_cast<int>(error));
            CloseTaskOnError(error);
        }
        return;
    }
    const DWORD error = request_->ReceiveResponse();
    if (error) {
        DownLogWar("[conn%d] winHttp finish send failed! (err:%d)", connNo_, static_cast<int>(error));
        CloseTaskOnError(error);
    }
}

void CWinHttpConnection::OnHeadersAvailableMsg() {
    if (ResendWithProxyCredentials()) return;
    const DWORD error = CheckResponse();
    if (error) {
        CloseTaskOnError(error);
        return;
    }
    IssueRead();
}

DWORD CWinHttpConnection::CheckResponse() {
    CountSpeed(kHeadersBytes);

    DWORD statusCode = 0;
    DWORD error = request_->QueryHeaderNumber(WINHTTP_QUERY_STATUS_CODE, &statusCode);
    if (error) {
        DownLogWar("[conn%d] winHttp get status_code failed! (err:%d)", connNo_, static_cast<int>(error));
        return error;
    }
    statusCode_ = statusCode;
    if (statusCode != 200 && statusCode != 206) {
        DownLogErr("[conn%d] status_code err:%d", connNo_, static_cast<int>(statusCode));
        return kErrorBadResponse;
    }

    DWORD contentLength = 0;
    int32_t totalSize = -1;
    error = request_->QueryHeaderNumber(WINHTTP_QUERY_CONTENT_LENGTH, &contentLength);
    if (error) {
        DownLogDbg("[conn%d] no CONTENT_LENGTH! (reason: 0x%x)", connNo_, static_cast<unsigned>(error));
    } else if (statusCode == 200) {
        // Whole answers only: a partial one's length is its part's. A length
        // beyond what offsets can hold is over every size the caller knows.
        totalSize = contentLength > INT32_MAX ? INT32_MAX : static_cast<int32_t>(contentLength);
    }

    int32_t rspStart = 0;
    wchar_t contentRange[256] = {};
    DWORD rangeBytes = sizeof contentRange;
    error = request_->QueryHeader(WINHTTP_QUERY_CONTENT_RANGE, contentRange, &rangeBytes);
    if (error) {
        DownLogDbg("[conn%d] no CONTENT_RANGE! (reason: 0x%x)", connNo_, static_cast<unsigned>(error));
    } else {
        // "bytes 100-199/1000" starts at 100.
        const wchar_t* space = std::wcschr(contentRange, L' ');
        if (space) rspStart = static_cast<int32_t>(std::wcstol(space + 1, nullptr, 10));
        // A ranged answer's Content-Length counts only its own part; the
        // total follows the '/' ("*" when the server does not know it).
        totalSize = ContentRangeTotal(contentRange);
    }
    if (rspStart != taskStart_) {
        DownLogWar("[conn%d] rsp range err! (taskStartPos:%d, rspStartPos:%d)", connNo_, taskStart_, rspStart);
        return kErrorBadResponse;
    }

    // Every answer states the total, ranged ones too, so that a server that
    // serves another size of the file is found whatever it was asked for.
    callback_->OnNotify(this, CConnectionCallBack::kNotifyTotalSize, totalSize);
    return 0;
}

void CWinHttpConnection::IssueRead() {
    char* buffer = new char[kIoPieceBytes];
    DWORD read = 0;
    const DWORD error = request_->ReadData(buffer, kIoPieceBytes, &read);
    if (error) {
        delete[] buffer;
        CloseTaskOnError(error);
    }
}

void CWinHttpConnection::OnReadCompleteMsg(const HTTP_READ_COMP& read) {
    CountSpeed(read.bytesRead);
    callback_->OnRecvData(this, taskStart_ + bytesRecv_, static_cast<int32_t>(read.bytesRead), read.buffer);
    bytesRecv_ += static_cast<int32_t>(read.bytesRead);
    if (read.bytesRead > 0) {
        IssueRead();
    } else {
        FinishTransfer();
    }
}

void CWinHttpConnection::FinishTransfer() {
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        // Otherwise an abort is under way and reports the end itself.
        if (state_ != kTransferring) return;
        state_ = kStopping;
        DownLogDbg("[conn%d] task finished!", connNo_);
    }
    // Idle first, so that the owner can hand out the next transfer as soon as
    // it hears of this one's end; the response was read to its end, so the
    // kept-alive socket goes back to the session for that transfer.
    ReleaseRequest();
    callback_->OnTransferFinished(this, 0);
}

void CWinHttpConnection::CloseTaskOnError(DWORD reason) {
    DownLogDbg("[conn%d] onerr close task! （reason:%d, %s)", connNo_, static_cast<int>(reason), ErrorName(reason));
    // Names the proxy, so that a proxy's refusal is told from a server's.
    if (!sessionProxy_.empty()) {
        DownLogErr("[conn%d] transfer through proxy %s failed! (status_code:%d, reason:%d, %s)", connNo_,
                   WideToAnsi(sessionProxy_).c_str(), static_cast<int>(statusCode_), static_cast<int>(reason),
                   ErrorName(reason));
    }
    CloseHandles();
    ReleaseRequest();
    callback_->OnTransferFinished(this, static_cast<int32_t>(reason));
}

void CWinHttpConnection::CloseHandles() {
    session_.Close();
    connection_.Close();
}

void CWinHttpConnection::ReleaseRequest() {
    if (request_) {
        request_->Close();
        request_.reset();
    }
    std::lock_guard<std::mutex> guard(stateLock_);
    state_ = kIdle;
}

bool CWinHttpConnection::IsCurrentRequest(const QK_WinHttpRequest* request) const {
    return request_ && request_.get() == request;
}

void CWinHttpConnection::StartSpeedSample() {
    speedWindow_.push_front(SpeedSample{TickCount32(), 0, 0});
    while (speedWindow_.size() > kSpeedSamples) speedWindow_.pop_back();
}

void CWinHttpConnection::CountSpeed(uint32_t bytes) {
    if (speedWindow_.empty() || speedWindow_.front().startTick == 0) return;
    SpeedSample& front = speedWindow_.front();
    front.bytes += bytes;
    front.durationMs = TickCount32() - front.startTick;
    if (front.durationMs >= kSpeedSampleMs) StartSpeedSample();

    uint64_t totalBytes = 0;
    uint64_t totalMs = 0;
    for (const SpeedSample& sample : speedWindow_) {
        totalBytes += sample.bytes;
        totalMs += sample.durationMs;
    }
    if (totalMs == 0) totalMs = 1;
    callback_->OnSpeed(this, static_cast<double>(totalBytes / totalMs));
}
