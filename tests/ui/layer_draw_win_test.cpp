#include "ui/layer_draw.h"

#include <gtest/gtest.h>

#include <vector>

#include "pixel_image_win.h"

namespace {

const COLORREF kPaper = RGB(1, 2, 3);
const COLORREF kRed = RGB(255, 0, 0);
const COLORREF kGreen = RGB(0, 255, 0);

RECT Rect(int left, int top, int right, int bottom) { return RECT{left, top, right, bottom}; }

bool IsPaper(COLORREF c) { return c == kPaper; }

int CountNot(const CPixelImage& image, COLORREF color) {
    return image.Count(Rect(0, 0, image.width(), image.height()), [color](COLORREF c) { return c != color; });
}

// A 32-bit bitmap of size x size in four coloured quadrants.
HBITMAP MakeQuadrants(int size, COLORREF topLeft, COLORREF topRight, COLORREF bottomLeft, COLORREF bottomRight) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    auto* pixels = static_cast<uint32_t*>(bits);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const bool right = x >= size / 2;
            const COLORREF c = y < size / 2 ? (right ? topRight : topLeft) : (right ? bottomRight : bottomLeft);
            pixels[y * size + x] = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
        }
    }
    return bitmap;
}

// A monochrome mask of size x size: white (1) in the left half, black in the right.
HBITMAP MakeLeftWhiteMask(int size) {
    const int stride = ((size + 15) / 16) * 2;
    std::vector<BYTE> bits(static_cast<size_t>(stride * size), 0);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size / 2; ++x) bits[static_cast<size_t>(y * stride + x / 8)] |= 0x80 >> (x % 8);
    }
    return CreateBitmap(size, size, 1, 1, bits.data());
}

// An opaque icon of one colour.
HICON MakeIcon(int size, COLORREF color) {
    HBITMAP colorBitmap = MakeQuadrants(size, color, color, color, color);
    const int stride = ((size + 15) / 16) * 2;
    std::vector<BYTE> zeros(static_cast<size_t>(stride * size), 0);
    HBITMAP mask = CreateBitmap(size, size, 1, 1, zeros.data());
    ICONINFO info{TRUE, 0, 0, mask, colorBitmap};
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(colorBitmap);
    DeleteObject(mask);
    return icon;
}

}  // namespace

TEST(LayerDraw, UnscaledLayersPaintAtTheirOwnRectanglesInOrder) {
    CPixelImage canvas(100, 60);
    canvas.Fill(kPaper);
    CLayerDraw draw;
    draw.AddSolidColor(Rect(0, 0, 100, 20), kRed);
    draw.AddSolidColor(Rect(10, 30, 40, 50), kGreen);
    draw.AddSolidColor(Rect(30, 10, 50, 40), RGB(0, 0, 255));
    const RECT all = Rect(0, 0, 100, 60);
    EXPECT_TRUE(draw.Draw(canvas.dc(), all, all));
    EXPECT_EQ(canvas.At(5, 5), kRed);
    EXPECT_EQ(canvas.At(5, 20), kPaper);
    EXPECT_EQ(canvas.At(10, 30), kGreen);
    EXPECT_EQ(canvas.At(29, 49), kGreen);
    EXPECT_EQ(canvas.At(9, 30), kPaper);
    EXPECT_EQ(canvas.At(10, 50), kPaper);
    // The last one added lies on top.
    EXPECT_EQ(canvas.At(35, 15), RGB(0, 0, 255));
    EXPECT_EQ(canvas.At(35, 35), RGB(0, 0, 255));
    EXPECT_EQ(canvas.At(50, 35), kPaper);
}

