#include "test_server.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "decimal_text.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

// Enough for several clients with kept-alive connections plus stalled ones:
// each open connection holds a worker.
constexpr size_t kWorkerThreads = 32;
// As a production server allows, so a client's connections last a whole update.
constexpr size_t kKeepAliveMaxRequests = 1000;
constexpr auto kSupervisorTick = milliseconds(100);
constexpr auto kListenStartLimit = std::chrono::seconds(5);

// True on a worker thread from the start of one of this server's handlers
// until the library logs that request: the requests the library answered by
// itself (a malformed Range header, an unknown method) are recorded by the
// logger instead.
thread_local bool handledHere = false;

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool IsLoopback(const std::string& host) {
    in_addr address{};
    return inet_pton(AF_INET, host.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}

// The query name of a path, or empty. The client joins the second query's
// path to the server URL with a "/" of its own, so both arrive with one.
std::string QueryNameOf(const std::string& path) {
    if (EndsWith(path, "/servlet/getClientAccKey")) return "getClientAccKey";
    if (EndsWith(path, "servlet/QueryClientVer")) return "QueryClientVer";
    return {};
}

// The client posts reports to the server URL followed by "/".
bool IsReportPath(std::string path) {
    while (!path.empty() && path.back() == '/') path.pop_back();
    return EndsWith(path, "/logsvr/reporterr");
}

// The file below root that a request path names; false for none or for a
// path that would leave root.
bool ResolveFile(const std::string& root, const std::string& path, fs::path& file) {
    size_t start = path.find_first_not_of('/');
    if (root.empty() || start == std::string::npos) return false;
    fs::path relative = fs::u8path(path.substr(start));
    for (const fs::path& part : relative) {
        if (part == "..") return false;
    }
    std::error_code ec;
    fs::path candidate = fs::path(root) / relative;
    if (!fs::is_regular_file(candidate, ec)) return false;
    file = candidate;
    return true;
}

// Rebinding the port after a refusal must work while old connections linger.
// Answers go out without waiting for the client's acknowledgement of the
// headers, which it may hold back for 40 ms, as production servers do
// (nginx's tcp_nodelay); otherwise every small ranged answer would cost that.
void SetSocketOptions(int sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
}

enum class RangeKind { kNone, kSatisfiable, kUnsatisfiable };

// Reads one range ("bytes=A-B", "bytes=A-" or "bytes=-N") of a resource of
// size bytes into [first, end). Several ranges, or a form not understood,
// give kNone: the whole resource is answered, as servers may do.
RangeKind ReadRange(const std::string& header, long long size, long long& first, long long& end) {
    const std::string unit = "bytes=";
    if (header.compare(0, unit.size(), unit) != 0) return RangeKind::kNone;
    std::string bounds = header.substr(unit.size());
    size_t dash = bounds.find('-');
    if (bounds.find(',') != std::string::npos || dash == std::string::npos) return RangeKind::kNone;
    std::string from = bounds.substr(0, dash);
    std::string to = bounds.substr(dash + 1);
    const long long kMax = 1LL << 60;
    long long a = 0, b = 0;
    if (from.empty()) {
        if (!ParseDecimal(to, 0, kMax, b)) return RangeKind::kNone;
        if (b == 0 || size == 0) return RangeKind::kUnsatisfiable;
        first = std::max(0LL, size - b);
        end = size;
        return RangeKind::kSatisfiable;
    }
    if (!ParseDecimal(from, 0, kMax, a)) return RangeKind::kNone;
    if (to.empty()) {
        b = kMax;
    } else if (!ParseDecimal(to, a, kMax, b)) {
        return RangeKind::kNone;
    }
    if (a >= size) return RangeKind::kUnsatisfiable;
    first = a;
    end = std::min(b, size - 1) + 1;
    return RangeKind::kSatisfiable;
}

void SetText(httplib::Response& res, int status, const std::string& text) {
    res.status = status;
    res.set_content(text, "text/plain");
}

}  // namespace

bool IsQueryName(const std::string& name) {
    return name == "getClientAccKey" || name == "QueryClientVer";
}

