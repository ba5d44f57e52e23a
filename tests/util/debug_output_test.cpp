#include "util/debug_output.h"

#include <gtest/gtest.h>

#include <thread>

// Linux refuses names of more than 15 bytes; the name is cut to fit instead.
TEST(DebugOutput, ThreadsHaveOwnIdsAndTakeLongNames) {
    uint32_t otherId = 0;
    bool named = false;
    std::thread other([&] {
        otherId = CurrentThreadId();
        named = SetCurrentThreadName("a thread name longer than fifteen bytes");
    });
    other.join();
    EXPECT_NE(otherId, CurrentThreadId());
    EXPECT_TRUE(named);
}
