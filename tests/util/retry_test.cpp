#include "util/retry.h"

#include <gtest/gtest.h>

TEST(Retry, StopsAtTheFirstSuccess) {
    int calls = 0;
    EXPECT_TRUE(RetryUntil(RetryPolicy{5, 0}, [&] { return ++calls == 3; }));
    EXPECT_EQ(calls, 3);
}

TEST(Retry, GivesUpAfterTheLastAttempt) {
    int calls = 0;
    EXPECT_FALSE(RetryUntil(RetryPolicy{4, 0}, [&] { return ++calls == 0; }));
    EXPECT_EQ(calls, 4);
}

