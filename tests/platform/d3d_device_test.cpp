// The Direct3D objects: the device chain through machine profiles, render-target checks,
// scene-state and argument errors, Clear2 rectangles, fault hooks on every call, reference
// counting, a whole frame of the application's scene, and fills skipped where the pixels
// already hold the colour.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/d3d.h"
#include "platform/soft/ddraw/ddraw_internal.h"

namespace {

// A render target made by the platform's DirectDraw, with the caps and format a test asks for.
class RenderTarget {
public:
    RenderTarget(int w, int h, platform::PixelKind kind,
                 DWORD caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE) {
        EXPECT_EQ(DirectDrawCreate(nullptr, &dd_, nullptr), DD_OK);
        EXPECT_EQ(dd_->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&dd4_)), DD_OK);
        DDSURFACEDESC2 d{};
        d.dwSize = kSurfaceDescSize;
        d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
        d.dwWidth = static_cast<DWORD>(w);
        d.dwHeight = static_cast<DWORD>(h);
        d.ddsCaps.dwCaps = caps;
        platform::DescribePixelFormat(kind, &d.ddpfPixelFormat);
        EXPECT_EQ(dd4_->CreateSurface(&d, &s_, nullptr), DD_OK);
    }
    ~RenderTarget() {
        s_->Release();
        dd4_->Release();
        dd_->Release();
    }
    RenderTarget(const RenderTarget&) = delete;
    RenderTarget& operator=(const RenderTarget&) = delete;

    IDirectDrawSurface4* get() const { return s_; }
    IDirectDraw* dd() const { return dd_; }
    platform::PixelBuffer Pixels() const {
        platform::PixelBuffer b{};
        EXPECT_TRUE(platform::GetPixelBuffer(s_, &b));
        return b;
    }
    uint16_t At16(int x, int y) const {
        const platform::PixelBuffer b = Pixels();
        return reinterpret_cast<const uint16_t*>(static_cast<const uint8_t*>(b.pixels) +
                                                 y * b.pitch)[x];
    }
    void Fill16(uint16_t v) {
        const platform::PixelBuffer b = Pixels();
        for (int y = 0; y < b.height; ++y) {
            auto* row = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(b.pixels) + y * b.pitch);
            std::fill(row, row + b.width, v);
        }
    }
    ULONG refs() const {
        s_->AddRef();
        return s_->Release();
    }

private:
    IDirectDraw* dd_ = nullptr;
    IDirectDraw4* dd4_ = nullptr;
    IDirectDrawSurface4* s_ = nullptr;
};

class D3DDevice : public ::testing::Test {
protected:
    void SetUp() override {
        platform::ResetHooks();
        platform::InstallProfile(platform::ProductionProfile());
        // Direct3D comes from the DirectDraw object, as the application asks for it.
        ASSERT_EQ(surface.dd()->QueryInterface(IID_IDirect3D3, reinterpret_cast<void**>(&d3d)),
                  D3D_OK);
        ASSERT_NE(d3d, nullptr);
    }
    void TearDown() override {
        if (light)
            light->Release();
        if (material)
            material->Release();
        if (device)
            device->Release();
        if (viewport)
            viewport->Release();
        d3d->Release();
        platform::ResetHooks();
    }

