#include "update/local_file.h"

#include "util/file_util.h"
#include "util/system_util.h"

bool CopyFileWhole(const std::wstring& source, const std::wstring& target, int& error) {
    error = 0;
    const std::wstring whole = target + kWholeCopySuffix;
    if (!CopyFileRetry(source, whole, false)) {
        error = LastSystemError();
        DeleteFileRetry(whole, false);
        return false;
    }
    if (RenameFile(whole, target, true)) return true;
    DeleteFileRetry(whole, false);
    if (CopyFileRetry(source, target, false)) return true;
    error = LastSystemError();
    return false;
}
