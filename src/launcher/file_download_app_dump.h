// What the updater's crash dump says about the installation: the dump file's
// place and the labelled lines of its comment.
#pragma once

#include <string>

// The comment is cut to this many characters.
constexpr size_t kDumpCommentLimit = 24575;
// The end of the trace log that the comment carries.
constexpr int kDumpLogTailBytes = 20480;

struct SDumpCommentValues {
    std::wstring module;       // the executable's file name
    std::wstring meetVer;      // "Ver" of "VER" in UpdateInfo.ini
    std::wstring exeVer;       // the executable's file version
    std::wstring dumpTime;     // local time, "YYYY-MM-DD hh:mm:ss"
    std::wstring pcid;         // "UsrID" of "CFG" in UserCfg.ini
    std::wstring exePath;      // the executable's full path
    std::wstring lastLogData;  // the end of the trace log file
};

// appDir + "log\FileDownload.dmp": one name, so a new crash replaces the old dump.
std::wstring DumpFilePathOf(const std::wstring& appDir);

// Reads the values for the executable at exePath working on appDir. With
// withLogTail false the log is not read and lastLogData stays empty: the
// trace log's writer thread cannot flush the log for itself.
SDumpCommentValues CollectDumpCommentValues(const std::wstring& appDir, const std::wstring& exePath,
                                            bool withLogTail);

// One line per value, each its label ("Module:", "MeetVer:", "ExeVer:",
// "DumpTime:", "PCID:", "ExePath:", "LastLogData:"), the value and '\n', cut
// at kDumpCommentLimit characters.
std::wstring FormatDumpComment(const SDumpCommentValues& values);
