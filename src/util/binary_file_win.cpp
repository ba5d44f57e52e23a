#include "util/binary_file.h"

UniqueFileStream OpenForBinaryRead(const std::wstring& path) {
    return UniqueFileStream(_wfopen(path.c_str(), L"rb"));
}

UniqueFileStream OpenForBinaryWrite(const std::wstring& path) {
    return UniqueFileStream(_wfopen(path.c_str(), L"wb"));
}
