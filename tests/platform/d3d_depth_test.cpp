// The depth test against a plain model: random overlapping triangles at random depths over a
// depth buffer of random values, every comparison function, with and without depth writes,
// on the vector and the scalar path, 16- and 32-bit buffers. The model takes each
// triangle's coverage from drawing it alone without the test, computes its depth at every
// pixel centre from the plane through its vertices, and keeps the nearest (by the function)
// itself. Pixels where the model's outcome hangs on a rounding (a depth within a level of
// the stored one, or half-way between two levels) are left out of the comparison.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "platform/soft/d3d/raster.h"
#include "platform/soft/ddraw/blit.h"

namespace {

using platform::PixelBuffer;
using platform::PixelKind;
using platform::raster::DepthBuffer;
using platform::raster::FillTriangle;
using platform::raster::Scissor;
using platform::raster::ScreenVertex;

bool Passes(DWORD func, double z, double stored) {
    switch (func) {
        case D3DCMP_NEVER:
            return false;
        case D3DCMP_LESS:
            return z < stored;
        case D3DCMP_EQUAL:
            return z == stored;
        case D3DCMP_LESSEQUAL:
            return z <= stored;
        case D3DCMP_GREATER:
            return z > stored;
        case D3DCMP_NOTEQUAL:
            return z != stored;
        case D3DCMP_GREATEREQUAL:
            return z >= stored;
        default:
            return true;
    }
}

TEST(DepthTest, RandomTrianglesMatchAPlainModel) {
    using platform::blit::Isa;
    constexpr int kW = 41, kH = 33, kTriangles = 6;
    std::mt19937 rng(1909);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const Isa best = platform::blit::DetectIsa();
    int compared = 0;
    for (int bits : {16, 32})
        for (Isa isa : {Isa::SSE2, Isa::AVX2}) {
            if (static_cast<int>(isa) > static_cast<int>(best))
                continue;
            platform::blit::ForceIsa(isa);
            const double levels = bits == 16 ? 65535.0 : 4294967295.0;
            const PixelKind kind = bits == 16 ? PixelKind::RGB565 : PixelKind::XRGB8888;
            for (int scene = 0; scene < 160; ++scene) {
                DepthBuffer depth;
                depth.bits = bits;
                depth.func = static_cast<DWORD>(1 + scene % 8);
                depth.write = scene % 16 < 8;
                std::vector<uint32_t> px(kW * kH), zbuf(kW * kH), solo(kW * kH);
                std::vector<uint32_t> modelPx(kW * kH), modelZ(kW * kH);
                std::vector<bool> uncertain(kW * kH);
                // Few distinct stored depths (quarters of the range that are not half-way
                // between two levels), and triangles level at them, so that equal depths come
                // up.
                const double quarters[4] = {0, 0.25, 0.75, 1};
                auto quarter = [&] { return quarters[pick(0, 3)]; };
                for (auto& z : zbuf)
                    z = static_cast<uint32_t>(std::floor(quarter() * levels + 0.5));
                std::vector<uint16_t> px16(kW * kH), z16(kW * kH), solo16(kW * kH);
                auto buffer = [&](std::vector<uint32_t>& p32, std::vector<uint16_t>& p16) {
                    return bits == 16 ? PixelBuffer{p16.data(), kW * 2, kW, kH, kind}
                                      : PixelBuffer{p32.data(), kW * 4, kW, kH, kind};
                };
                for (int i = 0; i < kW * kH; ++i)
                    z16[i] = static_cast<uint16_t>(zbuf[i]);
                modelZ = zbuf;
                depth.pixels = bits == 16 ? reinterpret_cast<uint8_t*>(z16.data())
                                          : reinterpret_cast<uint8_t*>(zbuf.data());
                depth.pitch = kW * (bits / 8);
                const Scissor scissor{0, 0, kW, kH};
                for (int t = 0; t < kTriangles; ++t) {
                    ScreenVertex v[3];
                    const int32_t colour = pick(1, 31) << 19;  // red only: exact in both formats
                    const bool flatDepth = pick(0, 2) == 0;
                    const float atQuarter = static_cast<float>(quarter());
                    for (auto& p : v)
                        p = ScreenVertex{pick(-80, kW * 16 + 80),
                                         pick(-80, kH * 16 + 80),
                                         colour,
                                         0,
                                         0,
                                         flatDepth ? atQuarter : pick(0, 1000) / 1000.0f};
                    // Coverage: the triangle alone, without the test.
                    std::fill(solo.begin(), solo.end(), 0);
                    std::fill(solo16.begin(), solo16.end(), 0);
                    FillTriangle(v[0], v[1], v[2], scissor, buffer(solo, solo16), false);
                    FillTriangle(v[0], v[1], v[2], scissor, buffer(px, px16), false, &depth);
                    // The depth plane through the vertices (in pixels).
                    const double ax = v[0].x / 16.0, ay = v[0].y / 16.0;
                    const double e1x = v[1].x / 16.0 - ax, e1y = v[1].y / 16.0 - ay;
                    const double e2x = v[2].x / 16.0 - ax, e2y = v[2].y / 16.0 - ay;
                    const double det = e1x * e2y - e2x * e1y;
                    for (int y = 0; y < kH; ++y)
                        for (int x = 0; x < kW; ++x) {
                            const int i = y * kW + x;
                            const uint32_t mine = bits == 16 ? solo16[i] : solo[i];
                            if (mine == 0)
                                continue;
                            const double px0 = x - ax, py0 = y - ay;
                            const double s = (px0 * e2y - e2x * py0) / det;
                            const double u = (e1x * py0 - px0 * e1y) / det;
                            const double z0 = v[0].z, z1 = v[1].z, z2 = v[2].z;
                            const double z = z0 + s * (z1 - z0) + u * (z2 - z0);
                            const double scaled = std::fmin(std::fmax(z, 0.0), 1.0) * levels;
                            const double level = std::floor(scaled + 0.5);
                            const double stored = modelZ[i];
                            // The level is certain unless the depth is about half-way
                            // between two; the outcome is then exact.
                            if (std::fabs(scaled - std::floor(scaled) - 0.5) < 1e-2)
                                uncertain[i] = true;
                            if (!Passes(depth.func, level, stored))
                                continue;
                            modelPx[i] = mine;
                            if (depth.write)
                                modelZ[i] = static_cast<uint32_t>(level);
                        }
                }
                for (int i = 0; i < kW * kH; ++i) {
                    if (uncertain[i])
                        continue;
                    ++compared;
                    const uint32_t got = bits == 16 ? px16[i] : px[i];
                    const uint32_t gotZ = bits == 16 ? z16[i] : zbuf[i];
                    ASSERT_EQ(got, modelPx[i])
                        << "bits " << bits << " isa " << int(isa) << " scene " << scene << " pixel "
                        << i % kW << "," << i / kW << " func " << depth.func;
                    ASSERT_EQ(gotZ, modelZ[i]) << "bits " << bits << " scene " << scene << " pixel "
                                               << i % kW << "," << i / kW;
                }
            }
        }
    platform::blit::ForceIsa(best);
    // Most pixels take part: the comparison is not vacuous.
    EXPECT_GT(compared, 2 * 160 * kW * kH / 2);
}

}  // namespace

