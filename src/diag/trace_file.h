// The trace log's file access. Its paths are narrow Windows paths in the ANSI
// code page; the native build maps '\' to '/'. Files are opened so that other
// processes may read and write them at the same time.
#pragma once

#include <cstdio>
#include <string>

// fopen with a mode such as "ab", "wb" or "rb"; null on failure.
std::FILE* OpenTraceFile(const std::string& path, const char* mode);
// Returns false when the file could not be deleted (also when it is missing).
bool RemoveTraceFile(const std::string& path);
// Returns false when the file could not be renamed; an existing target is
// not replaced.
bool RenameTraceFile(const std::string& from, const std::string& to);
