// Drivers, devices, capability records, display mode, surface creation, reference counts
// and the fault hooks of the DirectDraw objects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ddraw_test_support.h"
#include "platform/backend.h"

using namespace ddtest;
using platform::DriverProfile;
using platform::MachineProfile;

namespace {

const GUID kFirst = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};
const GUID kSecond = {0x99999999, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 9}};

DriverProfile Secondary(const GUID& guid, const char* name, DWORD caps) {
    DriverProfile d;
    d.guid = guid;
    d.description = std::string(name) + " accelerator";
    d.name = name;
    d.driverCaps.dwCaps = caps;
    d.driverCaps.dwVidMemTotal = 4194304;
    d.emulationCaps.dwCaps = DDCAPS_BLT;
    return d;
}

// A machine with the production driver and two add-on boards, the second with 3D.
MachineProfile ThreeDrivers() {
    MachineProfile p = platform::ProductionProfile();
    p.drivers.push_back(Secondary(kFirst, "board2d", DDCAPS_BLT));
    p.drivers.push_back(Secondary(kSecond, "board3d", DDCAPS_BLT | DDCAPS_3D));
    return p;
}

struct Seen {
    std::vector<std::string> names;
    std::vector<bool> nullGuid;
    std::vector<GUID> guids;
    int stopAfter = 100;
};

BOOL Collect(GUID* guid, LPSTR description, LPSTR name, void* context) {
    Seen* seen = static_cast<Seen*>(context);
    seen->names.push_back(std::string(name) + "|" + description);
    seen->nullGuid.push_back(guid == nullptr);
    seen->guids.push_back(guid ? *guid : GUID{});
    return static_cast<int>(seen->names.size()) < seen->stopAfter ? DDENUMRET_OK : DDENUMRET_CANCEL;
}

DDCAPS Caps(IDirectDraw* dd, DDCAPS* emulation = nullptr) {
    DDCAPS hw{}, hel{};
    hw.dwSize = hel.dwSize = sizeof(DDCAPS);
    EXPECT_EQ(dd->GetCaps(&hw, &hel), DD_OK);
    if (emulation)
        *emulation = hel;
    return hw;
}

}  // namespace

TEST(DirectDrawDrivers, ProductionMachineHasOneDefaultDriverWithoutGuid) {
    Seen seen;
    EXPECT_EQ(DirectDrawEnumerateA(Collect, &seen), DD_OK);
    ASSERT_EQ(seen.names.size(), 1u);
    EXPECT_TRUE(seen.nullGuid[0]);
    EXPECT_EQ(seen.names[0], "display|Software display driver");
}

TEST(DirectDrawDrivers, EnumerationFollowsTheProfileAndStopsOnCancel) {
    platform::InstallProfile(ThreeDrivers());
    Seen all;
    EXPECT_EQ(DirectDrawEnumerateA(Collect, &all), DD_OK);
    ASSERT_EQ(all.names.size(), 3u);
    EXPECT_EQ(all.nullGuid, (std::vector<bool>{true, false, false}));
    EXPECT_EQ(all.guids[1], kFirst);
    EXPECT_EQ(all.guids[2], kSecond);
    EXPECT_EQ(all.names[2], "board3d|board3d accelerator");

    Seen two;
    two.stopAfter = 2;
    EXPECT_EQ(DirectDrawEnumerateA(Collect, &two), DD_OK);
    EXPECT_EQ(two.names.size(), 2u);
    EXPECT_EQ(DirectDrawEnumerateA(nullptr, nullptr), DDERR_INVALIDPARAMS);
}

