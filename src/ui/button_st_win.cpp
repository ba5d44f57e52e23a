#include "ui/button_st.h"

#include <shellapi.h>

#include <utility>

namespace {

void FillSolid(HDC dc, int x, int y, int width, int height, COLORREF color) {
    const RECT rect{x, y, x + width, y + height};
    const COLORREF old = SetBkColor(dc, color);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
    SetBkColor(dc, old);
}

// One-pixel edges: top and left in topLeft, bottom and right in bottomRight.
void Draw3dRect(HDC dc, const RECT& rect, COLORREF topLeft, COLORREF bottomRight) {
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    FillSolid(dc, rect.left, rect.top, width - 1, 1, topLeft);
    FillSolid(dc, rect.left, rect.top, 1, height - 1, topLeft);
    FillSolid(dc, rect.right - 1, rect.top, 1, height, bottomRight);
    FillSolid(dc, rect.left, rect.bottom - 1, width, 1, bottomRight);
}

SIZE BitmapSize(HBITMAP bitmap) {
    BITMAP info{};
    GetObjectW(bitmap, sizeof(info), &info);
    return SIZE{info.bmWidth, info.bmHeight};
}

// A monochrome mask, white where bitmap has the transparent colour; those
// pixels of bitmap are turned black so the two combine over any background.
HBITMAP MakeMask(HBITMAP bitmap, COLORREF transparent) {
    const SIZE size = BitmapSize(bitmap);
    HBITMAP mask = CreateBitmap(size.cx, size.cy, 1, 1, nullptr);
    HDC source = CreateCompatibleDC(nullptr);
    HDC target = CreateCompatibleDC(nullptr);
    if (!mask || !source || !target) {
        if (mask) DeleteObject(mask);
        if (source) DeleteDC(source);
        if (target) DeleteDC(target);
        return nullptr;
    }
    HGDIOBJ oldSource = SelectObject(source, bitmap);
    HGDIOBJ oldTarget = SelectObject(target, mask);
    SetBkColor(source, transparent);
    BitBlt(target, 0, 0, size.cx, size.cy, source, 0, 0, SRCCOPY);
    SetBkColor(source, RGB(255, 255, 255));
    SetTextColor(source, RGB(0, 0, 0));
    // Destination AND NOT source: black where the mask is white.
    BitBlt(source, 0, 0, size.cx, size.cy, target, 0, 0, 0x00220326);
    SelectObject(source, oldSource);
    SelectObject(target, oldTarget);
    DeleteDC(source);
    DeleteDC(target);
    return mask;
}

void BlitBitmap(HDC dc, int x, int y, int width, int height, HBITMAP bitmap, DWORD rop) {
    HDC memory = CreateCompatibleDC(dc);
    if (!memory) return;
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(dc, x, y, width, height, memory, 0, 0, rop);
    SelectObject(memory, old);
    DeleteDC(memory);
}

}  // namespace

CButtonST::CButtonST() : state_(kFlat | kDrawBorder) { SetDefaultColors(false); }

CButtonST::~CButtonST() {
    FreeImages();
    if (background_) DeleteObject(background_);
}

bool CButtonST::SubclassDlgItem(int id, HWND parent) {
    HWND button = GetDlgItem(parent, id);
    if (!button || !SubclassWindow(button)) return false;
    const LONG_PTR style = GetWindowLongPtrW(button, GWL_STYLE);
    isDefault_ = (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    SetWindowLongPtrW(button, GWL_STYLE, (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
    return true;
}

bool CButtonST::SetIcon(int iconIn, int iconOut) {
    HWND window = Handle();
    HINSTANCE instance =
        window ? reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE)) : GetModuleHandleW(nullptr);
    // Small icons at the screen's scale: 16 pixels at 96 dots per inch.
    const int size = GetSystemMetrics(SM_CXSMICON);
    auto load = [instance, size](int id) {
        return id ? static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0)) : nullptr;
    };
    HICON in = load(iconIn);
    if (!in) return false;
    SetIcon(in, load(iconOut));
    return true;
}

