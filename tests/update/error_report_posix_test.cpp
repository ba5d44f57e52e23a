// Here the ANSI code page is UTF-8, so the report carries the error log's
// bytes as they are; a Windows code page would widen random bytes into text
// that zlib can shrink.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "error_report_test_support.h"
#include "update/error_report.h"

// zlib's output may be no longer than its input: a tail that does not shrink
// fails with Z_BUF_ERROR, and the error log is gone all the same.
TEST(ErrorReportPosix, TailThatDoesNotShrinkFailsWithZlibsBufferError) {
    ErrorReportScene scene;
    ASSERT_TRUE(scene.opened());
    std::mt19937 generator(77);
    std::string tail(kErrorReportTailBytes, '\0');
    for (char& c : tail) c = static_cast<char>(generator() & 0xFF);
    scene.SetErrorLog(tail);
    std::string report = "left over";
    EXPECT_FALSE(BuildErrorReport(L"5.1.0.7", L"123456", scene.AppDir(), report));
    EXPECT_TRUE(report.empty());
    EXPECT_FALSE(scene.ErrorLogExists());
    EXPECT_NE(scene.LogLineWith("zip err log failed! (err:-5)").find("[ERR][DownLoad:"), std::string::npos);
}
