#include "update/command_switches.h"

namespace {

const wchar_t kAdminSwitch[] = L" /ADMIN";
const wchar_t kWaitSwitch[] = L" /WAIT";
const wchar_t kWaitIdleSwitch[] = L" /WAITIDLE";
const wchar_t kOnlyIfPresentSwitch[] = L" /DOWHENEXIST";

bool FoundAfterStart(const std::wstring& text, const wchar_t* word) {
    const size_t at = text.find(word);
    return at != std::wstring::npos && at > 0;
}

void RemoveAll(std::wstring& text, const std::wstring& word) {
    for (size_t at = text.find(word); at != std::wstring::npos; at = text.find(word, at)) text.erase(at, word.size());
}

}  // namespace

SCommandSwitches ParseCommandSwitches(const std::wstring& command, bool vistaOrLater) {
    SCommandSwitches result;
    std::wstring& cmd = result.commandLine;
    cmd = command;
    if (FoundAfterStart(cmd, kAdminSwitch) && vistaOrLater) {
        result.elevated = true;
        RemoveAll(cmd, kAdminSwitch);
    }
    const size_t wait = cmd.find(kWaitSwitch);
    if (wait != std::wstring::npos && wait > 0) {
        // The mode is the word after " /", up to the next space.
        const size_t word = wait + 2;
        size_t end = cmd.find(L' ', word);
        if (end == std::wstring::npos) end = cmd.size();
        result.waitMode = cmd.substr(word, end - word);
        cmd.erase(wait, end - wait);
    }
    if (FoundAfterStart(cmd, kWaitIdleSwitch)) {
        result.waitMode = L"WAITIDLE";
        RemoveAll(cmd, kWaitIdleSwitch);
    }
    if (FoundAfterStart(cmd, kOnlyIfPresentSwitch)) {
        result.onlyIfPresent = true;
        RemoveAll(cmd, kOnlyIfPresentSwitch);
    }
    return result;
}
