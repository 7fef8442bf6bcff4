// Triangle scan conversion: exact edge stepping in integers, colour planes in fixed point,
// one span writer per pixel format.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/raster.h"

namespace platform::raster {
namespace {

// Colours carry a small bias so that rounding in the per-pixel step can never take a
// value below zero or past 255.99 along a span (the step's error is at most one unit of
// 2^-16 per pixel). It is far below one 8-bit level, so truncation is unaffected.
constexpr int32_t kColourBias = 2048;
constexpr int32_t kColourMax = (256 << 16) - 1;

int64_t FloorDiv(int64_t n, int64_t d) {  // d > 0
    int64_t q = n / d;
    if ((n % d) != 0 && n < 0)
        --q;
    return q;
}

// One edge from its upper to its lower end, stepped one pixel row at a time. `x` is the
// smallest integer column at or right of the edge on the current row: ceil(N / D) with
// N = (edge x in 28.4) * dy, D = 16 * dy, kept exact as x * D - rem with 0 <= rem < D.
struct Edge {
    int32_t x;
    int64_t rem, denom, stepX, stepRem;

    void Init(const ScreenVertex& top, const ScreenVertex& bottom, int row) {
        int64_t dy = bottom.y - top.y;
        int64_t dx = bottom.x - top.x;
        denom = dy * 16;
        int64_t n =
            static_cast<int64_t>(top.x) * dy + (static_cast<int64_t>(row) * 16 - top.y) * dx;
        int64_t q = -FloorDiv(-n, denom);  // ceil
        x = static_cast<int32_t>(q);
        rem = q * denom - n;
        int64_t step = dx * 16;
        stepX = FloorDiv(step, denom);
        stepRem = step - stepX * denom;
    }
    void Step() {
        x += static_cast<int32_t>(stepX);
        rem -= stepRem;
        if (rem < 0) {
            rem += denom;
            ++x;
        }
    }
};

template <PixelKind K>
struct Writer;

template <>
struct Writer<PixelKind::RGB565> {
    using T = uint16_t;
    static T Pack(int32_t r, int32_t g, int32_t b) {
        return static_cast<T>(((r >> 19) << 11) | ((g >> 18) << 5) | (b >> 19));
    }
};
template <>
struct Writer<PixelKind::RGB555> {
    using T = uint16_t;
    static T Pack(int32_t r, int32_t g, int32_t b) {
        return static_cast<T>(((r >> 19) << 10) | ((g >> 19) << 5) | (b >> 19));
    }
};
template <>
struct Writer<PixelKind::XRGB8888> {
    using T = uint32_t;
    static T Pack(int32_t r, int32_t g, int32_t b) {
        return static_cast<T>(((r >> 16) << 16) | ((g >> 16) << 8) | (b >> 16));
    }
};

int32_t ClampColour(double v) {
    if (!(v >= 0))
        return 0;
    if (v > kColourMax)
        return kColourMax;
    return static_cast<int32_t>(v);
}

template <PixelKind K>
void Fill(const ScreenVertex& v0, const ScreenVertex& v1, const ScreenVertex& v2, const Scissor& s,
          const PixelBuffer& t, bool flat) {
    using W = Writer<K>;
    using T = typename W::T;
    // Sort by y: a on top, c at the bottom.
    const ScreenVertex* a = &v0;
    const ScreenVertex* b = &v1;
    const ScreenVertex* c = &v2;
    if (b->y < a->y)
        std::swap(a, b);
    if (c->y < b->y)
        std::swap(b, c);
    if (b->y < a->y)
        std::swap(a, b);
    if (a->y == c->y)
        return;
    int64_t area2 = SignedArea2(*a, *b, *c);
    if (area2 == 0)
        return;
    // Rows whose centre lies in [top, bottom): ceil of the 28.4 values.
    int rowTop = (a->y + 15) >> 4;
    int rowMid = (b->y + 15) >> 4;
    int rowEnd = (c->y + 15) >> 4;
    int y0 = std::max(rowTop, s.y0);
    int y1 = std::min(rowEnd, s.y1);
    if (y0 >= y1)
        return;
    // With area2 > 0 the middle vertex lies right of the long edge a-c.
    const bool midRight = area2 > 0;

    Edge longEdge, shortEdge;
    longEdge.Init(*a, *c, y0);
    bool upper = y0 < rowMid;
    if (upper)
        shortEdge.Init(*a, *b, y0);
    else
        shortEdge.Init(*b, *c, y0);

    // Colour planes, set up on the first span that covers a pixel (most tiny triangles of a
    // dense mesh cover none).
    bool planes = false;
    double dr[2] = {0, 0}, dg[2] = {0, 0}, db[2] = {0, 0};
    double rowR = 0, rowG = 0, rowB = 0;
    int32_t stepR = 0, stepG = 0, stepB = 0;
    const int32_t flatR = std::min(v0.r + kColourBias, kColourMax);
    const int32_t flatG = std::min(v0.g + kColourBias, kColourMax);
    const int32_t flatB = std::min(v0.b + kColourBias, kColourMax);

    auto* row = static_cast<uint8_t*>(t.pixels) + static_cast<ptrdiff_t>(y0) * t.pitch;
    for (int y = y0; y < y1; ++y, row += t.pitch) {
        if (upper && y == rowMid) {
            upper = false;
            shortEdge.Init(*b, *c, y);
        }
        int xl = midRight ? longEdge.x : shortEdge.x;
        int xr = midRight ? shortEdge.x : longEdge.x;
        xl = std::max(xl, s.x0);
        xr = std::min(xr, s.x1);
        if (xl < xr) {
            T* p = reinterpret_cast<T*>(row) + xl;
            T* end = reinterpret_cast<T*>(row) + xr;
            if (flat) {
                T v = W::Pack(flatR, flatG, flatB);
                while (p < end)
                    *p++ = v;
            } else {
                if (!planes) {
                    planes = true;
                    const double ax = a->x / 16.0, ay = a->y / 16.0;
                    const double e1x = b->x / 16.0 - ax, e1y = b->y / 16.0 - ay;
                    const double e2x = c->x / 16.0 - ax, e2y = c->y / 16.0 - ay;
                    const double inv = 1.0 / (e1x * e2y - e2x * e1y);
                    auto plane = [&](int32_t ca, int32_t cb, int32_t cc, double* d, double* rowv) {
                        double c1 = cb - ca, c2 = cc - ca;
                        d[0] = (c1 * e2y - c2 * e1y) * inv;
                        d[1] = (e1x * c2 - e2x * c1) * inv;
                        // Value at (0, y) of the current row.
                        *rowv = ca + kColourBias - d[0] * ax + d[1] * (y - ay);
                    };
                    plane(a->r, b->r, c->r, dr, &rowR);
                    plane(a->g, b->g, c->g, dg, &rowG);
                    plane(a->b, b->b, c->b, db, &rowB);
                    stepR = static_cast<int32_t>(dr[0]);
                    stepG = static_cast<int32_t>(dg[0]);
                    stepB = static_cast<int32_t>(db[0]);
                }
                int32_t r = ClampColour(rowR + dr[0] * xl);
                int32_t g = ClampColour(rowG + dg[0] * xl);
                int32_t bl = ClampColour(rowB + db[0] * xl);
                while (p < end) {
                    *p++ = W::Pack(r, g, bl);
                    r += stepR;
                    g += stepG;
                    bl += stepB;
                }
            }
        }
        if (planes) {
            rowR += dr[1];
            rowG += dg[1];
            rowB += db[1];
        }
        longEdge.Step();
        if (!upper || y + 1 != rowMid)
            shortEdge.Step();
    }
}

}  // namespace

void FillTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                  const Scissor& scissor, const PixelBuffer& target, bool flat) {
    switch (target.kind) {
        case PixelKind::RGB565:
            Fill<PixelKind::RGB565>(a, b, c, scissor, target, flat);
            break;
        case PixelKind::RGB555:
            Fill<PixelKind::RGB555>(a, b, c, scissor, target, flat);
            break;
        case PixelKind::XRGB8888:
            Fill<PixelKind::XRGB8888>(a, b, c, scissor, target, flat);
            break;
        case PixelKind::Pal8:
            break;  // the device refuses palettized render targets
    }
}

