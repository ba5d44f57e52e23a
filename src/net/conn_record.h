// The download manager's record of one connection: the server entry it
// belongs to, the block it works on, and the measures that decide what work
// it gets and how soon it gets work again (speed, round trip, errors). A
// server entry has one connection at first and may get more while files
// wait (see multi_download_mgr.h).
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
class FileMgr;

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
    // A speed counts as measured once its samples span this long.
    static constexpr int64_t kMeasuredSpanMs = 200;

    SConnRecord(int32_t number, int32_t server, std::string url, ConnectionPtr connection)
        : connNo(number), serverNo(server), baseUrl(std::move(url)), conn(std::move(connection)) {}

    // Pushes a fresh sample starting at nowMs, dropping the oldest beyond five.
    void StartSpeedSample(uint64_t nowMs);
    // Counts n bytes into the newest sample and recomputes lastSpeed; does
    // nothing before the first sample.
    void CountBytes(uint64_t nowMs, int64_t n);
    // True once lastSpeed rests on received bytes over kMeasuredSpanMs.
    bool SpeedMeasured() const;
    // Counts one round trip: the time from a request to its first byte.
    void CountRoundTrip(int64_t ms);
    // The bytes and milliseconds of the samples together.
    void SpeedWindowTotals(int64_t& bytes, int64_t& durationMs) const;

    const int32_t connNo;        // "[conn%d]" in log lines
    const int32_t serverNo;      // 0-based index of its server entry
    const std::string baseUrl;   // "http://host[:port][/path]" without a trailing '/'
    const ConnectionPtr conn;
    FileMgr* curFile = nullptr;      // the file of the running transfer; null when idle
    SFileBlock* curBlock = nullptr;  // the block this record works on; null when idle or done
    // True from a started transfer until the manager has handled its end, so
    // that no message of an earlier transfer is taken for the next one.
    bool awaitingEnd = false;
    // Never used again: its transfer did not end when the run stopped.
    bool retired = false;
    // The running request: where it started and ends (-1: the end of the
    // file), when it was made, what it brought and what of that was new.
    int32_t requestStart = 0;
    int32_t requestEnd = -1;
    uint64_t requestMs = 0;
    int64_t requestBytes = 0;
    int64_t requestWritten = 0;
    uint64_t lastByteMs = 0;  // when the last byte of any request arrived
    double lastSpeed = kInitialSpeed;      // bytes per millisecond
    std::deque<SSpeedSample> speedWindow;  // newest first
    int64_t roundTripMs = -1;  // smoothed; -1 until the first answer
    int32_t errCount = 0;
    uint64_t lastErrTimeMs = 0;  // monotonic milliseconds
};
