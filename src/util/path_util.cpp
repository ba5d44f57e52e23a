#include "util/path_util.h"

#include "util/path_separators.h"

const wchar_t kStagingFolder[] = L"UpdateVer\\";

void SplitModulePath(const std::wstring& path, std::wstring* directory, std::wstring* fileName) {
    size_t nameStart = path.size();
    while (nameStart > 0 && !IsPathSeparator(path[nameStart - 1])) --nameStart;
    bool hasDrive = path.size() >= 2 && path[1] == L':';
    if (nameStart == 0 && hasDrive) nameStart = 2;
    if (directory) *directory = WithBackslashes(path.substr(0, nameStart));
    if (fileName) *fileName = path.substr(nameStart);
}

std::wstring GetAppDir() {
    std::wstring modulePath = GetModulePath();
    if (modulePath.empty()) return std::wstring();
    std::wstring directory;
    SplitModulePath(modulePath, &directory, nullptr);
    return AppDirOfDirectory(directory);
}

std::wstring AppDirOfDirectory(const std::wstring& directory) {
    const size_t length = sizeof kStagingFolder / sizeof kStagingFolder[0] - 1;
    if (directory.size() <= length || directory.compare(directory.size() - length, length, kStagingFolder) != 0) {
        return directory;
    }
    size_t parentEnd = directory.size() - length;
    if (!IsPathSeparator(directory[parentEnd - 1])) return directory;
    return directory.substr(0, parentEnd);
}
