// Identifiers of the bitmaps embedded in the library (24 bits per pixel, magenta where
// transparent). The bars are 100 x 10, the crosshair 64 x 64, the font strips hold the 94
// glyphs "!" to "~" side by side.
#pragma once

#include <cstdint>

constexpr uint16_t IDB_GAUGE_GREEN = 103;   // 100 x 10, green stripes
constexpr uint16_t IDB_GAUGE_BLUE = 104;    // 100 x 10, blue stripes
constexpr uint16_t IDB_GAUGE_RED = 105;     // 100 x 10, red stripes
constexpr uint16_t IDB_GAUGE_YELLOW = 106;  // 100 x 10, yellow stripes
constexpr uint16_t IDB_CROSSHAIR = 107;     // 64 x 64
constexpr uint16_t IDB_FONT_7X11 = 108;     // 658 x 11, 7-pixel glyphs
constexpr uint16_t IDB_FONT_8X14 = 109;     // 752 x 14, 8-pixel glyphs
constexpr uint16_t IDB_FONT_7X12 = 110;     // 658 x 12, 7-pixel glyphs
constexpr uint16_t IDB_FONT_749 = 111;      // 749 x 14, 94 glyphs over 749 pixels
