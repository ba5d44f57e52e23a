#include "scripted_update_worker.h"

#include <gtest/gtest.h>

#include "update/headless_update_handle.h"

TEST(ScriptedUpdateWorker, ReportsItsScriptInOrderAndWaitsAtPauses) {
    CHeadlessUpdateHandle handle;
    CScriptedUpdateWorker worker({CScriptedUpdateWorker::Status(L"Querying"), CScriptedUpdateWorker::Percent(20),
                                  CScriptedUpdateWorker::Pause(), CScriptedUpdateWorker::Percent(60),
                                  CScriptedUpdateWorker::ErrorText(L"server says no"),
                                  CScriptedUpdateWorker::Finish(7)});
    EXPECT_FALSE(worker.Started());
    worker.SetHandle(&handle);
    EXPECT_EQ(worker.Handle(), &handle);
    worker.Start();
    worker.Start();
    EXPECT_TRUE(worker.WaitStarted(10000));
    ASSERT_TRUE(worker.WaitAtPause(0, 10000));
    EXPECT_FALSE(handle.Finished());
    EXPECT_EQ(handle.Percents(), std::vector<int>{20});
    EXPECT_EQ(handle.StatusTexts(), std::vector<std::wstring>{L"Querying"});
    worker.Resume();
    EXPECT_EQ(handle.WaitForResult(), 7);
    EXPECT_EQ(handle.Percents(), (std::vector<int>{20, 60}));
    EXPECT_EQ(handle.ErrorText(), L"server says no");
    worker.Join();
}

TEST(ScriptedUpdateWorker, PauseFunctionStandsInForTheGate) {
    CHeadlessUpdateHandle handle;
    std::vector<std::wstring> pauses;
    CScriptedUpdateWorker worker({CScriptedUpdateWorker::Pause(L"first"), CScriptedUpdateWorker::Pause(L"second"),
                                  CScriptedUpdateWorker::Finish(0)},
                                 [&pauses](const std::wstring& name) { pauses.push_back(name); });
    worker.SetHandle(&handle);
    worker.Start();
    EXPECT_EQ(handle.WaitForResult(), 0);
    worker.Join();
    EXPECT_EQ(pauses, (std::vector<std::wstring>{L"first", L"second"}));
}
