// The application's own frame work on the headless window system, beside the memory floor
// of a frame: Render3DFrame with the ship (as the application makes its device, and again on
// a device made with a 16-bit depth buffer), a whole AppFrame, and two memsets and one memcpy
// of one 640 x 480 16-bit buffer (the least a frame that clears, composes and copies out can
// cost).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "app/frame.h"
#include "directx/display.h"
#include "platform/ddraw.h"
#include "support/instructions.h"
#include "support/scenes.h"

namespace {

// While it lives, the application's 3D device is one made the application's way
// (CreateDirect3DDevice) on its back buffer with a 16-bit depth buffer attached first, so it
// tests depth; the application's own device, viewport, material and light come back after.
class DepthDevice {
public:
    DepthDevice() {
        DDSURFACEDESC2 d{};
        d.dwSize = kSurfaceDescSize;
        d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
        d.dwWidth = DisplayContext.width;
        d.dwHeight = DisplayContext.height;
        d.ddsCaps.dwCaps = DDSCAPS_ZBUFFER;
        d.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
        d.ddpfPixelFormat.dwFlags = DDPF_ZBUFFER;
        d.ddpfPixelFormat.dwZBufferBitDepth = 16;
        d.ddpfPixelFormat.dwZBitMask = 0xFFFF;
        if (DisplayContext.directDraw4->CreateSurface(&d, &depth_, nullptr) != DD_OK ||
            DisplayContext.backBuffer->AddAttachedSurface(depth_) != DD_OK)
            return;
        attached_ = true;
        DisplayContext.direct3D = nullptr;
        DisplayContext.device = nullptr;
        DisplayContext.viewport = nullptr;
        DisplayContext.material = nullptr;
        sceneLight = nullptr;
        ok_ = CreateDirect3DDevice(0, 0, DisplayContext.width, DisplayContext.height) != 0 &&
              DisplayContext.material && sceneLight;
    }
    ~DepthDevice() {
        if (attached_) {
            for (IUnknown* made : {static_cast<IUnknown*>(sceneLight),
                                   static_cast<IUnknown*>(DisplayContext.material),
                                   static_cast<IUnknown*>(DisplayContext.device),
                                   static_cast<IUnknown*>(DisplayContext.viewport),
                                   static_cast<IUnknown*>(DisplayContext.direct3D)})
                if (made)
                    made->Release();
            sceneLight = saved_.light;
            DisplayContext.material = saved_.material;
            DisplayContext.device = saved_.device;
            DisplayContext.viewport = saved_.viewport;
            DisplayContext.direct3D = saved_.direct3D;
            DisplayContext.backBuffer->DeleteAttachedSurface(0, depth_);
        }
        if (depth_)
            depth_->Release();
    }
    bool ok() const { return ok_; }

private:
    struct Saved {
        IDirect3D3* direct3D = DisplayContext.direct3D;
        IDirect3DDevice3* device = DisplayContext.device;
        IDirect3DViewport3* viewport = DisplayContext.viewport;
        IDirect3DMaterial3* material = DisplayContext.material;
        IDirect3DLight* light = sceneLight;
    } saved_;
    IDirectDrawSurface4* depth_ = nullptr;
    bool attached_ = false;
    bool ok_ = false;
};

// Pixels of the back buffer that are not black: the frame really drew the ship.
double DrawnPixels() {
    platform::PixelBuffer b{};
    platform::GetPixelBuffer(DisplayContext.backBuffer, &b);
    size_t drawn = 0;
    for (int y = 0; y < b.height; ++y) {
        const auto* row =
            reinterpret_cast<const uint16_t*>(static_cast<const uint8_t*>(b.pixels) + y * b.pitch);
        for (int x = 0; x < b.width; ++x)
            drawn += row[x] != 0;
    }
    return static_cast<double>(drawn);
}

void BM_AppRender3DShip(benchmark::State& state) {
    if (!bench::StartApplication()) {
        state.SkipWithError("the application did not start");
        return;
    }
    for (auto _ : state) {
        Render3DFrame();
        benchmark::ClobberMemory();
    }
    bench::CountInstructions("app/render3d_ship", [] { Render3DFrame(); });
    state.counters["pixels"] = DrawnPixels();
}

// The same frame with the depth buffer cleared to the far plane before it.
void BM_AppRender3DShipDepth(benchmark::State& state) {
    if (!bench::StartApplication()) {
        state.SkipWithError("the application did not start");
        return;
    }
    DepthDevice depth;
    if (!depth.ok()) {
        state.SkipWithError("no device with a depth buffer");
        return;
    }
    auto frame = [] {
        DisplayContext.viewport->Clear2(1, &DisplayContext.viewportClearRect, D3DCLEAR_ZBUFFER, 0,
                                        1.0f, 0);
        Render3DFrame();
    };
    for (auto _ : state) {
        frame();
        benchmark::ClobberMemory();
    }
    bench::CountInstructions("app/render3d_ship_depth", frame);
    state.counters["pixels"] = DrawnPixels();
}

void BM_AppFrame(benchmark::State& state) {
    if (!bench::StartApplication()) {
        state.SkipWithError("the application did not start");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(AppFrame());
    bench::CountInstructions("app/frame", [] { AppFrame(); });
}

void BM_FrameMemoryFloor(benchmark::State& state) {
    const size_t bytes = 640 * 480 * 2;
    std::vector<uint8_t> back(bytes, 1), screen(bytes, 2);
    for (auto _ : state) {
        std::memset(back.data(), 0, bytes);              // the scene's clear
        std::memcpy(screen.data(), back.data(), bytes);  // out to the screen
        std::memset(back.data(), 0, bytes);              // the clear for the next frame
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_AppRender3DShip)->Name("app/render3d_ship")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AppRender3DShipDepth)->Name("app/render3d_ship_depth")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AppFrame)->Name("app/frame")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameMemoryFloor)->Name("floor/frame")->Unit(benchmark::kMicrosecond);

}  // namespace
