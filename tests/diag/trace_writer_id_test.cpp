#include <gtest/gtest.h>

#include <string>

#include "captured_trace_log.h"
#include "diag/trace_log.h"
#include "trace_test_support.h"
#include "util/debug_output.h"

TEST(TraceWriterThreadId, NamesTheRunningWriterOnly) {
    EXPECT_EQ(TraceWriterThreadId(), 0u);
    {
        CapturedTraceLog log;
        ASSERT_TRUE(log.opened());
        // The writer records its id as its first step.
        ASSERT_TRUE(WaitUntil([] { return TraceWriterThreadId() != 0; }));
        EXPECT_NE(TraceWriterThreadId(), CurrentThreadId());

        // A tail read restarts the writer; the id follows the new thread.
        DownLogInf("line");
        char tail[64];
        EXPECT_GT(ReadLogTail(tail, sizeof tail), 0);
        ASSERT_TRUE(WaitUntil([] { return TraceWriterThreadId() != 0; }));
        EXPECT_NE(TraceWriterThreadId(), CurrentThreadId());
        log.Text();
        EXPECT_EQ(TraceWriterThreadId(), 0u);
    }
    EXPECT_EQ(TraceWriterThreadId(), 0u);
}
