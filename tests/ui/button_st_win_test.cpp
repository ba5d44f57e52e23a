#include "ui/button_st.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "../../res/resource.h"
#include "child_process.h"
#include "helpers/button_host_ids.h"
#include "pixel_image_win.h"
#include "temp_dir.h"
#include "ui/dialog_impl.h"
#include "window_probe_win.h"

namespace {

const COLORREF kParentBackground = RGB(10, 20, 30);

// A dialog with three buttons, each a CButtonST, that reflects their
// notifications back to them and paints its background in one colour. The
// test body runs inside the dialog's message loop.
class CButtonHost : public CDialogImpl {
public:
    explicit CButtonHost(std::function<void(CButtonHost&)> body) : body_(std::move(body)) {}

    void Run() { DoModal(GetModuleHandleW(nullptr), IDD_BUTTON_HOST, nullptr); }

    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        switch (message) {
            case WM_INITDIALOG:
                EXPECT_TRUE(text.SubclassDlgItem(IDC_TEXT_BUTTON, window));
                EXPECT_TRUE(image.SubclassDlgItem(IDC_IMAGE_BUTTON, window));
                EXPECT_TRUE(byDefault.SubclassDlgItem(IDC_DEFAULT_BUTTON, window));
                PostMessageW(window, WM_APP, 0, 0);
                result = FALSE;
                return true;
            case WM_APP:
                body_(*this);
                EndDialog(0);
                return true;
            case WM_PRINTCLIENT: {
                RECT client;
                GetClientRect(window, &client);
                HBRUSH brush = CreateSolidBrush(kParentBackground);
                FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
                DeleteObject(brush);
                return true;
            }
            case WM_COMMAND:
                if (LOWORD(wParam) == IDC_TEXT_BUTTON && HIWORD(wParam) == BN_CLICKED) {
                    ++commands;
                    if (commands == releaseAfter) PostMessageW(text.Handle(), WM_LBUTTONUP, 0, 0);
                }
                break;
            default:
                break;
        }
        return ReflectNotifications(message, wParam, lParam, result);
    }

    CButtonST text;
    CButtonST image;
    CButtonST byDefault;
    int commands = 0;
    int releaseAfter = 0;

private:
    std::function<void(CButtonHost&)> body_;
};

void RunInHost(const std::function<void(CButtonHost&)>& body) {
    CButtonHost host(body);
    host.Run();
}

// What the button draws, asked for through the standard print request.
CPixelImage Render(HWND button) {
    RECT client;
    GetClientRect(button, &client);
    CPixelImage image(client.right, client.bottom);
    image.Fill(RGB(255, 0, 255));
    SendMessageW(button, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(image.dc()), PRF_CLIENT);
    return image;
}

void MoveMouse(HWND button, int x, int y) { SendMessageW(button, WM_MOUSEMOVE, 0, MAKELPARAM(x, y)); }

// Takes the focus away, so no button draws as focused.
void Unfocus(CButtonHost&) { SetFocus(nullptr); }

}  // namespace

