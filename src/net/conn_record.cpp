#include "net/conn_record.h"

void SConnRecord::StartSpeedSample(uint64_t nowMs) {
    speedWindow.push_front(SSpeedSample{nowMs, 0, 0});
    while (speedWindow.size() > kSpeedSamples) speedWindow.pop_back();
}

void SConnRecord::CountBytes(uint64_t nowMs, int64_t n) {
    if (speedWindow.empty() || speedWindow.front().startMs == 0) return;
    SSpeedSample& newest = speedWindow.front();
    newest.bytes += n;
    newest.durationMs = static_cast<int64_t>(nowMs - newest.startMs);
    if (newest.durationMs >= kSampleSpanMs) StartSpeedSample(nowMs);
    int64_t bytes = 0;
    int64_t duration = 0;
    SpeedWindowTotals(bytes, duration);
    if (duration <= 0) duration = 1;
    lastSpeed = static_cast<double>(bytes / duration);
}

void SConnRecord::SpeedWindowTotals(int64_t& bytes, int64_t& durationMs) const {
    bytes = 0;
    durationMs = 0;
    for (const SSpeedSample& sample : speedWindow) {
        bytes += sample.bytes;
        durationMs += sample.durationMs;
    }
}

bool SConnRecord::SpeedMeasured() const {
    int64_t bytes = 0;
    int64_t duration = 0;
    SpeedWindowTotals(bytes, duration);
    return bytes > 0 && duration >= kMeasuredSpanMs;
}

void SConnRecord::CountRoundTrip(int64_t ms) {
    // Smoothed, so that one slow answer does not make every piece huge.
    roundTripMs = roundTripMs < 0 ? ms : (3 * roundTripMs + ms) / 4;
}