// Sends the body of one file answer in pieces the rate limit allows,
// putting in the body faults. Lives as long as the library holds the answer;
// the answer counts as a request in progress till then.
class TestServer::FileSender {
public:
    FileSender(TestServer& server, const fs::path& file, long long fileSize, long long first,
               const FaultPlan& fault)
        : server_(server), fileSize_(fileSize), first_(first), fault_(fault) {
        ++server_.activeRequests_;
        in_.open(file, std::ios::binary);
        if (first < fileSize) in_.seekg(first);
    }
    ~FileSender() {
        --server_.activeRequests_;
        server_.Touch();
    }
    FileSender(const FileSender&) = delete;
    FileSender& operator=(const FileSender&) = delete;

    bool IsOpen() const { return in_.good(); }

    // Sends the next piece from offset (counted from the answer's first
    // byte); returns false to close the connection: at the cut, when the
    // server stops, or when the file or the client fails.
    bool Send(size_t offset, size_t length, httplib::DataSink& sink) {
        server_.Touch();
        if (offset == 0 && !server_.stopping_.Sleep(milliseconds(fault_.stallBodyMs))) return false;
        long long count = static_cast<long long>(std::min(length, server_.bucket_.ChunkSize()));
        long long at = static_cast<long long>(offset);
        if (fault_.cutAfter >= 0) {
            if (at >= fault_.cutAfter) return false;
            count = std::min(count, fault_.cutAfter - at);
        }
        if (!server_.stopping_.Sleep(server_.bucket_.Reserve(static_cast<size_t>(count)))) return false;
        std::string piece(static_cast<size_t>(count), '\0');
        long long position = first_ + at;
        if (position < fileSize_) {
            std::streamsize fromFile = static_cast<std::streamsize>(std::min(count, fileSize_ - position));
            if (!in_.read(&piece[0], fromFile)) return false;
        }
        if (fault_.corruptAt >= position && fault_.corruptAt < position + count) {
            piece[static_cast<size_t>(fault_.corruptAt - position)] ^= '\xff';
        }
        return sink.write(piece.data(), piece.size());
    }

private:
    TestServer& server_;
    std::ifstream in_;
    long long fileSize_;
    long long first_;
    FaultPlan fault_;
};

TestServer::TestServer(ServerOptions options)
    : options_(std::move(options)),
      bucket_(options_.rate),
      reports_(options_.reportDir),
      delayMs_(options_.delayMs),
      lastActivity_(Clock::now().time_since_epoch().count()),
      faults_(options_.faults),
      replies_(options_.replies) {}

TestServer::~TestServer() {
    Stop();
}

int TestServer::Start(std::string& error) {
    if (!IsLoopback(options_.host)) {
        error = "not a loopback address: " + options_.host;
        return 0;
    }
    if (!options_.recordFile.empty() && !log_.Open(options_.recordFile)) {
        error = "cannot open the record file " + options_.recordFile;
        return 0;
    }
    // A client that goes away mid-answer must cost an error return, not the process.
    signal(SIGPIPE, SIG_IGN);
    if (!Listen(options_.port, error)) return 0;
    Touch();
    {
        std::lock_guard<std::mutex> hold(lock_);
        started_ = true;
    }
    supervisor_ = std::thread(&TestServer::Supervise, this);
    if (!options_.portFile.empty()) {
        // Written aside and renamed, so a reader never finds half a number.
        std::string partial = options_.portFile + ".part";
        std::ofstream(partial, std::ios::trunc) << port_ << '\n';
        std::error_code ec;
        fs::rename(partial, options_.portFile, ec);
        if (ec) {
            error = "cannot write the port file " + options_.portFile;
            Stop();
            return 0;
        }
    }
    return port_;
}

