// The worker's questions to the web server, through whole updates: what it
// sends, how each reply ends the update, and the error report after a
// failure.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "error_report_test_support.h"
#include "update/update_result.h"
#include "update_test_support.h"
#include "util/file_util.h"

namespace {

const char kWeb[] = "web:8080";
const char kMeetPath[] = "/servlet/getClientAccKey";
const char kVersionPath[] = "/servlet/QueryClientVer";

class ServerQuery : public UpdateWorkerFixture {
protected:
    void SetUp() override {
        UpdateWorkerFixture::SetUp();
        network_.AddServer(kWeb);
        WriteClient(3, 2);
        Publish(L"2.0.0.0");
    }
    void SetReplies(const std::wstring& meetReply, const std::string& versionReply) {
        network_.PutFile(kWeb, kMeetPath, WideToAnsi(meetReply));
        network_.PutFile(kWeb, kVersionPath, versionReply);
    }
    std::vector<FakeRequest> WebRequests() { return network_.RequestsTo(kWeb); }
};

TEST_F(ServerQuery, AsksForTheDomainThenForTheVersion) {
    SetReplies(EncodeCmdLine(L"qkmt:", L"-DOMAIN=77\n-OTHER=1\n"), "-SPVER=pc-2.0.0.0\n-UPURL=mirror1;mirror2\n");
    SetUpdaterParameters(L"-WEBSVR=web:8080\n-MEET=8801\n");

    ASSERT_EQ(Run(), URC_NO_ERR);

    const std::vector<FakeRequest> requests = WebRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].path, kMeetPath);
    EXPECT_EQ(DecodedParameters(requests[0].body), L"qkmt:|-MEET=8801\n-PRODUCT=win32_net\n-WEBSVR=web:8080\n");
    EXPECT_EQ(requests[1].path, kVersionPath);
    EXPECT_EQ(requests[1].body, "-DOMAIN=77\n-MEET=8801\n-PRODUCT=win32_net\n-WEBSVR=web:8080\n");
    // The replies are read and gone; the main program gets the domain.
    EXPECT_FALSE(app_.Exists(L"UpdateVer\\meetinfo"));
    EXPECT_FALSE(app_.Exists(L"UpdateVer\\GetClientVerRsp"));
    EXPECT_EQ(DecodedParameters(app_.Read(L"meetinfo")),
              L"qkmt:|-DOMAIN=77\n-MEET=8801\n-PRODUCT=win32_net\n-WEBSVR=web:8080\n");
    EXPECT_EQ(app_.Read(ClientFileName(1)), source_.Read(ClientFileName(1)));
    EXPECT_TRUE(network_.RequestsTo("mirror3").empty());
    ExpectPercentBands(handle_->Percents(), {0, 5, 7, 13, 90});
}

TEST_F(ServerQuery, AReplyLongerThanItsBoundIsAFailedDownload) {
    // A sound command string, but more than 64 KiB of it.
    SetReplies(EncodeCmdLine(L"qkmt:", L"-DOMAIN=77\n-PAD=" + std::wstring(70000, L'p') + L"\n"),
               "-SPVER=pc-2.0.0.0\n-UPURL=mirror1\n");
    SetUpdaterParameters(L"-WEBSVR=web:8080\n-MEET=8801\n");
    EXPECT_EQ(Run(), URC_DOWNLOAD_ERR);
    ASSERT_EQ(WebRequests().size(), 1u);
    EXPECT_FALSE(app_.Exists(L"UpdateVer\\meetinfo"));
    EXPECT_LE(GetFileSizeByName(app_.Path(L"UpdateVer\\meetinfo.tmp")),
              static_cast<uint32_t>(CUpdateThread::kReplyLimitBytes));
}

TEST_F(ServerQuery, BothValuesGivenSendNoQuery) {
    SetReplies(L"erro:2 must not be asked", "-ERR=must not be asked\n");
    SetUpdaterParameters(L"-WEBSVR=web:8080\n-SPVER=2.0.0.0\n-UPURL=mirror2\n");
    ASSERT_EQ(Run(), URC_NO_ERR);
    EXPECT_TRUE(WebRequests().empty());
}