TEST(LayerDraw, DeviceTwiceTheViewScalesEveryLayer) {
    CPixelImage canvas(120, 80);
    canvas.Fill(kPaper);
    CLayerDraw draw;
    draw.AddSolidColor(Rect(0, 0, 50, 30), kRed);
    draw.AddSolidColor(Rect(10, 10, 20, 20), kGreen);
    EXPECT_TRUE(draw.Draw(canvas.dc(), Rect(10, 10, 110, 70), Rect(0, 0, 50, 30)));
    // The layer covering the view fills the whole device rectangle and no more.
    EXPECT_EQ(canvas.Count(Rect(10, 10, 110, 70), IsPaper), 0);
    EXPECT_EQ(canvas.Count(Rect(0, 0, 120, 80), [](COLORREF c) { return c != kPaper; }), 100 * 60);
    EXPECT_EQ(canvas.At(10, 10), kRed);
    EXPECT_EQ(canvas.At(109, 69), kRed);
    EXPECT_EQ(canvas.At(30, 30), kGreen);
    EXPECT_EQ(canvas.At(49, 49), kGreen);
    EXPECT_EQ(canvas.At(50, 50), kRed);
    EXPECT_EQ(canvas.At(29, 29), kRed);
}

TEST(LayerDraw, ViewShowsOnlyItsPartOfTheDesign) {
    CPixelImage canvas(50, 30);
    canvas.Fill(kPaper);
    CLayerDraw draw;
    draw.AddSolidColor(Rect(0, 0, 60, 30), kRed);
    draw.AddSolidColor(Rect(60, 0, 100, 30), kGreen);
    EXPECT_TRUE(draw.Draw(canvas.dc(), Rect(0, 0, 50, 30), Rect(50, 0, 100, 30)));
    EXPECT_EQ(canvas.At(0, 15), kRed);
    EXPECT_EQ(canvas.At(9, 15), kRed);
    EXPECT_EQ(canvas.At(10, 15), kGreen);
    EXPECT_EQ(canvas.At(49, 29), kGreen);
}

TEST(LayerDraw, LayerOutsideTheViewPaintsNothing) {
    CPixelImage canvas(100, 60);
    canvas.Fill(kPaper);
    CLayerDraw draw;
    draw.AddSolidColor(Rect(200, 200, 300, 300), kRed);
    draw.AddSolidColor(Rect(100, 0, 150, 60), kRed);  // touches the view's right edge only
    const RECT all = Rect(0, 0, 100, 60);
    EXPECT_FALSE(draw.Draw(canvas.dc(), all, all));
    EXPECT_EQ(CountNot(canvas, kPaper), 0);
}

TEST(LayerDraw, NothingIsDrawnWithoutLayersOrDeviceArea) {
    CPixelImage canvas(20, 20);
    canvas.Fill(kPaper);
    CLayerDraw draw;
    const RECT all = Rect(0, 0, 20, 20);
    EXPECT_FALSE(draw.Draw(canvas.dc(), all, all));
    draw.AddSolidColor(all, kRed);
    EXPECT_FALSE(draw.Draw(canvas.dc(), Rect(5, 5, 5, 20), all));
    EXPECT_FALSE(draw.Draw(canvas.dc(), Rect(5, 5, 20, 5), all));
    EXPECT_EQ(CountNot(canvas, kPaper), 0);
    // A layer of no type is skipped.
    draw.Layers()[0]->type = CLayerDraw::LAYER_NONE;
    EXPECT_FALSE(draw.Draw(canvas.dc(), all, all));
    EXPECT_EQ(CountNot(canvas, kPaper), 0);
    draw.Clear();
    EXPECT_TRUE(draw.Layers().empty());
    EXPECT_FALSE(draw.Draw(canvas.dc(), all, all));
}

