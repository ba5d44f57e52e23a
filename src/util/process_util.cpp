#include "util/process_util.h"

#include <cwchar>

namespace {

const wchar_t kEventPrefix[] = L"WAIT_";

std::wstring WithoutLeadingWhiteSpace(const std::wstring& text) {
    size_t start = text.find_first_not_of(L" \t");
    return start == std::wstring::npos ? std::wstring() : text.substr(start);
}

}  // namespace

WaitMode ParseWaitMode(const wchar_t* text, std::wstring& eventName) {
    eventName.clear();
    if (!text || !*text || std::wcscmp(text, L"WAITEXIT") == 0) return WaitMode::kExit;
    if (std::wcscmp(text, L"WAITIDLE") == 0) return WaitMode::kIdle;
    const size_t prefixLength = sizeof kEventPrefix / sizeof kEventPrefix[0] - 1;
    if (std::wcsncmp(text, kEventPrefix, prefixLength) == 0) {
        eventName = text + prefixLength;
        return WaitMode::kEvent;
    }
    return WaitMode::kNone;
}

bool SplitCommandLine(const std::wstring& commandLine, std::wstring& file, std::wstring& parameters) {
    file.clear();
    parameters.clear();
    if (!commandLine.empty() && commandLine[0] == L'"') {
        size_t closing = commandLine.find(L'"', 1);
        if (closing == std::wstring::npos) return false;
        file = commandLine.substr(1, closing - 1);
        parameters = WithoutLeadingWhiteSpace(commandLine.substr(closing + 1));
        return true;
    }
    size_t space = commandLine.find(L' ', 1);
    if (space == std::wstring::npos) {
        file = commandLine;
        return true;
    }
    file = commandLine.substr(0, space);
    parameters = WithoutLeadingWhiteSpace(commandLine.substr(space + 1));
    return true;
}
