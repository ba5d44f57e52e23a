#include "util/binary_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include "util/path_separators.h"

UniqueFileStream OpenForBinaryRead(const std::wstring& path) {
    return UniqueFileStream(std::fopen(ToPosixPath(path).c_str(), "rb"));
}

UniqueFileStream OpenForBinaryWrite(const std::wstring& path) {
    return UniqueFileStream(std::fopen(ToPosixPath(path).c_str(), "wb"));
}

bool CutStreamFile(std::FILE* file, int64_t size) {
    if (std::fflush(file) != 0) return false;
    const int fd = fileno(file);
    struct stat status;
    if (fstat(fd, &status) != 0) return false;
    return status.st_size <= size || ftruncate(fd, static_cast<off_t>(size)) == 0;
}
