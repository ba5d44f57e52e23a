// Fixed-count retries with a fixed pause, for file operations that another
// process (a virus scanner, the old updater) may block for a moment.
#pragma once

#include <chrono>
#include <thread>

struct RetryPolicy {
    int attempts;  // at least one attempt is always made
    int pauseMs;   // between two attempts; none after the last
};

// Calls attempt() until it returns true, at most policy.attempts times.
// Returns true on the first success, false when every attempt failed; the
// last attempt's system error is then still the thread's last error.
template <typename Attempt>
bool RetryUntil(const RetryPolicy& policy, Attempt attempt) {
    for (int i = 1;; ++i) {
        if (attempt()) return true;
        if (i >= policy.attempts) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(policy.pauseMs));
    }
}
