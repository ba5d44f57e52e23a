// One download connection as the download manager sees it: one HTTP transfer
// at a time against one server, for a byte range of one file, reported
// through a CConnectionCallBack. The connection knows nothing of files; it
// is told a URL, a start offset, a length and an optional request body, and
// hands every received block to the callback with its absolute position.
//
// Threading: the owner's thread calls SetProxy, DoTransfer, Abort, IsBusy and
// Destroy; every CConnectionCallBack operation runs on the connection's own
// thread, never on the caller's.
#pragma once

#include <cstdint>
#include <string>

class CHttpConnection;

// What a connection reports to its owner. All operations are called on the
// connection's thread, one at a time per connection.
class CConnectionCallBack {
public:
    // The one kind of OnNotify: the total size of the requested resource.
    static constexpr int32_t kNotifyTotalSize = 0;
    // Results of OnTransferFinished that callers tell apart.
    static constexpr int32_t kResultAborted = -1;
    static constexpr int32_t kResultBadResponse = 12152;  // ERROR_WINHTTP_INVALID_SERVER_RESPONSE

    virtual ~CConnectionCallBack() = default;

    // kind kNotifyTotalSize: value is the resource's total size as the
    // response states it (the total of Content-Range in a ranged answer,
    // Content-Length otherwise), -1 when the server gave none. Sent once per
    // response, before its data, so that a server stating another size than
    // the one known can be told apart.
    virtual void OnNotify(CHttpConnection* conn, int32_t kind, int32_t value) = 0;
    // Body bytes sent so far in this transfer.
    virtual void OnSendProgress(CHttpConnection* conn, uint32_t bytesSent) = 0;
    // length bytes of the response at absolute file position pos; data is
    // valid only during the call.
    virtual void OnRecvData(CHttpConnection* conn, int32_t pos, int32_t length, const char* data) = 0;
    // Current speed of the connection in bytes per millisecond.
    virtual void OnSpeed(CHttpConnection* conn, double bytesPerMs) = 0;
    // The transfer is over: 0 when the response was read to its end, -1 when
    // it was aborted, otherwise a WinHTTP or system error code (85 a transfer
    // started while a request still existed, 87 a bad or non-http URL, 12152
    // a bad status or a response starting at another offset). The connection
    // is idle again when this is called.
    virtual void OnTransferFinished(CHttpConnection* conn, int32_t result) = 0;
};

class CHttpConnection {
public:
    // Length of a task that runs to the end of the file.
    static constexpr int32_t kOpenLength = -1;

    // Store the proxy for later transfers; an empty host means no proxy, an
    // empty user name no proxy credentials. Takes effect at the next transfer.
    virtual void SetProxy(const std::string& proxyHost, uint16_t proxyPort, const std::string& proxyUser,
                          const std::string& proxyPassword) = 0;
    // Starts a transfer of length bytes (kOpenLength: to the end of the file)
    // from start; body (bodyLength bytes, copied; may be null) makes it a POST.
    // Returns false, changing nothing, when the connection is busy; true
    // otherwise, and the outcome then comes only through callback.
    virtual bool DoTransfer(CConnectionCallBack* callback, const std::string& url, int32_t start, int32_t length,
                            const char* body, uint32_t bodyLength) = 0;
    // Asks the running transfer to stop; it then finishes with -1. Only the
    // request ends: the session stays open for the next transfer. Does
    // nothing when no transfer runs.
    virtual void Abort() = 0;
    // True from DoTransfer until the transfer's end has been handled.
    virtual bool IsBusy() = 0;
    // Shuts the connection down, waits for its thread to end and deletes the
    // object; no callback follows once it has returned.
    virtual void Destroy() = 0;

protected:
    // Only Destroy deletes a connection.
    virtual ~CHttpConnection() = default;
};

// How the download manager makes its connections: the executable gives the
// WinHTTP one, tests a scripted stand-in.
//
// Threading: Create is called on the thread that gives the manager its
// server list while the manager's own thread does not run, and on the
// manager's thread while it runs (for further connections to a server);
// never on two threads at once.
class CHttpConnectionFactory {
public:
    virtual ~CHttpConnectionFactory() = default;

    // Returns a new idle connection whose log lines carry connNo, or null
    // when it cannot be made. The caller releases it with Destroy.
    virtual CHttpConnection* Create(int32_t connNo) = 0;
};
