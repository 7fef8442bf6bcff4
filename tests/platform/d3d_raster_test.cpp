// The rasteriser on plain memory: coverage against an independent edge-function rule, shared
// edges and fans drawn exactly once, Gouraud values at vertices, the pixel formats.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "platform/soft/ddraw/blit.h"
#include "platform/soft/d3d/raster.h"

namespace {

using platform::PixelBuffer;
using platform::PixelKind;
using platform::raster::FillTriangle;
using platform::raster::Scissor;
using platform::raster::ScreenVertex;

struct Image {
    int w, h;
    std::vector<uint32_t> px;
    Image(int width, int height) : w(width), h(height), px(static_cast<size_t>(width) * height) {}
    PixelBuffer Buffer() { return PixelBuffer{px.data(), w * 4, w, h, PixelKind::XRGB8888}; }
    uint32_t At(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
};

ScreenVertex V(int x16, int y16, int r = 255, int g = 255, int b = 255) {
    return ScreenVertex{x16, y16, r << 16, g << 16, b << 16};
}

// Reference rule, written from the definition: the pixel centre (px, py) is inside when
// every edge function is positive, or zero on a top or left edge (clockwise orientation on
// a y-down screen).
bool Covers(ScreenVertex a, ScreenVertex b, ScreenVertex c, int px, int py) {
    int64_t area = platform::raster::SignedArea2(a, b, c);
    if (area == 0)
        return false;
    if (area < 0)
        std::swap(b, c);
    const ScreenVertex* v[3] = {&a, &b, &c};
    const int64_t X = px * 16, Y = py * 16;
    for (int i = 0; i < 3; ++i) {
        const ScreenVertex& p = *v[i];
        const ScreenVertex& q = *v[(i + 1) % 3];
        // Inside is to the right of p->q when walking clockwise on screen.
        int64_t e = static_cast<int64_t>(q.x - p.x) * (Y - p.y) -
                    static_cast<int64_t>(q.y - p.y) * (X - p.x);
        if (e < 0)
            return false;
        if (e == 0) {
            bool top = q.y == p.y && q.x > p.x;  // horizontal, interior below
            bool left = q.y < p.y;               // going up: interior to its right
            if (!top && !left)
                return false;
        }
    }
    return true;
}

void Draw(Image& img, const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
          bool flat = true) {
    FillTriangle(a, b, c, Scissor{0, 0, img.w, img.h}, img.Buffer(), flat);
}

TEST(Raster, CoverageMatchesTheFillRuleForRandomTriangles) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> coord(-40, 64 * 16 + 40);
    std::uniform_int_distribution<int> snap(0, 3);
    for (int trial = 0; trial < 400; ++trial) {
        ScreenVertex t[3];
        for (auto& v : t) {
            // A quarter of the vertices sit exactly on pixel centres or half-way, to hit ties.
            v = V(coord(rng), coord(rng));
            if (snap(rng) == 0) {
                v.x &= ~15;
                v.y &= ~7;
            }
        }
        if (trial % 7 == 0)  // a horizontal edge
            t[1].y = t[0].y;
        Image img(64, 64);
        Draw(img, t[0], t[1], t[2]);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                ASSERT_EQ(img.At(x, y) != 0, Covers(t[0], t[1], t[2], x, y))
                    << "trial " << trial << " pixel " << x << "," << y;
    }
}

TEST(Raster, TrianglesSharingAnEdgeCoverEachPixelOnce) {
    std::mt19937 rng(777);
    std::uniform_int_distribution<int> coord(0, 48 * 16);
    for (int trial = 0; trial < 300; ++trial) {
        ScreenVertex p = V(coord(rng), coord(rng)), q = V(coord(rng), coord(rng));
        ScreenVertex r = V(coord(rng), coord(rng)), s = V(coord(rng), coord(rng));
        if (trial % 3 == 0) {  // shared edge through pixel centres
            p.x &= ~15, p.y &= ~15, q.x &= ~15, q.y &= ~15;
        }
        if (trial % 5 == 0)  // horizontal shared edge
            q.y = p.y;
        // r and s on opposite sides of p-q so the two triangles do not overlap.
        if ((platform::raster::SignedArea2(p, q, r) > 0) ==
            (platform::raster::SignedArea2(p, q, s) > 0))
            continue;
        Image a(48, 48), b(48, 48);
        Draw(a, p, q, r);
        Draw(b, q, p, s);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 48; ++x) {
                ASSERT_FALSE(a.At(x, y) && b.At(x, y)) << "overlap at " << x << "," << y;
                // Any pixel on the shared edge's interior belongs to one of the two.
                ASSERT_EQ(a.At(x, y) != 0, Covers(p, q, r, x, y));
                ASSERT_EQ(b.At(x, y) != 0, Covers(q, p, s, x, y));
            }
    }
}

