// The file operations of the local update that the shared file utilities
// lack: copying a file over another so that it is never seen half-written,
// and probing whether a file can be opened (for the log line of a failed
// copy) or deleted. Any thread may call these; they keep no state.
#pragma once

#include <string>

// The ending of the name of CopyFileWhole's copy beside its target.
constexpr const wchar_t* kWholeCopySuffix = L".new";

// Copies source over target, with the copy retries, so that target is never
// left half-written by a process that ends mid-copy (nothing would repair
// it): the copy goes to target + ".new" first and then replaces target in one
// rename. Where that rename is refused, source is copied over target
// directly. Returns false, with the system's error code in error, when no
// copy could be made; no ".new" file is left behind.
bool CopyFileWhole(const std::wstring& source, const std::wstring& target, int& error);

// True when the existing file can be opened for reading, and also for writing
// when forWriting is set. Opening changes nothing in the file.
bool CanOpenFile(const std::wstring& path, bool forWriting);

// True when the existing file can be opened to be deleted or renamed: no
// program holds it open without sharing that. Opening changes nothing.
bool CanDeleteFile(const std::wstring& path);
