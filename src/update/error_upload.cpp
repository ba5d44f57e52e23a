// The update worker's upload of the error report after a failed update.
#include "update/error_report.h"
#include "update/update_thread.h"
#include "vocabulary/cmd_param_deal.h"

namespace {

const int kReportTransfers = 1;
const int kReportIdleTimeoutMs = 10000;

}  // namespace

void CUpdateThread::ReportError() {
    std::string server;
    if (!ReportServerFromLogCfg(CmdLineParams(), server)) return;
    // The update is over: the manager's servers and limits can serve the report.
    downloader_->SetSverInfo(server.c_str());
    downloader_->SetMaxTransfers(kReportTransfers);
    downloader_->SetIdleTimeout(kReportIdleTimeoutMs);
    std::string report;
    if (!BuildErrorReport(mainDirVersion_, meetingId_, appDir_, report)) return;
    const std::unique_ptr<SFileTransItem> item = MakeErrorReportItem(report);
    // The log server's reply lands in "UpdateVer\reporterr" and is not read.
    DownloadItems(FingerItemList{item.get()}, updateVerDir_, Fetch::kServerReply);
}
