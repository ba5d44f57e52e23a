// Times as text and conversions between Windows file times and seconds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "util/clock.h"

// 100 ns units from 1601-01-01 to 1970-01-01.
constexpr uint64_t kFileTimeOf1970 = 116444736000000000ull;

// The local time now as "YYYY-MM-DD hh:mm:ss".
std::wstring NowText();
// The narrow twin of NowText, written into buffer (cut to size - 1 characters
// and always terminated when size > 0).
void NowTextA(char* buffer, size_t size);
// That moment in local time as "YYYY-MM-DD hh:mm:ss"; empty when the system
// cannot convert it.
std::wstring TimeText(int64_t secondsSince1970);
// The local date and time of that moment; false when the system cannot
// convert it (then out is unchanged).
bool LocalClockTimeOf(int64_t secondsSince1970, LocalClockTime& out);

// Seconds since 1970 of a file time (100 ns units since 1601), rounded
// toward zero.
int64_t FileTimeToSeconds(uint64_t fileTime);
// The file time of that many seconds since 1970.
uint64_t SecondsToFileTime(int64_t secondsSince1970);