TEST(LayerDraw, HalfVisibleGradientHasTheColoursOfTheWhole) {
    const COLORREF start = RGB(0, 40, 200);
    const COLORREF end = RGB(200, 140, 0);
    CLayerDraw draw;
    draw.AddGradient(Rect(0, 0, 200, 40), start, end, true);
    CPixelImage whole(200, 40);
    EXPECT_TRUE(draw.Draw(whole.dc(), Rect(0, 0, 200, 40), Rect(0, 0, 200, 40)));
    CPixelImage half(100, 40);
    EXPECT_TRUE(draw.Draw(half.dc(), Rect(0, 0, 100, 40), Rect(100, 0, 200, 40)));
    for (int x = 0; x < 100; ++x) {
        EXPECT_TRUE(ColorNear(half.At(x, 20), whole.At(100 + x, 20), 2))
            << "x=" << x << " half " << std::hex << half.At(x, 20) << " whole " << whole.At(100 + x, 20);
    }
    // The half starts at the middle colour, not at the start colour.
    EXPECT_TRUE(ColorNear(half.At(0, 20), RGB(100, 90, 100), 2)) << std::hex << half.At(0, 20);
    EXPECT_TRUE(ColorNear(whole.At(0, 20), start, 2));
    EXPECT_TRUE(ColorNear(whole.At(199, 20), end, 2));
}

TEST(LayerDraw, VerticalGradientRunsFromTopToBottom) {
    CLayerDraw draw;
    draw.AddGradient(Rect(0, 0, 250, 40), RGB(83, 138, 216), RGB(99, 147, 247), false);
    CPixelImage canvas(250, 40);
    EXPECT_TRUE(draw.Draw(canvas.dc(), Rect(0, 0, 250, 40), Rect(0, 0, 250, 40)));
    EXPECT_TRUE(ColorNear(canvas.At(10, 0), RGB(83, 138, 216), 1));
    EXPECT_TRUE(ColorNear(canvas.At(10, 39), RGB(99, 147, 247), 1));
    // Each row is one colour, and the blue rises down the rows.
    for (int y = 1; y < 40; ++y) {
        EXPECT_EQ(canvas.At(0, y), canvas.At(249, y));
        EXPECT_GE(GetBValue(canvas.At(0, y)), GetBValue(canvas.At(0, y - 1)));
    }
    // Its lower half drawn alone keeps the lower half's colours.
    CPixelImage lower(250, 20);
    EXPECT_TRUE(draw.Draw(lower.dc(), Rect(0, 0, 250, 20), Rect(0, 20, 250, 40)));
    for (int y = 0; y < 20; ++y) EXPECT_TRUE(ColorNear(lower.At(5, y), canvas.At(5, 20 + y), 2)) << y;
}

TEST(LayerDraw, BitmapWithoutMaskIsCopied) {
    HBITMAP bitmap = MakeQuadrants(20, kRed, kGreen, RGB(0, 0, 255), RGB(255, 255, 0));
    CLayerDraw draw;
    draw.AddBitmap(Rect(10, 10, 30, 30), bitmap, nullptr, nullptr);
    // Only its top-left quadrant, stretched over a larger rectangle.
    const RECT quarter = Rect(0, 0, 10, 10);
    draw.AddBitmap(Rect(40, 0, 80, 40), bitmap, &quarter, nullptr);
    CPixelImage canvas(100, 50);
    canvas.Fill(kPaper);
    const RECT all = Rect(0, 0, 100, 50);
    EXPECT_TRUE(draw.Draw(canvas.dc(), all, all));
    EXPECT_EQ(canvas.At(10, 10), kRed);
    EXPECT_EQ(canvas.At(29, 10), kGreen);
    EXPECT_EQ(canvas.At(10, 29), RGB(0, 0, 255));
    EXPECT_EQ(canvas.At(29, 29), RGB(255, 255, 0));
    EXPECT_EQ(canvas.At(9, 10), kPaper);
    EXPECT_EQ(canvas.At(30, 30), kPaper);
    EXPECT_EQ(canvas.Count(Rect(40, 0, 80, 40), [](COLORREF c) { return c != kRed; }), 0);
    EXPECT_EQ(canvas.At(80, 10), kPaper);
    DeleteObject(bitmap);
}

