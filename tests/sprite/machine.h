// A software display for sprite tests: DirectDraw on the headless machine, a 640 x 480
// 5-6-5 back buffer, and the DisplayContext fields the sprite layer reads.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "directx/display.h"
#include "platform/backend.h"
#include "platform/base.h"
#include "platform/ddraw.h"
#include "platform/soft/ddraw/pixels.h"
#include "platform/win.h"
#include "sprite/sprite.h"

class SpriteMachine : public ::testing::Test {
public:
    static constexpr uint32_t kKey = 0xF81F;  // magenta in 5-6-5

    void SetUp() override {
        StartMachine();
        // Sprite surfaces come from the display layer's factory.
        IDirectDrawSurface4* probe = CreateSpriteSurface(1, 1, 0);
        if (!probe)
            GTEST_SKIP() << "CreateSpriteSurface makes no surfaces in this build";
        probe->Release();
    }
    void TearDown() override { StopMachine(); }

    static void StartMachine() {
        platform::UseHeadlessBackend(640, 480);
        ASSERT_EQ(DirectDrawCreate(nullptr, &DisplayContext.directDraw, nullptr), DD_OK);
        ASSERT_EQ(DisplayContext.directDraw->QueryInterface(
                      IID_IDirectDraw4, reinterpret_cast<void**>(&DisplayContext.directDraw4)),
                  DD_OK);
        DisplayContext.width = 640;
        DisplayContext.height = 480;
        DisplayContext.bitsPerPixel = 16;
        DisplayContext.colorKey = kKey;
        DisplayContext.backBuffer = MakeSurface(640, 480);
        ASSERT_NE(DisplayContext.backBuffer, nullptr);
        ClearBackBuffer(0);
    }

    static void StopMachine() {
        platform::ResetHooks();
        if (DisplayContext.backBuffer)
            DisplayContext.backBuffer->Release();
        if (DisplayContext.directDraw4)
            DisplayContext.directDraw4->Release();
        if (DisplayContext.directDraw)
            DisplayContext.directDraw->Release();
        DisplayContext = DisplayContextRecord{};
    }

    static IDirectDrawSurface4* MakeSurface(unsigned width, unsigned height) {
        DDSURFACEDESC2 desc;
        std::memset(&desc, 0, sizeof desc);
        desc.dwSize = kSurfaceDescSize;
        desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        desc.dwWidth = width;
        desc.dwHeight = height;
        desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
        IDirectDrawSurface4* s = nullptr;
        if (DisplayContext.directDraw4->CreateSurface(&desc, &s, nullptr) != DD_OK)
            return nullptr;
        return s;
    }

    static void ClearBackBuffer(uint32_t colour) {
        DDBLTFX fx;
        std::memset(&fx, 0, sizeof fx);
        fx.dwSize = sizeof fx;
        fx.dwFillColor = colour;
        ASSERT_EQ(DisplayContext.backBuffer->Blt(nullptr, nullptr, nullptr,
                                                 DDBLT_COLORFILL | DDBLT_WAIT, &fx),
                  DD_OK);
    }

    // Fills a rectangle of a surface (exclusive right and bottom) with one pixel value.
    static void FillRect(IDirectDrawSurface4* s, RECT r, uint32_t colour) {
        DDBLTFX fx;
        std::memset(&fx, 0, sizeof fx);
        fx.dwSize = sizeof fx;
        fx.dwFillColor = colour;
        ASSERT_EQ(s->Blt(&r, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
    }

    static uint32_t Pixel(IDirectDrawSurface4* s, int x, int y) {
        platform::PixelBuffer buf{};
        EXPECT_TRUE(platform::GetPixelBuffer(s, &buf));
        const uint8_t* row = static_cast<const uint8_t*>(buf.pixels) + y * buf.pitch;
        uint16_t v;
        std::memcpy(&v, row + 2 * x, 2);
        return v;
    }

    static uint32_t Back(int x, int y) { return Pixel(DisplayContext.backBuffer, x, y); }

    // Surface references still held elsewhere: take one and give it back.
    static ULONG OtherRefs(IDirectDrawSurface4* s) {
        s->AddRef();
        return s->Release();
    }
};
