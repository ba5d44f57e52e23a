#include "util/time_util.h"

#include <cstdio>
#include <cwchar>

std::wstring NowText() {
    LocalClockTime t = LocalClockNow();
    wchar_t text[64];
    std::swprintf(text, sizeof text / sizeof text[0], L"%.4d-%.2d-%.2d %.2d:%.2d:%.2d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

void NowTextA(char* buffer, size_t size) {
    if (!buffer || size == 0) return;
    LocalClockTime t = LocalClockNow();
    std::snprintf(buffer, size, "%.4d-%.2d-%.2d %.2d:%.2d:%.2d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
}

std::wstring TimeText(int64_t secondsSince1970) {
    LocalClockTime t;
    if (!LocalClockTimeOf(secondsSince1970, t)) return std::wstring();
    wchar_t text[64];
    std::swprintf(text, sizeof text / sizeof text[0], L"%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

int64_t FileTimeToSeconds(uint64_t fileTime) {
    return (static_cast<int64_t>(fileTime) - static_cast<int64_t>(kFileTimeOf1970)) / 10000000;
}

uint64_t SecondsToFileTime(int64_t secondsSince1970) {
    return static_cast<uint64_t>(secondsSince1970) * 10000000u + kFileTimeOf1970;
}
