#include "util/system_util.h"

#include <gtest/gtest.h>

#include <cwctype>

#include "temp_dir.h"
#include "util/code_page.h"
#include "util/file_util.h"

TEST(SystemUtil, NewUuidTextHasTheStandardForm) {
    std::wstring uuid = NewUuidText();
    ASSERT_EQ(uuid.size(), 36u) << WideToUtf8(uuid);
    for (size_t i = 0; i < uuid.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            EXPECT_EQ(uuid[i], L'-') << i;
        } else {
            EXPECT_TRUE(std::iswxdigit(uuid[i]) && !std::iswupper(uuid[i])) << i;
        }
    }
}

TEST(SystemUtil, NewUuidTextIsNewEachTime) { EXPECT_NE(NewUuidText(), NewUuidText()); }

TEST(SystemUtil, AMissingFileLeavesErrorTwo) {
    // ERROR_FILE_NOT_FOUND and ENOENT happen to agree.
    ScopedTempDir dir;
    std::string bytes;
    ASSERT_FALSE(ReadWholeFile(dir.WinPath() + L"missing", bytes));
    EXPECT_EQ(LastSystemError(), 2);
}

// The machine's, not the process's: the 32-bit build on the 64-bit test
// machines runs under WOW64 and must see Amd64 as well.
#if defined(__x86_64__) || defined(_WIN32)
TEST(SystemUtil, NativeArchitectureIsTheMachinesEvenForA32BitBuild) {
    EXPECT_EQ(NativeArchitecture(), kArchitectureAmd64);
}
#endif

TEST(SystemUtil, CurrentSystemsAreVistaOrLater) { EXPECT_TRUE(IsVistaOrLater()); }
