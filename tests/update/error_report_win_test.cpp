// An error report posted as the update worker posts it: through the download
// manager over real WinHTTP connections, to a loopback log server.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download_test_support.h"
#include "error_report_test_support.h"
#include "loopback_http_server_win.h"
#include "net/win_http_connection.h"
#include "update/error_report.h"
#include "util/host_address.h"
#include "vocabulary/cmd_param_deal.h"

TEST(ErrorReportWin, ReportReachesTheLogServerAsTheHeaderAndTheErrorLogTail) {
    ErrorReportScene scene;
    ASSERT_TRUE(scene.opened());
    // UTF-8 with a byte-order mark; the header carries the id in the ANSI code
    // page, the report in UTF-8.
    const std::wstring userId = L"usr-\u00E9";
    scene.App().Write("UserCfg.ini", "\xEF\xBB\xBF[CFG]\r\nUsrID=" + WideToUtf8(userId) + "\r\n");
    const std::string errorLog = ErrorLines(30000);
    scene.SetErrorLog(errorLog);
    LoopbackHttpServer logServer;
    ASSERT_TRUE(logServer.Start());
    logServer.AddFile("/logsvr/reporterr/", "stored");

    CmdParamDeal params;
    params.Set(L"-LOGCFG", L"meeting;127.0.0.1:12005:" + std::to_wstring(logServer.Port()));
    std::string server;
    ASSERT_TRUE(ReportServerFromLogCfg(params, server));
    std::string report;
    ASSERT_TRUE(BuildErrorReport(L"5.1.0.7", L"4711", scene.AppDir(), report));
    EXPECT_FALSE(scene.ErrorLogExists());
    const auto item = MakeErrorReportItem(report);

    CWinHttpConnectionFactory factory;
    NullLogger logger;
    RecordingTransferCallBack callback;
    CMutilTransfer* manager = CreateMultiDownloadMgr("ErrRpt", &factory);
    ASSERT_NE(manager, nullptr);
    manager->SetCallBack(&logger, &callback);
    EXPECT_TRUE(manager->SetSverInfo(server.c_str()));
    manager->SetMaxTransfers(1);
    manager->SetIdleTimeout(10000);
    EXPECT_TRUE(manager->getFile(0, WideToAnsi(item->srcPath), WideToAnsi(scene.AppDir() + item->name), false,
                                 item->requestBody, {}));
    ASSERT_TRUE(manager->start(0, true));
    ASSERT_TRUE(callback.WaitAllFinished());
    manager->WaitForStop();
    manager->Destroy();
    logServer.Stop();

    EXPECT_TRUE(callback.AllSucceeded());
    EXPECT_EQ(ReadFileBytes(scene.App().path() / "reporterr"), "stored");
    const std::vector<RecordedRequest> requests = logServer.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target, "/logsvr/reporterr/");
    EXPECT_EQ(requests[0].body, report);
    const std::string client = WideToUtf8(AnsiToWide(WideToAnsi(userId)));
    EXPECT_EQ(Inflated(requests[0].body), "--------------------\nversion:5.1.0.7;client:" + client +
                                              ";clientIP:" + FirstIPv4Address() +
                                              ";module:update;conferenceID:4711;termID:;\n" +
                                              errorLog.substr(errorLog.size() - kErrorReportTailBytes));
}
