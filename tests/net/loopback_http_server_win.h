// A small HTTP/1.1 server on 127.0.0.1 inside the Windows test program,
// standing in for the file servers: it serves files with Range and
// keep-alive, answers requests from a script of faulty replies when one is
// queued, and records every request it reads.
//
// Threading: one thread accepts and one thread serves each accepted
// connection; every public operation may be called from any thread.
#pragma once

#include <winsock2.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct RecordedRequest {
    std::string method;
    std::string target;  // as sent: a path, or an absolute URL through a proxy
    std::vector<std::pair<std::string, std::string>> headers;  // in the order received
    std::string body;

    // The first value of a header, names compared ignoring case; empty when absent.
    std::string Header(const std::string& name) const;
    bool HasHeader(const std::string& name) const;
};

// A reply sent instead of a served file.
struct ScriptedReply {
    enum class End {
        kKeepAlive,  // wait for the next request on the connection
        kClose,      // close the connection
        kStall,      // keep the connection open and silent until the server stops
        kEndless,    // keep sending body bytes until the client goes away
    };

    std::string head;  // status line and headers, the blank line included
    std::string body;
    End end = End::kKeepAlive;
};

class LoopbackHttpServer {
public:
    LoopbackHttpServer() = default;
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    // Listens on an ephemeral port. Returns false when no socket could be bound.
    bool Start();
    // Closes every connection and waits for the server's threads.
    void Stop();

    uint16_t Port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by path.
    std::string Url(const std::string& path) const;

    void AddFile(const std::string& path, const std::string& content);
    // Answers path with a 302 to location.
    void AddRedirect(const std::string& path, const std::string& location);
    // The next request read, on any connection, gets this reply.
    void Script(const ScriptedReply& reply);
    // Every request read from now on that no Script claims gets this reply.
    void ScriptEvery(const ScriptedReply& reply);

    std::vector<RecordedRequest> Requests() const;
    size_t ConnectionsAccepted() const;
    // Waits up to a minute; false if fewer requests arrived.
    bool WaitForRequests(size_t count) const;

private:
    void AcceptLoop();
    void Serve(SOCKET client);
    // Reads one request; false when the connection ended first.
    bool ReadRequest(SOCKET client, std::string& pending, RecordedRequest& request);
    // The reply for a request that no script claims.
    ScriptedReply ServeFile(const RecordedRequest& request) const;
    bool SendAll(SOCKET client, const std::string& bytes);
    void WaitForStop();

    uint16_t port_ = 0;
    SOCKET listener_ = INVALID_SOCKET;
    bool winsockStarted_ = false;
    std::thread acceptor_;

    mutable std::mutex lock_;
    mutable std::condition_variable changed_;  // a request arrived, or the server stops
    bool stopping_ = false;
    std::vector<std::thread> servers_;
    std::vector<SOCKET> clients_;
    std::map<std::string, std::string> files_;
    std::map<std::string, std::string> redirects_;
    std::vector<ScriptedReply> script_;
    bool scriptEvery_ = false;
    ScriptedReply everyReply_;
    std::vector<RecordedRequest> requests_;
    size_t accepted_ = 0;
};
