// File-system operations shared by the launcher and the updater. Paths are
// Windows paths ('\' separators); the native build maps them to the OS.
// All report failure by their result and never show anything to the user.
#pragma once

#include <cstdint>
#include <string>

struct FileFindData {
    std::wstring name;       // file name without directory
    bool isDirectory = false;
    uint64_t size = 0;
    int64_t writeTime = 0;   // seconds since 1970-01-01 UTC
};

// True when the path has attributes (file or directory).
bool FileExists(const std::wstring& path);
// Removes the read-only attribute if set; returns true.
bool ClearReadOnly(const std::wstring& path);
// Up to 40 copy attempts 500 ms apart; true on the first success.
bool CopyFileRetry(const std::wstring& source, const std::wstring& target, bool failIfExists);
// A missing file gives !mustExist. Otherwise clears read-only, then up to 5
// delete attempts 200 ms apart; true on success.
bool DeleteFileRetry(const std::wstring& path, bool mustExist);
// Creates the directory and every missing parent ('/' taken as '\', trailing
// separators ignored); an existing directory is success.
bool MakeDirs(const std::wstring& path);
// Deletes everything below the directory and the directory itself; true only
// if everything went.
bool RemoveTree(const std::wstring& directory);
// Reads a whole existing file; true if all its bytes came.
bool ReadWholeFile(const std::wstring& path, std::string& bytes);
// Creates or truncates the file and writes all bytes; true on success.
bool WriteWholeFile(const std::wstring& path, const std::string& bytes);
// Low 32 bits of the file's size; 0 if not found.
uint32_t GetFileSizeByName(const std::wstring& path);
// True and the entry's data if the path is found.
bool FindFile(const std::wstring& path, FileFindData& data);
// Sets creation, access and write time to that moment; true on success.
bool SetFileTimes(const std::wstring& path, int64_t secondsSince1970);
