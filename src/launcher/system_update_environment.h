// The update worker's environment in the executable: the running program,
// its resources and release keys, the updater application's command string,
// WinHTTP connections and the system's process start. Windows build only.
#pragma once

#include "update/update_environment.h"

// The process's one environment; it lives as long as the process.
CUpdateEnvironment& SystemUpdateEnvironment();
