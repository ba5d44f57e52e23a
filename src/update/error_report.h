// The error report of a failed update: a short header that names the
// installation, its machine, the meeting and the module, followed by the
// tail of the error log, compressed with zlib for the log server's
// "/logsvr/reporterr". The update worker finds the server with
// ReportServerFromLogCfg, builds the report with BuildErrorReport and posts
// MakeErrorReportItem's entry through its download manager.
//
// Threading: the update worker's thread; nothing here keeps state.
#pragma once

#include <memory>
#include <string>

#include "manifest/finger_item.h"
#include "vocabulary/cmd_param_deal.h"

// The log server of reports whose "-LOGCFG" names none; its port field is
// absent, so such reports go to port 80.
extern const char kDefaultLogServer[];
// The most bytes of the error log's end that a report carries.
constexpr int kErrorReportTailBytes = 20480;

// Sets server to host + ":" + port + "/logsvr/reporterr" for the log server
// address of "-LOGCFG" in params: its ';'-separated field 1, whose
// ':'-separated field 0 is the host and field 2 the port (80 when missing).
// A missing "-LOGCFG" logs "no LOGCFG param!"; a missing address logs
// "LOGCFG param err!" and takes kDefaultLogServer. Returns false, server
// empty, after "LOGSvr ip param err!", when the host is empty.
bool ReportServerFromLogCfg(const CmdParamDeal& params, std::string& server);

// The report header in the ANSI code page: the separator line, then
// "version:", "client:" (UsrID of UserCfg.ini in appDir, which a new UUID
// fills when it is empty), "clientIP:", "module:update;", "conferenceID:",
// "termID:;" and the line end. mainDirVersion and meetingId may be empty.
// appDir ends in '\'.
void BuildReportHeader(const std::wstring& mainDirVersion, const std::wstring& meetingId,
                       const std::wstring& appDir, std::string& header);

// Sets report to one zlib stream (level 6) of the header and the last
// kErrorReportTailBytes of the error log, both in UTF-8; the error log file is
// deleted once read. Returns false, report empty, after "Get LastErrLogData
// failed!" when the error log is empty or missing, or after "zip err log
// failed! (err:%d)" with zlib's code when the stream would be no shorter than
// the text (-5) or zlib fails otherwise.
bool BuildErrorReport(const std::wstring& mainDirVersion, const std::wstring& meetingId,
                      const std::wstring& appDir, std::string& report);

// The download entry that posts report: named "reporterr" (the name of the
// server's reply file), no server path, no size, time, compression or check
// value, transfer size the report's length, and the report as request body.
std::unique_ptr<SFileTransItem> MakeErrorReportItem(const std::string& report);