    // The application's set-up: device, viewport (640 x 480 with its clip rectangle),
    // material, light, ambient and projection.
    void SetupScene(IDirectDrawSurface4* target = nullptr) {
        ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, target ? target : surface.get(),
                                    &device, nullptr),
                  D3D_OK);
        ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD), D3D_OK);
        ASSERT_EQ(d3d->CreateViewport(&viewport, nullptr), D3D_OK);
        ASSERT_EQ(device->AddViewport(viewport), D3D_OK);
        D3DVIEWPORT2 vp{44, 0, 0, 640, 480, -1.0f, 1.3333334f, 2.0f, 2.6666667f, 0.0f, 1.0f};
        ASSERT_EQ(viewport->SetViewport2(&vp), D3D_OK);
        ASSERT_EQ(device->SetCurrentViewport(viewport), D3D_OK);
        ASSERT_EQ(d3d->CreateMaterial(&material, nullptr), D3D_OK);
        D3DMATERIAL m{};
        m.dwSize = 80;
        m.diffuse = {0.5f, 0, 0.5f, 1};
        m.ambient = {0.5f, 0, 0.5f, 1};
        m.specular = {1, 1, 1, 1};
        m.power = 50;
        ASSERT_EQ(material->SetMaterial(&m), D3D_OK);
        D3DMATERIALHANDLE h = 0;
        ASSERT_EQ(material->GetHandle(device, &h), D3D_OK);
        ASSERT_NE(h, 0u);
        ASSERT_EQ(device->SetLightState(D3DLIGHTSTATE_MATERIAL, h), D3D_OK);
        ASSERT_EQ(device->SetLightState(D3DLIGHTSTATE_AMBIENT, 0xFFFFFFFF), D3D_OK);
        ASSERT_EQ(d3d->CreateLight(&light, nullptr), D3D_OK);
        D3DLIGHT2 l{};
        l.dwSize = 80;
        l.dltType = D3DLIGHT_POINT;
        l.dcvColor = {1, 1, 1, 0};
        l.dvPosition = {0, 100, 100};
        l.dvRange = D3DLIGHT_RANGE_MAX;
        l.dvAttenuation0 = 1;
        l.dwFlags = D3DLIGHT_ACTIVE;
        ASSERT_EQ(light->SetLight(reinterpret_cast<D3DLIGHT*>(&l)), D3D_OK);
        ASSERT_EQ(viewport->AddLight(light), D3D_OK);
        D3DMATRIX proj{};
        proj._11 = 2, proj._22 = 2, proj._33 = 1.0526316f, proj._34 = 1, proj._43 = -52.631580f;
        ASSERT_EQ(device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &proj), D3D_OK);
    }

    D3DMATRIX View() {
        D3DMATRIX v{};
        v._11 = v._22 = v._33 = v._44 = 1;
        v._43 = 200;
        return v;
    }

    // The sample tetrahedron as a triangle list of its four faces.
    std::vector<D3DVERTEX> Tetrahedron() {
        const D3DVERTEX p[4] = {{0, 10, 0, 0, 0, 1, 0, 0},
                                {-10, -10, 10, 0, 0, 1, 0, 0},
                                {10, -10, 10, 0, 0, 1, 0, 0},
                                {0, -10, -10, 0, 0, 1, 0, 0}};
        const int faces[4][3] = {{0, 1, 2}, {0, 2, 3}, {0, 3, 1}, {1, 3, 2}};
        std::vector<D3DVERTEX> list;
        for (auto& f : faces)
            for (int k : f)
                list.push_back(p[k]);
        return list;
    }

    int CountNot(uint16_t background) const {
        int n = 0;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                n += surface.At16(x, y) != background;
        return n;
    }

    RenderTarget surface{640, 480, platform::PixelKind::RGB565};
    IDirect3D3* d3d = nullptr;
    IDirect3DDevice3* device = nullptr;
    IDirect3DViewport3* viewport = nullptr;
    IDirect3DMaterial3* material = nullptr;
    IDirect3DLight* light = nullptr;
};

TEST_F(D3DDevice, DeviceChainFollowsTheMachineProfile) {
    struct Case {
        DWORD creatable;
        HRESULT hal, rgb, ramp, mmx;
    };
    const Case cases[] = {
        // The production machine: no 3D hardware, so HAL fails and RGB works.
        {platform::kDeviceRGB | platform::kDeviceMMX, D3DERR_INVALID_DEVICE, D3D_OK,
         D3DERR_INVALID_DEVICE, D3D_OK},
        // Everything offered: RAMP still never comes through this interface.
        {platform::kDeviceHAL | platform::kDeviceRGB | platform::kDeviceRamp | platform::kDeviceMMX,
         D3D_OK, D3D_OK, D3DERR_INVALID_DEVICE, D3D_OK},
        {platform::kDeviceMMX, D3DERR_INVALID_DEVICE, D3DERR_INVALID_DEVICE, D3DERR_INVALID_DEVICE,
         D3D_OK},
        {0, D3DERR_INVALID_DEVICE, D3DERR_INVALID_DEVICE, D3DERR_INVALID_DEVICE,
         D3DERR_INVALID_DEVICE},
    };
    for (const Case& c : cases) {
        platform::MachineProfile profile = platform::ProductionProfile();
        profile.creatableDevices = c.creatable;
        platform::InstallProfile(profile);
        const IID* guids[4] = {&IID_IDirect3DHALDevice, &IID_IDirect3DRGBDevice,
                               &IID_IDirect3DRampDevice, &IID_IDirect3DMMXDevice};
        const HRESULT expected[4] = {c.hal, c.rgb, c.ramp, c.mmx};
        for (int i = 0; i < 4; ++i) {
            IDirect3DDevice3* d = reinterpret_cast<IDirect3DDevice3*>(1);
            EXPECT_EQ(d3d->CreateDevice(*guids[i], surface.get(), &d, nullptr), expected[i])
                << "profile " << c.creatable << " device " << i;
            EXPECT_EQ(d != nullptr, expected[i] == D3D_OK);
            if (d)
                d->Release();
        }
    }
    EXPECT_EQ(platform::ProductionProfile().creatableDevices & platform::kDeviceHAL, 0u);
    EXPECT_EQ(surface.refs(), 1u);  // every device released its target
}

