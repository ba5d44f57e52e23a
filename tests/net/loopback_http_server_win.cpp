#include "loopback_http_server_win.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>

namespace {

constexpr size_t kEndlessChunk = 4096;

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The path of a request target; an absolute URL (sent to a proxy) loses its scheme and host.
std::string TargetPath(const std::string& target) {
    if (target.compare(0, 7, "http://") != 0) return target;
    const size_t slash = target.find('/', 7);
    return slash == std::string::npos ? "/" : target.substr(slash);
}

std::string Head(const std::string& statusLine, const std::string& headers, size_t contentLength) {
    return "HTTP/1.1 " + statusLine + "\r\n" + headers + "Content-Length: " + std::to_string(contentLength) +
           "\r\n\r\n";
}

}  // namespace

std::string RecordedRequest::Header(const std::string& name) const {
    for (const auto& header : headers) {
        if (SameText(header.first, name)) return header.second;
    }
    return std::string();
}

bool RecordedRequest::HasHeader(const std::string& name) const {
    return std::any_of(headers.begin(), headers.end(),
                       [&name](const std::pair<std::string, std::string>& h) { return SameText(h.first, name); });
}

LoopbackHttpServer::~LoopbackHttpServer() { Stop(); }

bool LoopbackHttpServer::Start() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    winsockStarted_ = true;

    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener_ == INVALID_SOCKET) return false;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
    if (listen(listener_, SOMAXCONN) != 0) return false;
    int length = sizeof address;
    if (getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return false;
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread(&LoopbackHttpServer::AcceptLoop, this);
    return true;
}

void LoopbackHttpServer::Stop() {
    std::vector<std::thread> servers;
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
        // Closing wakes a server thread blocked in recv or send; the thread
        // then finds its socket gone from the list and leaves it alone.
        for (SOCKET client : clients_) closesocket(client);
        clients_.clear();
        changed_.notify_all();
    }
    if (listener_ != INVALID_SOCKET) {
        closesocket(listener_);
        listener_ = INVALID_SOCKET;
    }
    if (acceptor_.joinable()) acceptor_.join();
    {
        std::lock_guard<std::mutex> guard(lock_);
        servers.swap(servers_);
    }
    for (std::thread& server : servers) server.join();
    if (winsockStarted_) {
        WSACleanup();
        winsockStarted_ = false;
    }
}

std::string LoopbackHttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void LoopbackHttpServer::AddFile(const std::string& path, const std::string& content) {
    std::lock_guard<std::mutex> guard(lock_);
    files_[path] = content;
}

void LoopbackHttpServer::AddRedirect(const std::string& path, const std::string& location) {
    std::lock_guard<std::mutex> guard(lock_);
    redirects_[path] = location;
}

void LoopbackHttpServer::Script(const ScriptedReply& reply) {
    std::lock_guard<std::mutex> guard(lock_);
    script_.push_back(reply);
}

void LoopbackHttpServer::ScriptEvery(const ScriptedReply& reply) {
    std::lock_guard<std::mutex> guard(lock_);
    scriptEvery_ = true;
    everyReply_ = reply;
}

std::vector<RecordedRequest> LoopbackHttpServer::Requests() const {
    std::lock_guard<std::mutex> guard(lock_);
    return requests_;
}

size_t LoopbackHttpServer::ConnectionsAccepted() const {
    std::lock_guard<std::mutex> guard(lock_);
    return accepted_;
}

bool LoopbackHttpServer::WaitForRequests(size_t count) const {
    std::unique_lock<std::mutex> lock(lock_);
    return changed_.wait_for(lock, std::chrono::minutes(1), [&] { return requests_.size() >= count; });
}

void LoopbackHttpServer::AcceptLoop() {
    for (;;) {
        const SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) return;
        std::lock_guard<std::mutex> guard(lock_);
        if (stopping_) {
            closesocket(client);
            return;
        }
        ++accepted_;
        clients_.push_back(client);
        servers_.emplace_back(&LoopbackHttpServer::Serve, this, client);
    }
}

