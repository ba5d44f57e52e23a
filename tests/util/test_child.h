// Where the Windows tests find helpers/test_child.cpp: built next to util_tests.
#pragma once

#include <windows.h>

#include <string>

#include "util/path_util.h"

inline std::wstring TestChildPath() {
    std::wstring directory;
    SplitModulePath(GetModulePath(), &directory, nullptr);
    return directory + L"zm_test_child.exe";
}

// The quoted child program followed by its arguments.
inline std::wstring TestChildCommand(const std::wstring& arguments) {
    return L"\"" + TestChildPath() + L"\" " + arguments;
}

// An event name no other test run uses.
inline std::wstring UniqueEventName(const wchar_t* purpose) {
    static int counter = 0;
    return L"zmtest-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter) + L"-" + purpose;
}
