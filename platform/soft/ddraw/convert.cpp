// The conversion of 16-bit pixels (5-6-5 and 5-5-5) to the window's XRGB8888, used when a
// picture is presented: a scalar reference and SSE2 and AVX2 versions, chosen like the rest of
// the blitter's paths.
#include <immintrin.h>

#include <cstddef>

#include "platform/soft/ddraw/blit.h"

namespace platform::blit {

namespace {

// ---- Scalar reference -------------------------------------------------------------------

inline uint32_t Expand565(uint32_t p) {
    return ((p & 0xF800) << 8) | ((p & 0xE000) << 3) | ((p & 0x07E0) << 5) | ((p & 0x0600) >> 1) |
           ((p & 0x001F) << 3) | ((p & 0x001C) >> 2);
}

inline uint32_t Expand555(uint32_t p) {
    return ((p & 0x7C00) << 9) | ((p & 0x7000) << 4) | ((p & 0x03E0) << 6) | ((p & 0x0380) << 1) |
           ((p & 0x001F) << 3) | ((p & 0x001C) >> 2);
}

template <uint32_t (*Expand)(uint32_t)>
void ConvertRowScalar(uint32_t* d, const uint8_t* s, int width) {
    const uint16_t* sp = reinterpret_cast<const uint16_t*>(s);
    for (int x = 0; x < width; ++x)
        d[x] = Expand(sp[x]);
}

// ---- SSE2 -------------------------------------------------------------------------------

// Each field of a 16-bit pixel widens to 8 bits with one multiply: the field placed at the
// top of a 16-bit lane times a constant, high half kept, is the field followed by its own top
// bits, exactly the replication the scalar Expand does (5-bit v: v * 33 / 4; 6-bit v:
// v * 65 / 16, rounded down). Green and blue then share the low half of each XRGB8888 pixel
// and red the high half.
template <bool Is565>
__attribute__((target("sse2"))) inline void Widen128(__m128i p, __m128i* gb, __m128i* r) {
    __m128i g;
    if constexpr (Is565) {
        *r = _mm_mulhi_epu16(_mm_and_si128(p, _mm_set1_epi16(static_cast<short>(0xF800))),
                             _mm_set1_epi16(264));
        g = _mm_mulhi_epu16(_mm_and_si128(p, _mm_set1_epi16(0x07E0)), _mm_set1_epi16(8320));
    } else {
        *r = _mm_mulhi_epu16(_mm_and_si128(p, _mm_set1_epi16(0x7C00)), _mm_set1_epi16(528));
        g = _mm_mulhi_epu16(_mm_and_si128(p, _mm_set1_epi16(0x03E0)), _mm_set1_epi16(16896));
    }
    const __m128i b = _mm_mulhi_epu16(_mm_slli_epi16(p, 11), _mm_set1_epi16(264));
    *gb = _mm_or_si128(_mm_slli_epi16(g, 8), b);
}

template <bool Is565>
__attribute__((target("sse2"))) void ConvertRowSSE2(uint32_t* d, const uint8_t* s, int width) {
    if (width < 8) {
        if constexpr (Is565)
            ConvertRowScalar<Expand565>(d, s, width);
        else
            ConvertRowScalar<Expand555>(d, s, width);
        return;
    }
    auto step = [&](int x) __attribute__((target("sse2"))) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * x));
        __m128i gb, r;
        Widen128<Is565>(p, &gb, &r);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), _mm_unpacklo_epi16(gb, r));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x + 4), _mm_unpackhi_epi16(gb, r));
    };
    int x = 0;
    for (; x + 8 <= width; x += 8)
        step(x);
    if (x < width)
        step(width - 8);
}

// ---- AVX2 -------------------------------------------------------------------------------

