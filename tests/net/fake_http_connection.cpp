#include "fake_http_connection.h"

#include <algorithm>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Splits "http://host[:port]/path"; false for another scheme.
bool SplitUrl(const std::string& url, std::string& host, std::string& path) {
    const std::string scheme = "http://";
    if (url.compare(0, scheme.size(), scheme) != 0) return false;
    const size_t slash = url.find('/', scheme.size());
    host = url.substr(scheme.size(), slash == std::string::npos ? std::string::npos : slash - scheme.size());
    path = slash == std::string::npos ? "/" : url.substr(slash);
    return !host.empty();
}

}  // namespace

void FakeNetwork::AddServer(const std::string& host, const FakeServerScript& script) {
    std::lock_guard<std::mutex> guard(lock_);
    servers_[host].script = script;
}

void FakeNetwork::PutFile(const std::string& host, const std::string& path, const std::string& bytes) {
    std::lock_guard<std::mutex> guard(lock_);
    servers_[host].files[path] = bytes;
}

std::vector<FakeRequest> FakeNetwork::Requests() {
    std::lock_guard<std::mutex> guard(lock_);
    return requests_;
}

std::vector<FakeRequest> FakeNetwork::RequestsTo(const std::string& host) {
    std::vector<FakeRequest> result;
    for (const FakeRequest& request : Requests()) {
        if (request.host == host) result.push_back(request);
    }
    return result;
}

int FakeNetwork::BeginRequest(const FakeRequest& request) {
    std::lock_guard<std::mutex> guard(lock_);
    requests_.push_back(request);
    requests_.back().startedAt = Clock::now();
    return static_cast<int>(requests_.size()) - 1;
}

void FakeNetwork::AddBytesSent(int index, int64_t bytes) {
    std::lock_guard<std::mutex> guard(lock_);
    requests_[static_cast<size_t>(index)].bytesSent += bytes;
}

void FakeNetwork::EndRequest(int index, int32_t result) {
    std::lock_guard<std::mutex> guard(lock_);
    FakeRequest& request = requests_[static_cast<size_t>(index)];
    request.finished = true;
    request.result = result;
    request.finishedAt = Clock::now();
}

bool FakeNetwork::Lookup(const std::string& host, const std::string& path, FakeServerScript& script,
                         std::string& file, bool& found) {
    std::lock_guard<std::mutex> guard(lock_);
    auto server = servers_.find(host);
    if (server == servers_.end()) return false;
    script = server->second.script;
    auto entry = server->second.files.find(path);
    found = entry != server->second.files.end();
    file = found ? entry->second : std::string();
    return true;
}

int FakeNetwork::CountTransfer(const std::string& host) {
    std::lock_guard<std::mutex> guard(lock_);
    return servers_[host].transfers++;
}

FakeHttpConnection::FakeHttpConnection(FakeNetwork& network, int32_t connNo) : network_(network), connNo_(connNo) {
    Start();
}

FakeHttpConnection::~FakeHttpConnection() {
    Stop(0);
    Join();
}

void FakeHttpConnection::SetProxy(const std::string& proxyHost, uint16_t, const std::string&, const std::string&) {
    std::lock_guard<std::mutex> guard(lock_);
    proxyHost_ = proxyHost;
}

std::string FakeHttpConnection::ProxyHost() {
    std::lock_guard<std::mutex> guard(lock_);
    return proxyHost_;
}

bool FakeHttpConnection::DoTransfer(CConnectionCallBack* callback, const std::string& url, int32_t start,
                                    int32_t length, const char* body, uint32_t bodyLength) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (state_ != kIdle) return false;
        state_ = kTransferring;
    }
    Transfer transfer{callback, url, start, length, body != nullptr ? std::string(body, bodyLength) : std::string()};
    PostMsg(new CVar1Msg<Transfer>(kStart, transfer));
    return true;
}

void FakeHttpConnection::Abort() {
    std::lock_guard<std::mutex> guard(lock_);
    if (state_ != kTransferring) return;
    state_ = kStopping;
    PostMsg(new CMsg(kAbort));
}

bool FakeHttpConnection::IsBusy() {
    std::lock_guard<std::mutex> guard(lock_);
    return state_ != kIdle;
}

bool FakeHttpConnection::IsTransferring() {
    std::lock_guard<std::mutex> guard(lock_);
    return state_ == kTransferring;
}

void FakeHttpConnection::Destroy() { delete this; }

void FakeHttpConnection::OnMsg(CMsg* msg) {
    switch (msg->GetType()) {
    case kStart:
        Begin(static_cast<CVar1Msg<Transfer>*>(msg)->var1);
        break;
    case kChunk:
        SendChunk(static_cast<CVar1Msg<int>*>(msg)->var1);
        break;
    case kAbort:
        EndCurrent(-1);
        break;
    default:
        break;
    }
}

