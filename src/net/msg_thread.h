// The base of every long-running worker: one thread and a first-in, first-out
// queue of messages. Any thread posts; the worker thread takes the messages one
// by one and hands each to OnMsg, and turns its periodic timers into OnTimer
// calls, so a derived class whose state is touched only by its handlers needs
// no lock of its own.
//
// Threading: PostMsg, Stop, SetTimer, KillTimer, SetThreadName and GetExitCode
// may be called from any thread, the worker's own included. Start, Join and the
// destructor belong to the owner and are not called concurrently with each
// other; Join from the worker thread returns at once, since a thread cannot
// wait for itself. Run, OnMsg and OnTimer run on the worker thread only, and
// the queue lock is never held while they run. A derived class must stop and
// join the worker in its own destructor, before its members go.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "net/msg.h"

// Codes of the queue's inner messages, which carry CMsg::kReservedType as
// their type and the code as their first value.
enum MsgThread_INNERMSG {
    INNER_QUIT = 0,             // exit code: leave the loop
    INNER_SET_TIMER = 1,        // (timer id, interval): (re)start a periodic timer
    INNER_KILL_TIMER = 2,       // timer id: stop that timer
    INNER_TIMER_FIRED = 3,      // (timer id, registration id): call OnTimer
    INNER_SET_THREAD_NAME = 4,  // name: name the worker thread for debuggers
};

class CMsgThread {
public:
    CMsgThread();
    // Stops and joins the worker, then deletes the messages still queued.
    virtual ~CMsgThread();
    CMsgThread(const CMsgThread&) = delete;
    CMsgThread& operator=(const CMsgThread&) = delete;

    // Deletes the messages queued while idle, sets the exit code to 0 and
    // starts the worker thread, which calls Run. Does nothing while the worker
    // has been started and not yet joined. Returns false when the thread could
    // not be created, true otherwise.
    bool Start();
    // Queues the request to leave the loop behind everything posted so far:
    // those messages are handled first, later ones are deleted unhandled. Only
    // the first request of a run sets the exit code. Does nothing while idle.
    void Stop(int exitCode);
    // Waits for the worker thread to end. Does nothing while idle.
    void Join();
    // Queues msg, whose ownership passes to the queue; a null msg is ignored.
    // Throws std::exception "Type can't to be -1!" for a message of
    // CMsg::kReservedType, which then stays the caller's; this is the one
    // exception the system throws, since such a message is a programming error.
    void PostMsg(CMsg* msg);
    // Starts a timer that calls OnTimer(timerId) every intervalMs milliseconds,
    // replacing the timer of that id; a negative interval just stops it. Takes
    // effect when the worker handles it, so a timer set while idle is dropped
    // by the next Start.
    void SetTimer(int timerId, int intervalMs);
    // Stops a timer; no OnTimer for it follows once the worker has handled
    // this. An id that is not set is ignored.
    void KillTimer(int timerId);
    // Names the worker thread for debuggers, with a copy of name: at once when
    // called on the worker thread, else through the queue. Does nothing while
    // idle or for a null name.
    void SetThreadName(const char* name);
    // Returns the exit code: 0 from Start until the worker leaves its loop.
    int GetExitCode() const;

protected:
    // The message loop: handles messages until the quit request, then stops
    // the worker's timers and deletes what is still queued.
    virtual void Run();
    // Handles one message of the worker's own types; the loop deletes it
    // afterwards. The base does nothing.
    virtual void OnMsg(CMsg* msg);
    // Handles one tick of a timer set with SetTimer. The base does nothing.
    virtual void OnTimer(int timerId);

private:
    // The timer thread's callback: queues one tick, unless one of the same
    // registration is still waiting, so a slow handler meets one late tick
    // rather than a pile of them.
    static void QueueTick(int registrationId, void* context, int timerId);

    void ThreadMain();
    void Enqueue(std::unique_ptr<CMsg> msg);
    // Blocks until a message is queued and takes it.
    std::unique_ptr<CMsg> TakeNextMsg();
    // Returns false when the message ends the loop.
    bool HandleInnerMsg(const CMsg& msg);
    void StartTimer(int timerId, int intervalMs);
    void StopTimer(int timerId);
    void StopAllTimers();
    void DeliverTick(int timerId, int registrationId);
    void DeleteQueuedMsgs();

    std::thread thread_;
    std::atomic<bool> running_{false};  // started and not yet joined
    std::atomic<std::thread::id> workerId_{std::thread::id()};
    std::atomic<int32_t> exitCode_{0};
    std::mutex queueLock_;
    std::list<std::unique_ptr<CMsg>> queue_;  // guarded by queueLock_
    std::set<int> queuedTicks_;  // registrations with a tick in queue_; guarded by queueLock_
    std::condition_variable queueSignal_;
    std::map<int, int> timers_;  // timer id to TimerThread registration id; worker thread only
};
