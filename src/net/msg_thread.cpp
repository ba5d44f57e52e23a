#include "net/msg_thread.h"

#include <stdexcept>
#include <string>
#include <system_error>
#include <tuple>
#include <utility>

#include "net/timer_thread.h"
#include "util/debug_output.h"

namespace {

using InnerIntMsg = CVar2Msg<MsgThread_INNERMSG, int>;
using InnerPairMsg = CVar2Msg<MsgThread_INNERMSG, std::tuple<int, int>>;
using InnerTextMsg = CVar2Msg<MsgThread_INNERMSG, std::string>;

// Returns the registration id when msg is a timer tick, else 0 (never an id).
int TickRegistrationOf(const CMsg& msg) {
    if (msg.GetType() != CMsg::kReservedType) return 0;
    const auto* pair = dynamic_cast<const InnerPairMsg*>(&msg);
    if (pair == nullptr || pair->var1 != INNER_TIMER_FIRED) return 0;
    return std::get<1>(pair->var2);
}

}  // namespace

CMsgThread::CMsgThread() = default;

CMsgThread::~CMsgThread() {
    Stop(0);
    Join();
    DeleteQueuedMsgs();
}

bool CMsgThread::Start() {
    if (running_) return true;
    DeleteQueuedMsgs();
    exitCode_ = 0;
    running_ = true;
    try {
        thread_ = std::thread(&CMsgThread::ThreadMain, this);
    } catch (const std::system_error&) {
        running_ = false;
        return false;
    }
    return true;
}

void CMsgThread::Stop(int exitCode) {
    if (!running_) return;
    Enqueue(std::make_unique<InnerIntMsg>(CMsg::kReservedType, INNER_QUIT, exitCode));
}

void CMsgThread::Join() {
    if (!running_ || std::this_thread::get_id() == workerId_.load()) return;
    thread_.join();
    workerId_ = std::thread::id();
    running_ = false;
}

void CMsgThread::PostMsg(CMsg* msg) {
    if (msg == nullptr) return;
    if (msg->GetType() == CMsg::kReservedType) throw std::invalid_argument("Type can't to be -1!");
    Enqueue(std::unique_ptr<CMsg>(msg));
}

void CMsgThread::SetTimer(int timerId, int intervalMs) {
    Enqueue(std::make_unique<InnerPairMsg>(CMsg::kReservedType, INNER_SET_TIMER, std::make_tuple(timerId, intervalMs)));
}

void CMsgThread::KillTimer(int timerId) {
    Enqueue(std::make_unique<InnerIntMsg>(CMsg::kReservedType, INNER_KILL_TIMER, timerId));
}

void CMsgThread::SetThreadName(const char* name) {
    if (name == nullptr || !running_) return;
    if (std::this_thread::get_id() == workerId_.load()) {
        // A worker that replaces Run has no loop to handle the message.
        SetCurrentThreadName(name);
        return;
    }
    Enqueue(std::make_unique<InnerTextMsg>(CMsg::kReservedType, INNER_SET_THREAD_NAME, std::string(name)));
}

int CMsgThread::GetExitCode() const { return exitCode_; }

void CMsgThread::Run() {
    for (;;) {
        const std::unique_ptr<CMsg> msg = TakeNextMsg();
        if (msg->GetType() != CMsg::kReservedType) {
            OnMsg(msg.get());
        } else if (!HandleInnerMsg(*msg)) {
            break;
        }
    }
    // Timers left running would keep queueing ticks for a worker that no
    // longer reads its queue, and outlive it.
    StopAllTimers();
    DeleteQueuedMsgs();
}

void CMsgThread::OnMsg(CMsg*) {}

void CMsgThread::OnTimer(int) {}

void CMsgThread::QueueTick(int registrationId, void* context, int timerId) {
    auto* self = static_cast<CMsgThread*>(context);
    std::lock_guard<std::mutex> guard(self->queueLock_);
    if (self->queuedTicks_.count(registrationId) != 0) return;
    self->queue_.push_back(std::make_unique<InnerPairMsg>(CMsg::kReservedType, INNER_TIMER_FIRED,
                                                          std::make_tuple(timerId, registrationId)));
    self->queuedTicks_.insert(registrationId);
    self->queueSignal_.notify_one();
}

void CMsgThread::ThreadMain() {
    workerId_ = std::this_thread::get_id();
    Run();
}

void CMsgThread::Enqueue(std::unique_ptr<CMsg> msg) {
    std::lock_guard<std::mutex> guard(queueLock_);
    queue_.push_back(std::move(msg));
    queueSignal_.notify_one();
}

std::unique_ptr<CMsg> CMsgThread::TakeNextMsg() {
    std::unique_lock<std::mutex> lock(queueLock_);
    queueSignal_.wait(lock, [this] { return !queue_.empty(); });
    std::unique_ptr<CMsg> msg = std::move(queue_.front());
    queue_.pop_front();
    const int tickRegistration = TickRegistrationOf(*msg);
    if (tickRegistration != 0) queuedTicks_.erase(tickRegistration);
    return msg;
}

bool CMsgThread::HandleInnerMsg(const CMsg& msg) {
    if (const auto* inner = dynamic_cast<const InnerIntMsg*>(&msg)) {
        if (inner->var1 == INNER_QUIT) {
            exitCode_ = inner->var2;
            return false;
        }
        if (inner->var1 == INNER_KILL_TIMER) StopTimer(inner->var2);
    } else if (const auto* inner = dynamic_cast<const InnerPairMsg*>(&msg)) {
        const int timerId = std::get<0>(inner->var2);
        if (inner->var1 == INNER_SET_TIMER) StartTimer(timerId, std::get<1>(inner->var2));
        if (inner->var1 == INNER_TIMER_FIRED) DeliverTick(timerId, std::get<1>(inner->var2));
    } else if (const auto* inner = dynamic_cast<const InnerTextMsg*>(&msg)) {
        // A thread name only helps a debugger; Windows before 10 has none.
        SetCurrentThreadName(inner->var2.c_str());
    }
    return true;
}

void CMsgThread::StartTimer(int timerId, int intervalMs) {
    StopTimer(timerId);
    const int registrationId = TimerThread::Instance().AddTimer(intervalMs, &CMsgThread::QueueTick, this, timerId);
    if (registrationId > 0) timers_[timerId] = registrationId;
}

void CMsgThread::StopTimer(int timerId) {
    const auto it = timers_.find(timerId);
    if (it == timers_.end()) return;
    TimerThread::Instance().RemoveTimer(it->second);
    timers_.erase(it);
}

void CMsgThread::StopAllTimers() {
    for (const auto& timer : timers_) TimerThread::Instance().RemoveTimer(timer.second);
    timers_.clear();
}

void CMsgThread::DeliverTick(int timerId, int registrationId) {
    // A tick queued before its timer was killed or replaced is stale.
    const auto it = timers_.find(timerId);
    if (it != timers_.end() && it->second == registrationId) OnTimer(timerId);
}

void CMsgThread::DeleteQueuedMsgs() {
    // The messages are deleted after the lock is released: a message's
    // destructor may post to this queue.
    std::list<std::unique_ptr<CMsg>> dropped;
    std::lock_guard<std::mutex> guard(queueLock_);
    dropped.swap(queue_);
    queuedTicks_.clear();
}
