// The switches of an update-info command value ("StopCmd", "CheckCmd",
// "SetupCmd", "StartCmd"): written anywhere after the program name, each
// after one space, and taken out of the command line before it runs.
//   " /ADMIN"        run elevated (only where elevation exists)
//   " /WAIT<word>"   wait mode "WAIT<word>" ("WAIT_name", "WAITIDLE", "WAITEXIT"...)
//   " /WAITIDLE"     wait mode "WAITIDLE"
//   " /DOWHENEXIST"  run only when the program file exists
// Pure text work; any thread may call it.
#pragma once

#include <string>

struct SCommandSwitches {
    std::wstring commandLine;  // the command without its switches
    bool elevated = false;
    std::wstring waitMode = L"WAITEXIT";
    bool onlyIfPresent = false;
};

// Reads and removes the switches, in the order above; a switch counts only
// after the first character. On a system without elevation (vistaOrLater
// false) " /ADMIN" stays in the command line and does nothing.
SCommandSwitches ParseCommandSwitches(const std::wstring& command, bool vistaOrLater);
