#include "net/msg_thread.h"

#include <gtest/gtest.h>

#include <exception>
#include <memory>
#include <string>

#include "recording_worker.h"

namespace {

constexpr int kPeriodMs = 20;

// Ticks of timerId recorded after the message event at index from.
int TicksAfter(const std::vector<RecordingWorker::Event>& events, int from, int timerId) {
    int n = 0;
    for (size_t i = static_cast<size_t>(from) + 1; i < events.size(); ++i) n += events[i].tick && events[i].id == timerId;
    return n;
}

}  // namespace

TEST(MsgThread, HandlesMessagesInPostingOrderOnTheWorkerThread) {
    RecordingWorker worker;
    ASSERT_TRUE(worker.Start());
    for (int i = 0; i < 200; ++i) worker.PostMsg(new CVar1Msg<int>(kRecordMsg, i));
    ASSERT_TRUE(worker.Sync());
    const auto events = worker.Events();
    ASSERT_EQ(events.size(), 201u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(events[i].value, i);
    EXPECT_NE(events[0].thread, std::this_thread::get_id());
    for (const auto& e : events) EXPECT_EQ(e.thread, events[0].thread);
}

TEST(MsgThread, KeepsEachPostersOrderWhenManyThreadsPost) {
    constexpr int kPosters = 6, kEach = 500;
    RecordingWorker worker;
    ASSERT_TRUE(worker.Start());
    std::vector<std::thread> posters;
    for (int p = 0; p < kPosters; ++p) {
        posters.emplace_back([&worker, p] {
            for (int i = 0; i < kEach; ++i) worker.PostMsg(new CVar1Msg<int>(kRecordMsg, p * kEach + i));
        });
    }
    for (auto& t : posters) t.join();
    ASSERT_TRUE(worker.Sync());
    std::vector<int> next(kPosters, 0);
    for (const auto& e : worker.Events()) {
        if (e.id != kRecordMsg) continue;
        const int poster = e.value / kEach;
        EXPECT_EQ(e.value % kEach, next[poster]++);
    }
    for (int n : next) EXPECT_EQ(n, kEach);
}

TEST(MsgThread, RefusesTheReservedTypeAndIgnoresNull) {
    RecordingWorker worker;
    ASSERT_TRUE(worker.Start());
    std::unique_ptr<CMsg> reserved(new CMsg(CMsg::kReservedType));
    std::string refusal;
    try {
        worker.PostMsg(reserved.get());
    } catch (const std::exception& e) {
        refusal = e.what();
    }
    EXPECT_EQ(refusal, "Type can't to be -1!");
    worker.PostMsg(nullptr);
    ASSERT_TRUE(worker.Sync());
    EXPECT_EQ(worker.Events().size(), 1u);  // only the sync marker; the refused message is still ours
}

TEST(MsgThread, HandlesWhatPrecedesStopAndFreesWhatFollows) {
    std::atomic<int> deleted{0};
    Gate gate;
    {
        RecordingWorker worker;
        ASSERT_TRUE(worker.Start());
        worker.PostMsg(new CVar1Msg<Gate*>(kHoldMsg, &gate));
        worker.PostMsg(new CountedMsg(deleted));
        worker.PostMsg(new CountedMsg(deleted));
        worker.Stop(5);
        worker.Stop(7);
        worker.PostMsg(new CountedMsg(deleted));
        gate.Open();
        worker.Join();
        const auto events = worker.Events();
        ASSERT_EQ(events.size(), 3u);
        EXPECT_EQ(events[1].id, kCountedMsg);
        EXPECT_EQ(events[2].id, kCountedMsg);
        EXPECT_EQ(worker.GetExitCode(), 5);
        EXPECT_EQ(deleted.load(), 3);
        worker.PostMsg(new CountedMsg(deleted));  // queued with no loop to read it
        EXPECT_EQ(deleted.load(), 3);
    }
    EXPECT_EQ(deleted.load(), 4);
}

TEST(MsgThread, StartDropsWhatWasQueuedWhileIdleAndRestartsAfterJoin) {
    std::atomic<int> deleted{0};
    RecordingWorker worker;
    worker.Stop(9);
    worker.Join();
    EXPECT_EQ(worker.GetExitCode(), 0);
    worker.PostMsg(new CountedMsg(deleted));
    ASSERT_TRUE(worker.Start());
    EXPECT_EQ(deleted.load(), 1);
    worker.Stop(3);
    worker.Join();
    EXPECT_EQ(worker.GetExitCode(), 3);
    ASSERT_TRUE(worker.Start());
    EXPECT_EQ(worker.GetExitCode(), 0);
    ASSERT_TRUE(worker.Sync());
    for (const auto& e : worker.Events()) EXPECT_NE(e.id, kCountedMsg);
}

TEST(MsgThread, StartWhileRunningKeepsTheQueue) {
    Gate gate;
    RecordingWorker worker;
    ASSERT_TRUE(worker.Start());
    worker.PostMsg(new CVar1Msg<Gate*>(kHoldMsg, &gate));
    worker.PostMsg(new CVar1Msg<int>(kRecordMsg, 1));
    EXPECT_TRUE(worker.Start());
    gate.Open();
    ASSERT_TRUE(worker.Sync());
    EXPECT_GE(RecordingWorker::IndexOf(worker.Events(), kRecordMsg, 1), 0);
}

TEST(MsgThread, JoinFromTheWorkerThreadReturns) {
    RecordingWorker worker;
    worker.onMsg = [&worker](const CMsg& msg) {
        if (msg.GetType() == kRecordMsg) worker.Join();
    };
    ASSERT_TRUE(worker.Start());
    worker.PostMsg(new CVar1Msg<int>(kRecordMsg, 1));
    EXPECT_TRUE(worker.Sync());
}

TEST(MsgThread, TimerTicksOnTheWorkerAtMostOncePerPeriod) {
    RecordingWorker worker;
    ASSERT_TRUE(worker.Start());
    const auto before = SteadyClock::now();
    worker.SetTimer(1, kPeriodMs);
    ASSERT_TRUE(worker.WaitForTicks(1, 5));
    const int ticks = worker.Ticks(1);
    const auto elapsed = SteadyClock::now() - before;
    EXPECT_LE(ticks, elapsed / milliseconds(kPeriodMs) + 1);
    ASSERT_TRUE(worker.Sync());
    const auto events = worker.Events();
    for (const auto& e : events) EXPECT_EQ(e.thread, events.back().thread);
}

TEST(MsgThread, SetTimerReplacesARunningTimer) {
    auto worker = std::make_unique<RecordingWorker>();
    ASSERT_TRUE(worker->Start());
    worker->SetTimer(1, 60000);
    worker->SetTimer(1, kPeriodMs);
    ASSERT_TRUE(worker->WaitForTicks(1, 3));  // the new period applies
    worker->SetTimer(1, 60000);
    ASSERT_TRUE(worker->Sync());
    const int ticks = worker->Ticks(1);
    std::this_thread::sleep_for(milliseconds(10 * kPeriodMs));
    ASSERT_TRUE(worker->Sync());
    EXPECT_EQ(worker->Ticks(1), ticks);  // the short one is gone
    // A replaced registration left behind would tick into the freed worker.
    worker.reset();
    std::this_thread::sleep_for(milliseconds(3 * kPeriodMs));
}

TEST(MsgThread, NoTickFollowsAHandledKill) {
    RecordingWorker worker;
    ASSERT_TRUE(worker.Start());
    worker.SetTimer(1, kPeriodMs / 2);
    ASSERT_TRUE(worker.WaitForTicks(1, 2));
    // Hold the worker so that ticks fire while the kill waits in the queue.
    Gate gate;
    worker.PostMsg(new CVar1Msg<Gate*>(kHoldMsg, &gate));
    worker.KillTimer(1);
    worker.PostMsg(new CVar1Msg<int>(kRecordMsg, 1));
    std::this_thread::sleep_for(milliseconds(5 * kPeriodMs));
    gate.Open();
    ASSERT_TRUE(worker.Sync());
    std::this_thread::sleep_for(milliseconds(5 * kPeriodMs));
    ASSERT_TRUE(worker.Sync());
    const auto events = worker.Events();
    EXPECT_EQ(TicksAfter(events, RecordingWorker::IndexOf(events, kRecordMsg, 1), 1), 0);
}

TEST(MsgThread, SlowTickHandlerMeetsOneLateTickNotAPile) {
    RecordingWorker worker;
    bool slowDone = false;  // worker thread only
    worker.onTick = [&](int) {
        if (slowDone) return;
        slowDone = true;
        std::this_thread::sleep_for(milliseconds(10 * kPeriodMs));
        // Ticks queued during the block come before this marker.
        worker.PostMsg(new CVar1Msg<int>(kRecordMsg, 1));
    };
    ASSERT_TRUE(worker.Start());
    worker.SetTimer(1, kPeriodMs);
    ASSERT_TRUE(worker.WaitUntil([](const std::vector<RecordingWorker::Event>& events) {
        const int marker = RecordingWorker::IndexOf(events, kRecordMsg, 1);
        return marker >= 0 && TicksAfter(events, marker, 1) >= 3;
    }));
    const auto events = worker.Events();
    const int marker = RecordingWorker::IndexOf(events, kRecordMsg, 1);
    int queuedDuringBlock = 0;
    for (int i = 1; i < marker; ++i) queuedDuringBlock += events[i].tick;  // events[0] is the slow tick
    EXPECT_TRUE(events[0].tick);
    EXPECT_LE(queuedDuringBlock, 1);
}

TEST(MsgThread, TimersOfSeveralWorkersTickOnTheirOwnThreads) {
    RecordingWorker workers[3];
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(workers[i].Start());
        workers[i].SetTimer(7, kPeriodMs + 5 * i);
    }
    for (auto& worker : workers) ASSERT_TRUE(worker.WaitForTicks(7, 3));
    workers[0].KillTimer(7);
    workers[1].KillTimer(8);  // never set: nothing happens
    ASSERT_TRUE(workers[0].Sync());
    const int stopped = workers[0].Ticks(7);
    for (int i = 1; i < 3; ++i) EXPECT_TRUE(workers[i].WaitForTicks(7, workers[i].Ticks(7) + 2));
    ASSERT_TRUE(workers[0].Sync());
    EXPECT_EQ(workers[0].Ticks(7), stopped);
    for (auto& worker : workers) {
        ASSERT_TRUE(worker.Sync());
        const auto events = worker.Events();
        for (const auto& e : events) EXPECT_EQ(e.thread, events.back().thread);
    }
    EXPECT_NE(workers[1].Events()[0].thread, workers[2].Events()[0].thread);
}

