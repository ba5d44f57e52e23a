// The module instance handle given to the entry point, and the string
// resources loaded from it.
#pragma once

#include <string>

void SetAppInstance(void* instance);
void* GetAppInstance();

// Returns string resource id of the executable, or empty text (after the ERR
// line "Get resouce(%d) failed! (err:%d)") when it cannot be loaded.
std::wstring LoadResourceText(unsigned id);
