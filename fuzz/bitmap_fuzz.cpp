// Feeds arbitrary bytes to the bitmap reader and copies whatever it accepts into pixel
// buffers of every surface format through a memory DC and StretchBlt, as sprite loading
// does. The first bytes choose the destination size and offset so clipping is covered too.
// With bit 1 of the fourth byte set, the bytes after the file header go to CreateDIBSection
// instead, as its header, masks and palette (in a buffer as long as the longest of those),
// and the rest as its rows.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/soft/gdi/gdi_internal.h"

using namespace platform;

namespace {

// Pixels the header at `info` claims. Such a bitmap's pixels are allocated before its rows
// are read (run-length data and DIB sections may be far shorter than the picture), so the
// fuzzer passes over pictures of more than 2^22 pixels to keep its pace; the refusal of
// oversized ones is tested on its own.
uint64_t ClaimedPixels(const uint8_t* info, size_t size) {
    if (size < 12)
        return 0;
    auto u16 = [&](size_t at) { return uint32_t{info[at]} | uint32_t{info[at + 1]} << 8; };
    auto i32 = [&](size_t at) { return static_cast<int32_t>(u16(at) | u16(at + 2) << 16); };
    if (u16(0) == 12)
        return uint64_t{u16(4)} * u16(6);
    const int64_t w = i32(4), h = i32(8);
    return static_cast<uint64_t>(w < 0 ? -w : w) * static_cast<uint64_t>(h < 0 ? -h : h);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4)
        return 0;
    const int destWidth = 1 + data[0] % 64;
    const int destHeight = 1 + data[1] % 64;
    const int offset = static_cast<int8_t>(data[2]) % 8;
    const bool stretch = data[3] & 1;
    const bool dibSection = data[3] & 2;
    data += 4;
    size -= 4;
    if (size > 14 && ClaimedPixels(data + 14, size - 14) > (uint64_t{1} << 22))
        return 0;

    HBITMAP bitmap = nullptr;
    if (!dibSection) {
        bitmap = CreateBitmapFromBmp(data, size);
    } else if (size > 14) {
        uint32_t info[(124 + 12 + 256 * 4) / 4] = {};
        const size_t table = std::min(size - 14, sizeof info);
        std::memcpy(info, data + 14, table);
        void* bits = nullptr;
        bitmap = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(info),
                                  DIB_RGB_COLORS, &bits, nullptr, 0);
        if (bitmap) {
            BITMAP dib{};
            GetObjectA(bitmap, sizeof(BITMAP), &dib);
            const size_t length = static_cast<size_t>(dib.bmWidthBytes) * dib.bmHeight;
            std::memcpy(bits, data + 14 + table, std::min(length, size - 14 - table));
        }
    }
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
