#include "ui/main_dlg.h"

int RunMainDialog(void* instance, CDialogWorker& worker, const std::function<void()>& exitInstance) {
    SMainDlgHooks hooks;
    hooks.exitInstance = exitInstance;
    CMainDlg dialog(worker, hooks);
    return static_cast<int>(dialog.DoModal(static_cast<HINSTANCE>(instance), GetActiveWindow()));
}
