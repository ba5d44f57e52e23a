#include "manifest/cfg_file_lists.h"

#include "manifest/ini_profile.h"

namespace {

const int kFileListChars = 4096;

}  // namespace

const wchar_t kTestCfgFileName[] = L"testCfg.ini";

std::wstring ReadNoUpdateFiles(const std::wstring& testCfgPath) {
    return ReadProfileString(L"CFG", L"noupdateFiles", L"", kFileListChars, testCfgPath);
}

std::wstring ReadNoDownFiles(const std::wstring& testCfgPath) {
    return ReadProfileString(L"CFG", L"nodownfiles", L"", kFileListChars, testCfgPath);
}

bool ListNamesFile(const std::wstring& list, const std::wstring& name) {
    return list.find(name + L";") != std::wstring::npos;
}
