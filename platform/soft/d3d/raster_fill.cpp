// Triangle scan conversion: exact edge stepping in integers, colour planes in fixed point,
// one span writer per pixel format.
#include <immintrin.h>

#include <algorithm>
#include <cstddef>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "platform/soft/ddraw/blit.h"
#include "platform/soft/d3d/raster.h"
#include "platform/soft/d3d/raster_internal.h"

namespace platform::raster {
namespace {

using namespace detail;

// A triangle's per-pixel colour steps, spread over vector lanes once per triangle.
struct SpanSteps {
    int32_t r, g, b;
    __m128i rampR, rampG, rampB;  // i * step for lanes i = 0..3
    __m128i r4, g4, b4;           // 4 * step
    __m128i r8, g8, b8;           // 8 * step

    __attribute__((target("sse2"))) void Set(int32_t sr, int32_t sg, int32_t sb) {
        r = sr;
        g = sg;
        b = sb;
        rampR = _mm_setr_epi32(0, sr, Times(sr, 2), Times(sr, 3));
        rampG = _mm_setr_epi32(0, sg, Times(sg, 2), Times(sg, 3));
        rampB = _mm_setr_epi32(0, sb, Times(sb, 2), Times(sb, 3));
        r4 = _mm_set1_epi32(Times(sr, 4));
        g4 = _mm_set1_epi32(Times(sg, 4));
        b4 = _mm_set1_epi32(Times(sb, 4));
        r8 = _mm_set1_epi32(Times(sr, 8));
        g8 = _mm_set1_epi32(Times(sg, 8));
        b8 = _mm_set1_epi32(Times(sb, 8));
    }
};

// Four 16-bit pixels from their colours, each in the low half of a 32-bit lane,
// sign-extended so that a saturating pack keeps the 16 bits as they are.
template <PixelKind K>
__attribute__((target("sse2"))) inline __m128i Pack4(__m128i rv, __m128i gv, __m128i bv) {
    constexpr int kRedShift = K == PixelKind::RGB565 ? 11 : 10;
    constexpr int kGreenBits = K == PixelKind::RGB565 ? 18 : 19;
    const __m128i px = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(_mm_srai_epi32(rv, 19), kRedShift),
                                                 _mm_slli_epi32(_mm_srai_epi32(gv, kGreenBits), 5)),
                                    _mm_srai_epi32(bv, 19));
    return _mm_srai_epi32(_mm_slli_epi32(px, 16), 16);
}

// Eight pixels starting with colours (r, g, b).
template <PixelKind K>
__attribute__((target("sse2"))) inline __m128i Eight(const SpanSteps& st, int32_t r, int32_t g,
                                                     int32_t b) {
    const __m128i rv = _mm_add_epi32(_mm_set1_epi32(r), st.rampR);
    const __m128i gv = _mm_add_epi32(_mm_set1_epi32(g), st.rampG);
    const __m128i bv = _mm_add_epi32(_mm_set1_epi32(b), st.rampB);
    return _mm_packs_epi32(
        Pack4<K>(rv, gv, bv),
        Pack4<K>(_mm_add_epi32(rv, st.r4), _mm_add_epi32(gv, st.g4), _mm_add_epi32(bv, st.b4)));
}

// A Gouraud span of 16-bit pixels, eight at a time with SSE2. The value of a pixel depends
// only on its index, so the last group is written again ending at the span's end instead of
// falling back to a scalar tail; spans of four to seven pixels take two overlapping groups
// of four the same way.
template <PixelKind K>
__attribute__((target("sse2"), always_inline)) inline void GouraudSpan16(uint16_t* p, int n,
                                                                         int32_t r, int32_t g,
                                                                         int32_t b,
                                                                         const SpanSteps& st) {
    if (n < 4) {
        // One group of four, of which the first n pixels are stored.
        const __m128i four = Pack4<K>(_mm_add_epi32(_mm_set1_epi32(r), st.rampR),
                                      _mm_add_epi32(_mm_set1_epi32(g), st.rampG),
                                      _mm_add_epi32(_mm_set1_epi32(b), st.rampB));
        const __m128i px = _mm_packs_epi32(four, four);
        if (n & 2) {
            const int32_t two = _mm_cvtsi128_si32(px);
            std::memcpy(p, &two, sizeof two);
            if (n == 3)
                p[2] = static_cast<uint16_t>(_mm_extract_epi16(px, 2));
        } else {
            p[0] = static_cast<uint16_t>(_mm_cvtsi128_si32(px));
        }
        return;
    }
    if (n < 8) {
        const int k = n - 4;
        const __m128i first = Pack4<K>(_mm_add_epi32(_mm_set1_epi32(r), st.rampR),
                                       _mm_add_epi32(_mm_set1_epi32(g), st.rampG),
                                       _mm_add_epi32(_mm_set1_epi32(b), st.rampB));
        const __m128i last = Pack4<K>(_mm_add_epi32(_mm_set1_epi32(r + Times(st.r, k)), st.rampR),
                                      _mm_add_epi32(_mm_set1_epi32(g + Times(st.g, k)), st.rampG),
                                      _mm_add_epi32(_mm_set1_epi32(b + Times(st.b, k)), st.rampB));
        const __m128i both = _mm_packs_epi32(first, last);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), both);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p + k), _mm_unpackhi_epi64(both, both));
        return;
    }
    const int32_t r8 = Times(st.r, 8), g8 = Times(st.g, 8), b8 = Times(st.b, 8);
    int i = 0;
    int32_t ri = r, gi = g, bi = b;
    for (; i + 8 <= n; i += 8, ri += r8, gi += g8, bi += b8)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), Eight<K>(st, ri, gi, bi));
    if (i < n) {
        const int k = n - 8;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + k),
                         Eight<K>(st, r + Times(st.r, k), g + Times(st.g, k), b + Times(st.b, k)));
    }
}

