#include "platform/soft/ddraw/blit.h"

#include <immintrin.h>

#include <cstddef>
#include <cstring>

namespace platform::blit {

namespace {

// ---- Scalar reference -------------------------------------------------------------------

template <typename T>
void FillRowScalar(uint8_t* d, int width, uint32_t value) {
    T* p = reinterpret_cast<T*>(d);
    const T v = static_cast<T>(value);
    for (int x = 0; x < width; ++x)
        p[x] = v;
}

template <typename T>
void KeySrcRowScalar(uint8_t* d, const uint8_t* s, int width, uint32_t key) {
    T* dp = reinterpret_cast<T*>(d);
    const T* sp = reinterpret_cast<const T*>(s);
    const T k = static_cast<T>(key);
    for (int x = 0; x < width; ++x)
        if (sp[x] != k)
            dp[x] = sp[x];
}

template <typename T>
void KeyDestRowScalar(uint8_t* d, const uint8_t* s, int width, uint32_t key) {
    T* dp = reinterpret_cast<T*>(d);
    const T* sp = reinterpret_cast<const T*>(s);
    const T k = static_cast<T>(key);
    for (int x = 0; x < width; ++x)
        if (dp[x] == k)
            dp[x] = sp[x];
}

// ---- SSE2 -------------------------------------------------------------------------------

template <int B>
__attribute__((target("sse2"))) inline __m128i Splat128(uint32_t v) {
    if constexpr (B == 1)
        return _mm_set1_epi8(static_cast<char>(v));
    else if constexpr (B == 2)
        return _mm_set1_epi16(static_cast<short>(v));
    else
        return _mm_set1_epi32(static_cast<int>(v));
}

template <int B>
__attribute__((target("sse2"))) inline __m128i CmpEq128(__m128i a, __m128i b) {
    if constexpr (B == 1)
        return _mm_cmpeq_epi8(a, b);
    else if constexpr (B == 2)
        return _mm_cmpeq_epi16(a, b);
    else
        return _mm_cmpeq_epi32(a, b);
}

template <typename T>
void KeySrcRowTail(uint8_t* d, const uint8_t* s, int bytes, uint32_t key) {
    KeySrcRowScalar<T>(d, s, bytes / static_cast<int>(sizeof(T)), key);
}

// The row is handled 16 bytes at a time; the last, partial step is redone on the final 16
// bytes, which is harmless because the result of a keyed copy does not depend on whether a
// pixel was already copied (source and destination never overlap here).
template <typename T>
__attribute__((target("sse2"))) void KeySrcRowSSE2(uint8_t* d, const uint8_t* s, int bytes,
                                                   uint32_t key) {
    constexpr int B = sizeof(T);
    if (bytes < 16) {
        KeySrcRowTail<T>(d, s, bytes, key);
        return;
    }
    const __m128i k = Splat128<B>(key);
    auto step = [&](int i) __attribute__((target("sse2"))) {
        const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i m = CmpEq128<B>(sv, k);
        const int bits = _mm_movemask_epi8(m);
        if (bits == 0xFFFF)
            return;  // all transparent
        if (bits == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), sv);
            return;
        }
        const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i),
                         _mm_or_si128(_mm_and_si128(m, dv), _mm_andnot_si128(m, sv)));
    };
    int i = 0;
    for (; i + 16 <= bytes; i += 16)
        step(i);
    if (i < bytes)
        step(bytes - 16);
}

template <typename T>
__attribute__((target("sse2"))) void KeyDestRowSSE2(uint8_t* d, const uint8_t* s, int bytes,
                                                    uint32_t key) {
    constexpr int B = sizeof(T);
    if (bytes < 16) {
        KeyDestRowScalar<T>(d, s, bytes / B, key);
        return;
    }
    const __m128i k = Splat128<B>(key);
    auto step = [&](int i) __attribute__((target("sse2"))) {
        const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        const __m128i m = CmpEq128<B>(dv, k);
        if (_mm_movemask_epi8(m) == 0)
            return;  // no destination pixel holds the key
        const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i),
                         _mm_or_si128(_mm_and_si128(m, sv), _mm_andnot_si128(m, dv)));
    };
    int i = 0;
    for (; i + 16 <= bytes; i += 16)
        step(i);
    if (i < bytes)
        step(bytes - 16);
}

