#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "captured_trace_log.h"
#include "diag/trace_log.h"
#include "trace_test_support.h"

namespace {

std::string ThreadName(uint32_t id) {
    std::ifstream comm("/proc/self/task/" + std::to_string(id) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

}  // namespace

TEST(TraceWriterThreadId, IsTheThreadThatNamesItselfTheWriter) {
    CapturedTraceLog log;
    ASSERT_TRUE(log.opened());
    ASSERT_TRUE(WaitUntil([] { return TraceWriterThreadId() != 0; }));
    const uint32_t writer = TraceWriterThreadId();
    EXPECT_TRUE(WaitUntil([writer] { return ThreadName(writer) == "TraceLogWriter"; })) << ThreadName(writer);
}
