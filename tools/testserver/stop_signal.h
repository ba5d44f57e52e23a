// A flag that ends every wait of the server at once when it is raised, so
// that stalls, delays and rate-limit pauses never hold up a shutdown.
// Thread-safe.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

class StopSignal {
public:
    void Raise();
    bool Raised() const;
    // Waits for the given time; returns false when the signal is raised
    // before the time is over (or was raised already).
    bool Sleep(std::chrono::steady_clock::duration duration);

private:
    mutable std::mutex lock_;
    std::condition_variable raised_;
    bool isRaised_ = false;
};
