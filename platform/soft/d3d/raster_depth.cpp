// Triangles tested against a depth buffer. A triangle's depth is a plane on the screen (z/w
// is affine there), kept per span in fixed point of the buffer's units: each pixel's depth
// is the plane at its centre, rounded to the buffer's value and compared with the stored
// one. Colours are Fill's, lane for lane, so a pixel that passes gets the colour it would
// get without the test. 16-bit targets with a 16-bit buffer take an AVX2 path where the
// processor has it; the scalar path gives the same values.
#include <immintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/soft/ddraw/blit.h"
#include "platform/soft/d3d/raster_internal.h"

namespace platform::raster::detail {
namespace {

// A depth in fixed point: the buffer's value with kFrac fraction bits, plus one half so
// that truncation rounds.
template <int Bits>
struct Depth;
template <>
struct Depth<16> {
    using Stored = uint16_t;
    using Fixed = int32_t;
    static constexpr int kFrac = 14;
    static constexpr double kLevels = 65535.0;
};
template <>
struct Depth<32> {
    using Stored = uint32_t;
    using Fixed = int64_t;
    static constexpr int kFrac = 16;
    static constexpr double kLevels = 4294967295.0;
};

// The largest fixed-point depth (the buffer's largest value, all fraction bits set).
template <int Bits>
constexpr double kDepthTop = (Depth<Bits>::kLevels + 1) * (1 << Depth<Bits>::kFrac) - 1;

// D3DCMP_* as the set of outcomes that pass: bit 0 less, bit 1 equal, bit 2 greater.
unsigned PassMask(DWORD func) {
    return func >= D3DCMP_NEVER && func <= D3DCMP_ALWAYS ? func - 1 : 7;
}

// Clamped as the vector path clamps (maxpd, then minpd): NaN becomes 0.
template <int Bits>
inline typename Depth<Bits>::Fixed ClampDepth(double v) {
    const double x = v > 0 ? v : 0.0;
    return static_cast<typename Depth<Bits>::Fixed>(x < kDepthTop<Bits> ? x : kDepthTop<Bits>);
}

// The depth plane of a sorted triangle: change per column and per row, and the value at
// column 0 of row y, in fixed-point units.
template <int Bits>
__attribute__((always_inline)) inline void DepthPlane(const Sorted& t, int y, double* stepX,
                                                      double* stepY, double* start) {
    const ScreenVertex *a = t.a, *b = t.b, *c = t.c;
    constexpr double kScale = Depth<Bits>::kLevels * (1 << Depth<Bits>::kFrac);
    constexpr double kHalf = 0.5 * (1 << Depth<Bits>::kFrac);
    const double za = a->z * kScale + kHalf;
    const double z1 = b->z * kScale + kHalf - za, z2 = c->z * kScale + kHalf - za;
    const double ax = a->x / 16.0, ay = a->y / 16.0;
    const double e1x = b->x / 16.0 - ax, e1y = b->y / 16.0 - ay;
    const double e2x = c->x / 16.0 - ax, e2y = c->y / 16.0 - ay;
    const double inv = 1.0 / (e1x * e2y - e2x * e1y);
    *stepX = (z1 * e2y - z2 * e1y) * inv;
    *stepY = (e1x * z2 - e2x * z1) * inv;
    *start = za - *stepX * ax + *stepY * (y - ay);
}

// The per-pixel step in fixed point. Along a span of two pixels or more every value lies in
// the range, so the step is at most the range; a steeper plane (a sliver seen edge-on,
// covering one pixel a row) is held there, which keeps every sum within the fixed type.
template <int Bits>
typename Depth<Bits>::Fixed DepthStep(double stepX) {
    constexpr double kLimit = kDepthTop<Bits>;
    return static_cast<typename Depth<Bits>::Fixed>(std::min(std::max(stepX, -kLimit), kLimit));
}

template <int Bits>
inline typename Depth<Bits>::Fixed StepBy(typename Depth<Bits>::Fixed v,
                                          typename Depth<Bits>::Fixed step, int i) {
    using U = std::make_unsigned_t<typename Depth<Bits>::Fixed>;
    return static_cast<typename Depth<Bits>::Fixed>(static_cast<U>(v) +
                                                    static_cast<U>(step) * static_cast<U>(i));
}

// Any target, either buffer, flat or Gouraud: one pixel at a time.
template <PixelKind K, int Bits>
void FillScalar(const ScreenVertex& v0, const ScreenVertex& v1, const ScreenVertex& v2,
                const Scissor& s, const PixelBuffer& t, bool flat, const DepthBuffer& depth) {
    using W = Writer<K>;
    using T = typename W::T;
    using Z = typename Depth<Bits>::Stored;
    using Fixed = typename Depth<Bits>::Fixed;
    Sorted tri;
    if (!Sort(v0, v1, v2, s, &tri))
        return;
    const unsigned pass = PassMask(depth.func);
    const T flatPixel =
        W::Pack(std::min(v0.r + kColourBias, kColourMax), std::min(v0.g + kColourBias, kColourMax),
                std::min(v0.b + kColourBias, kColourMax));
    bool planes = false;
    double d[3][2] = {}, row[3] = {};
    int32_t step[3] = {};
    double zStepX = 0, zStepY = 0, zRow = 0;
    Fixed zStep = 0;
    auto* pixels = static_cast<uint8_t*>(t.pixels) + static_cast<std::ptrdiff_t>(tri.y0) * t.pitch;
    auto* depths = depth.pixels + static_cast<std::ptrdiff_t>(tri.y0) * depth.pitch;
    int y = tri.y0;
    auto rows = [&](Edge& left, Edge& right, int yEnd) {
        for (; y < yEnd; ++y, pixels += t.pitch, depths += depth.pitch) {
            const int xl = std::max(left.x, s.x0);
            const int xr = std::min(right.x, s.x1);
            if (xl < xr) {
                if (!planes) {
                    planes = true;
                    Planes(tri, y, d, row);
                    for (int i = 0; i < 3; ++i)
                        step[i] = static_cast<int32_t>(d[i][0]);
                    DepthPlane<Bits>(tri, y, &zStepX, &zStepY, &zRow);
                    zStep = DepthStep<Bits>(zStepX);
                }
                int32_t c[3];
                for (int i = 0; i < 3; ++i)
                    c[i] = ClampColour(row[i] + d[i][0] * xl);
                const Fixed z0 = ClampDepth<Bits>(zRow + zStepX * xl);
                T* p = reinterpret_cast<T*>(pixels);
                Z* zp = reinterpret_cast<Z*>(depths);
                for (int x = xl, i = 0; x < xr; ++x, ++i) {
                    const Fixed zf =
                        ClampDepth<Bits>(static_cast<double>(StepBy<Bits>(z0, zStep, i)));
                    const Z z = static_cast<Z>(zf >> Depth<Bits>::kFrac);
                    const unsigned outcome = z < zp[x] ? 1u : (z == zp[x] ? 2u : 4u);
                    if (!(outcome & pass))
                        continue;
                    p[x] = flat ? flatPixel
                                : W::Pack(c[0] + Times(step[0], i), c[1] + Times(step[1], i),
                                          c[2] + Times(step[2], i));
                    if (depth.write)
                        zp[x] = z;
                }
            }
            if (planes) {
                for (int i = 0; i < 3; ++i)
                    row[i] += d[i][1];
                zRow += zStepY;
            }
            left.Step();
            right.Step();
        }
    };
    const ScreenVertex *a = tri.a, *b = tri.b, *c = tri.c;
    Edge longEdge, shortEdge;
    longEdge.Init(*a, *c, y);
    if (y < tri.rowMid) {
        shortEdge.Init(*a, *b, y);
        const int yEnd = std::min(tri.rowMid, tri.y1);
        if (tri.midRight)
            rows(longEdge, shortEdge, yEnd);
        else
            rows(shortEdge, longEdge, yEnd);
    }
    if (y < tri.y1) {
        shortEdge.Init(*b, *c, y);
        if (tri.midRight)
            rows(longEdge, shortEdge, tri.y1);
        else
            rows(shortEdge, longEdge, tri.y1);
    }
}

// ---- AVX2: 16-bit Gouraud triangles with a 16-bit buffer ----------------------------------

#define GAME_AVX2 __attribute__((target("avx2"), always_inline)) inline

template <PixelKind K>
GAME_AVX2 __m128i Pack8(__m256i rv, __m256i gv, __m256i bv) {
    constexpr int kRedShift = K == PixelKind::RGB565 ? 11 : 10;
    constexpr int kGreenBits = K == PixelKind::RGB565 ? 18 : 19;
    __m256i px =
        _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi32(_mm256_srai_epi32(rv, 19), kRedShift),
                                        _mm256_slli_epi32(_mm256_srai_epi32(gv, kGreenBits), 5)),
                        _mm256_srai_epi32(bv, 19));
    px = _mm256_srai_epi32(_mm256_slli_epi32(px, 16), 16);
    return _mm_packs_epi32(_mm256_castsi256_si128(px), _mm256_extracti128_si256(px, 1));
}

