// A thin object layer over asynchronous WinHTTP: one class per kind of handle
// (session, connection, request), each closing its handle safely, and one
// status callback that turns WinHTTP's notifications into calls on a
// per-request QK_RequestCallBack. It knows handles and callbacks only; what a
// transfer is belongs to its user.
//
// Windows only: this header brings in <windows.h> and <winhttp.h>, so
// portable code never includes it.
//
// Threading: every operation runs on the owner's thread, one at a time per
// object. The status callback runs on WinHTTP's threads (or on the owner's
// thread, inside a WinHTTP call that completes at once) and reaches the
// owner only through its QK_RequestCallBack.
//
// Every operation that returns DWORD returns 0 on success and otherwise the
// GetLastError() value taken right after the failing WinHTTP call. The
// wrapper writes no log lines.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <string>

class QK_WinHttpRequest;

// Owns one WinHTTP handle.
class QK_WinHttpHandle {
public:
    QK_WinHttpHandle() = default;
    // Closes the handle.
    virtual ~QK_WinHttpHandle();
    QK_WinHttpHandle(const QK_WinHttpHandle&) = delete;
    QK_WinHttpHandle& operator=(const QK_WinHttpHandle&) = delete;

    // Closes the handle. Returns TRUE without any WinHTTP call when it is not
    // open; otherwise the result of WinHttpCloseHandle (the handle is
    // forgotten either way).
    virtual BOOL Close();

    HINTERNET GetHandle() const { return handle_; }
    bool IsOpen() const { return handle_ != nullptr; }

protected:
    // Closes an open handle first, so an object never leaks the old one.
    void Adopt(HINTERNET handle);

    HINTERNET handle_ = nullptr;
};

class QK_WinHttpSession : public QK_WinHttpHandle {
public:
    // Opens a session in asynchronous mode when async is set: without a
    // proxy, or through the named proxy (a proxy list such as "host:port",
    // no bypass) when namedProxy is not empty. Returns the error of WinHttpOpen; the
    // handle then stays null.
    DWORD Open(const wchar_t* userAgent, bool async, const std::wstring& namedProxy = std::wstring());
    bool IsAsync() const { return async_; }

private:
    bool async_ = false;
};

class QK_WinHttpConnection : public QK_WinHttpHandle {
public:
    // Opens a connection to serverName:port through session (not owned; it
    // must outlive this object's use). Returns the error of WinHttpConnect,
    // or ERROR_INVALID_PARAMETER for a null session; the handle then stays null.
    DWORD Connect(const wchar_t* serverName, uint16_t port, QK_WinHttpSession* session);
    QK_WinHttpSession* GetSession() const { return session_; }

private:
    QK_WinHttpSession* session_ = nullptr;
};

// The result of one completed read, carried by value in messages: the buffer
// given to ReadData and the number of bytes read into it (0: end of response).
struct HTTP_READ_COMP {
    char* buffer = nullptr;
    DWORD bytesRead = 0;
};

// What a request reports. Each operation is called from the status callback
// with the request's context lock held: an implementation must be short,
// must not block and must not call back into the request. The base versions
// do nothing, except that OnReadComplete frees the buffer it is handed.
class QK_RequestCallBack {
public:
    // An asynchronous operation failed; result holds the API code and the error.
    virtual void OnRequestError(QK_WinHttpRequest* request, const WINHTTP_ASYNC_RESULT* result);
    // WinHTTP is about to follow a redirect to newUrl.
    virtual void OnRedirect(QK_WinHttpRequest* request, const std::wstring& newUrl);
    virtual void OnSendRequestComplete(QK_WinHttpRequest* request);
    virtual void OnWriteComplete(QK_WinHttpRequest* request, DWORD bytesWritten);
    virtual void OnHeadersAvailable(QK_WinHttpRequest* request);
    virtual void OnDataAvailable(QK_WinHttpRequest* request, DWORD bytesAvailable);
    // A read finished; buffer is the one given to ReadData and now belongs to
    // the callee (it came from new char[]). bytesRead 0 means end of response.
    virtual void OnReadComplete(QK_WinHttpRequest* request, char* buffer, DWORD bytesRead);

protected:
    ~QK_RequestCallBack() = default;
};