TEST_F(D3DDevice, FaultHooksFailAnyDeviceKindAndTraceItsName) {
    platform::StartTrace();
    platform::FailCall("IDirect3D3::CreateDevice", 2, DDERR_OUTOFMEMORY);
    IDirect3DDevice3* d = nullptr;
    EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DHALDevice, surface.get(), &d, nullptr),
              D3DERR_INVALID_DEVICE);
    EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, surface.get(), &d, nullptr),
              DDERR_OUTOFMEMORY);
    EXPECT_EQ(d, nullptr);
    EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DMMXDevice, surface.get(), &device, nullptr), D3D_OK);
    const auto& trace = platform::Trace();
    ASSERT_EQ(trace.size(), 3u);
    EXPECT_EQ(trace[0].args, "device=HAL");
    EXPECT_EQ(trace[1].args, "device=RGB");
    EXPECT_EQ(trace[2].args, "device=MMX");
}

TEST_F(D3DDevice, RenderTargetMustBeA3DSurfaceWithoutPalette) {
    RenderTarget plain(64, 64, platform::PixelKind::RGB565, DDSCAPS_OFFSCREENPLAIN);
    RenderTarget paletted(64, 64, platform::PixelKind::Pal8);
    RenderTarget deep(64, 64, platform::PixelKind::XRGB8888);
    RenderTarget fifteen(64, 64, platform::PixelKind::RGB555);
    IDirect3DDevice3* d = reinterpret_cast<IDirect3DDevice3*>(1);
    EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, plain.get(), &d, nullptr),
              DDERR_INVALIDCAPS);
    EXPECT_EQ(d, nullptr);
    EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, paletted.get(), &d, nullptr),
              DDERR_NOPALETTEATTACHED);
    EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, nullptr, &d, nullptr), DDERR_INVALIDPARAMS);
    for (RenderTarget* t : {&deep, &fifteen}) {
        ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, t->get(), &d, nullptr), D3D_OK);
        d->Release();
    }
}

TEST_F(D3DDevice, ClearAndDrawRefuseABusyTarget) {
    SetupScene();
    DDSURFACEDESC2 desc{};
    desc.dwSize = kSurfaceDescSize;
    ASSERT_EQ(surface.get()->Lock(nullptr, &desc, 0, nullptr), DD_OK);
    D3DRECT r{0, 0, 639, 479};
    EXPECT_EQ(viewport->Clear2(1, &r, D3DCLEAR_TARGET, 0, 0, 0), DDERR_SURFACEBUSY);
    auto list = Tetrahedron();
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, list.data(), 12, 0),
              DDERR_SURFACEBUSY);
    EXPECT_EQ(device->EndScene(), D3D_OK);
    ASSERT_EQ(surface.get()->Unlock(nullptr), DD_OK);
    EXPECT_EQ(viewport->Clear2(1, &r, D3DCLEAR_TARGET, 0, 0, 0), D3D_OK);
}

TEST_F(D3DDevice, SceneStateErrors) {
    SetupScene();
    auto list = Tetrahedron();
    EXPECT_EQ(device->EndScene(), D3DERR_SCENE_NOT_IN_SCENE);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, list.data(), 12, D3DDP_WAIT),
              D3DERR_NOTINBEGIN);
    EXPECT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->BeginScene(), D3DERR_SCENE_IN_SCENE);
    EXPECT_EQ(device->EndScene(), D3D_OK);
    EXPECT_EQ(device->EndScene(), D3DERR_SCENE_NOT_IN_SCENE);
    EXPECT_EQ(CountNot(0), 0);
}

