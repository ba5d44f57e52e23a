// A mutex shared by every process on the machine under one name, for files
// that several processes write (the trace log's "QKLogMutex").
//
// Windows: a named kernel mutex. A mutex whose owner died without releasing
// it (abandoned) counts as acquired, so the survivors keep working. The
// owning thread may lock it again; each Lock needs its Unlock.
// POSIX: an exclusive flock on "/tmp/<name>.lock", plus an in-process
// lock so that threads of one process exclude each other as well.
//
// One object may be used from several threads.
#pragma once

#include <memory>
#include <string>

class NamedMutex {
public:
    // Creates the mutex, or opens it if another process made it; not owned.
    // IsValid() tells whether that worked.
    explicit NamedMutex(const std::wstring& name);
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    bool IsValid() const;
    // Waits without time-out. Returns false when the mutex is invalid or the
    // wait failed; the caller then does not own it.
    bool Lock();
    // Takes the mutex only if nobody else holds it. Returns false when it is
    // held elsewhere, invalid, or the attempt failed.
    bool TryLock();
    // Releases one Lock/TryLock of the calling thread.
    void Unlock();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Holds the mutex for its own lifetime (if Lock succeeded).
class NamedMutexLock {
public:
    explicit NamedMutexLock(NamedMutex& mutex) : mutex_(mutex), owned_(mutex.Lock()) {}
    ~NamedMutexLock() {
        if (owned_) mutex_.Unlock();
    }
    NamedMutexLock(const NamedMutexLock&) = delete;
    NamedMutexLock& operator=(const NamedMutexLock&) = delete;

    // False when the wait failed and the mutex is not held.
    bool owned() const { return owned_; }

private:
    NamedMutex& mutex_;
    bool owned_;
};
