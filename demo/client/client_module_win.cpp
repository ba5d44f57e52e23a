// A client module of the sample client. The launcher loads it and calls Init
// with the command; the sample only notes which version was called.
#include <windows.h>

#include <cstdio>

#ifndef ZM_DEMO_VERSION
#define ZM_DEMO_VERSION "0"
#endif

extern "C" __declspec(dllexport) int __cdecl Init(HINSTANCE, const wchar_t*) {
    if (FILE* f = std::fopen("module_called.txt", "wb")) {
        std::fprintf(f, "module version %s\n", ZM_DEMO_VERSION);
        std::fclose(f);
    }
    return 0;
}
