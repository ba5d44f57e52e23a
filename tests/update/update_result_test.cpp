#include <gtest/gtest.h>

#include <string>

#include "update/update_result.h"

TEST(UpdateResult, NamesEveryCodeAndProcessIds) {
    EXPECT_STREQ(UpdateResultName(URC_NO_ERR), "URC_NO_ERR");
    EXPECT_STREQ(UpdateResultName(URC_DOWNLOAD_ERR), "URC_DOWNLOAD_ERR");
    EXPECT_STREQ(UpdateResultName(URC_LOCAL_FILE_COPY_ERR), "URC_LOCAL_FILE_COPY_ERR");
    EXPECT_STREQ(UpdateResultName(URC_SVR_MEET_STOPPED), "URC_SVR_MEET_STOPPED");
    EXPECT_STREQ(UpdateResultName(BUTT), "BUTT");
    EXPECT_STREQ(UpdateResultName(15), "NewPID");
    EXPECT_STREQ(UpdateResultName(4242), "NewPID");
    EXPECT_STREQ(UpdateResultName(-1), "unknown");
    // Every code has a name of its own.
    for (int a = 0; a <= BUTT; ++a) {
        for (int b = a + 1; b <= BUTT; ++b) EXPECT_NE(std::string(UpdateResultName(a)), UpdateResultName(b));
    }
}

TEST(UpdateResult, ErrorsAreOneToFourteenButMeetingEnded) {
    EXPECT_FALSE(IsUpdateError(URC_NO_ERR));
    for (int code = URC_UNKNOW_ERR; code <= BUTT; ++code) {
        EXPECT_EQ(IsUpdateError(code), code != URC_SVR_MEET_STOPPED) << code;
    }
    EXPECT_FALSE(IsUpdateError(15));
    EXPECT_FALSE(IsUpdateError(-1));
    EXPECT_FALSE(IsNewUpdaterPid(BUTT));
    EXPECT_TRUE(IsNewUpdaterPid(BUTT + 1));
}
