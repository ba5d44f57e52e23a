// The process's one timer thread: periodic timers for every worker, each
// calling a callback when it is due. CMsgThread uses it to turn ticks into
// messages on its own queue.
//
// Threading: AddTimer and RemoveTimer may be called from any thread except
// from inside a callback. Callbacks run on the timer thread with the timer
// list locked, so a callback must be short, must not call AddTimer or
// RemoveTimer, and may take other locks only after this one: the timer list
// lock comes before any worker's queue lock, and no code takes them the other
// way round. Once RemoveTimer has returned, that registration's callback is
// neither running nor called again.
//
// Times come from the monotonic clock, so a change of the system clock neither
// stalls nor hurries a timer. A timer is re-armed from the moment it fires, not
// from its planned time: a late tick is not caught up, so ticks never come in
// a burst, and each period may drift by the lateness.
#pragma once

#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <thread>

class TimerThread {
public:
    // Called with the registration id and the context and value given to AddTimer.
    using Callback = void (*)(int registrationId, void* context, int value);

    // Returns the process's instance, created with its thread on first use
    // (thread-safe); it lives until the process's static objects are destroyed.
    static TimerThread& Instance();

    // Stops the thread, dropping every registration.
    ~TimerThread();
    TimerThread(const TimerThread&) = delete;
    TimerThread& operator=(const TimerThread&) = delete;

    // Registers a timer due every intervalMs milliseconds, first after one
    // period; a zero interval ticks at most once a millisecond. Returns the
    // registration id, unique in the process and greater than 0; returns 0,
    // registering nothing, when the interval is negative, the callback is null
    // or the timer thread could not be started.
    int AddTimer(int intervalMs, Callback callback, void* context, int value);
    // Ends a registration; an unknown id is ignored.
    void RemoveTimer(int registrationId);

private:
    using Clock = std::chrono::steady_clock;

    struct Registration {
        int id;
        int intervalMs;  // at least 1
        Callback callback;
        void* context;
        int value;
        Clock::time_point due;
    };

    TimerThread();
    void Loop();
    // Calls every callback due at now and re-arms it from now.
    void FireDue(Clock::time_point now);
    // Returns where a registration due at due belongs: behind all due no later.
    std::list<Registration>::iterator FirstDueAfter(Clock::time_point due);

    bool stop_ = false;
    std::thread thread_;
    std::condition_variable wake_;
    std::mutex lock_;  // guards stop_, nextId_ and registrations_
    int nextId_ = 1;
    std::list<Registration> registrations_;  // ordered by due time
};
