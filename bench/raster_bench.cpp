// Whole 3D frames through the software device, as the application renders them: Clear2,
// BeginScene, SetTransform VIEW and WORLD, DrawPrimitive, EndScene, into a 640 x 480 5-6-5
// target. Closed sphere-like meshes about 100 units across at the origin, seen from the
// application's camera and lit by its light: ~666 faces (the ship's budget), ~10,000 and
// ~100,000 faces. The 99,904-face sphere is also drawn with a 16-bit depth buffer (cleared
// with the target every frame, the depth test on) and as an indexed list (DrawIndexedPrimitive
// over the shared grid points) beside the expanded list.
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
        if (depth_) {
            surface_->DeleteAttachedSurface(0, depth_);
            depth_->Release();
        }
        surface_->Release();
        dd4_->Release();
        dd_->Release();
    }
    // A 16-bit depth buffer of the same size attached to the surface, as a device made
    // afterwards takes it. False when either call failed.
    bool AttachDepth() {
        DDSURFACEDESC2 d{};
        d.dwSize = kSurfaceDescSize;
        d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
        d.dwWidth = 640;
        d.dwHeight = 480;
        d.ddsCaps.dwCaps = DDSCAPS_ZBUFFER;
        d.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
        d.ddpfPixelFormat.dwFlags = DDPF_ZBUFFER;
        d.ddpfPixelFormat.dwZBufferBitDepth = 16;
        d.ddpfPixelFormat.dwZBitMask = 0xFFFF;
        return dd4_->CreateSurface(&d, &depth_, nullptr) == DD_OK &&
               surface_->AddAttachedSurface(depth_) == DD_OK;
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
    IDirectDrawSurface4* depth_ = nullptr;
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
    DWORD clearFlags = D3DCLEAR_TARGET;
    bool ready = true;

    // With `depth` the back buffer gets a 16-bit depth buffer before the device is made, so
    // the device tests depth, and every frame clears it to the far plane.
    explicit Scene(bool depth = false) {
        if (depth) {
            ready = surface.AttachDepth();
            clearFlags |= D3DCLEAR_ZBUFFER;
        }
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
        light->SetLight(reinterpret_cast<D3DLIGHT*>(&l));
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

    // One frame; triangle lists longer than one call takes go in batches. True when every
    // call succeeded.
    bool Frame(std::vector<D3DVERTEX>& mesh) {
        bool ok = Begin();
        for (size_t at = 0; at < mesh.size(); at += kBatch) {
            DWORD n = static_cast<DWORD>(std::min(kBatch, mesh.size() - at));
            ok &= device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, &mesh[at], n,
                                        D3DDP_WAIT) == D3D_OK;
        }
        return (device->EndScene() == D3D_OK) & ok;
    }
    // The same frame drawn from a vertex array and its indices, in calls of at most 65,535
    // indices (whole triangles), each over the whole array.
    bool Frame(bench::IndexedMesh& mesh) {
        bool ok = Begin();
        const DWORD vertices = static_cast<DWORD>(mesh.vertices.size());
        for (size_t at = 0; at < mesh.indices.size(); at += kBatch) {
            DWORD n = static_cast<DWORD>(std::min(kBatch, mesh.indices.size() - at));
            ok &= device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX,
                                               mesh.vertices.data(), vertices, &mesh.indices[at], n,
                                               D3DDP_WAIT) == D3D_OK;
        }
        return (device->EndScene() == D3D_OK) & ok;
    }

private:
    static constexpr size_t kBatch = 65535;  // a multiple of 3
    bool Begin() {
        bool ok = viewport->Clear2(1, &clearRect, clearFlags, 0, 1.0f, 0) == D3D_OK;
        ok &= device->BeginScene() == D3D_OK;
        device->SetTransform(D3DTRANSFORMSTATE_VIEW, &view);
        device->SetTransform(D3DTRANSFORMSTATE_WORLD, &world);
        return ok;
    }
};

size_t Faces(const std::vector<D3DVERTEX>& list) {
    return list.size() / 3;
}
size_t Faces(const bench::IndexedMesh& mesh) {
    return mesh.indices.size() / 3;
}

// Frames of `mesh` (a list or an indexed mesh), with or without a depth buffer. A frame whose
// calls fail (a device without depth buffers or indexed drawing) is reported as an error, not
// timed.
template <class Mesh>
void RunFrames(benchmark::State& state, const char* name, Mesh mesh, bool depth = false) {
    Scene scene(depth);
    if (!scene.ready || !scene.Frame(mesh)) {
        state.SkipWithError("the device refused the frame");
        return;
    }
    for (auto _ : state) {
        scene.Frame(mesh);
        benchmark::ClobberMemory();
    }
    bench::CountInstructions(name, [&] { scene.Frame(mesh); });
    state.counters["faces"] = static_cast<double>(Faces(mesh));
    state.counters["pixels"] = scene.surface.Drawn();
}

void BM_D3DFrame_Ship666(benchmark::State& state) {
    RunFrames(state, "BM_D3DFrame_Ship666", bench::Sphere(21, 17));  // 672 faces
}
void BM_D3DFrame_Sphere10k(benchmark::State& state) {
    RunFrames(state, "BM_D3DFrame_Sphere10k", bench::Sphere(71, 71));  // 9,940 faces
}
void BM_D3DFrame_Sphere100k(benchmark::State& state) {
    RunFrames(state, "BM_D3DFrame_Sphere100k", bench::Sphere(224, 224));  // 99,904 faces
}
void BM_D3DFrame_Sphere100kDepth(benchmark::State& state) {
    RunFrames(state, "BM_D3DFrame_Sphere100kDepth", bench::Sphere(224, 224), true);
}
void BM_D3DFrame_Sphere100kIndexed(benchmark::State& state) {
    RunFrames(state, "BM_D3DFrame_Sphere100kIndexed", bench::IndexedSphere(224, 224));
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
BENCHMARK(BM_D3DFrame_Sphere100kDepth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_D3DFrame_Sphere100kIndexed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_D3DClearOnly)->Unit(benchmark::kMillisecond);

}  // namespace
