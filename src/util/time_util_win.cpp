#include "util/time_util.h"

#include <windows.h>

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
    out.year = local.wYear;
    out.month = local.wMonth;
    out.day = local.wDay;
    out.hour = local.wHour;
    out.minute = local.wMinute;
    out.second = local.wSecond;
    out.millisecond = local.wMilliseconds;
    return true;
}
