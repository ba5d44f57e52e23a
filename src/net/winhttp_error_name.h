// Short names of WinHTTP error codes for log lines.
//
// Threading: a pure function over constant data; any thread may call it.
#pragma once

#include <cstdint>

// Returns the name of a WinHTTP error code as the SDK spells its constant
// without the common "ERROR_WINHTTP_" prefix ("TIMEOUT" for 12002), "NO_ERR"
// for 0, and "unknow" for every code it does not know. Never returns null.
const char* ErrorName(uint32_t errorCode);
