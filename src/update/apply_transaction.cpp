#include "update/apply_transaction.h"

#include <cstdarg>
#include <cstdio>

#include "diag/trace_log.h"
#include "manifest/cfg_file_lists.h"
#include "manifest/finger_file.h"
#include "manifest/install_name.h"
#include "manifest/qk_update_ini.h"
#include "update/local_file.h"
#include "util/clock.h"
#include "util/code_page.h"
#include "util/debug_output.h"
#include "util/file_util.h"

namespace {

const wchar_t kMutexPrefix[] = L"QKFileDownloadApply-";
// The system's codes (as Windows gives them) for a step refused before it
// began: a directory where a file goes, a name the journal cannot carry.
const int kErrorAccessDenied = 5;
const int kErrorInvalidName = 123;
// The names, beside a step's backup, of a file in use (a running program
// cannot be replaced, only renamed) moved out of the way: the old one by
// the apply, the new one by its undo.
const wchar_t kOldInUseSuffix[] = L"-old";
const wchar_t kNewInUseSuffix[] = L"-new";
// The name, beside a step's backup, of the copy that is to replace the target.
const wchar_t kCopySuffix[] = L"-copy";

// A program may be running when its step is undone, by itself or as the
// updater, and no name of a running program can be deleted: its backup and
// its file restaged are copies, not second names.
bool IsProgram(const std::wstring& name) {
    const size_t length = 4;
    return name.size() > length && SameFileName(name.substr(name.size() - length), L".exe");
}

// One mutex per installation: its folder's name, folded as the file system
// compares names, hashed into the mutex name (which may hold no '\').
std::wstring MutexNameOf(const std::wstring& appDir) {
    return kMutexPrefix + Utf8ToWide(Crc32Hex(WideToUtf8(FoldFileName(appDir))));
}

}  // namespace

CApplyTransaction::CApplyTransaction(const std::wstring& appDir, const std::wstring& oemId, const char* logModule,
                                     CApplyFileOps& files)
    : appDir_(appDir),
      undoDir_(appDir + kUndoFolderName + L"\\"),
      journalPath_(undoDir_ + kJournalName),
      oemId_(oemId),
      logModule_(logModule),
      files_(files),
      mutex_(MutexNameOf(appDir)) {}

CApplyTransaction::~CApplyTransaction() { Unlock(); }

CApplyTransaction::RecoveryResult CApplyTransaction::Recover() {
    if (!files_.Exists(undoDir_)) return kRecoveryNothing;
    if (!mutex_.TryLock()) {
        Log(TRACE_INF, "Update files being applied by another process, left to it! (dir:'%s')",
            WideToAnsi(undoDir_).c_str());
        return kRecoveryBusy;
    }
    locked_ = true;
    const RecoveryResult result = Settle();
    Unlock();
    return result;
}

bool CApplyTransaction::Begin() {
    if (!locked_) locked_ = RetryUntil(kCopyRetry, [this] { return mutex_.TryLock(); });
    if (!locked_) {
        Log(TRACE_ERR, "Update files being applied by another process! (dir:'%s')", WideToAnsi(undoDir_).c_str());
        return false;
    }
    if (Settle() == kRecoveryFailed) {
        Unlock();
        return false;
    }
    steps_.clear();
    char token[32];
    std::snprintf(token, sizeof token, "%x-%llx", static_cast<unsigned>(CurrentProcessId()),
                  static_cast<unsigned long long>(TickCountMs()));
    token_ = Utf8ToWide(token);
    std::string header;
    FormatJournalHeader(token_, header);
    if (!files_.MakeDirs(undoDir_) || !files_.Append(journalPath_, header)) {
        Log(TRACE_ERR, "Write update journal failed! (errCode:%d, file:'%s')", files_.LastError(),
            WideToAnsi(journalPath_).c_str());
        Unlock();
        return false;
    }
    return true;
}

bool CApplyTransaction::Move(const std::wstring& target, const std::wstring& source, int& error) {
    return Install(SApplyStep::kMove, target, source, error);
}

bool CApplyTransaction::Copy(const std::wstring& target, const std::wstring& source, int& error) {
    return Install(SApplyStep::kCopy, target, source, error);
}

bool CApplyTransaction::Install(SApplyStep::Kind kind, const std::wstring& target, const std::wstring& source,
                                int& error) {
    const std::wstring to = Path(target);
    if (files_.IsDirectory(to)) {
        error = kErrorAccessDenied;
        return false;
    }
    SApplyStep step;
    step.kind = kind;
    step.existed = files_.Exists(to);
    step.target = target;
    step.source = source;
    error = MakeFolders(target);
    step.number = static_cast<int>(steps_.size());
    if (error == 0) error = Journal(step);
    if (error != 0) return false;
    const std::wstring backup = BackupPath(step);
    const std::wstring from = Path(source);
    // The old file kept while it stays in place, as a second name or, for a
    // program, a copy; the new one then replaces it in one rename, so the
    // installation never lacks the file, not even the launcher that would
    // recover it.
    if (step.existed && Duplicate(to, backup)) {
        const std::wstring aside = backup + kOldInUseSuffix;
        if (kind == SApplyStep::kMove && Replace(from, to, aside, RetryPolicy{1, 0})) return true;
        // A copy, or a staged file that a scanner holds but lets read: made
        // in the undo folder, whence it replaces the target.
        const std::wstring copy = backup + kCopySuffix;
        if (files_.CopyWhole(from, copy, error)) {
            if (Replace(copy, to, aside, kCopyRetry)) return true;
            error = files_.LastError();
        }
        Undo(step);
        return false;
    }
    if (step.existed && !files_.Rename(to, backup, false, kCopyRetry)) {
        error = files_.LastError();
        return false;
    }
    if (kind == SApplyStep::kMove && files_.Rename(from, to, false, RetryPolicy{1, 0})) return true;
    if (files_.CopyWhole(from, to, error)) return true;
    Undo(step);
    return false;
}