void FakeHttpConnection::Begin(const Transfer& transfer) {
    FakeRequest request;
    request.connNo = connNo_;
    request.start = transfer.start;
    request.length = transfer.length;
    request.body = transfer.body;
    const bool urlOk = SplitUrl(transfer.url, request.host, request.path);
    current_ = Response();
    current_.serial = nextSerial_++;
    current_.callback = transfer.callback;
    current_.request = network_.BeginRequest(request);
    current_.began = Clock::now();
    if (!urlOk) return EndCurrent(kFakeBadUrl);

    std::string file;
    bool found = false;
    if (!network_.Lookup(request.host, request.path, current_.script, file, found)) {
        return EndCurrent(kFakeNameNotResolved);
    }
    const FakeServerScript& script = current_.script;
    const int before = network_.CountTransfer(request.host);
    if (script.failWith != 0 && (script.failTimes < 0 || before < script.failTimes)) {
        return EndCurrent(script.failWith);
    }
    current_.dies = script.dieAfter >= 0 && (script.dieTimes < 0 || before < script.dieTimes);
    if (script.responseDelayMs > 0 && (script.responseDelayTimes < 0 || before < script.responseDelayTimes)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(script.responseDelayMs));
    }
    // An abort that came meanwhile ends the transfer when its message is handled.
    if (!IsTransferring()) return;
    if (!transfer.body.empty()) {
        transfer.callback->OnSendProgress(this, static_cast<uint32_t>(transfer.body.size()));
    }
    if (!found) return EndCurrent(kFakeBadResponse);

    const int32_t size = static_cast<int32_t>(file.size());
    int32_t from = 0;
    int32_t to = size;
    if (!script.ignoresRange) {
        if (transfer.start > size || (transfer.start == size && size > 0)) return EndCurrent(kFakeBadResponse);
        from = transfer.start;
        if (transfer.length >= 0) to = std::min(size, transfer.start + transfer.length);
    }
    // A response starting elsewhere than asked is refused, as the real connection does.
    if (from != transfer.start) return EndCurrent(kFakeBadResponse);
    current_.bytes = file.substr(static_cast<size_t>(from), static_cast<size_t>(to - from));
    current_.position = from;
    // As the real connection: every answer states the total size, a ranged
    // one in its Content-Range.
    transfer.callback->OnNotify(this, CConnectionCallBack::kNotifyTotalSize, script.sendsSize ? size : -1);
    PostMsg(new CVar1Msg<int>(kChunk, current_.serial));
}

void FakeHttpConnection::SendChunk(int serial) {
    if (serial != current_.serial || current_.callback == nullptr) return;
    const FakeServerScript& script = current_.script;
    if (script.chunkDelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(script.chunkDelayMs));
    if (!IsTransferring()) return;
    int64_t limit = static_cast<int64_t>(current_.bytes.size());
    if (script.stallAfter >= 0 && current_.sent >= script.stallAfter) return;
    if (current_.dies && current_.sent >= script.dieAfter) return EndCurrent(script.dieWith);
    if (current_.sent >= limit) {
        // As the real connection: idle again when the owner hears of the end.
        EndCurrent(0);
        return;
    }
    if (script.stallAfter >= 0) limit = std::min(limit, script.stallAfter);
    if (current_.dies) limit = std::min(limit, script.dieAfter);
    const int64_t n = std::min<int64_t>(script.chunkSize, limit - current_.sent);
    if (n > 0) {
        current_.callback->OnRecvData(this, current_.position + static_cast<int32_t>(current_.sent),
                                      static_cast<int32_t>(n), current_.bytes.data() + current_.sent);
        current_.sent += n;
        network_.AddBytesSent(current_.request, n);
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - current_.began).count();
        current_.callback->OnSpeed(this, static_cast<double>(current_.sent / std::max<int64_t>(elapsed, 1)));
    }
    PostMsg(new CVar1Msg<int>(kChunk, serial));
}

void FakeHttpConnection::EndCurrent(int32_t result) {
    if (current_.callback == nullptr) return;
    CConnectionCallBack* callback = current_.callback;
    network_.EndRequest(current_.request, result);
    current_ = Response();
    {
        std::lock_guard<std::mutex> guard(lock_);
        state_ = kIdle;
    }
    callback->OnTransferFinished(this, result);
}

CHttpConnection* FakeConnectionFactory::Create(int32_t connNo) {
    if (connNo == failAtConnNo) return nullptr;
    auto* conn = new FakeHttpConnection(network_, connNo);
    made.push_back(conn);
    return conn;
}
