// A small block of memory shared by name between processes, backed by the
// paging file and guarded by a named mutex ("<name>Mut"). Both may already
// exist; the last process to close them makes them disappear.
//
// Threading: one thread uses a ShareMem object; across processes the mutex
// (Lock/Unlock) serialises every read and write of the block.
#pragma once

#include <string>

class ShareMem {
public:
    ShareMem() = default;
    ~ShareMem();
    ShareMem(const ShareMem&) = delete;
    ShareMem& operator=(const ShareMem&) = delete;

    // Creates or opens the mutex "<name>Mut" and, holding it, the read-write
    // mapping of size bytes named name; a mapping that this call created is
    // zeroed, an existing one keeps its contents. Closes what was open
    // before. Returns 0, or the system error code with nothing left open;
    // a name over 259 characters gives ERROR_FILENAME_EXCED_RANGE.
    int Open(const std::string& name, unsigned size);
    void Close();
    bool IsOpen() const { return view_ != nullptr; }

    // Waits without time-out for the mutex. Returns 0, or the system error
    // code when the wait failed (the block is then not guarded).
    int Lock();
    void Unlock();

    // The mapped block; null while closed.
    void* Data() const { return view_; }
    unsigned Size() const { return size_; }

private:
    void* mutex_ = nullptr;
    unsigned size_ = 0;
    void* mapping_ = nullptr;
    void* view_ = nullptr;
};

// Holds a ShareMem's mutex for its lifetime.
class ShareMemLock {
public:
    explicit ShareMemLock(ShareMem& memory) : memory_(memory), error_(memory.Lock()) {}
    ~ShareMemLock() {
        if (error_ == 0) memory_.Unlock();
    }
    ShareMemLock(const ShareMemLock&) = delete;
    ShareMemLock& operator=(const ShareMemLock&) = delete;

    // 0, or the system error code of the failed wait.
    int error() const { return error_; }

private:
    ShareMem& memory_;
    int error_;
};
