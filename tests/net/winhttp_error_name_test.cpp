#include "net/winhttp_error_name.h"

#include <gtest/gtest.h>

#include <string>

TEST(ErrorName, NamesTheKnownCodes) {
    EXPECT_STREQ(ErrorName(0), "NO_ERR");
    EXPECT_STREQ(ErrorName(12001), "OUT_OF_HANDLES");
    EXPECT_STREQ(ErrorName(12002), "TIMEOUT");
    EXPECT_STREQ(ErrorName(12032), "RESEND_REQUEST");
    EXPECT_STREQ(ErrorName(12152), "INVALID_SERVER_RESPONSE");
    EXPECT_STREQ(ErrorName(12183), "CHUNKED_ENCODING_HEADER_SIZE_OVERFLOW");
    EXPECT_STREQ(ErrorName(12186), "CLIENT_CERT_NO_ACCESS_PRIVATE_KEY");
}

TEST(ErrorName, OtherCodesAreUnknow) {
    EXPECT_STREQ(ErrorName(12003), "unknow");
    EXPECT_STREQ(ErrorName(87), "unknow");
    EXPECT_STREQ(ErrorName(12187), "unknow");
    EXPECT_STREQ(ErrorName(0xFFFFFFFFu), "unknow");
}

TEST(ErrorName, TableHoldsFortyEightNames) {
    int named = 0;
    for (uint32_t code = 0; code < 13000; ++code) {
        if (std::string(ErrorName(code)) != "unknow") ++named;
    }
    EXPECT_EQ(named, 48);
}