bool TestServer::Listen(int port, std::string& error) {
    auto http = std::make_unique<httplib::Server>();
    Configure(*http);
    int bound = port;
    if (port == 0) {
        bound = http->bind_to_any_port(options_.host);
    } else if (!http->bind_to_port(options_.host, port)) {
        bound = 0;
    }
    if (bound <= 0) {
        error = "cannot listen on " + options_.host + ":" + std::to_string(port);
        return false;
    }
    httplib::Server* raw = http.get();
    Listener listener{std::move(http), std::thread([raw] { raw->listen_after_bind(); })};
    // The library's stop does nothing before its loop runs.
    Clock::time_point limit = Clock::now() + kListenStartLimit;
    while (!raw->is_running() && Clock::now() < limit) std::this_thread::sleep_for(milliseconds(1));
    std::lock_guard<std::mutex> hold(lock_);
    if (!raw->is_running()) {
        error = "the listening thread did not start";
        draining_.push_back(std::move(listener));
        return false;
    }
    port_ = bound;
    listener_ = std::move(listener);
    return true;
}

void TestServer::Configure(httplib::Server& http) {
    http.new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
    http.set_socket_options(SetSocketOptions);
    http.set_keep_alive_max_count(kKeepAliveMaxRequests);
    http.set_keep_alive_timeout(options_.keepAliveTimeoutSec);
    // The library cuts answers to the parsed Range header by itself and cannot
    // be told not to; this server answers ranges itself, so that faults can
    // get them wrong on purpose. The request is the library's own non-const
    // object, handed to handlers as const.
    http.set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
        const_cast<httplib::Request&>(req).ranges.clear();
        return httplib::Server::HandlerResponse::Unhandled;
    });
    http.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
        if (handledHere) {
            handledHere = false;
            return;
        }
        RequestRecord record;
        record.method = req.method;
        record.path = req.path;
        record.range = req.get_header_value("Range");
        record.status = res.status;
        record.clientPort = req.remote_port;
        record.body = req.body;
        log_.Add(std::move(record));
    });
    auto handler = [this](const httplib::Request& req, httplib::Response& res) { Handle(req, res); };
    http.Get(".*", handler);
    http.Post(".*", handler);
}

void TestServer::Supervise() {
    std::unique_lock<std::mutex> hold(lock_);
    std::string reason;
    for (;;) {
        if (!endAsked_.empty()) {
            reason = endAsked_;
            break;
        }
        if (refuseMs_ > 0) {
            int ms = refuseMs_;
            refuseMs_ = 0;
            draining_.push_back(std::move(listener_));
            draining_.back().http->stop();
            if (wake_.wait_for(hold, milliseconds(ms), [this] { return !endAsked_.empty(); })) continue;
            int port = port_;
            hold.unlock();
            std::string error;
            bool listening = Listen(port, error);
            hold.lock();
            if (!listening) {
                std::fprintf(stderr, "testserver: %s\n", error.c_str());
                reason = "listen failed";
                break;
            }
            continue;
        }
        long long idleFor = Clock::now().time_since_epoch().count() - lastActivity_.load();
        if (options_.idleTimeoutSec > 0 && activeRequests_ == 0 &&
            Clock::duration(idleFor) >= std::chrono::seconds(options_.idleTimeoutSec)) {
            reason = "idle";
            break;
        }
        wake_.wait_for(hold, kSupervisorTick);
    }
    std::vector<Listener> listeners = std::move(draining_);
    if (listener_.http) listeners.push_back(std::move(listener_));
    hold.unlock();

    stopping_.Raise();
    for (Listener& listener : listeners) {
        listener.http->stop();
        if (listener.thread.joinable()) listener.thread.join();
    }

    hold.lock();
    endReason_ = reason;
    finished_ = true;
    wake_.notify_all();
}

std::string TestServer::Wait() {
    std::unique_lock<std::mutex> hold(lock_);
    wake_.wait(hold, [this] { return finished_ || !started_; });
    return finished_ ? endReason_ : "stopped";
}

void TestServer::Stop() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (endAsked_.empty()) endAsked_ = "stopped";
    }
    wake_.notify_all();
    std::lock_guard<std::mutex> joining(joinLock_);
    if (supervisor_.joinable()) supervisor_.join();
}

void TestServer::SetFault(const std::string& path, const FaultPlan& fault) {
    std::lock_guard<std::mutex> hold(lock_);
    faults_[path] = fault;
}

void TestServer::ClearFault(const std::string& path) {
    std::lock_guard<std::mutex> hold(lock_);
    faults_.erase(path);
}

