// TextOutA on surface device contexts: cells, colours in every format, clipping, characters
// without a glyph, and the colour setters.
#include <gtest/gtest.h>

#include "ddraw_test_support.h"
#include "platform/gdi.h"
#include "platform/soft/gdi/gdi_internal.h"

using namespace ddtest;

namespace {

constexpr int kW = platform::kSystemFontWidth;
constexpr int kH = platform::kSystemFontHeight;

// What the font puts at (x, y) of a character's cell: true for ink.
bool Ink(char c, int x, int y) {
    const uint8_t* rows = platform::GlyphRows(static_cast<unsigned char>(c));
    if (!rows || x < 1 || x > 5)
        return false;
    return (rows[y / 2] >> (5 - x)) & 1;
}

// Draws `text` at (x, y) on a fresh surface prefilled with `ground` and returns its pixels.
platform::PixelBuffer Draw(IDirectDraw4* dd4, IDirectDrawSurface4** s, PixelKind kind, int w, int h,
                           int x, int y, const char* text, int length, uint32_t ground, COLORREF bk,
                           COLORREF fg) {
    *s = MakeSurface(dd4, w, h, kind);
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwFillColor = ground;
    EXPECT_EQ((*s)->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
    HDC dc = nullptr;
    EXPECT_EQ((*s)->GetDC(&dc), DD_OK);
    SetBkColor(dc, bk);
    SetTextColor(dc, fg);
    EXPECT_TRUE(TextOutA(dc, x, y, text, length));
    EXPECT_EQ((*s)->ReleaseDC(dc), DD_OK);
    return Pixels(*s);
}

}  // namespace

TEST(GdiText, CellsArePaintedInBothColoursInEveryFormat) {
    Device dev;
    const COLORREF blue = RGB(0, 0, 255), yellow = RGB(255, 255, 0);
    for (PixelKind kind : kAllKinds) {
        SCOPED_TRACE(KindName(kind));
        IDirectDrawSurface4* s = nullptr;
        const uint32_t ground = 0x5A5A5A5A & Mask(kind);
        const char* text = "Ag0";
        const platform::PixelBuffer b =
            Draw(dev.dd4, &s, kind, 40, 20, 3, 2, text, 3, ground, blue, yellow);
        const uint32_t paper = platform::PackRGB(kind, 0, 0, 255);
        const uint32_t ink = platform::PackRGB(kind, 255, 255, 0);
        int inked = 0;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 40; ++x) {
                const int cx = x - 3, cy = y - 2;
                uint32_t want = ground;
                if (cx >= 0 && cx < 3 * kW && cy >= 0 && cy < kH) {
                    const bool on = Ink(text[cx / kW], cx % kW, cy);
                    want = on ? ink : paper;
                    inked += on;
                }
                ASSERT_EQ(Get(b, x, y), want) << x << "," << y;
            }
        EXPECT_GT(inked, 40);
        s->Release();
    }
    // The 5-6-5 values the HUD gets: blue paper 0x001F, yellow ink 0xFFE0.
    EXPECT_EQ(platform::PackRGB(PixelKind::RGB565, 0, 0, 255), 0x001Fu);
    EXPECT_EQ(platform::PackRGB(PixelKind::RGB565, 255, 255, 0), 0xFFE0u);
}

TEST(GdiText, EveryPrintableCharacterHasADistinctGlyph) {
    for (int c = 33; c < 127; ++c) {
        ASSERT_NE(platform::GlyphRows(static_cast<unsigned char>(c)), nullptr) << c;
        for (int d = c + 1; d < 127; ++d)
            EXPECT_NE(std::memcmp(platform::GlyphRows(static_cast<unsigned char>(c)),
                                  platform::GlyphRows(static_cast<unsigned char>(d)), 8),
                      0)
                << static_cast<char>(c) << " and " << static_cast<char>(d);
    }
    EXPECT_EQ(platform::GlyphRows(0x7F), nullptr);
    EXPECT_EQ(platform::GlyphRows(0xE9), nullptr);
    EXPECT_EQ(platform::GlyphRows('\n'), nullptr);
}