template <int B>
__attribute__((target("sse2"))) void FillRowSSE2(uint8_t* d, int bytes, uint32_t value) {
    if (bytes < 16) {
        if constexpr (B == 1)
            std::memset(d, static_cast<int>(value & 0xFF), static_cast<size_t>(bytes));
        else if constexpr (B == 2)
            FillRowScalar<uint16_t>(d, bytes / 2, value);
        else
            FillRowScalar<uint32_t>(d, bytes / 4, value);
        return;
    }
    const __m128i v = Splat128<B>(value);
    int i = 0;
    for (; i + 64 <= bytes; i += 64) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), v);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 16), v);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 32), v);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 48), v);
    }
    for (; i + 16 <= bytes; i += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), v);
    if (i < bytes)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + bytes - 16), v);
}

// ---- AVX2 -------------------------------------------------------------------------------

// Rows up to this many bytes are blended without looking for fully transparent or opaque
// chunks first.
constexpr int kShortRow = 256;

template <int B>
__attribute__((target("avx2"))) inline __m256i Splat256(uint32_t v) {
    if constexpr (B == 1)
        return _mm256_set1_epi8(static_cast<char>(v));
    else if constexpr (B == 2)
        return _mm256_set1_epi16(static_cast<short>(v));
    else
        return _mm256_set1_epi32(static_cast<int>(v));
}

template <int B>
__attribute__((target("avx2"))) inline __m256i CmpEq256(__m256i a, __m256i b) {
    if constexpr (B == 1)
        return _mm256_cmpeq_epi8(a, b);
    else if constexpr (B == 2)
        return _mm256_cmpeq_epi16(a, b);
    else
        return _mm256_cmpeq_epi32(a, b);
}

// 64 bytes (32 pixels of 16 bits) per turn: both halves are compared first so a fully
// transparent or fully opaque run costs no blend.
template <typename T>
__attribute__((target("avx2"))) void KeySrcRowAVX2(uint8_t* d, const uint8_t* s, int bytes,
                                                   uint32_t key) {
    constexpr int B = sizeof(T);
    if (bytes < 32) {
        KeySrcRowSSE2<T>(d, s, bytes, key);
        return;
    }
    const __m256i k = Splat256<B>(key);
    if (bytes <= kShortRow) {
        // Short rows (text, small sprites) blend every chunk: no branch to mispredict.
        // The last, overlapping chunk is blended from the destination as it was and stored
        // last: reading it after the previous chunk's store would wait on that store.
        auto blended = [&](int i) __attribute__((target("avx2"))) {
            const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
            const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + i));
            return _mm256_blendv_epi8(sv, dv, CmpEq256<B>(sv, k));
        };
        const __m256i tail = blended(bytes - 32);
        for (int i = 0; i + 32 < bytes; i += 32)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), blended(i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + bytes - 32), tail);
        return;
    }
    auto step = [&](int i) __attribute__((target("avx2"))) {
        const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        const __m256i m = CmpEq256<B>(sv, k);
        const unsigned bits = static_cast<unsigned>(_mm256_movemask_epi8(m));
        if (bits == 0xFFFFFFFFu)
            return;
        if (bits == 0) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), sv);
            return;
        }
        const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), _mm256_blendv_epi8(sv, dv, m));
    };
    int i = 0;
    for (; i + 64 <= bytes; i += 64) {
        const __m256i s0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        const __m256i s1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 32));
        const __m256i m0 = CmpEq256<B>(s0, k);
        const __m256i m1 = CmpEq256<B>(s1, k);
        const unsigned b0 = static_cast<unsigned>(_mm256_movemask_epi8(m0));
        const unsigned b1 = static_cast<unsigned>(_mm256_movemask_epi8(m1));
        if ((b0 & b1) == 0xFFFFFFFFu)
            continue;  // 64 transparent bytes
        if ((b0 | b1) == 0) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), s0);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i + 32), s1);
            continue;
        }
        const __m256i d0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + i));
        const __m256i d1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + i + 32));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), _mm256_blendv_epi8(s0, d0, m0));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i + 32), _mm256_blendv_epi8(s1, d1, m1));
    }
    for (; i + 32 <= bytes; i += 32)
        step(i);
    if (i < bytes)
        step(bytes - 32);
}

template <typename T>
__attribute__((target("avx2"))) void KeyDestRowAVX2(uint8_t* d, const uint8_t* s, int bytes,
                                                    uint32_t key) {
    constexpr int B = sizeof(T);
    if (bytes < 32) {
        KeyDestRowSSE2<T>(d, s, bytes, key);
        return;
    }
    const __m256i k = Splat256<B>(key);
    auto step = [&](int i) __attribute__((target("avx2"))) {
        const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + i));
        const __m256i m = CmpEq256<B>(dv, k);
        if (_mm256_movemask_epi8(m) == 0)
            return;
        const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), _mm256_blendv_epi8(dv, sv, m));
    };
    int i = 0;
    for (; i + 32 <= bytes; i += 32)
        step(i);
    if (i < bytes)
        step(bytes - 32);
}

