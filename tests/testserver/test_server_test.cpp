#include "test_server.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "raw_http_client.h"
#include "temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 977) & 0xff);
    return bytes;
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

const char kFile[] = "/7.0/a.bin";
const size_t kFileSize = 300000;

class TestServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = Pattern(kFileSize);
        dir_.Write("root/7.0/a.bin", file_);
        dir_.Write("secret.txt", "outside the root");
        options_.root = (dir_.path() / "root").string();
    }

    void Start() {
        server_ = std::make_unique<TestServer>(options_);
        std::string error;
        port_ = server_->Start(error);
        ASSERT_GT(port_, 0) << error;
    }

    std::unique_ptr<httplib::Client> Client() const {
        auto client = std::make_unique<httplib::Client>("127.0.0.1", port_);
        client->set_connection_timeout(2);
        client->set_read_timeout(20);
        return client;
    }

    httplib::Result Get(const std::string& path, const std::string& range = "") const {
        httplib::Headers headers;
        if (!range.empty()) headers.emplace("Range", range);
        return Client()->Get(path.c_str(), headers);
    }

    int Control(const std::string& query, const std::string& body = "") const {
        auto result = Client()->Post(("/__control?" + query).c_str(), body, "text/plain");
        return result ? result->status : 0;
    }

    void SetFault(const std::string& path, const std::string& text) {
        FaultPlan fault;
        std::string error;
        ASSERT_TRUE(ParseFaultPlan(text, fault, error)) << error;
        server_->SetFault(path, fault);
    }

    ScopedTempDir dir_;
    ServerOptions options_;
    std::string file_;
    std::unique_ptr<TestServer> server_;
    int port_ = 0;
};

TEST_F(TestServerTest, ServesTheWholeFileWithItsLength) {
    Start();
    auto result = Get(kFile);
    ASSERT_TRUE(result);
    EXPECT_EQ(200, result->status);
    EXPECT_EQ(file_, result->body);
    EXPECT_EQ("300000", result->get_header_value("Content-Length"));
    EXPECT_EQ("bytes", result->get_header_value("Accept-Ranges"));
    EXPECT_FALSE(result->has_header("Content-Range"));
}

TEST_F(TestServerTest, AnswersClosedAndOpenRangesWith206) {
    Start();
    auto closed = Get(kFile, "bytes=100-199");
    ASSERT_TRUE(closed);
    EXPECT_EQ(206, closed->status);
    EXPECT_EQ("bytes 100-199/300000", closed->get_header_value("Content-Range"));
    EXPECT_EQ(file_.substr(100, 100), closed->body);

    auto open = Get(kFile, "bytes=299000-");
    ASSERT_TRUE(open);
    EXPECT_EQ(206, open->status);
    EXPECT_EQ("bytes 299000-299999/300000", open->get_header_value("Content-Range"));
    EXPECT_EQ(file_.substr(299000), open->body);
}

TEST_F(TestServerTest, AnswersRangesPastTheEndWith416AndUnknownPathsWith404) {
    Start();
    auto past = Get(kFile, "bytes=300000-");
    ASSERT_TRUE(past);
    EXPECT_EQ(416, past->status);
    EXPECT_EQ("bytes */300000", past->get_header_value("Content-Range"));
    EXPECT_EQ(404, Get("/7.0/none.bin")->status);
    EXPECT_EQ(404, Get("/7.0/../../secret.txt")->status);
}

TEST_F(TestServerTest, KeepsTheConnectionAliveBetweenRequests) {
    Start();
    auto client = Client();
    client->set_keep_alive(true);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(206, client->Get(kFile, {{"Range", "bytes=0-9"}})->status);
    ASSERT_EQ(200, Get(kFile)->status);
    auto records = server_->Requests();
    ASSERT_EQ(4u, records.size());
    EXPECT_EQ(records[0].clientPort, records[1].clientPort);
    EXPECT_EQ(records[0].clientPort, records[2].clientPort);
    EXPECT_NE(records[0].clientPort, records[3].clientPort);
}

TEST_F(TestServerTest, SharesTheRateLimitBetweenConnections) {
    options_.rate = 100000;
    dir_.Write("root/b.bin", Pattern(200000));
    Start();
    Clock::time_point start = Clock::now();
    size_t sizes[2] = {0, 0};
    std::thread second([&] { sizes[1] = Get("/b.bin")->body.size(); });
    sizes[0] = Get("/b.bin")->body.size();
    second.join();
    double seconds = SecondsSince(start);
    EXPECT_EQ(200000u, sizes[0]);
    EXPECT_EQ(200000u, sizes[1]);
    // 400 KB at 100 KB/s, less the small bucket the server starts with.
    EXPECT_GE(seconds, 3.0);
    EXPECT_LE(seconds, 15.0);
}

TEST_F(TestServerTest, DelaysEachAnswer) {
    options_.delayMs = 400;
    Start();
    Clock::time_point start = Clock::now();
    ASSERT_EQ(206, Get(kFile, "bytes=0-0")->status);
    EXPECT_GE(SecondsSince(start), 0.4);
}