TEST_F(D3DDevice, DrawPrimitiveChecksItsArguments) {
    SetupScene();
    auto list = Tetrahedron();
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_LINELIST, D3DFVF_VERTEX, list.data(), 12, 0),
              D3DERR_INVALIDPRIMITIVETYPE);
    // An index past the vertices is refused before anything is read or drawn.
    WORD indices[3] = {0, 1, 12};
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, list.data(), 12,
                                           indices, 3, 0),
              DDERR_INVALIDPARAMS);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_POINTLIST, D3DFVF_VERTEX, list.data(), 12, 0),
              D3DERR_INVALIDPRIMITIVETYPE);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZ, list.data(), 12, 0),
              D3DERR_INVALIDVERTEXTYPE);
    // No vertices: nothing drawn, not an error (a mesh without faces draws nothing).
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, list.data(), 0, 0), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, nullptr, 0, 0), D3D_OK);
    // A count that is not whole triangles is refused and draws nothing.
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, list.data(), 11, 0),
              DDERR_INVALIDPARAMS);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, list.data(), 2, 0),
              DDERR_INVALIDPARAMS);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, nullptr, 3, 0),
              DDERR_INVALIDPARAMS);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, list.data(), 65538, 0),
              DDERR_INVALIDPARAMS);
    EXPECT_EQ(CountNot(0), 0);
    EXPECT_EQ(device->EndScene(), D3D_OK);
}

TEST_F(D3DDevice, ViewportDataIsChecked) {
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, surface.get(), &device, nullptr), D3D_OK);
    ASSERT_EQ(d3d->CreateViewport(&viewport, nullptr), D3D_OK);
    D3DVIEWPORT2 vp{44, 0, 0, 640, 480, -1.0f, 1.3333334f, 2.0f, 2.6666667f, 0.0f, 1.0f};
    EXPECT_EQ(viewport->SetViewport2(&vp), D3DERR_VIEWPORTHASNODEVICE);
    ASSERT_EQ(device->AddViewport(viewport), D3D_OK);
    EXPECT_EQ(device->AddViewport(viewport), DDERR_INVALIDPARAMS);
    D3DVIEWPORT2 bad = vp;
    bad.dwSize = 40;
    EXPECT_EQ(viewport->SetViewport2(&bad), DDERR_INVALIDPARAMS);
    bad = vp;
    bad.dwX = 1;  // one column past the target
    EXPECT_EQ(viewport->SetViewport2(&bad), DDERR_INVALIDPARAMS);
    bad = vp;
    bad.dwHeight = 0xFFFFFFF0u;  // would wrap in 32 bits
    bad.dwY = 0x20;
    EXPECT_EQ(viewport->SetViewport2(&bad), DDERR_INVALIDPARAMS);
    bad = vp;
    bad.dvClipWidth = 0;
    EXPECT_EQ(viewport->SetViewport2(&bad), DDERR_INVALIDPARAMS);
    EXPECT_EQ(viewport->SetViewport2(nullptr), DDERR_INVALIDPARAMS);
    // Drawing and clearing need the viewport's data and a current viewport.
    D3DRECT r{0, 0, 640, 480};
    EXPECT_EQ(viewport->Clear2(1, &r, D3DCLEAR_TARGET, 0, 0, 0), D3DERR_VIEWPORTDATANOTSET);
    auto list = Tetrahedron();
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, list.data(), 12, 0),
              D3DERR_NOCURRENTVIEWPORT);
    ASSERT_EQ(device->SetCurrentViewport(viewport), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, list.data(), 12, 0),
              D3DERR_VIEWPORTDATANOTSET);
    EXPECT_EQ(viewport->SetViewport2(&vp), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, list.data(), 12, 0), D3D_OK);
    EXPECT_EQ(device->EndScene(), D3D_OK);
}

TEST_F(D3DDevice, Clear2RectanglesHaveExclusiveEdgesAndStayInTheViewport) {
    SetupScene();
    surface.Fill16(0xFFFF);
    D3DRECT r{0, 0, 639, 479};
    ASSERT_EQ(viewport->Clear2(1, &r, D3DCLEAR_TARGET, 0, 0.0f, 0), D3D_OK);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            ASSERT_EQ(surface.At16(x, y), (x < 639 && y < 479) ? 0 : 0xFFFF) << x << "," << y;
    // The colour is converted to the target's format; rectangles are clipped to the viewport.
    D3DVIEWPORT2 small{44, 10, 20, 100, 50, -1, 1, 2, 2, 0, 1};
    ASSERT_EQ(viewport->SetViewport2(&small), D3D_OK);
    D3DRECT two[2] = {{-50, -50, 1000, 1000}, {5, 5, 15, 25}};
    ASSERT_EQ(viewport->Clear2(2, two, D3DCLEAR_TARGET, 0x00FF00FF, 0, 0), D3D_OK);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            bool inside = x >= 10 && x < 110 && y >= 20 && y < 70;
            uint16_t before = (x < 639 && y < 479) ? 0 : 0xFFFF;
            ASSERT_EQ(surface.At16(x, y), inside ? 0xF81F : before) << x << "," << y;
        }
    EXPECT_EQ(viewport->Clear2(1, &r, D3DCLEAR_ZBUFFER | D3DCLEAR_TARGET, 0, 0, 0),
              D3DERR_ZBUFFER_NOTPRESENT);
    EXPECT_EQ(viewport->Clear2(1, nullptr, D3DCLEAR_TARGET, 0, 0, 0), DDERR_INVALIDPARAMS);
}

