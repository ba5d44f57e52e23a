// A folder of files with chosen contents and write times, for the release
// tool's tests: the client files to publish, an installation, a release.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "temp_dir.h"
#include "util/code_page.h"
#include "util/file_util.h"
#include "util/path_separators.h"

class ClientFolder {
public:
    // The folder as the code under test takes it: '\' separators, ending in '\'.
    std::wstring Dir() const { return dir_.WinPath(); }
    // relative uses '\' or '/'; any name, ASCII or not.
    std::wstring Path(const std::wstring& relative) const { return Dir() + WithBackslashes(relative); }

    // Writes the file, creating its folders, and gives it that write time.
    void Write(const std::wstring& relative, const std::string& bytes, int64_t time) const {
        const std::wstring path = Path(relative);
        ASSERT_TRUE(MakeDirs(path.substr(0, path.rfind(L'\\'))));
        ASSERT_TRUE(WriteWholeFile(path, bytes)) << WideToUtf8(relative);
        ASSERT_TRUE(SetFileTimes(path, time)) << WideToUtf8(relative);
    }
    // The file's bytes; empty when it cannot be read.
    std::string Read(const std::wstring& relative) const {
        std::string bytes;
        ReadWholeFile(Path(relative), bytes);
        return bytes;
    }
    // The file's write time in seconds since 1970; -1 when it is missing.
    int64_t TimeOf(const std::wstring& relative) const {
        FileFindData data;
        return FindFile(Path(relative), data) ? data.writeTime : -1;
    }
    bool Exists(const std::wstring& relative) const { return FileExists(Path(relative)); }

private:
    ScopedTempDir dir_;
};
