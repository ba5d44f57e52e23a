// The request of the WinHTTP layer, its context and the status callback.
#include <mutex>
#include <string>

#include "net/qk_winhttp.h"

namespace {

constexpr int kRequestTimeoutMs = 20000;

}  // namespace

struct RequestContext {
    RequestContext(HINTERNET requestHandle, QK_WinHttpRequest* owner) : handle(requestHandle), request(owner) {}
    ~RequestContext() { delete[] pendingRead; }

    std::mutex lock;
    const HINTERNET handle;       // the request's handle when the context was made
    QK_WinHttpRequest* request;   // null once the request has detached; guarded by lock
    char* pendingRead = nullptr;  // buffer of the read WinHTTP still holds; guarded by lock
    // The bytes of the last write. WinHTTP reads them after WriteData has
    // returned, and may still do so after the request has closed, so they
    // live as long as the handle; a write is issued only after the one
    // before it completed, so each replaces the last. Owner's thread only.
    std::string pendingWrite;
};

void QK_RequestCallBack::OnRequestError(QK_WinHttpRequest*, const WINHTTP_ASYNC_RESULT*) {}
void QK_RequestCallBack::OnRedirect(QK_WinHttpRequest*, const std::wstring&) {}
void QK_RequestCallBack::OnSendRequestComplete(QK_WinHttpRequest*) {}
void QK_RequestCallBack::OnWriteComplete(QK_WinHttpRequest*, DWORD) {}
void QK_RequestCallBack::OnHeadersAvailable(QK_WinHttpRequest*) {}
void QK_RequestCallBack::OnDataAvailable(QK_WinHttpRequest*, DWORD) {}
void QK_RequestCallBack::OnReadComplete(QK_WinHttpRequest*, char* buffer, DWORD) { delete[] buffer; }

QK_WinHttpRequest::~QK_WinHttpRequest() { QK_WinHttpRequest::Close(); }

DWORD QK_WinHttpRequest::OpenRequest(const wchar_t* verb, const wchar_t* objectName,
                                     QK_WinHttpConnection* connection) {
    if (!connection) return ERROR_INVALID_PARAMETER;
    HINTERNET request = WinHttpOpenRequest(connection->GetHandle(), verb, objectName, nullptr, WINHTTP_NO_REFERER,
                                           WINHTTP_DEFAULT_ACCEPT_TYPES, 0);
    const DWORD error = request ? 0 : GetLastError();
    Adopt(request);
    connection_ = connection;
    if (error) return error;
    SetTimeouts(kRequestTimeoutMs, kRequestTimeoutMs, kRequestTimeoutMs, kRequestTimeoutMs);
    return 0;
}

DWORD QK_WinHttpRequest::SetTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs) {
    return WinHttpSetTimeouts(handle_, resolveMs, connectMs, sendMs, receiveMs) ? 0 : GetLastError();
}

DWORD QK_WinHttpRequest::SetStatusCallback(QK_RequestCallBack* callback) {
    const WINHTTP_STATUS_CALLBACK previous = WinHttpSetStatusCallback(
        handle_, callback ? &QK_WinHttpRequest::StatusCallback : nullptr, WINHTTP_CALLBACK_FLAG_ALL_NOTIFICATIONS, 0);
    if (previous == WINHTTP_INVALID_STATUS_CALLBACK) return GetLastError();
    if (context_) {
        std::lock_guard<std::mutex> guard(context_->lock);
        callback_ = callback;
    } else {
        callback_ = callback;
    }
    return 0;
}

DWORD QK_WinHttpRequest::SetProxy(WINHTTP_PROXY_INFO* proxyInfo) {
    return WinHttpSetOption(handle_, WINHTTP_OPTION_PROXY, proxyInfo, sizeof(WINHTTP_PROXY_INFO)) ? 0
                                                                                                 : GetLastError();
}

DWORD QK_WinHttpRequest::QueryAuthSchemes(DWORD* supported, DWORD* first, DWORD* target) {
    return WinHttpQueryAuthSchemes(handle_, supported, first, target) ? 0 : GetLastError();
}

DWORD QK_WinHttpRequest::SetCredentials(DWORD target, DWORD scheme, const std::wstring& userName,
                                        const std::wstring& password) {
    return WinHttpSetCredentials(handle_, target, scheme, userName.c_str(), password.c_str(), nullptr)
               ? 0
               : GetLastError();
}

DWORD QK_WinHttpRequest::AddRequestHeaders(const wchar_t* headers, DWORD length) {
    return WinHttpAddRequestHeaders(handle_, headers, length, WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)
               ? 0
               : GetLastError();
}

DWORD QK_WinHttpRequest::QueryHeaderWithName(DWORD infoLevel, const wchar_t* name, void* buffer,
                                             DWORD* bufferBytes) {
    return WinHttpQueryHeaders(handle_, infoLevel, name, buffer, bufferBytes, WINHTTP_NO_HEADER_INDEX)
               ? 0
               : GetLastError();
}

DWORD QK_WinHttpRequest::QueryHeader(DWORD infoLevel, void* buffer, DWORD* bufferBytes) {
    return QueryHeaderWithName(infoLevel, WINHTTP_HEADER_NAME_BY_INDEX, buffer, bufferBytes);
}