TEST(MsgThread, StopEndsTheWorkersTimers) {
    auto worker = std::make_unique<RecordingWorker>();
    ASSERT_TRUE(worker->Start());
    worker->SetTimer(1, kPeriodMs / 2);
    ASSERT_TRUE(worker->WaitForTicks(1, 2));
    worker->Stop(0);
    worker->Join();
    const int ticks = worker->Ticks(1);
    ASSERT_TRUE(worker->Start());
    std::this_thread::sleep_for(milliseconds(10 * kPeriodMs));
    ASSERT_TRUE(worker->Sync());
    EXPECT_EQ(worker->Ticks(1), ticks);
    // Destroyed with a timer set: nothing may reach the freed worker afterwards.
    worker->SetTimer(2, 1);
    ASSERT_TRUE(worker->WaitForTicks(2, 1));
    worker.reset();
    std::this_thread::sleep_for(milliseconds(kPeriodMs));
}

TEST(MsgThread, SetTimerBeforeStartIsDropped) {
    RecordingWorker worker;
    worker.SetTimer(1, kPeriodMs / 2);
    ASSERT_TRUE(worker.Start());
    std::this_thread::sleep_for(milliseconds(10 * kPeriodMs));
    ASSERT_TRUE(worker.Sync());
    EXPECT_EQ(worker.Ticks(1), 0);
}
