#include "net/file_mgr.h"

#include <gtest/gtest.h>

#include <string>

#include "download_test_support.h"

// /dev/full takes the open and fails every write, as a full disk does.
TEST(FileMgrPosix, AFailedWriteIsALocalFileFailure) {
    FileMgr file(true);
    file.locFileName = "\\dev\\full";
    ASSERT_TRUE(file.OpenLocalFile());
    AbortCountingConnection* conn = new AbortCountingConnection;
    SConnRecord record(0, 0, "http://server", ConnectionPtr(conn));
    file.AssignTask(file.FirstUnfinishedBlock(), &record);
    const std::string data(10240, 'x');
    int32_t written = 0;
    EXPECT_EQ(file.WriteBlockData(&record, data.data(), 0, 10240, written), FileMgr::kWriteFileError);
    EXPECT_EQ(written, 0);
    ASSERT_NE(file.FirstUnfinishedBlock(), nullptr);
    EXPECT_EQ(file.FirstUnfinishedBlock()->done, 0);
    file.CloseLocalFile(false);
}
