#include "ui/main_dlg.h"

#include <commctrl.h>

#include <utility>

#include "diag/trace_log.h"
#include "update/update_result.h"
#include "util/path_util.h"
#include "util/window_util.h"
#include "vocabulary/message_table.h"
#include "vocabulary/term_table.h"
#include "../../res/resource.h"

namespace {

// Message numbers of the message table.
const int kMsgPreparing = 1;
const int kMsgUnknownError = 2;
const int kMsgWarning = 5;
const int kMsgError = 6;
const int kMsgConfirmClose = 7;
const int kMsgServerError = 13;
const int kMsgQuerying = 19;
const int kMsgLowDiskSpace = 21;
const int kMsgMeetingEnded = 22;

const wchar_t kSpinner[] = L"|/-\\";
const int kSpinnerLast = 3;
const int kCaptionLength = 260;

const COLORREF kHeaderTop = RGB(83, 138, 216);
const COLORREF kHeaderBottom = RGB(99, 147, 247);
const COLORREF kBody = RGB(225, 233, 236);
const COLORREF kFrame = RGB(97, 152, 225);
const int kFrameWidth = 2;
const int kIconSize = 32;

// The message of a failed update's code; codes without one of their own
// show the unknown error.
int MessageOfResult(int code) {
    switch (code) {
        case URC_PARAM_ERR: return 9;
        case URC_NEED_RESETUP: return 10;
        case URC_MEETINFO_ERR: return 11;
        case URC_DOWNLOAD_ERR: return 12;
        case URC_SVR_ERR: return kMsgServerError;
        case URC_LOCAL_STATE_ERR: return 14;
        case URC_START_NEWUPDATE_ERR: return 15;
        case URC_LOCAL_UPDATE_ERR: return 16;
        case URC_START_MEET_ERR: return 17;
        case URC_LOCAL_FILE_COPY_ERR: return 18;
        case URC_SVR_MEET_STOPPED: return kMsgMeetingEnded;
        default: return kMsgUnknownError;
    }
}

std::wstring MeetingTerm() { return GetTerm(L"MEETING"); }

bool SystemFreeSpace(const std::wstring& drive, unsigned long long& freeBytes) {
    ULARGE_INTEGER total{};
    const std::wstring root = drive + L"\\";
    if (!GetDiskFreeSpaceExW(root.c_str(), nullptr, nullptr, &total)) return false;
    freeBytes = total.QuadPart;
    return true;
}

void TerminateSelf(int code) { TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code)); }

}  // namespace

CMainDlg::CMainDlg(CDialogWorker& worker, SMainDlgHooks hooks) : worker_(worker), hooks_(std::move(hooks)) {
    if (!hooks_.freeSpace) hooks_.freeSpace = SystemFreeSpace;
    if (!hooks_.terminate) hooks_.terminate = TerminateSelf;
}

CMainDlg::~CMainDlg() {
    if (bigIcon_) DestroyIcon(bigIcon_);
    if (smallIcon_) DestroyIcon(smallIcon_);
}

INT_PTR CMainDlg::DoModal(HINSTANCE instance, HWND owner) {
    instance_ = instance;
    return CDialogImpl::DoModal(instance, IDD_MAIN, owner);
}

void CMainDlg::NotifyFinished(int code) {
    if (HWND window = reportTarget_) PostMessageW(window, WM_UPDATE_FINISHED, static_cast<WPARAM>(code), 0);
}

void CMainDlg::NotifyPercent(int percent) {
    if (HWND window = reportTarget_) PostMessageW(window, WM_UPDATE_PERCENT, static_cast<WPARAM>(percent), 0);
}

void CMainDlg::Show(int showCommand) {
    if (HWND window = reportTarget_) ShowWindow(window, showCommand);
}

void CMainDlg::NotifyStatusText(const std::wstring& text) {
    HWND window = reportTarget_;
    if (!window) return;
    auto* copy = new std::wstring(text);
    if (!PostMessageW(window, WM_UPDATE_STATUS, reinterpret_cast<WPARAM>(copy), 0)) delete copy;
}

void CMainDlg::SetErrorText(const std::wstring& text) {
    std::lock_guard<std::mutex> lock(errorTextLock_);
    errorText_ = text;
}

void CMainDlg::NotifyBusy(bool busy) {
    if (HWND window = reportTarget_) PostMessageW(window, WM_UPDATE_BUSY, busy ? 1 : 0, 0);
}

