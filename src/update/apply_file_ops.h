// The file operations of an apply transaction (apply_transaction.h), in one
// place, so that a test can end the transaction at any one of them as a
// killed process would end. The system's own (CApplyFileOps itself) are the
// shared file utilities (util/file_util.h) with their retries. Paths are
// full Windows paths.
//
// Threading: no state; any thread may call them.
#pragma once

#include <string>

#include "util/retry.h"

class CApplyFileOps {
public:
    virtual ~CApplyFileOps() = default;

    // The system's operations, shared by every transaction that is given none.
    static CApplyFileOps& System();

    virtual bool Exists(const std::wstring& path);
    virtual bool IsDirectory(const std::wstring& path);
    virtual bool Read(const std::wstring& path, std::string& bytes);
    // Appends and flushes to the disk (AppendFileDurably).
    virtual bool Append(const std::wstring& path, const std::string& bytes);
    // FlushFileToDisk: the file's data on the disk; changes nothing one can read.
    virtual bool Flush(const std::wstring& path);
    // RenameFile, tried as policy says.
    virtual bool Rename(const std::wstring& source, const std::wstring& target, bool replaceExisting,
                        const RetryPolicy& policy);
    // LinkFile: a second name for the file, only for one that no program
    // holds against its deletion, as no name of it could be removed then.
    virtual bool Link(const std::wstring& existing, const std::wstring& link);
    // IsSameFile: both names reach one file.
    virtual bool IsSameFile(const std::wstring& first, const std::wstring& second);
    // CopyFileWhole (update/local_file.h); error is the system's code of a failure.
    virtual bool CopyWhole(const std::wstring& source, const std::wstring& target, int& error);
    // DeleteFileRetry: a missing file counts as deleted.
    virtual bool Delete(const std::wstring& path);
    virtual bool MakeDirs(const std::wstring& path);
    virtual bool RemoveTree(const std::wstring& directory);
    // RemoveEmptyDirectory: false for a directory that holds anything.
    virtual bool RemoveEmptyDir(const std::wstring& directory);
    // The system's error code of the calling thread's last failing operation.
    virtual int LastError();
};
