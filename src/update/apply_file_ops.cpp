#include "update/apply_file_ops.h"

#include "update/local_file.h"
#include "util/file_util.h"
#include "util/system_util.h"

CApplyFileOps& CApplyFileOps::System() {
    static CApplyFileOps system;
    return system;
}

bool CApplyFileOps::Exists(const std::wstring& path) { return FileExists(path); }

bool CApplyFileOps::IsDirectory(const std::wstring& path) {
    FileFindData found;
    return FileExists(path) && FindFile(path, found) && found.isDirectory;
}

bool CApplyFileOps::Read(const std::wstring& path, std::string& bytes) { return ReadWholeFile(path, bytes); }

bool CApplyFileOps::Append(const std::wstring& path, const std::string& bytes) {
    return AppendFileDurably(path, bytes);
}

bool CApplyFileOps::Flush(const std::wstring& path) { return FlushFileToDisk(path); }

bool CApplyFileOps::Rename(const std::wstring& source, const std::wstring& target, bool replaceExisting,
                           const RetryPolicy& policy) {
    return RetryUntil(policy, [&] { return RenameFile(source, target, replaceExisting); });
}

bool CApplyFileOps::Link(const std::wstring& existing, const std::wstring& link) {
    return CanDeleteFile(existing) && LinkFile(existing, link);
}

bool CApplyFileOps::IsSameFile(const std::wstring& first, const std::wstring& second) {
    return ::IsSameFile(first, second);
}

bool CApplyFileOps::CopyWhole(const std::wstring& source, const std::wstring& target, int& error) {
    return CopyFileWhole(source, target, error);
}

bool CApplyFileOps::Delete(const std::wstring& path) { return DeleteFileRetry(path, false); }

bool CApplyFileOps::MakeDirs(const std::wstring& path) { return ::MakeDirs(path); }

bool CApplyFileOps::RemoveTree(const std::wstring& directory) { return ::RemoveTree(directory); }

bool CApplyFileOps::RemoveEmptyDir(const std::wstring& directory) { return RemoveEmptyDirectory(directory); }

int CApplyFileOps::LastError() { return LastSystemError(); }