// The depth test of eight 16-bit depths: which lanes pass, for the outcomes P (PassMask).
template <unsigned P>
GAME_AVX2 __m128i Passing(__m128i z, __m128i stored) {
    const __m128i all = _mm_set1_epi16(-1);
    if constexpr (P == 0) {
        return _mm_setzero_si128();
    } else if constexpr (P == 7) {
        return all;
    } else if constexpr (P == 2 || P == 5) {  // equal, not equal
        const __m128i eq = _mm_cmpeq_epi16(z, stored);
        return P == 2 ? eq : _mm_xor_si128(eq, all);
    } else if constexpr (P == 3 || P == 4) {  // less or equal (z = max), greater (not that)
        const __m128i le = _mm_cmpeq_epi16(_mm_max_epu16(z, stored), stored);
        return P == 3 ? le : _mm_xor_si128(le, all);
    } else {  // greater or equal (z = min), less (not that)
        const __m128i ge = _mm_cmpeq_epi16(_mm_min_epu16(z, stored), stored);
        return P == 6 ? ge : _mm_xor_si128(ge, all);
    }
}

// Spans tested for the outcomes P, their depths stored when Write.
template <PixelKind K, unsigned P, bool Write>
struct DepthSpans {
    __m256i rampR, rampG, rampB, rampZ;  // i * step for lanes i = 0..7
    __m256i r8, g8, b8, z8;              // 8 * step
    __m256d rowStart, rowStep, colStep;  // red, green, blue, depth
    int32_t stepR, stepG, stepB, stepZ;
    bool planes;      // set up on the first span that covers a pixel
    uint8_t* pixels;  // the current row's colours and depths
    uint8_t* depths;

