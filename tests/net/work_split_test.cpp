#include "net/work_split.h"

#include <gtest/gtest.h>

namespace {

SConnPace Pace(double bytesPerMs, int64_t roundTripMs) {
    SConnPace pace;
    pace.bytesPerMs = bytesPerMs;
    pace.roundTripMs = roundTripMs;
    return pace;
}

}  // namespace

TEST(WorkSplit, TakesHalfWhileNoSpeedIsMeasured) {
    EXPECT_EQ(StealPoint(1000000, 3000000, SConnPace(), SConnPace()), 2000000);
}

TEST(WorkSplit, CutsByRateSoThatBothEndTogetherAfterTheThiefsRoundTrip) {
    // 3 MB left, victim 1000 B/ms, thief 2000 B/ms, 100 ms round trip: the
    // victim brings 100 KB meanwhile, the rest goes two to one.
    const int32_t at = StealPoint(0, 3000000, Pace(1000, 50), Pace(2000, 100));
    EXPECT_EQ(at, 3000000 - 1933333);
    const double victimMs = at / 1000.0;
    const double thiefMs = 100 + (3000000 - at) / 2000.0;
    EXPECT_NEAR(victimMs, thiefMs, 1);
}

TEST(WorkSplit, NeverCutsAPieceBelowTheLeastOrBelowOneRoundTripsWorth) {
    EXPECT_EQ(StealPoint(0, 2 * kMinPieceBytes - 2, SConnPace(), SConnPace()), -1);
    EXPECT_GE(StealPoint(0, 2 * kMinPieceBytes, SConnPace(), SConnPace()), 0);
    // 400 KB left, but a 500 ms round trip at 1000 B/ms is worth more than the thief's share.
    EXPECT_EQ(StealPoint(0, 400000, Pace(1000, 10), Pace(1000, 500)), -1);
}

TEST(WorkSplit, FetchesBesideASilentConnectionOrAMuchSlowerOne) {
    const SConnPace slow = Pace(100, 20);
    const SConnPace fast = Pace(1000, 20);
    EXPECT_FALSE(WorthFetchingBeside(-1, SConnPace(), kSilentMinMs - 1, SConnPace()));
    EXPECT_TRUE(WorthFetchingBeside(-1, SConnPace(), kSilentMinMs, SConnPace()));
    // Three round trips count when they are longer than the least silence.
    EXPECT_FALSE(WorthFetchingBeside(-1, Pace(100, 400), 1000, SConnPace()));
    EXPECT_TRUE(WorthFetchingBeside(100000, slow, 0, fast));
    EXPECT_FALSE(WorthFetchingBeside(100000, fast, 0, slow));
    EXPECT_FALSE(WorthFetchingBeside(100000, slow, 0, SConnPace()));
    // Not when the round trip eats the gain.
    EXPECT_FALSE(WorthFetchingBeside(1000, Pace(100, 20), 0, Pace(1000, 200)));
}