TEST_F(D3DDevice, EveryCallCanBeMadeToFail) {
    SetupScene();
    auto list = Tetrahedron();
    D3DVIEWPORT2 vp{44, 0, 0, 640, 480, -1.0f, 1.3333334f, 2.0f, 2.6666667f, 0.0f, 1.0f};
    D3DRECT r{0, 0, 639, 479};
    D3DMATRIX view = View();
    D3DMATERIAL m{};
    m.dwSize = 80;
    D3DLIGHT2 l{};
    l.dwSize = 80;
    l.dltType = D3DLIGHT_POINT;
    IDirect3DViewport3* v2 = nullptr;
    IDirect3DMaterial3* m2 = nullptr;
    IDirect3DLight* l2 = nullptr;
    ASSERT_EQ(d3d->CreateLight(&l2, nullptr), D3D_OK);
    D3DMATERIALHANDLE h;
    const std::vector<std::pair<const char*, std::function<HRESULT()>>> calls = {
        {"IDirect3D3::CreateDevice",
         [&] {
             IDirect3DDevice3* d = nullptr;
             return d3d->CreateDevice(IID_IDirect3DRGBDevice, surface.get(), &d, nullptr);
         }},
        {"IDirect3D3::CreateViewport", [&] { return d3d->CreateViewport(&v2, nullptr); }},
        {"IDirect3D3::CreateMaterial", [&] { return d3d->CreateMaterial(&m2, nullptr); }},
        {"IDirect3D3::CreateLight", [&] { return d3d->CreateLight(&l2, nullptr); }},
        {"IDirect3DDevice3::SetRenderState",
         [&] { return device->SetRenderState(D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD); }},
        {"IDirect3DDevice3::AddViewport", [&] { return device->AddViewport(viewport); }},
        {"IDirect3DDevice3::SetCurrentViewport",
         [&] { return device->SetCurrentViewport(viewport); }},
        {"IDirect3DDevice3::SetLightState",
         [&] { return device->SetLightState(D3DLIGHTSTATE_AMBIENT, 0); }},
        {"IDirect3DDevice3::SetTransform",
         [&] { return device->SetTransform(D3DTRANSFORMSTATE_VIEW, &view); }},
        {"IDirect3DDevice3::BeginScene", [&] { return device->BeginScene(); }},
        {"IDirect3DDevice3::DrawPrimitive",
         [&] {
             return device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, list.data(), 12, 1);
         }},
        {"IDirect3DDevice3::EndScene", [&] { return device->EndScene(); }},
        {"IDirect3DViewport3::SetViewport2", [&] { return viewport->SetViewport2(&vp); }},
        {"IDirect3DViewport3::AddLight", [&] { return viewport->AddLight(l2); }},
        {"IDirect3DViewport3::Clear2",
         [&] { return viewport->Clear2(1, &r, D3DCLEAR_TARGET, 0, 0, 0); }},
        {"IDirect3DMaterial3::SetMaterial", [&] { return material->SetMaterial(&m); }},
        {"IDirect3DMaterial3::GetHandle", [&] { return material->GetHandle(device, &h); }},
        {"IDirect3DLight::SetLight",
         [&] { return light->SetLight(reinterpret_cast<D3DLIGHT*>(&l)); }},
    };
    for (const auto& [op, call] : calls) {
        platform::FailCall(op, 1, static_cast<HRESULT>(0x887602ABu));
        EXPECT_EQ(call(), static_cast<HRESULT>(0x887602ABu)) << op;
        EXPECT_EQ(platform::CallCount(op), 1) << op;
    }
    l2->Release();
}

