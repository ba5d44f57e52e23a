// Strict decimal numbers for the server's options and control requests.
#pragma once

#include <string>

// Reads text that is a whole decimal number (an optional '-' and digits,
// nothing else) within [low, high]. Returns false, leaving value unchanged,
// otherwise.
bool ParseDecimal(const std::string& text, long long low, long long high, long long& value);
