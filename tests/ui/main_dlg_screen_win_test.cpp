// The progress dialog in a process of its own, as the updater runs it:
// screenshots of the screen while a scripted update moves, and the exit
// codes with which the dialog ends its process.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "../../res/resource.h"
#include "child_process.h"
#include "pixel_image_win.h"
#include "temp_dir.h"
#include "window_probe_win.h"

namespace {

const unsigned kWaitMs = 30000;
const COLORREF kHeaderTop = RGB(83, 138, 216);
const COLORREF kHeaderBottom = RGB(99, 147, 247);
const COLORREF kBody = RGB(225, 233, 236);
const COLORREF kFrame = RGB(97, 152, 225);

// main_dlg_host.exe copied into a folder of its own (with or without a
// UserCfg.ini), started with a script, and ended if a test leaves it running.
class CDialogHost {
public:
    CDialogHost(const std::wstring& language, const std::wstring& args) {
        const std::wstring program = dir_.WinPath() + L"main_dlg_host.exe";
        EXPECT_TRUE(CopyFileW((TestBinDir() + L"main_dlg_host.exe").c_str(), program.c_str(), FALSE));
        if (!language.empty()) dir_.Write("UserCfg.ini", "[CFG]\r\nLanguage=" + std::string(language.begin(), language.end()) + "\r\n");
        std::wstring line = L"\"" + program + L"\" " + args;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        EXPECT_TRUE(CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                                   dir_.WinPath().c_str(), &startup, &process_));
        if (process_.hThread) CloseHandle(process_.hThread);
    }
    ~CDialogHost() {
        if (process_.hProcess) {
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 1);
            CloseHandle(process_.hProcess);
        }
    }

    DWORD id() const { return process_.dwProcessId; }
    HWND WaitForDialog() {
        HWND dialog = nullptr;
        WaitUntil([&] { return (dialog = FindMainDialog(id())) != nullptr; }, kWaitMs);
        return dialog;
    }
    // The exit code, or INT_MIN when the process has not ended in time.
    int WaitExit() {
        if (!process_.hProcess || WaitForSingleObject(process_.hProcess, kWaitMs) != WAIT_OBJECT_0) return INT_MIN;
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return static_cast<int>(code);
    }
    bool Running() const { return process_.hProcess && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }

private:
    ScopedTempDir dir_;
    PROCESS_INFORMATION process_{};
};

// A manual-reset event the host's worker waits for at a pause.
class CGate {
public:
    CGate() {
        static int counter = 0;
        name_ = L"ZoltaUiTestGate-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
        event_ = CreateEventW(nullptr, TRUE, FALSE, name_.c_str());
    }
    ~CGate() {
        SetEvent(event_);
        CloseHandle(event_);
    }
    const std::wstring& name() const { return name_; }
    void Open() { SetEvent(event_); }

private:
    std::wstring name_;
    HANDLE event_;
};

int Position(HWND dialog) { return static_cast<int>(SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_GETPOS, 0, 0)); }

RECT ChildInWindow(HWND dialog, int id) {
    RECT child;
    RECT window;
    GetWindowRect(GetDlgItem(dialog, id), &child);
    GetWindowRect(dialog, &window);
    OffsetRect(&child, -window.left, -window.top);
    return child;
}

bool Dark(COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 90; }

// The screen under the window.
CPixelImage CaptureWindow(HWND dialog) {
    RECT window;
    GetWindowRect(dialog, &window);
    return CaptureScreen(window);
}

// The share of the progress bar's middle row painted in the bar colour.
double FilledShare(const CPixelImage& shot, const RECT& bar) {
    const COLORREF fill = GetSysColor(COLOR_HIGHLIGHT);
    const int y = (bar.top + bar.bottom) / 2;
    int filled = 0;
    for (int x = bar.left + 2; x < bar.right - 2; ++x) {
        if (ColorNear(shot.At(x, y), fill, 30)) ++filled;
    }
    return static_cast<double>(filled) / static_cast<double>(bar.right - bar.left - 4);
}

// Waits until a capture of the window satisfies ready; returns the last capture.
CPixelImage CaptureWhen(HWND dialog, const std::function<bool(const CPixelImage&)>& ready) {
    CPixelImage shot = CaptureWindow(dialog);
    WaitUntil(
        [&] {
            shot = CaptureWindow(dialog);
            return ready(shot);
        },
        kWaitMs);
    return shot;
}