TEST(ButtonST, StartsFlatWithBorderInSystemColours) {
    RunInHost([](CButtonHost& host) {
        const uint8_t state = host.text.StateFlags();
        EXPECT_TRUE(state & CButtonST::kFlat);
        EXPECT_TRUE(state & CButtonST::kDrawBorder);
        EXPECT_FALSE(state & CButtonST::kMouseOver);
        EXPECT_EQ(host.text.GetColor(CButtonST::kColorBackIn), GetSysColor(COLOR_BTNFACE));
        EXPECT_EQ(host.text.GetColor(CButtonST::kColorForeOut), GetSysColor(COLOR_BTNTEXT));
        EXPECT_EQ(GetWindowLongPtrW(host.text.Handle(), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    });
}

TEST(ButtonST, RaisedButtonDrawsFourEdges) {
    RunInHost([](CButtonHost& host) {
        Unfocus(host);
        host.text.SetFlat(false);
        const CPixelImage drawn = Render(host.text.Handle());
        const int w = drawn.width();
        const int h = drawn.height();
        EXPECT_EQ(drawn.At(0, h / 2), GetSysColor(COLOR_BTNHIGHLIGHT));
        EXPECT_EQ(drawn.At(w / 2, 0), GetSysColor(COLOR_BTNHIGHLIGHT));
        EXPECT_EQ(drawn.At(1, h / 2), GetSysColor(COLOR_3DLIGHT));
        EXPECT_EQ(drawn.At(w - 1, h / 2), GetSysColor(COLOR_3DDKSHADOW));
        EXPECT_EQ(drawn.At(w / 2, h - 1), GetSysColor(COLOR_3DDKSHADOW));
        EXPECT_EQ(drawn.At(w - 2, h / 2), GetSysColor(COLOR_BTNSHADOW));
        EXPECT_EQ(drawn.At(2, 2), GetSysColor(COLOR_BTNFACE));

        // Focused, or the dialog's default button: framed in black first.
        SetFocus(host.text.Handle());
        EXPECT_EQ(Render(host.text.Handle()).At(0, h / 2), RGB(0, 0, 0));
        Unfocus(host);
        host.byDefault.SetFlat(false);
        EXPECT_EQ(Render(host.byDefault.Handle()).At(0, 5), RGB(0, 0, 0));
    });
}

TEST(ButtonST, FlatButtonShowsEdgesOnlyWhileTheMouseIsOver) {
    RunInHost([](CButtonHost& host) {
        Unfocus(host);
        HWND button = host.text.Handle();
        CPixelImage drawn = Render(button);
        const int w = drawn.width();
        const int h = drawn.height();
        EXPECT_EQ(drawn.At(0, h / 2), GetSysColor(COLOR_BTNFACE));
        EXPECT_EQ(drawn.At(w - 1, h / 2), GetSysColor(COLOR_BTNFACE));

        MoveMouse(button, 5, 5);
        EXPECT_TRUE(host.text.StateFlags() & CButtonST::kMouseOver);
        EXPECT_EQ(GetCapture(), button);
        drawn = Render(button);
        EXPECT_EQ(drawn.At(0, h / 2), GetSysColor(COLOR_BTNHIGHLIGHT));
        EXPECT_EQ(drawn.At(w - 1, h / 2), GetSysColor(COLOR_BTNSHADOW));

        // Leaving the button: the window under the cursor is the dialog.
        MoveMouse(button, w + 40, h + 20);
        EXPECT_FALSE(host.text.StateFlags() & CButtonST::kMouseOver);
        EXPECT_NE(GetCapture(), button);
        EXPECT_EQ(Render(button).At(0, h / 2), GetSysColor(COLOR_BTNFACE));

        // Without the border flag a flat button never shows edges.
        host.text.SetDrawBorder(false);
        MoveMouse(button, 5, 5);
        EXPECT_EQ(Render(button).At(0, h / 2), GetSysColor(COLOR_BTNFACE));
        MoveMouse(button, w + 40, h + 20);
    });
}

TEST(ButtonST, MouseEnteringWithTheButtonHeldIsIgnored) {
    RunInHost([](CButtonHost& host) {
        HWND button = host.text.Handle();
        SendMessageW(button, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, 5));
        EXPECT_FALSE(host.text.StateFlags() & CButtonST::kMouseOver);
        // A raised button does not track the mouse at all.
        host.text.SetFlat(false);
        MoveMouse(button, 5, 5);
        EXPECT_FALSE(host.text.StateFlags() & CButtonST::kMouseOver);
    });
}

TEST(ButtonST, BackgroundFollowsTheMouseColours) {
    RunInHost([](CButtonHost& host) {
        Unfocus(host);
        HWND button = host.text.Handle();
        host.text.SetColor(CButtonST::kColorBackIn, RGB(200, 0, 0));
        host.text.SetColor(CButtonST::kColorBackOut, RGB(0, 0, 200));
        EXPECT_EQ(Render(button).At(3, 3), RGB(0, 0, 200));
        MoveMouse(button, 5, 5);
        EXPECT_EQ(Render(button).At(3, 3), RGB(200, 0, 0));
        // Losing the focus, the capture going elsewhere or cancel mode end the mouse-over.
        SendMessageW(button, WM_KILLFOCUS, 0, 0);
        EXPECT_FALSE(host.text.StateFlags() & CButtonST::kMouseOver);
        EXPECT_EQ(Render(button).At(3, 3), RGB(0, 0, 200));
        ReleaseCapture();
        MoveMouse(button, 5, 5);
        EXPECT_TRUE(host.text.StateFlags() & CButtonST::kMouseOver);
        SendMessageW(button, WM_CANCELMODE, 0, 0);
        EXPECT_FALSE(host.text.StateFlags() & CButtonST::kMouseOver);
        ReleaseCapture();
        // A system colour change restores the defaults.
        SendMessageW(button, WM_SYSCOLORCHANGE, 0, 0);
        EXPECT_EQ(host.text.GetColor(CButtonST::kColorBackOut), GetSysColor(COLOR_BTNFACE));
    });
}

TEST(ButtonST, DisabledTextIsEmbossedAndIgnoresTheMouseColours) {
    RunInHost([](CButtonHost& host) {
        Unfocus(host);
        HWND button = host.text.Handle();
        host.text.SetColor(CButtonST::kColorForeIn, RGB(255, 0, 0));
        host.text.SetColor(CButtonST::kColorForeOut, RGB(255, 0, 0));
        auto red = [](COLORREF c) { return GetRValue(c) > 200 && GetGValue(c) < 60 && GetBValue(c) < 60; };
        CPixelImage drawn = Render(button);
        const RECT all{0, 0, drawn.width(), drawn.height()};
        EXPECT_GT(drawn.Count(all, red), 10);

        EnableWindow(button, FALSE);
        MoveMouse(button, 5, 5);
        drawn = Render(button);
        EXPECT_EQ(drawn.Count(all, red), 0);
        const COLORREF light = GetSysColor(COLOR_3DHILIGHT);
        const COLORREF shadow = GetSysColor(COLOR_3DSHADOW);
        EXPECT_GT(drawn.Count(all, [light](COLORREF c) { return c == light; }), 10);
        EXPECT_GT(drawn.Count(all, [shadow](COLORREF c) { return c == shadow; }), 10);
        // Inside the edges, the light copy of the text lies one pixel right
        // and down of the shadow one, which covers most of it.
        double lightX = 0, lightY = 0, shadowX = 0, shadowY = 0;
        int lights = 0, shadows = 0;
        for (int x = 2; x < drawn.width() - 2; ++x) {
            for (int y = 2; y < drawn.height() - 2; ++y) {
                if (drawn.At(x, y) == light) {
                    lightX += x;
                    lightY += y;
                    ++lights;
                } else if (drawn.At(x, y) == shadow) {
                    shadowX += x;
                    shadowY += y;
                    ++shadows;
                }
            }
        }
        ASSERT_GT(lights, 0);
        ASSERT_GT(shadows, 0);
        EXPECT_GT(lightX / lights, shadowX / shadows + 0.5);
        EXPECT_GT(lightY / lights, shadowY / shadows + 0.5);
        EnableWindow(button, TRUE);
    });
}

TEST(ButtonST, CheckBoxStaysPressedWhileChecked) {
    RunInHost([](CButtonHost& host) {
        Unfocus(host);
        HWND button = host.text.Handle();
        host.text.SetCheckBox(true);
        CPixelImage drawn = Render(button);
        const int w = drawn.width();
        const int h = drawn.height();
        EXPECT_EQ(drawn.At(0, h / 2), GetSysColor(COLOR_BTNFACE));

        SendMessageW(button, BM_CLICK, 0, 0);
        EXPECT_TRUE(host.text.GetCheck());
        EXPECT_TRUE(host.text.BehaviourFlags() & CButtonST::kChecked);
        Unfocus(host);
        drawn = Render(button);
        // Pressed and flat: the sunken edge.
        EXPECT_EQ(drawn.At(0, h / 2), GetSysColor(COLOR_BTNSHADOW));
        EXPECT_EQ(drawn.At(w - 1, h / 2), GetSysColor(COLOR_BTNHIGHLIGHT));
        // Pressed and raised: a shadow frame.
        host.text.SetFlat(false);
        drawn = Render(button);
        EXPECT_EQ(drawn.At(0, h / 2), GetSysColor(COLOR_BTNSHADOW));
        EXPECT_EQ(drawn.At(w - 1, h / 2), GetSysColor(COLOR_BTNSHADOW));

        SendMessageW(button, BM_CLICK, 0, 0);
        EXPECT_FALSE(host.text.GetCheck());
        Unfocus(host);
        EXPECT_EQ(Render(button).At(0, h / 2), GetSysColor(COLOR_BTNHIGHLIGHT));
        host.text.SetCheck(true, false);
        EXPECT_TRUE(host.text.GetCheck());
    });
}

TEST(ButtonST, AutoRepeatSendsTheCommandUntilReleased) {
    RunInHost([](CButtonHost& host) {
        HWND button = host.text.Handle();
        // Raised, so the mouse move after the release does not capture the mouse again.
        host.text.SetFlat(false);
        host.text.SetAutoRepeat(true, 1);
        EXPECT_TRUE(host.text.BehaviourFlags() & CButtonST::kAutoRepeat);
        host.releaseAfter = 3;
        SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
        EXPECT_EQ(host.commands, 3);
        EXPECT_NE(GetCapture(), button);
        // The release adds no command of its own.
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        EXPECT_EQ(host.commands, 3);

        // A double click counts as a press.
        host.commands = 0;
        host.releaseAfter = 2;
        SendMessageW(button, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(3, 3));
        EXPECT_EQ(host.commands, 2);
    });
}

TEST(ButtonST, UrlOpensMaximised) {
    ScopedTempDir dir;
    const std::wstring program = dir.WinPath() + L"show_recorder.exe";
    ASSERT_TRUE(CopyFileW((TestBinDir() + L"show_recorder.exe").c_str(), program.c_str(), FALSE));
    RunInHost([&program](CButtonHost& host) {
        host.text.SetURL(program);
        SendMessageW(host.text.Handle(), BM_CLICK, 0, 0);
    });
    const std::filesystem::path record = dir.path() / "show_recorder.exe.shown";
    ASSERT_TRUE(WaitUntil([&] { return !ReadFileBytes(record).empty(); }, 30000));
    EXPECT_EQ(ReadFileBytes(record), std::to_string(SW_SHOWMAXIMIZED));
}

TEST(ButtonST, CursorAndColourRequests) {
    RunInHost([](CButtonHost& host) {
        HWND button = host.text.Handle();
        HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
        host.text.SetBtnCursor(hand);
        EXPECT_EQ(SendMessageW(button, WM_SETCURSOR, reinterpret_cast<WPARAM>(button), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
                  TRUE);
        EXPECT_EQ(GetCursor(), hand);
        // The dialog's colour request for the button comes back as a hollow brush.
        HDC dc = GetDC(button);
        EXPECT_EQ(SendMessageW(host.Handle(), WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc),
                               reinterpret_cast<LPARAM>(button)),
                  reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH)));
        ReleaseDC(button, dc);
    });
}

