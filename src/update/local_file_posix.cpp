#include "update/local_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "util/path_separators.h"

bool CanOpenFile(const std::wstring& path, bool forWriting) {
    const std::string posixPath = ToPosixPath(path);
    struct stat info;
    // Opening a directory for reading succeeds on POSIX; Windows refuses it as a file.
    if (stat(posixPath.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
    const int fd = open(posixPath.c_str(), forWriting ? O_RDWR : O_RDONLY);
    if (fd < 0) return false;
    close(fd);
    return true;
}

bool CanDeleteFile(const std::wstring& path) {
    // No program can hold a file against its deletion here.
    struct stat info;
    return stat(ToPosixPath(path).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}