TEST_F(ServerQuery, OneValueGivenTakesBothFromTheReply) {
    SetReplies(EncodeCmdLine(L"qkmt:", L"-DOMAIN=5"), "-SPVER=pc-2.0.0.0;x\n-UPURL=mirror3\n");
    SetUpdaterParameters(L"-WEBSVR=web:8080\n-SPVER=pc-9.0.0.0\n");
    ASSERT_EQ(Run(), URC_NO_ERR);
    EXPECT_EQ(WebRequests().size(), 2u);
    EXPECT_FALSE(network_.RequestsTo("mirror3").empty());
    EXPECT_TRUE(network_.RequestsTo("mirror1").empty());
    EXPECT_EQ(app_.Read(ClientFileName(0)), source_.Read(ClientFileName(0)));
}

TEST_F(ServerQuery, RepliesGiveTheirCodes) {
    struct Case {
        std::wstring meetReply;
        std::string versionReply;
        int result;
        std::wstring errorText;
        size_t webRequests;
    };
    const std::wstring domain = EncodeCmdLine(L"qkmt:", L"-DOMAIN=77\n");
    const std::vector<Case> cases = {
        {L"erro:2 meeting over", "", URC_SVR_MEET_STOPPED, L"meeting over", 1},
        {L"erro:meeting over", "", URC_SVR_ERR, L"meeting over", 1},
        {L"ERRO:5 x", "", URC_SVR_ERR, L"x", 1},
        {EncodeCmdLine(L"qkmt:", L"-MEET=1\n"), "", URC_SVR_ERR, L"", 1},
        {L"qkmt:****", "", URC_SVR_ERR, L"", 1},
        {L"", "", URC_SVR_ERR, L"", 1},
        {domain, "-ERR=no such client\n-SPVER=pc-2.0.0.0\n-UPURL=mirror1\n", URC_SVR_ERR, L"no such client", 2},
        {domain, "-UPURL=mirror1\n", URC_MEETINFO_ERR, L"", 2},
        {domain, "-SPVER=pc-2.0.0.0\n", URC_MEETINFO_ERR, L"", 2},
        {domain, "-SPVER=pc-2.0.0.0\n-UPURL=\n", URC_MEETINFO_ERR, L"", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.meetReply) + " / " + c.versionReply);
        const size_t before = WebRequests().size();
        SetReplies(c.meetReply, c.versionReply);
        SetUpdaterParameters(L"-WEBSVR=web:8080\n-MEET=3\n");
        EXPECT_EQ(Run(), c.result);
        EXPECT_EQ(handle_->ErrorText(), c.errorText);
        EXPECT_EQ(WebRequests().size() - before, c.webRequests);
        EXPECT_TRUE(environment_->Runs().empty());
        EXPECT_FALSE(app_.Exists(L"UpdateInfo.ini"));
        EXPECT_FALSE(app_.Exists(L"UpdateVer\\meetinfo"));
    }
    EXPECT_TRUE(network_.RequestsTo("mirror1").empty());
}

TEST_F(ServerQuery, NoWebServerIsAParameterError) {
    SetUpdaterParameters(L"-SPVER=2.0.0.0\n-MEET=3\n");
    EXPECT_EQ(Run(), URC_PARAM_ERR);
    EXPECT_TRUE(network_.Requests().empty());
}

TEST_F(ServerQuery, FailureUploadsTheErrorReportButAnEndedMeetingDoesNot) {
    ErrorReportScene log;
    ASSERT_TRUE(log.opened());
    network_.PutFile("loghost:8080", "/logsvr/reporterr/", "ok");

    SetReplies(L"erro:7 server busy", "");
    SetUpdaterParameters(L"-WEBSVR=web:8080\n-MEET=8801;x\n-LOGCFG=a;loghost:12005:8080\n");
    EXPECT_EQ(Run(), URC_SVR_ERR);
    std::vector<FakeRequest> reports = network_.RequestsTo("loghost:8080");
    ASSERT_EQ(reports.size(), 1u);
    const std::string report = Inflated(reports[0].body);
    EXPECT_NE(report.find("module:update;conferenceID:8801;"), std::string::npos) << report;
    EXPECT_NE(report.find("MeetingInfo(meetid:8801), erro:7 server busy"), std::string::npos) << report;
    EXPECT_NE(report.find("update failed! (code:7(URC_SVR_ERR))"), std::string::npos) << report;

    SetReplies(L"erro:2 meeting over", "");
    EXPECT_EQ(Run(), URC_SVR_MEET_STOPPED);
    EXPECT_EQ(network_.RequestsTo("loghost:8080").size(), 1u);
}

}  // namespace