DWORD QK_WinHttpRequest::QueryHeaderNumber(DWORD infoLevel, DWORD* value) {
    DWORD bytes = sizeof(DWORD);
    return QueryHeaderWithName(infoLevel | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX, value, &bytes);
}

DWORD QK_WinHttpRequest::QueryCustomHeader(const wchar_t* name, void* buffer, DWORD* bufferBytes) {
    return QueryHeaderWithName(WINHTTP_QUERY_CUSTOM, name, buffer, bufferBytes);
}

DWORD QK_WinHttpRequest::QueryCustomHeaderNumber(const wchar_t* name, DWORD* value) {
    DWORD bytes = sizeof(DWORD);
    return QueryHeaderWithName(WINHTTP_QUERY_CUSTOM | WINHTTP_QUERY_FLAG_NUMBER, name, value, &bytes);
}

DWORD QK_WinHttpRequest::SendRequest(DWORD totalLength) {
    // A context for no handle would never see HANDLE_CLOSING.
    if (!handle_) return ERROR_INVALID_HANDLE;
    if (!context_) {
        context_ = new RequestContext(handle_, this);
        // Set before the send, so that even a send that fails at once leaves
        // the context with the handle, and HANDLE_CLOSING frees it.
        DWORD_PTR contextValue = reinterpret_cast<DWORD_PTR>(context_);
        WinHttpSetOption(handle_, WINHTTP_OPTION_CONTEXT_VALUE, &contextValue, sizeof(contextValue));
    }
    return WinHttpSendRequest(handle_, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, totalLength,
                              reinterpret_cast<DWORD_PTR>(context_))
               ? 0
               : GetLastError();
}

DWORD QK_WinHttpRequest::WriteData(const void* buffer, DWORD length, DWORD* written) {
    if (!IsAsync() || !context_) {
        return WinHttpWriteData(handle_, buffer, length, written) ? 0 : GetLastError();
    }
    context_->pendingWrite.assign(static_cast<const char*>(buffer), length);
    return WinHttpWriteData(handle_, context_->pendingWrite.data(), length, nullptr) ? 0 : GetLastError();
}

DWORD QK_WinHttpRequest::QueryDataAvailable(DWORD* available) {
    return WinHttpQueryDataAvailable(handle_, IsAsync() ? nullptr : available) ? 0 : GetLastError();
}

DWORD QK_WinHttpRequest::ReadData(char* buffer, DWORD size, DWORD* read) {
    if (!IsAsync() || !context_) {
        return WinHttpReadData(handle_, buffer, size, read) ? 0 : GetLastError();
    }
    // Recorded before the call: the completion may be reported on another
    // thread before WinHttpReadData returns. A buffer still recorded belongs
    // to an earlier read that failed, since only one read may be outstanding.
    {
        std::lock_guard<std::mutex> guard(context_->lock);
        delete[] context_->pendingRead;
        context_->pendingRead = buffer;
    }
    if (WinHttpReadData(handle_, buffer, size, nullptr)) return 0;
    const DWORD error = GetLastError();
    std::lock_guard<std::mutex> guard(context_->lock);
    // Gone from the record only when the read was reported complete after all.
    if (context_->pendingRead != buffer) return 0;
    context_->pendingRead = nullptr;
    return error;
}

DWORD QK_WinHttpRequest::ReceiveResponse() {
    return WinHttpReceiveResponse(handle_, nullptr) ? 0 : GetLastError();
}

BOOL QK_WinHttpRequest::Close() {
    if (context_) {
        std::lock_guard<std::mutex> guard(context_->lock);
        context_->request = nullptr;
        context_ = nullptr;
    }
    return QK_WinHttpHandle::Close();
}

bool QK_WinHttpRequest::IsAsync() const {
    return connection_ && connection_->GetSession() && connection_->GetSession()->IsAsync();
}

void CALLBACK QK_WinHttpRequest::StatusCallback(HINTERNET handle, DWORD_PTR contextValue, DWORD status,
                                                LPVOID information, DWORD informationLength) {
    RequestContext* context = reinterpret_cast<RequestContext*>(contextValue);
    if (!context) return;
    std::unique_lock<std::mutex> lock(context->lock);
    if (context->handle != handle) return;
    if (status == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) {
        lock.unlock();
        delete context;
        return;
    }
    QK_WinHttpRequest* request = context->request;
    if (!request || !request->callback_) return;
    QK_RequestCallBack* callback = request->callback_;

    switch (status) {
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
        // The buffer of a failed read stays recorded: WinHTTP may also fail
        // the ReadData call itself, which hands the buffer back to its caller.
        callback->OnRequestError(request, static_cast<const WINHTTP_ASYNC_RESULT*>(information));
        break;
    case WINHTTP_CALLBACK_STATUS_REDIRECT:
        callback->OnRedirect(request, information ? std::wstring(static_cast<const wchar_t*>(information)) : std::wstring());
        break;
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
        callback->OnSendRequestComplete(request);
        break;
    case WINHTTP_CALLBACK_STATUS_WRITE_COMPLETE:
        callback->OnWriteComplete(request, *static_cast<const DWORD*>(information));
        break;
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
        callback->OnHeadersAvailable(request);
        break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
        callback->OnDataAvailable(request, *static_cast<const DWORD*>(information));
        break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
        context->pendingRead = nullptr;
        callback->OnReadComplete(request, static_cast<char*>(information), informationLength);
        break;
    default:
        break;
    }
}
