#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "update/headless_update_handle.h"
#include "update/update_progress.h"

TEST(UpdateProgress, BandScaling) {
    EXPECT_EQ(ScalePercent(0, 13, 90), 13);
    EXPECT_EQ(ScalePercent(100, 13, 90), 90);
    EXPECT_EQ(ScalePercent(50, 13, 90), 51);  // 50 * 77 / 100 = 38
    EXPECT_EQ(ScalePercent(99, 5, 7), 6);
    EXPECT_EQ(ScalePercent(100, 5, 7), 7);
}

TEST(UpdateProgress, TransferPercentIn64Bits) {
    EXPECT_EQ(TransferPercent(0, 0), 0);
    EXPECT_EQ(TransferPercent(5, 0), 0);
    EXPECT_EQ(TransferPercent(1, 3), 33);
    // Sizes beyond 32 bits do not overflow.
    const int64_t total = int64_t(3) << 31;
    EXPECT_EQ(TransferPercent(total / 2, total), 50);
    // More than announced stays at 100.
    EXPECT_EQ(TransferPercent(150, 100), 100);
    EXPECT_EQ(TransferPercent(-5, 100), 0);
}

TEST(UpdateProgress, UnknownSizeCountsThreeMebibytes) {
    EXPECT_EQ(ProgressSizeOf(-1), 3145728);
    EXPECT_EQ(ProgressSizeOf(0), 0);
    EXPECT_EQ(ProgressSizeOf(1000), 1000);
}

TEST(HeadlessUpdateHandle, RecordsAndWaitsForTheResult) {
    CHeadlessUpdateHandle handle;
    EXPECT_FALSE(handle.Finished());
    std::thread worker([&handle] {
        handle.NotifyStatusText(L"one");
        handle.NotifyPercent(5);
        handle.SetErrorText(L"first");
        handle.SetErrorText(L"second");
        handle.Show(5);
        handle.NotifyPercent(7);
        handle.NotifyFinished(13);
    });
    EXPECT_EQ(handle.WaitForResult(), 13);
    worker.join();
    EXPECT_TRUE(handle.Finished());
    EXPECT_EQ(handle.Percents(), (std::vector<int>{5, 7}));
    EXPECT_EQ(handle.StatusTexts(), (std::vector<std::wstring>{L"one"}));
    EXPECT_EQ(handle.ShowCommands(), (std::vector<int>{5}));
    EXPECT_EQ(handle.ErrorText(), L"second");
}
