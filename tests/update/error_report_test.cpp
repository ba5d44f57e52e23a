#include "update/error_report.h"

#include <gtest/gtest.h>

#include <string>

#include "error_report_test_support.h"
#include "manifest/ini_profile.h"
#include "util/host_address.h"
#include "vocabulary/cmd_param_deal.h"

namespace {

class ErrorReportTest : public ::testing::Test {
protected:
    std::string Header(const std::wstring& version = L"5.1.0.7", const std::wstring& meeting = L"123456") {
        std::string header;
        BuildReportHeader(version, meeting, scene_.AppDir(), header);
        return header;
    }
    std::wstring StoredUserId() {
        return ReadProfileString(L"CFG", L"UsrID", L"", 64, scene_.AppDir() + L"UserCfg.ini");
    }

    ErrorReportScene scene_;
};

// The server text from "-LOGCFG"; "(none)" when there is none.
std::string ServerFrom(const wchar_t* logCfg) {
    CmdParamDeal params;
    if (logCfg != nullptr) params.Set(L"-LOGCFG", logCfg);
    std::string server = "left over";
    if (!ReportServerFromLogCfg(params, server)) return server.empty() ? "(none)" : "(failed, not emptied)";
    return server;
}

}  // namespace

TEST_F(ErrorReportTest, HeaderListsItsFieldsInOrder) {
    ASSERT_TRUE(scene_.opened());
    scene_.App().Write("UserCfg.ini", "[CFG]\r\nUsrID=usr-1\r\n");
    const std::string address = FirstIPv4Address();
    EXPECT_EQ(Header(), "--------------------\nversion:5.1.0.7;client:usr-1;clientIP:" + address +
                            ";module:update;conferenceID:123456;termID:;\n");
    EXPECT_EQ(Header(L"", L""),
              "--------------------\nversion:;client:usr-1;clientIP:" + address + ";module:update;conferenceID:;termID:;\n");
}

TEST_F(ErrorReportTest, FirstReportCreatesTheUserIdAndLaterOnesReuseIt) {
    scene_.App().Write("UserCfg.ini", "[CFG]\r\nLanguage=en_US\r\n");
    const std::string first = Header();
    const std::wstring id = StoredUserId();
    ASSERT_EQ(id.size(), 36u);
    EXPECT_NE(first.find(";client:" + WideToAnsi(id) + ";"), std::string::npos) << first;
    EXPECT_EQ(ReadProfileString(L"CFG", L"Language", L"", 64, scene_.AppDir() + L"UserCfg.ini"), L"en_US");
    EXPECT_EQ(Header(), first);
    EXPECT_EQ(StoredUserId(), id);
}

TEST_F(ErrorReportTest, ReportIsOneZlibStreamOfTheHeaderAndTheErrorLogTail) {
    ASSERT_TRUE(scene_.opened());
    for (const size_t size : {size_t{300}, size_t{kErrorReportTailBytes}, size_t{50000}}) {
        const std::string log = ErrorLines(size);
        scene_.SetErrorLog(log);
        std::string report;
        ASSERT_TRUE(BuildErrorReport(L"5.1.0.7", L"123456", scene_.AppDir(), report)) << size;
        const std::string tail = log.size() > kErrorReportTailBytes ? log.substr(log.size() - kErrorReportTailBytes) : log;
        EXPECT_EQ(Inflated(report), Header() + tail) << size;
        EXPECT_LT(report.size(), (Header() + tail).size()) << size;
        EXPECT_FALSE(scene_.ErrorLogExists()) << size;
    }
}

TEST_F(ErrorReportTest, EmptyOrMissingErrorLogGivesNoReport) {
    ASSERT_TRUE(scene_.opened());
    std::string report = "left over";
    EXPECT_FALSE(BuildErrorReport(L"5.1.0.7", L"123456", scene_.AppDir(), report));
    EXPECT_TRUE(report.empty());
    EXPECT_NE(scene_.LogLineWith("Get LastErrLogData failed!").find("[ERR][DownLoad:"), std::string::npos);

    scene_.SetErrorLog("");
    report = "left over";
    EXPECT_FALSE(BuildErrorReport(L"5.1.0.7", L"123456", scene_.AppDir(), report));
    EXPECT_TRUE(report.empty());
}

TEST_F(ErrorReportTest, ItemPostsTheReportUnderTheReplyName) {
    const std::string report("\x78\x9C\x01\x02", 4);
    const auto item = MakeErrorReportItem(report);
    EXPECT_EQ(item->kind, kFingerFile);
    EXPECT_EQ(item->name, L"reporterr");
    EXPECT_TRUE(item->srcPath.empty());
    EXPECT_EQ(item->size, -1);
    EXPECT_EQ(item->time, 0);
    EXPECT_EQ(item->transSize, 4);
    EXPECT_EQ(item->zipType, kZipStored);
    EXPECT_EQ(item->checkKind, CHECK_KIND_NONE);
    EXPECT_TRUE(item->checkValue.empty());
    EXPECT_EQ(item->requestBody, report);
}

TEST_F(ErrorReportTest, LogCfgGivesTheHostAndTheThirdFieldAsPort) {
    ASSERT_TRUE(scene_.opened());
    EXPECT_EQ(ServerFrom(L"x;H:12005:8080"), "H:8080/logsvr/reporterr");
    EXPECT_EQ(ServerFrom(L"x;H:12005"), "H:80/logsvr/reporterr");
    EXPECT_EQ(ServerFrom(L"x;log.example.org:12005:;y"), "log.example.org:80/logsvr/reporterr");
    const std::string log = scene_.LogText();
    EXPECT_EQ(log.find("LOGCFG param"), std::string::npos) << log;
}

TEST_F(ErrorReportTest, MissingLogServerAddressTakesTheDefaultAtPort80) {
    ASSERT_TRUE(scene_.opened());
    EXPECT_EQ(ServerFrom(L"x"), "log.meeting.example.com:80/logsvr/reporterr");
    EXPECT_NE(scene_.LogLineWith("LOGCFG param err!").find("[WAR][DownLoad:"), std::string::npos);
    EXPECT_EQ(scene_.LogText().find("no LOGCFG param!"), std::string::npos);

    EXPECT_EQ(ServerFrom(nullptr), "log.meeting.example.com:80/logsvr/reporterr");
    EXPECT_NE(scene_.LogLineWith("no LOGCFG param!").find("[WAR][DownLoad:"), std::string::npos);
    EXPECT_EQ(ServerFrom(L""), "log.meeting.example.com:80/logsvr/reporterr");
}

TEST_F(ErrorReportTest, EmptyLogServerHostGivesNoServer) {
    ASSERT_TRUE(scene_.opened());
    EXPECT_EQ(ServerFrom(L"x;:12005:8080"), "(none)");
    EXPECT_EQ(ServerFrom(L"x;"), "(none)");
    EXPECT_NE(scene_.LogLineWith("LOGSvr ip param err!").find("[ERR][DownLoad:"), std::string::npos);
}