TEST(DirectDrawDrivers, CreateFindsDriversByGuidAndReportsTheirOwnCaps) {
    platform::InstallProfile(ThreeDrivers());
    IDirectDraw* dd = nullptr;
    GUID second = kSecond;
    ASSERT_EQ(DirectDrawCreate(&second, &dd, nullptr), DD_OK);
    DDCAPS hel{};
    DDCAPS hw = Caps(dd, &hel);
    EXPECT_EQ(hw.dwCaps, DDCAPS_BLT | DDCAPS_3D);
    EXPECT_EQ(hw.dwVidMemTotal, 4194304u);
    EXPECT_EQ(hw.dwSize, 380u);
    EXPECT_EQ(hel.dwCaps, DDCAPS_BLT);
    EXPECT_EQ(dd->Release(), 0u);

    GUID first = kFirst;
    ASSERT_EQ(DirectDrawCreate(&first, &dd, nullptr), DD_OK);
    EXPECT_EQ(Caps(dd).dwCaps & DDCAPS_3D, 0u);
    dd->Release();

    GUID unknown = kFirst;
    unknown.Data1 = 42;
    dd = reinterpret_cast<IDirectDraw*>(&unknown);
    EXPECT_EQ(DirectDrawCreate(&unknown, &dd, nullptr), DDERR_INVALIDDIRECTDRAWGUID);
    EXPECT_EQ(dd, nullptr);

    // A machine without a primary display driver has nothing for a null GUID.
    MachineProfile none;
    none.drivers.push_back(Secondary(kFirst, "board", DDCAPS_3D));
    platform::InstallProfile(none);
    EXPECT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DDERR_NODIRECTDRAWHW);
}

