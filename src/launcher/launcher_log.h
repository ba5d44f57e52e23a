#pragma once

// Opens the trace log under the application directory's "log\" with the
// launcher's file names and limits, and writes the start banner. Returns
// false when the folder or the log cannot be opened; later lines are then
// dropped silently.
bool InitLauncherLog();
