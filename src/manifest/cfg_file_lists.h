// The file lists of testCfg.ini (section "CFG" in the application
// directory), by which a tester keeps files of an installation as they are:
// "noupdateFiles" names files never replaced, "nodownfiles" files never
// downloaded. A list is the file names, each followed by ';'.
//
// No shared state: any thread may call these functions.
#pragma once

#include <string>

// The file's name in the application directory.
extern const wchar_t kTestCfgFileName[];  // "testCfg.ini"

// "noupdateFiles" of the testCfg.ini at that path, at most 4095 characters;
// empty when the file or the key is missing.
std::wstring ReadNoUpdateFiles(const std::wstring& testCfgPath);
// "nodownfiles" of the testCfg.ini at that path, at most 4095 characters;
// empty when the file or the key is missing.
std::wstring ReadNoDownFiles(const std::wstring& testCfgPath);

// True when the text name + ";" occurs anywhere in the list (case-sensitive),
// so "a.dll;" also names "xa.dll" and "b\a.dll".
bool ListNamesFile(const std::wstring& list, const std::wstring& name);