bool CMainDlg::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    switch (message) {
        case WM_INITDIALOG:
            reportTarget_ = window;
            OnInitDialog();
            result = TRUE;
            return true;
        case WM_NCDESTROY:
            reportTarget_ = nullptr;
            return false;
        case WM_ERASEBKGND:
            result = TRUE;
            return true;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            RECT client;
            GetClientRect(window, &client);
            Draw(dc, client, client);
            EndPaint(window, &paint);
            return true;
        }
        case WM_PRINTCLIENT: {
            // The close button draws this background under its icon.
            RECT client;
            GetClientRect(window, &client);
            Draw(reinterpret_cast<HDC>(wParam), client, client);
            return true;
        }
        case WM_NCHITTEST: {
            RECT placed;
            GetWindowRect(window, &placed);
            const int y = static_cast<short>(HIWORD(lParam));
            result = y < placed.top + Px(kHeaderHeight) ? HTCAPTION : HTCLIENT;
            return true;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) return true;
            if (LOWORD(wParam) == IDC_CLOSE) {
                PostMessageW(window, WM_CLOSE, 0, 0);
                return true;
            }
            break;
        case WM_WINDOWPOSCHANGING:
            return true;
        case WM_CLOSE:
            OnClose();
            return true;
        case WM_TIMER:
            OnTimer(wParam);
            return true;
        case WM_UPDATE_PERCENT:
            SendDlgItemMessageW(window, IDC_PROGRESS, PBM_SETPOS, wParam, 0);
            currentPercent_ = static_cast<int>(wParam);
            return true;
        case WM_UPDATE_FINISHED:
            OnFinished(static_cast<int>(wParam));
            return true;
        case WM_UPDATE_BUSY:
            OnBusy(wParam != 0);
            return true;
        case WM_UPDATE_STATUS: {
            std::wstring* text = reinterpret_cast<std::wstring*>(wParam);
            status_ = *text;
            delete text;
            RefreshStatus();
            return true;
        }
        case WM_CTLCOLORSTATIC:
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            result = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
            return true;
        default:
            break;
    }
    return ReflectNotifications(message, wParam, lParam, result);
}

int CMainDlg::Px(int pixels) const { return ScaleToDpi(pixels, dpi_); }

void CMainDlg::OnInitDialog() {
    HWND window = Handle();
    dpi_ = ScreenDpi();
    CentreOverOwner();
    RoundTopCorners(window);
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetWindowTextW(window, GetMessageTextWith(kMsgPreparing, MeetingTerm()).c_str());

    const int iconSize = Px(kIconSize);
    bigIcon_ = static_cast<HICON>(
        LoadImageW(instance_, MAKEINTRESOURCEW(IDI_PRODUCT), IMAGE_ICON, iconSize, iconSize, LR_DEFAULTCOLOR));
    smallIcon_ = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_PRODUCT), IMAGE_ICON,
                                               iconSize / 2, iconSize / 2, LR_DEFAULTCOLOR));
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

    SendDlgItemMessageW(window, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendDlgItemMessageW(window, IDC_PROGRESS, PBM_SETPOS, 0, 0);

    status_ = GetMessageTextWith(kMsgQuerying, MeetingTerm());
    RefreshStatus();

    SetTimer(window, TIMER_START, kStartDelayMs, nullptr);
    SetTimer(window, TIMER_SPINNER, kSpinnerPeriodMs, nullptr);
    SetTimer(window, TIMER_WATCHDOG, hooks_.watchdogPeriodMs, nullptr);
    currentPercent_ = 0;

    closeButton_.SubclassDlgItem(IDC_CLOSE, window);
    closeButton_.SetIcon(IDI_CLOSE_IN, IDI_CLOSE_OUT);
    closeButton_.DrawTransparent(true);

    BuildLayers();
}

void CMainDlg::CentreOverOwner() {
    HWND window = Handle();
    RECT placed;
    GetWindowRect(window, &placed);
    const int width = placed.right - placed.left;
    const int height = placed.bottom - placed.top;

    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT work = monitor.rcWork;

    RECT centre = work;
    HWND owner = GetWindow(window, GW_OWNER);
    if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &centre);
    int x = (centre.left + centre.right - width) / 2;
    int y = (centre.top + centre.bottom - height) / 2;
    // Kept on the work area.
    if (x + width > work.right) x = work.right - width;
    if (y + height > work.bottom) y = work.bottom - height;
    if (x < work.left) x = work.left;
    if (y < work.top) y = work.top;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CMainDlg::BuildLayers() {
    HWND window = Handle();
    RECT client;
    GetClientRect(window, &client);
    const int w = client.right;
    const int h = client.bottom;
    const int header = Px(kHeaderHeight);
    const int icon = Px(kIconSize);
    const int iconTop = (header - icon) / 2;
    const int frame = Px(kFrameWidth);

    Clear();
    AddGradient(RECT{0, 0, w, header}, kHeaderTop, kHeaderBottom, false);
    AddSolidColor(RECT{0, header, w, h}, kBody);
    AddIcon(RECT{Px(8), iconTop, Px(8) + icon, iconTop + icon}, bigIcon_);
    wchar_t caption[kCaptionLength + 1] = {};
    GetWindowTextW(window, caption, kCaptionLength);
    AddText(RECT{Px(44), Px(12), w - Px(100), header}, caption);
    AddSolidColor(RECT{0, 0, w, frame}, kFrame);
    AddSolidColor(RECT{0, h - frame, w, h}, kFrame);
    AddSolidColor(RECT{0, 0, frame, h}, kFrame);
    AddSolidColor(RECT{w - frame, 0, w, h}, kFrame);
}

