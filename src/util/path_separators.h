// Path separators. Every path in this code is a Windows path with '\' as its
// separator; '/' is accepted as its twin wherever a path comes from outside.
// The native build maps these paths to POSIX ones only where it calls the OS.
#pragma once

#include <string>

// True for '\' and '/'.
bool IsPathSeparator(wchar_t c);
// The path with every '/' replaced by '\'.
std::wstring WithBackslashes(std::wstring path);

// Native build only: the POSIX form of a path ('\' and '/' both become '/'),
// in UTF-8.
std::string ToPosixPath(const std::wstring& path);
// Native build only: the Windows form of a POSIX path ('/' becomes '\').
std::wstring FromPosixPath(const std::string& path);
