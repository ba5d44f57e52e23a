#include "launcher/updater_record.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

TEST(UpdaterRecord, TheCreationTimeBelongsToTheIdThatWroteIt) {
    unsigned char block[128] = {};
    WriteUpdaterRecord(block, 4242, 77);
    uint32_t first = 0;
    std::memcpy(&first, block, sizeof first);
    EXPECT_EQ(first, 4242u);
    SUpdaterRecord record = ReadUpdaterRecord(block);
    EXPECT_TRUE(record.timed);
    EXPECT_EQ(record.creationTime, 77u);
    // An updater that keeps no time writes the first word only.
    const uint32_t older = 5151;
    std::memcpy(block, &older, sizeof older);
    record = ReadUpdaterRecord(block);
    EXPECT_EQ(record.processId, 5151u);
    EXPECT_FALSE(record.timed);
    WriteUpdaterRecord(block, 0, 77);
    for (unsigned char byte : block) EXPECT_EQ(byte, 0);
}

TEST(UpdaterRecord, TheTimeDecidesWhateverTheNameAndWithoutOneOnlyUpdatersNamesCount) {
    SUpdaterRecord record{4242, true, 77};
    EXPECT_TRUE(IsRecordedUpdater(record, 77, L"VeltranePrepair.exe", L"ZOLTAMeeting.exe"));
    // The id reused by a program started later.
    EXPECT_FALSE(IsRecordedUpdater(record, 78, L"ZOLTAMeeting.exe", L"ZOLTAMeeting.exe"));
    record.timed = false;
    EXPECT_TRUE(IsRecordedUpdater(record, 78, L"zoltameeting.EXE", L"ZOLTAMeeting.exe"));
    EXPECT_TRUE(IsRecordedUpdater(record, 78, L"veltraneprepair.exe", L"ZOLTAMeeting.exe"));
    EXPECT_FALSE(IsRecordedUpdater(record, 78, L"idle_program.exe", L"ZOLTAMeeting.exe"));
}