TEST(GdiText, CharactersWithoutAGlyphDrawAnEmptyCell) {
    Device dev;
    IDirectDrawSurface4* s = nullptr;
    const char text[] = {'\x01', '\xE9', '\n'};
    const platform::PixelBuffer b = Draw(dev.dd4, &s, PixelKind::RGB565, 3 * kW, kH, 0, 0, text, 3,
                                         0x1234, RGB(255, 0, 0), RGB(0, 255, 0));
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < 3 * kW; ++x)
            ASSERT_EQ(Get(b, x, y), 0xF800u) << x << "," << y;
    s->Release();
}

TEST(GdiText, TextIsClippedToTheSurfaceOnEverySide) {
    Device dev;
    const char* text = "HUD line that runs off the right edge";
    const int length = static_cast<int>(std::strlen(text));
    for (auto [x, y] : {std::pair{-13, -5}, std::pair{20, 10}, std::pair{-1000, 0},
                        std::pair{0, -100}, std::pair{2000000000, 0}}) {
        IDirectDrawSurface4* s = nullptr;
        const platform::PixelBuffer b = Draw(dev.dd4, &s, PixelKind::XRGB8888, 37, 19, x, y, text,
                                             length, 0x777777, RGB(1, 2, 3), RGB(4, 5, 6));
        for (int py = 0; py < 19; ++py)
            for (int px = 0; px < 37; ++px) {
                const long long cx = static_cast<long long>(px) - x;
                const long long cy = static_cast<long long>(py) - y;
                uint32_t want = 0x777777;
                if (cx >= 0 && cx < static_cast<long long>(length) * kW && cy >= 0 && cy < kH)
                    want = Ink(text[cx / kW], static_cast<int>(cx % kW), static_cast<int>(cy))
                               ? 0x040506u
                               : 0x010203u;
                ASSERT_EQ(Get(b, px, py), want) << x << "," << y << " at " << px << "," << py;
            }
        s->Release();
    }
}

TEST(GdiText, ColourSettersReturnThePreviousColourAndStaleHandlesDrawNothing) {
    Device dev;
    IDirectDrawSurface4* s = MakeSurface(dev.dd4, 16, 16, PixelKind::RGB565);
    HDC dc = nullptr;
    ASSERT_EQ(s->GetDC(&dc), DD_OK);
    EXPECT_EQ(SetBkColor(dc, RGB(0, 0, 255)), RGB(255, 255, 255));  // GDI's defaults
    EXPECT_EQ(SetTextColor(dc, RGB(255, 255, 0)), RGB(0, 0, 0));
    EXPECT_EQ(SetBkColor(dc, RGB(1, 2, 3)), RGB(0, 0, 255));
    EXPECT_EQ(SetTextColor(dc, RGB(4, 5, 6)), RGB(255, 255, 0));
    EXPECT_EQ(SetBkColor(nullptr, 0), CLR_INVALID);
    EXPECT_FALSE(TextOutA(dc, 0, 0, nullptr, 3));
    EXPECT_FALSE(TextOutA(dc, 0, 0, "x", -1));
    EXPECT_TRUE(TextOutA(dc, 0, 0, "", 0));
    ASSERT_EQ(s->ReleaseDC(dc), DD_OK);
    EXPECT_FALSE(TextOutA(dc, 0, 0, "late", 4));
    EXPECT_EQ(Snapshot(s), std::vector<uint32_t>(16 * 16, 0));
    // A new device context starts from the defaults again.
    ASSERT_EQ(s->GetDC(&dc), DD_OK);
    EXPECT_EQ(SetBkColor(dc, 0), RGB(255, 255, 255));
    s->ReleaseDC(dc);
    s->Release();
}
