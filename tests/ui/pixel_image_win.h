// Pixels for the drawing and screenshot tests: a 32-bit memory canvas to
// draw into, captures of the screen, and PNG files of either.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// A top-down 32-bit device-independent bitmap selected into a memory device
// context; pixels read back as COLORREF.
class CPixelImage {
public:
    CPixelImage(int width, int height);
    ~CPixelImage();
    CPixelImage(const CPixelImage&) = delete;
    CPixelImage& operator=(const CPixelImage&) = delete;
    CPixelImage(CPixelImage&& other) noexcept;
    CPixelImage& operator=(CPixelImage&& other) noexcept;

    bool valid() const { return dc_ != nullptr && bits_ != nullptr; }
    HDC dc() const { return dc_; }
    HBITMAP bitmap() const { return bitmap_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // Finishes pending GDI drawing and returns the pixel; black outside.
    COLORREF At(int x, int y) const;
    void Fill(COLORREF color);
    // Counts the pixels of rect (clipped to the image) that satisfy test.
    template <class Test>
    int Count(const RECT& rect, Test test) const {
        GdiFlush();
        int count = 0;
        for (int y = rect.top < 0 ? 0 : rect.top; y < rect.bottom && y < height_; ++y) {
            for (int x = rect.left < 0 ? 0 : rect.left; x < rect.right && x < width_; ++x) {
                if (test(At(x, y))) ++count;
            }
        }
        return count;
    }
    // Writes the image as a PNG file (RGB, 8 bits a channel). False on failure.
    bool SavePng(const std::wstring& path) const;

private:
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
    uint32_t* bits_ = nullptr;
};

// The screen's pixels of rect (screen coordinates).
CPixelImage CaptureScreen(const RECT& rect);

// True when every channel of a and b differs by at most tolerance.
bool ColorNear(COLORREF a, COLORREF b, int tolerance);
