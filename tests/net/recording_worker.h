// Stand-ins for the message-thread tests: a worker that records what its
// handlers see, a gate that holds a handler until the test opens it, and a
// message that counts its own deletion.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "net/msg_thread.h"

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Long enough for a loaded sanitizer build; waits end as soon as their condition holds.
constexpr milliseconds kGenerousWait{10000};

enum RecordingMsgType {
    kRecordMsg = 1,   // CVar1Msg<int>: recorded with its value
    kHoldMsg = 2,     // CVar1Msg<Gate*>: the handler waits at the gate
    kSyncMsg = 3,     // CVar1Msg<int>: recorded with its value, see Sync
    kCountedMsg = 4,  // CountedMsg
};

class Gate {
public:
    void Open() {
        std::lock_guard<std::mutex> guard(lock_);
        open_ = true;
        opened_.notify_all();
    }
    void Wait() {
        std::unique_lock<std::mutex> lock(lock_);
        opened_.wait(lock, [this] { return open_; });
    }

private:
    std::mutex lock_;
    std::condition_variable opened_;
    bool open_ = false;
};

class CountedMsg : public CMsg {
public:
    explicit CountedMsg(std::atomic<int>& deleted) : CMsg(kCountedMsg), deleted_(deleted) {}
    ~CountedMsg() override { ++deleted_; }

private:
    std::atomic<int>& deleted_;
};

class RecordingWorker : public CMsgThread {
public:
    struct Event {
        bool tick;  // OnTimer, else OnMsg
        int id;     // timer id or message type
        int value;  // the value of kRecordMsg and kSyncMsg
        std::thread::id thread;
        SteadyClock::time_point at;
    };

    // Run on the worker before an event is recorded; set them before Start.
    std::function<void(const CMsg&)> onMsg;
    std::function<void(int timerId)> onTick;

    ~RecordingWorker() override {
        Stop(0);
        Join();
    }

    std::vector<Event> Events() {
        std::lock_guard<std::mutex> guard(lock_);
        return events_;
    }
    int Ticks(int timerId) {
        int n = 0;
        for (const Event& e : Events()) n += e.tick && e.id == timerId;
        return n;
    }
    // Returns whether done(events) came true within kGenerousWait.
    bool WaitUntil(const std::function<bool(const std::vector<Event>&)>& done) {
        std::unique_lock<std::mutex> lock(lock_);
        return recorded_.wait_for(lock, kGenerousWait, [&] { return done(events_); });
    }
    bool WaitForTicks(int timerId, int count) {
        return WaitUntil([&](const std::vector<Event>& events) {
            int n = 0;
            for (const Event& e : events) n += e.tick && e.id == timerId;
            return n >= count;
        });
    }
    // Returns true once everything posted before it has been handled.
    bool Sync() {
        const int marker = ++syncCount_;
        PostMsg(new CVar1Msg<int>(kSyncMsg, marker));
        return WaitUntil([&](const std::vector<Event>& events) { return IndexOf(events, kSyncMsg, marker) >= 0; });
    }
    // Returns the index of the message event of that type and value, or -1.
    static int IndexOf(const std::vector<Event>& events, int type, int value) {
        for (size_t i = 0; i < events.size(); ++i) {
            if (!events[i].tick && events[i].id == type && events[i].value == value) return static_cast<int>(i);
        }
        return -1;
    }

protected:
    void OnMsg(CMsg* msg) override {
        if (onMsg) onMsg(*msg);
        int value = 0;
        if (msg->GetType() == kRecordMsg || msg->GetType() == kSyncMsg) value = static_cast<CVar1Msg<int>*>(msg)->var1;
        if (msg->GetType() == kHoldMsg) static_cast<CVar1Msg<Gate*>*>(msg)->var1->Wait();
        Record(Event{false, msg->GetType(), value, std::this_thread::get_id(), SteadyClock::now()});
    }
    void OnTimer(int timerId) override {
        if (onTick) onTick(timerId);
        Record(Event{true, timerId, 0, std::this_thread::get_id(), SteadyClock::now()});
    }

private:
    void Record(const Event& event) {
        std::lock_guard<std::mutex> guard(lock_);
        events_.push_back(event);
        recorded_.notify_all();
    }

    std::mutex lock_;
    std::condition_variable recorded_;
    std::vector<Event> events_;
    int syncCount_ = 0;  // test thread only
};
