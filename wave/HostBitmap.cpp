// The picture handed to the host: a bottom-up 32-bit DIB made into a device-dependent bitmap.
#include "wave/HostBitmap.h"

#include "core/Utils/Platform.h"

void* createHostBitmap(void* window, HeapPointer<std::uint32_t> pixels, std::int32_t width, std::int32_t height) {
    if (pixels == nullptr) {
        return nullptr;
    }
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = height; // positive: the rows run bottom-up
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    BITMAPINFO info{};
    info.bmiHeader = header;

    HWND owner = static_cast<HWND>(window);
    HDC context = platform().GetDC(owner);
    if (context == nullptr) {
        return nullptr;
    }
    HBITMAP bitmap = platform().CreateDIBitmap(context, &header, CBM_INIT, pixels.get(), &info, DIB_RGB_COLORS);
    platform().ReleaseDC(owner, context);
    return bitmap;
}