TEST_F(TestServerTest, IgnoreRangeAnswersTheWholeFile) {
    Start();
    SetFault(kFile, "ignore-range");
    auto result = Get(kFile, "bytes=100-199");
    EXPECT_EQ(200, result->status);
    EXPECT_FALSE(result->has_header("Content-Range"));
    EXPECT_EQ(file_, result->body);
}

TEST_F(TestServerTest, RangeShiftServesAnotherRange) {
    Start();
    SetFault(kFile, "range-shift=10");
    auto result = Get(kFile, "bytes=100-199");
    EXPECT_EQ(206, result->status);
    EXPECT_EQ("bytes 110-209/300000", result->get_header_value("Content-Range"));
    EXPECT_EQ(file_.substr(110, 100), result->body);
}

TEST_F(TestServerTest, StatusFaultOfAPathWinsOverTheOneOfAllPathsForItsTimes) {
    Start();
    SetFault("*", "status=503");
    SetFault(kFile, "status=500,times=1");
    EXPECT_EQ(500, Get(kFile)->status);
    EXPECT_EQ(503, Get(kFile)->status);
    server_->ClearFault("*");
    EXPECT_EQ(200, Get(kFile)->status);
}

TEST_F(TestServerTest, CutClosesTheConnectionAfterSoManyBodyBytes) {
    Start();
    SetFault(kFile, "cut=1000");
    RawHttpClient raw(port_);
    ASSERT_TRUE(raw.Send("GET /7.0/a.bin HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    std::string head, body;
    ASSERT_TRUE(SplitHead(raw.ReadFor(milliseconds(10000)), head, body));
    EXPECT_TRUE(raw.ClosedByServer());
    EXPECT_NE(std::string::npos, head.find("Content-Length: 300000"));
    EXPECT_EQ(file_.substr(0, 1000), body);
}

TEST_F(TestServerTest, StallSendsNothingForItsTime) {
    Start();
    SetFault(kFile, "stall=1500");
    RawHttpClient raw(port_);
    ASSERT_TRUE(raw.Send("GET /7.0/a.bin HTTP/1.1\r\nHost: 127.0.0.1\r\nRange: bytes=0-99\r\n\r\n"));
    EXPECT_EQ("", raw.ReadFor(milliseconds(1000)));
    EXPECT_NE(std::string::npos, raw.ReadFor(milliseconds(5000), 12).find("206"));
}

TEST_F(TestServerTest, StallBodySendsOnlyTheHeadForItsTime) {
    Start();
    SetFault(kFile, "stall-body=1500");
    RawHttpClient raw(port_);
    ASSERT_TRUE(raw.Send("GET /7.0/a.bin HTTP/1.1\r\nHost: 127.0.0.1\r\nRange: bytes=0-99\r\n\r\n"));
    std::string head, body;
    ASSERT_TRUE(SplitHead(raw.ReadFor(milliseconds(1000)), head, body));
    EXPECT_EQ("", body);
    EXPECT_EQ(file_.substr(0, 100), raw.ReadFor(milliseconds(5000), 100));
}

TEST_F(TestServerTest, SizeFaultServesAnotherLength) {
    Start();
    SetFault(kFile, "size=1000");
    auto shorter = Get(kFile);
    EXPECT_EQ("1000", shorter->get_header_value("Content-Length"));
    EXPECT_EQ(file_.substr(0, 1000), shorter->body);

    SetFault(kFile, "size=300010");
    auto longer = Get(kFile, "bytes=299995-");
    EXPECT_EQ("bytes 299995-300009/300010", longer->get_header_value("Content-Range"));
    EXPECT_EQ(file_.substr(299995) + std::string(10, '\0'), longer->body);
}

TEST_F(TestServerTest, CorruptFaultFlipsTheByteAtItsOffset) {
    Start();
    SetFault(kFile, "corrupt=150");
    auto result = Get(kFile, "bytes=100-199");
    std::string expected = file_.substr(100, 100);
    expected[50] = static_cast<char>(expected[50] ^ 0xff);
    EXPECT_EQ(expected, result->body);
}

TEST_F(TestServerTest, RefuseStopsListeningForAWhileOnTheSamePort) {
    Start();
    Clock::time_point start = Clock::now();
    server_->Refuse(1500);
    std::this_thread::sleep_for(milliseconds(300));
    auto refused = Get(kFile, "bytes=0-0");
    ASSERT_FALSE(refused);
    EXPECT_EQ(httplib::Error::Connection, refused.error());
    std::this_thread::sleep_until(start + milliseconds(2500));
    auto back = Get(kFile, "bytes=0-0");
    ASSERT_TRUE(back);
    EXPECT_EQ(206, back->status);
}

TEST_F(TestServerTest, RecordsEachRequestWithItsBody) {
    options_.recordFile = (dir_.path() / "record.txt").string();
    Start();
    const std::string body("\x00\x01\xff\tx", 5);
    ASSERT_EQ(206, Get(kFile, "bytes=0-9")->status);
    ASSERT_EQ(200, Client()->Post(kFile, body, "application/octet-stream")->status);
    ASSERT_EQ(200, Control("delay=0"));
    // The library itself refuses a range that ends before it starts, and the
    // record of such an answer comes just after it.
    ASSERT_EQ(416, Get(kFile, "bytes=9-3")->status);
    Clock::time_point start = Clock::now();
    while (server_->Requests().size() < 3 && SecondsSince(start) < 2) std::this_thread::sleep_for(milliseconds(10));

    auto records = server_->Requests();
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ(1, records[0].seq);
    EXPECT_EQ("GET", records[0].method);
    EXPECT_EQ(kFile, records[0].path);
    EXPECT_EQ("bytes=0-9", records[0].range);
    EXPECT_EQ(206, records[0].status);
    EXPECT_EQ("POST", records[1].method);
    EXPECT_EQ(body, records[1].body);
    EXPECT_EQ("", records[1].range);
    EXPECT_EQ("bytes=9-3", records[2].range);
    EXPECT_EQ(416, records[2].status);

    std::string lines;
    for (const RequestRecord& record : records) lines += FormatRecord(record) + "\n";
    EXPECT_EQ(lines, Get("/__requests")->body);
    EXPECT_EQ(lines, ReadFileBytes(options_.recordFile));
    ASSERT_EQ(200, Control("clear-requests=1"));
    EXPECT_TRUE(server_->Requests().empty());
}

TEST_F(TestServerTest, AnswersTheQueriesWithTheRepliesSet) {
    Start();
    EXPECT_EQ(404, Client()->Post("/servlet/getClientAccKey", "x", "text/plain")->status);
    ASSERT_EQ(200, Control("reply=getClientAccKey", "qkmt:LURPTUFJTj01Cg=="));
    ASSERT_EQ(200, Control("reply=QueryClientVer&status=500", "-ERR=server busy\n"));

    auto info = Client()->Post("/servlet/getClientAccKey", "qkmt:LU1FRVQ9Nwo=", "text/plain");
    EXPECT_EQ(200, info->status);
    EXPECT_EQ("qkmt:LURPTUFJTj01Cg==", info->body);
    for (const char* path : {"/servlet/QueryClientVer", "/web/servlet/QueryClientVer"}) {
        auto version = Client()->Post(path, "-DOMAIN=5\n", "text/plain");
        EXPECT_EQ(500, version->status) << path;
        EXPECT_EQ("-ERR=server busy\n", version->body) << path;
    }
    auto records = server_->Requests();
    ASSERT_EQ(4u, records.size());
    EXPECT_EQ("qkmt:LU1FRVQ9Nwo=", records[1].body);
    EXPECT_EQ("-DOMAIN=5\n", records[3].body);
}

TEST_F(TestServerTest, StoresEachReportInflated) {
    options_.reportDir = (dir_.path() / "reports").string();
    Start();
    const std::string text = "--------------------\nversion:7.0.0.1;client:u1;module:update;\nERR line\n";
    std::string packed(compressBound(text.size()), '\0');
    uLongf packedSize = packed.size();
    ASSERT_EQ(Z_OK, compress2(reinterpret_cast<Bytef*>(&packed[0]), &packedSize,
                              reinterpret_cast<const Bytef*>(text.data()), text.size(), 6));
    packed.resize(packedSize);

    EXPECT_EQ(200, Client()->Post("/logsvr/reporterr/", packed, "application/octet-stream")->status);
    EXPECT_EQ(text, ReadFileBytes(dir_.path() / "reports" / "report_0001.txt"));
    EXPECT_EQ(400, Client()->Post("/logsvr/reporterr/", "plain text", "application/octet-stream")->status);
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "reports" / "report_0002.txt"));
    EXPECT_EQ(packed, server_->Requests().at(0).body);
}

