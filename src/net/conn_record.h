// The download manager's record of one server entry: its connection, the
// block that connection works on, and the measures that decide when and how
// soon it gets work again (speed, errors).
//
// Threading: used only on the download manager's thread, except that the
// owner's thread creates and deletes records while that thread is not running.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "net/http_connection.h"

struct SFileBlock;

// Releases a connection the only way it may be released.
struct ConnectionDestroyer {
    void operator()(CHttpConnection* conn) const { conn->Destroy(); }
};
using ConnectionPtr = std::unique_ptr<CHttpConnection, ConnectionDestroyer>;

struct SSpeedSample {
    uint64_t startMs = 0;  // monotonic milliseconds
    int64_t bytes = 0;
    int64_t durationMs = 0;
};

struct SConnRecord {
    static constexpr double kInitialSpeed = 100.0;  // bytes per millisecond
    static constexpr size_t kSpeedSamples = 5;
    static constexpr int64_t kSampleSpanMs = 2000;

    SConnRecord(int32_t number, std::string url, ConnectionPtr connection)
        : connNo(number), baseUrl(std::move(url)), conn(std::move(connection)) {}

    // Pushes a fresh sample starting at nowMs, dropping the oldest beyond five.
    void StartSpeedSample(uint64_t nowMs);
    // Counts n bytes into the newest sample and recomputes lastSpeed; does
    // nothing before the first sample.
    void CountBytes(uint64_t nowMs, int64_t n);

    const int32_t connNo;        // 0-based in server-list order; "[conn%d]" in log lines
    const std::string baseUrl;   // "http://host[:port][/path]" without a trailing '/'
    const ConnectionPtr conn;
    SFileBlock* curBlock = nullptr;  // the block this record works on; null when idle
    // True from a started transfer until the manager has handled its end, so
    // that no message of an earlier transfer is taken for the next one.
    bool awaitingEnd = false;
    double lastSpeed = kInitialSpeed;      // bytes per millisecond
    std::deque<SSpeedSample> speedWindow;  // newest first
    int32_t errCount = 0;
    uint64_t lastErrTimeMs = 0;  // monotonic milliseconds
};
