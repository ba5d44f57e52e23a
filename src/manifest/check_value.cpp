#include "manifest/check_value.h"

#include "manifest/ini_profile.h"
#include "manifest/digest.h"
#include "util/system_util.h"

namespace {

const struct {
    int kind;
    const wchar_t* text;
} kCheckKindTexts[] = {
    {CHECK_KIND_NONE, L""},     {CHECK_KIND_VERSION, L"VER"}, {CHECK_KIND_MD5, L"MD5"},
    {CHECK_KIND_INI_VERSION, L"IVER"}, {CHECK_KIND_SHA256, L"SHA256"},
};

}  // namespace

int CheckKindFromText(const std::wstring& text) {
    for (const auto& entry : kCheckKindTexts) {
        if (text == entry.text) return entry.kind;
    }
    return CHECK_KIND_OTHER;
}

bool CheckKindText(int kind, std::wstring& text) {
    for (const auto& entry : kCheckKindTexts) {
        if (kind == entry.kind) {
            text = entry.text;
            return true;
        }
    }
    return false;
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
        return FileDigestText(DIGEST_MD5, path, value);
    case CHECK_KIND_SHA256:
        return FileDigestText(DIGEST_SHA256, path, value);
    case CHECK_KIND_INI_VERSION:
        value = IniVersionText(path);
        return true;
    default:
        return true;
    }
}