template <PixelKind K>
void Fill(const ScreenVertex& v0, const ScreenVertex& v1, const ScreenVertex& v2, const Scissor& s,
          const PixelBuffer& t, bool flat) {
    using W = Writer<K>;
    using T = typename W::T;
    Sorted tri;
    if (!Sort(v0, v1, v2, s, &tri))
        return;
    const int rowMid = tri.rowMid, y0 = tri.y0, y1 = tri.y1;
    const bool midRight = tri.midRight;
    const ScreenVertex *a = tri.a, *b = tri.b, *c = tri.c;

    // Colour planes, set up on the first span that covers a pixel (most tiny triangles of a
    // dense mesh cover none). Red and green go together in the two lanes of one register,
    // with the same arithmetic as blue's.
    bool planes = false;
    __m128d stepRG = _mm_setzero_pd(), rowStepRG = _mm_setzero_pd(), rowRG = _mm_setzero_pd();
    double stepB0 = 0, rowStepB = 0, rowB = 0;
    int32_t stepR = 0, stepG = 0, stepB = 0;
    SpanSteps steps;
    const int32_t flatR = std::min(v0.r + kColourBias, kColourMax);
    const int32_t flatG = std::min(v0.g + kColourBias, kColourMax);
    const int32_t flatB = std::min(v0.b + kColourBias, kColourMax);

    auto* row = static_cast<uint8_t*>(t.pixels) + static_cast<std::ptrdiff_t>(y0) * t.pitch;
    int y = y0;
    // Rows up to yEnd between two edges.
    auto rows = [&](Edge & left, Edge & right, int yEnd) __attribute__((always_inline)) {
        for (; y < yEnd; ++y, row += t.pitch) {
            const int xl = std::max(left.x, s.x0);
            const int xr = std::min(right.x, s.x1);
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
                        double d[3][2], start[3];
                        Planes(tri, y, d, start);
                        stepRG = _mm_setr_pd(d[0][0], d[1][0]);
                        rowStepRG = _mm_setr_pd(d[0][1], d[1][1]);
                        rowRG = _mm_setr_pd(start[0], start[1]);
                        stepB0 = d[2][0];
                        rowStepB = d[2][1];
                        rowB = start[2];
                        stepR = static_cast<int32_t>(d[0][0]);
                        stepG = static_cast<int32_t>(d[1][0]);
                        stepB = static_cast<int32_t>(d[2][0]);
                        if constexpr (sizeof(T) == 2)
                            steps.Set(stepR, stepG, stepB);
                    }
                    // Clamped like ClampColour: max gives 0 for NaN, then min, truncation.
                    __m128d rg = _mm_add_pd(rowRG, _mm_mul_pd(stepRG, _mm_set1_pd(xl)));
                    rg = _mm_min_pd(_mm_max_pd(rg, _mm_setzero_pd()),
                                    _mm_set1_pd(static_cast<double>(kColourMax)));
                    const __m128i rgi = _mm_cvttpd_epi32(rg);
                    int32_t r = _mm_cvtsi128_si32(rgi);
                    int32_t g = _mm_cvtsi128_si32(_mm_srli_si128(rgi, 4));
                    int32_t bl = ClampColour(rowB + stepB0 * xl);
                    if constexpr (sizeof(T) == 2) {
                        GouraudSpan16<K>(p, static_cast<int>(end - p), r, g, bl, steps);
                        p = end;
                    }
                    while (p < end) {
                        *p++ = W::Pack(r, g, bl);
                        r += stepR;
                        g += stepG;
                        bl += stepB;
                    }
                }
            }
            if (planes) {
                rowRG = _mm_add_pd(rowRG, rowStepRG);
                rowB += rowStepB;
            }
            left.Step();
            right.Step();
        }
    };
    // The upper half between the long edge and a-b, the lower one between it and b-c.
    Edge longEdge, shortEdge;
    longEdge.Init(*a, *c, y0);
    if (y < rowMid) {
        shortEdge.Init(*a, *b, y);
        const int yEnd = std::min(rowMid, y1);
        if (midRight)
            rows(longEdge, shortEdge, yEnd);
        else
            rows(shortEdge, longEdge, yEnd);
    }
    if (y < y1) {
        shortEdge.Init(*b, *c, y);
        if (midRight)
            rows(longEdge, shortEdge, y1);
        else
            rows(shortEdge, longEdge, y1);
    }
}

