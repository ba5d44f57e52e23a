#include "vocabulary/command_string.h"

#include <algorithm>
#include <utility>

#include "diag/trace_log.h"
#include "util/base64.h"
#include "util/code_page.h"

namespace {

const wchar_t kSchemeWord[] = L"qkmt";
const size_t kSchemeWordLength = 4;
// A ':' further in ends no scheme word: such a line is an ordinary argument.
const size_t kLastColonPosition = 32;

wchar_t LowerAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool IsWhiteSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

// True when "qkmt", in any letter case, stands at position at.
bool HasSchemeWordAt(const std::wstring& text, size_t at) {
    if (text.size() < at + kSchemeWordLength) return false;
    for (size_t k = 0; k < kSchemeWordLength; ++k) {
        if (LowerAscii(text[at + k]) != kSchemeWord[k]) return false;
    }
    return true;
}

}  // namespace

bool IsCommandString(const std::wstring& commandLine) {
    // Only leading white space moves the positions: trailing white space holds no ':'.
    size_t start = 0;
    while (start < commandLine.size() && IsWhiteSpace(commandLine[start])) ++start;
    if (!HasSchemeWordAt(commandLine, start)) return false;
    // The scheme word keeps the ':' off position 0.
    size_t colon = commandLine.find(L':', start);
    return colon != std::wstring::npos && colon - start <= kLastColonPosition;
}

bool DecodeCmdLine(const std::wstring& commandString, std::wstring& prefix, std::wstring& text) {
    text.clear();
    size_t colon = commandString.find(L':', kSchemeWordLength);
    if (!HasSchemeWordAt(commandString, 0) || colon == std::wstring::npos) {
        DownLogErr("unknow cmd prefix!");
        return false;
    }
    std::string bytes;
    std::wstring decoded;
    if (Base64Decode(WideToAnsi(commandString.substr(colon + 1)), bytes)) {
        bytes.resize(std::min(bytes.find('\0'), bytes.size()));
        decoded = AnsiToWide(bytes);
    }
    if (decoded.empty() || decoded[0] != L'-') {
        DownLogErr("unknow decode cmdstr!");
        return false;
    }
    prefix = commandString.substr(0, colon + 1);
    text = std::move(decoded);
    return true;
}

std::wstring EncodeCmdLine(const std::wstring& prefix, const std::wstring& text) {
    const std::string body = Base64Encode(WideToAnsi(text));
    // Base64 is plain ASCII, the same in every code page.
    return prefix + std::wstring(body.begin(), body.end());
}
