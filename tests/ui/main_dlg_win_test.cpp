#include "ui/main_dlg.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../res/resource.h"
#include "util/path_util.h"
#include "vocabulary/app_instance.h"
#include "vocabulary/message_table.h"
#include "vocabulary/term_table.h"
#include "main_dlg_runner_win.h"
#include "window_probe_win.h"

namespace {

using Worker = CScriptedUpdateWorker;
const unsigned kWaitMs = 20000;

class MainDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        SetAppInstance(GetModuleHandleW(nullptr));
        SelectLanguage(L"en_US");
    }
    void TearDown() override { SelectLanguage(L"en_US"); }

    static void SelectLanguage(const std::wstring& language) {
        SelectMessageLanguage(language);
        SelectTermLanguage(language);
    }
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

DWORD Self() { return GetCurrentProcessId(); }

// The box the dialog shows next, answered with button.
SMessageBox AnswerBox(HWND dialog, int button) {
    SMessageBox box;
    EXPECT_TRUE(WaitForMessageBox(Self(), dialog, kWaitMs, box));
    if (box.window) {
        PressButton(box.window, button);
        EXPECT_TRUE(WaitGone(box.window, kWaitMs));
    }
    return box;
}

// The dialog's rectangle of dialog units in pixels: position and size are
// each converted, as the system places controls.
RECT DialogUnits(HWND dialog, int left, int top, int width, int height) {
    RECT units{left, top, width, height};
    MapDialogRect(dialog, &units);
    return RECT{units.left, units.top, units.left + units.right, units.top + units.bottom};
}

RECT ChildRect(HWND dialog, int id) {
    RECT rect;
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void ExpectSameRect(const RECT& a, const RECT& b) {
    EXPECT_EQ(a.left, b.left);
    EXPECT_EQ(a.top, b.top);
    EXPECT_EQ(a.right, b.right);
    EXPECT_EQ(a.bottom, b.bottom);
}

}  // namespace

TEST_F(MainDlgTest, OpensAsTheTemplateSaysWithCaptionIconsAndStartingState) {
    CMainDlgRunner runner({Worker::Pause(), Worker::Finish(0)});
    runner.Run([](CMainDlgRunner& r, HWND dialog) {
        EXPECT_EQ(WindowText(dialog), L"Preparing Meeting environment");

        // Template 129: a pop-up with a system menu, no caption bar, topmost.
        const LONG_PTR style = GetWindowLongPtrW(dialog, GWL_STYLE);
        EXPECT_TRUE(style & WS_POPUP);
        EXPECT_TRUE(style & WS_SYSMENU);
        EXPECT_FALSE((style & WS_CAPTION) == WS_CAPTION);
        EXPECT_TRUE(GetWindowLongPtrW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
        RECT client;
        GetClientRect(dialog, &client);
        ExpectSameRect(client, DialogUnits(dialog, 0, 0, 250, 69));
        RECT placed;
        GetWindowRect(dialog, &placed);
        EXPECT_EQ(placed.right - placed.left, client.right);
        EXPECT_EQ(placed.bottom - placed.top, client.bottom);
        ExpectSameRect(ChildRect(dialog, IDC_STATUS), DialogUnits(dialog, 6, 33, 238, 11));
        ExpectSameRect(ChildRect(dialog, IDC_PROGRESS), DialogUnits(dialog, 15, 46, 220, 13));
        ExpectSameRect(ChildRect(dialog, IDC_CLOSE), DialogUnits(dialog, 236, 0, 14, 14));
        EXPECT_TRUE(GetWindowLongPtrW(GetDlgItem(dialog, IDC_CLOSE), GWL_STYLE) & WS_TABSTOP);

        // The dialog font is "宋体", 10 points.
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof(font), &font);
        EXPECT_STREQ(font.lfFaceName, L"宋体");
        HDC screen = GetDC(nullptr);
        EXPECT_EQ(font.lfHeight, -MulDiv(10, GetDeviceCaps(screen, LOGPIXELSY), 72));
        ReleaseDC(nullptr, screen);

        // Centred on the work area, as there is no owner.
        RECT work;
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        EXPECT_NEAR((placed.left + placed.right) / 2, (work.left + work.right) / 2, 1);
        EXPECT_NEAR((placed.top + placed.bottom) / 2, (work.top + work.bottom) / 2, 1);

        // Only the two top corners are cut off.
        HRGN region = CreateRectRgn(0, 0, 0, 0);
        ASSERT_NE(GetWindowRgn(dialog, region), ERROR);
        const int w = client.right;
        const int h = client.bottom;
        EXPECT_FALSE(PtInRegion(region, 0, 0));
        EXPECT_FALSE(PtInRegion(region, w - 1, 0));
        EXPECT_TRUE(PtInRegion(region, w / 2, 0));
        EXPECT_TRUE(PtInRegion(region, 0, 10));
        EXPECT_TRUE(PtInRegion(region, 0, h - 1));
        EXPECT_TRUE(PtInRegion(region, w - 1, h - 1));
        DeleteObject(region);

        // Product icon 128 as the big (32) and small (16) window icon.
        for (auto [which, size] : {std::pair<WPARAM, int>{ICON_BIG, 32}, {ICON_SMALL, 16}}) {
            HICON icon = reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, which, 0));
            ASSERT_NE(icon, nullptr);
            ICONINFO info{};
            ASSERT_TRUE(GetIconInfo(icon, &info));
            BITMAP bitmap{};
            GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
            EXPECT_EQ(bitmap.bmWidth, size);
            DeleteObject(info.hbmColor);
            DeleteObject(info.hbmMask);
        }

        // The close button is owner-drawn; the bar runs 0 to 100 from 0.
        EXPECT_EQ(GetWindowLongPtrW(GetDlgItem(dialog, IDC_CLOSE), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
        PBRANGE range{};
        SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
        EXPECT_EQ(range.iLow, 0);
        EXPECT_EQ(range.iHigh, 100);
        EXPECT_EQ(CMainDlgRunner::ProgressPosition(dialog), 0);
        const std::wstring status = CMainDlgRunner::StatusText(dialog);
        ASSERT_EQ(status.size(), std::wstring(L"Querying Meeting Information...").size() + 1);
        EXPECT_EQ(status.substr(0, status.size() - 1), L"Querying Meeting Information...");

        // The worker starts with the dialog as its handle.
        ASSERT_TRUE(r.worker().WaitAtPause(0, kWaitMs));
        EXPECT_EQ(r.worker().Handle(), static_cast<CUpdateHandle*>(r.dialog()));
        r.worker().Resume();
    });
    EXPECT_EQ(runner.ended(), std::vector<int>{0});
}

