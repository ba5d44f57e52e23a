#pragma once

#include <string>

// Builds the web home page URL from the product's web host: trailing '/'
// removed, "/ClientEntrance" appended, "http://" put in front unless the
// result already begins with it (case-sensitive).
std::wstring WebHomeUrlOf(const std::wstring& host);
