// The two file operations of the local update that the shared file utilities
// lack: moving a staged file over an installed one, and probing whether a
// file can be opened (for the log line of a failed copy). Any thread may call
// these; they keep no state.
#pragma once

#include <string>

// Moves source to target, replacing an existing target file; on Windows a move
// to another volume copies and deletes. Returns false, with the system's error
// code as LastSystemError(), when the move failed (a target that is a
// directory or in use, a missing source).
bool MoveFileReplacing(const std::wstring& source, const std::wstring& target);

// True when the existing file can be opened for reading, and also for writing
// when forWriting is set. Opening changes nothing in the file.
bool CanOpenFile(const std::wstring& path, bool forWriting);