TEST_F(MainDlgTest, ShowsStatusWithTurningSpinnerAndPercentThenEndsWithSuccess) {
    CMainDlgRunner runner({Worker::Status(L"Updating main components, please wait..."), Worker::Percent(35),
                           Worker::Pause(), Worker::Finish(0)});
    runner.Run([](CMainDlgRunner& r, HWND dialog) {
        ASSERT_TRUE(r.worker().WaitAtPause(0, kWaitMs));
        const std::wstring status = L"Updating main components, please wait...";
        ASSERT_TRUE(WaitUntil([&] { return CMainDlgRunner::ProgressPosition(dialog) == 35; }, kWaitMs));
        // The spinner turns | / - \ and round again, each step after the last.
        std::wstring seen;
        ASSERT_TRUE(WaitUntil(
            [&] {
                const std::wstring text = CMainDlgRunner::StatusText(dialog);
                if (text.size() != status.size() + 1 || text.compare(0, status.size(), status) != 0) return false;
                if (seen.empty() || seen.back() != text.back()) seen += text.back();
                return seen.size() >= 6;
            },
            kWaitMs));
        const std::wstring order = L"|/-\\|/-\\|/-\\";
        EXPECT_NE(order.find(seen), std::wstring::npos) << "spinner went " << std::string(seen.begin(), seen.end());
        r.worker().Resume();
    });
    EXPECT_EQ(runner.ended(), std::vector<int>{0});
    EXPECT_EQ(runner.events(), (std::vector<std::string>{"exitInstance", "terminate 0"}));
    EXPECT_TRUE(Contains(runner.log(), "[INF][DownLoad:"));
    EXPECT_TRUE(Contains(runner.log(), "] Update successful finished! (exitCode:0)\n"));
    EXPECT_TRUE(Contains(runner.log(), "] Update Process exit(0)!\n"));
}

