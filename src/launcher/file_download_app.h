// The updater application: makes itself the one working updater on the
// machine, takes its command string into the process's parameter table,
// selects the language of its texts, installs the crash-dump handler and
// runs the update. The process has one instance (FileDownloadApp()).
//
// Threading: InitInstance, Run and ExitInstance run on the process's main
// thread; after InitInstance the accessors may be read from any thread.
// Across processes the mutex "QKFileDownloadMut" guards the id of the
// working updater in the shared memory "QKFileDownload".
#pragma once

#include <string>

#include "diag/mini_dump_make_ctrl.h"
#include "launcher/share_mem.h"
#include "launcher/updater_record.h"

class CFileDownloadApp final : public CMiniDumpMakeCtrl {
public:
    static constexpr const char* kShareMemName = "QKFileDownload";
    static constexpr unsigned kShareMemSize = 128;
    // How long a previous updater gets to end by itself before it is
    // terminated, and then to be gone.
    static constexpr unsigned kPreviousUpdaterGraceMs = 100;
    static constexpr unsigned kPreviousUpdaterEndMs = 5000;

    CFileDownloadApp() = default;
    CFileDownloadApp(const CFileDownloadApp&) = delete;
    CFileDownloadApp& operator=(const CFileDownloadApp&) = delete;

    // Returns false, after the log line and any message box, when the
    // updater must not run: an empty command string, a previous updater that
    // could not be stopped, an undecodable command string (message 9), or
    // Winsock failing to start (message 14).
    bool InitInstance(void* instance, const std::wstring& commandString);
    // Runs the update; returns its result code.
    int Run();
    // Unregisters this process as the working updater, unless a newer one
    // has taken over.
    void ExitInstance();
    // Ends the registered previous updater, whatever its file name, and
    // registers this process with its creation time (updater_record.h). A
    // registered id whose process is not the one that registered it is
    // stale and simply replaced. Returns false, after an ERR line, when the
    // shared memory cannot be opened or the previous updater cannot be
    // terminated.
    bool StopOther();

    const std::wstring& AppDir() const { return appDir_; }
    void* Instance() const { return instance_; }
    // The command string the updater was started with.
    const std::wstring& CommandString() const { return commandString_; }

    // appDir + "log\FileDownload.dmp", after an ERR line naming it.
    void GetDumpFilePath(std::wstring& path) override;
    // The labelled lines of FormatDumpComment; without the log's tail on the
    // trace log's writer thread.
    void GetDumpComment(std::wstring& text) override;

private:
    // Waits for the process to end, else terminates it. Returns false only
    // when it cannot be terminated.
    bool EndPreviousUpdater(const SUpdaterRecord& previous);

    ShareMem shareMem_;
    std::wstring appDir_;
    void* instance_ = nullptr;
    std::wstring commandString_;
};

// The process's one updater application.
CFileDownloadApp& FileDownloadApp();