namespace {

// A depth clear refills only what drawing since the last clear to its value may have
// changed. Triangles anywhere (some crossing the viewport's edges), each followed by a depth
// clear of a random rectangle to one of two depths: after every step the buffer,
// read behind the surface's back, must be what a plain model holds (drawing: the buffer as
// read; a clear: its rectangle at the value).
TEST(DepthClear, RefillsEverythingDrawingChanged) {
    constexpr int kW = 160, kH = 120;
    IDirectDraw* dd = nullptr;
    IDirectDraw4* dd4 = nullptr;
    ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    ASSERT_EQ(dd->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&dd4)), DD_OK);
    auto make = [&](DWORD caps, bool depth) {
        DDSURFACEDESC2 d{};
        d.dwSize = kSurfaceDescSize;
        d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | (depth ? DDSD_PIXELFORMAT : 0);
        d.dwWidth = kW, d.dwHeight = kH;
        d.ddsCaps.dwCaps = caps;
        d.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
        d.ddpfPixelFormat.dwFlags = DDPF_ZBUFFER;
        d.ddpfPixelFormat.dwZBufferBitDepth = 16;
        d.ddpfPixelFormat.dwZBitMask = 0xFFFF;
        IDirectDrawSurface4* s = nullptr;
        EXPECT_EQ(dd4->CreateSurface(&d, &s, nullptr), DD_OK);
        return s;
    };
    IDirectDrawSurface4* target = make(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE, false);
    IDirectDrawSurface4* zbuffer = make(DDSCAPS_ZBUFFER, true);
    ASSERT_TRUE(target && zbuffer);
    ASSERT_EQ(target->AddAttachedSurface(zbuffer), DD_OK);
    IDirect3D3* d3d = nullptr;
    IDirect3DDevice3* device = nullptr;
    IDirect3DViewport3* viewport = nullptr;
    ASSERT_EQ(dd->QueryInterface(IID_IDirect3D3, reinterpret_cast<void**>(&d3d)), DD_OK);
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, target, &device, nullptr), D3D_OK);
    ASSERT_EQ(d3d->CreateViewport(&viewport, nullptr), D3D_OK);
    ASSERT_EQ(device->AddViewport(viewport), D3D_OK);
    D3DVIEWPORT2 vp{44, 10, 5, 140, 110, -1, 1, 2, 2, 0, 1};
    ASSERT_EQ(viewport->SetViewport2(&vp), D3D_OK);
    ASSERT_EQ(device->SetCurrentViewport(viewport), D3D_OK);
    ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_ZFUNC, D3DCMP_ALWAYS), D3D_OK);
    // The depths, read without the surface knowing (the memory stays where Lock found it).
    DDSURFACEDESC2 desc{};
    desc.dwSize = kSurfaceDescSize;
    ASSERT_EQ(zbuffer->Lock(nullptr, &desc, 0, nullptr), DD_OK);
    ASSERT_EQ(zbuffer->Unlock(nullptr), DD_OK);
    auto depthAt = [&](int x, int y) {
        return reinterpret_cast<const uint16_t*>(static_cast<const uint8_t*>(desc.lpSurface) +
                                                 y * desc.lPitch)[x];
    };
    std::vector<uint16_t> model(kW * kH);
    std::mt19937 rng(77);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int step = 0; step < 600; ++step) {
        if (step % 2 == 0) {  // one triangle between clears: its box alone is refilled
            D3DTLVERTEX v[3];
            const int cx = pick(-20, kW + 20), cy = pick(-20, kH + 20), size = pick(2, 40);
            // Half-way between pixel centres, often with an upright edge: the last column or
            // row before a vertex is then covered.
            for (auto& p : v)
                p = D3DTLVERTEX{cx + pick(-size, size) + 0.5f,
                                cy + pick(-size, size) + 0.5f,
                                pick(0, 100) / 100.0f,
                                1,
                                0xFFFFFF,
                                0,
                                0,
                                0};
            if (pick(0, 1))
                v[2].sx = v[1].sx;
            else
                v[2].sy = v[1].sy;
            ASSERT_EQ(device->BeginScene(), D3D_OK);
            ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, v, 3, 0), D3D_OK);
            ASSERT_EQ(device->EndScene(), D3D_OK);
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x)
                    model[y * kW + x] = depthAt(x, y);
        } else {
            const int x0 = pick(0, kW), y0 = pick(0, kH);
            D3DRECT r =
                pick(0, 3) ? D3DRECT{0, 0, kW, kH} : D3DRECT{x0, y0, pick(x0, kW), pick(y0, kH)};
            const float z = pick(0, 3) ? 1.0f : 0.25f;
            ASSERT_EQ(viewport->Clear2(1, &r, D3DCLEAR_ZBUFFER, 0, z, 0), D3D_OK);
            // Clear2's rectangles are clipped to the viewport.
            for (int y = std::max<int>(r.y1, 5); y < std::min<int>(r.y2, 115); ++y)
                for (int x = std::max<int>(r.x1, 10); x < std::min<int>(r.x2, 150); ++x)
                    model[y * kW + x] = z == 1.0f ? 0xFFFF : 0x4000;
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x)
                    ASSERT_EQ(depthAt(x, y), model[y * kW + x])
                        << "step " << step << " at " << x << "," << y;
        }
    }
    viewport->Release();
    device->Release();
    d3d->Release();
    zbuffer->Release();
    target->Release();
    dd4->Release();
    dd->Release();
}

}  // namespace
