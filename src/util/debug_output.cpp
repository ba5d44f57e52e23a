#include "util/debug_output.h"

#include <cstdarg>
#include <cstdio>

void DebugOutputFormat(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0) return;
    DebugOutput(text);
}
