// The check that an update's published percents are sound, shared by the
// worker's tests and the whole-update tests.
#pragma once

#include <gtest/gtest.h>

#include <vector>

// The percent went only forward, stayed within 0-100 and passed the band
// starts in order.
inline void ExpectPercentBands(const std::vector<int>& percents, const std::vector<int>& bandStarts) {
    ASSERT_FALSE(percents.empty());
    for (size_t i = 1; i < percents.size(); ++i) {
        EXPECT_GE(percents[i], percents[i - 1]) << "the percent went back at report " << i;
    }
    EXPECT_GE(percents.front(), 0);
    EXPECT_LE(percents.back(), 100);
    size_t at = 0;
    for (int start : bandStarts) {
        while (at < percents.size() && percents[at] != start) ++at;
        EXPECT_LT(at, percents.size()) << "band start " << start << " not published";
    }
}
