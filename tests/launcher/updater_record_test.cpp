#include "launcher/updater_record.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

TEST(UpdaterRecord, TheIdStaysTheFirstWordAndCarriesItsCreationTime) {
    unsigned char block[128] = {};
    WriteUpdaterRecord(block, 4242, 0x01D9AABBCCDDEEFFull);
    uint32_t first = 0;
    std::memcpy(&first, block, sizeof first);
    EXPECT_EQ(first, 4242u);
    const SUpdaterRecord record = ReadUpdaterRecord(block);
    EXPECT_EQ(record.processId, 4242u);
    EXPECT_TRUE(record.timed);
    EXPECT_EQ(record.creationTime, 0x01D9AABBCCDDEEFFull);
    for (size_t i = kUpdaterRecordSize; i < sizeof block; ++i) EXPECT_EQ(block[i], 0) << i;

    WriteUpdaterRecord(block, 0, 0x01D9AABBCCDDEEFFull);
    const SUpdaterRecord cleared = ReadUpdaterRecord(block);
    EXPECT_EQ(cleared.processId, 0u);
    EXPECT_FALSE(cleared.timed);
    for (size_t i = 0; i < sizeof block; ++i) EXPECT_EQ(block[i], 0) << i;
}

TEST(UpdaterRecord, AnIdWrittenAloneHasNoTimeEvenOverAnotherIdsTime) {
    unsigned char block[128] = {};
    WriteUpdaterRecord(block, 4242, 77);
    // An updater that keeps no time writes the first word only.
    const uint32_t older = 5151;
    std::memcpy(block, &older, sizeof older);
    const SUpdaterRecord record = ReadUpdaterRecord(block);
    EXPECT_EQ(record.processId, 5151u);
    EXPECT_FALSE(record.timed);
}

TEST(UpdaterRecord, TheCreationTimeDecidesWhateverTheFileName) {
    SUpdaterRecord record;
    record.processId = 4242;
    record.timed = true;
    record.creationTime = 77;
    EXPECT_TRUE(IsRecordedUpdater(record, 77, L"VeltranePrepair.exe", L"ZOLTAMeeting.exe"));
    EXPECT_TRUE(IsRecordedUpdater(record, 77, L"notepad.exe", L"ZOLTAMeeting.exe"));
    // The id reused by a program started later.
    EXPECT_FALSE(IsRecordedUpdater(record, 78, L"ZOLTAMeeting.exe", L"ZOLTAMeeting.exe"));
    EXPECT_FALSE(IsRecordedUpdater(record, 0, L"ZOLTAMeeting.exe", L"ZOLTAMeeting.exe"));
}

TEST(UpdaterRecord, WithoutATimeOnlyTheUpdatersNamesCount) {
    SUpdaterRecord record;
    record.processId = 4242;
    EXPECT_TRUE(IsRecordedUpdater(record, 5, L"zoltameeting.EXE", L"ZOLTAMeeting.exe"));
    EXPECT_TRUE(IsRecordedUpdater(record, 5, L"veltraneprepair.exe", L"ZOLTAMeeting.exe"));
    EXPECT_FALSE(IsRecordedUpdater(record, 5, L"idle_program.exe", L"ZOLTAMeeting.exe"));
    EXPECT_FALSE(IsRecordedUpdater(record, 5, L"", L"ZOLTAMeeting.exe"));
}