TEST_F(D3DDevice, ReferencesKeepViewportsAndLightsAliveAndReleasesAreTraced) {
    SetupScene();
    // The application drops its light: the viewport keeps it, and it still lights.
    light->Release();
    light = nullptr;
    platform::StartTrace();
    material->Release();
    material = nullptr;  // the handle now finds nothing: lighting turns off, no dangling use
    device->Release();
    device = nullptr;
    EXPECT_EQ(surface.refs(), 1u);
    // The viewport outlives its device but can no longer clear.
    D3DRECT r{0, 0, 639, 479};
    EXPECT_EQ(viewport->Clear2(1, &r, D3DCLEAR_TARGET, 0, 0, 0), D3DERR_VIEWPORTHASNODEVICE);
    viewport->Release();
    viewport = nullptr;
    const std::vector<std::string> expected = {
        "IDirect3DMaterial3::Release", "IDirect3DDevice3::Release",  "IDirect3DViewport3::Release",
        "IDirect3D3::Release",         "IDirect3DViewport3::Clear2", "IDirect3DViewport3::Release",
        "IDirect3DLight::Release"};
    EXPECT_EQ(platform::TraceOps("IDirect3D"), expected);
}

TEST_F(D3DDevice, ApplicationFrameDrawsTheLitTetrahedron) {
    SetupScene();
    auto list = Tetrahedron();
    D3DMATRIX view = View();
    D3DMATRIX world{};
    world._11 = world._22 = world._33 = world._44 = 1;
    surface.Fill16(0x1234);
    D3DRECT r{0, 0, 639, 479};
    ASSERT_EQ(viewport->Clear2(1, &r, D3DCLEAR_TARGET, 0, 0, 0), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    ASSERT_EQ(device->SetTransform(D3DTRANSFORMSTATE_VIEW, &view), D3D_OK);
    ASSERT_EQ(device->SetTransform(D3DTRANSFORMSTATE_WORLD, &world), D3D_OK);
    // The device copied the matrix: changing the caller's copy afterwards changes nothing.
    view._43 = 20;
    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, list.data(), 12, D3DDP_WAIT),
              D3D_OK);
    ASSERT_EQ(device->EndScene(), D3D_OK);
    int purple = 0, minX = 640, maxX = 0;
    for (int y = 0; y < 479; ++y)
        for (int x = 0; x < 639; ++x) {
            uint16_t c = surface.At16(x, y);
            if (c == 0)
                continue;
            ++purple;
            minX = std::min(minX, x), maxX = std::max(maxX, x);
            ASSERT_EQ((c >> 5) & 63, 0);
            ASSERT_EQ(c >> 11, c & 31);
            ASSERT_GE(c >> 11, 25);  // 0.82 .. 0.87 of full red and blue
            ASSERT_LE(c >> 11, 27);
        }
    EXPECT_GT(purple, 900);
    EXPECT_EQ(minX, 290);
    EXPECT_EQ(maxX, 350);
    EXPECT_EQ(surface.At16(639, 479), 0x1234);
}

TEST_F(D3DDevice, RenderAndLightStatesReachThePicture) {
    SetupScene();
    auto list = Tetrahedron();
    D3DMATRIX view = View();
    ASSERT_EQ(device->SetTransform(D3DTRANSFORMSTATE_VIEW, &view), D3D_OK);
    auto draw = [&](DWORD count = 12) {
        D3DRECT r{0, 0, 640, 480};
        EXPECT_EQ(viewport->Clear2(1, &r, D3DCLEAR_TARGET, 0, 0, 0), D3D_OK);
        EXPECT_EQ(device->BeginScene(), D3D_OK);
        EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, list.data(), count, 0),
                  D3D_OK);
        EXPECT_EQ(device->EndScene(), D3D_OK);
        return CountNot(0);
    };
    // The first face, (0, 1, 2), is a back face: culled by default, drawn without culling.
    EXPECT_EQ(draw(3), 0);
    ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE), D3D_OK);
    EXPECT_GT(draw(3), 300);
    EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_CULLMODE, 7), DDERR_INVALIDPARAMS);
    // Without a material the lighting is off and the vertices are white.
    ASSERT_EQ(device->SetLightState(D3DLIGHTSTATE_MATERIAL, 0), D3D_OK);
    draw();
    EXPECT_EQ(surface.At16(320, 240), 0xFFFF);
    EXPECT_EQ(device->SetLightState(D3DLIGHTSTATE_MATERIAL, 12345), DDERR_INVALIDPARAMS);
    EXPECT_EQ(device->SetTransform(D3DTRANSFORMSTATE_WORLD, nullptr), DDERR_INVALIDPARAMS);
}