    GAME_AVX2 void Set(const Sorted& t, int y) {
        double d[3][2], start[3], zStepX, zStepY, zStart;
        Planes(t, y, d, start);
        DepthPlane<16>(t, y, &zStepX, &zStepY, &zStart);
        rowStart = _mm256_setr_pd(start[0], start[1], start[2], zStart);
        rowStep = _mm256_setr_pd(d[0][1], d[1][1], d[2][1], zStepY);
        colStep = _mm256_setr_pd(d[0][0], d[1][0], d[2][0], zStepX);
        stepR = static_cast<int32_t>(d[0][0]);
        stepG = static_cast<int32_t>(d[1][0]);
        stepB = static_cast<int32_t>(d[2][0]);
        stepZ = DepthStep<16>(zStepX);
        const __m256i index = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
        rampR = _mm256_mullo_epi32(_mm256_set1_epi32(stepR), index);
        rampG = _mm256_mullo_epi32(_mm256_set1_epi32(stepG), index);
        rampB = _mm256_mullo_epi32(_mm256_set1_epi32(stepB), index);
        rampZ = _mm256_mullo_epi32(_mm256_set1_epi32(stepZ), index);
        r8 = _mm256_set1_epi32(Times(stepR, 8));
        g8 = _mm256_set1_epi32(Times(stepG, 8));
        b8 = _mm256_set1_epi32(Times(stepB, 8));
        z8 = _mm256_set1_epi32(Times(stepZ, 8));
    }