TEST_F(MainDlgTest, EnterAndEscapeDoNotClose) {
    CMainDlgRunner runner({Worker::Pause(), Worker::Finish(0)});
    runner.Run([](CMainDlgRunner& r, HWND dialog) {
        ASSERT_TRUE(r.worker().WaitAtPause(0, kWaitMs));
        // As keys through the dialog manager, and as the commands they become.
        HWND focus = GetDlgItem(dialog, IDC_CLOSE);
        for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
            PostMessageW(focus, WM_KEYDOWN, key, 1);
            PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
        }
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        ASSERT_TRUE(CMainDlgRunner::SyncStatus(dialog, L"still here"));
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_EQ(FindMessageBox(Self(), dialog), nullptr);
        EXPECT_TRUE(r.ended().empty());
        r.worker().Resume();
    });
    EXPECT_EQ(runner.ended(), std::vector<int>{0});
}

TEST_F(MainDlgTest, CloseButtonAsksAndOnlyYesEndsWithMinusOne) {
    CMainDlgRunner runner({Worker::Pause(), Worker::Finish(0)});
    runner.Run([](CMainDlgRunner& r, HWND dialog) {
        ASSERT_TRUE(r.worker().WaitAtPause(0, kWaitMs));
        PostMessageW(GetDlgItem(dialog, IDC_CLOSE), BM_CLICK, 0, 0);
        SMessageBox box = AnswerBox(dialog, IDNO);
        EXPECT_EQ(box.caption, L"Warning");
        EXPECT_EQ(box.text, L"Close this window will cause the program not work correctly. \n\nYou sure you want "
                            L"to close?");
        EXPECT_EQ(box.buttons, (std::vector<int>{IDYES, IDNO}));
        EXPECT_EQ(box.icon, LoadIconW(nullptr, IDI_WARNING));
        // No: the update goes on.
        ASSERT_TRUE(CMainDlgRunner::SyncStatus(dialog, L"after no"));
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_TRUE(r.ended().empty());

        // The window's own close asks the same; Yes ends the process.
        PostMessageW(dialog, WM_CLOSE, 0, 0);
        box = AnswerBox(dialog, IDYES);
        EXPECT_EQ(box.caption, L"Warning");
    });
    EXPECT_EQ(runner.ended(), std::vector<int>{-1});
    EXPECT_EQ(runner.events(), (std::vector<std::string>{"exitInstance", "terminate -1"}));
    EXPECT_TRUE(Contains(runner.log(), "] ***User close update!\n"));
    EXPECT_TRUE(Contains(runner.log(), "] Update Process exit(-1)!\n"));
}

TEST_F(MainDlgTest, OnlyTheHeaderDrags) {
    CMainDlgRunner runner({Worker::Pause(), Worker::Finish(0)});
    runner.Run([](CMainDlgRunner& r, HWND dialog) {
        ASSERT_TRUE(r.worker().WaitAtPause(0, kWaitMs));
        RECT placed;
        GetWindowRect(dialog, &placed);
        auto hit = [dialog](int x, int y) {
            return SendMessageW(dialog, WM_NCHITTEST, 0, MAKELPARAM(x, y));
        };
        const int x = (placed.left + placed.right) / 2;
        EXPECT_EQ(hit(x, placed.top), HTCAPTION);
        EXPECT_EQ(hit(x, placed.top + 39), HTCAPTION);
        EXPECT_EQ(hit(x, placed.top + 40), HTCLIENT);
        EXPECT_EQ(hit(placed.left + 1, placed.bottom - 1), HTCLIENT);

        // A real drag with the mouse: from the header the window follows,
        // from the body it stays.
        auto drag = [](int fromX, int fromY, int dx, int dy) {
            const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
            const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
            auto at = [&](int x, int y, DWORD flags) {
                INPUT input{};
                input.type = INPUT_MOUSE;
                input.mi.dx = MulDiv(x, 65535, screenWidth - 1);
                input.mi.dy = MulDiv(y, 65535, screenHeight - 1);
                input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | flags;
                SendInput(1, &input, sizeof(INPUT));
                Sleep(50);
            };
            at(fromX, fromY, 0);
            at(fromX, fromY, MOUSEEVENTF_LEFTDOWN);
            at(fromX + dx / 2, fromY + dy / 2, 0);
            at(fromX + dx, fromY + dy, 0);
            at(fromX + dx, fromY + dy, MOUSEEVENTF_LEFTUP);
        };
        drag(placed.left + 60, placed.bottom - 5, 40, 30);
        ASSERT_TRUE(CMainDlgRunner::SyncStatus(dialog, L"after body drag"));
        RECT after;
        GetWindowRect(dialog, &after);
        EXPECT_EQ(after.left, placed.left);
        EXPECT_EQ(after.top, placed.top);

        drag(placed.left + 60, placed.top + 20, 40, 30);
        EXPECT_TRUE(WaitUntil(
            [&] {
                GetWindowRect(dialog, &after);
                return after.left == placed.left + 40 && after.top == placed.top + 30;
            },
            kWaitMs))
            << "window at " << after.left << "," << after.top << " from " << placed.left << "," << placed.top;
        r.worker().Resume();
    });
    EXPECT_EQ(runner.ended(), std::vector<int>{0});
}

