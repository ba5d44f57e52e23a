// Windows-only: the system's calendar time record as the clock's own.
#pragma once

#include <windows.h>

#include "util/clock.h"

inline LocalClockTime ClockTimeOf(const SYSTEMTIME& st) {
    LocalClockTime t;
    t.year = st.wYear;
    t.month = st.wMonth;
    t.day = st.wDay;
    t.hour = st.wHour;
    t.minute = st.wMinute;
    t.second = st.wSecond;
    t.millisecond = st.wMilliseconds;
    return t;
}
