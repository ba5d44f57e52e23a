#include "util/time_util.h"

#include <windows.h>

#include "util/system_time_win.h"

bool LocalClockTimeOf(int64_t secondsSince1970, LocalClockTime& out) {
    uint64_t ticks = SecondsToFileTime(secondsSince1970);
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    SYSTEMTIME utc;
    SYSTEMTIME local;
    // The time zone's rule for that date, so summer time is right all year.
    if (!FileTimeToSystemTime(&time, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        return false;
    }
    out = ClockTimeOf(local);
    return true;
}
