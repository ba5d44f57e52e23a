#include "decimal_text.h"

#include <cerrno>
#include <cstdlib>

bool ParseDecimal(const std::string& text, long long low, long long high, long long& value) {
    if (text.empty() || text[0] == '+' || text[0] == ' ') return false;
    char* end = nullptr;
    errno = 0;
    long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
    value = parsed;
    return true;
}
