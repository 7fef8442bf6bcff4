// The software blitter behind DirectDraw surfaces and presentation: colour fills, copies,
// colour-keyed copies (blit.cpp) and the conversion of 16-bit pixels to the window's
// XRGB8888 (convert.cpp).
//
// Every kernel exists as a plain scalar reference and in vector versions (SSE2, AVX2)
// chosen once at run time from what the processor supports. Tests force each path in turn
// and compare it with the scalar one.
#pragma once

#include <cstdint>

namespace platform::blit {

enum class Isa : uint8_t { Scalar, SSE2, AVX2 };

// The best path this processor supports.
Isa DetectIsa();
// The path in use (DetectIsa() unless a test forced another).
Isa ActiveIsa();
// Use `isa` from now on; a path the processor cannot run falls back to the best it can.
// Returns the path actually selected.
Isa ForceIsa(Isa isa);
// `wanted` where the processor runs it, else the best path it has.
Isa Supported(Isa wanted);

// Rectangles of pixels: `width` pixels of `bpp` bytes (1, 2 or 4) on `height` rows.
struct Rows {
    uint8_t* pixels;
    int pitch;
};
struct ConstRows {
    const uint8_t* pixels;
    int pitch;
};

// Every pixel of the rectangle becomes `value` (its low `bpp` bytes).
void Fill(Rows dst, int width, int height, int bpp, uint32_t value);
// Plain copy; source and destination must not overlap.
void Copy(Rows dst, ConstRows src, int width, int height, int bpp);
// Copy the source pixels that differ from `key`; source and destination must not overlap.
void CopyKeySrc(Rows dst, ConstRows src, int width, int height, int bpp, uint32_t key);
// Copy the source pixels whose destination pixel equals `key`; no overlap either.
void CopyKeyDest(Rows dst, ConstRows src, int width, int height, int bpp, uint32_t key);

// Copy runs of pixels listed per source row: for row y in [top, bottom) the runs
// runs[rowRuns[y]] to runs[rowRuns[y + 1] - 1], each packed as start | length << 16 in
// pixels and sorted by start. Only the parts inside columns [left, right) are copied; `dst`
// is where source pixel (left, top) goes.
struct RunTable {
    const uint32_t* runs;
    const uint32_t* rowRuns;
};
void CopyRuns(Rows dst, ConstRows src, RunTable table, int left, int top, int right, int bottom,
              int bpp);
void CopyRuns(Isa isa, Rows dst, ConstRows src, RunTable table, int left, int top, int right,
              int bottom, int bpp);

// 5-6-5 or 5-5-5 rows to XRGB8888, top bits replicated into the low ones.
void Convert565(uint32_t* dst, int dstPitch, ConstRows src, int width, int height);
void Convert555(uint32_t* dst, int dstPitch, ConstRows src, int width, int height);

// The same operations on an explicit path (tests and benchmarks compare them).
void Fill(Isa isa, Rows dst, int width, int height, int bpp, uint32_t value);
void CopyKeySrc(Isa isa, Rows dst, ConstRows src, int width, int height, int bpp, uint32_t key);
void CopyKeyDest(Isa isa, Rows dst, ConstRows src, int width, int height, int bpp, uint32_t key);
void Convert565(Isa isa, uint32_t* dst, int dstPitch, ConstRows src, int width, int height);
void Convert555(Isa isa, uint32_t* dst, int dstPitch, ConstRows src, int width, int height);

}  // namespace platform::blit
