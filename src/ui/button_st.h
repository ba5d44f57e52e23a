// Windows only: a push button that draws itself (flat or 3-D, coloured,
// tracked under the mouse, with an icon or a bitmap), and may act as a check
// box, repeat its command while held, or open a URL when clicked. It
// subclasses a button of a dialog whose notifications are reflected back to
// their controls (CDialogImpl::ReflectNotifications).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/window_impl.h"

// Reached only on the dialog's thread.
class CButtonST : public CWindowImpl {
public:
    // State flags.
    enum : uint8_t {
        kMouseOver = 0x01,
        kDrawTransparent = 0x02,  // paints a copy of the parent's background instead of a colour
        kPressed = 0x04,
        kFocused = 0x08,
        kDisabled = 0x10,
        kDrawBorder = 0x20,  // a flat button shows its edges while the mouse is over it
        kFlat = 0x40,
        kDrawFlatFocus = 0x80,  // a flat button shows its focus rectangle
    };
    // Behaviour flags.
    enum : uint8_t {
        kAutoRepeat = 0x01,
        kCheckBox = 0x04,
        kChecked = 0x08,
    };
    // Colour slots.
    enum {
        kColorBackIn = 0,  // mouse over or pressed
        kColorForeIn = 1,
        kColorBackOut = 2,
        kColorForeOut = 3,
        kColorCount = 4,
    };

    // Flat, with edges while the mouse is over it, in the system colours.
    CButtonST();
    ~CButtonST() override;

    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    // Fills rect with the "in" background colour while the mouse is over the
    // button or it is pressed, else with the "out" one.
    virtual void OnDrawBackground(HDC dc, const RECT& rect);
    // The sunken edge of a pressed flat button.
    virtual void OnDrawBorder(HDC dc, const RECT& rect);

    // Attaches to control id of parent and makes it owner-drawn. Returns false
    // when there is no such control or it is already attached.
    bool SubclassDlgItem(int id, HWND parent);

    // Icons for the in and out states (out null: the in icon throughout). The
    // button owns them. Resource variants load from the module that holds
    // the dialog, at the screen's small-icon size (16 pixels at 96 dots per
    // inch); false when the in icon cannot be loaded.
    bool SetIcon(int iconIn, int iconOut);
    void SetIcon(HICON iconIn, HICON iconOut);
    // Bitmaps for the in and out states; pixels of the transparent colour
    // let the background show. The button owns them and the masks it makes.
    bool SetBitmaps(HBITMAP bitmapIn, COLORREF transparentIn, HBITMAP bitmapOut, COLORREF transparentOut);

    void SetFlat(bool flat, bool repaint = true);
    void SetDrawBorder(bool draw, bool repaint = true);
    void SetFlatFocus(bool draw, bool repaint = true);
    void DrawTransparent(bool transparent, bool repaint = true);
    void SetCheckBox(bool checkBox);
    void SetCheck(bool checked, bool repaint = true);
    bool GetCheck() const { return (behaviour_ & kChecked) != 0; }
    void SetAutoRepeat(bool repeat, DWORD delayMs = 100);
    void SetColor(int slot, COLORREF color, bool repaint = true);
    COLORREF GetColor(int slot) const;
    // System button-face background and button-text colours in every slot.
    void SetDefaultColors(bool repaint = true);
    // Opened by the shell ("open", maximised) when the button is clicked.
    void SetURL(const std::wstring& url) { url_ = url; }
    // Shown while the mouse is over the button; not owned.
    void SetBtnCursor(HCURSOR cursor) { cursor_ = cursor; }

    uint8_t StateFlags() const { return state_; }
    uint8_t BehaviourFlags() const { return behaviour_; }

private:
    struct SImage {
        HICON icon = nullptr;
        HBITMAP bitmap = nullptr;
        HBITMAP mask = nullptr;
        int width = 0;
        int height = 0;
    };

    void SetFlag(uint8_t flag, bool on, bool repaint);
    void Repaint();
    void FreeImages();
    void DrawItem(const DRAWITEMSTRUCT& item);
    void PaintParentBackground(HDC dc, const RECT& rect);
    void DrawImage(HDC dc, const RECT& item, bool hasText);
    void DrawCaption(HDC dc, const RECT& item, const std::wstring& text);
    void OnMouseMoveAt(POINT screenPoint, bool leftButtonHeld);
    void OnLoseMouse();
    void RepeatWhileHeld();
    void OnClicked();

    uint8_t state_;
    uint8_t behaviour_ = 0;
    bool isDefault_ = false;
    COLORREF colors_[kColorCount] = {};
    DWORD repeatDelay_ = 100;
    HCURSOR cursor_ = nullptr;
    std::wstring url_;
    SImage images_[2];  // in, out
    HBITMAP background_ = nullptr;  // the parent's background under the button, once taken
};
