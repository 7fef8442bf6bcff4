// Feeds arbitrary bytes to the bitmap reader and copies whatever it accepts into pixel
// buffers of every surface format through a memory DC and StretchBlt, as sprite loading
// does. The first bytes choose the destination size and offset so clipping is covered too.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/soft/gdi/gdi_internal.h"

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4)
        return 0;
    const int destWidth = 1 + data[0] % 64;
    const int destHeight = 1 + data[1] % 64;
    const int offset = static_cast<int8_t>(data[2]) % 8;
    const bool stretch = data[3] & 1;
    data += 4;
    size -= 4;

    HBITMAP bitmap = CreateBitmapFromBmp(data, size);
    if (!bitmap)
        return 0;
    HDC memory = CreateCompatibleDC(nullptr);
    SelectObject(memory, bitmap);
    BITMAP info{};
    GetObjectA(bitmap, sizeof(BITMAP), &info);

    for (PixelKind kind :
         {PixelKind::Pal8, PixelKind::RGB555, PixelKind::RGB565, PixelKind::XRGB8888}) {
        const int bpp = BytesPerPixel(kind);
        std::vector<uint8_t> pixels(static_cast<size_t>(destWidth * destHeight * bpp));
        DeviceContext surface;
        surface.kind = DcKind::Surface;
        surface.target = PixelBuffer{pixels.data(), destWidth * bpp, destWidth, destHeight, kind};
        const int w = stretch ? destWidth : info.bmWidth;
        const int h = stretch ? destHeight : info.bmHeight;
        StretchBlt(ToHandle(&surface), offset, offset, w, h, memory, offset, 0, info.bmWidth,
                   info.bmHeight, SRCCOPY);
    }
    DeleteDC(memory);
    DeleteObject(bitmap);
    return 0;
}
