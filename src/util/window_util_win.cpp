#include "util/window_util.h"

#include <windows.h>

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    if (!screen) return 96;
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

int ScaleToDpi(int pixels, int dpi) { return MulDiv(pixels, dpi, 96); }

bool RoundTopCorners(HWND window) {
    RECT rect;
    if (!GetWindowRect(window, &rect)) return false;
    // One pixel more to the right and bottom, so the edges are not cut off.
    int width = rect.right - rect.left + 1;
    int height = rect.bottom - rect.top + 1;
    const int dpi = ScreenDpi();
    const int corner = ScaleToDpi(9, dpi);
    // The rounded part covers only the top; the rectangle below squares the
    // bottom corners off again.
    HRGN region = CreateRoundRectRgn(0, 0, width + 1, ScaleToDpi(20, dpi), corner, corner);
    HRGN lower = CreateRectRgn(0, ScaleToDpi(10, dpi), width, height);
    bool shaped = region && lower && CombineRgn(region, region, lower, RGN_OR) != ERROR &&
                  SetWindowRgn(window, region, TRUE) != 0;
    if (lower) DeleteObject(lower);
    // After a successful SetWindowRgn the system owns the region.
    if (!shaped && region) DeleteObject(region);
    return shaped;
}