TEST_F(MainDlgTest, WatchdogEndsAnUpdateStuckAtOnePercentage) {
    CMainDlgRunner runner({Worker::Pause()});
    runner.hooks.watchdogPeriodMs = 200;
    runner.Run([](CMainDlgRunner&, HWND dialog) {
        const SMessageBox box = AnswerBox(dialog, IDOK);
        EXPECT_EQ(box.caption, L"Error");
        EXPECT_EQ(box.text, L"Download failed, please check your network is working!");
        EXPECT_EQ(box.icon, LoadIconW(nullptr, IDI_ERROR));
    });
    EXPECT_EQ(runner.ended(), std::vector<int>{6});
    EXPECT_TRUE(Contains(runner.log(), "[WAR][DownLoad:"));
    EXPECT_TRUE(Contains(runner.log(), "] Update percent not change for a long time! (percent:0)\n"));
    EXPECT_TRUE(Contains(runner.log(), "] Update failed! (exitCode:6)\n"));
}

TEST_F(MainDlgTest, WatchdogLetsAMovingUpdateGoOn) {
    // The product's period; the test ticks the watchdog itself.
    CMainDlgRunner runner({Worker::Pause()});
    runner.Run([](CMainDlgRunner& r, HWND dialog) {
        ASSERT_TRUE(r.worker().WaitAtPause(0, kWaitMs));
        auto tick = [dialog] { PostMessageW(dialog, WM_TIMER, CMainDlg::TIMER_WATCHDOG, 0); };
        PostMessageW(dialog, CMainDlg::WM_UPDATE_PERCENT, 10, 0);
        tick();
        ASSERT_TRUE(CMainDlgRunner::SyncStatus(dialog, L"moved from 0 to 10"));
        EXPECT_EQ(FindMessageBox(Self(), dialog), nullptr);
        PostMessageW(dialog, CMainDlg::WM_UPDATE_PERCENT, 11, 0);
        tick();
        ASSERT_TRUE(CMainDlgRunner::SyncStatus(dialog, L"moved from 10 to 11"));
        EXPECT_EQ(FindMessageBox(Self(), dialog), nullptr);
        // Standing still between two ticks stops it.
        tick();
        const SMessageBox box = AnswerBox(dialog, IDOK);
        EXPECT_EQ(box.text, L"Download failed, please check your network is working!");
    });
    EXPECT_EQ(runner.ended(), std::vector<int>{6});
    EXPECT_TRUE(Contains(runner.log(), "] Update percent not change for a long time! (percent:11)\n"));
    EXPECT_FALSE(Contains(runner.log(), "(percent:10)"));
}

TEST_F(MainDlgTest, WatchdogWaitsWhileTheWorkerIsBusyAndWatchesAgainAfter) {
    CMainDlgRunner runner({Worker::Percent(90), Worker::Busy(true), Worker::Pause(), Worker::Busy(false),
                           Worker::Pause()});
    runner.Run([](CMainDlgRunner& r, HWND dialog) {
        ASSERT_TRUE(r.worker().WaitAtPause(0, kWaitMs));
        auto tick = [dialog] { PostMessageW(dialog, WM_TIMER, CMainDlg::TIMER_WATCHDOG, 0); };
        // A command or a file move of any length: the percent stands still.
        for (int i = 0; i < 3; ++i) tick();
        ASSERT_TRUE(CMainDlgRunner::SyncStatus(dialog, L"three periods busy"));
        EXPECT_EQ(FindMessageBox(Self(), dialog), nullptr);
        r.worker().Resume();
        ASSERT_TRUE(r.worker().WaitAtPause(1, kWaitMs));
        ASSERT_TRUE(CMainDlgRunner::SyncStatus(dialog, L"no longer busy"));
        tick();
        const SMessageBox box = AnswerBox(dialog, IDOK);
        EXPECT_EQ(box.text, L"Download failed, please check your network is working!");
    });
    EXPECT_EQ(runner.ended(), std::vector<int>{6});
    EXPECT_TRUE(Contains(runner.log(), "] Update percent not change for a long time! (percent:90)\n"));
}