TEST(ButtonST, TransparentButtonShowsTheParentsBackground) {
    RunInHost([](CButtonHost& host) {
        Unfocus(host);
        host.text.DrawTransparent(true);
        EXPECT_TRUE(host.text.StateFlags() & CButtonST::kDrawTransparent);
        const CPixelImage drawn = Render(host.text.Handle());
        EXPECT_EQ(drawn.At(2, 2), kParentBackground);
        EXPECT_EQ(drawn.At(drawn.width() - 3, drawn.height() - 3), kParentBackground);
    });
}

TEST(ButtonST, IconsFollowTheMouse) {
    RunInHost([](CButtonHost& host) {
        Unfocus(host);
        HWND button = host.image.Handle();
        EXPECT_FALSE(host.image.SetIcon(9999, 0));
        ASSERT_TRUE(host.image.SetIcon(IDI_CLOSE_IN, IDI_CLOSE_OUT));
        host.image.SetDrawBorder(false);
        // 16 x 16 icons in the middle of the button.
        CPixelImage drawn = Render(button);
        const int left = (drawn.width() - 16) / 2;
        const int top = (drawn.height() - 16) / 2;
        const RECT iconRect{left, top, left + 16, top + 16};
        auto closeRed = [](COLORREF c) { return ColorNear(c, RGB(232, 17, 35), 30); };
        auto white = [](COLORREF c) { return ColorNear(c, RGB(255, 255, 255), 40); };
        // Away from the mouse: the white cross on the button face.
        EXPECT_EQ(drawn.Count(iconRect, closeRed), 0);
        EXPECT_GT(drawn.Count(iconRect, white), 20);
        EXPECT_EQ(drawn.At(left + 1, top + 8), GetSysColor(COLOR_BTNFACE));
        // Under the mouse: the red square.
        MoveMouse(button, 5, 5);
        drawn = Render(button);
        EXPECT_GT(drawn.Count(iconRect, closeRed), 100);
        EXPECT_GT(drawn.Count(iconRect, white), 8);
        MoveMouse(button, 500, 500);
    });
}

