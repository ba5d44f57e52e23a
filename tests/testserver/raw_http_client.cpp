#include "raw_http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

RawHttpClient::RawHttpClient(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd_);
        fd_ = -1;
    }
}

RawHttpClient::~RawHttpClient() {
    if (fd_ >= 0) close(fd_);
}

bool RawHttpClient::Send(const std::string& bytes) {
    return fd_ >= 0 && send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

std::string RawHttpClient::ReadFor(std::chrono::milliseconds time, size_t enough) {
    using Clock = std::chrono::steady_clock;
    std::string got;
    Clock::time_point end = Clock::now() + time;
    while (fd_ >= 0 && !closed_ && got.size() < enough) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) break;
        pollfd ready{fd_, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(left)) <= 0) break;
        char buffer[65536];
        ssize_t n = recv(fd_, buffer, std::min(sizeof buffer, enough - got.size()), 0);
        if (n <= 0) {
            closed_ = true;
        } else {
            got.append(buffer, static_cast<size_t>(n));
        }
    }
    return got;
}

bool SplitHead(const std::string& answer, std::string& head, std::string& body) {
    size_t end = answer.find("\r\n\r\n");
    if (end == std::string::npos) return false;
    head = answer.substr(0, end + 4);
    body = answer.substr(end + 4);
    return true;
}