TEST_F(MainDlgTest, EachFailedResultShowsItsMessageAndBecomesTheExitCode) {
    struct SCase {
        int code;
        const wchar_t* serverText;
        std::wstring message;
    };
    const std::vector<SCase> cases = {
        {1, L"", GetMessageText(2)},
        {2, L"", GetMessageText(9)},
        {3, L"", GetMessageText(10)},
        {4, L"", GetMessageText(11)},
        {5, L"", GetMessageText(2)},
        {6, L"", GetMessageText(12)},
        {7, L"", GetMessageText(13)},
        {7, L"The meeting server is being maintained.", L"The meeting server is being maintained."},
        {8, L"", GetMessageText(14)},
        {9, L"", GetMessageText(15)},
        {10, L"", GetMessageText(16)},
        {11, L"", GetMessageText(17)},
        {12, L"", GetMessageText(18)},
        {13, L"", L"The Meeting does not exist or has been ended!"},
        {14, L"", GetMessageText(2)},
        {-3, L"", GetMessageText(2)},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.code);
        std::vector<Worker::SStep> steps;
        if (*c.serverText) steps.push_back(Worker::ErrorText(c.serverText));
        steps.push_back(Worker::Finish(c.code));
        CMainDlgRunner runner(steps);
        runner.Run([&](CMainDlgRunner&, HWND dialog) {
            const SMessageBox box = AnswerBox(dialog, IDOK);
            EXPECT_EQ(box.caption, L"Error");
            EXPECT_EQ(box.text, c.message);
            EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
        });
        EXPECT_EQ(runner.ended(), std::vector<int>{c.code});
        EXPECT_TRUE(Contains(runner.log(), "] Update failed! (exitCode:" + std::to_string(c.code) + ")\n"));
        EXPECT_TRUE(Contains(runner.log(), "] Update Process exit(" + std::to_string(c.code) + ")!\n"));
    }
}

TEST_F(MainDlgTest, ServerTextIsShownOnlyForAServerError) {
    CMainDlgRunner runner({Worker::ErrorText(L"Server text"), Worker::Finish(6)});
    runner.Run([](CMainDlgRunner&, HWND dialog) {
        EXPECT_EQ(AnswerBox(dialog, IDOK).text, L"Download failed, please check your network is working!");
    });
    EXPECT_EQ(runner.ended(), std::vector<int>{6});
}

TEST_F(MainDlgTest, SuccessAndANewUpdaterShowNoBox) {
    for (int code : {0, 15, 4321}) {
        SCOPED_TRACE(code);
        // The worker waits until the dialog has been seen, so a quick end
        // cannot pass for a dialog that never showed.
        CMainDlgRunner runner({Worker::Pause(), Worker::Finish(code)});
        // A box would block the dialog until the runner gives up on it.
        runner.Run([](CMainDlgRunner& r, HWND dialog) {
            ASSERT_TRUE(r.worker().WaitAtPause(0, kWaitMs));
            r.worker().Resume();
            EXPECT_TRUE(WaitGone(dialog, kWaitMs));
            EXPECT_FALSE(r.ended().empty());
        });
        EXPECT_EQ(runner.ended(), std::vector<int>{code});
        if (code != 0) {
            EXPECT_TRUE(Contains(runner.log(), "] start a new update to continue! (pid:" + std::to_string(code) + ")\n"));
        }
        EXPECT_FALSE(Contains(runner.log(), "Update failed!"));
    }
}

TEST_F(MainDlgTest, MeetingEndedAndOtherTextsInChinese) {
    SelectLanguage(L"zh_CN");
    CMainDlgRunner runner({Worker::Pause(), Worker::Finish(13)});
    runner.Run([](CMainDlgRunner& r, HWND dialog) {
        EXPECT_EQ(WindowText(dialog), L"准备会议环境");
        ASSERT_TRUE(r.worker().WaitAtPause(0, kWaitMs));
        const std::wstring status = CMainDlgRunner::StatusText(dialog);
        EXPECT_EQ(status.substr(0, status.size() - 1), L"正在查询会议信息...");
        r.worker().Resume();
        const SMessageBox box = AnswerBox(dialog, IDOK);
        EXPECT_EQ(box.caption, L"错误");
        EXPECT_EQ(box.text, L"会议不存在或已经结束!");
    });
    EXPECT_EQ(runner.ended(), std::vector<int>{13});
}

