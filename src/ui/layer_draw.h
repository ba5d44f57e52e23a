// Windows only: a background painted as a stack of layers (colours, brushes,
// icons, bitmaps, gradients, mark-up text, nested drawings), each placed in a
// design rectangle and scaled onto whatever device rectangle it is drawn in.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/html_string_draw.h"

// Owns its layers; the GDI handles the layers refer to (brushes, icons,
// bitmaps) and nested drawings stay the caller's. Used on one thread.
class CLayerDraw {
public:
    enum {
        LAYER_NONE = -1,
        LAYER_SOLIDCOLOR = 0,
        LAYER_BRUSH = 1,
        LAYER_ICON = 2,
        LAYER_BMP = 3,
        LAYER_ALPHABMP = 4,
        LAYER_LAYER = 5,
        LAYER_GRADIENT = 6,
        LAYER_TXT = 7,
    };

    struct CLayerDef {
        virtual ~CLayerDef() = default;
        int type = LAYER_NONE;
        RECT dst{};  // design coordinates
        RECT src{};  // the part of the layer's own content that fills dst
    };
    struct CLayerDef_SOLIDECOLR : CLayerDef {
        COLORREF color = 0;
    };
    struct CLayerDef_BRUSH : CLayerDef {
        HBRUSH brush = nullptr;
    };
    struct CLayerDef_ICON : CLayerDef {
        HICON icon = nullptr;
    };
    struct CLayerDef_BMP : CLayerDef {
        HBITMAP bitmap = nullptr;
        HBITMAP mask = nullptr;
    };
    struct CLayerDef_ALPHABMP : CLayerDef {
        HBITMAP bitmap = nullptr;
        int value = 0;
    };
    struct CLayerDef_LAYER : CLayerDef {
        CLayerDraw* layer = nullptr;
    };
    struct CLayerDef_GRADIENT : CLayerDef {
        COLORREF start = 0;
        COLORREF end = 0;
        bool horizontal = false;
    };
    struct CLayerDef_TXT : CLayerDef {
        CHtmlStringDraw text;
    };

    CLayerDraw() = default;
    virtual ~CLayerDraw();
    CLayerDraw(const CLayerDraw&) = delete;
    CLayerDraw& operator=(const CLayerDraw&) = delete;

    // Paints every layer, in the order added, that meets design: the part of
    // design shown maps onto device. Returns whether any layer painted.
    virtual bool Draw(HDC dc, const RECT& device, const RECT& design);

    void AddSolidColor(const RECT& rect, COLORREF color);
    // From start to end, left to right when horizontal, else top to bottom.
    void AddGradient(const RECT& rect, COLORREF start, COLORREF end, bool horizontal);
    void AddBrush(const RECT& rect, HBRUSH brush);
    void AddIcon(const RECT& rect, HICON icon);
    // source null: the bitmap's part from (0, 0) of rect's size. mask null: copied as it is.
    void AddBitmap(const RECT& rect, HBITMAP bitmap, const RECT* source, HBITMAP mask);
    // Kept, but painting it does nothing.
    void AddAlphaBitmap(const RECT& rect, HBITMAP bitmap, int value, const RECT* source);
    // Laid out at once in rect with the default font. Painted only unscaled.
    void AddText(const RECT& rect, const std::wstring& markup);
    void AddLayer(const RECT& rect, CLayerDraw* layer, const RECT& source);
    void Clear();

    const std::vector<std::unique_ptr<CLayerDef>>& Layers() const { return layers_; }

private:
    std::vector<std::unique_ptr<CLayerDef>> layers_;
};
