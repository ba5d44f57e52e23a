#include "launcher/client_module.h"

const wchar_t* const kMeetingTypeNames[3] = {L"PSTN", L"MAIN", L"MEETMGR"};

const wchar_t* const kClientModules[7] = {
    L"QKNetMeeting.dll",      L"QKPstnMeeting.dll", L"TALKLANEMeeting.dll", L"MeetingMgrClient.dll",
    L"TVNetMeeting.dll",      L"TVMeetingMgr.dll",  L"MeetingMgrClient.dll",
};

int ClientModuleIndex(int meetingTypeIndex, const std::wstring& oemId, bool tvEdition) {
    if (oemId == L"TALKLANE") return 2;
    switch (meetingTypeIndex) {
        case 0: return 1;
        case 1: return tvEdition ? 4 : 0;
        case 2: return tvEdition ? 5 : 3;
        default: return 6;
    }
}
