// Applying a release's files to the installation as one transaction. A file
// of the installation that is replaced is first kept in the undo folder
// "~UpdateUndo\" inside the installation as a second name (a hard link), or
// a copy for a program, and the new file replaces it in one rename, so that
// no moment lacks it; one that is deleted, in use or on a file system
// without links is renamed into that folder (one volume). Each step is written
// to the journal (apply_journal.h) "~UpdateUndo\journal" before it begins, as is
// each folder created for a file of the release. A failed apply is undone
// step by step, newest first, which brings the staged files back to
// "UpdateVer\", removes the folders it created and puts the previous release
// back into place; a complete one commits by deleting its journal, then its
// backups.
//
// An apply that never ended (the process killed, the power lost) leaves its
// journal; Recover, run when the launcher or the updater starts, rolls it
// back, or forward when its last step installed the update-info file and
// every file that file lists is in place. An undo folder without a journal
// holds only what a finished apply could not delete yet.
//
// Only one process works on an installation's undo folder at a time: it
// holds the machine-wide mutex "QKFileDownloadApply-<8 hex digits>" (named
// after the installation's folder), which a killed process gives up. An
// apply holds it from Begin to Commit or RollBack, on the thread that calls
// them; Recover takes it only when nobody holds it, so that a launcher
// started by a command of a running apply leaves that apply alone.
//
// Threading: one thread uses an object; the mutex is that thread's.
#pragma once

#include <string>
#include <vector>

#include "update/apply_file_ops.h"
#include "update/apply_journal.h"
#include "util/named_mutex.h"

class CApplyTransaction {
public:
    // The undo folder's journal (the folder is kUndoFolderName, manifest/install_name.h).
    static constexpr const wchar_t* kJournalName = L"journal";

    enum RecoveryResult {
        kRecoveryNothing,        // no journal: nothing was left unfinished
        kRecoveryBusy,           // another process applies right now
        kRecoveryRolledBack,     // the previous release is back in place
        kRecoveryRolledForward,  // the new release was complete; its backups are gone
        kRecoveryFailed,         // a step could not be undone; the journal stays for the next start
    };

    // appDir ends in '\'; oemId expands the manifest macros of the check
    // before a roll forward; logModule names the log lines ("DownLoad");
    // files, which must outlive the object, does the file operations.
    CApplyTransaction(const std::wstring& appDir, const std::wstring& oemId, const char* logModule,
                      CApplyFileOps& files = CApplyFileOps::System());
    // Releases the mutex; an apply neither committed nor rolled back stays
    // journaled for Recover.
    ~CApplyTransaction();
    CApplyTransaction(const CApplyTransaction&) = delete;
    CApplyTransaction& operator=(const CApplyTransaction&) = delete;

    // Settles a journal that an apply left unfinished, when no other
    // process applies. Logs what it found and did.
    RecoveryResult Recover();

    // Takes the mutex (waiting as long as a locked file is waited for),
    // settles an unfinished journal and starts a new one. Returns false,
    // after an ERR line, when the mutex stays held elsewhere, the old journal
    // cannot be settled or the new one cannot be written.
    bool Begin();
    // Installs the file source over target (names relative to the
    // application directory): target, when present, is kept aside, then
    // source is moved into its place, or copied when the move is refused.
    // Returns false, with the system's error code in error and the step
    // undone, when target is a directory or cannot be kept aside, or source
    // cannot be moved or copied.
    bool Move(const std::wstring& target, const std::wstring& source, int& error);
    // As Move, but source stays where it is.
    bool Copy(const std::wstring& target, const std::wstring& source, int& error);
    // Puts target aside as a backup; a missing target is no step. Returns
    // false, with the system's error code in error, when target is a
    // directory or cannot be moved (after the delete retries).
    bool Delete(const std::wstring& target, int& error);
    // Undoes every step, newest first, deletes the journal and the undo
    // folder and releases the mutex. Returns false, after an ERR line, when a
    // step could not be undone; the journal then stays for Recover.
    bool RollBack();
    // Flushes the installed files to the disk, deletes the journal, which
    // makes the apply complete, then the undo folder (what cannot be deleted yet, a backup still in use, waits for a
    // later start), and releases the mutex.
    void Commit();

private:
    std::wstring Path(const std::wstring& relative) const;
    std::wstring BackupPath(const SApplyStep& step) const;
    // Writes step to the journal and keeps it. Returns 0, or the system's
    // error code when it cannot.
    int Journal(const SApplyStep& step);
    // Creates the missing folders of target's path, each a step of its own.
    // Returns 0, or the system's error code.
    int MakeFolders(const std::wstring& target);
    bool Install(SApplyStep::Kind kind, const std::wstring& target, const std::wstring& source, int& error);
    // Brings what step changed back, from any state the step left; true
    // when nothing of it is left to undo.
    bool Undo(const SApplyStep& step);
    // Renames from over to in one step; a to in use, which cannot be
    // replaced, is renamed to aside first, then from is renamed as policy
    // says. False when from is not in place.
    bool Replace(const std::wstring& from, const std::wstring& to, const std::wstring& aside,
                 const RetryPolicy& policy);
    bool UndoAll();
    // Keeps file where it is and gives it a second name, or for a program
    // a copy, at duplicate. False when neither can be made.
    bool Duplicate(const std::wstring& file, const std::wstring& duplicate);
    // True when duplicate is file's second name, or for a program holds
    // the same bytes.
    bool IsDuplicate(const std::wstring& file, const std::wstring& duplicate) const;
    // The journal's steps, when the apply they record put every file of the
    // new release in place: its last step installed the update-info file
    // and the installation agrees with it.
    bool IsComplete() const;
    // Recover with the mutex held.
    RecoveryResult Settle();
    // Deletes the journal and the undo folder; false when the journal stays.
    bool Finish();
    // Puts the data of every file the steps installed on the disk: a rename
    // or a copy may reach the disk before the data does, and once the
    // journal is gone a power loss must not leave an empty file behind.
    void FlushInstalled();
    void Unlock();
    void Log(int level, const char* format, ...) const;

    const std::wstring appDir_;
    const std::wstring undoDir_;
    const std::wstring journalPath_;
    const std::wstring oemId_;
    const char* const logModule_;
    CApplyFileOps& files_;
    NamedMutex mutex_;
    bool locked_ = false;
    std::wstring token_;
    std::vector<SApplyStep> steps_;
};
