// File-system operations shared by the launcher and the updater. Paths are
// Windows paths ('\' separators); the native build maps them to the OS.
// All report failure by their result and never show anything to the user;
// after a failure LastSystemError() (util/system_util.h) holds the system's
// error code of the failing step.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "util/retry.h"

struct FileFindData {
    std::wstring name;       // file name without directory
    bool isDirectory = false;
    bool isLink = false;     // a symbolic link or junction (a directory one has isDirectory too)
    uint64_t size = 0;
    int64_t writeTime = 0;   // seconds since 1970-01-01 UTC
};

// A locked file is usually free again within seconds: copies wait up to 20 s,
// deletes up to 1 s.
constexpr RetryPolicy kCopyRetry{40, 500};
constexpr RetryPolicy kDeleteRetry{5, 200};

// True when the path has attributes (file or directory).
bool FileExists(const std::wstring& path);
// Removes the read-only attribute if set; returns true.
bool ClearReadOnly(const std::wstring& path);
// Copies the file with its last-write time, up to policy.attempts times;
// true on the first success, false when every attempt failed (also when
// failIfExists and the target exists).
bool CopyFileRetry(const std::wstring& source, const std::wstring& target, bool failIfExists,
                   const RetryPolicy& policy = kCopyRetry);
// A missing file gives !mustExist. Otherwise clears read-only, then tries to
// delete it up to policy.attempts times; true on success, false when every
// attempt failed.
bool DeleteFileRetry(const std::wstring& path, bool mustExist, const RetryPolicy& policy = kDeleteRetry);
// Renames source to target on the same volume, never copying. An existing
// target file is replaced when replaceExisting, otherwise the rename fails.
// Returns false when it failed: a missing source, a target in the way, a
// file that another process holds open without sharing its deletion.
bool RenameFile(const std::wstring& source, const std::wstring& target, bool replaceExisting);
// Gives the existing file a second name on the same volume (a hard link):
// both names then reach the same data. False where the file system has no
// such links, the name is taken or the file cannot be reached.
bool LinkFile(const std::wstring& existing, const std::wstring& link);
// True when both names reach one file (see LinkFile); false when they do
// not, or either cannot be reached.
bool IsSameFile(const std::wstring& first, const std::wstring& second);
// Appends bytes to the file (created when missing) and returns once they are
// on the disk, so that nothing done afterwards can reach the disk before
// them. False when the file cannot be opened, written or flushed.
bool AppendFileDurably(const std::wstring& path, const std::string& bytes);
// Returns once the file's data is on the disk. False when the file cannot
// be opened or flushed.
bool FlushFileToDisk(const std::wstring& path);
// Creates the directory and every missing parent ('/' taken as '\', trailing
// separators ignored); an existing path is success. False when a directory
// could not be created.
bool MakeDirs(const std::wstring& path);
// Deletes every file and sub-directory below the directory (a trailing '\' is
// optional), then the directory itself. Links are removed, never followed.
// True only if everything went; false when anything, or the directory itself,
// could not be removed.
bool RemoveTree(const std::wstring& directory);
// Removes the directory only when it is empty; false otherwise, or when it
// could not be removed.
bool RemoveEmptyDirectory(const std::wstring& directory);
// The entries of a directory ending in '\', without "." and "..". Returns
// false when the directory cannot be read.
bool ListDirectory(const std::wstring& directory, std::vector<FileFindData>& entries);
// Reads a whole existing file (others may read it meanwhile); true if all its
// bytes came, false when it cannot be opened or read.
bool ReadWholeFile(const std::wstring& path, std::string& bytes);
// Creates or truncates the file (not shared while open) and writes all bytes;
// true on success, false when it cannot be opened or written.
bool WriteWholeFile(const std::wstring& path, const std::string& bytes);
// The file's size; 0 if not found.
uint64_t GetFileSizeByName(const std::wstring& path);
// True and the entry's data if the path is found; false otherwise. Windows
// also matches wildcards in the last component; the native build does not.
bool FindFile(const std::wstring& path, FileFindData& data);
// Sets creation, access and write time of an existing file to that moment
// (the native build has no creation time); true on success, false when the
// file cannot be opened for writing or its times cannot be set.
bool SetFileTimes(const std::wstring& path, int64_t secondsSince1970);