TEST(DirectDrawDrivers, ProductionCapsTellWhatTheSoftwareDoes) {
    Device dev;
    DDCAPS hel{};
    const DDCAPS hw = Caps(dev.dd, &hel);
    EXPECT_EQ(hw.dwCaps, DDCAPS_BLT | DDCAPS_BLTCOLORFILL | DDCAPS_CANCLIP | DDCAPS_CANBLTSYSMEM |
                             DDCAPS_GDI | DDCAPS_COLORKEY);
    EXPECT_EQ(hw.dwCKeyCaps, DDCKEYCAPS_SRCBLT | DDCKEYCAPS_DESTBLT);
    EXPECT_EQ(hw.dwCaps2 & DDCAPS2_CERTIFIED, 0u);
    EXPECT_EQ(hw.dwVidMemTotal, 0u);
    EXPECT_EQ(hw.dwVidMemFree, 0u);
    EXPECT_EQ(hel.dwCaps, hw.dwCaps);
    EXPECT_EQ(platform::CurrentProfile().displayFormat, PixelKind::RGB565);
    EXPECT_EQ(platform::CurrentProfile().creatableDevices,
              DWORD{platform::kDeviceRGB | platform::kDeviceMMX});

    // The IDirectDraw4 face reads the same records; bad sizes are refused untouched.
    DDCAPS hw4{};
    hw4.dwSize = sizeof(DDCAPS);
    EXPECT_EQ(dev.dd4->GetCaps(&hw4, nullptr), DD_OK);
    EXPECT_EQ(std::memcmp(&hw4, &hw, sizeof hw), 0);
    DDCAPS small{};
    small.dwSize = 100;
    EXPECT_EQ(dev.dd->GetCaps(&small, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(small.dwCaps, 0u);
    EXPECT_EQ(dev.dd4->GetCaps(nullptr, nullptr), DDERR_INVALIDPARAMS);
}

TEST(DirectDrawDevice, InterfacesShareOneObject) {
    IDirectDraw* dd = nullptr;
    ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    IDirectDraw4* dd4 = nullptr;
    ASSERT_EQ(dd->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&dd4)), DD_OK);
    IDirectDraw* back = nullptr;
    ASSERT_EQ(dd4->QueryInterface(IID_IDirectDraw, reinterpret_cast<void**>(&back)), DD_OK);
    EXPECT_EQ(back, dd);
    void* other = &dd;
    EXPECT_EQ(dd->QueryInterface(IID_IDirectDrawClipper, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(back->Release(), 2u);
    EXPECT_EQ(dd4->Release(), 1u);
    EXPECT_EQ(dd->Release(), 0u);
}

TEST(DirectDrawDevice, DisplayModeIsTheScreenInTheProfilesFormat) {
    platform::UseHeadlessBackend(800, 600);
    for (PixelKind kind : kAllKinds) {
        MachineProfile p = platform::ProductionProfile();
        p.displayFormat = kind;
        platform::InstallProfile(p);
        Device dev;
        DDSURFACEDESC2 d{};
        d.dwSize = kSurfaceDescSize;
        ASSERT_EQ(dev.dd4->GetDisplayMode(&d), DD_OK);
        EXPECT_EQ(d.dwWidth, 800u);
        EXPECT_EQ(d.dwHeight, 600u);
        DDPIXELFORMAT expected;
        platform::DescribePixelFormat(kind, &expected);
        EXPECT_EQ(std::memcmp(&d.ddpfPixelFormat, &expected, sizeof expected), 0) << KindName(kind);
        d.dwSize = 100;
        EXPECT_EQ(dev.dd4->GetDisplayMode(&d), DDERR_INVALIDPARAMS);
    }
}

TEST(DirectDrawDevice, SurfacesTakeTheDisplayFormatAndReportIt) {
    struct Expect {
        PixelKind kind;
        DWORD flags, bits, r, g, b;
    };
    const Expect table[] = {
        {PixelKind::Pal8, DDPF_PALETTEINDEXED8, 8, 0, 0, 0},
        {PixelKind::RGB555, DDPF_RGB, 16, 0x7C00, 0x03E0, 0x001F},
        {PixelKind::RGB565, DDPF_RGB, 16, 0xF800, 0x07E0, 0x001F},
        {PixelKind::XRGB8888, DDPF_RGB, 32, 0xFF0000, 0xFF00, 0xFF},
    };
    for (const Expect& e : table) {
        MachineProfile p = platform::ProductionProfile();
        p.displayFormat = e.kind;
        platform::InstallProfile(p);
        Device dev;
        DDSURFACEDESC2 desc = OffscreenDesc(33, 7);
        desc.ddsCaps.dwCaps |= DDSCAPS_3DDEVICE;
        IDirectDrawSurface4* s = nullptr;
        ASSERT_EQ(dev.dd4->CreateSurface(&desc, &s, nullptr), DD_OK);
        DDPIXELFORMAT f{};
        f.dwSize = sizeof f;
        ASSERT_EQ(s->GetPixelFormat(&f), DD_OK);
        EXPECT_EQ(f.dwFlags, e.flags) << KindName(e.kind);
        EXPECT_EQ(f.dwRGBBitCount, e.bits);
        EXPECT_EQ(f.dwRBitMask, e.r);
        EXPECT_EQ(f.dwGBitMask, e.g);
        EXPECT_EQ(f.dwBBitMask, e.b);
        DDSURFACEDESC2 got{};
        got.dwSize = kSurfaceDescSize;
        ASSERT_EQ(s->GetSurfaceDesc(&got), DD_OK);
        EXPECT_EQ(got.dwWidth, 33u);
        EXPECT_EQ(got.dwHeight, 7u);
        EXPECT_GE(got.lPitch, 33 * static_cast<int>(e.bits / 8));
        EXPECT_EQ(got.ddsCaps.dwCaps,
                  DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY);
        f.dwSize = 16;
        EXPECT_EQ(s->GetPixelFormat(&f), DDERR_INVALIDPARAMS);
        s->Release();
    }
}

TEST(DirectDrawDevice, BadSurfaceDescriptionsAreRefused) {
    Device dev;
    IDirectDrawSurface4* s = nullptr;
    auto create = [&](DDSURFACEDESC2 d) {
        s = reinterpret_cast<IDirectDrawSurface4*>(&dev);
        HRESULT hr = dev.dd4->CreateSurface(&d, &s, nullptr);
        if (hr != DD_OK) {
            EXPECT_EQ(s, nullptr);
        }
        return hr;
    };
    DDSURFACEDESC2 d = OffscreenDesc(10, 10);
    d.dwSize = 108;
    EXPECT_EQ(create(d), DDERR_INVALIDPARAMS);
    d = OffscreenDesc(10, 10);
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH;
    EXPECT_EQ(create(d), DDERR_INVALIDPARAMS);
    EXPECT_EQ(create(OffscreenDesc(0, 10)), DDERR_INVALIDPARAMS);
    EXPECT_EQ(create(OffscreenDesc(100000, 10)), DDERR_TOOBIGSIZE);
    d = OffscreenDesc(10, 10);
    d.ddsCaps.dwCaps |= 0x00100000;  // a capability surfaces here cannot have
    EXPECT_EQ(create(d), DDERR_INVALIDCAPS);
    d = OffscreenDesc(10, 10);
    d.ddsCaps.dwCaps |= DDSCAPS_SYSTEMMEMORY | DDSCAPS_VIDEOMEMORY;
    EXPECT_EQ(create(d), DDERR_INVALIDCAPS);
    d = OffscreenDesc(10, 10);
    d.dwFlags |= DDSD_PIXELFORMAT;
    d.ddpfPixelFormat.dwSize = 32;
    d.ddpfPixelFormat.dwFlags = DDPF_RGB;
    d.ddpfPixelFormat.dwRGBBitCount = 24;
    EXPECT_EQ(create(d), DDERR_INVALIDPIXELFORMAT);
    EXPECT_EQ(dev.dd4->CreateSurface(nullptr, &s, nullptr), DDERR_INVALIDPARAMS);

    // Video memory is only recorded; the surface works like any other.
    d = OffscreenDesc(10, 10);
    d.ddsCaps.dwCaps |= DDSCAPS_VIDEOMEMORY;
    ASSERT_EQ(create(d), DD_OK);
    DDSURFACEDESC2 got{};
    got.dwSize = kSurfaceDescSize;
    ASSERT_EQ(s->GetSurfaceDesc(&got), DD_OK);
    EXPECT_EQ(got.ddsCaps.dwCaps, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY);
    s->Release();
}

TEST(DirectDrawDevice, OnlyOnePrimarySurfaceAtATime) {
    platform::UseHeadlessBackend(320, 200);
    Device dev;
    IDirectDrawSurface4* primary = MakePrimary(dev.dd4);
    ASSERT_NE(primary, nullptr);
    DDSURFACEDESC2 d{};
    d.dwSize = kSurfaceDescSize;
    d.dwFlags = DDSD_CAPS;
    d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    IDirectDrawSurface4* second = nullptr;
    EXPECT_EQ(dev.dd4->CreateSurface(&d, &second, nullptr), DDERR_PRIMARYSURFACEALREADYEXISTS);
    DDSURFACEDESC2 got{};
    got.dwSize = kSurfaceDescSize;
    ASSERT_EQ(primary->GetSurfaceDesc(&got), DD_OK);
    EXPECT_EQ(got.dwWidth, 320u);
    EXPECT_EQ(got.dwHeight, 200u);
    d.dwFlags |= DDSD_WIDTH | DDSD_HEIGHT;
    d.dwWidth = d.dwHeight = 5;
    primary->Release();
    EXPECT_EQ(dev.dd4->CreateSurface(&d, &second, nullptr), DDERR_INVALIDPARAMS);
    d.dwFlags = DDSD_CAPS;
    EXPECT_EQ(dev.dd4->CreateSurface(&d, &second, nullptr), DD_OK);
    second->Release();
}

TEST(DirectDrawDevice, CooperativeLevels) {
    Device dev;
    HWND window = reinterpret_cast<HWND>(0x1234);
    EXPECT_EQ(dev.dd4->SetCooperativeLevel(window, DDSCL_NORMAL), DD_OK);
    EXPECT_EQ(dev.dd4->SetCooperativeLevel(window, 0), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dev.dd4->SetCooperativeLevel(window, DDSCL_FULLSCREEN), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dev.dd4->SetCooperativeLevel(nullptr, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE),
              DDERR_INVALIDPARAMS);
    EXPECT_EQ(dev.dd4->SetCooperativeLevel(window, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE), DD_OK);
    EXPECT_EQ(dev.dd4->SetCooperativeLevel(window, DDSCL_NORMAL | DDSCL_EXCLUSIVE),
              DDERR_INVALIDPARAMS);
    EXPECT_EQ(dev.dd4->FlipToGDISurface(), DD_OK);
}

TEST(DirectDrawDevice, EachSurfaceIsReleasedOnceAndTheTraceShowsIt) {
    Device dev;
    platform::StartTrace();
    IDirectDrawSurface4* a = MakeSurface(dev.dd4, 4, 4, PixelKind::RGB565);
    IDirectDrawSurface4* b = MakeSurface(dev.dd4, 4, 4, PixelKind::RGB565);
    const unsigned idA = platform::Surface::From(a)->id();
    const unsigned idB = platform::Surface::From(b)->id();
    EXPECT_NE(idA, idB);
    EXPECT_EQ(a->AddRef(), 2u);
    EXPECT_EQ(a->Release(), 1u);
    EXPECT_EQ(b->Release(), 0u);
    EXPECT_EQ(a->Release(), 0u);
    std::vector<std::string> releases;
    std::vector<std::string> creates;
    for (const platform::TraceEntry& e : platform::Trace()) {
        if (e.op == "IDirectDrawSurface4::Release")
            releases.push_back(e.args);
        if (e.op == "IDirectDraw4::CreateSurface")
            creates.push_back(e.args.substr(0, e.args.find(' ')));
    }
    const std::string a1 = "id=" + std::to_string(idA);
    const std::string b1 = "id=" + std::to_string(idB);
    EXPECT_EQ(creates, (std::vector<std::string>{a1, b1}));
    EXPECT_EQ(releases, (std::vector<std::string>{a1 + " refs=1", b1 + " refs=0", a1 + " refs=0"}));
}

TEST(DirectDrawDevice, ThePrimaryHoldsTheOnlyReferenceToItsClipper) {
    Device dev;
    IDirectDrawSurface4* primary = MakePrimary(dev.dd4);
    IDirectDrawClipper* clipper = nullptr;
    ASSERT_EQ(dev.dd4->CreateClipper(0, &clipper, nullptr), DD_OK);
    EXPECT_EQ(clipper->SetHWnd(0, reinterpret_cast<HWND>(0x10)), DD_OK);
    EXPECT_EQ(clipper->SetHWnd(1, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(primary->SetClipper(clipper), DD_OK);
    EXPECT_EQ(clipper->Release(), 1u);
    platform::StartTrace();
    EXPECT_EQ(primary->Release(), 0u);
    EXPECT_EQ(platform::TraceOps("IDirectDrawClipper"),
              (std::vector<std::string>{"IDirectDrawClipper::Release"}));
    EXPECT_EQ(platform::Trace().back().args, "refs=0");
}

// Every hooked operation fails with the armed code and changes nothing.
TEST(DirectDrawFaults, ArmedOperationsFailWithTheirCodeBeforeDoingAnything) {
    platform::UseHeadlessBackend(64, 64);
    Device dev;
    IDirectDrawSurface4* s = MakeSurface(dev.dd4, 8, 8, PixelKind::RGB565);
    IDirectDrawSurface4* src = MakeSurface(dev.dd4, 8, 8, PixelKind::RGB565);
    const HRESULT code = DDERR_SURFACELOST;
    auto armed = [&](const char* op) {
        platform::ResetHooks();
        platform::FailCall(op, 1, code);
    };

    armed("DirectDrawEnumerateA");
    Seen seen;
    EXPECT_EQ(DirectDrawEnumerateA(Collect, &seen), code);
    EXPECT_TRUE(seen.names.empty());

    armed("DirectDrawCreate");
    IDirectDraw* dd = reinterpret_cast<IDirectDraw*>(&seen);
    EXPECT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), code);
    EXPECT_EQ(dd, reinterpret_cast<IDirectDraw*>(&seen));

    DDCAPS caps{};
    caps.dwSize = sizeof caps;
    armed("IDirectDraw::GetCaps");
    EXPECT_EQ(dev.dd->GetCaps(&caps, nullptr), code);
    EXPECT_EQ(caps.dwCaps, 0u);
    armed("IDirectDraw4::GetCaps");
    EXPECT_EQ(dev.dd4->GetCaps(&caps, nullptr), code);
    EXPECT_EQ(caps.dwCaps, 0u);

    armed("IDirectDraw::QueryInterface");
    void* out = &seen;
    EXPECT_EQ(dev.dd->QueryInterface(IID_IDirectDraw4, &out), code);
    EXPECT_EQ(out, &seen);

    armed("IDirectDraw4::GetDisplayMode");
    DDSURFACEDESC2 mode{};
    mode.dwSize = kSurfaceDescSize;
    EXPECT_EQ(dev.dd4->GetDisplayMode(&mode), code);
    EXPECT_EQ(mode.dwWidth, 0u);

    armed("IDirectDraw4::SetCooperativeLevel");
    EXPECT_EQ(dev.dd4->SetCooperativeLevel(nullptr, DDSCL_NORMAL), code);

    armed("IDirectDraw4::CreateSurface");
    const unsigned nextId = platform::NextSurfaceId();
    DDSURFACEDESC2 desc = OffscreenDesc(4, 4);
    IDirectDrawSurface4* made = nullptr;
    EXPECT_EQ(dev.dd4->CreateSurface(&desc, &made, nullptr), code);
    EXPECT_EQ(made, nullptr);
    EXPECT_EQ(platform::NextSurfaceId(), nextId);

    armed("IDirectDraw4::CreateClipper");
    IDirectDrawClipper* clipper = nullptr;
    EXPECT_EQ(dev.dd4->CreateClipper(0, &clipper, nullptr), code);
    EXPECT_EQ(clipper, nullptr);

    armed("IDirectDraw4::FlipToGDISurface");
    EXPECT_EQ(dev.dd4->FlipToGDISurface(), code);

    armed("IDirectDrawSurface4::Blt");
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwFillColor = 0x1234;
    EXPECT_EQ(s->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), code);
    EXPECT_EQ(Get(Pixels(s), 0, 0), 0u);

    armed("IDirectDrawSurface4::GetDC");
    HDC dc = nullptr;
    EXPECT_EQ(s->GetDC(&dc), code);
    EXPECT_EQ(dc, nullptr);
    platform::ResetHooks();
    ASSERT_EQ(s->GetDC(&dc), DD_OK);
    armed("IDirectDrawSurface4::ReleaseDC");
    EXPECT_EQ(s->ReleaseDC(dc), code);
    EXPECT_EQ(s->GetDC(&dc), DDERR_DCALREADYCREATED);  // still held
    EXPECT_EQ(s->ReleaseDC(dc), DD_OK);

    armed("IDirectDrawSurface4::SetColorKey");
    DDCOLORKEY key{5, 5};
    EXPECT_EQ(src->SetColorKey(DDCKEY_SRCBLT, &key), code);
    EXPECT_EQ(s->Blt(nullptr, src, nullptr, DDBLT_KEYSRC, nullptr), DDERR_INVALIDPARAMS);

    platform::ResetHooks();
    ASSERT_EQ(dev.dd4->CreateClipper(0, &clipper, nullptr), DD_OK);
    armed("IDirectDrawClipper::SetHWnd");
    EXPECT_EQ(clipper->SetHWnd(0, reinterpret_cast<HWND>(0x10)), code);
    clipper->Release();

    // Release cannot fail: an armed fault is ignored and the surface still goes.
    armed("IDirectDrawSurface4::Release");
    EXPECT_EQ(src->Release(), 0u);
    platform::ResetHooks();
    s->Release();
}