bool TestServer::SetReply(const std::string& name, const QueryReply& reply) {
    if (!IsQueryName(name)) return false;
    std::lock_guard<std::mutex> hold(lock_);
    replies_[name] = reply;
    return true;
}

void TestServer::SetRate(long long bytesPerSecond) {
    bucket_.SetRate(bytesPerSecond);
}

void TestServer::SetDelay(int ms) {
    delayMs_ = std::max(0, ms);
}

void TestServer::Refuse(int ms) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        refuseMs_ = std::max(1, ms);
    }
    wake_.notify_all();
}

std::vector<RequestRecord> TestServer::Requests() const {
    return log_.All();
}

void TestServer::ClearRequests() {
    log_.Clear();
}

void TestServer::Touch() {
    lastActivity_ = Clock::now().time_since_epoch().count();
}

FaultPlan TestServer::TakeFault(const std::string& path) {
    std::lock_guard<std::mutex> hold(lock_);
    auto found = faults_.find(path);
    if (found == faults_.end()) found = faults_.find("*");
    if (found == faults_.end()) return FaultPlan();
    FaultPlan fault = found->second;
    if (found->second.times > 0 && --found->second.times == 0) faults_.erase(found);
    return fault;
}

void TestServer::Handle(const httplib::Request& req, httplib::Response& res) {
    handledHere = true;
    ++activeRequests_;
    Touch();
    if (req.path.compare(0, 3, "/__") == 0) {
        HandleControl(req, res);
    } else {
        FaultPlan fault = TakeFault(req.path);
        std::string query = QueryNameOf(req.path);
        if (!stopping_.Sleep(milliseconds(delayMs_.load()) + milliseconds(fault.stallMs))) {
            SetText(res, 503, "stopping\n");
        } else if (fault.status != 0) {
            SetText(res, fault.status, "fault\n");
        } else if (!query.empty()) {
            ServeReply(query, res);
        } else if (IsReportPath(req.path)) {
            StoreReport(req.body, res);
        } else {
            ServeFile(req, res, fault);
        }
        RequestRecord record;
        record.method = req.method;
        record.path = req.path;
        record.range = req.get_header_value("Range");
        record.status = res.status;
        record.clientPort = req.remote_port;
        record.body = req.body;
        log_.Add(std::move(record));
    }
    --activeRequests_;
    Touch();
}

void TestServer::HandleControl(const httplib::Request& req, httplib::Response& res) {
    if (req.path == "/__requests" && req.method == "GET") {
        std::string text;
        for (const RequestRecord& record : log_.All()) text += FormatRecord(record) + "\n";
        SetText(res, 200, text);
    } else if (req.path == "/__shutdown" && req.method == "POST") {
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (endAsked_.empty()) endAsked_ = "shutdown";
        }
        wake_.notify_all();
        SetText(res, 200, "bye\n");
    } else if (req.path == "/__control" && req.method == "POST") {
        std::string error;
        if (ApplyControl(req, error)) {
            SetText(res, 200, "ok\n");
        } else {
            SetText(res, 400, error + "\n");
        }
    } else {
        SetText(res, 404, "no such control\n");
    }
}

