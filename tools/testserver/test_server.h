// The project's HTTP test server: it plays the product's file servers
// (a release folder served with Range and keep-alive), its web server (the
// two client queries, with replies set by the test) and its log server
// (error reports stored inflated), on a loopback address, and it misbehaves
// on request: a bandwidth limit shared by all connections, a delay before
// each answer, and faults per path (see fault_plan.h). It records every
// request it serves. Tests drive it through this class or, as a separate
// process (testserver_main.cpp), through its control paths:
//
//   POST /__control?fault=PATH        body: a fault list; an empty body drops PATH's faults
//   POST /__control?reply=NAME[&status=CODE]   body: the reply to query NAME
//   POST /__control?rate=BYTES_PER_SECOND      0: unlimited
//   POST /__control?delay=MS
//   POST /__control?refuse=MS          stop listening for MS, then listen on the same port again
//   POST /__control?clear-requests=1   forget the requests recorded so far
//   GET  /__requests                   the records, one FormatRecord line each
//   POST /__shutdown
//
// Several keys may go in one control request. A control request answers 200
// "ok", or 400 with the reason when a key or value is wrong; then nothing of
// it is applied. Keys count only in the query string, not in a form body.
//
// A request is recorded before its answer goes out, except one that the
// HTTP library answers by itself (a malformed or backward Range header, such
// as "bytes=9-3", gets 416; an unknown method 404): that one is recorded
// just after.
//
// Paths: a path ending in "/servlet/getClientAccKey" or in
// "servlet/QueryClientVer" is a query; a path ending in "/logsvr/reporterr"
// (a trailing "/" allowed) takes a report; every other path names a file
// below the root folder. Faults apply to every kind of path; the rate limit
// and the range, size and body faults to files only.
//
// Threading: the public functions may be called from any thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fault_plan.h"
#include "report_store.h"
#include "request_log.h"
#include "stop_signal.h"
#include "token_bucket.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

// The answer to one query path.
struct QueryReply {
    int status = 200;
    std::string body;
};

struct ServerOptions {
    std::string host = "127.0.0.1";  // must be an IPv4 loopback address
    int port = 0;                    // 0: an ephemeral port
    std::string portFile;            // where the port is written once listening; empty for none
    std::string root;                // the release folder; empty serves no files
    std::string reportDir;           // where reports are stored; empty: only recorded
    std::string recordFile;          // where request records are appended too; empty for none
    long long rate = 0;              // bytes per second over all connections; 0: unlimited
    int delayMs = 0;                 // before each answer
    int idleTimeoutSec = 120;        // end after this long without requests; 0: never
    int keepAliveTimeoutSec = 5;     // how long an idle kept-alive connection stays open
    std::map<std::string, FaultPlan> faults;    // by path; "*" for every path
    std::map<std::string, QueryReply> replies;  // by query name
};

// The query names: "getClientAccKey" and "QueryClientVer".
bool IsQueryName(const std::string& name);

class TestServer {
public:
    explicit TestServer(ServerOptions options);
    // Stops the server if it still runs.
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    // Binds the address, writes the port file and starts serving. Returns
    // the port, or 0 with the reason in error when the host is not a
    // loopback address, the address cannot be bound or the record or port
    // file cannot be written.
    int Start(std::string& error);
    // Blocks until POST /__shutdown, Stop, the idle time-out or a failure to
    // listen again after a refusal; returns which: "shutdown", "stopped",
    // "idle" or "listen failed".
    std::string Wait();
    // Ends serving: open answers are cut, waits end; returns when all the
    // server's threads have ended.
    void Stop();

    // The run-time controls, as through /__control.
    void SetFault(const std::string& path, const FaultPlan& fault);
    void ClearFault(const std::string& path);
    // Returns false for an unknown query name.
    bool SetReply(const std::string& name, const QueryReply& reply);
    void SetRate(long long bytesPerSecond);
    void SetDelay(int ms);
    // Stops listening for ms milliseconds, cutting open answers, then listens
    // on the same port again: a server that goes down and comes back.
    void Refuse(int ms);

    std::vector<RequestRecord> Requests() const;
    void ClearRequests();

private:
    struct Listener {
        std::unique_ptr<httplib::Server> http;
        std::thread thread;
    };
    class FileSender;

    // Makes a server for the port (0: any); false with error set on failure.
    bool Listen(int port, std::string& error);
    void Configure(httplib::Server& http);
    void Supervise();
    void EndSupervisor(const std::string& reason);

    void Handle(const httplib::Request& req, httplib::Response& res);
    void HandleControl(const httplib::Request& req, httplib::Response& res);
    bool ApplyControl(const httplib::Request& req, std::string& error);
    // Returns the fault for path, counting one use of it.
    FaultPlan TakeFault(const std::string& path);
    void ServeReply(const std::string& name, httplib::Response& res);
    void StoreReport(const std::string& body, httplib::Response& res);
    void ServeFile(const httplib::Request& req, httplib::Response& res, const FaultPlan& fault);
    void Touch();

    ServerOptions options_;
    StopSignal stopping_;
    TokenBucket bucket_;
    RequestLog log_;
    ReportStore reports_;
    std::atomic<int> delayMs_;
    std::atomic<int> activeRequests_{0};
    std::atomic<long long> lastActivity_;  // steady clock ticks

    mutable std::mutex lock_;  // guards everything below
    std::condition_variable wake_;
    std::map<std::string, FaultPlan> faults_;
    std::map<std::string, QueryReply> replies_;
    int port_ = 0;
    Listener listener_;
    std::vector<Listener> draining_;  // stopped servers whose connections are ending
    int refuseMs_ = 0;
    bool started_ = false;  // the supervisor runs or has run
    std::string endAsked_;  // why serving is to end; empty while it goes on
    bool finished_ = false;
    std::string endReason_;

    std::mutex joinLock_;  // one Stop joins the supervisor; others wait for it
    std::thread supervisor_;
};
