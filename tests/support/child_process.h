// Starting the programs under test from a Windows test.
#pragma once

#include <string>

// The folder holding the executable under test and its helper modules.
std::wstring TestBinDir();

// Starts exe with the command line: its quoted path, a space and args, in the
// given working directory, waits up to timeoutMs and returns its exit
// code; INT_MIN when it could not start or did not end in time (it is then
// terminated).
int RunAndWait(const std::wstring& exe, const std::wstring& args, const std::wstring& workDir,
               unsigned timeoutMs = 60000);
