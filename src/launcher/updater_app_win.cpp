#include "launcher/updater_app.h"

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include "launcher/file_download_app.h"

int RunUpdater(void* instance, const std::wstring& commandString) {
    const bool comStarted = SUCCEEDED(CoInitialize(nullptr));
    // Loads the window manager before any window exists.
    DefWindowProcW(nullptr, 0, 0, 0);
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    // The bar classes, and the progress bar the dialog shows.
    controls.dwICC = ICC_BAR_CLASSES | ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);

    CFileDownloadApp& app = FileDownloadApp();
    int result = -1;
    if (app.InitInstance(instance, commandString)) {
        result = app.Run();
        app.ExitInstance();
    }
    if (comStarted) CoUninitialize();
    return result;
}
