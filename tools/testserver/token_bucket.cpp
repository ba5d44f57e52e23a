#include "token_bucket.h"

#include <algorithm>

namespace {

constexpr size_t kMaxChunk = 64 * 1024;
constexpr double kMinCapacity = 1024;

}  // namespace

TokenBucket::TokenBucket(long long bytesPerSecond)
    : rate_(std::max(0LL, bytesPerSecond)), tokens_(0), filled_(Clock::now()) {
    tokens_ = Capacity();
}

void TokenBucket::SetRate(long long bytesPerSecond) {
    std::lock_guard<std::mutex> hold(lock_);
    rate_ = std::max(0LL, bytesPerSecond);
    tokens_ = std::min(tokens_, Capacity());
    filled_ = Clock::now();
}

long long TokenBucket::Rate() const {
    std::lock_guard<std::mutex> hold(lock_);
    return rate_;
}

double TokenBucket::Capacity() const {
    return std::max(kMinCapacity, static_cast<double>(rate_) / 20);
}

TokenBucket::Clock::duration TokenBucket::Reserve(size_t bytes) {
    std::lock_guard<std::mutex> hold(lock_);
    if (rate_ == 0) return Clock::duration::zero();
    Clock::time_point now = Clock::now();
    double seconds = std::chrono::duration<double>(now - filled_).count();
    tokens_ = std::min(Capacity(), tokens_ + seconds * static_cast<double>(rate_));
    filled_ = now;
    tokens_ -= static_cast<double>(bytes);
    if (tokens_ >= 0) return Clock::duration::zero();
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(-tokens_ / static_cast<double>(rate_)));
}

size_t TokenBucket::ChunkSize() const {
    std::lock_guard<std::mutex> hold(lock_);
    if (rate_ == 0) return kMaxChunk;
    return std::min(kMaxChunk, static_cast<size_t>(Capacity()));
}