// Ink of count equal glyph cells in a row of text inside area: each cell's
// dark pixels, relative to that cell's own ink box. Boxes for missing
// glyphs would all come out the same.
std::vector<std::set<std::pair<int, int>>> GlyphCells(const CPixelImage& shot, const RECT& area, int count) {
    int left = INT_MAX;
    int right = -1;
    for (int x = area.left; x < area.right; ++x) {
        for (int y = area.top; y < area.bottom; ++y) {
            if (Dark(shot.At(x, y))) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    std::vector<std::set<std::pair<int, int>>> cells;
    if (right < 0) return cells;
    const double width = static_cast<double>(right + 1 - left) / count;
    for (int i = 0; i < count; ++i) {
        const int from = left + static_cast<int>(i * width);
        const int to = left + static_cast<int>((i + 1) * width);
        std::vector<std::pair<int, int>> ink;
        int minX = INT_MAX;
        int minY = INT_MAX;
        for (int x = from; x < to; ++x) {
            for (int y = area.top; y < area.bottom; ++y) {
                if (Dark(shot.At(x, y))) {
                    ink.emplace_back(x, y);
                    minX = std::min(minX, x);
                    minY = std::min(minY, y);
                }
            }
        }
        std::set<std::pair<int, int>> cell;
        for (auto [x, y] : ink) cell.emplace(x - minX, y - minY);
        cells.push_back(cell);
    }
    return cells;
}

void ExpectDistinctGlyphs(const CPixelImage& shot, const RECT& area, int count) {
    const auto cells = GlyphCells(shot, area, count);
    ASSERT_EQ(cells.size(), static_cast<size_t>(count));
    for (size_t i = 0; i < cells.size(); ++i) {
        EXPECT_GT(cells[i].size(), 8u) << "cell " << i;
        for (size_t j = 0; j < i; ++j) EXPECT_NE(cells[i], cells[j]) << "cells " << j << " and " << i << " look alike";
    }
}

std::wstring ArtifactPath(const wchar_t* name) { return std::wstring(L"" ZM_UI_ARTIFACT_DIR L"\\") + name; }

// The dialog font, "宋体" at 10 points, selected into a screen device context.
class CDialogFontDc {
public:
    CDialogFontDc() : dc_(GetDC(nullptr)) {
        font_ = CreateFontW(-MulDiv(10, GetDeviceCaps(dc_, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                            GB2312_CHARSET, 0, 0, 0, 0, L"宋体");
        old_ = SelectObject(dc_, font_);
    }
    ~CDialogFontDc() {
        SelectObject(dc_, old_);
        DeleteObject(font_);
        ReleaseDC(nullptr, dc_);
    }
    HDC dc() const { return dc_; }

private:
    HDC dc_;
    HFONT font_;
    HGDIOBJ old_;
};

int DialogFontTextWidth(const std::wstring& text) {
    CDialogFontDc font;
    SIZE size{};
    GetTextExtentPoint32W(font.dc(), text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

// The dialog's size in pixels as the system derives it from dialog units
// and the dialog font.
SIZE ExpectedDialogSize() {
    CDialogFontDc font;
    TEXTMETRICW metrics{};
    GetTextMetricsW(font.dc(), &metrics);
    SIZE letters{};
    const wchar_t alphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    GetTextExtentPoint32W(font.dc(), alphabet, 52, &letters);
    const int baseX = (letters.cx / 26 + 1) / 2;
    return SIZE{MulDiv(250, baseX, 4), MulDiv(69, metrics.tmHeight, 8)};
}

}  // namespace

TEST(MainDlgScreen, EnglishUpdateAsTheUserSeesIt) {
    CGate atTwenty;
    CGate atSixty;
    CDialogHost host(L"en_US", L"\"status=Updating main components, please wait...\" percent=20 pause=" +
                                   atTwenty.name() + L" percent=60 pause=" + atSixty.name() + L" finish=0");
    HWND dialog = host.WaitForDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(WindowText(dialog), L"Preparing Meeting environment");
    ASSERT_TRUE(WaitUntil([&] { return Position(dialog) == 20; }, kWaitMs));
    const std::wstring status = L"Updating main components, please wait...";
    ASSERT_TRUE(WaitUntil([&] { return WindowText(GetDlgItem(dialog, IDC_STATUS)).compare(0, status.size(), status) == 0; },
                          kWaitMs));
    const std::wstring shown = WindowText(GetDlgItem(dialog, IDC_STATUS));
    ASSERT_EQ(shown.size(), status.size() + 1);
    EXPECT_NE(std::wstring(L"|/-\\").find(shown.back()), std::wstring::npos);

    RECT placed;
    GetWindowRect(dialog, &placed);
    const int w = placed.right - placed.left;
    const int h = placed.bottom - placed.top;
    const SIZE expected = ExpectedDialogSize();
    EXPECT_NEAR(w, expected.cx, 1);
    EXPECT_NEAR(h, expected.cy, 1);
    const RECT bar = ChildInWindow(dialog, IDC_PROGRESS);
    const RECT text = ChildInWindow(dialog, IDC_STATUS);
    const RECT close = ChildInWindow(dialog, IDC_CLOSE);

    auto light = [](COLORREF c) { return ColorNear(c, RGB(255, 255, 255), 40); };
    CPixelImage shot = CaptureWhen(dialog, [&](const CPixelImage& s) {
        return s.At(w / 2, 0) == kFrame && s.Count(text, Dark) > 30 && FilledShare(s, bar) > 0.15 &&
               s.Count(close, light) > 10;
    });

    // Rounded top corners: outside the window's region the screen behind
    // shows; square bottom corners.
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(dialog, region), ERROR);
    int cutTopLeft = 0;
    int cutTopRight = 0;
    for (int y = 0; y < 6; ++y) {
        for (int x : {0, 1, 2, 3, 4, 5, w - 6, w - 5, w - 4, w - 3, w - 2, w - 1}) {
            const COLORREF c = shot.At(x, y);
            if (PtInRegion(region, x, y)) {
                EXPECT_TRUE(c == kFrame || ColorNear(c, kHeaderTop, 3)) << x << "," << y;
            } else {
                EXPECT_TRUE(c != kFrame && !ColorNear(c, kHeaderTop, 20)) << x << "," << y;
                ++(x < w / 2 ? cutTopLeft : cutTopRight);
            }
        }
    }
    EXPECT_GE(cutTopLeft, 3);
    EXPECT_GE(cutTopRight, 2);
    for (int y = h - 6; y < h; ++y) {
        for (int x : {0, 1, w - 2, w - 1}) EXPECT_TRUE(PtInRegion(region, x, y)) << x << "," << y;
    }
    DeleteObject(region);
    EXPECT_EQ(shot.At(0, h - 1), kFrame);
    EXPECT_EQ(shot.At(w - 1, h - 1), kFrame);

    // The 2-pixel frame all round.
    for (auto [x, y] : {std::pair<int, int>{0, h / 2}, {1, h / 2}, {w - 1, h / 2}, {w - 2, h / 2}, {w / 2, 0},
                        {w / 2, 1}, {w / 2, h - 1}, {w / 2, h - 2}}) {
        EXPECT_EQ(shot.At(x, y), kFrame) << x << "," << y;
    }
    EXPECT_EQ(shot.At(2, h - 3), kBody);
    EXPECT_EQ(shot.At(w - 3, h - 3), kBody);

    // The header runs from the top colour to the bottom one, clear of the
    // caption and the close button.
    const int column = w - 80;
    EXPECT_TRUE(ColorNear(shot.At(column, 2), kHeaderTop, 2)) << std::hex << shot.At(column, 2);
    EXPECT_TRUE(ColorNear(shot.At(column, 39), kHeaderBottom, 2)) << std::hex << shot.At(column, 39);
    for (int y = 3; y < 40; ++y) {
        EXPECT_GE(GetBValue(shot.At(column, y)), GetBValue(shot.At(column, y - 1))) << y;
        EXPECT_EQ(shot.At(column, y), shot.At(column - 20, y)) << y;
    }
    // The body below it.
    EXPECT_EQ(shot.At(column, 40), kBody);
    EXPECT_EQ(shot.At(w / 2, h - 4), kBody);
    EXPECT_EQ(shot.At(4, 45), kBody);

    // The product icon in its square: orange with a white letter.
    const RECT icon{8, 4, 40, 36};
    EXPECT_GT(shot.Count(icon, [](COLORREF c) { return ColorNear(c, RGB(245, 130, 32), 40); }), 300);
    EXPECT_GT(shot.Count(icon, [](COLORREF c) { return ColorNear(c, RGB(255, 255, 255), 30); }), 60);
    // The caption's letters and the close button's cross on the header.
    EXPECT_GT(shot.Count(RECT{44, 12, w - 100, 40}, Dark), 60);
    EXPECT_EQ(shot.Count(RECT{w - 100, 12, close.left, 40}, Dark), 0);
    EXPECT_GT(shot.Count(close, light), 10);
    // The status text.
    EXPECT_GT(shot.Count(text, Dark), 60);

    const double atStart = FilledShare(shot, bar);
    EXPECT_NEAR(atStart, 0.20, 0.05);

    atTwenty.Open();
    ASSERT_TRUE(WaitUntil([&] { return Position(dialog) == 60; }, kWaitMs));
    shot = CaptureWhen(dialog, [&](const CPixelImage& s) { return FilledShare(s, bar) > 0.5; });
    EXPECT_NEAR(FilledShare(shot, bar), 0.60, 0.05);
    EXPECT_TRUE(shot.SavePng(ArtifactPath(L"progress_dialog_en.png")));

    atSixty.Open();
    EXPECT_EQ(host.WaitExit(), 0);
}

TEST(MainDlgScreen, ChineseWithoutUserConfigRendersCharacters) {
    CGate gate;
    CDialogHost host(L"", L"percent=40 pause=" + gate.name() + L" finish=0");
    HWND dialog = host.WaitForDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(WindowText(dialog), L"准备会议环境");
    ASSERT_TRUE(WaitUntil([&] { return Position(dialog) == 40; }, kWaitMs));
    const std::wstring status = WindowText(GetDlgItem(dialog, IDC_STATUS));
    EXPECT_EQ(status.substr(0, status.size() - 1), L"正在查询会议信息...");

    RECT placed;
    GetWindowRect(dialog, &placed);
    const int w = placed.right - placed.left;
    const RECT bar = ChildInWindow(dialog, IDC_PROGRESS);
    const RECT text = ChildInWindow(dialog, IDC_STATUS);
    const CPixelImage shot = CaptureWhen(
        dialog, [&](const CPixelImage& s) { return s.Count(text, Dark) > 60 && FilledShare(s, bar) > 0.3; });
    EXPECT_TRUE(shot.SavePng(ArtifactPath(L"progress_dialog_zh.png")));

    // "准备会议环境": six different characters, not six alike boxes.
    ExpectDistinctGlyphs(shot, RECT{44, 12, w - 100, 40}, 6);
    // The status text's first eight characters, "正在查询会议信息", without the dots after them.
    int firstInk = text.right;
    for (int x = text.right - 1; x >= text.left; --x) {
        for (int y = text.top; y < text.bottom; ++y) {
            if (Dark(shot.At(x, y))) firstInk = x;
        }
    }
    RECT characters = text;
    characters.left = firstInk;
    characters.right = firstInk + DialogFontTextWidth(L"正在查询会议信息");
    ExpectDistinctGlyphs(shot, characters, 8);

    gate.Open();
    EXPECT_EQ(host.WaitExit(), 0);
}

TEST(MainDlgScreen, ClosingEndsTheProcessWithMinusOneOnlyOnYes) {
    CGate never;
    CDialogHost host(L"en_US", L"pause=" + never.name());
    HWND dialog = host.WaitForDialog();
    ASSERT_NE(dialog, nullptr);
    PostMessageW(GetDlgItem(dialog, IDC_CLOSE), BM_CLICK, 0, 0);
    SMessageBox box;
    ASSERT_TRUE(WaitForMessageBox(host.id(), dialog, kWaitMs, box));
    EXPECT_EQ(box.caption, L"Warning");
    PressButton(box.window, IDNO);
    ASSERT_TRUE(WaitGone(box.window, kWaitMs));
    EXPECT_TRUE(host.Running());
    EXPECT_TRUE(IsWindowVisible(dialog));

    PostMessageW(dialog, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitForMessageBox(host.id(), dialog, kWaitMs, box));
    PressButton(box.window, IDYES);
    EXPECT_EQ(host.WaitExit(), -1);
}

TEST(MainDlgScreen, ResultBecomesTheExitCode) {
    // A newer updater's process id: no box, straight to the end.
    {
        CDialogHost host(L"en_US", L"finish=5000");
        EXPECT_EQ(host.WaitExit(), 5000);
    }
    // A failure: its box, then the end.
    {
        CDialogHost host(L"en_US", L"finish=12");
        HWND dialog = host.WaitForDialog();
        ASSERT_NE(dialog, nullptr);
        SMessageBox box;
        ASSERT_TRUE(WaitForMessageBox(host.id(), dialog, kWaitMs, box));
        EXPECT_EQ(box.caption, L"Error");
        EXPECT_EQ(box.text, L"Failed to update the local file!");
        EXPECT_TRUE(host.Running());
        PressButton(box.window, IDOK);
        EXPECT_EQ(host.WaitExit(), 12);
    }
}
