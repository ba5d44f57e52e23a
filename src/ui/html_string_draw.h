// Windows only: mark-up text laid out with GDI fonts and drawn with ExtTextOutW.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "ui/html_layout.h"

// Used on one thread (the dialog's); the fonts it creates are its own.
class CHtmlStringDraw {
public:
    // Without a base font, the message font of the system's non-client
    // metrics; the base colour is the system's caption text colour.
    CHtmlStringDraw();
    explicit CHtmlStringDraw(const LOGFONTW& baseFont);
    ~CHtmlStringDraw();
    CHtmlStringDraw(const CHtmlStringDraw&) = delete;
    CHtmlStringDraw& operator=(const CHtmlStringDraw&) = delete;

    void SetText(const std::wstring& markup);
    const std::wstring& Text() const { return markup_; }
    // Lays the text out in rect, measuring in a screen device context.
    void Layout(const RECT& rect);
    // Paints the runs that meet clip, each clipped to the layout rectangle,
    // leaving the device context's state as it was.
    void Draw(HDC dc, const RECT& clip);

    const std::vector<SHtmlRun>& Runs() const { return runs_; }
    const SHtmlFont& BaseFont() const { return baseFont_; }

    // The GDI font of a description, created on first use and kept; null when
    // it cannot be created.
    HFONT FontOf(const SHtmlFont& font);

private:
    struct SFontKey {
        SHtmlFont font;
        bool operator<(const SFontKey& o) const;
    };

    LOGFONTW baseLogFont_{};
    SHtmlFont baseFont_;
    COLORREF baseColor_;
    std::wstring markup_;
    RECT layoutRect_{};
    std::vector<SHtmlRun> runs_;
    std::map<SFontKey, HFONT> fonts_;
};