TEST(Raster, FanAroundAVertexLeavesNoGapAndNoOverlap) {
    // A convex 12-gon around a centre on a pixel centre, split into a fan at the centre.
    const int n = 12;
    const ScreenVertex centre = V(32 * 16, 32 * 16);
    std::vector<ScreenVertex> ring;
    for (int i = 0; i < n; ++i) {
        double angle = 2 * 3.14159265358979 * i / n + 0.1;
        ring.push_back(V(static_cast<int>(32 * 16 + 27 * 16 * std::cos(angle)),
                         static_cast<int>(32 * 16 + 27 * 16 * std::sin(angle))));
    }
    std::vector<int> count(64 * 64, 0);
    for (int i = 0; i < n; ++i) {
        Image img(64, 64);
        Draw(img, centre, ring[i], ring[(i + 1) % n]);
        for (int k = 0; k < 64 * 64; ++k)
            count[k] += img.px[k] != 0;
    }
    int inside = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            ASSERT_LE(count[y * 64 + x], 1) << x << "," << y;
            // Strictly inside the outer polygon: must be drawn exactly once.
            bool strictly = true;
            for (int i = 0; i < n; ++i) {
                const ScreenVertex& p = ring[i];
                const ScreenVertex& q = ring[(i + 1) % n];
                int64_t e = static_cast<int64_t>(q.x - p.x) * (y * 16 - p.y) -
                            static_cast<int64_t>(q.y - p.y) * (x * 16 - p.x);
                strictly = strictly && e > 0;
            }
            if (strictly) {
                ++inside;
                ASSERT_EQ(count[y * 64 + x], 1) << "gap at " << x << "," << y;
            }
        }
    EXPECT_GT(inside, 2000);
}

TEST(Raster, ScissorLimitsEveryWrite) {
    Image img(40, 40);
    FillTriangle(V(-100 * 16, -100 * 16), V(200 * 16, -50 * 16), V(0, 300 * 16),
                 Scissor{5, 6, 30, 33}, img.Buffer(), true);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            EXPECT_EQ(img.At(x, y) != 0, x >= 5 && x < 30 && y >= 6 && y < 33) << x << "," << y;
}

TEST(Raster, GouraudIsExactAtVertexPixelsAndLinearBetween) {
    Image img(64, 64);
    // Top-left vertex on a pixel centre is covered (top and left edges); colours differ per
    // vertex and channel.
    ScreenVertex a = V(10 * 16, 10 * 16, 200, 10, 40);
    ScreenVertex b = V(60 * 16, 10 * 16, 0, 250, 90);
    ScreenVertex c = V(10 * 16, 60 * 16, 100, 100, 255);
    Draw(img, a, b, c, false);
    EXPECT_EQ(img.At(10, 10), (200u << 16) | (10u << 8) | 40u);
    // Along the top edge the colour runs linearly from a to b: x = 35 is half-way.
    uint32_t mid = img.At(35, 10);
    EXPECT_NEAR(static_cast<int>((mid >> 16) & 255), 100, 1);
    EXPECT_NEAR(static_cast<int>((mid >> 8) & 255), 130, 1);
    EXPECT_NEAR(static_cast<int>(mid & 255), 65, 1);
    // Next to the other two vertices the colour is within a level or two of theirs.
    uint32_t nearB = img.At(58, 10);
    EXPECT_NEAR(static_cast<int>((nearB >> 8) & 255), 250 - 2 * 240 / 50, 1);
    uint32_t nearC = img.At(10, 59);
    EXPECT_NEAR(static_cast<int>(nearC & 255), 255 - 215 / 50, 1);
    // Flat shading takes the first vertex's colour everywhere.
    Image flat(64, 64);
    Draw(flat, b, c, a, true);
    EXPECT_EQ(flat.At(20, 20), (0u << 16) | (250u << 8) | 90u);
    EXPECT_EQ(flat.At(12, 12), flat.At(30, 15));
}

TEST(Raster, SpanWritersPackEachFormatByTruncation) {
    const ScreenVertex a = V(0, 0, 0xFF, 0x86, 0x47), b = V(8 * 16, 0, 0xFF, 0x86, 0x47),
                       c = V(0, 8 * 16, 0xFF, 0x86, 0x47);
    uint16_t px16[8 * 8] = {};
    FillTriangle(a, b, c, Scissor{0, 0, 8, 8}, PixelBuffer{px16, 16, 8, 8, PixelKind::RGB565},
                 false);
    EXPECT_EQ(px16[0], (31 << 11) | ((0x86 >> 2) << 5) | (0x47 >> 3));
    FillTriangle(a, b, c, Scissor{0, 0, 8, 8}, PixelBuffer{px16, 16, 8, 8, PixelKind::RGB555},
                 false);
    EXPECT_EQ(px16[0], (31 << 10) | ((0x86 >> 3) << 5) | (0x47 >> 3));
    uint32_t px32[8 * 8] = {};
    FillTriangle(a, b, c, Scissor{0, 0, 8, 8}, PixelBuffer{px32, 32, 8, 8, PixelKind::XRGB8888},
                 false);
    EXPECT_EQ(px32[0], 0xFF8647u);
    // Full intensity stays full and zero stays zero after interpolation.
    FillTriangle(V(0, 0, 255, 0, 255), V(8 * 16, 0, 255, 0, 255), V(0, 8 * 16, 255, 0, 255),
                 Scissor{0, 0, 8, 8}, PixelBuffer{px16, 16, 8, 8, PixelKind::RGB565}, false);
    EXPECT_EQ(px16[8 * 3 + 2], 0xF81F);
}

