#include "ui/main_dlg.h"

#include "update/update_thread.h"

int RunMainDialog(void* instance, const std::function<void()>& exitInstance) {
    CUpdateThread worker;
    CDialogWorkerOf<CUpdateThread> driven(worker);
    SMainDlgHooks hooks;
    hooks.exitInstance = exitInstance;
    CMainDlg dialog(driven, hooks);
    return static_cast<int>(dialog.DoModal(static_cast<HINSTANCE>(instance), GetActiveWindow()));
}
