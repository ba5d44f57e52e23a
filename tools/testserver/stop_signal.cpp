#include "stop_signal.h"

void StopSignal::Raise() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        isRaised_ = true;
    }
    raised_.notify_all();
}

bool StopSignal::Raised() const {
    std::lock_guard<std::mutex> hold(lock_);
    return isRaised_;
}

bool StopSignal::Sleep(std::chrono::steady_clock::duration duration) {
    std::unique_lock<std::mutex> hold(lock_);
    return !raised_.wait_for(hold, duration, [this] { return isRaised_; });
}