TEST(ButtonST, BitmapsShowTheBackgroundThroughTheirTransparentColour) {
    RunInHost([](CButtonHost& host) {
        Unfocus(host);
        // 8 x 8: magenta frame around a blue square.
        CPixelImage source(8, 8);
        source.Fill(RGB(255, 0, 255));
        HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
        const RECT inner{2, 2, 6, 6};
        FillRect(source.dc(), &inner, blue);
        DeleteObject(blue);
        HDC screen = GetDC(nullptr);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, 8, 8);
        ReleaseDC(nullptr, screen);
        HDC memory = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, 8, 8, source.dc(), 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);

        host.image.SetColor(CButtonST::kColorBackOut, RGB(0, 160, 0), false);
        ASSERT_TRUE(host.image.SetBitmaps(bitmap, RGB(255, 0, 255), nullptr, 0));
        const CPixelImage drawn = Render(host.image.Handle());
        const int left = (drawn.width() - 8) / 2;
        const int top = (drawn.height() - 8) / 2;
        EXPECT_EQ(drawn.At(left + 3, top + 3), RGB(0, 0, 255));
        EXPECT_EQ(drawn.At(left, top), RGB(0, 160, 0));
        EXPECT_EQ(drawn.At(left + 7, top + 7), RGB(0, 160, 0));
    });
}
