#include "util/time_util.h"

#include <time.h>

bool LocalClockTimeOf(int64_t secondsSince1970, LocalClockTime& out) {
    time_t seconds = static_cast<time_t>(secondsSince1970);
    tm local;
    if (!localtime_r(&seconds, &local)) return false;
    out.year = local.tm_year + 1900;
    out.month = local.tm_mon + 1;
    out.day = local.tm_mday;
    out.hour = local.tm_hour;
    out.minute = local.tm_min;
    out.second = local.tm_sec;
    out.millisecond = 0;
    return true;
}