void CButtonST::SetIcon(HICON iconIn, HICON iconOut) {
    FreeImages();
    HICON icons[2] = {iconIn, iconOut};
    for (int i = 0; i < 2; ++i) {
        ICONINFO info{};
        if (!icons[i] || !GetIconInfo(icons[i], &info)) continue;
        const SIZE size = BitmapSize(info.hbmColor ? info.hbmColor : info.hbmMask);
        images_[i].icon = icons[i];
        images_[i].width = size.cx;
        // A monochrome icon's mask holds both halves, one above the other.
        images_[i].height = info.hbmColor ? size.cy : size.cy / 2;
        if (info.hbmMask) DeleteObject(info.hbmMask);
        if (info.hbmColor) DeleteObject(info.hbmColor);
    }
    Repaint();
}

bool CButtonST::SetBitmaps(HBITMAP bitmapIn, COLORREF transparentIn, HBITMAP bitmapOut, COLORREF transparentOut) {
    FreeImages();
    if (!bitmapIn) return false;
    const std::pair<HBITMAP, COLORREF> bitmaps[2] = {{bitmapIn, transparentIn}, {bitmapOut, transparentOut}};
    for (int i = 0; i < 2; ++i) {
        if (!bitmaps[i].first) continue;
        const SIZE size = BitmapSize(bitmaps[i].first);
        images_[i].bitmap = bitmaps[i].first;
        images_[i].mask = MakeMask(bitmaps[i].first, bitmaps[i].second);
        images_[i].width = size.cx;
        images_[i].height = size.cy;
    }
    Repaint();
    return true;
}

void CButtonST::SetFlat(bool flat, bool repaint) { SetFlag(kFlat, flat, repaint); }
void CButtonST::SetDrawBorder(bool draw, bool repaint) { SetFlag(kDrawBorder, draw, repaint); }
void CButtonST::SetFlatFocus(bool draw, bool repaint) { SetFlag(kDrawFlatFocus, draw, repaint); }
void CButtonST::DrawTransparent(bool transparent, bool repaint) { SetFlag(kDrawTransparent, transparent, repaint); }

void CButtonST::SetCheckBox(bool checkBox) {
    behaviour_ = static_cast<uint8_t>(checkBox ? behaviour_ | kCheckBox : behaviour_ & ~kCheckBox);
}

void CButtonST::SetCheck(bool checked, bool repaint) {
    behaviour_ = static_cast<uint8_t>(checked ? behaviour_ | kChecked : behaviour_ & ~kChecked);
    if (repaint) Repaint();
}

void CButtonST::SetAutoRepeat(bool repeat, DWORD delayMs) {
    behaviour_ = static_cast<uint8_t>(repeat ? behaviour_ | kAutoRepeat : behaviour_ & ~kAutoRepeat);
    repeatDelay_ = delayMs;
}

void CButtonST::SetColor(int slot, COLORREF color, bool repaint) {
    if (slot < 0 || slot >= kColorCount) return;
    colors_[slot] = color;
    if (repaint) Repaint();
}

COLORREF CButtonST::GetColor(int slot) const { return slot >= 0 && slot < kColorCount ? colors_[slot] : 0; }

void CButtonST::SetDefaultColors(bool repaint) {
    colors_[kColorBackIn] = GetSysColor(COLOR_BTNFACE);
    colors_[kColorForeIn] = GetSysColor(COLOR_BTNTEXT);
    colors_[kColorBackOut] = GetSysColor(COLOR_BTNFACE);
    colors_[kColorForeOut] = GetSysColor(COLOR_BTNTEXT);
    if (repaint) Repaint();
}

void CButtonST::SetFlag(uint8_t flag, bool on, bool repaint) {
    state_ = static_cast<uint8_t>(on ? state_ | flag : state_ & ~flag);
    if (repaint) Repaint();
}

void CButtonST::Repaint() {
    if (Handle()) InvalidateRect(Handle(), nullptr, TRUE);
}

