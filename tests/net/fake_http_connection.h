// A scripted stand-in for the WinHTTP range connection: every connection
// serves bytes from an in-memory "network" of servers, each with its files
// and its own misbehaviour, and calls its CConnectionCallBack on its own
// thread, in the order a real connection does.
//
// Threading: FakeNetwork may be used from any thread. FakeHttpConnection is
// driven as CHttpConnection requires: its owner calls the CHttpConnection
// operations, its own thread serves the transfer and makes every callback.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "net/http_connection.h"
#include "net/msg_thread.h"

// How one server answers. Counts of -1 mean "always".
struct FakeServerScript {
    bool sendsSize = true;        // Content-Length on open-length requests
    bool ignoresRange = false;    // always answers the whole file from 0 (200 without Content-Range)
    int32_t failWith = 0;         // when not 0, transfers end at once with this result...
    int failTimes = -1;           // ...for the first failTimes transfers
    int64_t stallAfter = -1;      // a response sends nothing after this many bytes until aborted
    int64_t dieAfter = -1;        // a response ends with dieWith after this many bytes...
    int32_t dieWith = 12030;
    int dieTimes = -1;            // ...in the first dieTimes transfers
    int responseDelayMs = 0;      // before the headers...
    int responseDelayTimes = -1;  // ...of the first responseDelayTimes transfers
    int chunkDelayMs = 0;         // before each block of data
    int32_t chunkSize = 10240;
};

// One DoTransfer as a server saw it.
struct FakeRequest {
    int32_t connNo = -1;
    std::string host;
    std::string path;
    int32_t start = 0;
    int32_t length = 0;
    std::string body;
    int64_t bytesSent = 0;  // response bytes handed to the callback
    bool finished = false;
    int32_t result = 0;
    std::chrono::steady_clock::time_point startedAt;
    std::chrono::steady_clock::time_point finishedAt;
};

// Result codes the fake gives, as WinHTTP would.
constexpr int32_t kFakeBadUrl = 87;
constexpr int32_t kFakeBadResponse = CConnectionCallBack::kResultBadResponse;
constexpr int32_t kFakeNameNotResolved = 12007;

class FakeNetwork {
public:
    // host is as in the URL: "name" or "name:port".
    void AddServer(const std::string& host, const FakeServerScript& script = FakeServerScript());
    void PutFile(const std::string& host, const std::string& path, const std::string& bytes);

    std::vector<FakeRequest> Requests();
    std::vector<FakeRequest> RequestsTo(const std::string& host);

    // Used by the connections. Returns the request's index.
    int BeginRequest(const FakeRequest& request);
    void AddBytesSent(int index, int64_t bytes);
    void EndRequest(int index, int32_t result);
    // Copies the server's script and file; false when the host is unknown
    // (file stays empty and found false when only the path is).
    bool Lookup(const std::string& host, const std::string& path, FakeServerScript& script, std::string& file,
                bool& found);
    // Counts one transfer to host and returns how many came before it.
    int CountTransfer(const std::string& host);

private:
    struct Server {
        FakeServerScript script;
        std::map<std::string, std::string> files;
        int transfers = 0;
    };

    std::mutex lock_;
    std::map<std::string, Server> servers_;
    std::vector<FakeRequest> requests_;
};

class FakeHttpConnection : public CHttpConnection, private CMsgThread {
public:
    FakeHttpConnection(FakeNetwork& network, int32_t connNo);

    void SetProxy(const std::string& proxyHost, uint16_t proxyPort, const std::string& proxyUser,
                  const std::string& proxyPassword) override;
    bool DoTransfer(CConnectionCallBack* callback, const std::string& url, int32_t start, int32_t length,
                    const char* body, uint32_t bodyLength) override;
    void Abort() override;
    bool IsBusy() override;
    void Destroy() override;

    std::string ProxyHost();

private:
    enum MsgType { kStart = 1, kAbort = 2, kChunk = 3 };
    enum State { kIdle = 0, kTransferring = 1, kStopping = 2 };

    struct Transfer {
        CConnectionCallBack* callback = nullptr;
        std::string url;
        int32_t start = 0;
        int32_t length = 0;
        std::string body;
    };
    // The response being served; the connection's thread only.
    struct Response {
        int serial = 0;
        int request = -1;
        CConnectionCallBack* callback = nullptr;
        FakeServerScript script;
        std::string bytes;       // the response body
        int32_t position = 0;    // file position of bytes[0]
        int64_t sent = 0;
        bool dies = false;
        std::chrono::steady_clock::time_point began;
    };

    ~FakeHttpConnection() override;
    void OnMsg(CMsg* msg) override;
    void Begin(const Transfer& transfer);
    void SendChunk(int serial);
    // Ends the current response with result: state idle, then the callback.
    void EndCurrent(int32_t result);
    bool IsTransferring();

    FakeNetwork& network_;
    const int32_t connNo_;
    std::mutex lock_;
    int state_ = kIdle;       // guarded by lock_
    std::string proxyHost_;   // guarded by lock_
    Response current_;        // the connection's thread only
    int nextSerial_ = 1;      // the connection's thread only
};

// Makes FakeHttpConnections on one network; the connection numbered
// failAtConnNo cannot be made.
class FakeConnectionFactory : public CHttpConnectionFactory {
public:
    explicit FakeConnectionFactory(FakeNetwork& network) : network_(network) {}

    CHttpConnection* Create(int32_t connNo) override;

    int failAtConnNo = -1;
    // Every connection made, in order; they belong to their manager.
    std::vector<FakeHttpConnection*> made;

private:
    FakeNetwork& network_;
};
