#include "util/named_mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "util/code_page.h"

namespace {

std::string LockFilePath(const std::wstring& name) {
    std::string safe = WideToUtf8(name);
    for (char& c : safe) {
        if (c == '/' || c == '\\') c = '_';
    }
    // One fixed folder for every process, whatever its TMPDIR says.
    return "/tmp/" + safe + ".lock";
}

}  // namespace

// The flock is held once per object while depth > 0; the recursive mutex lets
// the owning thread lock again, as a Windows mutex does, and keeps other
// threads of this process waiting.
struct NamedMutex::State {
    int fd = -1;
    std::recursive_mutex threads;
    int depth = 0;
};

NamedMutex::NamedMutex(const std::wstring& name) : state_(std::make_unique<State>()) {
    const std::string path = LockFilePath(name);
    state_->fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    // A lock file made by another user may be read-only to us; flock works
    // on a read-only descriptor as well.
    if (state_->fd < 0) state_->fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

NamedMutex::~NamedMutex() {
    if (state_->fd >= 0) close(state_->fd);
}

bool NamedMutex::IsValid() const { return state_->fd >= 0; }

bool NamedMutex::Lock() {
    if (state_->fd < 0) return false;
    state_->threads.lock();
    if (state_->depth == 0) {
        int rc;
        do {
            rc = flock(state_->fd, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            state_->threads.unlock();
            return false;
        }
    }
    ++state_->depth;
    return true;
}

bool NamedMutex::TryLock() {
    if (state_->fd < 0) return false;
    if (!state_->threads.try_lock()) return false;
    if (state_->depth == 0 && flock(state_->fd, LOCK_EX | LOCK_NB) != 0) {
        state_->threads.unlock();
        return false;
    }
    ++state_->depth;
    return true;
}

void NamedMutex::Unlock() {
    if (state_->fd < 0) return;
    if (--state_->depth == 0) flock(state_->fd, LOCK_UN);
    state_->threads.unlock();
}