// ---- AVX2: 16-bit Gouraud triangles ------------------------------------------------------
// The same arithmetic as Fill's, lane for lane: the three channels' span starts in one
// register of four doubles (multiply, then add: no fused operation, so every rounding is
// Fill's), and eight pixels per register of 32-bit colours.

// Sixteen 32-bit lanes in the compilers' vector extension: sums and products wrap in the
// unsigned type, right shifts are arithmetic in the signed one.
typedef int32_t V16 __attribute__((vector_size(64)));
typedef uint32_t U16 __attribute__((vector_size(64)));

namespace avx2 {
#define GAME_RASTER_TARGET "avx2"
#define GAME_RASTER_WIDE 0
#include "platform/soft/d3d/raster_gouraud.inc"
#undef GAME_RASTER_WIDE
#undef GAME_RASTER_TARGET
}  // namespace avx2

namespace avx512 {
#define GAME_RASTER_TARGET "avx2,avx512f,avx512bw,avx512vl"
#define GAME_RASTER_WIDE 1
#include "platform/soft/d3d/raster_gouraud.inc"
#undef GAME_RASTER_WIDE
#undef GAME_RASTER_TARGET
}  // namespace avx512

bool HasAvx512() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl");
}
const bool hasAvx512 = HasAvx512();
bool allowAvx512 = true;

// A 16-bit triangle on the widest path the processor (and the tests) allow.
template <PixelKind K>
void Fill16(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
            const Scissor& scissor, const PixelBuffer& target, bool flat) {
    const bool vector = !flat && blit::ActiveIsa() == blit::Isa::AVX2;
    if (vector && hasAvx512 && allowAvx512)
        avx512::FillGouraud<K>(a, b, c, scissor, target);
    else if (vector)
        avx2::FillGouraud<K>(a, b, c, scissor, target);
    else
        Fill<K>(a, b, c, scissor, target, flat);
}

}  // namespace

void FillTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                  const Scissor& scissor, const PixelBuffer& target, bool flat,
                  const DepthBuffer* depth) {
    if (depth) {
        detail::FillDepthTested(a, b, c, scissor, target, flat, *depth);
        return;
    }
    switch (target.kind) {
        case PixelKind::RGB565:
            Fill16<PixelKind::RGB565>(a, b, c, scissor, target, flat);
            break;
        case PixelKind::RGB555:
            Fill16<PixelKind::RGB555>(a, b, c, scissor, target, flat);
            break;
        case PixelKind::XRGB8888:
            Fill<PixelKind::XRGB8888>(a, b, c, scissor, target, flat);
            break;
        case PixelKind::Pal8:
            break;  // the device refuses palettized render targets
    }
}

bool AllowAvx512(bool allow) {
    const bool was = allowAvx512;
    allowAvx512 = allow;
    return was;
}

uint32_t DepthValue(int bits, float z) {
    const double scale = bits == 32 ? 4294967295.0 : 65535.0;
    const double v = std::min(std::max(static_cast<double>(z), 0.0), 1.0);  // NaN: 0
    return static_cast<uint32_t>(v * scale + 0.5);
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
    auto* row = static_cast<uint8_t*>(t.pixels) + static_cast<std::ptrdiff_t>(y0) * t.pitch;
    const int bpp = BytesPerPixel(t.kind);
    int n = x1 - x0;
    if (x0 == 0 && x1 == t.width && t.pitch == t.width * bpp) {
        // Whole rows without gaps between them: one fill.
        n *= y1 - y0;
        y1 = y0 + 1;
    }
    for (int y = y0; y < y1; ++y, row += t.pitch) {
        switch (bpp) {
            case 1:
                std::memset(row + x0, static_cast<int>(pixel & 0xFF), static_cast<size_t>(n));
                break;
            case 2: {
                auto* p = reinterpret_cast<uint16_t*>(row) + x0;
                if ((pixel & 0xFF) == ((pixel >> 8) & 0xFF)) {
                    std::memset(p, static_cast<int>(pixel & 0xFF), static_cast<size_t>(n) * 2);
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