TEST(LayerDraw, MaskedBitmapKeepsTheBackgroundWhereTheMaskIsWhite) {
    // As a mask expects: the bitmap black where the mask is white.
    const COLORREF ink = RGB(10, 200, 30);
    HBITMAP bitmap = MakeQuadrants(20, RGB(0, 0, 0), ink, RGB(0, 0, 0), ink);
    HBITMAP mask = MakeLeftWhiteMask(20);
    CLayerDraw draw;
    draw.AddBitmap(Rect(0, 0, 20, 20), bitmap, nullptr, mask);
    CPixelImage canvas(20, 20);
    canvas.Fill(RGB(100, 110, 120));
    const RECT all = Rect(0, 0, 20, 20);
    EXPECT_TRUE(draw.Draw(canvas.dc(), all, all));
    EXPECT_EQ(canvas.Count(Rect(0, 0, 10, 20), [](COLORREF c) { return c != RGB(100, 110, 120); }), 0);
    EXPECT_EQ(canvas.Count(Rect(10, 0, 20, 20), [ink](COLORREF c) { return c != ink; }), 0);
    // The drawing leaves the stretch mode as it found it.
    EXPECT_EQ(GetStretchBltMode(canvas.dc()), BLACKONWHITE);
    DeleteObject(bitmap);
    DeleteObject(mask);
}

TEST(LayerDraw, IconIsDrawnAtTheDeviceSize) {
    HICON icon = MakeIcon(16, RGB(200, 30, 40));
    CLayerDraw draw;
    draw.AddIcon(Rect(10, 10, 26, 26), icon);
    ASSERT_EQ(draw.Layers().size(), 1u);
    const RECT source = draw.Layers()[0]->src;
    EXPECT_EQ(source.left, 0);
    EXPECT_EQ(source.top, 0);
    EXPECT_EQ(source.right, 16);
    EXPECT_EQ(source.bottom, 16);
    CPixelImage canvas(80, 80);
    canvas.Fill(kPaper);
    EXPECT_TRUE(draw.Draw(canvas.dc(), Rect(0, 0, 80, 80), Rect(0, 0, 40, 40)));
    EXPECT_EQ(canvas.Count(Rect(20, 20, 52, 52), [](COLORREF c) { return c != RGB(200, 30, 40); }), 0);
    EXPECT_EQ(canvas.At(19, 30), kPaper);
    EXPECT_EQ(canvas.At(52, 30), kPaper);
    DestroyIcon(icon);

    // A handle that is no icon draws nothing.
    CLayerDraw broken;
    broken.AddIcon(Rect(0, 0, 16, 16), nullptr);
    EXPECT_FALSE(broken.Draw(canvas.dc(), Rect(0, 0, 16, 16), Rect(0, 0, 16, 16)));
}

TEST(LayerDraw, BrushFillsItsRectangle) {
    HBRUSH brush = CreateSolidBrush(RGB(9, 99, 199));
    CLayerDraw draw;
    draw.AddBrush(Rect(5, 5, 15, 15), brush);
    CPixelImage canvas(20, 20);
    canvas.Fill(kPaper);
    EXPECT_TRUE(draw.Draw(canvas.dc(), Rect(0, 0, 20, 20), Rect(0, 0, 20, 20)));
    EXPECT_EQ(canvas.Count(Rect(5, 5, 15, 15), [](COLORREF c) { return c != RGB(9, 99, 199); }), 0);
    EXPECT_EQ(CountNot(canvas, kPaper), 100);
    DeleteObject(brush);
}

