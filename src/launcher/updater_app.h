// The updater application, run inside the launcher's process.
#pragma once

#include <string>

// Runs one update for the command string. Returns the update's result code;
// -1 when it cannot start (an empty or undecodable command string).
int RunUpdater(void* instance, const std::wstring& commandString);
