#include "util/path_separators.h"

#include <gtest/gtest.h>

TEST(PathSeparators, WindowsPathsMapToPosixPathsInUtf8) {
    EXPECT_EQ(ToPosixPath(L"\\tmp\\a/b\\"), "/tmp/a/b/");
    EXPECT_EQ(ToPosixPath(L"\\tmp\\\u00e4"), "/tmp/\xc3\xa4");
}

TEST(PathSeparators, PosixPathsMapBackToWindowsPaths) {
    EXPECT_EQ(FromPosixPath("/tmp/a/\xc3\xa4"), L"\\tmp\\a\\\u00e4");
}
