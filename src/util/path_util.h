// Paths of the running executable and the application directory.
#pragma once

#include <string>

// Full path of the running executable (at most 259 characters on Windows);
// empty when the system cannot tell it or it is longer.
std::wstring GetModulePath();
// Splits a path into its directory (drive and directory part, ending in '\')
// and its file name (name and extension). Either out may be null. A path
// without separators gives its drive ("C:" or nothing) as the directory.
void SplitModulePath(const std::wstring& path, std::wstring* directory, std::wstring* fileName);
// The application directory: the executable's directory, without a last
// component "UpdateVer" (case-sensitive), so an updater started from the
// staging directory works on the installation above it. Ends in '\'; empty
// when the executable's path is unknown.
std::wstring GetAppDir();
// The rule of GetAppDir for a directory ending in '\': the directory, or its
// parent (with its '\') when the last component is exactly "UpdateVer".
std::wstring AppDirOfDirectory(const std::wstring& directory);
// The staging folder inside the application directory, with its '\'.
extern const wchar_t kStagingFolder[];  // "UpdateVer\"