void CButtonST::FreeImages() {
    for (SImage& image : images_) {
        if (image.icon) DestroyIcon(image.icon);
        if (image.bitmap) DeleteObject(image.bitmap);
        if (image.mask) DeleteObject(image.mask);
        image = SImage();
    }
}

bool CButtonST::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case kReflectedMessageBase + WM_DRAWITEM:
            DrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
            result = TRUE;
            return true;
        case kReflectedMessageBase + WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) OnClicked();
            result = 0;
            return true;
        case kReflectedMessageBase + WM_CTLCOLORBTN:
            result = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
            return true;
        case WM_MOUSEMOVE:
            // The default procedure keeps its own pressed state up to date too.
            result = DefWindowProcW(message, wParam, lParam);
            if ((state_ & kFlat) && (!(wParam & MK_LBUTTON) || (state_ & kMouseOver))) {
                POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
                ClientToScreen(window, &point);
                OnMouseMoveAt(point, (wParam & MK_LBUTTON) != 0);
            }
            return true;
        case WM_KILLFOCUS:
        case WM_CANCELMODE:
            OnLoseMouse();
            return false;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) OnLoseMouse();
            return false;
        case WM_ENABLE:
            if (!wParam) OnLoseMouse();
            return false;
        case WM_CAPTURECHANGED:
            if (state_ & kMouseOver) {
                ReleaseCapture();
                Repaint();
            }
            return false;
        case WM_LBUTTONDBLCLK:
            result = SendMessageW(window, WM_LBUTTONDOWN, wParam, lParam);
            return true;
        case WM_LBUTTONDOWN:
            if (!(behaviour_ & kAutoRepeat)) return false;
            RepeatWhileHeld();
            result = 0;
            return true;
        case WM_SETCURSOR:
            if (!cursor_) return false;
            SetCursor(cursor_);
            result = TRUE;
            return true;
        case WM_SYSCOLORCHANGE:
            SetDefaultColors(true);
            return false;
        default:
            return false;
    }
}

void CButtonST::OnMouseMoveAt(POINT screenPoint, bool leftButtonHeld) {
    HWND window = Handle();
    if (GetCapture() != window && GetActiveWindow() && GetParent(window)) {
        state_ |= kMouseOver;
        SetCapture(window);
        Repaint();
        return;
    }
    if (WindowFromPoint(screenPoint) == window) return;
    state_ = static_cast<uint8_t>(state_ & ~kMouseOver);
    Repaint();
    if (!leftButtonHeld) ReleaseCapture();
}

void CButtonST::OnLoseMouse() {
    if ((state_ & kFlat) && (state_ & kMouseOver)) {
        state_ = static_cast<uint8_t>(state_ & ~kMouseOver);
        Repaint();
    }
}

void CButtonST::RepeatWhileHeld() {
    HWND window = Handle();
    HWND parent = GetParent(window);
    const int id = GetDlgCtrlID(window);
    SetCapture(window);
    MSG up{};
    // The command goes out once per period until the button is let go; the
    // default procedure never saw the press, so the release adds no click.
    while (!PeekMessageW(&up, window, WM_LBUTTONUP, WM_LBUTTONUP, PM_REMOVE)) {
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(window));
        Sleep(repeatDelay_);
    }
    ReleaseCapture();
    SendMessageW(window, WM_LBUTTONUP, up.wParam, up.lParam);
    POINT cursor;
    GetCursorPos(&cursor);
    ScreenToClient(window, &cursor);
    SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(cursor.x, cursor.y));
}