    // Eight pixels from lane values (r, g, b, z) at the group's first pixel: the colours
    // and depths are stored where the test passes and `lanes` (16-bit masks) allows.
    GAME_AVX2 void Group(uint16_t* p, uint16_t* zp, __m256i rv, __m256i gv, __m256i bv, __m256i zv,
                         __m128i lanes) const {
        // Clamped as the scalar path clamps: below zero stays negative after the shift and
        // packs to 0, past the top shifts past 65,535 and packs to it.
        const __m256i z = _mm256_srai_epi32(zv, Depth<16>::kFrac);
        const __m128i z16 =
            _mm_packus_epi32(_mm256_castsi256_si128(z), _mm256_extracti128_si256(z, 1));
        const __m128i stored = _mm_loadu_si128(reinterpret_cast<const __m128i*>(zp));
        const __m128i pass = _mm_and_si128(Passing<P>(z16, stored), lanes);
        auto* c = reinterpret_cast<__m128i*>(p);
        _mm_storeu_si128(c, _mm_blendv_epi8(_mm_loadu_si128(c), Pack8<K>(rv, gv, bv), pass));
        if constexpr (Write)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(zp), _mm_blendv_epi8(stored, z16, pass));
    }

    // The pixels [xl, xr) of one row of a target `width` pixels wide.
    GAME_AVX2 void Span(uint16_t* row, uint16_t* zrow, int xl, int xr, int width) const {
        const __m256d top = _mm256_setr_pd(kColourMax, kColourMax, kColourMax, kDepthTop<16>);
        const __m256d v = _mm256_min_pd(
            _mm256_max_pd(_mm256_add_pd(rowStart, _mm256_mul_pd(colStep, _mm256_set1_pd(xl))),
                          _mm256_setzero_pd()),
            top);
        // The span's first values in every lane, plus each lane's steps.
        const __m256i c = _mm256_castsi128_si256(_mm256_cvttpd_epi32(v));
        const __m256i r0 = _mm256_permutevar8x32_epi32(c, _mm256_setzero_si256());
        const __m256i g0 = _mm256_permutevar8x32_epi32(c, _mm256_set1_epi32(1));
        const __m256i b0 = _mm256_permutevar8x32_epi32(c, _mm256_set1_epi32(2));
        const __m256i z0 = _mm256_permutevar8x32_epi32(c, _mm256_set1_epi32(3));
        __m256i rv = _mm256_add_epi32(r0, rampR), gv = _mm256_add_epi32(g0, rampG),
                bv = _mm256_add_epi32(b0, rampB), zv = _mm256_add_epi32(z0, rampZ);
        const int n = xr - xl;
        const __m128i all = _mm_set1_epi16(-1);
        if (n < 8) {
            // Eight pixels from the span's start, or ending at the row's end near it; the
            // lanes outside the span are kept.
            int w0 = xl;
            if (xl + 8 > width) {
                w0 = xr - 8;
                if (w0 < 0) {  // a row narrower than eight pixels
                    SpanNarrow(row, zrow, xl, xr, _mm256_cvtsi256_si32(r0),
                               _mm256_cvtsi256_si32(g0), _mm256_cvtsi256_si32(b0),
                               _mm256_cvtsi256_si32(z0));
                    return;
                }
                const int k = w0 - xl;
                rv = _mm256_add_epi32(rv, _mm256_set1_epi32(Times(stepR, k)));
                gv = _mm256_add_epi32(gv, _mm256_set1_epi32(Times(stepG, k)));
                bv = _mm256_add_epi32(bv, _mm256_set1_epi32(Times(stepB, k)));
                zv = _mm256_add_epi32(zv, _mm256_set1_epi32(Times(stepZ, k)));
            }
            const __m128i lanes = _mm_and_si128(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(kLaneMask + 8 - (xl - w0))),
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(kLaneMask + 16 - (xr - w0))));
            Group(row + w0, zrow + w0, rv, gv, bv, zv, lanes);
            return;
        }
        // Groups of eight; the last group is tested again ending at the span's end (a pixel
        // tested twice gets the same depth and colour both times, so the outcome stands).
        int i = 0;
        for (; i + 8 <= n; i += 8) {
            Group(row + xl + i, zrow + xl + i, rv, gv, bv, zv, all);
            rv = _mm256_add_epi32(rv, r8);
            gv = _mm256_add_epi32(gv, g8);
            bv = _mm256_add_epi32(bv, b8);
            zv = _mm256_add_epi32(zv, z8);
        }
        if (i < n) {
            const int k = n - 8;
            Group(row + xl + k, zrow + xl + k, At(r0, stepR, k, rampR), At(g0, stepG, k, rampG),
                  At(b0, stepB, k, rampB), At(z0, stepZ, k, rampZ), all);
        }
    }

    // Rows [y, yEnd) between two edges; `pixels` and `depths` follow y.
    GAME_AVX2 void Rows(Edge& left, Edge& right, int& y, int yEnd, const Sorted& tri,
                        const Scissor& s, const PixelBuffer& t, const DepthBuffer& depth) {
        for (; y < yEnd; ++y, pixels += t.pitch, depths += depth.pitch) {
            const int xl = std::max(left.x, s.x0);
            const int xr = std::min(right.x, s.x1);
            if (xl < xr) {
                if (!planes) {
                    planes = true;
                    Set(tri, y);
                }
                Span(reinterpret_cast<uint16_t*>(pixels), reinterpret_cast<uint16_t*>(depths), xl,
                     xr, t.width);
            }
            if (planes)
                rowStart = _mm256_add_pd(rowStart, rowStep);
            left.Step();
            right.Step();
        }
    }

    // Lane i: start + (k + i) * step, wrapping as the scalar sums do.
    GAME_AVX2 static __m256i At(__m256i start, int32_t step, int k, __m256i ramp) {
        return _mm256_add_epi32(_mm256_add_epi32(start, _mm256_set1_epi32(Times(step, k))), ramp);
    }

    __attribute__((target("avx2"))) void SpanNarrow(uint16_t* row, uint16_t* zrow, int xl, int xr,
                                                    int32_t r, int32_t g, int32_t b,
                                                    int32_t z) const {
        const int32_t top = static_cast<int32_t>(kDepthTop<16>);
        for (int i = 0; i < xr - xl; ++i) {
            const int32_t zi32 = static_cast<int32_t>(static_cast<uint32_t>(z) +
                                                      static_cast<uint32_t>(Times(stepZ, i)));
            const int32_t zf = std::min(std::max(zi32, 0), top);
            const uint16_t zi = static_cast<uint16_t>(zf >> Depth<16>::kFrac);
            const uint16_t old = zrow[xl + i];
            if (!((zi < old ? 1u : zi == old ? 2u : 4u) & P))
                continue;
            row[xl + i] =
                Writer<K>::Pack(r + Times(stepR, i), g + Times(stepG, i), b + Times(stepB, i));
            if (Write)
                zrow[xl + i] = zi;
        }
    }
};

