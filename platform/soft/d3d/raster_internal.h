// The pieces of triangle scan conversion that the colour fills and the depth-tested fills
// share: exact edge stepping, the pixel writers, the colour planes and their clamping.
#pragma once

#include <immintrin.h>

#include <algorithm>
#include <cstdint>

#include "platform/soft/d3d/raster.h"

namespace platform::raster::detail {

// Colours carry a small bias so that rounding in the per-pixel step can never take a
// value below zero or past 255.99 along a span (the step's error is at most one unit of
// 2^-16 per pixel). It is far below one 8-bit level, so truncation is unaffected.
constexpr int32_t kColourBias = 2048;
constexpr int32_t kColourMax = (256 << 16) - 1;

// Without a branch: the sign of n is close to random from edge to edge. With d > 0 the
// remainder is negative exactly when the quotient was truncated upward.
inline int64_t FloorDiv(int64_t n, int64_t d) {  // d > 0
    return n / d + ((n % d) >> 63);
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
    // Without a branch: whether the remainder wraps is close to random from row to row.
    void Step() {
        const int64_t r = rem - stepRem;
        const int64_t wrap = r >> 63;  // -1 when the remainder went below zero
        rem = r + (denom & wrap);
        x += static_cast<int32_t>(stepX - wrap);
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

// Selects rather than branches (min and max instructions); NaN becomes 0.
inline int32_t ClampColour(double v) {
    // maxsd gives its second operand when the first is NaN.
    const __m128d x = _mm_min_sd(_mm_max_sd(_mm_set_sd(v), _mm_setzero_pd()),
                                 _mm_set_sd(static_cast<double>(kColourMax)));
    return _mm_cvttsd_si32(x);
}

// Wrapping 32-bit product, as repeated addition in the scalar loop gives it.
inline int32_t Times(int32_t step, int count) {
    return static_cast<int32_t>(static_cast<uint32_t>(step) * static_cast<uint32_t>(count));
}

// A triangle sorted by y (a on top, c at the bottom) and the rows it covers within the
// scissor: [y0, rowMid) lie between the long edge a-c and a-b, [rowMid, y1) between a-c
// and b-c.
struct Sorted {
    const ScreenVertex *a, *b, *c;
    int rowMid, y0, y1;
    bool midRight;  // the middle vertex lies right of the long edge
};

// False when the triangle covers no row of the scissor.
inline bool Sort(const ScreenVertex& v0, const ScreenVertex& v1, const ScreenVertex& v2,
                 const Scissor& s, Sorted* t) {
    const ScreenVertex* a = &v0;
    const ScreenVertex* b = &v1;
    const ScreenVertex* c = &v2;
    // Selects rather than branches: the vertices come in any order.
    auto order = [](const ScreenVertex*& p, const ScreenVertex*& q) {
        const bool swap = q->y < p->y;
        const ScreenVertex* upper = swap ? q : p;
        q = swap ? p : q;
        p = upper;
    };
    order(a, b);
    order(b, c);
    order(a, b);
    if (a->y == c->y)
        return false;
    int64_t area2 = SignedArea2(*a, *b, *c);
    if (area2 == 0)
        return false;
    // Rows whose centre lies in [top, bottom): ceil of the 28.4 values.
    int rowTop = (a->y + 15) >> 4;
    int rowEnd = (c->y + 15) >> 4;
    t->y0 = std::max(rowTop, s.y0);
    t->y1 = std::min(rowEnd, s.y1);
    if (t->y0 >= t->y1)
        return false;
    t->a = a;
    t->b = b;
    t->c = c;
    t->rowMid = (b->y + 15) >> 4;
    // With area2 > 0 the middle vertex lies right of the long edge a-c.
    t->midRight = area2 > 0;
    return true;
}

// The colour planes of a triangle: d[i] = (change per column, change per row) of channel i
// (red, green, blue), start[i] its value (with the bias) at column 0 of row y.
__attribute__((always_inline)) inline void Planes(const Sorted& t, int y, double d[3][2],
                                                  double start[3]) {
    const ScreenVertex *a = t.a, *b = t.b, *c = t.c;
    const double ax = a->x / 16.0, ay = a->y / 16.0;
    const double e1x = b->x / 16.0 - ax, e1y = b->y / 16.0 - ay;
    const double e2x = c->x / 16.0 - ax, e2y = c->y / 16.0 - ay;
    const double inv = 1.0 / (e1x * e2y - e2x * e1y);
    auto plane = [&](int32_t ca, int32_t cb, int32_t cc, int i) {
        double c1 = cb - ca, c2 = cc - ca;
        d[i][0] = (c1 * e2y - c2 * e1y) * inv;
        d[i][1] = (e1x * c2 - e2x * c1) * inv;
        // Value at (0, y) of the current row.
        start[i] = ca + kColourBias - d[i][0] * ax + d[i][1] * (y - ay);
    };
    plane(a->r, b->r, c->r, 0);
    plane(a->g, b->g, c->g, 1);
    plane(a->b, b->b, c->b, 2);
}

// Lanes [lo, hi) of eight 16-bit lanes: kLaneMask + 8 - lo has ones from lane lo on,
// kLaneMask + 16 - hi ones below lane hi.
alignas(16) constexpr uint16_t kLaneMask[24] = {
    0,      0,      0,      0,      0, 0, 0, 0, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF,
    0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0, 0, 0,      0,      0,      0};

// A triangle tested against a depth buffer (raster_depth.cpp); FillTriangle's arguments.
void FillDepthTested(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                     const Scissor& scissor, const PixelBuffer& target, bool flat,
                     const DepthBuffer& depth);

}  // namespace platform::raster::detail
