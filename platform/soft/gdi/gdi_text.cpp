// GDI text: colours of a device context and TextOutA in the built-in 8 x 16 font, opaque
// (each cell painted in the background colour first), clipped to what the DC draws into.
#include <emmintrin.h>

#include <array>
#include <cstddef>

#include "platform/soft/gdi/gdi_internal.h"

namespace platform {

namespace {

// The printable ASCII characters, 32 to 126: 5 x 8 drawings, one row of five columns per
// group ('#' ink, '.' paper); the eighth row holds descenders. In a cell each drawing row
// is two pixels high and the drawing sits one column in from the left.
constexpr const char* kGlyphs[95] = {
    "..... ..... ..... ..... ..... ..... ..... .....",  // space
    "..#.. ..#.. ..#.. ..#.. ..#.. ..... ..#.. .....",  // !
    ".#.#. .#.#. ..... ..... ..... ..... ..... .....",  // "
    ".#.#. .#.#. ##### .#.#. ##### .#.#. .#.#. .....",  // #
    "..#.. .#### #.#.. .###. ..#.# ####. ..#.. .....",  // $
    "##... ##..# ...#. ..#.. .#... #..## ...## .....",  // %
    ".##.. #..#. #.#.. .#... #.#.# #..#. .##.# .....",  // &
    "..#.. ..#.. ..... ..... ..... ..... ..... .....",  // '
    "...#. ..#.. .#... .#... .#... ..#.. ...#. .....",  // (
    ".#... ..#.. ...#. ...#. ...#. ..#.. .#... .....",  // )
    "..... ..#.. #.#.# .###. #.#.# ..#.. ..... .....",  // *
    "..... ..#.. ..#.. ##### ..#.. ..#.. ..... .....",  // +
    "..... ..... ..... ..... ..... ..#.. ..#.. .#...",  // ,
    "..... ..... ..... ##### ..... ..... ..... .....",  // -
    "..... ..... ..... ..... ..... .##.. .##.. .....",  // .
    "..... ....# ...#. ..#.. .#... #.... ..... .....",  // /
    ".###. #...# #..## #.#.# ##..# #...# .###. .....",  // 0
    "..#.. .##.. ..#.. ..#.. ..#.. ..#.. .###. .....",  // 1
    ".###. #...# ....# ...#. ..#.. .#... ##### .....",  // 2
    "##### ...#. ..#.. ...#. ....# #...# .###. .....",  // 3
    "...#. ..##. .#.#. #..#. ##### ...#. ...#. .....",  // 4
    "##### #.... ####. ....# ....# #...# .###. .....",  // 5
    "..##. .#... #.... ####. #...# #...# .###. .....",  // 6
    "##### ....# ...#. ..#.. .#... .#... .#... .....",  // 7
    ".###. #...# #...# .###. #...# #...# .###. .....",  // 8
    ".###. #...# #...# .#### ....# ...#. .##.. .....",  // 9
    "..... .##.. .##.. ..... .##.. .##.. ..... .....",  // :
    "..... .##.. .##.. ..... .##.. .##.. ..#.. .#...",  // ;
    "...#. ..#.. .#... #.... .#... ..#.. ...#. .....",  // <
    "..... ..... ##### ..... ##### ..... ..... .....",  // =
    ".#... ..#.. ...#. ....# ...#. ..#.. .#... .....",  // >
    ".###. #...# ....# ...#. ..#.. ..... ..#.. .....",  // ?
    ".###. #...# ....# .##.# #.#.# #.#.# .###. .....",  // @
    ".###. #...# #...# ##### #...# #...# #...# .....",  // A
    "####. #...# #...# ####. #...# #...# ####. .....",  // B
    ".###. #...# #.... #.... #.... #...# .###. .....",  // C
    "###.. #..#. #...# #...# #...# #..#. ###.. .....",  // D
    "##### #.... #.... ####. #.... #.... ##### .....",  // E
    "##### #.... #.... ####. #.... #.... #.... .....",  // F
    ".###. #...# #.... #.### #...# #...# .#### .....",  // G
    "#...# #...# #...# ##### #...# #...# #...# .....",  // H
    ".###. ..#.. ..#.. ..#.. ..#.. ..#.. .###. .....",  // I
    "..### ...#. ...#. ...#. ...#. #..#. .##.. .....",  // J
    "#...# #..#. #.#.. ##... #.#.. #..#. #...# .....",  // K
    "#.... #.... #.... #.... #.... #.... ##### .....",  // L
    "#...# ##.## #.#.# #.#.# #...# #...# #...# .....",  // M
    "#...# #...# ##..# #.#.# #..## #...# #...# .....",  // N
    ".###. #...# #...# #...# #...# #...# .###. .....",  // O
    "####. #...# #...# ####. #.... #.... #.... .....",  // P
    ".###. #...# #...# #...# #.#.# #..#. .##.# .....",  // Q
    "####. #...# #...# ####. #.#.. #..#. #...# .....",  // R
    ".#### #.... #.... .###. ....# ....# ####. .....",  // S
    "##### ..#.. ..#.. ..#.. ..#.. ..#.. ..#.. .....",  // T
    "#...# #...# #...# #...# #...# #...# .###. .....",  // U
    "#...# #...# #...# #...# #...# .#.#. ..#.. .....",  // V
    "#...# #...# #...# #.#.# #.#.# #.#.# .#.#. .....",  // W
    "#...# #...# .#.#. ..#.. .#.#. #...# #...# .....",  // X
    "#...# #...# .#.#. ..#.. ..#.. ..#.. ..#.. .....",  // Y
    "##### ....# ...#. ..#.. .#... #.... ##### .....",  // Z
    ".###. .#... .#... .#... .#... .#... .###. .....",  // [
    "..... #.... .#... ..#.. ...#. ....# ..... .....",  // backslash
    ".###. ...#. ...#. ...#. ...#. ...#. .###. .....",  // ]
    "..#.. .#.#. #...# ..... ..... ..... ..... .....",  // ^
    "..... ..... ..... ..... ..... ..... ..... #####",  // _
    ".#... ..#.. ..... ..... ..... ..... ..... .....",  // `
    "..... ..... .###. ....# .#### #...# .#### .....",  // a
    "#.... #.... #.##. ##..# #...# #...# ####. .....",  // b
    "..... ..... .###. #.... #.... #...# .###. .....",  // c
    "....# ....# .##.# #..## #...# #...# .#### .....",  // d
    "..... ..... .###. #...# ##### #.... .###. .....",  // e
    "..##. .#..# .#... ###.. .#... .#... .#... .....",  // f
    "..... ..... .#### #...# #...# .#### ....# .###.",  // g
    "#.... #.... #.##. ##..# #...# #...# #...# .....",  // h
    "..#.. ..... .##.. ..#.. ..#.. ..#.. .###. .....",  // i
    "...#. ..... ..##. ...#. ...#. ...#. #..#. .##..",  // j
    "#.... #.... #..#. #.#.. ##... #.#.. #..#. .....",  // k
    ".##.. ..#.. ..#.. ..#.. ..#.. ..#.. .###. .....",  // l
    "..... ..... ##.#. #.#.# #.#.# #...# #...# .....",  // m
    "..... ..... #.##. ##..# #...# #...# #...# .....",  // n
    "..... ..... .###. #...# #...# #...# .###. .....",  // o
    "..... ..... ####. #...# #...# ####. #.... #....",  // p
    "..... ..... .#### #...# #...# .#### ....# ....#",  // q
    "..... ..... #.##. ##..# #.... #.... #.... .....",  // r
    "..... ..... .#### #.... .###. ....# ####. .....",  // s
    ".#... .#... ###.. .#... .#... .#..# ..##. .....",  // t
    "..... ..... #...# #...# #...# #..## .##.# .....",  // u
    "..... ..... #...# #...# #...# .#.#. ..#.. .....",  // v
    "..... ..... #...# #...# #.#.# #.#.# .#.#. .....",  // w
    "..... ..... #...# .#.#. ..#.. .#.#. #...# .....",  // x
    "..... ..... #...# #...# #...# .#### ....# .###.",  // y
    "..... ..... ##### ...#. ..#.. .#... ##### .....",  // z
    "...#. ..#.. ..#.. .#... ..#.. ..#.. ...#. .....",  // {
    "..#.. ..#.. ..#.. ..#.. ..#.. ..#.. ..#.. .....",  // |
    ".#... ..#.. ..#.. ...#. ..#.. ..#.. .#... .....",  // }
    "..... ..... .#... #.#.# ...#. ..... ..... .....",  // ~
};

constexpr int kFirstGlyph = 32;
constexpr int kGlyphCount = 95;

// One byte per drawing row: bit 4 is the leftmost column.
constexpr std::array<std::array<uint8_t, 8>, kGlyphCount> BuildFont() {
    std::array<std::array<uint8_t, 8>, kGlyphCount> font{};
    for (int g = 0; g < kGlyphCount; ++g) {
        const char* p = kGlyphs[g];
        for (int row = 0; row < 8; ++row) {
            uint8_t bits = 0;
            for (int col = 0; col < 5; ++col)
                bits = static_cast<uint8_t>((bits << 1) | (p[row * 6 + col] == '#' ? 1 : 0));
            font[g][row] = bits;
        }
    }
    return font;
}

constexpr auto kFont = BuildFont();

void StorePixel(uint8_t* p, int bpp, uint32_t v) {
    switch (bpp) {
        case 1:
            *p = static_cast<uint8_t>(v);
            break;
        case 2:
            *reinterpret_cast<uint16_t*>(p) = static_cast<uint16_t>(v);
            break;
        default:
            *reinterpret_cast<uint32_t*>(p) = v;
            break;
    }
}

uint32_t ToPixel(PixelKind kind, COLORREF c) {
    return PackRGB(kind, GetRValue(c), GetGValue(c), GetBValue(c));
}

// One row of a cell in 16-bit pixels: columns 1 to 5 take ink where the drawing row's bits
// (bit 4 for column 1 down to bit 0 for column 5) are set, everything else paper.
__attribute__((target("sse2"))) void Cell16Row(uint8_t* p, uint8_t bits, uint32_t ink,
                                               uint32_t paper) {
    static_assert(kSystemFontWidth == 8);
    const __m128i columns = _mm_setr_epi16(0, 16, 8, 4, 2, 1, 0, 0);
    const __m128i selected = _mm_and_si128(_mm_set1_epi16(static_cast<short>(bits)), columns);
    // A lane is ink when its column bit is set (and the column has one).
    const __m128i on = _mm_andnot_si128(_mm_cmpeq_epi16(selected, _mm_setzero_si128()),
                                        _mm_cmpgt_epi16(columns, _mm_setzero_si128()));
    const __m128i inkV = _mm_set1_epi16(static_cast<short>(ink));
    const __m128i paperV = _mm_set1_epi16(static_cast<short>(paper));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                     _mm_or_si128(_mm_and_si128(on, inkV), _mm_andnot_si128(on, paperV)));
}

// Where a DC draws: a surface's pixels, or a memory DC's selected bitmap.
bool DrawTarget(const DeviceContext& dc, PixelBuffer* out) {
    if (dc.kind == DcKind::Memory) {
        if (!dc.selected || dc.selected->width <= 0 || dc.selected->height <= 0)
            return false;
        *out = PixelBuffer{dc.selected->pixels.data(), dc.selected->width * 4, dc.selected->width,
                           dc.selected->height, PixelKind::XRGB8888};
        return true;
    }
    if (!dc.target.pixels)
        return false;
    *out = dc.target;
    return true;
}

}  // namespace

