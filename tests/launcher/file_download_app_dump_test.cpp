#include "launcher/file_download_app_dump.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "captured_trace_log.h"
#include "diag/trace_log.h"
#include "temp_dir.h"
#include "util/code_page.h"

TEST(FileDownloadAppDump, OneFixedFileInTheLogFolder) {
    EXPECT_EQ(DumpFilePathOf(L"C:\\Meeting\\"), L"C:\\Meeting\\log\\FileDownload.dmp");
}

TEST(FileDownloadAppDump, CommentListsEveryLabelInOrder) {
    SDumpCommentValues values;
    values.module = L"ZOLTAMeeting.exe";
    values.meetVer = L"4.3.2.1";
    values.exeVer = L"1.0.0.1";
    values.dumpTime = L"2026-12-08 07:02:38";
    values.pcid = L"pc-1";
    values.exePath = L"C:\\Meeting\\ZOLTAMeeting.exe";
    values.lastLogData = L"[log line]\n";
    EXPECT_EQ(FormatDumpComment(values),
              L"Module:ZOLTAMeeting.exe\nMeetVer:4.3.2.1\nExeVer:1.0.0.1\nDumpTime:2026-12-08 07:02:38\n"
              L"PCID:pc-1\nExePath:C:\\Meeting\\ZOLTAMeeting.exe\nLastLogData:[log line]\n\n");
}

TEST(FileDownloadAppDump, CommentIsCutAtItsLimit) {
    SDumpCommentValues values;
    values.lastLogData = std::wstring(30000, L'x');
    const std::wstring comment = FormatDumpComment(values);
    EXPECT_EQ(comment.size(), kDumpCommentLimit);
    EXPECT_EQ(comment.find(L"LastLogData:xxx"), comment.find(L"LastLogData:"));
    EXPECT_EQ(comment.back(), L'x');

    // A long early value leaves no room for the later labels.
    values.lastLogData = std::wstring(kDumpCommentLimit, L'x');
    values.module = std::wstring(kDumpCommentLimit, L'm');
    const std::wstring cut = FormatDumpComment(values);
    EXPECT_EQ(cut.size(), kDumpCommentLimit);
    EXPECT_EQ(cut.find(L"MeetVer:"), std::wstring::npos);
}

TEST(FileDownloadAppDump, ValuesComeFromTheInstallationAndTheLog) {
    ScopedTempDir dir;
    dir.Write("UpdateInfo.ini", "[VER]\r\nVer=4.3.2.1\r\n");
    dir.Write("UserCfg.ini", "[CFG]\r\nUsrID=0f1e2d3c-pc\r\n");
    CapturedTraceLog log;
    ASSERT_TRUE(log.opened());
    DownLogInf("the last thing before the crash");

    const std::wstring exePath = dir.WinPath() + L"ZOLTAMeeting.exe";
    const SDumpCommentValues values = CollectDumpCommentValues(dir.WinPath(), exePath, true);
    EXPECT_EQ(values.module, L"ZOLTAMeeting.exe");
    EXPECT_EQ(values.meetVer, L"4.3.2.1");
    EXPECT_EQ(values.pcid, L"0f1e2d3c-pc");
    EXPECT_EQ(values.exePath, exePath);
    EXPECT_TRUE(std::regex_match(WideToAnsi(values.dumpTime), std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)")))
        << WideToAnsi(values.dumpTime);
    // The tail reader flushed the queued line first.
    EXPECT_NE(values.lastLogData.find(L"[INF][DownLoad:"), std::wstring::npos);
    const std::wstring last = L"the last thing before the crash\n";
    EXPECT_EQ(values.lastLogData.substr(values.lastLogData.size() - last.size()), last);
}

TEST(FileDownloadAppDump, MissingFilesGiveDefaultsAndTheWriterGetsNoTail) {
    ScopedTempDir dir;
    CapturedTraceLog log;
    ASSERT_TRUE(log.opened());
    DownLogInf("queued");
    const SDumpCommentValues values = CollectDumpCommentValues(dir.WinPath(), dir.WinPath() + L"a.exe", false);
    EXPECT_EQ(values.meetVer, L"0.0.0");
    EXPECT_EQ(values.pcid, L"");
    EXPECT_EQ(values.exeVer, L"");
    EXPECT_EQ(values.lastLogData, L"");
    const std::wstring comment = FormatDumpComment(values);
    EXPECT_EQ(comment.substr(comment.size() - 14), L"\nLastLogData:\n");
}

TEST(FileDownloadAppDump, EmptyLogGivesAnEmptyLastLogData) {
    ScopedTempDir dir;
    CapturedTraceLog log;
    ASSERT_TRUE(log.opened());
    const std::wstring comment = FormatDumpComment(CollectDumpCommentValues(dir.WinPath(), dir.WinPath() + L"a.exe", true));
    EXPECT_EQ(comment.substr(comment.size() - 14), L"\nLastLogData:\n");
}