template <int B>
__attribute__((target("avx2"))) void FillRowAVX2(uint8_t* d, int bytes, uint32_t value) {
    if (bytes < 32) {
        FillRowSSE2<B>(d, bytes, value);
        return;
    }
    const __m256i v = Splat256<B>(value);
    int i = 0;
    for (; i + 128 <= bytes; i += 128) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), v);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i + 32), v);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i + 64), v);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i + 96), v);
    }
    for (; i + 32 <= bytes; i += 32)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), v);
    if (i < bytes)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + bytes - 32), v);
}

// ---- Dispatch ---------------------------------------------------------------------------

const Isa bestIsa = DetectIsa();
Isa activeIsa = bestIsa;

}  // namespace

Isa Supported(Isa wanted) {
    const Isa best = bestIsa;
    return static_cast<uint8_t>(wanted) <= static_cast<uint8_t>(best) ? wanted : best;
}

namespace {

// Rows that follow each other without a gap are handled as one long row.
inline void Merge(int& width, int& height, int bpp, int dstPitch, int srcPitch) {
    if (height > 1 && dstPitch == width * bpp && srcPitch == dstPitch) {
        width *= height;
        height = 1;
    }
}

// Whole rectangles per path and pixel size: the row kernel is inlined into the row loop, so a
// small sprite costs one indirect call, not one per row.
using RectFn = void (*)(Rows, ConstRows, int bytes, int height, uint32_t key);

#define GAME_KEYED_RECT(Name, Row, ...)                                               \
    template <typename T>                                                             \
    __VA_ARGS__ void Name(Rows d, ConstRows s, int bytes, int height, uint32_t key) { \
        for (int y = 0; y < height; ++y)                                              \
            Row<T>(d.pixels + static_cast<ptrdiff_t>(y) * d.pitch,                    \
                   s.pixels + static_cast<ptrdiff_t>(y) * s.pitch, bytes, key);       \
    }

template <typename T>
void KeyDestRowBytesScalar(uint8_t* d, const uint8_t* s, int bytes, uint32_t key) {
    KeyDestRowScalar<T>(d, s, bytes / static_cast<int>(sizeof(T)), key);
}

GAME_KEYED_RECT(KeySrcRectScalar, KeySrcRowTail)
GAME_KEYED_RECT(KeySrcRectSSE2, KeySrcRowSSE2, __attribute__((target("sse2"))))
GAME_KEYED_RECT(KeySrcRectAVX2, KeySrcRowAVX2, __attribute__((target("avx2"))))
GAME_KEYED_RECT(KeyDestRectScalar, KeyDestRowBytesScalar)
GAME_KEYED_RECT(KeyDestRectSSE2, KeyDestRowSSE2, __attribute__((target("sse2"))))
GAME_KEYED_RECT(KeyDestRectAVX2, KeyDestRowAVX2, __attribute__((target("avx2"))))
#undef GAME_KEYED_RECT

#define GAME_PICK(Name, bpp) \
    ((bpp) == 1 ? Name<uint8_t> : ((bpp) == 2 ? Name<uint16_t> : Name<uint32_t>))

RectFn KeySrcRect(Isa isa, int bpp) {
    switch (isa) {
        case Isa::AVX2:
            return GAME_PICK(KeySrcRectAVX2, bpp);
        case Isa::SSE2:
            return GAME_PICK(KeySrcRectSSE2, bpp);
        case Isa::Scalar:
            break;
    }
    return GAME_PICK(KeySrcRectScalar, bpp);
}

RectFn KeyDestRect(Isa isa, int bpp) {
    switch (isa) {
        case Isa::AVX2:
            return GAME_PICK(KeyDestRectAVX2, bpp);
        case Isa::SSE2:
            return GAME_PICK(KeyDestRectSSE2, bpp);
        case Isa::Scalar:
            break;
    }
    return GAME_PICK(KeyDestRectScalar, bpp);
}
#undef GAME_PICK

// Rows of at least this many bytes are filled with the processor's string store, as the C
// library's memset fills them (its default threshold for `rep stosb` is the same 2 KB).
constexpr int kStringFillBytes = 2048;

// `bytes` (at least 8, a whole number of pixels) from `d` become the repeating 8-byte
// `pattern`, whose byte i belongs at pixel offset i. One unaligned store covers the head,
// `rep stosq` the aligned middle and one more store the tail. A string store writes whole
// cache lines without reading them first (the processor's fast-string operation), where a
// loop of vector stores reads every line it is about to overwrite.
#if defined(__x86_64__)
constexpr bool kHaveStringFill = true;
void StringFillRow(uint8_t* d, size_t bytes, uint64_t pattern) {
    std::memcpy(d, &pattern, 8);
    std::memcpy(d + bytes - 8, &pattern, 8);  // bytes - 8 is a whole number of pixels
    const size_t skip = (0 - reinterpret_cast<uintptr_t>(d)) & 7;
    // The word stored at d + skip starts with pattern byte `skip`.
    const unsigned shift = static_cast<unsigned>(skip) * 8;
    uint64_t word = shift ? (pattern >> shift) | (pattern << (64 - shift)) : pattern;
    void* at = d + skip;
    size_t count = (bytes - skip) / 8;
    __asm__ volatile("rep stosq" : "+D"(at), "+c"(count) : "a"(word) : "memory");
}
#else
constexpr bool kHaveStringFill = false;  // 32-bit builds keep the vector loops
void StringFillRow(uint8_t*, size_t, uint64_t) {}
#endif

void FillRow(Isa isa, uint8_t* d, int width, int bpp, uint32_t value) {
    const int bytes = width * bpp;
    const uint8_t b0 = static_cast<uint8_t>(value);
    const bool sameBytes = bpp == 1 || (bpp == 2 && b0 == static_cast<uint8_t>(value >> 8)) ||
                           (bpp == 4 && value == b0 * 0x01010101u);
    if (isa == Isa::Scalar) {
        if (bpp == 1)
            FillRowScalar<uint8_t>(d, width, value);
        else if (bpp == 2)
            FillRowScalar<uint16_t>(d, width, value);
        else
            FillRowScalar<uint32_t>(d, width, value);
        return;
    }
    if (sameBytes) {
        std::memset(d, b0, static_cast<size_t>(bytes));
        return;
    }
    if (kHaveStringFill && bytes >= kStringFillBytes) {
        const uint64_t pattern = bpp == 2 ? (value & 0xFFFFu) * 0x0001000100010001ull
                                          : static_cast<uint64_t>(value) * 0x0000000100000001ull;
        StringFillRow(d, static_cast<size_t>(bytes), pattern);
        return;
    }
    if (isa == Isa::AVX2) {
        if (bpp == 2)
            FillRowAVX2<2>(d, bytes, value);
        else
            FillRowAVX2<4>(d, bytes, value);
    } else {
        if (bpp == 2)
            FillRowSSE2<2>(d, bytes, value);
        else
            FillRowSSE2<4>(d, bytes, value);
    }
}

// Byte copies of any length without a library call: whole vectors, then one overlapping
// vector for the rest; short lengths use overlapping scalar moves.
template <int V>
inline void CopyBytesShort(uint8_t* d, const uint8_t* s, size_t n) {
    auto two = [&](auto word) {
        using W = decltype(word);
        W a, b;
        std::memcpy(&a, s, sizeof(W));
        std::memcpy(&b, s + n - sizeof(W), sizeof(W));
        std::memcpy(d, &a, sizeof(W));
        std::memcpy(d + n - sizeof(W), &b, sizeof(W));
    };
    if (n >= 8)
        two(uint64_t{});
    else if (n >= 4)
        two(uint32_t{});
    else if (n >= 2)
        two(uint16_t{});
    else if (n == 1)
        *d = *s;
}

__attribute__((target("sse2"))) inline void CopyBytesSSE2(uint8_t* d, const uint8_t* s, size_t n) {
    if (n < 16) {
        CopyBytesShort<16>(d, s, n);
        return;
    }
    size_t i = 0;
    for (; i + 16 <= n; i += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)));
    if (i < n)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + n - 16),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + n - 16)));
}

