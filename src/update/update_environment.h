// What the update worker needs from the system around it beyond files: where
// the running updater lives, the product's identity and release keys, the
// connections of the download manager and the starting of programs. The executable uses the
// system's own (the updater application implements it); tests stand in for it.
//
// Threading: the worker calls it on its own thread, except ConnectionFactory,
// whose factory is used on the worker's thread while the download manager
// does not run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/http_connection.h"

class CUpdateEnvironment {
public:
    virtual ~CUpdateEnvironment() = default;

    // Full path of the running updater program.
    virtual std::wstring ModulePath() = 0;
    // The OEM identifier (string resource 1003); names the default updater.
    virtual std::wstring OemId() = 0;
    // The command string the updater was started with: the value of the
    // update-info macro "%ORGPARAM%".
    virtual std::wstring StartParameters() = 0;
    // The public keys (PEM texts) of the release keys: a manifest is used
    // only when one of them verifies its signature. Empty: manifests are
    // used unsigned.
    virtual std::vector<std::string> ReleaseKeys() = 0;
    // Makes the download manager's connections; outlives the worker.
    virtual CHttpConnectionFactory* ConnectionFactory() = 0;
    // Runs a command line and waits as RunProgram (util/process_util.h)
    // does. Returns 0 or the system error code of a failed start; 995 when
    // the child ended without signalling the awaited event.
    virtual int RunProgram(uint32_t& exitCode, const std::wstring& commandLine, int showCommand, bool asAdmin,
                           const wchar_t* waitMode) = 0;
    // Starts a command line without waiting. Returns 0 and the new process's
    // id, or the system error code of a failed start.
    virtual int StartProcess(const std::wstring& commandLine, int showCommand, uint32_t& processId) = 0;
};
