#include "update/update_result.h"

namespace {

const char* const kResultNames[BUTT + 1] = {
    "URC_NO_ERR",
    "URC_UNKNOW_ERR",
    "URC_PARAM_ERR",
    "URC_NEED_RESETUP",
    "URC_MEETINFO_ERR",
    "URC_USR_CANCEL",
    "URC_DOWNLOAD_ERR",
    "URC_SVR_ERR",
    "URC_LOCAL_STATE_ERR",
    "URC_START_NEWUPDATE_ERR",
    "URC_LOCAL_UPDATE_ERR",
    "URC_START_MEET_ERR",
    "URC_LOCAL_FILE_COPY_ERR",
    "URC_SVR_MEET_STOPPED",
    "BUTT",
};

}  // namespace

const char* UpdateResultName(int code) {
    if (code < 0) return "unknown";
    if (code > BUTT) return "NewPID";
    return kResultNames[code];
}

bool IsUpdateError(int code) { return code >= URC_UNKNOW_ERR && code <= BUTT && code != URC_SVR_MEET_STOPPED; }

bool IsNewUpdaterPid(int code) { return code > BUTT; }