TEST_F(D3DDevice, EachTargetFormatGetsTheLitColourInItsOwnLayout) {
    // Next to vertex 0 of the sample tetrahedron R = B = 0.8716 (8-bit 222), G = 0.
    for (platform::PixelKind kind : {platform::PixelKind::RGB555, platform::PixelKind::XRGB8888}) {
        RenderTarget target(640, 480, kind);
        SetupScene(target.get());
        auto list = Tetrahedron();
        D3DMATRIX view = View();
        ASSERT_EQ(device->SetTransform(D3DTRANSFORMSTATE_VIEW, &view), D3D_OK);
        ASSERT_EQ(device->BeginScene(), D3D_OK);
        ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, list.data(), 12, 0),
                  D3D_OK);
        ASSERT_EQ(device->EndScene(), D3D_OK);
        const platform::PixelBuffer b = target.Pixels();
        const uint8_t* row = static_cast<const uint8_t*>(b.pixels) + 223 * b.pitch;
        if (kind == platform::PixelKind::XRGB8888) {
            const uint32_t c = reinterpret_cast<const uint32_t*>(row)[320];
            EXPECT_NEAR(static_cast<int>((c >> 16) & 255), 222, 2);
            EXPECT_EQ((c >> 8) & 255, 0u);
            EXPECT_EQ(c & 255, (c >> 16) & 255);
        } else {
            const uint16_t c = reinterpret_cast<const uint16_t*>(row)[320];
            EXPECT_NEAR((c >> 10) & 31, 222 >> 3, 1);
            EXPECT_EQ((c >> 5) & 31, 0);
            EXPECT_EQ(c & 31, (c >> 10) & 31);
        }
        // Release this target's device, viewport and the rest before the next format.
        light->Release(), light = nullptr;
        material->Release(), material = nullptr;
        device->Release(), device = nullptr;
        viewport->Release(), viewport = nullptr;
    }
}

