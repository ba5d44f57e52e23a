#include "util/named_mutex.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "util/debug_output.h"

namespace {

// Whether another thread can take the mutex now; it lets go again at once.
bool FreeForAnotherThread(NamedMutex& mutex) {
    bool taken = false;
    std::thread other([&] {
        taken = mutex.TryLock();
        if (taken) mutex.Unlock();
    });
    other.join();
    return taken;
}

}  // namespace

TEST(NamedMutex, ObjectsOfOneNameExcludeEachOthersThreads) {
    const std::wstring name = L"ZMTestMutex-" + std::to_wstring(CurrentProcessId());
    NamedMutex first(name);
    NamedMutex second(name);
    NamedMutex unrelated(name + L"-other");
    ASSERT_TRUE(first.IsValid() && second.IsValid());
    ASSERT_TRUE(first.Lock());
    EXPECT_FALSE(FreeForAnotherThread(second));
    EXPECT_FALSE(FreeForAnotherThread(first));
    EXPECT_TRUE(FreeForAnotherThread(unrelated));
    first.Unlock();
    EXPECT_TRUE(FreeForAnotherThread(second));
}

TEST(NamedMutex, OwnerMayLockAgainAndUnlocksAsOften) {
    const std::wstring name = L"ZMTestRecursive-" + std::to_wstring(CurrentProcessId());
    NamedMutex mutex(name);
    NamedMutex observer(name);
    {
        NamedMutexLock outer(mutex);
        ASSERT_TRUE(outer.owned());
        {
            NamedMutexLock inner(mutex);
            EXPECT_TRUE(inner.owned());
        }
        EXPECT_FALSE(FreeForAnotherThread(observer));
    }
    EXPECT_TRUE(FreeForAnotherThread(observer));
}