bool CApplyTransaction::Delete(const std::wstring& target, int& error) {
    const std::wstring path = Path(target);
    if (!files_.Exists(path)) return true;
    if (files_.IsDirectory(path)) {
        error = kErrorAccessDenied;
        return false;
    }
    SApplyStep step;
    step.kind = SApplyStep::kDelete;
    step.number = static_cast<int>(steps_.size());
    step.existed = true;
    step.target = target;
    error = Journal(step);
    if (error != 0) return false;
    if (files_.Rename(path, BackupPath(step), false, kDeleteRetry)) return true;
    error = files_.LastError();
    return false;
}

bool CApplyTransaction::RollBack() {
    const bool undone = UndoAll() && Finish();
    if (undone) Log(TRACE_INF, "Update files rolled back! (steps:%d)", static_cast<int>(steps_.size()));
    Unlock();
    return undone;
}

void CApplyTransaction::Commit() {
    FlushInstalled();
    Finish();
    Unlock();
}

std::wstring CApplyTransaction::Path(const std::wstring& relative) const { return appDir_ + relative; }

std::wstring CApplyTransaction::BackupPath(const SApplyStep& step) const {
    return undoDir_ + token_ + L"-" + std::to_wstring(step.number);
}

int CApplyTransaction::Journal(const SApplyStep& step) {
    std::string line;
    if (!FormatJournalStep(step, line)) return kErrorInvalidName;
    if (!files_.Append(journalPath_, line)) {
        const int error = files_.LastError();
        Log(TRACE_ERR, "Write update journal failed! (errCode:%d, file:'%s')", error, WideToAnsi(journalPath_).c_str());
        return error;
    }
    steps_.push_back(step);
    return 0;
}

int CApplyTransaction::MakeFolders(const std::wstring& target) {
    for (size_t end = target.find_first_of(L"\\/"); end != std::wstring::npos;
         end = target.find_first_of(L"\\/", end + 1)) {
        const std::wstring folder = target.substr(0, end);
        if (files_.Exists(Path(folder))) continue;
        SApplyStep step;
        step.kind = SApplyStep::kMakeDir;
        step.number = static_cast<int>(steps_.size());
        step.target = folder;
        const int error = Journal(step);
        if (error != 0) return error;
        if (!files_.MakeDirs(Path(folder))) return files_.LastError();
    }
    return 0;
}

bool CApplyTransaction::Undo(const SApplyStep& step) {
    if (step.kind == SApplyStep::kMakeDir) {
        // Its files are undone before it; a folder that still holds anything
        // is not the apply's alone and stays.
        files_.RemoveEmptyDir(Path(step.target));
        return true;
    }
    const std::wstring target = Path(step.target);
    const std::wstring backup = BackupPath(step);
    const bool backupKept = step.existed && files_.Exists(backup);
    bool undone = true;
    const std::wstring source = Path(step.source);
    const bool restageable = step.kind == SApplyStep::kMove;
    if (step.kind != SApplyStep::kDelete) {
        files_.Delete(target + kWholeCopySuffix);
        if (restageable) files_.Delete(source + kWholeCopySuffix);
        // Ended before the new file replaced the old one, which is still in
        // place: only the backup goes (a second name of a file in use
        // cannot, and waits in the undo folder).
        if (backupKept && IsDuplicate(target, backup)) {
            files_.Delete(backup);
            return true;
        }
        // Otherwise a target beside its backup holds the new file.
        if ((backupKept || !step.existed) && files_.Exists(target)) {
            // Back to "UpdateVer\", so that the next run need not fetch it
            // again: as a second name or a copy while the backup is to
            // replace it in one step.
            if (restageable && !files_.Exists(source) && !(backupKept && Duplicate(target, source))) {
                files_.Rename(target, source, false, kCopyRetry);
            }
            if (!backupKept && files_.Exists(target)) undone = files_.Delete(target);
        }
    }
    if (undone && backupKept) {
        // A program in use, the updater undoing its own move, goes back to
        // "UpdateVer\" over its copy; no name of it stays behind.
        const std::wstring aside = IsProgram(target) && restageable ? source : backup + kNewInUseSuffix;
        undone = Replace(backup, target, aside, kCopyRetry);
    }
    if (!undone) {
        Log(TRACE_ERR, "Undo update step failed! (errCode:%d, file:'%s')", files_.LastError(),
            WideToAnsi(target).c_str());
    }
    return undone;
}