TEST(LayerDraw, AlphaBitmapIsKeptButPaintsNothing) {
    HBITMAP bitmap = MakeQuadrants(10, kRed, kRed, kRed, kRed);
    CLayerDraw draw;
    draw.AddAlphaBitmap(Rect(0, 0, 10, 10), bitmap, 128, nullptr);
    ASSERT_EQ(draw.Layers().size(), 1u);
    EXPECT_EQ(draw.Layers()[0]->type, CLayerDraw::LAYER_ALPHABMP);
    CPixelImage canvas(10, 10);
    canvas.Fill(kPaper);
    EXPECT_FALSE(draw.Draw(canvas.dc(), Rect(0, 0, 10, 10), Rect(0, 0, 10, 10)));
    EXPECT_EQ(CountNot(canvas, kPaper), 0);
    DeleteObject(bitmap);
}

TEST(LayerDraw, NestedDrawingPaintsTheMappedPartOfItsDesign) {
    CLayerDraw inner;
    inner.AddSolidColor(Rect(0, 0, 10, 10), kRed);
    inner.AddSolidColor(Rect(10, 0, 20, 10), kGreen);
    CLayerDraw outer;
    outer.AddLayer(Rect(0, 0, 100, 50), &inner, Rect(0, 0, 20, 10));
    CPixelImage canvas(100, 50);
    canvas.Fill(kPaper);
    EXPECT_TRUE(outer.Draw(canvas.dc(), Rect(0, 0, 100, 50), Rect(0, 0, 100, 50)));
    EXPECT_EQ(canvas.Count(Rect(0, 0, 50, 50), [](COLORREF c) { return c != kRed; }), 0);
    EXPECT_EQ(canvas.Count(Rect(50, 0, 100, 50), [](COLORREF c) { return c != kGreen; }), 0);
    // Showing only the right half of the outer design reaches only the inner green.
    canvas.Fill(kPaper);
    EXPECT_TRUE(outer.Draw(canvas.dc(), Rect(0, 0, 100, 50), Rect(50, 0, 100, 50)));
    EXPECT_EQ(CountNot(canvas, kGreen), 0);
}

TEST(LayerDraw, TextIsPaintedOnlyAtItsOwnSize) {
    CLayerDraw draw;
    draw.AddText(Rect(0, 0, 200, 30), L"<font color=FF0000 size=-20>Hello</font>");
    auto red = [](COLORREF c) { return GetRValue(c) > 150 && GetGValue(c) < 90 && GetBValue(c) < 90; };
    CPixelImage canvas(300, 100);
    canvas.Fill(kPaper);
    EXPECT_TRUE(draw.Draw(canvas.dc(), Rect(0, 0, 200, 30), Rect(0, 0, 200, 30)));
    EXPECT_GT(canvas.Count(Rect(0, 0, 200, 30), red), 20);

    // Moved but not scaled: the text moves with the device rectangle.
    canvas.Fill(kPaper);
    EXPECT_TRUE(draw.Draw(canvas.dc(), Rect(50, 60, 250, 90), Rect(0, 0, 200, 30)));
    EXPECT_GT(canvas.Count(Rect(50, 60, 250, 90), red), 20);
    EXPECT_EQ(canvas.Count(Rect(0, 0, 300, 60), red), 0);
    POINT origin;
    GetViewportOrgEx(canvas.dc(), &origin);
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, 0);

    // Scaled, it is not painted at all.
    canvas.Fill(kPaper);
    EXPECT_FALSE(draw.Draw(canvas.dc(), Rect(0, 0, 300, 45), Rect(0, 0, 200, 30)));
    EXPECT_EQ(CountNot(canvas, kPaper), 0);
}

TEST(LayerDraw, SolidColourLeavesTheBackgroundColourAsItWas) {
    CLayerDraw draw;
    draw.AddSolidColor(Rect(0, 0, 10, 10), kRed);
    CPixelImage canvas(10, 10);
    SetBkColor(canvas.dc(), RGB(7, 8, 9));
    EXPECT_TRUE(draw.Draw(canvas.dc(), Rect(0, 0, 10, 10), Rect(0, 0, 10, 10)));
    EXPECT_EQ(GetBkColor(canvas.dc()), RGB(7, 8, 9));
    EXPECT_EQ(canvas.At(5, 5), kRed);
}