TEST_F(MainDlgTest, DialogFontHasTheChineseCharacters) {
    SelectLanguage(L"zh_CN");
    CMainDlgRunner runner({Worker::Finish(0)});
    runner.Run([](CMainDlgRunner&, HWND dialog) {
        const std::wstring text = std::wstring(GetMessageText(1)) + GetMessageText(19) + GetMessageText(7);
        HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
        HDC dc = GetDC(nullptr);
        HGDIOBJ old = SelectObject(dc, font);
        std::vector<WORD> glyphs(text.size());
        ASSERT_NE(GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                                   GGI_MARK_NONEXISTING_GLYPHS),
                  GDI_ERROR);
        SelectObject(dc, old);
        ReleaseDC(nullptr, dc);
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == L'%' || text[i] == L'\n') continue;
            EXPECT_NE(glyphs[i], 0xFFFF) << "no glyph for U+" << std::hex << static_cast<int>(text[i]);
        }
    });
}

TEST_F(MainDlgTest, ResultWhileAnEarlierBoxIsOpenIsHandledAtOnce) {
    CMainDlgRunner runner({Worker::Pause(), Worker::ErrorText(L"Late server text"), Worker::Finish(7)});
    runner.hooks.watchdogPeriodMs = 200;
    runner.Run([](CMainDlgRunner& r, HWND dialog) {
        // The watchdog's box first; the worker's result arrives while it is open.
        SMessageBox first;
        ASSERT_TRUE(WaitForMessageBox(Self(), dialog, kWaitMs, first));
        EXPECT_EQ(first.text, L"Download failed, please check your network is working!");
        r.worker().Resume();
        HWND later = nullptr;
        ASSERT_TRUE(WaitUntil(
            [&] {
                for (HWND box : FindMessageBoxes(Self(), dialog)) {
                    if (box != first.window) later = box;
                }
                return later != nullptr;
            },
            kWaitMs));
        const SMessageBox second = ReadMessageBox(later);
        EXPECT_EQ(second.text, L"Late server text");
        PressButton(second.window, IDOK);
        ASSERT_TRUE(WaitGone(second.window, kWaitMs));
        PressButton(first.window, IDOK);
        ASSERT_TRUE(WaitGone(first.window, kWaitMs));
    });
    // The later result reached the end first.
    ASSERT_FALSE(runner.ended().empty());
    EXPECT_EQ(runner.ended().front(), 7);
}

TEST_F(MainDlgTest, LowDiskSpaceWarnsBeforeTheUpdateStarts) {
    std::wstring asked;
    CMainDlgRunner runner({Worker::Pause(), Worker::Finish(0)});
    runner.hooks.freeSpace = [&asked](const std::wstring& drive, unsigned long long& freeBytes) {
        asked = drive;
        freeBytes = CMainDlg::kLowDiskSpace - 1;
        return true;
    };
    runner.Run([](CMainDlgRunner& r, HWND dialog) {
        SMessageBox box;
        ASSERT_TRUE(WaitForMessageBox(Self(), dialog, kWaitMs, box));
        const std::wstring drive = GetModulePath().substr(0, 2);
        EXPECT_EQ(box.caption, L"Warning");
        EXPECT_EQ(box.text, L"Your " + drive +
                                L" free space is less than 100M, to ensure that the application would proceed "
                                L"smoothly, it is recommended to free up more space.");
        EXPECT_EQ(box.icon, LoadIconW(nullptr, IDI_WARNING));
        EXPECT_FALSE(r.worker().Started());
        PressButton(box.window, IDOK);
        ASSERT_TRUE(r.worker().WaitAtPause(0, kWaitMs));
        r.worker().Resume();
    });
    EXPECT_EQ(asked, GetModulePath().substr(0, 2));
    EXPECT_EQ(runner.ended(), std::vector<int>{0});
}

TEST_F(MainDlgTest, EnoughOrUnknownDiskSpaceDoesNotWarn) {
    for (bool known : {true, false}) {
        CMainDlgRunner runner({Worker::Pause(), Worker::Finish(0)});
        runner.hooks.freeSpace = [known](const std::wstring&, unsigned long long& freeBytes) {
            freeBytes = known ? CMainDlg::kLowDiskSpace : 0;
            return known;
        };
        runner.Run([](CMainDlgRunner& r, HWND dialog) {
            ASSERT_TRUE(r.worker().WaitAtPause(0, kWaitMs));
            EXPECT_EQ(FindMessageBox(Self(), dialog), nullptr);
            r.worker().Resume();
        });
        EXPECT_EQ(runner.ended(), std::vector<int>{0});
    }
}