void CButtonST::OnClicked() {
    if (behaviour_ & kCheckBox) {
        behaviour_ ^= kChecked;
        Repaint();
        return;
    }
    if (!url_.empty()) ShellExecuteW(nullptr, L"open", url_.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
}

void CButtonST::DrawItem(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const bool pressed = (behaviour_ & kCheckBox) ? (selected || (behaviour_ & kChecked)) : selected;
    SetFlag(kPressed, pressed, false);
    SetFlag(kFocused, (item.itemState & ODS_FOCUS) != 0, false);
    SetFlag(kDisabled, (item.itemState & ODS_DISABLED) != 0, false);
    const bool flat = (state_ & kFlat) != 0;
    const bool mouseOver = (state_ & kMouseOver) != 0;

    RECT rect = item.rcItem;
    SetBkMode(dc, TRANSPARENT);
    if (!flat && ((state_ & kFocused) || isDefault_)) {
        FrameRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        InflateRect(&rect, -1, -1);
    }

    if (state_ & kDrawTransparent) {
        PaintParentBackground(dc, rect);
    } else {
        OnDrawBackground(dc, rect);
    }

    if (pressed && !flat) {
        FrameRect(dc, &rect, GetSysColorBrush(COLOR_BTNSHADOW));
    } else if (pressed && (state_ & kDrawBorder)) {
        OnDrawBorder(dc, rect);
    } else if (!pressed && !flat) {
        const int width = rect.right - rect.left;
        const int height = rect.bottom - rect.top;
        FillSolid(dc, rect.left, rect.top, width, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
        FillSolid(dc, rect.left, rect.top, 1, height, GetSysColor(COLOR_BTNHIGHLIGHT));
        FillSolid(dc, rect.left + 1, rect.top + 1, width - 2, 1, GetSysColor(COLOR_3DLIGHT));
        FillSolid(dc, rect.left + 1, rect.top + 1, 1, height - 2, GetSysColor(COLOR_3DLIGHT));
        FillSolid(dc, rect.left, rect.bottom - 1, width, 1, GetSysColor(COLOR_3DDKSHADOW));
        FillSolid(dc, rect.right - 1, rect.top, 1, height, GetSysColor(COLOR_3DDKSHADOW));
        FillSolid(dc, rect.left + 1, rect.bottom - 2, width - 2, 1, GetSysColor(COLOR_BTNSHADOW));
        FillSolid(dc, rect.right - 2, rect.top + 1, 1, height - 2, GetSysColor(COLOR_BTNSHADOW));
    } else if (!pressed && mouseOver && (state_ & kDrawBorder)) {
        Draw3dRect(dc, rect, GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW));
    }

    const int length = GetWindowTextLengthW(Handle());
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(Handle(), &text[0], length + 1)));

    HGDIOBJ oldFont = nullptr;
    if (HFONT font = reinterpret_cast<HFONT>(SendMessageW(Handle(), WM_GETFONT, 0, 0))) {
        oldFont = SelectObject(dc, font);
    }
    DrawImage(dc, item.rcItem, !text.empty());
    if (!text.empty()) DrawCaption(dc, item.rcItem, text);
    if (oldFont) SelectObject(dc, oldFont);

    if ((state_ & kFocused) && (!flat || (state_ & kDrawFlatFocus))) {
        RECT focus = item.rcItem;
        InflateRect(&focus, -3, -3);
        DrawFocusRect(dc, &focus);
    }
}

void CButtonST::OnDrawBackground(HDC dc, const RECT& rect) {
    const bool in = (state_ & (kMouseOver | kPressed)) != 0;
    const COLORREF color = colors_[in ? kColorBackIn : kColorBackOut];
    FillSolid(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, color);
}

void CButtonST::OnDrawBorder(HDC dc, const RECT& rect) {
    Draw3dRect(dc, rect, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT));
}

void CButtonST::PaintParentBackground(HDC dc, const RECT& rect) {
    HWND window = Handle();
    HWND parent = GetParent(window);
    if (!parent) return;
    HDC memory = CreateCompatibleDC(dc);
    if (!memory) return;
    RECT parentClient;
    GetClientRect(parent, &parentClient);
    if (!background_) {
        // The parent prints its own background once; what it has no
        // painting for keeps the dialog face colour.
        background_ = CreateCompatibleBitmap(dc, parentClient.right, parentClient.bottom);
        if (!background_) {
            DeleteDC(memory);
            return;
        }
        HGDIOBJ old = SelectObject(memory, background_);
        FillRect(memory, &parentClient, GetSysColorBrush(COLOR_BTNFACE));
        SendMessageW(parent, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
        SelectObject(memory, old);
    }
    RECT placed;
    GetWindowRect(window, &placed);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&placed), 2);
    HGDIOBJ old = SelectObject(memory, background_);
    BitBlt(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, memory, placed.left + rect.left,
           placed.top + rect.top, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
}

