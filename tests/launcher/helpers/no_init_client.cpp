// A client module without "Init".
#include <windows.h>

extern "C" __declspec(dllexport) int __cdecl Start(HINSTANCE, const wchar_t*) { return 3; }