__attribute__((target("avx2"))) inline void CopyBytesAVX2(uint8_t* d, const uint8_t* s, size_t n) {
    if (n < 32) {
        CopyBytesSSE2(d, s, n);
        return;
    }
    size_t i = 0;
    for (; i + 32 <= n; i += 32)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i),
                            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i)));
    if (i < n)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + n - 32),
                            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + n - 32)));
}

inline void CopyBytesLibrary(uint8_t* d, const uint8_t* s, size_t n) {
    std::memcpy(d, s, n);
}

#define GAME_COPY_RUNS(Name, Copy, ...)                                                      \
    __VA_ARGS__ void Name(Rows dst, ConstRows src, RunTable t, int left, int top, int right, \
                          int bottom, int bpp) {                                             \
        for (int y = top; y < bottom; ++y) {                                                 \
            uint8_t* d = dst.pixels + static_cast<ptrdiff_t>(y - top) * dst.pitch;           \
            const uint8_t* row = src.pixels + static_cast<ptrdiff_t>(y) * src.pitch;         \
            for (uint32_t i = t.rowRuns[y], end = t.rowRuns[y + 1]; i < end; ++i) {          \
                int a = static_cast<int>(t.runs[i] & 0xFFFF);                                \
                int b = a + static_cast<int>(t.runs[i] >> 16);                               \
                if (b <= left)                                                               \
                    continue;                                                                \
                if (a >= right)                                                              \
                    break;                                                                   \
                a = a < left ? left : a;                                                     \
                b = b > right ? right : b;                                                   \
                Copy(d + (a - left) * bpp, row + a * bpp, static_cast<size_t>(b - a) * bpp); \
            }                                                                                \
        }                                                                                    \
    }

