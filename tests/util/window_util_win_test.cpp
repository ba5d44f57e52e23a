#include "util/window_util.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

// A hidden 100 x 60 pop-up window, destroyed with the fixture.
class PopupWindow {
public:
    PopupWindow()
        : window_(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 100, 60, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr)) {}
    ~PopupWindow() {
        if (window_) DestroyWindow(window_);
    }
    PopupWindow(const PopupWindow&) = delete;
    PopupWindow& operator=(const PopupWindow&) = delete;

    HWND get() const { return window_; }

private:
    HWND window_;
};

}  // namespace

TEST(WindowUtilWin, OnlyTheTopCornersAreRounded) {
    PopupWindow window;
    // Windows always has a desktop; Wine without an X display cannot create
    // windows (scripts/test runs the Windows tests under Xvfb).
    if (!window.get()) GTEST_SKIP() << "no display for windows";
    ASSERT_TRUE(RoundTopCorners(window.get()));
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(window.get(), region), ERROR);
    EXPECT_FALSE(PtInRegion(region, 0, 0));
    EXPECT_FALSE(PtInRegion(region, 99, 0));
    EXPECT_TRUE(PtInRegion(region, 50, 0));
    EXPECT_TRUE(PtInRegion(region, 0, 15));
    EXPECT_TRUE(PtInRegion(region, 0, 59));
    EXPECT_TRUE(PtInRegion(region, 99, 59));
    DeleteObject(region);
}

TEST(WindowUtilWin, NoWindowNoRegion) { EXPECT_FALSE(RoundTopCorners(nullptr)); }
