#include "net/timer_thread.h"

#include <algorithm>
#include <system_error>

#include "util/debug_output.h"

TimerThread& TimerThread::Instance() {
    static TimerThread instance;
    return instance;
}

TimerThread::TimerThread() {
    try {
        thread_ = std::thread(&TimerThread::Loop, this);
    } catch (const std::system_error&) {
        // Without a thread no timer can fire; AddTimer reports it by returning 0.
    }
}

TimerThread::~TimerThread() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
        wake_.notify_one();
    }
    if (thread_.joinable()) thread_.join();
}

int TimerThread::AddTimer(int intervalMs, Callback callback, void* context, int value) {
    if (intervalMs < 0 || callback == nullptr) return 0;
    const int period = std::max(intervalMs, 1);
    const Clock::time_point due = Clock::now() + std::chrono::milliseconds(period);
    std::lock_guard<std::mutex> guard(lock_);
    if (!thread_.joinable()) return 0;
    const int id = nextId_++;
    const auto position = FirstDueAfter(due);
    const bool first = position == registrations_.begin();
    registrations_.insert(position, Registration{id, period, callback, context, value, due});
    // The thread sleeps until the earliest due time; only a new earliest one
    // shortens that sleep.
    if (first) wake_.notify_one();
    return id;
}

void TimerThread::RemoveTimer(int registrationId) {
    std::lock_guard<std::mutex> guard(lock_);
    const auto it = std::find_if(registrations_.begin(), registrations_.end(),
                                 [registrationId](const Registration& r) { return r.id == registrationId; });
    if (it != registrations_.end()) registrations_.erase(it);
}

void TimerThread::Loop() {
    SetCurrentThreadName("TimerThread");
    // The list lock is held from reading the list to waiting, so an AddTimer
    // signal cannot fall between computing the next wait and starting it.
    std::unique_lock<std::mutex> lock(lock_);
    while (!stop_) {
        FireDue(Clock::now());
        if (registrations_.empty()) {
            wake_.wait(lock);
        } else {
            // A copy: the registration may be removed while the thread waits.
            const Clock::time_point nextDue = registrations_.front().due;
            wake_.wait_until(lock, nextDue);
        }
    }
}

void TimerThread::FireDue(Clock::time_point now) {
    // A re-armed registration is due at least a millisecond after now, so
    // each registration fires at most once per pass.
    while (!registrations_.empty() && registrations_.front().due <= now) {
        const auto first = registrations_.begin();
        first->due = now + std::chrono::milliseconds(first->intervalMs);
        registrations_.splice(FirstDueAfter(first->due), registrations_, first);
        first->callback(first->id, first->context, first->value);
    }
}

std::list<TimerThread::Registration>::iterator TimerThread::FirstDueAfter(Clock::time_point due) {
    return std::find_if(registrations_.begin(), registrations_.end(),
                        [due](const Registration& r) { return r.due > due; });
}
