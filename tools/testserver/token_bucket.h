// One mirror's bandwidth: a token bucket shared by all connections of a
// server. A sender reserves its bytes and is told how long to wait before
// sending them. Reservations may run the bucket into debt, so senders are
// served in the order they asked and all connections together keep to the
// rate. The bucket holds at most a twentieth of a second's worth of tokens:
// an idle spell buys no burst.
// Thread-safe.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>

class TokenBucket {
public:
    using Clock = std::chrono::steady_clock;

    // bytesPerSecond 0 (or less) means unlimited.
    explicit TokenBucket(long long bytesPerSecond = 0);

    void SetRate(long long bytesPerSecond);
    long long Rate() const;
    // Takes tokens for bytes; returns how long the caller must wait before
    // sending them: zero when unlimited or when the tokens were there.
    Clock::duration Reserve(size_t bytes);
    // The most bytes a sender should reserve at once, so that connections
    // take turns in small pieces.
    size_t ChunkSize() const;

private:
    double Capacity() const;  // with lock_ held

    mutable std::mutex lock_;
    long long rate_;
    double tokens_;
    Clock::time_point filled_;
};
