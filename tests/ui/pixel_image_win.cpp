#include "pixel_image_win.h"

#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <utility>

namespace {

void PutBigEndian(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
    PutBigEndian(out, static_cast<uint32_t>(data.size()));
    std::string body(type, 4);
    body += data;
    out += body;
    PutBigEndian(out, static_cast<uint32_t>(
                          crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

}  // namespace

CPixelImage::CPixelImage(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<uint32_t*>(bits);
    if (dc_ && bitmap_) oldBitmap_ = SelectObject(dc_, bitmap_);
}

CPixelImage::~CPixelImage() {
    if (dc_ && oldBitmap_) SelectObject(dc_, oldBitmap_);
    if (bitmap_) DeleteObject(bitmap_);
    if (dc_) DeleteDC(dc_);
}

CPixelImage::CPixelImage(CPixelImage&& other) noexcept
    : width_(other.width_), height_(other.height_), dc_(other.dc_), bitmap_(other.bitmap_),
      oldBitmap_(other.oldBitmap_), bits_(other.bits_) {
    other.dc_ = nullptr;
    other.bitmap_ = nullptr;
    other.oldBitmap_ = nullptr;
    other.bits_ = nullptr;
}

CPixelImage& CPixelImage::operator=(CPixelImage&& other) noexcept {
    std::swap(width_, other.width_);
    std::swap(height_, other.height_);
    std::swap(dc_, other.dc_);
    std::swap(bitmap_, other.bitmap_);
    std::swap(oldBitmap_, other.oldBitmap_);
    std::swap(bits_, other.bits_);
    return *this;
}

COLORREF CPixelImage::At(int x, int y) const {
    if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    GdiFlush();
    const uint32_t pixel = bits_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

void CPixelImage::Fill(COLORREF color) {
    const RECT all{0, 0, width_, height_};
    const COLORREF old = SetBkColor(dc_, color);
    ExtTextOutW(dc_, 0, 0, ETO_OPAQUE, &all, nullptr, 0, nullptr);
    SetBkColor(dc_, old);
    GdiFlush();
}

bool CPixelImage::SavePng(const std::wstring& path) const {
    if (!valid()) return false;
    std::string raw;
    raw.reserve(static_cast<size_t>(height_) * (static_cast<size_t>(width_) * 3 + 1));
    for (int y = 0; y < height_; ++y) {
        raw += '\0';  // no filter
        for (int x = 0; x < width_; ++x) {
            const COLORREF c = At(x, y);
            raw += static_cast<char>(GetRValue(c));
            raw += static_cast<char>(GetGValue(c));
            raw += static_cast<char>(GetBValue(c));
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(&packed[0]), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
                  static_cast<uLong>(raw.size()), 6) != Z_OK) {
        return false;
    }
    packed.resize(packedSize);

    std::string header;
    PutBigEndian(header, static_cast<uint32_t>(width_));
    PutBigEndian(header, static_cast<uint32_t>(height_));
    header += '\x08';  // bit depth
    header += '\x02';  // colour type RGB
    header += std::string(3, '\0');
    std::string png("\x89PNG\r\n\x1a\n", 8);
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", packed);
    PutChunk(png, "IEND", std::string());
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out.write(png.data(), static_cast<std::streamsize>(png.size()));
    return static_cast<bool>(out);
}

CPixelImage CaptureScreen(const RECT& rect) {
    CPixelImage image(rect.right - rect.left, rect.bottom - rect.top);
    HDC screen = GetDC(nullptr);
    BitBlt(image.dc(), 0, 0, image.width(), image.height(), screen, rect.left, rect.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    GdiFlush();
    return image;
}

bool ColorNear(COLORREF a, COLORREF b, int tolerance) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance && std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}
