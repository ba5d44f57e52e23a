#include "util/file_util.h"

#include <windows.h>

#include <algorithm>

#include "util/file_util_os.h"
#include "util/time_util.h"

namespace {

uint64_t ToUint64(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FileFindData ToFindData(const WIN32_FIND_DATAW& found) {
    FileFindData data;
    data.name = found.cFileName;
    data.isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // Other reparse points (cloud placeholders, deduplicated files) hold their own data.
    data.isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                  (found.dwReserved0 == IO_REPARSE_TAG_SYMLINK || found.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
    data.size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    data.writeTime = FileTimeToSeconds(ToUint64(found.ftLastWriteTime));
    return data;
}

// Closes the handle when it goes out of scope, keeping the thread's last
// error of the step that failed.
class ScopedFileHandle {
public:
    explicit ScopedFileHandle(HANDLE handle) : handle_(handle) {}
    ~ScopedFileHandle() {
        if (valid()) {
            DWORD error = GetLastError();
            CloseHandle(handle_);
            SetLastError(error);
        }
    }
    ScopedFileHandle(const ScopedFileHandle&) = delete;
    ScopedFileHandle& operator=(const ScopedFileHandle&) = delete;

    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// Writes all bytes at the file's position; false, with the system's error
// set, when a write fails or stops short.
bool WriteAll(HANDLE file, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        done += written;
    }
    return true;
}

// The volume and index that name a file whatever its name; false when the
// file cannot be opened (any program may hold it, a running one too).
bool GetFileIdentity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    ScopedFileHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file.valid() && GetFileInformationByHandle(file.get(), &info) != FALSE;
}

}  // namespace

namespace file_os {

bool CopyOneFile(const std::wstring& source, const std::wstring& target, bool failIfExists) {
    return CopyFileW(source.c_str(), target.c_str(), failIfExists ? TRUE : FALSE) != FALSE;
}

bool DeleteOneFile(const std::wstring& path) { return DeleteFileW(path.c_str()) != FALSE; }

bool CreateOneDirectory(const std::wstring& path) { return CreateDirectoryW(path.c_str(), nullptr) != FALSE; }

bool RemoveOneDirectory(const std::wstring& path) { return RemoveDirectoryW(path.c_str()) != FALSE; }

bool ListDirectory(const std::wstring& directory, std::vector<FileFindData>& entries) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((directory + L"*.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") entries.push_back(ToFindData(found));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return true;
}

}  // namespace file_os

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool ClearReadOnly(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
    return true;
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    bytes.clear();
    ScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size)) return false;
    if (static_cast<uint64_t>(size.QuadPart) > bytes.max_size()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        DWORD read = 0;
        if (!ReadFile(file.get(), &bytes[done], chunk, &read, nullptr)) break;
        if (read == 0) {
            SetLastError(ERROR_HANDLE_EOF);
            break;
        }
        done += read;
    }
    if (done == bytes.size()) return true;
    bytes.clear();
    return false;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    ScopedFileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid() && SetEndOfFile(file.get()) && WriteAll(file.get(), bytes);
}

bool RenameFile(const std::wstring& source, const std::wstring& target, bool replaceExisting) {
    return MoveFileExW(source.c_str(), target.c_str(), replaceExisting ? MOVEFILE_REPLACE_EXISTING : 0) != FALSE;
}

bool LinkFile(const std::wstring& existing, const std::wstring& link) {
    return CreateHardLinkW(link.c_str(), existing.c_str(), nullptr) != FALSE;
}

bool IsSameFile(const std::wstring& first, const std::wstring& second) {
    BY_HANDLE_FILE_INFORMATION one;
    BY_HANDLE_FILE_INFORMATION other;
    return GetFileIdentity(first, one) && GetFileIdentity(second, other) &&
           one.dwVolumeSerialNumber == other.dwVolumeSerialNumber && one.nFileIndexHigh == other.nFileIndexHigh &&
           one.nFileIndexLow == other.nFileIndexLow;
}

bool AppendFileDurably(const std::wstring& path, const std::string& bytes) {
    ScopedFileHandle file(
        CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid() && WriteAll(file.get(), bytes) && FlushFileBuffers(file.get()) != FALSE;
}

bool FlushFileToDisk(const std::wstring& path) {
    // Others may hold the file open for anything, a scanner for instance.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    ScopedFileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid() && FlushFileBuffers(file.get()) != FALSE;
}

bool FindFile(const std::wstring& path, FileFindData& data) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    data = ToFindData(found);
    return true;
}

bool SetFileTimes(const std::wstring& path, int64_t secondsSince1970) {
    ScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    uint64_t ticks = SecondsToFileTime(secondsSince1970);
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return SetFileTime(file.get(), &time, &time, &time) != FALSE;
}
