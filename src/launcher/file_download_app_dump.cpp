#include "launcher/file_download_app_dump.h"

#include <vector>

#include "diag/trace_log.h"
#include "manifest/ini_profile.h"
#include "util/code_page.h"
#include "util/path_util.h"
#include "util/system_util.h"
#include "util/time_util.h"

std::wstring DumpFilePathOf(const std::wstring& appDir) { return appDir + L"log\\FileDownload.dmp"; }

SDumpCommentValues CollectDumpCommentValues(const std::wstring& appDir, const std::wstring& exePath,
                                            bool withLogTail) {
    SDumpCommentValues values;
    SplitModulePath(exePath, nullptr, &values.module);
    values.meetVer = ReadProfileString(L"VER", L"Ver", L"0.0.0", 32, appDir + L"UpdateInfo.ini");
    GetFileVersionText(exePath, values.exeVer);
    values.dumpTime = NowText();
    values.pcid = ReadProfileString(L"CFG", L"UsrID", L"", 64, appDir + L"UserCfg.ini");
    values.exePath = exePath;
    if (withLogTail) {
        std::vector<char> tail(kDumpLogTailBytes);
        const int read = ReadLogTail(tail.data(), kDumpLogTailBytes);
        if (read > 0) values.lastLogData = AnsiToWide(std::string(tail.data(), static_cast<size_t>(read)));
    }
    return values;
}

std::wstring FormatDumpComment(const SDumpCommentValues& values) {
    std::wstring text;
    text += L"Module:" + values.module + L"\n";
    text += L"MeetVer:" + values.meetVer + L"\n";
    text += L"ExeVer:" + values.exeVer + L"\n";
    text += L"DumpTime:" + values.dumpTime + L"\n";
    text += L"PCID:" + values.pcid + L"\n";
    text += L"ExePath:" + values.exePath + L"\n";
    text += L"LastLogData:" + values.lastLogData + L"\n";
    if (text.size() > kDumpCommentLimit) text.resize(kDumpCommentLimit);
    return text;
}
