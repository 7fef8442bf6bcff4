// The overlay's share of a frame (gauges, crosshair and caption listed and blitted onto a
// 640 x 480 16-bit back buffer) and the rendering of a caption from a font strip.
#include <benchmark/benchmark.h>

#include <cstring>

#include "directx/display.h"
#include "platform/backend.h"
#include "platform/ddraw.h"
#include "resources/resource_ids.h"
#include "sprite/overlay.h"
#include "sprite/sprite.h"

namespace {

// A headless 640 x 480 5-6-5 display with a back buffer, as the display set-up leaves it.
struct OverlayDisplay {
    OverlayDisplay() {
        platform::UseHeadlessBackend(640, 480);
        DirectDrawCreate(nullptr, &DisplayContext.directDraw, nullptr);
        DisplayContext.directDraw->QueryInterface(
            IID_IDirectDraw4, reinterpret_cast<void**>(&DisplayContext.directDraw4));
        DisplayContext.width = 640;
        DisplayContext.height = 480;
        DisplayContext.bitsPerPixel = 16;
        DisplayContext.colorKey = platform::PackRGB(platform::PixelKind::RGB565, 255, 0, 255);
        DDSURFACEDESC2 desc;
        std::memset(&desc, 0, sizeof desc);
        desc.dwSize = kSurfaceDescSize;
        desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        desc.dwWidth = 640;
        desc.dwHeight = 480;
        desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
        DisplayContext.directDraw4->CreateSurface(&desc, &DisplayContext.backBuffer, nullptr);
    }
    ~OverlayDisplay() {
        DisplayContext.backBuffer->Release();
        DisplayContext.directDraw4->Release();
        DisplayContext.directDraw->Release();
        DisplayContext = DisplayContextRecord{};
    }
};

void BM_OverlayFrame(benchmark::State& state) {
    OverlayDisplay display;
    CreateOverlay();
    for (auto _ : state) {
        UpdateOverlay();
        DrawDisplayList();
    }
    DestroyOverlay();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OverlayFrame);

void BM_RenderText(benchmark::State& state) {
    OverlayDisplay display;
    FontSprite font(IDB_FONT_7X12, 7, 11);
    for (auto _ : state) {
        Sprite* text = font.RenderText("TESTING", 320, 440, 7, 1);
        benchmark::DoNotOptimize(text);
        delete text;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RenderText);

}  // namespace
