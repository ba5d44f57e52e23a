// Opening files by Windows path for the C library's stream functions, for
// code that reads or writes a file piece by piece. Any thread may call these;
// a stream belongs to the thread that opened it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

struct FileStreamCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
// Closes the stream when it goes out of scope.
using UniqueFileStream = std::unique_ptr<std::FILE, FileStreamCloser>;

// Opens an existing file for binary reading ("rb"); null when it cannot be
// opened.
UniqueFileStream OpenForBinaryRead(const std::wstring& path);
// Creates the file, or empties an existing one, for binary writing ("wb");
// null when it cannot be created or opened.
UniqueFileStream OpenForBinaryWrite(const std::wstring& path);
// Cuts the file of a stream opened for writing to size bytes when it is
// longer; a shorter file is left as it is. Returns false when its length
// cannot be read or it cannot be cut.
bool CutStreamFile(std::FILE* file, int64_t size);
