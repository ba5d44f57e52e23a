#include "util/binary_file.h"

#include <io.h>

UniqueFileStream OpenForBinaryRead(const std::wstring& path) {
    return UniqueFileStream(_wfopen(path.c_str(), L"rb"));
}

UniqueFileStream OpenForBinaryWrite(const std::wstring& path) {
    return UniqueFileStream(_wfopen(path.c_str(), L"wb"));
}

bool CutStreamFile(std::FILE* file, int64_t size) {
    if (std::fflush(file) != 0) return false;
    const int fd = _fileno(file);
    const int64_t length = _filelengthi64(fd);
    if (length < 0) return false;
    return length <= size || _chsize_s(fd, size) == 0;
}