// The spans' planes are set on the first row that covers a pixel (most triangles of a dense
// mesh cover none, and pay nothing for them); GCC cannot see that no span comes before it.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
template <PixelKind K, unsigned P, bool Write>
__attribute__((target("avx2"))) void FillGouraud16(const ScreenVertex& v0, const ScreenVertex& v1,
                                                   const ScreenVertex& v2, const Scissor& s,
                                                   const PixelBuffer& t, const DepthBuffer& depth) {
    Sorted tri;
    if (!Sort(v0, v1, v2, s, &tri))
        return;
    DepthSpans<K, P, Write> spans;
    spans.planes = false;
    spans.pixels = static_cast<uint8_t*>(t.pixels) + static_cast<std::ptrdiff_t>(tri.y0) * t.pitch;
    spans.depths = depth.pixels + static_cast<std::ptrdiff_t>(tri.y0) * depth.pitch;
    int y = tri.y0;
    const ScreenVertex *a = tri.a, *b = tri.b, *c = tri.c;
    Edge longEdge, shortEdge;
    longEdge.Init(*a, *c, y);
    if (y < tri.rowMid) {
        shortEdge.Init(*a, *b, y);
        const int yEnd = std::min(tri.rowMid, tri.y1);
        if (tri.midRight)
            spans.Rows(longEdge, shortEdge, y, yEnd, tri, s, t, depth);
        else
            spans.Rows(shortEdge, longEdge, y, yEnd, tri, s, t, depth);
    }
    if (y < tri.y1) {
        shortEdge.Init(*b, *c, y);
        if (tri.midRight)
            spans.Rows(longEdge, shortEdge, y, tri.y1, tri, s, t, depth);
        else
            spans.Rows(shortEdge, longEdge, y, tri.y1, tri, s, t, depth);
    }
}

