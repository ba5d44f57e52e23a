#include "util/time_util.h"

#include <gtest/gtest.h>

#include <cstring>

#include "util/code_page.h"

namespace {

// True when text has the pattern's length and a digit wherever the pattern
// has '#'; other pattern characters must match exactly.
bool HasShape(const std::string& text, const std::string& pattern) {
    if (text.size() != pattern.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        bool ok = pattern[i] == '#' ? text[i] >= '0' && text[i] <= '9' : text[i] == pattern[i];
        if (!ok) return false;
    }
    return true;
}

const char kTimeShape[] = "####-##-## ##:##:##";

}  // namespace

TEST(TimeUtil, FileTimeOf1970IsSecondZero) {
    EXPECT_EQ(FileTimeToSeconds(116444736000000000ull), 0);
    EXPECT_EQ(SecondsToFileTime(0), 116444736000000000ull);
}

TEST(TimeUtil, SecondsAndFileTimesRoundTrip) {
    for (int64_t seconds : {int64_t{1}, int64_t{1234567890}, int64_t{4102444800}, int64_t{-86400}}) {
        EXPECT_EQ(FileTimeToSeconds(SecondsToFileTime(seconds)), seconds);
    }
    EXPECT_EQ(SecondsToFileTime(1), 116444736010000000ull);
}

TEST(TimeUtil, NowTextHasTheDateTimeShape) {
    std::string now = WideToUtf8(NowText());
    EXPECT_TRUE(HasShape(now, kTimeShape)) << now;
    EXPECT_GE(now.substr(0, 4), "2024");
}

TEST(TimeUtil, NarrowNowTextIsCutToTheBuffer) {
    char text[32];
    NowTextA(text, sizeof text);
    EXPECT_TRUE(HasShape(text, kTimeShape)) << text;
    char small[5] = {'x', 'x', 'x', 'x', 'x'};
    NowTextA(small, sizeof small);
    EXPECT_EQ(std::strlen(small), 4u);
    EXPECT_EQ(std::string(small), std::string(text, 4));
}

TEST(TimeUtil, TimeTextIsInLocalTime) {
    // 2023-11-14 22:13:20 UTC: every time zone keeps the seconds and puts it
    // on the 14th or the 15th.
    std::string text = WideToUtf8(TimeText(1700000000));
    EXPECT_TRUE(HasShape(text, "2023-11-1# ##:##:20")) << text;
    EXPECT_TRUE(text[9] == '4' || text[9] == '5') << text;
    EXPECT_NE(TimeText(1700000000), TimeText(1700000001));
}

