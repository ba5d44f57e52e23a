#include "util/named_mutex.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "util/debug_output.h"

// A thread that ends while owning the mutex abandons it; the next waiter gets
// it (WAIT_ABANDONED) and must count as its owner.
TEST(NamedMutex, AbandonedMutexCountsAsAcquired) {
    const std::wstring name = L"ZMTestAbandoned-" + std::to_wstring(CurrentProcessId());
    NamedMutex mutex(name);
    bool lockedByLeaver = false;
    std::thread leaver([&] { lockedByLeaver = NamedMutex(name).Lock(); });
    leaver.join();
    ASSERT_TRUE(lockedByLeaver);
    EXPECT_TRUE(mutex.Lock());
    mutex.Unlock();
}
