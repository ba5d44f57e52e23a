// The update worker: one update from the version query to the start of the
// client's main program, on a thread of its own. It asks the web server which
// version to run, compares the installation with that version's manifest,
// downloads what differs into "UpdateVer\", hands over to a newer updater when
// the updater itself changes, moves the new files into place around the
// manifest's commands, and starts the main program. It reports status texts,
// percentages and the result code through a CUpdateHandle; the result code
// (update_result.h) becomes the updater's exit code.
//
// Threading: construction, SetHandle, Start and Join belong to the owner
// (the dialog's thread). The update runs on the worker's thread; the stage
// operations below are called there, or by the owner while the worker has not
// been started. The CMutilTransferCallBack operations run on the download
// manager's thread and OnDecodeResult on the decode thread, only while the
// worker waits for a transfer run to end: the manager's thread writes the
// received counts and the sources, the decode thread the decoded states (the
// manager's thread those of failed downloads, which are never decoded), and
// the worker reads the task table only after both have ended, so the table
// needs no lock.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "diag/trace_log.h"
#include "manifest/decode_net_file_thread.h"
#include "manifest/finger_file.h"
#include "manifest/qk_update_ini.h"
#include "net/msg_thread.h"
#include "net/mutil_transfer.h"
#include "update/apply_transaction.h"
#include "update/update_environment.h"
#include "update/refetch_plan.h"
#include "update/update_handle.h"

class CUpdateThread : public CMsgThread, public CMutilTransferCallBack, public QKlogger, public DecodeCallBack {
public:
    // The name of the download manager, the prefix of its log lines.
    static constexpr const char* kDownloaderName = "MutiDL";
    // Name of the older updater copy that an update refreshes when it exists.
    static constexpr const wchar_t* kOldUpdaterName = L"VeltranePrepair.exe";
    // The staging folder under the application directory.
    // The most bytes a server may send for a reply and for a manifest: more
    // is a failed download, never a file of whatever the server sends.
    static constexpr int32_t kReplyLimitBytes = 64 * 1024;
    static constexpr int32_t kManifestLimitBytes = 16 * 1024 * 1024;

    // What a transfer run fetches, which decides whether ranges are used and
    // how many bytes a server may send.
    enum class Fetch {
        kServerReply,  // a web or log server's reply: whole, at most kReplyLimitBytes
        kSignature,    // a manifest's signature file: whole, at most kReplyLimitBytes
        kManifest,     // an update-info file: in ranges, at most kManifestLimitBytes
        kReleaseFile,  // a file of the release: in ranges, exactly its transfer size
    };

    // The worker in the given environment, which must outlive the worker.
    // Reads the meeting id and the proxy setting and makes the download
    // manager and the decode thread.
    explicit CUpdateThread(CUpdateEnvironment& environment);
    // Waits for a started update to end, then releases the manager.
    ~CUpdateThread() override;

    // The receiver of the reports; not owned. Set before Start.
    void SetHandle(CUpdateHandle* handle);

    // CMutilTransferCallBack, on the download manager's thread.
    void OnFileProgress(int32_t fileID, int32_t totalSize, int32_t transferred, int32_t userValue) override;
    void OnFileFinished(int32_t fileID, int32_t errorCode, int32_t userValue) override;
    void OnAllFinished(int32_t userValue, bool allSucceeded) override;
    void OnMainServer(const char* serverUrl, int32_t userValue) override;
    void OnFileSources(int32_t fileID, const std::vector<SServedRange>& sources, int32_t userValue) override;
    // DecodeCallBack, on the decode thread.
    void OnDecodeResult(int fileId, int result) override;
    // QKlogger: the download manager's lines go to the trace log.
    void log(int level, const char* module, const char* format, va_list args) override;

    // The stages, each returning a result code (update_result.h) unless said.
    // The file stage: manifest, calculation, self-update check, downloads and
    // the local update. 0 also when there is nothing to do.
    int UpdateFiles();
    // Runs the start command: 0, or URC_START_MEET_ERR when it failed.
    int StartMain();
    // The update and download lists from the new manifest; false when the
    // manifest does not load.
    bool Calculate();
    // Fetches the file entries of items into destination (entry name +
    // ".tmp", then decoded beside it), skipping delete entries and the names
    // listed in "nodownfiles". A release file that fails its check value is
    // fetched again as its CRefetchPlan says. False when a file failed to
    // arrive, or to decode after every mirror had its turn.
    bool DownloadItems(const FingerItemList& items, const std::wstring& destination, Fetch what);

    // Server queries: the dest version and the file servers, from "-SPVER"
    // and "-UPURL" or from the web server.
    int QueryClientVersion();
    int QueryMeetingInfo(std::wstring& domain);
    int QueryVersionInfo(std::wstring& spver, std::wstring& upurl);

    // Trust in the new manifest, fetched into "UpdateVer\" from srcPath:
    // true when one of the release keys verifies the signature file beside
    // it. Otherwise logs why and removes the staged manifest.
    bool VerifyNewManifest(const std::wstring& srcPath, const std::vector<std::string>& releaseKeys);
    // True when the new manifest's version is not below the installed one, or
    // its "AllowDowngrade" is 1. Otherwise logs it and removes the staged
    // manifest.
    bool AcceptsNewVersion();

