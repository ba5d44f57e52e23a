// The single-step operating-system calls below file_util.h; file_util.cpp
// builds the retries and the directory walks on them. Each returns false on
// failure with the system's error code left as the thread's last error.
#pragma once

#include <string>
#include <vector>

#include "util/file_util.h"

namespace file_os {

bool CopyOneFile(const std::wstring& source, const std::wstring& target, bool failIfExists);
bool DeleteOneFile(const std::wstring& path);
bool CreateOneDirectory(const std::wstring& path);
bool RemoveOneDirectory(const std::wstring& path);
// The entries of a directory ending in '\', without "." and "..".
bool ListDirectory(const std::wstring& directory, std::vector<FileFindData>& entries);

}  // namespace file_os