void CMainDlg::RefreshStatus() {
    HWND status = GetDlgItem(Handle(), IDC_STATUS);
    ShowWindow(status, SW_HIDE);
    const std::wstring text = status_ + kSpinner[spinner_];
    SetWindowTextW(status, text.c_str());
    ShowWindow(status, SW_SHOW);
}

void CMainDlg::OnTimer(UINT_PTR id) {
    HWND window = Handle();
    switch (id) {
        case TIMER_START:
            KillTimer(window, TIMER_START);
            CheckDiskSpace();
            worker_.SetHandle(this);
            worker_.Start();
            break;
        case TIMER_SPINNER:
            spinner_ = spinner_ + 1 > kSpinnerLast ? 0 : spinner_ + 1;
            RefreshStatus();
            break;
        case TIMER_WATCHDOG:
            if (!busy_ && currentPercent_ == lastWatchedPercent_) {
                KillTimer(window, TIMER_WATCHDOG);
                DownLogWar("Update percent not change for a long time! (percent:%d)", currentPercent_);
                NotifyFinished(URC_DOWNLOAD_ERR);
            }
            lastWatchedPercent_ = currentPercent_;
            break;
        default:
            break;
    }
}

void CMainDlg::OnBusy(bool busy) {
    if (busy_ == busy) return;
    busy_ = busy;
    if (busy) return;
    // A whole period from the end of the step: its last percentage is
    // where the worker goes on from.
    lastWatchedPercent_ = currentPercent_;
    SetTimer(Handle(), TIMER_WATCHDOG, hooks_.watchdogPeriodMs, nullptr);
}

void CMainDlg::CheckDiskSpace() {
    const std::wstring path = GetModulePath();
    if (path.size() < 2 || path[1] != L':') return;
    const std::wstring drive = path.substr(0, 2);
    unsigned long long freeBytes = 0;
    if (!hooks_.freeSpace(drive, freeBytes) || freeBytes >= kLowDiskSpace) return;
    MessageBoxW(Handle(), GetMessageTextWith(kMsgLowDiskSpace, drive).c_str(), GetMessageText(kMsgWarning),
                MB_OK | MB_ICONWARNING);
}

void CMainDlg::OnClose() {
    if (MessageBoxW(Handle(), GetMessageText(kMsgConfirmClose), GetMessageText(kMsgWarning),
                    MB_YESNO | MB_ICONWARNING) != IDYES) {
        return;
    }
    DownLogInf("***User close update!");
    EndProcess(-1);
}

void CMainDlg::OnFinished(int code) {
    if (code == URC_NO_ERR) {
        DownLogInf("Update successful finished! (exitCode:%d)", code);
    } else if (code > BUTT) {
        DownLogInf("start a new update to continue! (pid:%d)", code);
    } else {
        DownLogInf("Update failed! (exitCode:%d)", code);
        MessageBoxW(Handle(), ErrorMessageOf(code).c_str(), GetMessageText(kMsgError), MB_OK | MB_ICONERROR);
    }
    EndProcess(code);
}

std::wstring CMainDlg::ErrorMessageOf(int code) {
    const int message = MessageOfResult(code);
    if (message == kMsgMeetingEnded) return GetMessageTextWith(message, MeetingTerm());
    if (message == kMsgServerError) {
        std::lock_guard<std::mutex> lock(errorTextLock_);
        if (!errorText_.empty()) return errorText_;
    }
    return GetMessageText(message);
}

void CMainDlg::EndProcess(int code) {
    DownLogInf("Update Process exit(%d)!", code);
    if (hooks_.exitInstance) hooks_.exitInstance();
    CloseLog();
    hooks_.terminate(code);
}