// A surface skips a fill where the pixels are known to hold the colour already. Random runs
// of fills, Clear2, drawing, copies, Lock and GDI writes on a target not given out raw until
// the end: after every step its pixels (copied out with Blt, which does not touch the
// source) must be what a plain model of the same steps holds. Steps whose pixels the model
// cannot compute (drawing, text) take the model from the copy. Half the fills take the last
// fill's rectangle, one edge moved out by a pixel, and its value. At the end the pixels are
// given out raw and written between fills.
TEST_F(D3DDevice, FillsSkippedOnlyWhereThePixelsHoldTheColour) {
    RenderTarget target(640, 480, platform::PixelKind::RGB565);
    RenderTarget copy(640, 480, platform::PixelKind::RGB565);
    RenderTarget source(640, 480, platform::PixelKind::RGB565);
    source.Fill16(0x5A5A);
    SetupScene(target.get());
    std::vector<uint16_t> model(640 * 480, 0);
    auto readBack = [&] {
        EXPECT_EQ(copy.get()->Blt(nullptr, target.get(), nullptr, DDBLT_WAIT, nullptr), DD_OK);
        std::vector<uint16_t> got(640 * 480);
        const platform::PixelBuffer b = copy.Pixels();
        for (int y = 0; y < 480; ++y)
            std::memcpy(&got[y * 640], static_cast<const uint8_t*>(b.pixels) + y * b.pitch, 1280);
        return got;
    };
    auto fillModel = [&](const RECT& r, uint16_t v) {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                model[y * 640 + x] = v;
    };
    std::mt19937 rng(2024);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    // The tetrahedron covers about (290..350, 210..270): every rectangle reaches into it.
    // `wider` passes `inner` on one side only.
    const RECT whole{0, 0, 640, 480}, part{200, 100, 500, 400}, inner{280, 200, 360, 300},
        wider{280, 200, 600, 300};
    const uint16_t values[] = {0x0000, 0x1234};
    auto list = Tetrahedron();
    D3DMATRIX view = View(), world{};
    world._11 = world._22 = world._33 = world._44 = 1;
    // First every writer between two fills of the whole target with black (the second must
    // not be skipped), then random steps.
    struct Step {
        int op, rect, value;
    };
    std::vector<Step> steps;
    for (int writer = 3; writer <= 6; ++writer)
        steps.insert(steps.end(), {{0, 0, 0}, {writer, 2, 0}, {pick(0, 2), 0, 0}});
    for (int i = 0; i < 400; ++i)
        steps.push_back({pick(0, 6), pick(0, 7), pick(0, 1)});
    steps.insert(steps.end(), {{0, 0, 0}, {7, 0, 0}, {0, 0, 0}, {7, 0, 0}, {0, 0, 0}});
    RECT last = whole;
    int lastValue = 0;
    platform::PixelBuffer raw{};
    for (size_t step = 0; step < steps.size(); ++step) {
        const int op = steps[step].op;
        const RECT rects[] = {whole, part, inner, wider};
        RECT r = steps[step].rect < 4 ? rects[steps[step].rect] : last;
        if (steps[step].rect >= 4 && op <= 2) {
            LONG* edges[] = {&r.left, &r.top, &r.right, &r.bottom};
            const int e = pick(0, 3);
            const LONG out = e < 2 ? -1 : 1, limit = e < 2 ? 0 : (e == 2 ? 640 : 480);
            *edges[e] += *edges[e] == limit ? -out : out;
            steps[step].value = lastValue;
        }
        const uint16_t value = values[steps[step].value];
        if (op <= 2)
            last = r, lastValue = steps[step].value;
        if (op <= 1) {  // a colour fill, with high bits the 16-bit pixels drop
            DDBLTFX fx{};
            fx.dwSize = sizeof fx;
            fx.dwFillColor = 0xABCD0000u | value;
            RECT d = r;
            ASSERT_EQ(target.get()->Blt(&d, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx),
                      DD_OK);
            fillModel(r, value);
        } else if (op == 2) {  // Clear2 of a rectangle, black or the colour that packs to 0x1234
            D3DRECT c{r.left, r.top, r.right, r.bottom};
            const D3DCOLOR colour = value ? 0x001044A0u : 0;
            ASSERT_EQ(viewport->Clear2(1, &c, D3DCLEAR_TARGET, colour, 0, 0), D3D_OK);
            fillModel(r, value);
        } else if (op == 3) {  // the tetrahedron drawn
            ASSERT_EQ(device->BeginScene(), D3D_OK);
            ASSERT_EQ(device->SetTransform(D3DTRANSFORMSTATE_VIEW, &view), D3D_OK);
            ASSERT_EQ(device->SetTransform(D3DTRANSFORMSTATE_WORLD, &world), D3D_OK);
            ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, list.data(), 12,
                                            D3DDP_WAIT),
                      D3D_OK);
            ASSERT_EQ(device->EndScene(), D3D_OK);
            model = readBack();
        } else if (op == 4) {  // a copy into the rectangle
            RECT d = r;
            ASSERT_EQ(target.get()->Blt(&d, source.get(), &d, DDBLT_WAIT, nullptr), DD_OK);
            fillModel(r, 0x5A5A);
        } else if (op == 5) {  // one pixel written through Lock
            DDSURFACEDESC2 desc{};
            desc.dwSize = kSurfaceDescSize;
            ASSERT_EQ(target.get()->Lock(nullptr, &desc, 0, nullptr), DD_OK);
            const int x = pick(r.left, r.right - 1), y = pick(r.top, r.bottom - 1);
            reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(desc.lpSurface) +
                                        y * desc.lPitch)[x] = 0x7777;
            ASSERT_EQ(target.get()->Unlock(nullptr), DD_OK);
            model[y * 640 + x] = 0x7777;
        } else if (op == 7) {  // one pixel written raw (the pixels given out on the first)
            if (!raw.pixels)
                raw = target.Pixels();
            const int x = pick(r.left, r.right - 1), y = pick(r.top, r.bottom - 1);
            reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(raw.pixels) + y * raw.pitch)[x] =
                0x7777;
            model[y * 640 + x] = 0x7777;
        } else {  // text through the surface's DC
            HDC dc = nullptr;
            ASSERT_EQ(target.get()->GetDC(&dc), DD_OK);
            SetTextColor(dc, RGB(255, 255, 255));
            SetBkColor(dc, RGB(0, 0, 255));
            TextOutA(dc, pick(r.left, r.right - 20), pick(r.top, r.bottom - 16), "Hi", 2);
            ASSERT_EQ(target.get()->ReleaseDC(dc), DD_OK);
            model = readBack();
        }
        ASSERT_TRUE(readBack() == model) << "step " << step << " op " << op;
    }
}

}  // namespace
