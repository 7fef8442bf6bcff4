// Helpers for the DirectDraw tests: a device, surfaces of any format, random pixels and
// reading pixels back.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "platform/ddraw.h"
#include "platform/soft/ddraw/ddraw_internal.h"

namespace ddtest {

using platform::PixelKind;

inline constexpr PixelKind kAllKinds[] = {PixelKind::Pal8, PixelKind::RGB555, PixelKind::RGB565,
                                          PixelKind::XRGB8888};

inline const char* KindName(PixelKind k) {
    switch (k) {
        case PixelKind::Pal8:
            return "Pal8";
        case PixelKind::RGB555:
            return "RGB555";
        case PixelKind::RGB565:
            return "RGB565";
        case PixelKind::XRGB8888:
            return "XRGB8888";
    }
    return "?";
}

// The default device with its IDirectDraw4 face.
struct Device {
    IDirectDraw* dd = nullptr;
    IDirectDraw4* dd4 = nullptr;
    Device() {
        EXPECT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
        if (dd) {
            EXPECT_EQ(dd->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&dd4)), DD_OK);
        }
    }
    ~Device() {
        if (dd4)
            dd4->Release();
        if (dd)
            dd->Release();
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
};

inline DDSURFACEDESC2 OffscreenDesc(int width, int height) {
    DDSURFACEDESC2 d{};
    d.dwSize = kSurfaceDescSize;
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    d.dwWidth = static_cast<DWORD>(width);
    d.dwHeight = static_cast<DWORD>(height);
    d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    return d;
}

// An off-screen surface in `kind` (given explicitly, whatever the display's format).
inline IDirectDrawSurface4* MakeSurface(IDirectDraw4* dd4, int width, int height, PixelKind kind) {
    DDSURFACEDESC2 d = OffscreenDesc(width, height);
    d.dwFlags |= DDSD_PIXELFORMAT;
    platform::DescribePixelFormat(kind, &d.ddpfPixelFormat);
    IDirectDrawSurface4* s = nullptr;
    EXPECT_EQ(dd4->CreateSurface(&d, &s, nullptr), DD_OK);
    return s;
}

inline IDirectDrawSurface4* MakePrimary(IDirectDraw4* dd4) {
    DDSURFACEDESC2 d{};
    d.dwSize = kSurfaceDescSize;
    d.dwFlags = DDSD_CAPS;
    d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    IDirectDrawSurface4* s = nullptr;
    EXPECT_EQ(dd4->CreateSurface(&d, &s, nullptr), DD_OK);
    return s;
}

// A popup window for clippers to be bound to (its class registered on first use), destroyed
// with the object: the platform has one window at a time.
struct TestWindow {
    HWND hwnd;
    TestWindow(int x, int y, int width, int height) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "DirectDraw Test";
        RegisterClassA(&wc);
        hwnd = CreateWindowExA(0, "DirectDraw Test", "t", WS_POPUP, x, y, width, height, nullptr,
                               nullptr, nullptr, nullptr);
        EXPECT_NE(hwnd, nullptr);
    }
    ~TestWindow() { DestroyWindow(hwnd); }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
};

inline platform::PixelBuffer Pixels(IDirectDrawSurface4* s) {
    platform::PixelBuffer b{};
    EXPECT_TRUE(platform::GetPixelBuffer(s, &b));
    return b;
}

inline uint32_t Get(const platform::PixelBuffer& b, int x, int y) {
    const uint8_t* p = static_cast<const uint8_t*>(b.pixels) + y * b.pitch;
    switch (platform::BytesPerPixel(b.kind)) {
        case 1:
            return p[x];
        case 2:
            return reinterpret_cast<const uint16_t*>(p)[x];
        default:
            return reinterpret_cast<const uint32_t*>(p)[x];
    }
}

inline void Put(const platform::PixelBuffer& b, int x, int y, uint32_t v) {
    uint8_t* p = static_cast<uint8_t*>(b.pixels) + y * b.pitch;
    switch (platform::BytesPerPixel(b.kind)) {
        case 1:
            p[x] = static_cast<uint8_t>(v);
            break;
        case 2:
            reinterpret_cast<uint16_t*>(p)[x] = static_cast<uint16_t>(v);
            break;
        default:
            reinterpret_cast<uint32_t*>(p)[x] = v;
            break;
    }
}

inline uint32_t Mask(PixelKind k) {
    const int bpp = platform::BytesPerPixel(k);
    return bpp == 4 ? 0xFFFFFFFFu : (1u << (8 * bpp)) - 1;
}

// Random pixels in which `key` is common (about one in three).
inline void Randomise(const platform::PixelBuffer& b, std::mt19937& rng, uint32_t key) {
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
            Put(b, x, y, rng() % 3 == 0 ? key : (rng() & Mask(b.kind)));
}

// Every pixel of a surface, row by row, for whole-surface comparisons.
inline std::vector<uint32_t> Snapshot(IDirectDrawSurface4* s) {
    const platform::PixelBuffer b = Pixels(s);
    std::vector<uint32_t> out;
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
            out.push_back(Get(b, x, y));
    return out;
}

}  // namespace ddtest
