// A bare TCP client for what an HTTP library hides: exactly which bytes
// arrive, when, and whether the server closed the connection.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

class RawHttpClient {
public:
    // Connects to 127.0.0.1:port; IsConnected says whether that worked.
    explicit RawHttpClient(int port);
    ~RawHttpClient();
    RawHttpClient(const RawHttpClient&) = delete;
    RawHttpClient& operator=(const RawHttpClient&) = delete;

    bool IsConnected() const { return fd_ >= 0; }
    // Returns false when not all bytes could be sent.
    bool Send(const std::string& bytes);
    // Returns what arrives within time, stopping early once `enough` bytes
    // came or the server closed the connection (ClosedByServer is then true).
    std::string ReadFor(std::chrono::milliseconds time, size_t enough = static_cast<size_t>(-1));
    bool ClosedByServer() const { return closed_; }

private:
    int fd_ = -1;
    bool closed_ = false;
};

// Splits an HTTP answer into its head (up to the blank line) and the body;
// false when the head is incomplete.
bool SplitHead(const std::string& answer, std::string& head, std::string& body);
