#include <pthread.h>

#include <gtest/gtest.h>

#include <string>

#include "recording_worker.h"

namespace {

std::string CurrentThreadName() {
    char name[16] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    return name;
}

// A worker that notes its thread's name whenever it handles a message.
class NameProbe : public RecordingWorker {
public:
    NameProbe() {
        onMsg = [this](const CMsg& msg) {
            if (msg.GetType() == kRecordMsg) SetThreadName("from-inside");
            name_ = CurrentThreadName();
        };
    }
    // Valid after Sync.
    const std::string& Name() const { return name_; }

private:
    std::string name_;  // worker thread until Sync returns
};

}  // namespace

TEST(MsgThread, SetThreadNameBeforeStartDoesNothing) {
    NameProbe worker;
    worker.SetThreadName("too-early");
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(worker.Sync());
    EXPECT_NE(worker.Name(), "too-early");
}

TEST(MsgThread, SetThreadNameNamesTheWorkerFromAnyThread) {
    NameProbe worker;
    ASSERT_TRUE(worker.Start());
    worker.SetThreadName("from-outside");
    ASSERT_TRUE(worker.Sync());
    EXPECT_EQ(worker.Name(), "from-outside");
    worker.PostMsg(new CVar1Msg<int>(kRecordMsg, 1));  // renames itself and looks at once
    ASSERT_TRUE(worker.Sync());
    EXPECT_EQ(worker.Name(), "from-inside");
}
