// The launcher's decision: classify the command line, then hand over to one
// action whose result becomes the process exit code.
#pragma once

#include <string>

#include "launcher/command_type.h"

class CLauncherHost;

struct LauncherDecision {
    CommandType type = CMD_TYPE_NONE;
    std::wstring target;  // what CMD_TYPE_WEB_HOME opens
};

// Classifies the command line without acting on it.
LauncherDecision ClassifyCommandLine(CLauncherHost& host, const std::wstring& commandLine);

// Settles an update left unfinished (CLauncherHost::RecoverUnfinishedApply),
// then classifies and acts. Returns the action's result: the client module's
// "Init" result, 0/-1 for the web page, the updater's result, or -1 when a
// module cannot be called or a command string cannot be decoded.
int Dispatch(CLauncherHost& host, const std::wstring& commandLine);

// Decodes a command string and calls the module its "-MEETTYPE" names, or
// runs the updater when that module is missing or this copy runs from
// "UpdateVer\". Returns -1 for an undecodable string or a failed call.
int RunCommandString(CLauncherHost& host, const std::wstring& commandString);
