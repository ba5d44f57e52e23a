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

// Updaters of other builds read the block (an older 32-bit one, a 64-bit
// one): the record is bytes at fixed places, little-endian, whatever this
// build's widths and structure padding.
TEST(UpdaterRecord, BlockLayoutIsTheSameForEveryBuild) {
    unsigned char block[kUpdaterRecordSize + 4];
    std::memset(block, 0xEE, sizeof block);
    WriteUpdaterRecord(block, 0x11223344u, 0x0102030405060708ull);
    const unsigned char expected[kUpdaterRecordSize] = {0x44, 0x33, 0x22, 0x11, 0x44, 0x33, 0x22, 0x11,
                                                        0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01};
    EXPECT_EQ(std::memcmp(block, expected, sizeof expected), 0);
    // Nothing past the record is touched.
    for (unsigned i = kUpdaterRecordSize; i < sizeof block; ++i) EXPECT_EQ(block[i], 0xEE) << i;
}
