#include "net/timer_thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "recording_worker.h"

namespace {

// Notes each call of its callback; the first call may block for a while.
class TickRecorder {
public:
    static void Callback(int registrationId, void* context, int value) {
        auto* self = static_cast<TickRecorder*>(context);
        const auto at = SteadyClock::now();
        if (self->CallCount() == 0 && self->blockFirst.count() > 0) {
            std::this_thread::sleep_for(self->blockFirst);
            self->blockEnd = SteadyClock::now();
        }
        std::lock_guard<std::mutex> guard(self->lock_);
        self->calls_.push_back(Call{registrationId, value, at});
        self->called_.notify_all();
    }

    struct Call {
        int registrationId;
        int value;
        SteadyClock::time_point at;
    };

    milliseconds blockFirst{0};          // set before the timer is added
    SteadyClock::time_point blockEnd;    // timer thread only, until read after the wait

    std::vector<Call> Calls() {
        std::lock_guard<std::mutex> guard(lock_);
        return calls_;
    }
    size_t CallCount() {
        std::lock_guard<std::mutex> guard(lock_);
        return calls_.size();
    }
    bool WaitForCalls(size_t count) {
        std::unique_lock<std::mutex> lock(lock_);
        return called_.wait_for(lock, kGenerousWait, [&] { return calls_.size() >= count; });
    }

private:
    std::mutex lock_;
    std::condition_variable called_;
    std::vector<Call> calls_;
};

}  // namespace

TEST(TimerThread, RefusesANegativeIntervalOrANullCallback) {
    TickRecorder recorder;
    EXPECT_EQ(TimerThread::Instance().AddTimer(-1, &TickRecorder::Callback, &recorder, 0), 0);
    EXPECT_EQ(TimerThread::Instance().AddTimer(10, nullptr, &recorder, 0), 0);
}

TEST(TimerThread, RegistrationIdsArePositiveAndUnique) {
    constexpr int kThreads = 4, kEach = 50;
    TickRecorder recorder;
    std::vector<std::vector<int>> ids(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&ids, &recorder, t] {
            for (int i = 0; i < kEach; ++i) {
                ids[t].push_back(TimerThread::Instance().AddTimer(60000, &TickRecorder::Callback, &recorder, 0));
            }
        });
    }
    for (auto& thread : threads) thread.join();
    std::set<int> unique;
    for (const auto& list : ids) {
        EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
        for (int id : list) {
            EXPECT_GT(id, 0);
            unique.insert(id);
            TimerThread::Instance().RemoveTimer(id);
        }
    }
    EXPECT_EQ(unique.size(), static_cast<size_t>(kThreads * kEach));
}

TEST(TimerThread, CallsBackUntilRemoved) {
    TickRecorder recorder;
    const int id = TimerThread::Instance().AddTimer(10, &TickRecorder::Callback, &recorder, 33);
    ASSERT_GT(id, 0);
    TimerThread::Instance().RemoveTimer(0);  // unknown ids are ignored
    ASSERT_TRUE(recorder.WaitForCalls(3));
    TimerThread::Instance().RemoveTimer(id);
    const size_t calls = recorder.CallCount();
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(recorder.CallCount(), calls);
    for (const auto& call : recorder.Calls()) {
        EXPECT_EQ(call.registrationId, id);
        EXPECT_EQ(call.value, 33);
    }
}

TEST(TimerThread, AnEarlierTimerWakesTheWaitingThread) {
    TickRecorder late, soon;
    const int lateId = TimerThread::Instance().AddTimer(60000, &TickRecorder::Callback, &late, 0);
    std::this_thread::sleep_for(milliseconds(20));  // the thread now waits for the late timer
    const int soonId = TimerThread::Instance().AddTimer(10, &TickRecorder::Callback, &soon, 0);
    EXPECT_TRUE(soon.WaitForCalls(1));
    TimerThread::Instance().RemoveTimer(soonId);
    TimerThread::Instance().RemoveTimer(lateId);
    EXPECT_EQ(late.CallCount(), 0u);
}

TEST(TimerThread, SlowCallbackIsFollowedByOneLateTickNotABurst) {
    constexpr milliseconds kPeriod{20};
    TickRecorder recorder;
    recorder.blockFirst = 10 * kPeriod;
    const int id = TimerThread::Instance().AddTimer(static_cast<int>(kPeriod.count()), &TickRecorder::Callback,
                                                    &recorder, 0);
    ASSERT_TRUE(recorder.WaitForCalls(4));
    TimerThread::Instance().RemoveTimer(id);
    // Re-armed from the moment it fires, the timer cannot fire twice within
    // one period after the block, however slow the machine.
    const auto calls = recorder.Calls();
    const auto blockEnd = recorder.blockEnd;
    const auto withinAPeriod = std::count_if(calls.begin() + 1, calls.end(), [&](const TickRecorder::Call& c) {
        return c.at < blockEnd + kPeriod;
    });
    EXPECT_LE(withinAPeriod, 1);
}

TEST(TimerThread, ZeroIntervalTicksAtMostOnceAMillisecond) {
    TickRecorder recorder;
    const auto before = SteadyClock::now();
    const int id = TimerThread::Instance().AddTimer(0, &TickRecorder::Callback, &recorder, 0);
    ASSERT_GT(id, 0);
    ASSERT_TRUE(recorder.WaitForCalls(5));
    const auto calls = recorder.CallCount();
    const auto elapsed = SteadyClock::now() - before;
    TimerThread::Instance().RemoveTimer(id);
    EXPECT_LE(static_cast<long long>(calls), elapsed / milliseconds(1) + 1);
}
