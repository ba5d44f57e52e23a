// The result codes of one update. The worker ends with one of them, or with
// the process id of a newer updater that carries the update on; either is the
// updater's exit code.
#pragma once

enum UpdateResultCode {
    URC_NO_ERR = 0,
    URC_UNKNOW_ERR = 1,            // the new updater file is missing
    URC_PARAM_ERR = 2,             // no web server, a refused server string, no file server
    URC_NEED_RESETUP = 3,          // decided by the dialog
    URC_MEETINFO_ERR = 4,          // the version reply lacks the version or the file servers
    URC_USR_CANCEL = 5,            // decided by the dialog
    URC_DOWNLOAD_ERR = 6,          // a download failed; also the dialog's watchdog
    URC_SVR_ERR = 7,               // the server answered with an error
    URC_LOCAL_STATE_ERR = 8,       // decided by the dialog
    URC_START_NEWUPDATE_ERR = 9,   // the new updater could not be started
    URC_LOCAL_UPDATE_ERR = 10,     // the manifest calculation or a setup command failed
    URC_START_MEET_ERR = 11,       // the main program could not be started
    URC_LOCAL_FILE_COPY_ERR = 12,  // a local file could not be moved, copied or deleted
    URC_SVR_MEET_STOPPED = 13,     // the server says the meeting has ended
    BUTT = 14,                     // end marker; never a result
};

// The code's name ("URC_NO_ERR"...), "NewPID" for a process id (above BUTT),
// "unknown" for a negative code.
const char* UpdateResultName(int code);

// True for the codes that count as a failed update: 1 to 14 except
// URC_SVR_MEET_STOPPED, which is the server's answer rather than a fault.
bool IsUpdateError(int code);

// True when the code is the process id of a newer updater.
bool IsNewUpdaterPid(int code);