GAME_COPY_RUNS(CopyRunsScalar, CopyBytesLibrary)
GAME_COPY_RUNS(CopyRunsSSE2, CopyBytesSSE2, __attribute__((target("sse2"))))
GAME_COPY_RUNS(CopyRunsAVX2, CopyBytesAVX2, __attribute__((target("avx2"))))
#undef GAME_COPY_RUNS

}  // namespace

void CopyRuns(Isa isa, Rows dst, ConstRows src, RunTable table, int left, int top, int right,
              int bottom, int bpp) {
    switch (Supported(isa)) {
        case Isa::AVX2:
            CopyRunsAVX2(dst, src, table, left, top, right, bottom, bpp);
            return;
        case Isa::SSE2:
            CopyRunsSSE2(dst, src, table, left, top, right, bottom, bpp);
            return;
        case Isa::Scalar:
            break;
    }
    CopyRunsScalar(dst, src, table, left, top, right, bottom, bpp);
}

void CopyRuns(Rows dst, ConstRows src, RunTable table, int left, int top, int right, int bottom,
              int bpp) {
    CopyRuns(activeIsa, dst, src, table, left, top, right, bottom, bpp);
}

Isa DetectIsa() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return Isa::AVX2;
    if (__builtin_cpu_supports("sse2"))
        return Isa::SSE2;
    return Isa::Scalar;
}

Isa ActiveIsa() {
    return activeIsa;
}

Isa ForceIsa(Isa isa) {
    activeIsa = Supported(isa);
    return activeIsa;
}

void Fill(Isa isa, Rows dst, int width, int height, int bpp, uint32_t value) {
    if (width <= 0 || height <= 0)
        return;
    isa = Supported(isa);
    Merge(width, height, bpp, dst.pitch, dst.pitch);
    for (int y = 0; y < height; ++y)
        FillRow(isa, dst.pixels + static_cast<ptrdiff_t>(y) * dst.pitch, width, bpp, value);
}

void Fill(Rows dst, int width, int height, int bpp, uint32_t value) {
    Fill(activeIsa, dst, width, height, bpp, value);
}

void Copy(Rows dst, ConstRows src, int width, int height, int bpp) {
    if (width <= 0 || height <= 0)
        return;
    Merge(width, height, bpp, dst.pitch, src.pitch);
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(bpp);
    for (int y = 0; y < height; ++y)
        std::memcpy(dst.pixels + static_cast<ptrdiff_t>(y) * dst.pitch,
                    src.pixels + static_cast<ptrdiff_t>(y) * src.pitch, bytes);
}

void CopyKeySrc(Isa isa, Rows dst, ConstRows src, int width, int height, int bpp, uint32_t key) {
    if (width <= 0 || height <= 0)
        return;
    Merge(width, height, bpp, dst.pitch, src.pitch);
    KeySrcRect(Supported(isa), bpp)(dst, src, width * bpp, height, key);
}

void CopyKeySrc(Rows dst, ConstRows src, int width, int height, int bpp, uint32_t key) {
    CopyKeySrc(activeIsa, dst, src, width, height, bpp, key);
}

void CopyKeyDest(Isa isa, Rows dst, ConstRows src, int width, int height, int bpp, uint32_t key) {
    if (width <= 0 || height <= 0)
        return;
    Merge(width, height, bpp, dst.pitch, src.pitch);
    KeyDestRect(Supported(isa), bpp)(dst, src, width * bpp, height, key);
}

void CopyKeyDest(Rows dst, ConstRows src, int width, int height, int bpp, uint32_t key) {
    CopyKeyDest(activeIsa, dst, src, width, height, bpp, key);
}

}  // namespace platform::blit
