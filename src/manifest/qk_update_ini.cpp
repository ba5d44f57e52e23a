#include "manifest/qk_update_ini.h"

#include "manifest/finger_item.h"

const wchar_t kUpdateInfoFileName[] = L"UpdateInfo.ini";
const wchar_t kAllowDowngradeKey[] = L"AllowDowngrade";
const wchar_t kMacroQkMeetDir[] = L"%QKMEETDIR%";
const wchar_t kMacroAppDir[] = L"%APPDIR%";
const wchar_t kMacroOemId[] = L"%OEMID%";
const wchar_t kMacroAppExe[] = L"%APPEXE%";
const wchar_t kMacroOrgParam[] = L"%ORGPARAM%";

CQKUpdateIni::CQKUpdateIni(const std::wstring& appDir, const std::wstring& oemId)
    : appDir_(appDir), oemId_(oemId) {}

void CQKUpdateIni::SetFile(const std::wstring& path) {
    CIniFile::SetFile(path);
    macros_.clear();
    SetMacro(kMacroQkMeetDir, appDir_);
    SetMacro(kMacroAppDir, appDir_);
    SetMacro(kMacroOemId, oemId_);
    const std::wstring appExe = GetString(oemId_, L"Job_APPEXE", L"", 256);
    if (appExe.empty()) return;
    std::unique_ptr<SFileTransItem> entry = ParseFileEntry(appExe);
    if (entry) SetMacro(kMacroAppExe, entry->name);
}

void CQKUpdateIni::ExpandValue(std::wstring& value) const {
    for (const auto& macro : macros_) {
        const std::wstring& name = macro.first;
        if (name.empty()) continue;
        for (size_t at = value.find(name); at != std::wstring::npos;
             at = value.find(name, at + macro.second.size())) {
            value.replace(at, name.size(), macro.second);
        }
    }
}

void CQKUpdateIni::SetMacro(const std::wstring& name, const std::wstring& value) { macros_[name] = value; }

std::wstring CQKUpdateIni::GetMacro(const std::wstring& name) const {
    auto found = macros_.find(name);
    return found == macros_.end() ? std::wstring() : found->second;
}

std::wstring CQKUpdateIni::GetMainSection() const {
    const int iniVer = GetInt(L"VER", L"INIVer");
    return iniVer > 1 ? L"MAIN_V" + std::to_wstring(iniVer) : std::wstring(L"MAIN");
}