#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#undef GAME_AVX2

template <PixelKind K>
void Fill(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c, const Scissor& s,
          const PixelBuffer& t, bool flat, const DepthBuffer& depth) {
    if (depth.bits == 32) {
        FillScalar<K, 32>(a, b, c, s, t, flat, depth);
        return;
    }
    if constexpr (K != PixelKind::XRGB8888) {
        if (!flat && blit::ActiveIsa() == blit::Isa::AVX2) {
            using F = void (*)(const ScreenVertex&, const ScreenVertex&, const ScreenVertex&,
                               const Scissor&, const PixelBuffer&, const DepthBuffer&);
            static constexpr F kFills[8][2] = {
                {FillGouraud16<K, 0, false>, FillGouraud16<K, 0, true>},
                {FillGouraud16<K, 1, false>, FillGouraud16<K, 1, true>},
                {FillGouraud16<K, 2, false>, FillGouraud16<K, 2, true>},
                {FillGouraud16<K, 3, false>, FillGouraud16<K, 3, true>},
                {FillGouraud16<K, 4, false>, FillGouraud16<K, 4, true>},
                {FillGouraud16<K, 5, false>, FillGouraud16<K, 5, true>},
                {FillGouraud16<K, 6, false>, FillGouraud16<K, 6, true>},
                {FillGouraud16<K, 7, false>, FillGouraud16<K, 7, true>}};
            kFills[PassMask(depth.func)][depth.write](a, b, c, s, t, depth);
            return;
        }
    }
    FillScalar<K, 16>(a, b, c, s, t, flat, depth);
}

}  // namespace

void FillDepthTested(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                     const Scissor& scissor, const PixelBuffer& target, bool flat,
                     const DepthBuffer& depth) {
    switch (target.kind) {
        case PixelKind::RGB565:
            Fill<PixelKind::RGB565>(a, b, c, scissor, target, flat, depth);
            break;
        case PixelKind::RGB555:
            Fill<PixelKind::RGB555>(a, b, c, scissor, target, flat, depth);
            break;
        case PixelKind::XRGB8888:
            Fill<PixelKind::XRGB8888>(a, b, c, scissor, target, flat, depth);
            break;
        case PixelKind::Pal8:
            break;  // the device refuses palettized render targets
    }
}

}  // namespace platform::raster::detail
