// Messages for a debugger and thread identity. The trace log reports its own
// slow steps here because it must not log into itself.
#pragma once

#include <cstdint>

// Sends the text to the debugger (OutputDebugStringA). In the native build it
// goes to stderr when the environment variable ZM_DEBUG_OUTPUT is set, and
// nowhere otherwise.
void DebugOutput(const char* text);
// printf-style DebugOutput; the text is cut at 1023 bytes.
void DebugOutputFormat(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The system's id of the calling thread (GetCurrentThreadId; gettid natively).
uint32_t CurrentThreadId();
// The system's id of this process.
uint32_t CurrentProcessId();
// Names the calling thread for debuggers; Windows before 10 has no thread
// names, and Linux keeps the first 15 bytes. Returns false when the name
// could not be set.
bool SetCurrentThreadName(const char* name);
