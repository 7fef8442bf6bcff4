// What lies behind HDC and HBITMAP, shared by the text and bitmap halves of GDI and by the
// surfaces that hand out device contexts.
#pragma once

#include <vector>

#include "platform/gdi.h"
#include "platform/pixels.h"

namespace platform {

// A decoded bitmap: top-down rows of XRGB8888 pixels.
struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
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

}  // namespace platform
