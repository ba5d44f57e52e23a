#include "util/file_util.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "util/file_util_os.h"
#include "util/path_separators.h"

namespace {

// Closes the descriptor when it goes out of scope, keeping errno of the step
// that failed.
class ScopedFd {
public:
    explicit ScopedFd(int fd) : fd_(fd) {}
    ~ScopedFd() {
        if (fd_ >= 0) {
            int error = errno;
            close(fd_);
            errno = error;
        }
    }
    ScopedFd(const ScopedFd&) = delete;
    ScopedFd& operator=(const ScopedFd&) = delete;

    bool valid() const { return fd_ >= 0; }
    int get() const { return fd_; }

private:
    int fd_;
};

// The last path component, for the name of a find result.
std::wstring LastComponent(const std::wstring& path) {
    size_t end = path.size();
    while (end > 0 && IsPathSeparator(path[end - 1])) --end;
    size_t start = end;
    while (start > 0 && !IsPathSeparator(path[start - 1])) --start;
    return path.substr(start, end - start);
}

FileFindData ToFindData(const std::wstring& name, const struct stat& info, bool isLink) {
    FileFindData data;
    data.name = name;
    data.isDirectory = S_ISDIR(info.st_mode);
    data.isLink = isLink;
    data.size = data.isDirectory ? 0 : static_cast<uint64_t>(info.st_size);
    data.writeTime = static_cast<int64_t>(info.st_mtim.tv_sec);
    return data;
}

// The entry itself (a link is not followed), except that a link to a
// directory counts as a directory, as a Windows directory link does.
bool StatEntry(const std::string& posixPath, struct stat& info, bool& isLink) {
    if (lstat(posixPath.c_str(), &info) != 0) return false;
    isLink = S_ISLNK(info.st_mode);
    struct stat target;
    if (isLink && stat(posixPath.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) info.st_mode = target.st_mode;
    return true;
}

bool WriteAll(int fd, const char* bytes, size_t size) {
    while (size > 0) {
        ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

namespace file_os {

bool CopyOneFile(const std::wstring& source, const std::wstring& target, bool failIfExists) {
    ScopedFd in(open(ToPosixPath(source).c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info;
    if (!in.valid() || fstat(in.get(), &info) != 0) return false;
    if (S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        return false;
    }
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC);
    ScopedFd out(open(ToPosixPath(target).c_str(), flags, info.st_mode & 07777));
    if (!out.valid()) return false;
    char buffer[64 * 1024];
    for (;;) {
        ssize_t got = read(in.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        if (!WriteAll(out.get(), buffer, static_cast<size_t>(got))) return false;
    }
    // A Windows copy keeps the last-write time; the update's time checks rely on it.
    timespec times[2] = {info.st_atim, info.st_mtim};
    return futimens(out.get(), times) == 0;
}

bool DeleteOneFile(const std::wstring& path) { return unlink(ToPosixPath(path).c_str()) == 0; }

bool CreateOneDirectory(const std::wstring& path) { return mkdir(ToPosixPath(path).c_str(), 0777) == 0; }

bool RemoveOneDirectory(const std::wstring& path) {
    std::string posix = ToPosixPath(path);
    struct stat info;
    // A link to a directory is removed as the link itself.
    if (lstat(posix.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) return unlink(posix.c_str()) == 0;
    return rmdir(posix.c_str()) == 0;
}

bool ListDirectory(const std::wstring& directory, std::vector<FileFindData>& entries) {
    std::string base = ToPosixPath(directory);
    DIR* dir = opendir(base.c_str());
    if (!dir) return false;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat info;
        bool isLink = false;
        if (!StatEntry(base + name, info, isLink)) continue;
        entries.push_back(ToFindData(FromPosixPath(name), info, isLink));
    }
    closedir(dir);
    return true;
}

}  // namespace file_os

bool FileExists(const std::wstring& path) {
    struct stat info;
    return stat(ToPosixPath(path).c_str(), &info) == 0;
}

bool ClearReadOnly(const std::wstring& path) {
    // The read-only attribute is the owner's missing write permission.
    std::string posix = ToPosixPath(path);
    struct stat info;
    if (stat(posix.c_str(), &info) == 0 && !(info.st_mode & S_IWUSR)) {
        chmod(posix.c_str(), (info.st_mode & 07777) | S_IWUSR);
    }
    return true;
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    bytes.clear();
    ScopedFd file(open(ToPosixPath(path).c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info;
    if (!file.valid() || fstat(file.get(), &info) != 0) return false;
    if (S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        return false;
    }
    bytes.resize(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t got = read(file.get(), &bytes[done], bytes.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got == 0) errno = EIO;
            bytes.clear();
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    ScopedFd file(open(ToPosixPath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    return file.valid() && WriteAll(file.get(), bytes.data(), bytes.size());
}

bool RenameFile(const std::wstring& source, const std::wstring& target, bool replaceExisting) {
    const std::string from = ToPosixPath(source);
    const std::string to = ToPosixPath(target);
    if (replaceExisting) return rename(from.c_str(), to.c_str()) == 0;
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the flag: a second link fails on an existing target.
    return link(from.c_str(), to.c_str()) == 0 && unlink(from.c_str()) == 0;
}

bool LinkFile(const std::wstring& existing, const std::wstring& link) {
    return ::link(ToPosixPath(existing).c_str(), ToPosixPath(link).c_str()) == 0;
}

bool IsSameFile(const std::wstring& first, const std::wstring& second) {
    struct stat one;
    struct stat other;
    return stat(ToPosixPath(first).c_str(), &one) == 0 && stat(ToPosixPath(second).c_str(), &other) == 0 &&
           one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

bool AppendFileDurably(const std::wstring& path, const std::string& bytes) {
    ScopedFd file(open(ToPosixPath(path).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
    return file.valid() && WriteAll(file.get(), bytes.data(), bytes.size()) && fsync(file.get()) == 0;
}

bool FlushFileToDisk(const std::wstring& path) {
    ScopedFd file(open(ToPosixPath(path).c_str(), O_RDONLY | O_CLOEXEC));
    return file.valid() && fsync(file.get()) == 0;
}

bool FindFile(const std::wstring& path, FileFindData& data) {
    struct stat info;
    bool isLink = false;
    if (!StatEntry(ToPosixPath(path), info, isLink)) return false;
    data = ToFindData(LastComponent(path), info, isLink);
    return true;
}

bool SetFileTimes(const std::wstring& path, int64_t secondsSince1970) {
    ScopedFd file(open(ToPosixPath(path).c_str(), O_RDWR | O_CLOEXEC));
    if (!file.valid()) return false;
    timespec times[2];
    times[0].tv_sec = static_cast<time_t>(secondsSince1970);
    times[0].tv_nsec = 0;
    times[1] = times[0];
    return futimens(file.get(), times) == 0;
}
