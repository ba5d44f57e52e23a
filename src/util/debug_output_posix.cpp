#include "util/debug_output.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

void DebugOutput(const char* text) {
    static const bool enabled = std::getenv("ZM_DEBUG_OUTPUT") != nullptr;
    if (enabled) std::fputs(text, stderr);
}

uint32_t CurrentThreadId() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

bool SetCurrentThreadName(const char* name) {
    char shortName[16];
    std::strncpy(shortName, name, sizeof shortName - 1);
    shortName[sizeof shortName - 1] = '\0';
    return pthread_setname_np(pthread_self(), shortName) == 0;
}