TEST_F(TestServerTest, ControlAppliesFaultsAndRefusesBadRequestsWhole) {
    Start();
    EXPECT_EQ(400, Control("fault=/7.0/a.bin&rate=fast", "cut=10"));
    EXPECT_EQ(400, Control("fault=/7.0/a.bin", "cut=ten"));
    EXPECT_EQ(400, Control("bogus=1"));
    EXPECT_EQ(file_, Get(kFile)->body);
    ASSERT_EQ(200, Control("fault=/7.0/a.bin", "status=404"));
    EXPECT_EQ(404, Get(kFile)->status);
    ASSERT_EQ(200, Control("fault=/7.0/a.bin"));
    EXPECT_EQ(200, Get(kFile)->status);
}

TEST_F(TestServerTest, ShutdownRequestEndsTheRun) {
    Start();
    ASSERT_EQ(200, Client()->Post("/__shutdown", "", "text/plain")->status);
    EXPECT_EQ("shutdown", server_->Wait());
    EXPECT_FALSE(Get(kFile));
}

TEST_F(TestServerTest, IdleServerEndsByItself) {
    options_.idleTimeoutSec = 1;
    Start();
    Clock::time_point start = Clock::now();
    EXPECT_EQ("idle", server_->Wait());
    EXPECT_LT(SecondsSince(start), 5.0);
}

}  // namespace
