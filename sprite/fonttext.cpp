// Text rendered once from a font strip into a sprite of its own.
#include <cstring>
#include <new>

#include "directx/display.h"
#include "directx/load_error.h"
#include "sprite/sprite.h"

Sprite* FontSprite::RenderText(const char* text, uint16_t xArg, uint16_t yArg, uint16_t columns,
                               uint16_t rows) {
    const int32_t textWidth = static_cast<int32_t>(uint32_t{columns} * cellWidth);
    const int32_t textHeight = static_cast<int32_t>(uint32_t{rows} * cellHeight);
    Sprite* out = new (std::nothrow) Sprite(0, xArg, yArg, 0, textWidth, textHeight, 1, 0);
    if (!out)
        return nullptr;
    if (quietLoadErrors && !out->surface) {  // the reason is recorded
        delete out;
        return nullptr;
    }
    out->Fill(DisplayContext.colorKey);

    uint16_t column = 0;
    uint16_t row = 0;
    for (const char* p = text; *p; ++p) {
        const signed char c = static_cast<signed char>(*p);
        if (c == '\n') {
            column = 0;
            row = static_cast<uint16_t>(row + cellHeight);
            continue;
        }
        // The strip holds "!" to "~"; a space, and any code without a glyph, is an empty cell.
        if (c == ' ' || c < 33 || c > 126) {
            column = static_cast<uint16_t>(column + cellWidth);
            continue;
        }
        if (column + cellWidth > out->width) {
            column = 0;
            row = static_cast<uint16_t>(row + cellHeight);
        }
        const uint16_t glyphX = static_cast<uint16_t>((c - 33) * cellWidth);
        if (CopyTo(out, glyphX, 0, cellWidth, cellHeight, column, row) != 0) {
            if (quietLoadErrors)
                SetLoadError("text", "\"%.40s%s\" does not fit in %u columns and %u rows", text,
                             strlen(text) > 40 ? "..." : "", columns, rows);
            delete out;
            return nullptr;
        }
        column = static_cast<uint16_t>(column + cellWidth);
    }
    return out;
}