void CButtonST::DrawImage(HDC dc, const RECT& item, bool hasText) {
    const bool in = (state_ & (kMouseOver | kPressed)) != 0;
    const bool disabled = (state_ & kDisabled) != 0;
    const bool shifted = (state_ & kPressed) && !(behaviour_ & kCheckBox);
    // The image at the left edge beside a text, else in the middle; both
    // vertically centred, one pixel down and right while pressed.
    auto place = [&](const SImage& image, int& x, int& y) {
        x = hasText ? item.left + 3 : item.left + (item.right - item.left - image.width) / 2;
        y = item.top + (item.bottom - item.top - image.height) / 2;
        if (shifted) {
            ++x;
            ++y;
        }
    };
    auto pick = [&](bool icon) -> const SImage& {
        const SImage& out = images_[1];
        const bool outUsable = icon ? out.icon != nullptr : out.bitmap != nullptr;
        return in || !outUsable ? images_[0] : out;
    };

    const SImage& icon = pick(true);
    if (icon.icon) {
        int x, y;
        place(icon, x, y);
        if (disabled) {
            DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(icon.icon), 0, x, y, icon.width, icon.height,
                       DST_ICON | DSS_DISABLED);
        } else {
            DrawIconEx(dc, x, y, icon.icon, icon.width, icon.height, 0, nullptr, DI_NORMAL);
        }
    }
    const SImage& bitmap = pick(false);
    if (bitmap.bitmap) {
        int x, y;
        place(bitmap, x, y);
        if (disabled) {
            DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(bitmap.bitmap), 0, x, y, bitmap.width,
                       bitmap.height, DST_BITMAP | DSS_DISABLED);
        } else {
            const COLORREF oldBack = SetBkColor(dc, RGB(255, 255, 255));
            const COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
            if (bitmap.mask) BlitBitmap(dc, x, y, bitmap.width, bitmap.height, bitmap.mask, SRCAND);
            BlitBitmap(dc, x, y, bitmap.width, bitmap.height, bitmap.bitmap, bitmap.mask ? SRCPAINT : SRCCOPY);
            SetBkColor(dc, oldBack);
            SetTextColor(dc, oldText);
        }
    }
}

void CButtonST::DrawCaption(HDC dc, const RECT& item, const std::wstring& text) {
    RECT measured = item;
    DrawTextW(dc, text.c_str(), -1, &measured, DT_WORDBREAK | DT_CENTER | DT_CALCRECT);
    const int width = measured.right - measured.left;
    const int height = measured.bottom - measured.top;
    RECT placed;
    placed.left = item.left + (item.right - item.left - width) / 2;
    placed.top = item.top + (item.bottom - item.top - height) / 2;
    placed.right = placed.left + width;
    placed.bottom = placed.top + height;
    if ((state_ & kPressed) && !(behaviour_ & kCheckBox)) OffsetRect(&placed, 1, 1);

    if (state_ & kDisabled) {
        OffsetRect(&placed, 1, 1);
        SetTextColor(dc, GetSysColor(COLOR_3DHILIGHT));
        DrawTextW(dc, text.c_str(), -1, &placed, DT_WORDBREAK | DT_CENTER);
        OffsetRect(&placed, -1, -1);
        SetTextColor(dc, GetSysColor(COLOR_3DSHADOW));
        DrawTextW(dc, text.c_str(), -1, &placed, DT_WORDBREAK | DT_CENTER);
        return;
    }
    const bool in = (state_ & (kMouseOver | kPressed)) != 0;
    SetTextColor(dc, colors_[in ? kColorForeIn : kColorForeOut]);
    SetBkColor(dc, colors_[in ? kColorBackIn : kColorBackOut]);
    DrawTextW(dc, text.c_str(), -1, &placed, DT_WORDBREAK | DT_CENTER);
}
