#include "util/clock.h"

#include <windows.h>

uint64_t TickCountMs() { return GetTickCount64(); }

LocalClockTime LocalClockNow() {
    SYSTEMTIME st;
    GetLocalTime(&st);
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
