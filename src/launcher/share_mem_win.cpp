#include "launcher/share_mem.h"

#include <windows.h>

#include <cstring>

namespace {
const size_t kMaxNameLength = 259;
}

ShareMem::~ShareMem() { Close(); }

int ShareMem::Open(const std::string& name, unsigned size) {
    Close();
    if (name.size() > kMaxNameLength) return ERROR_FILENAME_EXCED_RANGE;
    mutex_ = CreateMutexA(nullptr, FALSE, (name + "Mut").c_str());
    if (!mutex_) return static_cast<int>(GetLastError());
    int error = Lock();
    if (error != 0) {
        Close();
        return error;
    }
    SetLastError(0);
    mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name.c_str());
    const DWORD createResult = GetLastError();
    error = mapping_ ? 0 : static_cast<int>(createResult);
    const bool existed = createResult == ERROR_ALREADY_EXISTS;
    if (error == 0) {
        view_ = MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, size);
        if (!view_) error = static_cast<int>(GetLastError());
    }
    if (error == 0) {
        size_ = size;
        if (!existed) std::memset(view_, 0, size);
    }
    Unlock();
    if (error != 0) Close();
    return error;
}

void ShareMem::Close() {
    if (view_) UnmapViewOfFile(view_);
    if (mapping_) CloseHandle(mapping_);
    if (mutex_) CloseHandle(mutex_);
    view_ = nullptr;
    mapping_ = nullptr;
    mutex_ = nullptr;
    size_ = 0;
}

int ShareMem::Lock() {
    if (!mutex_) return ERROR_INVALID_HANDLE;
    // An abandoned mutex is owned all the same: its last owner ended while
    // holding it, and the block's one word is still whole.
    const DWORD result = WaitForSingleObject(mutex_, INFINITE);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) return 0;
    return static_cast<int>(GetLastError());
}

void ShareMem::Unlock() {
    if (mutex_) ReleaseMutex(mutex_);
}
