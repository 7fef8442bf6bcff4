#include "platform/soft/ddraw/pixels.h"

#include "platform/soft/ddraw/blit.h"

namespace platform {

int BytesPerPixel(PixelKind kind) {
    switch (kind) {
        case PixelKind::Pal8:
            return 1;
        case PixelKind::RGB555:
        case PixelKind::RGB565:
            return 2;
        case PixelKind::XRGB8888:
            return 4;
    }
    return 4;
}

uint32_t PackRGB(PixelKind kind, uint8_t r, uint8_t g, uint8_t b) {
    switch (kind) {
        case PixelKind::Pal8:
            return static_cast<uint32_t>((r * 77 + g * 150 + b * 29) >> 8);
        case PixelKind::RGB555:
            return static_cast<uint32_t>(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
        case PixelKind::RGB565:
            return static_cast<uint32_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
        case PixelKind::XRGB8888:
            return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | b;
    }
    return 0;
}

void UnpackRGB(PixelKind kind, uint32_t p, uint8_t* r, uint8_t* g, uint8_t* b) {
    switch (kind) {
        case PixelKind::Pal8:
            *r = *g = *b = static_cast<uint8_t>(p);
            return;
        case PixelKind::RGB555: {
            uint32_t r5 = (p >> 10) & 31, g5 = (p >> 5) & 31, b5 = p & 31;
            *r = static_cast<uint8_t>((r5 << 3) | (r5 >> 2));
            *g = static_cast<uint8_t>((g5 << 3) | (g5 >> 2));
            *b = static_cast<uint8_t>((b5 << 3) | (b5 >> 2));
            return;
        }
        case PixelKind::RGB565: {
            uint32_t r5 = (p >> 11) & 31, g6 = (p >> 5) & 63, b5 = p & 31;
            *r = static_cast<uint8_t>((r5 << 3) | (r5 >> 2));
            *g = static_cast<uint8_t>((g6 << 2) | (g6 >> 4));
            *b = static_cast<uint8_t>((b5 << 3) | (b5 >> 2));
            return;
        }
        case PixelKind::XRGB8888:
            *r = static_cast<uint8_t>(p >> 16);
            *g = static_cast<uint8_t>(p >> 8);
            *b = static_cast<uint8_t>(p);
            return;
    }
}

void ConvertToXRGB8888Scalar(const PixelView& src, uint32_t* dst, int dstPitchBytes) {
    const int bpp = BytesPerPixel(src.kind);
    for (int y = 0; y < src.height; ++y) {
        const uint8_t* s = static_cast<const uint8_t*>(src.pixels) + y * src.pitch;
        uint32_t* d =
            reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(dst) + y * dstPitchBytes);
        for (int x = 0; x < src.width; ++x) {
            uint32_t p = 0;
            switch (bpp) {
                case 1:
                    p = s[x];
                    break;
                case 2:
                    p = reinterpret_cast<const uint16_t*>(s)[x];
                    break;
                default:
                    p = reinterpret_cast<const uint32_t*>(s)[x];
                    break;
            }
            uint8_t r = 0, g = 0, b = 0;
            UnpackRGB(src.kind, p, &r, &g, &b);
            d[x] = (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | b;
        }
    }
}

}  // namespace platform

namespace platform {
// 16-bit formats go through the vectorised blitter; the rare 8- and 32-bit displays use the
// reference loop.
void ConvertToXRGB8888(const PixelView& src, uint32_t* dst, int dstPitchBytes) {
    const blit::ConstRows rows{static_cast<const uint8_t*>(src.pixels), src.pitch};
    switch (src.kind) {
        case PixelKind::RGB565:
            blit::Convert565(dst, dstPitchBytes, rows, src.width, src.height);
            return;
        case PixelKind::RGB555:
            blit::Convert555(dst, dstPitchBytes, rows, src.width, src.height);
            return;
        case PixelKind::Pal8:
        case PixelKind::XRGB8888:
            break;
    }
    ConvertToXRGB8888Scalar(src, dst, dstPitchBytes);
}
}  // namespace platform
