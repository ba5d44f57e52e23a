// The client modules the launcher can call, and how one is chosen.
#pragma once

#include <string>

// Meeting type names; the index of a name is what selects a module.
extern const wchar_t* const kMeetingTypeNames[3];
const int kMeetingTypeCount = 3;
const int kMeetingTypeMeetMgr = 2;

extern const wchar_t* const kClientModules[7];

// Returns the index into kClientModules for a meeting type index (0 "PSTN",
// 1 "MAIN", 2 "MEETMGR", anything else unknown).
int ClientModuleIndex(int meetingTypeIndex, const std::wstring& oemId, bool tvEdition);
