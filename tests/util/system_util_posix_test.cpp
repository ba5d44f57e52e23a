#include "util/system_util.h"

#include <gtest/gtest.h>

#include "util/path_util.h"

TEST(SystemUtil, TheNativeBuildHasNoVersionResources) {
    std::wstring text = L"stale";
    EXPECT_FALSE(GetFileVersionText(GetModulePath(), text));
    EXPECT_EQ(text, L"");
}
