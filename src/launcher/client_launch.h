// Calling a client module, opening the web home page, and handing over to the
// updater application.
#pragma once

#include <string>

// The client module's entry: C calling convention, the launcher's instance
// handle and its wide command line in, the exit code out.
typedef int(__cdecl* ClientInitFn)(void* instance, const wchar_t* commandLine);

// Loads the module by its bare name and returns its "Init", or nullptr after
// a WAR line when the module or the export is missing.
ClientInitFn LoadClientEntry(const std::wstring& module);

// Closes the trace log, so every launcher line is on disk and the module can
// open the same files, then calls init. Returns what it returns.
int InvokeClientEntry(ClientInitFn init, void* instance, const std::wstring& commandLine);

// Returns what "Init" returns, or -1 when there is none. The trace log is
// closed before "Init" runs so the module can write the same files.
int CallClient(const std::wstring& module, void* instance, const std::wstring& commandLine);

// The default web home page from string resource 1002.
std::wstring WebHomeUrl();

// Returns 0 when the shell opened the target (or, failing that, Internet
// Explorer with it as parameter), -1 otherwise.
int OpenWebPage(const std::wstring& target);

// Runs the updater application in this process; returns its result.
int DoUpdate(void* instance, const std::wstring& commandString);