bool CApplyTransaction::Replace(const std::wstring& from, const std::wstring& to, const std::wstring& aside,
                                const RetryPolicy& policy) {
    if (files_.Rename(from, to, true, RetryPolicy{1, 0})) return true;
    if (files_.Exists(to) && !files_.Rename(to, aside, true, kCopyRetry)) return false;
    return files_.Rename(from, to, false, policy);
}

bool CApplyTransaction::Duplicate(const std::wstring& file, const std::wstring& duplicate) {
    int error = 0;
    return IsProgram(file) ? files_.CopyWhole(file, duplicate, error) : files_.Link(file, duplicate);
}

bool CApplyTransaction::IsDuplicate(const std::wstring& file, const std::wstring& duplicate) const {
    if (!IsProgram(file)) return files_.IsSameFile(file, duplicate);
    std::string one;
    std::string other;
    return files_.Read(file, one) && files_.Read(duplicate, other) && one == other;
}

bool CApplyTransaction::UndoAll() {
    bool undone = true;
    for (auto step = steps_.rbegin(); step != steps_.rend(); ++step) undone = Undo(*step) && undone;
    return undone;
}

bool CApplyTransaction::IsComplete() const {
    if (steps_.empty()) return false;
    const SApplyStep& last = steps_.back();
    if (last.kind != SApplyStep::kCopy || !SameFileName(last.target, kUpdateInfoFileName)) return false;
    std::string installed;
    std::string staged;
    if (!files_.Read(Path(last.target), installed) || !files_.Read(Path(last.source), staged) ||
        installed != staged) {
        return false;
    }
    CQKUpdateIni info(appDir_, oemId_);
    info.SetFile(Path(last.target));
    CFingerFile::SetNoUpdateList(ReadNoUpdateFiles(appDir_ + kTestCfgFileName));
    CFingerFile finger;
    if (!finger.LoadFinger(info, info.GetMainSection())) return false;
    for (const SFingerItem* item : finger.GetPendingItems()) {
        if (item->kind == kFingerFile) return false;
    }
    return true;
}

CApplyTransaction::RecoveryResult CApplyTransaction::Settle() {
    steps_.clear();
    if (!files_.Exists(undoDir_)) return kRecoveryNothing;
    std::string bytes;
    if (files_.Exists(journalPath_) && !files_.Read(journalPath_, bytes)) {
        Log(TRACE_ERR, "Read update journal failed! (errCode:%d, file:'%s')", files_.LastError(),
            WideToAnsi(journalPath_).c_str());
        return kRecoveryFailed;
    }
    // No journal, or one that ends before its first step: what is left
    // belongs to no unfinished apply.
    if (!ParseJournal(bytes, token_, steps_) || steps_.empty()) {
        Log(TRACE_INF, "Remove update backups left! (dir:'%s')", WideToAnsi(undoDir_).c_str());
        return Finish() ? kRecoveryNothing : kRecoveryFailed;
    }
    const int steps = static_cast<int>(steps_.size());
    Log(TRACE_WAR, "Unfinished update found! (steps:%d, journal:'%s')", steps, WideToAnsi(journalPath_).c_str());
    if (IsComplete()) {
        Log(TRACE_INF, "Unfinished update had every file in place, completed! (steps:%d)", steps);
        FlushInstalled();
        return Finish() ? kRecoveryRolledForward : kRecoveryFailed;
    }
    if (!UndoAll() || !Finish()) {
        Log(TRACE_ERR, "Unfinished update not rolled back, kept for the next start! (steps:%d)", steps);
        return kRecoveryFailed;
    }
    Log(TRACE_INF, "Unfinished update rolled back! (steps:%d)", steps);
    return kRecoveryRolledBack;
}

bool CApplyTransaction::Finish() {
    if (!files_.Delete(journalPath_)) {
        Log(TRACE_ERR, "Delete update journal failed! (errCode:%d, file:'%s')", files_.LastError(),
            WideToAnsi(journalPath_).c_str());
        return false;
    }
    if (!files_.RemoveTree(undoDir_)) {
        Log(TRACE_WAR, "Update backups in use, removed later! (dir:'%s')", WideToAnsi(undoDir_).c_str());
    }
    return true;
}

void CApplyTransaction::FlushInstalled() {
    for (const SApplyStep& step : steps_) {
        if (step.kind != SApplyStep::kMove && step.kind != SApplyStep::kCopy) continue;
        const std::wstring target = Path(step.target);
        // The file is in place either way; only a power loss could still cost it.
        if (!files_.Flush(target)) {
            Log(TRACE_WAR, "Flush update file failed! (errCode:%d, file:'%s')", files_.LastError(),
                WideToAnsi(target).c_str());
        }
    }
}

void CApplyTransaction::Unlock() {
    if (!locked_) return;
    locked_ = false;
    mutex_.Unlock();
}

void CApplyTransaction::Log(int level, const char* format, ...) const {
    va_list args;
    va_start(args, format);
    Trace(level, logModule_, format, args);
    va_end(args);
}
