#include "manifest/check_value.h"

#include "manifest/ini_profile.h"
#include "manifest/md5.h"
#include "util/system_util.h"

int CheckKindFromText(const std::wstring& text) {
    if (text.empty()) return CHECK_KIND_NONE;
    if (text == L"VER") return CHECK_KIND_VERSION;
    if (text == L"MD5") return CHECK_KIND_MD5;
    if (text == L"IVER") return CHECK_KIND_INI_VERSION;
    return CHECK_KIND_OTHER;
}

std::wstring IniVersionText(const std::wstring& path) {
    const int kVersionChars = 32;
    return ReadProfileString(L"VER", L"Ver", L"", kVersionChars, path);
}

bool ComputeFileCheckValue(int kind, const std::wstring& path, std::wstring& value) {
    value.clear();
    switch (kind) {
    case CHECK_KIND_VERSION:
        return GetFileVersionText(path, value);
    case CHECK_KIND_MD5:
        return FileMd5Text(path, value);
    case CHECK_KIND_INI_VERSION:
        value = IniVersionText(path);
        return true;
    default:
        return true;
    }
}