// The heap object WinHTTP carries as a request's callback context. It
// outlives its request: only the status callback deletes it, when WinHTTP
// reports that the handle is closing.
struct RequestContext;

// One HTTP request. Made on the heap by its owner, who deletes it after Close.
// Once Close has returned no callback runs on it and none will reach it.
class QK_WinHttpRequest : public QK_WinHttpHandle {
public:
    QK_WinHttpRequest() = default;
    ~QK_WinHttpRequest() override;

    // Opens a plain-HTTP request with the default version, no referrer and
    // the default accept types, then sets all four time-outs to 20000 ms
    // (that result is not checked). Returns the error of WinHttpOpenRequest,
    // or ERROR_INVALID_PARAMETER for a null connection; the handle then stays null.
    DWORD OpenRequest(const wchar_t* verb, const wchar_t* objectName, QK_WinHttpConnection* connection);
    // Resolve, connect, send and receive time-outs in milliseconds.
    DWORD SetTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs);
    // Routes every notification of this request to callback (not owned), or
    // stops routing them when it is null. Returns the error when WinHTTP
    // refuses the status callback; the stored callback is then unchanged.
    DWORD SetStatusCallback(QK_RequestCallBack* callback);
    DWORD SetProxy(WINHTTP_PROXY_INFO* proxyInfo);
    // After a 401 or 407: the schemes the challenge offers (WINHTTP_AUTH_SCHEME_*
    // flags), the first of them, and whom it came from (WINHTTP_AUTH_TARGET_*).
    DWORD QueryAuthSchemes(DWORD* supported, DWORD* first, DWORD* target);
    // Credentials for target and scheme, used when the request is sent again.
    DWORD SetCredentials(DWORD target, DWORD scheme, const std::wstring& userName, const std::wstring& password);
    // Adds or replaces headers; length is in characters, (DWORD)-1 for a
    // zero-terminated text.
    DWORD AddRequestHeaders(const wchar_t* headers, DWORD length);
    // Queries a header by info level into buffer; bufferBytes is the buffer's
    // size in bytes on entry and the bytes written (or needed) on return.
    DWORD QueryHeader(DWORD infoLevel, void* buffer, DWORD* bufferBytes);
    DWORD QueryHeaderNumber(DWORD infoLevel, DWORD* value);
    DWORD QueryCustomHeader(const wchar_t* name, void* buffer, DWORD* bufferBytes);
    DWORD QueryCustomHeaderNumber(const wchar_t* name, DWORD* value);
    // Sends the request; totalLength is the size of the body that will follow
    // through WriteData. The first call makes the request's context.
    DWORD SendRequest(DWORD totalLength);
    // In asynchronous mode the counts arrive through the callback and the
    // out-pointers are left alone; otherwise they receive them.
    // WriteData copies the bytes of a sent request first: WinHTTP still reads
    // them after the call has returned, so the copy lives until the handle is
    // gone and the caller's buffer may go at once.
    DWORD WriteData(const void* buffer, DWORD length, DWORD* written);
    DWORD QueryDataAvailable(DWORD* available);
    // In asynchronous mode buffer must come from new char[]: it belongs to the
    // request until OnReadComplete hands it back, and a buffer that never
    // comes back (a failed read, or a request closed first) is freed by the
    // request once WinHTTP is done with it. On a returned error the buffer
    // stays the caller's.
    DWORD ReadData(char* buffer, DWORD size, DWORD* read);
    DWORD ReceiveResponse();

    // Detaches the request from its context under the context's lock, so no
    // callback is running on it when the handle is closed and none follows;
    // then closes the handle as the base does.
    BOOL Close() override;

private:
    static void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID information,
                                        DWORD informationLength);
    bool IsAsync() const;
    DWORD QueryHeaderWithName(DWORD infoLevel, const wchar_t* name, void* buffer, DWORD* bufferBytes);

    QK_WinHttpConnection* connection_ = nullptr;
    QK_RequestCallBack* callback_ = nullptr;
    RequestContext* context_ = nullptr;
};
