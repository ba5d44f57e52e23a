#include "util/binary_file.h"

#include "util/path_separators.h"

UniqueFileStream OpenForBinaryRead(const std::wstring& path) {
    return UniqueFileStream(std::fopen(ToPosixPath(path).c_str(), "rb"));
}

UniqueFileStream OpenForBinaryWrite(const std::wstring& path) {
    return UniqueFileStream(std::fopen(ToPosixPath(path).c_str(), "wb"));
}
