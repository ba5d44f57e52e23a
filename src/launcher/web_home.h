// The product's web home page and how it is opened.
#pragma once

#include <string>

// Builds the web home page URL from the product's web host: trailing '/'
// removed, "/ClientEntrance" appended, "http://" put in front unless the
// result already begins with it (case-sensitive).
std::wstring WebHomeUrlOf(const std::wstring& host);

// The shell's "open" verb.
class CShellOpener {
public:
    virtual ~CShellOpener() = default;
    // Opens file (with parameters, which may be empty) in a normal window.
    // Returns the shell's result: above 32 on success.
    virtual long long Open(const std::wstring& file, const std::wstring& parameters) = 0;
};

// Opens the target with the shell, falling back to "iexplore.exe" with the
// target as its parameter. Returns 0 on success, -1 when both failed.
int OpenWebPageWith(CShellOpener& shell, const std::wstring& target);