uint32_t PackColour(PixelKind kind, D3DCOLOR colour) {
    return PackRGB(kind, static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 8),
                   static_cast<uint8_t>(colour));
}

void FillRect(const PixelBuffer& t, int x0, int y0, int x1, int y1, uint32_t pixel) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, t.width);
    y1 = std::min(y1, t.height);
    if (x0 >= x1 || y0 >= y1)
        return;
    auto* row = static_cast<uint8_t*>(t.pixels) + static_cast<ptrdiff_t>(y0) * t.pitch;
    const int n = x1 - x0;
    for (int y = y0; y < y1; ++y, row += t.pitch) {
        switch (BytesPerPixel(t.kind)) {
            case 1:
                std::memset(row + x0, static_cast<int>(pixel & 0xFF), n);
                break;
            case 2: {
                auto* p = reinterpret_cast<uint16_t*>(row) + x0;
                if ((pixel & 0xFF) == ((pixel >> 8) & 0xFF)) {
                    std::memset(p, static_cast<int>(pixel & 0xFF), n * 2);
                } else {
                    std::fill(p, p + n, static_cast<uint16_t>(pixel));
                }
                break;
            }
            default: {
                auto* p = reinterpret_cast<uint32_t*>(row) + x0;
                std::fill(p, p + n, pixel);
                break;
            }
        }
    }
}

}  // namespace platform::raster
