// What the launcher does with its command line.
#pragma once

#include <string>

enum CommandType {
    CMD_TYPE_NONE = 0,            // call the "MEETMGR" client module with the whole line
    CMD_TYPE_WEB_HOME = 1,        // open the web home page or an entrance-table target
    CMD_TYPE_COMMAND_STRING = 2,  // the line is a command string
    CMD_TYPE_UPDATE = 3,          // run the updater with the value of "-param"
    CMD_TYPE_START = 4,           // "-param" holds a command string
    CMD_TYPE_CFG = 5,             // as CMD_TYPE_NONE
    CMD_TYPE_STOP = 6,            // as CMD_TYPE_NONE
};

// Classifies a "-do" value by case-sensitive substring, testing "start",
// "stop", "update" and "cfg" in that order; CMD_TYPE_NONE when none is found.
CommandType CommandTypeOfDo(const std::wstring& value);
