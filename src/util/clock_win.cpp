#include "util/clock.h"

#include <windows.h>

#include "util/system_time_win.h"

uint64_t TickCountMs() { return GetTickCount64(); }

LocalClockTime LocalClockNow() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return ClockTimeOf(st);
}