void LoopbackHttpServer::Serve(SOCKET client) {
    std::string pending;
    for (;;) {
        RecordedRequest request;
        if (!ReadRequest(client, pending, request)) break;
        ScriptedReply reply;
        {
            std::lock_guard<std::mutex> guard(lock_);
            requests_.push_back(request);
            changed_.notify_all();
            if (!script_.empty()) {
                reply = script_.front();
                script_.erase(script_.begin());
            } else if (scriptEvery_) {
                reply = everyReply_;
            } else {
                reply = ServeFile(request);
            }
        }
        if (!SendAll(client, reply.head + reply.body)) break;
        if (reply.end == ScriptedReply::End::kClose) break;
        if (reply.end == ScriptedReply::End::kStall) {
            WaitForStop();
            break;
        }
        if (reply.end == ScriptedReply::End::kEndless) {
            const std::string chunk(kEndlessChunk, 'e');
            while (SendAll(client, chunk)) {
            }
            break;
        }
        if (SameText(request.Header("Connection"), "close")) break;
    }
    std::lock_guard<std::mutex> guard(lock_);
    const auto registered = std::find(clients_.begin(), clients_.end(), client);
    if (registered == clients_.end()) return;
    clients_.erase(registered);
    shutdown(client, SD_BOTH);
    closesocket(client);
}

bool LoopbackHttpServer::ReadRequest(SOCKET client, std::string& pending, RecordedRequest& request) {
    size_t headEnd;
    while ((headEnd = pending.find("\r\n\r\n")) == std::string::npos) {
        char buffer[4096];
        const int got = recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) return false;
        pending.append(buffer, static_cast<size_t>(got));
    }
    const std::string head = pending.substr(0, headEnd);
    pending.erase(0, headEnd + 4);

    size_t lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const size_t firstSpace = requestLine.find(' ');
    const size_t secondSpace = requestLine.find(' ', firstSpace + 1);
    request.method = requestLine.substr(0, firstSpace);
    request.target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    while (lineEnd != std::string::npos) {
        const size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        const std::string line = head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        request.headers.emplace_back(line.substr(0, colon), Trim(line.substr(colon + 1)));
    }

    const size_t bodyLength = static_cast<size_t>(std::strtoul(request.Header("Content-Length").c_str(), nullptr, 10));
    while (pending.size() < bodyLength) {
        char buffer[4096];
        const int got = recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) return false;
        pending.append(buffer, static_cast<size_t>(got));
    }
    request.body = pending.substr(0, bodyLength);
    pending.erase(0, bodyLength);
    return true;
}

ScriptedReply LoopbackHttpServer::ServeFile(const RecordedRequest& request) const {
    ScriptedReply reply;
    const std::string path = TargetPath(request.target);
    const auto redirect = redirects_.find(path);
    if (redirect != redirects_.end()) {
        reply.head = Head("302 Found", "Location: " + redirect->second + "\r\n", 0);
        return reply;
    }
    const auto file = files_.find(path);
    if (file == files_.end()) {
        reply.body = "not found";
        reply.head = Head("404 Not Found", "", reply.body.size());
        return reply;
    }

    const std::string& content = file->second;
    const std::string range = request.Header("Range");
    if (range.compare(0, 6, "bytes=") != 0) {
        reply.body = content;
        reply.head = Head("200 OK", "", content.size());
        return reply;
    }
    const size_t dash = range.find('-');
    const size_t first = static_cast<size_t>(std::strtoul(range.c_str() + 6, nullptr, 10));
    size_t last = content.size() - 1;
    if (dash + 1 < range.size()) {
        last = std::min(last, static_cast<size_t>(std::strtoul(range.c_str() + dash + 1, nullptr, 10)));
    }
    if (first >= content.size() || first > last) {
        reply.head = Head("416 Range Not Satisfiable", "Content-Range: bytes */" + std::to_string(content.size()) + "\r\n", 0);
        return reply;
    }
    reply.body = content.substr(first, last - first + 1);
    reply.head = Head("206 Partial Content",
                      "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                          std::to_string(content.size()) + "\r\n",
                      reply.body.size());
    return reply;
}

bool LoopbackHttpServer::SendAll(SOCKET client, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const int put = send(client, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (put <= 0) return false;
        sent += static_cast<size_t>(put);
    }
    return true;
}

void LoopbackHttpServer::WaitForStop() {
    std::unique_lock<std::mutex> lock(lock_);
    changed_.wait(lock, [this] { return stopping_; });
}
