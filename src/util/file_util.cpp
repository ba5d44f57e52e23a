#include "util/file_util.h"

#include <vector>

#include "util/file_util_os.h"
#include "util/path_separators.h"

bool CopyFileRetry(const std::wstring& source, const std::wstring& target, bool failIfExists,
                   const RetryPolicy& policy) {
    return RetryUntil(policy, [&] { return file_os::CopyOneFile(source, target, failIfExists); });
}

bool DeleteFileRetry(const std::wstring& path, bool mustExist, const RetryPolicy& policy) {
    if (!FileExists(path)) return !mustExist;
    ClearReadOnly(path);
    return RetryUntil(policy, [&] { return file_os::DeleteOneFile(path); });
}

bool MakeDirs(const std::wstring& path) {
    std::wstring directory = WithBackslashes(path);
    while (!directory.empty() && directory.back() == L'\\') directory.pop_back();
    if (directory.empty() || FileExists(directory)) return true;
    size_t parentEnd = directory.rfind(L'\\');
    if (parentEnd != std::wstring::npos && !MakeDirs(directory.substr(0, parentEnd))) return false;
    // Another process may create the same directory meanwhile.
    return file_os::CreateOneDirectory(directory) || FileExists(directory);
}

bool ListDirectory(const std::wstring& directory, std::vector<FileFindData>& entries) {
    return file_os::ListDirectory(directory, entries);
}

bool RemoveTree(const std::wstring& directory) {
    std::wstring base = directory;
    if (base.empty() || !IsPathSeparator(base.back())) base += L'\\';
    bool allRemoved = true;
    std::vector<FileFindData> entries;
    if (file_os::ListDirectory(base, entries)) {
        for (const FileFindData& entry : entries) {
            std::wstring path = base + entry.name;
            bool removed;
            if (entry.isDirectory && !entry.isLink) {
                removed = RemoveTree(path + L'\\');
            } else if (entry.isDirectory) {
                removed = file_os::RemoveOneDirectory(path);
            } else {
                removed = DeleteFileRetry(path, false);
            }
            allRemoved = allRemoved && removed;
        }
    }
    return file_os::RemoveOneDirectory(base) && allRemoved;
}

bool RemoveEmptyDirectory(const std::wstring& directory) { return file_os::RemoveOneDirectory(directory); }

uint64_t GetFileSizeByName(const std::wstring& path) {
    FileFindData data;
    if (!FindFile(path, data)) return 0;
    return data.size;
}
