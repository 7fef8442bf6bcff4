// Whole 3D frames through the software device, as the application renders them: Clear2,
// BeginScene, SetTransform VIEW and WORLD, DrawPrimitive, EndScene, into a 640 x 480 5-6-5
// target. Closed sphere-like meshes about 100 units across at the origin, seen from the
// application's camera and lit by its light: ~666 faces (the ship's budget), ~10,000 and
// ~100,000 faces.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/d3d.h"
#include "support/instructions.h"
#include "support/scenes.h"

namespace {

// The back buffer: a 640 x 480 5-6-5 surface made for 3D by the platform's DirectDraw.
class BackBuffer {
public:
    BackBuffer() {
        DirectDrawCreate(nullptr, &dd_, nullptr);
        dd_->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&dd4_));
        DDSURFACEDESC2 d{};
        d.dwSize = kSurfaceDescSize;
        d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
        d.dwWidth = 640;
        d.dwHeight = 480;
        d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
        d.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
        d.ddpfPixelFormat.dwFlags = DDPF_RGB;
        d.ddpfPixelFormat.dwRGBBitCount = 16;
        d.ddpfPixelFormat.dwRBitMask = 0xF800;
        d.ddpfPixelFormat.dwGBitMask = 0x07E0;
        d.ddpfPixelFormat.dwBBitMask = 0x001F;
        dd4_->CreateSurface(&d, &surface_, nullptr);
    }
    ~BackBuffer() {
        surface_->Release();
        dd4_->Release();
        dd_->Release();
    }
    IDirectDraw* dd() const { return dd_; }
    IDirectDrawSurface4* get() const { return surface_; }
    // Pixels that are not black: a check that the frame really drew.
    double Drawn() const {
        platform::PixelBuffer b{};
        platform::GetPixelBuffer(surface_, &b);
        int n = 0;
        for (int y = 0; y < b.height; ++y) {
            auto* row = reinterpret_cast<const uint16_t*>(static_cast<const uint8_t*>(b.pixels) +
                                                          y * b.pitch);
            n += static_cast<int>(b.width - std::count(row, row + b.width, 0));
        }
        return n;
    }

private:
    IDirectDraw* dd_ = nullptr;
    IDirectDraw4* dd4_ = nullptr;
    IDirectDrawSurface4* surface_ = nullptr;
};

struct Scene {
    BackBuffer surface;
    IDirect3D3* d3d = nullptr;
    IDirect3DDevice3* device = nullptr;
    IDirect3DViewport3* viewport = nullptr;
    IDirect3DMaterial3* material = nullptr;
    IDirect3DLight* light = nullptr;
    D3DRECT clearRect{0, 0, 639, 479};
    D3DMATRIX view{}, world{};

    Scene() {
        surface.dd()->QueryInterface(IID_IDirect3D3, reinterpret_cast<void**>(&d3d));
        d3d->CreateDevice(IID_IDirect3DRGBDevice, surface.get(), &device, nullptr);
        device->SetRenderState(D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD);
        d3d->CreateViewport(&viewport, nullptr);
        device->AddViewport(viewport);
        D3DVIEWPORT2 vp{44, 0, 0, 640, 480, -1.0f, 1.3333334f, 2.0f, 2.6666667f, 0.0f, 1.0f};
        viewport->SetViewport2(&vp);
        device->SetCurrentViewport(viewport);
        d3d->CreateMaterial(&material, nullptr);
        D3DMATERIAL m{};
        m.dwSize = 80;
        m.diffuse = {0.5f, 0, 0.5f, 1};
        m.ambient = {0.5f, 0, 0.5f, 1};
        m.specular = {1, 1, 1, 1};
        m.power = 50;
        material->SetMaterial(&m);
        D3DMATERIALHANDLE h = 0;
        material->GetHandle(device, &h);
        device->SetLightState(D3DLIGHTSTATE_MATERIAL, h);
        device->SetLightState(D3DLIGHTSTATE_AMBIENT, 0xFFFFFFFF);
        d3d->CreateLight(&light, nullptr);
        D3DLIGHT2 l{};
        l.dwSize = 80;
        l.dltType = D3DLIGHT_POINT;
        l.dcvColor = {1, 1, 1, 0};
        l.dvPosition = {0, 100, 100};
        l.dvRange = D3DLIGHT_RANGE_MAX;
        l.dvAttenuation0 = 1;
        l.dwFlags = D3DLIGHT_ACTIVE;
        light->SetLight(&l);
        viewport->AddLight(light);
        D3DMATRIX proj{};
        proj._11 = 2, proj._22 = 2, proj._33 = 1.0526316f, proj._34 = 1, proj._43 = -52.631580f;
        device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &proj);
        view = bench::SphereView();
        world._11 = world._22 = world._33 = world._44 = 1;
    }
    ~Scene() {
        light->Release();
        material->Release();
        device->Release();
        viewport->Release();
        d3d->Release();
    }

    // One frame; triangle lists longer than one call takes go in batches.
    void Frame(std::vector<D3DVERTEX>& mesh) {
        viewport->Clear2(1, &clearRect, D3DCLEAR_TARGET, 0, 0.0f, 0);
        device->BeginScene();
        device->SetTransform(D3DTRANSFORMSTATE_VIEW, &view);
        device->SetTransform(D3DTRANSFORMSTATE_WORLD, &world);
        const size_t batch = 65535;
        for (size_t at = 0; at < mesh.size(); at += batch) {
            DWORD n = static_cast<DWORD>(std::min(batch, mesh.size() - at));
            device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, &mesh[at], n, D3DDP_WAIT);
        }
        device->EndScene();
    }
};

void RunFrames(benchmark::State& state, const char* name, int slices, int stacks) {
    Scene scene;
    std::vector<D3DVERTEX> mesh = bench::Sphere(slices, stacks);
    for (auto _ : state) {
        scene.Frame(mesh);
        benchmark::ClobberMemory();
    }
    bench::CountInstructions(name, [&] { scene.Frame(mesh); });
    state.counters["faces"] = static_cast<double>(mesh.size() / 3);
    state.counters["pixels"] = scene.surface.Drawn();
}

void BM_D3DFrame_Ship666(benchmark::State& state) {
    RunFrames(state, "BM_D3DFrame_Ship666", 21, 17);  // 672 faces
}
void BM_D3DFrame_Sphere10k(benchmark::State& state) {
    RunFrames(state, "BM_D3DFrame_Sphere10k", 71, 71);  // 9,940 faces
}
void BM_D3DFrame_Sphere100k(benchmark::State& state) {
    RunFrames(state, "BM_D3DFrame_Sphere100k", 224, 224);  // 99,904 faces
}
void BM_D3DClearOnly(benchmark::State& state) {
    Scene scene;
    std::vector<D3DVERTEX> none;
    std::vector<D3DVERTEX> one = bench::Sphere(21, 17);
    scene.Frame(one);
    for (auto _ : state) {
        scene.Frame(none);
        benchmark::ClobberMemory();
    }
    state.counters["pixels"] = scene.surface.Drawn();  // 0 once cleared
}

BENCHMARK(BM_D3DFrame_Ship666)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_D3DFrame_Sphere10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_D3DFrame_Sphere100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_D3DClearOnly)->Unit(benchmark::kMillisecond);

}  // namespace
