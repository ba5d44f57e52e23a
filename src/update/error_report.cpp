#include "update/error_report.h"

#include <zlib.h>

#include <utility>
#include <vector>

#include "diag/trace_log.h"
#include "manifest/ini_profile.h"
#include "util/code_page.h"
#include "util/host_address.h"
#include "util/system_util.h"

const char kDefaultLogServer[] = "log.meeting.example.com:12005";

namespace {

const wchar_t kLogCfgKey[] = L"-LOGCFG";
const char kReportPath[] = "/logsvr/reporterr";
const char kDefaultPort[] = "80";
const wchar_t kUserCfgName[] = L"UserCfg.ini";
const int kUserIdChars = 64;
const int kReportLevel = 6;

// Sets field to the index-th piece of text split at separator; false when
// text has fewer pieces.
bool FieldOf(const std::string& text, char separator, size_t index, std::string& field) {
    size_t start = 0;
    for (size_t i = 0; i < index; ++i) {
        const size_t end = text.find(separator, start);
        if (end == std::string::npos) return false;
        start = end + 1;
    }
    field = text.substr(start, text.find(separator, start) - start);
    return true;
}

// UsrID of the installation, made and stored on first use.
std::wstring UserId(const std::wstring& appDir) {
    const std::wstring path = appDir + kUserCfgName;
    std::wstring id = ReadProfileString(L"CFG", L"UsrID", L"", kUserIdChars, path);
    if (id.empty()) {
        id = NewUuidText();
        WriteProfileValue(L"CFG", L"UsrID", id.c_str(), path);
    }
    return id;
}

// The bytes in UTF-8; unconverted when the code page cannot convert them, so
// that the report still carries them.
std::string Utf8Of(const char* bytes, size_t length) {
    std::string utf8;
    if (!AnsiToUtf8(bytes, length, utf8)) utf8.assign(bytes, length);
    return utf8;
}

}  // namespace

bool ReportServerFromLogCfg(const CmdParamDeal& params, std::string& server) {
    server.clear();
    std::wstring logCfg;
    if (!params.Get(kLogCfgKey, logCfg)) DownLogWar("no LOGCFG param!");
    std::string address;
    if (logCfg.empty() || !FieldOf(WideToAnsi(logCfg), ';', 1, address)) {
        DownLogWar("LOGCFG param err!");
        address = kDefaultLogServer;
    }
    std::string host;
    std::string port;
    FieldOf(address, ':', 0, host);
    FieldOf(address, ':', 2, port);
    if (host.empty()) {
        DownLogErr("LOGSvr ip param err!");
        return false;
    }
    if (port.empty()) port = kDefaultPort;
    server = host + ":" + port + kReportPath;
    return true;
}

void BuildReportHeader(const std::wstring& mainDirVersion, const std::wstring& meetingId,
                       const std::wstring& appDir, std::string& header) {
    header = "--------------------\n";
    header += "version:" + WideToAnsi(mainDirVersion) + ";";
    header += "client:" + WideToAnsi(UserId(appDir)) + ";";
    header += "clientIP:" + FirstIPv4Address() + ";";
    header += "module:update;";
    header += "conferenceID:" + WideToAnsi(meetingId) + ";";
    header += "termID:;";
    header += "\n";
}

bool BuildErrorReport(const std::wstring& mainDirVersion, const std::wstring& meetingId,
                      const std::wstring& appDir, std::string& report) {
    report.clear();
    std::string header;
    BuildReportHeader(mainDirVersion, meetingId, appDir, header);
    std::vector<char> tail(kErrorReportTailBytes);
    const int tailLength = ReadErrTail(tail.data(), kErrorReportTailBytes, true);
    if (tailLength <= 0) {
        DownLogErr("Get LastErrLogData failed!");
        return false;
    }
    const std::string text =
        Utf8Of(header.data(), header.size()) + Utf8Of(tail.data(), static_cast<size_t>(tailLength));
    // No longer than the text: a report that compression cannot shrink is
    // not worth sending.
    std::string compressed(text.size(), '\0');
    uLongf compressedLength = static_cast<uLongf>(compressed.size());
    const int result = compress2(reinterpret_cast<Bytef*>(&compressed[0]), &compressedLength,
                                 reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()),
                                 kReportLevel);
    if (result != Z_OK) {
        DownLogErr("zip err log failed! (err:%d)", result);
        return false;
    }
    compressed.resize(compressedLength);
    report = std::move(compressed);
    return true;
}

std::unique_ptr<SFileTransItem> MakeErrorReportItem(const std::string& report) {
    auto item = std::make_unique<SFileTransItem>();
    item->name = L"reporterr";
    item->size = -1;
    item->time = 0;
    item->transSize = static_cast<int32_t>(report.size());
    item->zipType = kZipStored;
    item->checkKind = CHECK_KIND_NONE;
    item->requestBody = report;
    return item;
}
