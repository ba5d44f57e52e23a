#include "net/conn_record.h"

#include <gtest/gtest.h>

#include "download_test_support.h"

namespace {

SConnRecord MakeRecord() { return SConnRecord(0, 0, "http://server", ConnectionPtr(new AbortCountingConnection)); }

}  // namespace

TEST(ConnRecord, CountsNothingBeforeTheFirstSample) {
    SConnRecord record = MakeRecord();
    record.CountBytes(5000, 100000);
    EXPECT_EQ(record.lastSpeed, SConnRecord::kInitialSpeed);
    EXPECT_TRUE(record.speedWindow.empty());
}

TEST(ConnRecord, SpeedIsTheWindowsBytesOverItsDurationInWholeBytesPerMillisecond) {
    SConnRecord record = MakeRecord();
    record.StartSpeedSample(1000);
    record.CountBytes(1500, 5001);
    EXPECT_EQ(record.lastSpeed, 10.0);
    // The sample has lasted 2000 ms: a new one starts and the old one still counts.
    record.CountBytes(3000, 999);
    ASSERT_EQ(record.speedWindow.size(), 2u);
    EXPECT_EQ(record.speedWindow.back().durationMs, 2000);
    EXPECT_EQ(record.lastSpeed, 3.0);
}

TEST(ConnRecord, KeepsTheFiveNewestSamples) {
    SConnRecord record = MakeRecord();
    for (uint64_t start = 1; start <= 7; ++start) record.StartSpeedSample(start * 10);
    ASSERT_EQ(record.speedWindow.size(), SConnRecord::kSpeedSamples);
    EXPECT_EQ(record.speedWindow.front().startMs, 70u);
    EXPECT_EQ(record.speedWindow.back().startMs, 30u);
}