// Widen128 on sixteen pixels.
template <bool Is565>
__attribute__((target("avx2"))) inline void Widen256(__m256i p, __m256i* gb, __m256i* r) {
    __m256i g;
    if constexpr (Is565) {
        *r = _mm256_mulhi_epu16(_mm256_and_si256(p, _mm256_set1_epi16(static_cast<short>(0xF800))),
                                _mm256_set1_epi16(264));
        g = _mm256_mulhi_epu16(_mm256_and_si256(p, _mm256_set1_epi16(0x07E0)),
                               _mm256_set1_epi16(8320));
    } else {
        *r = _mm256_mulhi_epu16(_mm256_and_si256(p, _mm256_set1_epi16(0x7C00)),
                                _mm256_set1_epi16(528));
        g = _mm256_mulhi_epu16(_mm256_and_si256(p, _mm256_set1_epi16(0x03E0)),
                               _mm256_set1_epi16(16896));
    }
    const __m256i b = _mm256_mulhi_epu16(_mm256_slli_epi16(p, 11), _mm256_set1_epi16(264));
    *gb = _mm256_or_si256(_mm256_slli_epi16(g, 8), b);
}

template <bool Is565>
__attribute__((target("avx2"))) void ConvertRowAVX2(uint32_t* d, const uint8_t* s, int width) {
    if (width < 16) {
        ConvertRowSSE2<Is565>(d, s, width);
        return;
    }
    auto step = [&](int x) __attribute__((target("avx2"))) {
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 2 * x));
        __m256i gb, r;
        Widen256<Is565>(p, &gb, &r);
        // Unpacking works within each 128-bit half: pixels 0-3 and 8-11, then 4-7 and 12-15.
        const __m256i lo = _mm256_unpacklo_epi16(gb, r);
        const __m256i hi = _mm256_unpackhi_epi16(gb, r);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + x),
                            _mm256_permute2x128_si256(lo, hi, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + x + 8),
                            _mm256_permute2x128_si256(lo, hi, 0x31));
    };
    int x = 0;
    for (; x + 16 <= width; x += 16)
        step(x);
    if (x < width)
        step(width - 16);
}

// ---- Dispatch ---------------------------------------------------------------------------

using ConvertFn = void (*)(uint32_t*, const uint8_t*, int);

template <bool Is565>
ConvertFn ConvertRow(Isa isa) {
    switch (isa) {
        case Isa::AVX2:
            return ConvertRowAVX2<Is565>;
        case Isa::SSE2:
            return ConvertRowSSE2<Is565>;
        case Isa::Scalar:
            break;
    }
    if constexpr (Is565)
        return ConvertRowScalar<Expand565>;
    else
        return ConvertRowScalar<Expand555>;
}

template <bool Is565>
void ConvertRect(Isa isa, uint32_t* dst, int dstPitch, ConstRows src, int width, int height) {
    if (height > 1 && src.pitch == width * 2 && dstPitch == width * 4) {
        width *= height;
        height = 1;
    }
    const ConvertFn row = ConvertRow<Is565>(Supported(isa));
    uint8_t* d = reinterpret_cast<uint8_t*>(dst);
    for (int y = 0; y < height; ++y)
        row(reinterpret_cast<uint32_t*>(d + static_cast<ptrdiff_t>(y) * dstPitch),
            src.pixels + static_cast<ptrdiff_t>(y) * src.pitch, width);
}

}  // namespace

void Convert565(Isa isa, uint32_t* dst, int dstPitch, ConstRows src, int width, int height) {
    if (width > 0 && height > 0)
        ConvertRect<true>(isa, dst, dstPitch, src, width, height);
}

void Convert555(Isa isa, uint32_t* dst, int dstPitch, ConstRows src, int width, int height) {
    if (width > 0 && height > 0)
        ConvertRect<false>(isa, dst, dstPitch, src, width, height);
}

void Convert565(uint32_t* dst, int dstPitch, ConstRows src, int width, int height) {
    Convert565(ActiveIsa(), dst, dstPitch, src, width, height);
}

void Convert555(uint32_t* dst, int dstPitch, ConstRows src, int width, int height) {
    Convert555(ActiveIsa(), dst, dstPitch, src, width, height);
}

}  // namespace platform::blit