    // Self-update: true when the updater runs from "UpdateVer\".
    bool IsRunningInTempDir();
    // 0 to go on in this process; URC_UNKNOW_ERR, URC_DOWNLOAD_ERR or
    // URC_START_NEWUPDATE_ERR; or the id of the newer updater now running.
    int CheckSelfUpdate();
    // Starts the updater of "UpdateVer\" with this process's parameters.
    // Returns its process id, URC_UNKNOW_ERR when its file is missing, 0 when
    // it could not be started.
    int RunNewUpdate();
    // Applies the downloaded files, installs the new update-info file and
    // empties "UpdateVer\" (or hands over when the updater must change), as
    // one transaction: a failure rolls every step back, keeps the staged
    // files and returns the failure's code.
    int LocalVerUpdate();

    // Commands of the update-info files. runCmd returns 0 or the command's
    // exit code, or the system error when it could not start.
    int runCmd(const CQKUpdateIni& info, const std::wstring& section, const std::wstring& key, bool mustRun);
    // Applies the entries of the section and of its child sections around
    // their commands; an entry listed twice is applied once. 0,
    // URC_LOCAL_UPDATE_ERR or URC_LOCAL_FILE_COPY_ERR. Only within the apply
    // transaction of LocalVerUpdate.
    int UpdateSection(const SFingerSection& section);
    // 0 or URC_LOCAL_FILE_COPY_ERR. Only within the apply transaction.
    int ApplyItem(const SFingerItem& item);
    // Writes "meetinfo" and runs "StartCmd"; false when that failed.
    bool StartCmd();

    // Uploads the tail of the error log to the log server.
    void ReportError();

    // Percent bands: SetPercentRange publishes the band's low end;
    // PublishPercent the position of percent (0-100) within the band. The
    // bar never moves back: a lower position is published as the last one.
    void SetPercentRange(int low, int high);
    void PublishPercent(int percent);

protected:
    // The whole update, once: queries, files, start, report, result.
    void Run() override;

private:
    // The record of one file of a transfer run.
    struct Task {
        int id = 0;  // index in the list given to DownloadItems; the manager's fileID
        bool useHttpRange = false;
        bool refetchable = false;  // a release file: fetched again when its copy fails its check
        SFileFetch fetch;
        CRefetchPlan plan;
        std::vector<SServedRange> sources;  // the last copy's; the manager's thread only while it runs
        int received = 0;  // the manager's thread only
        // 1 decoded and verified, -1 failed: the decode thread's, or the
        // manager's thread's for a file that failed to download
        int decoded = 0;
        const SFileTransItem* item = nullptr;
        std::wstring tempPath;
    };

    // Binds info to path with its macros and returns its "Ver" of "VER".
    std::wstring LoadUpdateInfo(CQKUpdateIni& info, const std::wstring& path);
    void ReloadMainUpdateInfo();
    void ReloadNewUpdateInfo();
    // Removes the new manifest and its signature file from "UpdateVer\".
    void DiscardNewManifest();
    // The steps of LocalVerUpdate inside its transaction: the sections, the
    // older updater copy, the update-info file.
    int ApplyRelease();
    // "UpdateExe" of the info's main section, or the OEM's default name.
    std::wstring UpdateProgramName(const CQKUpdateIni& info) const;
    enum ReplyFetch { kReplyRead, kReplyNotDownloaded, kReplyUnreadable };
    // Posts body to serverPath of the current server; the reply lands in
    // "UpdateVer\" + replyName, is read into reply and deleted.
    ReplyFetch FetchReply(const std::wstring& replyName, const std::wstring& serverPath, const std::string& body,
                          std::wstring& reply);
    // The parameter table's command string: its prefix and Base64 text.
    std::wstring ParameterCommandString() const;
    bool RunTransfer(std::map<int, Task> tasks);
    // One transfer run of the tasks ids, with their decodes; false when a
    // file failed to arrive or the run did not start.
    bool FetchRound(const std::vector<int>& ids);
    // After a failed check: names the mirrors of the copy, demotes one
    // proven damaged, and points the task at the next servers; false when
    // every mirror has had its turn.
    bool PlanRefetch(Task& task);
    void NotifyStatusText(const std::wstring& text);
    void SetErrorText(const std::wstring& text);

    CUpdateEnvironment& environment_;
    CUpdateHandle* handle_ = nullptr;
    std::wstring meetingId_;
    std::wstring mainDirVersion_;
    std::wstring newVersion_;
    std::wstring destVersion_;
    std::wstring updateUrls_;
    std::wstring appDir_;
    std::wstring updateVerDir_;
    std::wstring testCfgPath_;
    FingerItemList downItems_;    // not owned: newFinger_'s entries
    FingerItemList updateItems_;  // not owned: newFinger_'s entries
    CQKUpdateIni mainUpdateInfo_;
    CQKUpdateIni newUpdateInfo_;
    CFingerFile mainFinger_;
    CFingerFile newFinger_;
    CMutilTransfer* downloader_ = nullptr;  // owned; released with Destroy
    CDecodeNetFileThead decoder_;
    CApplyTransaction apply_;
    std::atomic<int32_t> transferError_{0};  // the first file error of a run
    std::map<int, Task> tasks_;
    int percentLow_ = 0;
    int percentHigh_ = 0;
    // The last position published; written by whichever thread publishes,
    // never two at once (the manager's thread only while the worker waits).
    int lastPercent_ = 0;
};
