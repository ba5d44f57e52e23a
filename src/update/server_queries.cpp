// The update worker's questions to the web server: the meeting's domain, then
// the client version and the file servers for it.
#include "update/server_reply.h"
#include "update/update_result.h"
#include "update/update_thread.h"
#include "util/code_page.h"
#include "util/file_util.h"
#include "util/text_util.h"
#include "vocabulary/cmd_param_deal.h"
#include "vocabulary/command_string.h"

namespace {

const int kMaxTransfers = 5;

// Points the download manager at the web server of "-WEBSVR".
int UseWebServer(CMutilTransfer& downloader) {
    std::wstring server;
    CmdLineParams().Get(L"-WEBSVR", server);
    if (server.empty()) {
        DownLogErr("no WEBSVR param!");
        return URC_PARAM_ERR;
    }
    if (!downloader.SetSverInfo(WideToAnsi(server).c_str())) {
        DownLogErr("SetSverInfo failed!");
        return URC_PARAM_ERR;
    }
    downloader.SetMaxTransfers(kMaxTransfers);
    return URC_NO_ERR;
}

}  // namespace

std::wstring CUpdateThread::ParameterCommandString() const {
    const CCmdLineAnalyse& params = CmdLineParams();
    return EncodeCmdLine(params.GetPrefix(), params.Serialize(L'\n', L'='));
}

CUpdateThread::ReplyFetch CUpdateThread::FetchReply(const std::wstring& replyName, const std::wstring& serverPath,
                                                    const std::string& body, std::wstring& reply) {
    SFileTransItem request;
    request.name = replyName;
    request.srcPath = serverPath;
    request.requestBody = body;
    if (!DownloadItems(FingerItemList{&request}, updateVerDir_, Fetch::kServerReply)) return kReplyNotDownloaded;
    const std::wstring path = updateVerDir_ + replyName;
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) return kReplyUnreadable;
    DeleteFileRetry(path, false);
    reply = AnsiToWide(bytes);
    return kReplyRead;
}

int CUpdateThread::QueryClientVersion() {
    CCmdLineAnalyse& params = CmdLineParams();
    std::wstring spver;
    std::wstring upurl;
    params.Get(L"-SPVER", spver);
    params.Get(L"-UPURL", upurl);
    if (spver.empty() || upurl.empty()) {
        std::wstring domain;
        int code = QueryMeetingInfo(domain);
        if (code != URC_NO_ERR) return code;
        params.Set(L"-DOMAIN", domain);
        code = QueryVersionInfo(spver, upurl);
        if (code != URC_NO_ERR) return code;
    }
    destVersion_ = MainPartOf(spver);
    updateUrls_ = upurl;
    DownLogInf("ClientVerInfo, dstVer:%s, urls:%s", WideToAnsi(destVersion_).c_str(), WideToAnsi(updateUrls_).c_str());
    return URC_NO_ERR;
}

int CUpdateThread::QueryMeetingInfo(std::wstring& domain) {
    const int code = UseWebServer(*downloader_);
    if (code != URC_NO_ERR) return code;
    const std::string body = WideToAnsi(ParameterCommandString());
    DownLogDbg("Get meettinginfo param: %s", body.c_str());
    std::wstring reply;
    switch (FetchReply(L"meetinfo", L"/servlet/getClientAccKey", body, reply)) {
        case kReplyNotDownloaded:
            DownLogErr("down MEETINFO file failed!");
            return URC_DOWNLOAD_ERR;
        case kReplyUnreadable:
            DownLogErr("read meetInfo data failed! (file:%s)", WideToAnsi(updateVerDir_ + L"meetinfo").c_str());
            return URC_DOWNLOAD_ERR;
        case kReplyRead:
            break;
    }
    const std::string replyText = WideToAnsi(reply);
    int errorNumber = 0;
    std::wstring message;
    if (ParseMeetingError(reply, errorNumber, message)) {
        const int meetingId = CmdLineParams().GetInt(L"-MEET");
        int result = URC_SVR_ERR;
        if (errorNumber == kMeetingEndedError) {
            result = URC_SVR_MEET_STOPPED;
            DownLogInf("MeetingInfo(meetid:%d), %s", meetingId, replyText.c_str());
        } else {
            DownLogErr("MeetingInfo(meetid:%d), %s", meetingId, replyText.c_str());
        }
        SetErrorText(message);
        return result;
    }
    DownLogDbg("MeetingInfo: %s", replyText.c_str());
    domain = MeetingReplyDomain(reply);
    if (domain.empty()) {
        DownLogWar("No domainID in MeetingInfo!");
        return URC_SVR_ERR;
    }
    return URC_NO_ERR;
}

int CUpdateThread::QueryVersionInfo(std::wstring& spver, std::wstring& upurl) {
    const int code = UseWebServer(*downloader_);
    if (code != URC_NO_ERR) return code;
    const std::string body = WideToAnsi(CmdLineParams().Serialize(L'\n', L'='));
    DownLogDbg("Get ClientVer param: %s", body.c_str());
    std::wstring reply;
    switch (FetchReply(L"GetClientVerRsp", L"servlet/QueryClientVer", body, reply)) {
        case kReplyNotDownloaded:
            DownLogErr("Get ClientVer file failed!");
            return URC_DOWNLOAD_ERR;
        case kReplyUnreadable:
            DownLogErr("read ClientVer data failed! (file:%s)", WideToAnsi(updateVerDir_ + L"GetClientVerRsp").c_str());
            return URC_DOWNLOAD_ERR;
        case kReplyRead:
            break;
    }
    const std::string replyText = WideToAnsi(reply);
    CmdParamDeal values;
    ParseVersionReply(reply, values);
    std::wstring error;
    values.Get(L"-ERR", error);
    if (!error.empty()) {
        DownLogErr("get ClientVerInfo failed! (%s)", replyText.c_str());
        SetErrorText(error);
        return URC_SVR_ERR;
    }
    DownLogDbg("ClientVerInfo: %s", replyText.c_str());
    spver.clear();
    upurl.clear();
    values.Get(L"-SPVER", spver);
    values.Get(L"-UPURL", upurl);
    if (spver.empty() || upurl.empty()) {
        DownLogErr("get ClientVerInfo failed! (%s)", replyText.c_str());
        return URC_MEETINFO_ERR;
    }
    return URC_NO_ERR;
}
