// Pixel formats and conversions shared by the surfaces, GDI and the backends.
#pragma once

#include "platform/backend.h"

namespace platform {

// A writable rectangle of pixels (a surface's memory, a bitmap's).
struct PixelBuffer {
    void* pixels;  // first pixel
    int pitch;     // bytes from one row to the next
    int width;
    int height;
    PixelKind kind;
};

// Convert a rectangle of pixels to 32-bit XRGB8888 (the window's format). The 5-6-5 and
// 5-5-5 paths replicate the high bits into the low ones, so full intensity stays 255.
// Pal8 uses a grey ramp (the emulated display has no palette).
void ConvertToXRGB8888(const PixelView& src, uint32_t* dst, int dstPitchBytes);

// Scalar reference of the same conversion (tests compare the fast paths against it).
void ConvertToXRGB8888Scalar(const PixelView& src, uint32_t* dst, int dstPitchBytes);

// The raw pixel value of COLORREF-style red, green and blue in a format.
uint32_t PackRGB(PixelKind kind, uint8_t r, uint8_t g, uint8_t b);
// And back: the 8-bit components of a raw pixel value.
void UnpackRGB(PixelKind kind, uint32_t pixel, uint8_t* r, uint8_t* g, uint8_t* b);

}  // namespace platform
