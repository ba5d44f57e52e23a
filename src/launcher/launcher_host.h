// What the launcher's dispatch needs from its surroundings: resources, user
// configuration, the file system and the actions it hands over to. The
// executable implements it on Windows; tests stand in for it.
#pragma once

#include <string>

class CLauncherHost {
public:
    virtual ~CLauncherHost() = default;

    // String resource 1003; empty when it cannot be loaded.
    virtual std::wstring OemId() = 0;
    // Key "TVVersion" of section "CFG" of UserCfg.ini is not 0.
    virtual bool TvEditionOn() = 0;
    // String resource 1008, entries separated by ';'.
    virtual std::wstring EntranceTable() = 0;
    // The default web home page URL.
    virtual std::wstring WebHomeUrl() = 0;
    // The bare module name exists in the application directory.
    virtual bool ModuleExists(const std::wstring& module) = 0;
    // The executable's own directory differs from the application directory.
    virtual bool RunningFromUpdateVer() = 0;
    // Rolls back (or completes) an update whose files were being applied
    // when its process ended, so that no client module is loaded from a
    // mix of two releases. Needs no network.
    virtual void RecoverUnfinishedApply() = 0;

    // Loads the module and calls its "Init" with the command line. Returns
    // false when there is no "Init" to call; otherwise result holds its value.
    virtual bool CallClient(const std::wstring& module, const std::wstring& commandLine, int& result) = 0;
    // Returns 0 when the target was opened, -1 otherwise.
    virtual int OpenWebPage(const std::wstring& target) = 0;
    // Runs the updater application with the command string; returns its result.
    virtual int DoUpdate(const std::wstring& commandString) = 0;
};
