#include "ui/layer_draw.h"

#include "ui/layer_geometry.h"

namespace {

SLayerRect ToLayerRect(const RECT& r) { return SLayerRect{r.left, r.top, r.right, r.bottom}; }
RECT ToRect(const SLayerRect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

RECT SizeAtOrigin(const RECT& r) { return RECT{0, 0, r.right - r.left, r.bottom - r.top}; }

void FillSolid(HDC dc, const RECT& rect, COLORREF color) {
    const COLORREF old = SetBkColor(dc, color);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
    SetBkColor(dc, old);
}

bool PaintIcon(HDC dc, const RECT& rect, HICON icon) {
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info)) return false;
    // GetIconInfo hands over copies of the icon's bitmaps.
    if (info.hbmMask) DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    return DrawIconEx(dc, rect.left, rect.top, icon, rect.right - rect.left, rect.bottom - rect.top, 0, nullptr,
                      DI_NORMAL) != FALSE;
}

// Stretches the source part of bitmap onto device with the raster operation.
void StretchBitmap(HDC dc, const RECT& device, HBITMAP bitmap, const RECT& source, DWORD rop) {
    HDC memory = CreateCompatibleDC(dc);
    if (!memory) return;
    HGDIOBJ old = SelectObject(memory, bitmap);
    StretchBlt(dc, device.left, device.top, device.right - device.left, device.bottom - device.top, memory,
               source.left, source.top, source.right - source.left, source.bottom - source.top, rop);
    SelectObject(memory, old);
    DeleteDC(memory);
}

bool PaintBitmap(HDC dc, const RECT& device, const RECT& source, HBITMAP bitmap, HBITMAP mask) {
    if (!bitmap) return false;
    const int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
    if (mask) {
        StretchBitmap(dc, device, mask, source, SRCAND);
        StretchBitmap(dc, device, bitmap, source, SRCPAINT);
    } else {
        StretchBitmap(dc, device, bitmap, source, SRCCOPY);
    }
    SetStretchBltMode(dc, oldMode);
    return true;
}

bool PaintGradient(HDC dc, const RECT& device, const CLayerDraw::CLayerDef_GRADIENT& layer, const RECT& source) {
    const SGradientColors colors =
        GradientPartColors(layer.start, layer.end, layer.horizontal, ToLayerRect(layer.dst), ToLayerRect(source));
    TRIVERTEX vertices[2] = {};
    const uint32_t ends[2] = {colors.start, colors.end};
    const LONG xs[2] = {device.left, device.right};
    const LONG ys[2] = {device.top, device.bottom};
    for (int i = 0; i < 2; ++i) {
        vertices[i].x = xs[i];
        vertices[i].y = ys[i];
        vertices[i].Red = static_cast<COLOR16>(LayerRed(ends[i]) << 8);
        vertices[i].Green = static_cast<COLOR16>(LayerGreen(ends[i]) << 8);
        vertices[i].Blue = static_cast<COLOR16>(LayerBlue(ends[i]) << 8);
        vertices[i].Alpha = 0;
    }
    GRADIENT_RECT rect{0, 1};
    return GradientFill(dc, vertices, 2, &rect, 1, layer.horizontal ? GRADIENT_FILL_RECT_H : GRADIENT_FILL_RECT_V) !=
           FALSE;
}

// Text keeps its laid-out size: painted only when the device part has the
// size of its source part.
bool PaintText(HDC dc, const RECT& device, const RECT& source, CHtmlStringDraw& text) {
    if (device.right - device.left != source.right - source.left ||
        device.bottom - device.top != source.bottom - source.top) {
        return false;
    }
    POINT old;
    OffsetViewportOrgEx(dc, device.left - source.left, device.top - source.top, &old);
    text.Draw(dc, source);
    SetViewportOrgEx(dc, old.x, old.y, nullptr);
    return true;
}

}  // namespace

CLayerDraw::~CLayerDraw() = default;

