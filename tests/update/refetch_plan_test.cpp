#include "update/refetch_plan.h"

#include <gtest/gtest.h>

namespace {

std::vector<SServedRange> From(std::initializer_list<int32_t> servers) {
    std::vector<SServedRange> sources;
    int32_t start = 0;
    for (int32_t serverNo : servers) {
        sources.push_back(SServedRange{serverNo, start, 1000});
        start += 1000;
    }
    return sources;
}

}  // namespace

TEST(RefetchPlan, AskesTheMirrorsThatServedNoneOfTheCopyFirst) {
    CRefetchPlan plan;
    EXPECT_EQ(plan.CopyFailed(From({2, 0, 2})), -1);
    EXPECT_EQ(plan.LastCopyServers(), (std::set<int32_t>{0, 2}));
    EXPECT_EQ(plan.NextServers({2, 1, 3, 0}), (std::vector<int32_t>{1, 3}));
}

TEST(RefetchPlan, ThenEachMirrorWholeAndAloneInOrderOfSpeedOnceEach) {
    CRefetchPlan plan;
    // A copy one mirror served alone proves it damaged: it had its turn.
    EXPECT_EQ(plan.CopyFailed(From({1})), 1);
    EXPECT_EQ(plan.NextServers({1, 0, 2}), (std::vector<int32_t>{0, 2}));
    EXPECT_EQ(plan.CopyFailed(From({0, 2})), -1);
    EXPECT_EQ(plan.NextServers({1, 0, 2}), (std::vector<int32_t>{0}));
    EXPECT_EQ(plan.CopyFailed(From({0})), 0);
    EXPECT_EQ(plan.NextServers({1, 0, 2}), (std::vector<int32_t>{2}));
    EXPECT_EQ(plan.CopyFailed(From({2})), 2);
    EXPECT_TRUE(plan.NextServers({1, 0, 2}).empty());
}

TEST(RefetchPlan, EveryMirrorInTheCopyGoesStraightToWholeCopies) {
    CRefetchPlan plan;
    EXPECT_EQ(plan.CopyFailed(From({0, 1})), -1);
    EXPECT_EQ(plan.NextServers({1, 0}), (std::vector<int32_t>{1}));
    EXPECT_EQ(plan.NextServers({1, 0}), (std::vector<int32_t>{0}));
    EXPECT_TRUE(plan.NextServers({1, 0}).empty());
}