// The drawing rows of a character (null for characters without a glyph), for tests.
const uint8_t* GlyphRows(unsigned char c) {
    if (c < kFirstGlyph || c >= kFirstGlyph + kGlyphCount)
        return nullptr;
    return kFont[c - kFirstGlyph].data();
}

}  // namespace platform

using platform::DeviceContext;

COLORREF SetBkColor(HDC hdc, COLORREF color) {
    DeviceContext* dc = platform::FromHandle(hdc);
    if (!dc)
        return CLR_INVALID;
    const COLORREF old = dc->bkColor;
    dc->bkColor = color & 0x00FFFFFF;
    return old;
}

COLORREF SetTextColor(HDC hdc, COLORREF color) {
    DeviceContext* dc = platform::FromHandle(hdc);
    if (!dc)
        return CLR_INVALID;
    const COLORREF old = dc->textColor;
    dc->textColor = color & 0x00FFFFFF;
    return old;
}

BOOL TextOutA(HDC hdc, int x, int y, LPCSTR text, int length) {
    using namespace platform;
    DeviceContext* dc = FromHandle(hdc);
    if (!dc || length < 0 || (!text && length > 0))
        return FALSE;
    PixelBuffer t;
    if (!DrawTarget(*dc, &t))
        return FALSE;
    const int bpp = BytesPerPixel(t.kind);
    const uint32_t ink = ToPixel(t.kind, dc->textColor);
    const uint32_t paper = ToPixel(t.kind, dc->bkColor);
    const int rowFirst = y < 0 ? -y : 0;
    const int rowEnd = y + kSystemFontHeight > t.height ? t.height - y : kSystemFontHeight;
    if (rowFirst >= rowEnd)
        return TRUE;
    uint8_t* base = static_cast<uint8_t*>(t.pixels);
    for (int i = 0; i < length; ++i) {
        // Wide coordinates so a long text far off the surface cannot overflow.
        const long long cellX =
            static_cast<long long>(x) + static_cast<long long>(i) * kSystemFontWidth;
        if (cellX >= t.width)
            break;
        if (cellX + kSystemFontWidth <= 0)
            continue;
        const int cx = static_cast<int>(cellX);
        const int colFirst = cx < 0 ? -cx : 0;
        const int colEnd = cx + kSystemFontWidth > t.width ? t.width - cx : kSystemFontWidth;
        const uint8_t* glyph = GlyphRows(static_cast<unsigned char>(text[i]));
        if (bpp == 2 && colFirst == 0 && colEnd == kSystemFontWidth) {
            // A whole cell of 16-bit pixels: each row is one 8-pixel store.
            for (int r = rowFirst; r < rowEnd; ++r) {
                const uint8_t bits = glyph ? glyph[r / 2] : 0;
                Cell16Row(base + static_cast<ptrdiff_t>(y + r) * t.pitch + cx * 2, bits, ink,
                          paper);
            }
            continue;
        }
        for (int r = rowFirst; r < rowEnd; ++r) {
            const uint8_t bits = glyph ? glyph[r / 2] : 0;
            uint8_t* row = base + static_cast<ptrdiff_t>(y + r) * t.pitch;
            for (int c = colFirst; c < colEnd; ++c) {
                const bool on = c >= 1 && c <= 5 && ((bits >> (5 - c)) & 1);
                StorePixel(row + static_cast<ptrdiff_t>(cx + c) * bpp, bpp, on ? ink : paper);
            }
        }
    }
    return TRUE;
}
