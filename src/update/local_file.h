// The file operations of the local update that the shared file utilities
// lack: moving a staged file over an installed one, copying a file over
// another so that it is never seen half-written, and probing whether a file
// can be opened (for the log line of a failed copy). Any thread may call
// these; they keep no state.
#pragma once

#include <string>

// Moves source to target, replacing an existing target file; on Windows a move
// to another volume copies and deletes. Returns false, with the system's error
// code as LastSystemError(), when the move failed (a target that is a
// directory or in use, a missing source).
bool MoveFileReplacing(const std::wstring& source, const std::wstring& target);

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