// The 16-bit Gouraud writers (each vector path the processor has) against the plain 32-bit
// writer: every pixel of random triangles, scissors and buffer widths (down to rows shorter
// than a vector) must be the 32-bit pixel truncated to the format, and nothing outside the
// triangle may change.
TEST(Raster, SixteenBitGouraudPathsMatchThe32BitWriterTruncated) {
    using platform::blit::Isa;
    const Isa best = platform::blit::DetectIsa();
    std::mt19937 rng(4242);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    // SSE2, AVX2, and AVX2 with AVX-512's masked stores.
    for (int path = 0; path < 3; ++path) {
        const Isa isa = path == 0 ? Isa::SSE2 : Isa::AVX2;
        if (static_cast<int>(isa) > static_cast<int>(best))
            continue;
        platform::blit::ForceIsa(isa);
        platform::raster::AllowAvx512(path == 2);
        for (int trial = 0; trial < 3000; ++trial) {
            const int w = trial % 10 == 0 ? pick(1, 9) : pick(10, 90), h = pick(1, 40);
            // Small to huge: the largest reach millions of pixels past the buffer, where
            // the edges' numbers no longer fit 32 bits.
            const int sizes[] = {4, 40, 400, 1 << 21, 1 << 25};
            const int size = sizes[pick(0, 4)];
            ScreenVertex t[3];
            for (auto& v : t)
                v = ScreenVertex{pick(-size * 8, w * 16 + size * 8),
                                 pick(-size * 8, h * 16 + size * 8), pick(0, 255 << 16),
                                 pick(0, 255 << 16), pick(0, 255 << 16)};
            if (size > 400) {  // one corner in the buffer, so that edges cross it
                t[0].x = pick(0, w * 16);
                t[0].y = pick(0, h * 16);
            }
            if (trial % 5 == 1) {  // a sliver: colour steps far beyond a channel's range
                t[2].x = t[1].x + pick(-1, 1);
                t[2].y = t[1].y + pick(-1, 1);
            }
            const Scissor s = trial % 2 ? Scissor{0, 0, w, h}
                                        : Scissor{pick(0, w / 3), pick(0, h / 3),
                                                  w - pick(0, w / 3), h - pick(0, h / 3)};
            Image wide(w, h);
            constexpr uint32_t kUntouched = 0xFF000000u;  // never written: no alpha
            std::fill(wide.px.begin(), wide.px.end(), kUntouched);
            FillTriangle(t[0], t[1], t[2], s, wide.Buffer(), false);
            for (PixelKind kind : {PixelKind::RGB565, PixelKind::RGB555}) {
                const uint16_t background = static_cast<uint16_t>(rng());
                std::vector<uint16_t> px(static_cast<size_t>(w) * h, background);
                FillTriangle(t[0], t[1], t[2], s, PixelBuffer{px.data(), w * 2, w, h, kind}, false);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        const uint32_t c = wide.At(x, y);
                        uint32_t want = background;
                        if (c != kUntouched)
                            want = platform::PackRGB(kind, static_cast<uint8_t>(c >> 16),
                                                     static_cast<uint8_t>(c >> 8),
                                                     static_cast<uint8_t>(c));
                        ASSERT_EQ(px[static_cast<size_t>(y) * w + x], want)
                            << "path " << path << " trial " << trial << " at " << x << "," << y;
                    }
            }
        }
    }
    platform::blit::ForceIsa(best);
    platform::raster::AllowAvx512(true);
}

TEST(Raster, FillRectClipsToTheBufferAndPacksColours) {
    uint16_t px[10 * 10];
    std::fill(std::begin(px), std::end(px), 0x1234);
    PixelBuffer buf{px, 20, 10, 10, PixelKind::RGB565};
    platform::raster::FillRect(buf, -5, 2, 4, 100,
                               platform::raster::PackColour(PixelKind::RGB565, 0xFFFF00FF));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(px[y * 10 + x], (x < 4 && y >= 2) ? 0xF81F : 0x1234) << x << "," << y;
    EXPECT_EQ(platform::raster::PackColour(PixelKind::RGB555, 0x00FF8040),
              (31u << 10) | (16u << 5) | 8u);
}

}  // namespace
