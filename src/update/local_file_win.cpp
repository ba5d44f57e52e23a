#include "update/local_file.h"

#include <windows.h>

namespace {

// Opening with this access, sharing everything, changes nothing in the file.
bool CanOpenWith(const std::wstring& path, DWORD access) {
    HANDLE file = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

}  // namespace

bool CanOpenFile(const std::wstring& path, bool forWriting) {
    return CanOpenWith(path, forWriting ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ);
}

bool CanDeleteFile(const std::wstring& path) { return CanOpenWith(path, DELETE); }
