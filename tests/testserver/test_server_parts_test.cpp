#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>

#include "fault_plan.h"
#include "report_store.h"
#include "request_log.h"
#include "server_options.h"
#include "temp_dir.h"
#include "token_bucket.h"

namespace {

TEST(FaultPlan, ReadsEveryKey) {
    FaultPlan fault;
    std::string error;
    ASSERT_TRUE(ParseFaultPlan(
        "ignore-range,range-shift=-5,status=404,cut=10,stall=20,stall-body=30,size=40,corrupt=50,times=2", fault,
        error))
        << error;
    EXPECT_TRUE(fault.ignoreRange);
    EXPECT_EQ(-5, fault.rangeShift);
    EXPECT_EQ(404, fault.status);
    EXPECT_EQ(10, fault.cutAfter);
    EXPECT_EQ(20, fault.stallMs);
    EXPECT_EQ(30, fault.stallBodyMs);
    EXPECT_EQ(40, fault.size);
    EXPECT_EQ(50, fault.corruptAt);
    EXPECT_EQ(2, fault.times);
}

TEST(FaultPlan, RefusesUnknownKeysAndBadValuesLeavingThePlanAlone) {
    FaultPlan fault;
    fault.status = 500;
    for (const char* text : {"cut=x", "status=99", "times=0", "stall=-1", "slow=1", "cut=1,size="}) {
        std::string error;
        EXPECT_FALSE(ParseFaultPlan(text, fault, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
        EXPECT_EQ(500, fault.status) << text;
    }
}

TEST(RequestRecord, FormatsOneLineAndReadsItBack) {
    RequestRecord record;
    record.seq = 7;
    record.method = "POST";
    record.path = "/a b\t%.bin";
    record.range = "bytes=1-2";
    record.status = 206;
    record.clientPort = 40000;
    record.body = std::string("\x00\n\xff", 3);
    std::string line = FormatRecord(record);
    EXPECT_EQ("7\tPOST\t/a%20b%09%25.bin\tbytes=1-2\t206\t40000\t3\t000aff", line);

    RequestRecord back;
    ASSERT_TRUE(ParseRecord(line, back));
    EXPECT_EQ(record.path, back.path);
    EXPECT_EQ(record.body, back.body);
    EXPECT_EQ(record.clientPort, back.clientPort);
    EXPECT_FALSE(ParseRecord("7\tGET\t/a\t-\t200\t1\t2\t-", back));
}

TEST(TokenBucket, LetsASmallBucketThroughThenPaces) {
    TokenBucket bucket(100000);
    EXPECT_EQ(TokenBucket::Clock::duration::zero(), bucket.Reserve(5000));
    double wait = std::chrono::duration<double>(bucket.Reserve(10000)).count();
    // Whatever time passed between the calls refilled at most the bucket.
    EXPECT_GT(wait, 0.049);
    EXPECT_LT(wait, 0.11);
    EXPECT_EQ(TokenBucket::Clock::duration::zero(), TokenBucket(0).Reserve(1 << 30));
}

TEST(ServerArgs, ReadsOptionsAndReplyFiles) {
    ScopedTempDir dir;
    std::string reply = dir.Write("ver.txt", "-SPVER=pc-4.2.1.3\n-UPURL=a;b\n").string();
    ServerOptions options;
    std::string error;
    ASSERT_TRUE(ParseServerArgs({"--root", "/r", "--port=8080", "--rate", "1000", "--fault", "*:status=500",
                                 "--reply", "QueryClientVer=" + reply, "--reply-status", "QueryClientVer=503",
                                 "--idle-timeout", "0"},
                                options, error))
        << error;
    EXPECT_EQ("/r", options.root);
    EXPECT_EQ(8080, options.port);
    EXPECT_EQ(1000, options.rate);
    EXPECT_EQ(500, options.faults["*"].status);
    EXPECT_EQ("-SPVER=pc-4.2.1.3\n-UPURL=a;b\n", options.replies["QueryClientVer"].body);
    EXPECT_EQ(503, options.replies["QueryClientVer"].status);
    EXPECT_EQ(0, options.idleTimeoutSec);
}

TEST(ServerArgs, RefusesUnknownOptionsAndBadValues) {
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"--colour", "red"}, {"--port", "70000"}, {"--fault", "/a.bin"}, {"--reply", "Other=x"}, {"--root"}}) {
        ServerOptions options;
        std::string error;
        EXPECT_FALSE(ParseServerArgs(args, options, error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
    }
}

TEST(ReportStore, InflatesOnlyOneWholeZlibStream) {
    const std::string text(5000, 'r');
    std::string packed(compressBound(text.size()), '\0');
    uLongf packedSize = packed.size();
    ASSERT_EQ(Z_OK, compress2(reinterpret_cast<Bytef*>(&packed[0]), &packedSize,
                              reinterpret_cast<const Bytef*>(text.data()), text.size(), 6));
    packed.resize(packedSize);
    std::string out;
    ASSERT_TRUE(InflateZlib(packed, out));
    EXPECT_EQ(text, out);
    EXPECT_FALSE(InflateZlib(packed.substr(0, packed.size() - 2), out));
    EXPECT_FALSE(InflateZlib(packed + "x", out));
    EXPECT_FALSE(InflateZlib(packed, out, 100));
}

}  // namespace
