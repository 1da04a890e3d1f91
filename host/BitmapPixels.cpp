// The read-back of a device-dependent bitmap as 32-bit pixels.
#include "host/BitmapPixels.h"

std::vector<std::uint32_t> readBack(HBITMAP bitmap, LONG& width, LONG& height) {
    BITMAP shape{};
    if (GetObjectA(bitmap, sizeof shape, &shape) == 0) {
        return {};
    }
    width = shape.bmWidth;
    height = shape.bmHeight;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != height) {
        return {};
    }
    for (std::uint32_t& pixel : pixels) {
        pixel &= 0x00FFFFFFu;
    }
    return pixels;
}
