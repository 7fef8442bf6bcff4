// What lies behind HDC and HBITMAP, shared by the text and bitmap halves of GDI and by the
// surfaces that hand out device contexts.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/gdi.h"
#include "platform/soft/ddraw/pixels.h"

namespace platform {

// A decoded bitmap: top-down rows of XRGB8888 pixels. A DIB section also keeps its header
// (with masks and palette) and its rows as the caller writes them; `pixels` is decoded from
// them again before each copy.
struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    int dibDepth = 0;  // bits per pixel of a DIB section's rows; 0 for other bitmaps
    std::vector<uint8_t> dibInfo;
    std::vector<uint8_t> dibBits;
};

enum class DcKind : uint8_t { Surface, Memory };

struct DeviceContext {
    DcKind kind = DcKind::Surface;
    PixelBuffer target{};        // a surface DC draws here (valid while the DC is held)
    Bitmap* selected = nullptr;  // a memory DC's selected bitmap
    COLORREF bkColor = RGB(255, 255, 255);
    COLORREF textColor = RGB(0, 0, 0);
};

// The built-in font's drawing of a character: eight rows of five columns (bit 4 leftmost),
// each row two pixels high in the 8 x 16 cell, one column in from its left edge; null for a
// character without a glyph (drawn as an empty cell).
const uint8_t* GlyphRows(unsigned char c);

inline HDC ToHandle(DeviceContext* dc) {
    return reinterpret_cast<HDC>(dc);
}
inline DeviceContext* FromHandle(HDC dc) {
    return reinterpret_cast<DeviceContext*>(dc);
}
inline HBITMAP ToHandle(Bitmap* b) {
    return reinterpret_cast<HBITMAP>(b);
}
inline Bitmap* BitmapFromHandle(HGDIOBJ h) {
    return reinterpret_cast<Bitmap*>(h);
}

// ---- Bitmaps ---------------------------------------------------------------------------

// The bitmaps embedded in the library, by resource id (the build generates this table).
bool FindEmbeddedBitmap(uint16_t id, const uint8_t** bytes, size_t* size);

// Decodes a BMP file held in memory: core, info, V4 and V5 headers; 1, 4 and 8 bits with a
// palette (also run-length encoded, 4 and 8 bits); 16 and 32 bits, plain or with bit-field
// masks; 24 bits; bottom-up or top-down. The alpha of 32-bit pixels is dropped. Every size and
// offset is checked against `size`; anything else is refused with a one-line reason in `why`.
bool DecodeBmp(const uint8_t* data, size_t size, Bitmap* out, std::string* why);

// A bitmap handle made from BMP bytes, as LoadImageA makes one; null on failure, with the
// reason in LastImageError(). Freed with DeleteObject.
HBITMAP CreateBitmapFromBmp(const uint8_t* data, size_t size);

// Why the latest LoadImageA or CreateBitmapFromBmp failed ("" after a success).
const std::string& LastImageError();

// The pixel value a bitmap colour becomes in a surface format. Magenta, the transparent
// colour of the bitmaps, becomes exactly PackRGB(kind, 255, 0, 255) in the RGB formats and
// 255 in the 8-bit one, where no other colour maps to 255.
uint32_t BitmapColourToPixel(PixelKind kind, uint32_t xrgb);

}  // namespace platform
