// Clocks: a monotonic tick count for measuring durations, and the local wall
// clock to the millisecond for time stamps.
#pragma once

#include <cstdint>

// Milliseconds since an unspecified start; never goes backwards and does not
// wrap (GetTickCount64; CLOCK_MONOTONIC natively).
uint64_t TickCountMs();

struct LocalClockTime {
    int year = 0;    // four digits
    int month = 0;   // 1-12
    int day = 0;     // 1-31
    int hour = 0;    // 0-23
    int minute = 0;  // 0-59
    int second = 0;  // 0-59 (60 on a leap second where the system reports one)
    int millisecond = 0;  // 0-999
};

// The local date and time now (GetLocalTime; localtime_r natively).
LocalClockTime LocalClockNow();
