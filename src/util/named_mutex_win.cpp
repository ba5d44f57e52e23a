#include "util/named_mutex.h"

#include <windows.h>

struct NamedMutex::State {
    HANDLE handle = nullptr;
};

NamedMutex::NamedMutex(const std::wstring& name) : state_(std::make_unique<State>()) {
    state_->handle = CreateMutexW(nullptr, FALSE, name.c_str());
}

NamedMutex::~NamedMutex() {
    if (state_->handle) CloseHandle(state_->handle);
}

bool NamedMutex::IsValid() const { return state_->handle != nullptr; }

bool NamedMutex::Lock() {
    if (!state_->handle) return false;
    DWORD result = WaitForSingleObject(state_->handle, INFINITE);
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

bool NamedMutex::TryLock() {
    if (!state_->handle) return false;
    DWORD result = WaitForSingleObject(state_->handle, 0);
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

void NamedMutex::Unlock() {
    if (state_->handle) ReleaseMutex(state_->handle);
}