bool CLayerDraw::Draw(HDC dc, const RECT& device, const RECT& design) {
    const SLayerRect d = ToLayerRect(device);
    const SLayerRect v = ToLayerRect(design);
    if (layers_.empty() || d.IsEmpty()) return false;
    bool painted = false;
    for (const std::unique_ptr<CLayerDef>& layer : layers_) {
        if (layer->type == LAYER_NONE) continue;
        const SLayerRect t = IntersectLayerRects(ToLayerRect(layer->dst), v);
        if (t.IsEmpty()) continue;
        const SLayerRect s = MapLayerRect(t, ToLayerRect(layer->dst), ToLayerRect(layer->src));
        const SLayerRect p = MapLayerRect(t, v, d);
        if (s.IsEmpty() || p.IsEmpty()) continue;
        const RECT source = ToRect(s);
        const RECT target = ToRect(p);
        switch (layer->type) {
            case LAYER_SOLIDCOLOR:
                FillSolid(dc, target, static_cast<CLayerDef_SOLIDECOLR&>(*layer).color);
                painted = true;
                break;
            case LAYER_BRUSH:
                painted |= FillRect(dc, &target, static_cast<CLayerDef_BRUSH&>(*layer).brush) != 0;
                break;
            case LAYER_ICON:
                painted |= PaintIcon(dc, target, static_cast<CLayerDef_ICON&>(*layer).icon);
                break;
            case LAYER_BMP: {
                auto& bitmap = static_cast<CLayerDef_BMP&>(*layer);
                painted |= PaintBitmap(dc, target, source, bitmap.bitmap, bitmap.mask);
                break;
            }
            case LAYER_LAYER: {
                CLayerDraw* nested = static_cast<CLayerDef_LAYER&>(*layer).layer;
                if (nested) painted |= nested->Draw(dc, target, source);
                break;
            }
            case LAYER_GRADIENT:
                painted |= PaintGradient(dc, target, static_cast<CLayerDef_GRADIENT&>(*layer), source);
                break;
            case LAYER_TXT:
                painted |= PaintText(dc, target, source, static_cast<CLayerDef_TXT&>(*layer).text);
                break;
            default:
                break;
        }
    }
    return painted;
}

void CLayerDraw::AddSolidColor(const RECT& rect, COLORREF color) {
    auto layer = std::make_unique<CLayerDef_SOLIDECOLR>();
    layer->type = LAYER_SOLIDCOLOR;
    layer->dst = rect;
    layer->src = rect;
    layer->color = color;
    layers_.push_back(std::move(layer));
}

void CLayerDraw::AddGradient(const RECT& rect, COLORREF start, COLORREF end, bool horizontal) {
    auto layer = std::make_unique<CLayerDef_GRADIENT>();
    layer->type = LAYER_GRADIENT;
    layer->dst = rect;
    layer->src = rect;
    layer->start = start;
    layer->end = end;
    layer->horizontal = horizontal;
    layers_.push_back(std::move(layer));
}

void CLayerDraw::AddBrush(const RECT& rect, HBRUSH brush) {
    auto layer = std::make_unique<CLayerDef_BRUSH>();
    layer->type = LAYER_BRUSH;
    layer->dst = rect;
    layer->src = rect;
    layer->brush = brush;
    layers_.push_back(std::move(layer));
}

void CLayerDraw::AddIcon(const RECT& rect, HICON icon) {
    auto layer = std::make_unique<CLayerDef_ICON>();
    layer->type = LAYER_ICON;
    layer->dst = rect;
    layer->src = SizeAtOrigin(rect);
    layer->icon = icon;
    layers_.push_back(std::move(layer));
}

void CLayerDraw::AddBitmap(const RECT& rect, HBITMAP bitmap, const RECT* source, HBITMAP mask) {
    auto layer = std::make_unique<CLayerDef_BMP>();
    layer->type = LAYER_BMP;
    layer->dst = rect;
    layer->src = source ? *source : SizeAtOrigin(rect);
    layer->bitmap = bitmap;
    layer->mask = mask;
    layers_.push_back(std::move(layer));
}

void CLayerDraw::AddAlphaBitmap(const RECT& rect, HBITMAP bitmap, int value, const RECT* source) {
    auto layer = std::make_unique<CLayerDef_ALPHABMP>();
    layer->type = LAYER_ALPHABMP;
    layer->dst = rect;
    layer->src = source ? *source : SizeAtOrigin(rect);
    layer->bitmap = bitmap;
    layer->value = value;
    layers_.push_back(std::move(layer));
}

void CLayerDraw::AddText(const RECT& rect, const std::wstring& markup) {
    auto layer = std::make_unique<CLayerDef_TXT>();
    layer->type = LAYER_TXT;
    layer->dst = rect;
    layer->src = rect;
    layer->text.SetText(markup);
    layer->text.Layout(rect);
    layers_.push_back(std::move(layer));
}

void CLayerDraw::AddLayer(const RECT& rect, CLayerDraw* layer, const RECT& source) {
    auto def = std::make_unique<CLayerDef_LAYER>();
    def->type = LAYER_LAYER;
    def->dst = rect;
    def->src = source;
    def->layer = layer;
    layers_.push_back(std::move(def));
}

void CLayerDraw::Clear() { layers_.clear(); }