bool TestServer::ApplyControl(const httplib::Request& req, std::string& error) {
    // Only the query string counts: the library adds the fields of a form
    // body to params too, and the body here is data.
    httplib::Params params;
    size_t query = req.target.find('?');
    if (query != std::string::npos) httplib::detail::parse_query_text(req.target.substr(query + 1), params);
    if (params.empty()) {
        error = "no control key";
        return false;
    }
    std::string faultPath, replyName;
    FaultPlan fault;
    QueryReply reply;
    reply.body = req.body;
    long long rate = -1, delay = -1, refuse = -1, status = -1;
    bool clearRequests = false;
    for (const auto& param : params) {
        const std::string& key = param.first;
        const std::string& value = param.second;
        bool ok = true;
        if (key == "fault") {
            ok = !value.empty() && (req.body.empty() || ParseFaultPlan(req.body, fault, error));
            faultPath = value;
        } else if (key == "reply") {
            ok = IsQueryName(value);
            replyName = value;
        } else if (key == "status") {
            ok = ParseDecimal(value, 100, 999, status);
        } else if (key == "rate") {
            ok = ParseDecimal(value, 0, 1LL << 40, rate);
        } else if (key == "delay") {
            ok = ParseDecimal(value, 0, 3600 * 1000, delay);
        } else if (key == "refuse") {
            ok = ParseDecimal(value, 1, 3600 * 1000, refuse);
        } else if (key == "clear-requests") {
            clearRequests = true;
        } else {
            error = "unknown control key '" + key + "'";
            return false;
        }
        if (!ok) {
            if (error.empty()) error = "bad value for '" + key + "': '" + value + "'";
            return false;
        }
    }
    if (!faultPath.empty() && !replyName.empty()) {
        error = "fault and reply both take the body; send them apart";
        return false;
    }
    if (status >= 0 && replyName.empty()) {
        error = "status goes with reply";
        return false;
    }
    if (!faultPath.empty()) {
        if (req.body.empty()) {
            ClearFault(faultPath);
        } else {
            SetFault(faultPath, fault);
        }
    }
    if (!replyName.empty()) {
        if (status >= 0) reply.status = static_cast<int>(status);
        SetReply(replyName, reply);
    }
    if (rate >= 0) SetRate(rate);
    if (delay >= 0) SetDelay(static_cast<int>(delay));
    if (clearRequests) ClearRequests();
    if (refuse > 0) Refuse(static_cast<int>(refuse));
    return true;
}

void TestServer::ServeReply(const std::string& name, httplib::Response& res) {
    std::lock_guard<std::mutex> hold(lock_);
    auto found = replies_.find(name);
    if (found == replies_.end()) {
        SetText(res, 404, "no reply set for " + name + "\n");
        return;
    }
    SetText(res, found->second.status, found->second.body);
}

void TestServer::StoreReport(const std::string& body, httplib::Response& res) {
    switch (reports_.Add(body)) {
    case ReportStore::Result::kStored:
        SetText(res, 200, "ok\n");
        break;
    case ReportStore::Result::kNotZlib:
        SetText(res, 400, "not one zlib stream\n");
        break;
    case ReportStore::Result::kWriteFailed:
        SetText(res, 500, "cannot store the report\n");
        break;
    }
}

void TestServer::ServeFile(const httplib::Request& req, httplib::Response& res, const FaultPlan& fault) {
    fs::path file;
    std::error_code ec;
    uintmax_t fileBytes = 0;
    if (ResolveFile(options_.root, req.path, file)) fileBytes = fs::file_size(file, ec);
    if (file.empty() || ec) {
        SetText(res, 404, "not found\n");
        return;
    }
    long long fileSize = static_cast<long long>(fileBytes);
    long long size = fault.size >= 0 ? fault.size : fileSize;
    long long first = 0, end = size;
    res.status = 200;
    std::string range = req.get_header_value("Range");
    if (!range.empty() && !fault.ignoreRange) {
        RangeKind kind = ReadRange(range, size, first, end);
        if (kind == RangeKind::kSatisfiable) {
            first = std::clamp(first + fault.rangeShift, 0LL, size);
            end = std::clamp(end + fault.rangeShift, 0LL, size);
            if (first >= end) kind = RangeKind::kUnsatisfiable;
        }
        if (kind == RangeKind::kUnsatisfiable) {
            SetText(res, 416, "");
            res.set_header("Content-Range", "bytes */" + std::to_string(size));
            return;
        }
        if (kind == RangeKind::kSatisfiable) {
            res.status = 206;
            res.set_header("Content-Range", "bytes " + std::to_string(first) + "-" + std::to_string(end - 1) +
                                                "/" + std::to_string(size));
        }
    }
    res.set_header("Accept-Ranges", "bytes");
    if (end == first) {
        res.set_content("", "application/octet-stream");
        return;
    }
    auto sender = std::make_shared<FileSender>(*this, file, fileSize, first, fault);
    if (!sender->IsOpen()) {
        SetText(res, 500, "cannot read the file\n");
        return;
    }
    res.set_content_provider(static_cast<size_t>(end - first), "application/octet-stream",
                             [sender](size_t offset, size_t length, httplib::DataSink& sink) {
                                 return sender->Send(offset, length, sink);
                             });
}
