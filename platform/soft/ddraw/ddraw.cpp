// DirectDraw drivers, the DirectDraw object with its IDirectDraw and IDirectDraw4 faces,
// and the clipper. Surfaces are in ddraw_surface.cpp.
#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/backend.h"
#include "platform/d3d.h"
#include "platform/soft/ddraw/ddraw_internal.h"

const IID IID_IDirectDraw = {
    0x4b1e0101, 0x7a31, 0x4c02, {0x90, 0x00, 0x47, 0x4c, 0x49, 0x42, 0x01, 0x01}};
const IID IID_IDirectDraw4 = {
    0x4b1e0104, 0x7a31, 0x4c02, {0x90, 0x00, 0x47, 0x4c, 0x49, 0x42, 0x01, 0x04}};
const IID IID_IDirectDrawSurface4 = {
    0x4b1e0204, 0x7a31, 0x4c02, {0x90, 0x00, 0x47, 0x4c, 0x49, 0x42, 0x02, 0x04}};
const IID IID_IDirectDrawClipper = {
    0x4b1e0301, 0x7a31, 0x4c02, {0x90, 0x00, 0x47, 0x4c, 0x49, 0x42, 0x03, 0x01}};

namespace platform {

namespace {

std::optional<MachineProfile>& Installed() {
    static std::optional<MachineProfile> profile;
    return profile;
}

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" or "null", for the trace.
struct GuidText {
    char text[48];
    explicit GuidText(const GUID* g) {
        if (!g) {
            std::snprintf(text, sizeof text, "null");
            return;
        }
        std::snprintf(text, sizeof text, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                      g->Data1, g->Data2, g->Data3, g->Data4[0], g->Data4[1], g->Data4[2],
                      g->Data4[3], g->Data4[4], g->Data4[5], g->Data4[6], g->Data4[7]);
    }
};

const char* IidName(REFIID iid) {
    if (iid == IID_IUnknown)
        return "IUnknown";
    if (iid == IID_IDirectDraw)
        return "IDirectDraw";
    if (iid == IID_IDirectDraw4)
        return "IDirectDraw4";
    if (iid == IID_IDirect3D3)
        return "IDirect3D3";
    if (iid == IID_IDirectDrawSurface4)
        return "IDirectDrawSurface4";
    if (iid == IID_IDirectDrawClipper)
        return "IDirectDrawClipper";
    return "other";
}

HRESULT CopyCaps(const DriverProfile& driver, DDCAPS* driverCaps, DDCAPS* emulationCaps) {
    if (!driverCaps && !emulationCaps)
        return DDERR_INVALIDPARAMS;
    if ((driverCaps && driverCaps->dwSize != sizeof(DDCAPS)) ||
        (emulationCaps && emulationCaps->dwSize != sizeof(DDCAPS)))
        return DDERR_INVALIDPARAMS;
    if (driverCaps) {
        *driverCaps = driver.driverCaps;
        driverCaps->dwSize = sizeof(DDCAPS);
    }
    if (emulationCaps) {
        *emulationCaps = driver.emulationCaps;
        emulationCaps->dwSize = sizeof(DDCAPS);
    }
    return DD_OK;
}

// A pixel format given in a surface description, as one of the kinds surfaces can have.
bool KindFromFormat(const DDPIXELFORMAT& f, PixelKind* kind) {
    if ((f.dwFlags & DDPF_PALETTEINDEXED8) && f.dwRGBBitCount == 8) {
        *kind = PixelKind::Pal8;
        return true;
    }
    if (!(f.dwFlags & DDPF_RGB))
        return false;
    if (f.dwRGBBitCount == 16 && f.dwRBitMask == 0xF800 && f.dwGBitMask == 0x07E0 &&
        f.dwBBitMask == 0x001F) {
        *kind = PixelKind::RGB565;
        return true;
    }
    if (f.dwRGBBitCount == 16 && f.dwRBitMask == 0x7C00 && f.dwGBitMask == 0x03E0 &&
        f.dwBBitMask == 0x001F) {
        *kind = PixelKind::RGB555;
        return true;
    }
    if (f.dwRGBBitCount == 32 && f.dwRBitMask == 0x00FF0000 && f.dwGBitMask == 0x0000FF00 &&
        f.dwBBitMask == 0x000000FF) {
        *kind = PixelKind::XRGB8888;
        return true;
    }
    return false;
}

constexpr DWORD kKnownSurfaceCaps = DDSCAPS_3DDEVICE | DDSCAPS_OFFSCREENPLAIN |
                                    DDSCAPS_PRIMARYSURFACE | DDSCAPS_SYSTEMMEMORY |
                                    DDSCAPS_VIDEOMEMORY | DDSCAPS_ZBUFFER;
constexpr int kMaxSurfaceSide = 16384;

class DirectDraw final : public ComObject<IDirectDraw> {
public:
    explicit DirectDraw(const DriverProfile& driver)
        : ComObject("IDirectDraw::Release", &IID_IDirectDraw), driver_(driver), four_(this) {}

    HRESULT QueryInterface(REFIID iid, void** out) override {
        HRESULT hr = PLATFORM_HOOK("IDirectDraw::QueryInterface", "iid=%s", IidName(iid));
        if (hr != 0)
            return hr;
        if (!out)
            return DDERR_INVALIDPARAMS;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDirectDraw) {
            AddRef();
            *out = static_cast<IDirectDraw*>(this);
            return DD_OK;
        }
        if (iid == IID_IDirectDraw4) {
            AddRef();
            *out = static_cast<IDirectDraw4*>(&four_);
            return DD_OK;
        }
        if (iid == IID_IDirect3D3) {
            IDirect3D3* d3d = nullptr;
            hr = CreateDirect3D(this, &d3d);
            *out = d3d;
            return hr;
        }
        return E_NOINTERFACE;
    }
    HRESULT GetCaps(DDCAPS* driverCaps, DDCAPS* emulationCaps) override {
        HRESULT hr = PLATFORM_HOOK("IDirectDraw::GetCaps", "driver=%s", driver_.name.c_str());
        if (hr != 0)
            return hr;
        return CopyCaps(driver_, driverCaps, emulationCaps);
    }

private:
    ~DirectDraw() override = default;

    struct Four final : IDirectDraw4 {
        explicit Four(DirectDraw* o) : owner(o) {}
        DirectDraw* owner;

        HRESULT QueryInterface(REFIID iid, void** out) override {
            return owner->QueryInterface(iid, out);
        }
        ULONG AddRef() override { return owner->AddRef(); }
        ULONG Release() override { return owner->Release(); }

        HRESULT GetCaps(DDCAPS* driverCaps, DDCAPS* emulationCaps) override {
            HRESULT hr =
                PLATFORM_HOOK("IDirectDraw4::GetCaps", "driver=%s", owner->driver_.name.c_str());
            if (hr != 0)
                return hr;
            return CopyCaps(owner->driver_, driverCaps, emulationCaps);
        }

        HRESULT GetDisplayMode(DDSURFACEDESC2* desc) override {
            HRESULT hr =
                PLATFORM_HOOK("IDirectDraw4::GetDisplayMode", "size=%u", desc ? desc->dwSize : 0);
            if (hr != 0)
                return hr;
            if (!desc || desc->dwSize != kSurfaceDescSize)
                return DDERR_INVALIDPARAMS;
            int w = 0, h = 0;
            DisplaySize(&w, &h);
            const PixelKind kind = CurrentProfile().displayFormat;
            std::memset(desc, 0, sizeof *desc);
            desc->dwSize = kSurfaceDescSize;
            desc->dwFlags = DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT;
            desc->dwWidth = static_cast<DWORD>(w);
            desc->dwHeight = static_cast<DWORD>(h);
            desc->lPitch = w * BytesPerPixel(kind);
            DescribePixelFormat(kind, &desc->ddpfPixelFormat);
            return DD_OK;
        }

        HRESULT SetCooperativeLevel(HWND hwnd, DWORD flags) override {
            HRESULT hr = PLATFORM_HOOK("IDirectDraw4::SetCooperativeLevel", "hwnd=%p flags=0x%08x",
                                       static_cast<void*>(hwnd), flags);
            if (hr != 0)
                return hr;
            const bool normal = (flags & DDSCL_NORMAL) != 0;
            const bool exclusive = (flags & (DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE)) != 0;
            if (normal == exclusive)
                return DDERR_INVALIDPARAMS;  // exactly one of the two modes
            if (exclusive && ((flags & DDSCL_FULLSCREEN) == 0 || (flags & DDSCL_EXCLUSIVE) == 0 ||
                              hwnd == nullptr))
                return DDERR_INVALIDPARAMS;
            // The display mode never changes here, so the level is only remembered.
            owner->coopWindow_ = hwnd;
            owner->coopFlags_ = flags;
            return DD_OK;
        }

        HRESULT CreateSurface(DDSURFACEDESC2* desc, IDirectDrawSurface4** out,
                              IUnknown* outer) override {
            const unsigned id = NextSurfaceId();
            HRESULT hr = PLATFORM_HOOK("IDirectDraw4::CreateSurface",
                                       "id=%u flags=0x%08x caps=0x%08x width=%u height=%u", id,
                                       desc ? desc->dwFlags : 0, desc ? desc->ddsCaps.dwCaps : 0,
                                       desc ? desc->dwWidth : 0, desc ? desc->dwHeight : 0);
            if (hr != 0)
                return hr;
            if (out)
                *out = nullptr;
            if (!desc || !out || outer || desc->dwSize != kSurfaceDescSize)
                return DDERR_INVALIDPARAMS;
            const DWORD caps = (desc->dwFlags & DDSD_CAPS) ? desc->ddsCaps.dwCaps : 0;
            if (caps & ~kKnownSurfaceCaps)
                return DDERR_INVALIDCAPS;
            if ((caps & DDSCAPS_SYSTEMMEMORY) && (caps & DDSCAPS_VIDEOMEMORY))
                return DDERR_INVALIDCAPS;
            const bool primary = (caps & DDSCAPS_PRIMARYSURFACE) != 0;
            PixelKind kind = CurrentProfile().displayFormat;
            Surface* surface = nullptr;
            if (primary) {
                if (caps & (DDSCAPS_OFFSCREENPLAIN | DDSCAPS_ZBUFFER))
                    return DDERR_INVALIDCAPS;
                if (desc->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT))
                    return DDERR_INVALIDPARAMS;  // the screen's size and format are given
                int w = 0, h = 0;
                DisplaySize(&w, &h);
                hr = Surface::Create(true, caps, w, h, kind, &surface);
            } else {
                if ((desc->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT)) != (DDSD_WIDTH | DDSD_HEIGHT))
                    return DDERR_INVALIDPARAMS;
                if (desc->dwWidth == 0 || desc->dwHeight == 0)
                    return DDERR_INVALIDPARAMS;
                if (desc->dwWidth > kMaxSurfaceSide || desc->dwHeight > kMaxSurfaceSide)
                    return DDERR_TOOBIGSIZE;
                // A depth buffer names its depth in the pixel format: 16 or 32 bits, every
                // bit of it depth.
                int depthBits = 0;
                if (caps & DDSCAPS_ZBUFFER) {
                    if (caps & (DDSCAPS_3DDEVICE | DDSCAPS_OFFSCREENPLAIN))
                        return DDERR_INVALIDCAPS;
                    const DDPIXELFORMAT& f = desc->ddpfPixelFormat;
                    if (!(desc->dwFlags & DDSD_PIXELFORMAT) || !(f.dwFlags & DDPF_ZBUFFER))
                        return DDERR_INVALIDPIXELFORMAT;
                    if (f.dwZBufferBitDepth == 16 && f.dwZBitMask == 0xFFFF)
                        kind = PixelKind::RGB565;
                    else if (f.dwZBufferBitDepth == 32 && f.dwZBitMask == 0xFFFFFFFF)
                        kind = PixelKind::XRGB8888;
                    else
                        return DDERR_INVALIDPIXELFORMAT;
                    depthBits = static_cast<int>(f.dwZBufferBitDepth);
                } else if ((desc->dwFlags & DDSD_PIXELFORMAT) &&
                           !KindFromFormat(desc->ddpfPixelFormat, &kind)) {
                    return DDERR_INVALIDPIXELFORMAT;
                }
                hr = Surface::Create(false, caps, static_cast<int>(desc->dwWidth),
                                     static_cast<int>(desc->dwHeight), kind, &surface);
                if (hr == DD_OK && depthBits)
                    surface->MakeDepth(depthBits);
            }
            if (hr != DD_OK)
                return hr;
            if (desc->dwFlags & DDSD_CKSRCBLT)
                surface->SetColorKey(DDCKEY_SRCBLT, &desc->ddckCKSrcBlt);
            if (desc->dwFlags & DDSD_CKDESTBLT)
                surface->SetColorKey(DDCKEY_DESTBLT, &desc->ddckCKDestBlt);
            *out = surface;
            return DD_OK;
        }

        HRESULT CreateClipper(DWORD flags, IDirectDrawClipper** out, IUnknown* outer) override {
            HRESULT hr = PLATFORM_HOOK("IDirectDraw4::CreateClipper", "flags=0x%08x", flags);
            if (hr != 0)
                return hr;
            if (out)
                *out = nullptr;
            if (!out || outer || flags != 0)
                return DDERR_INVALIDPARAMS;
            Clipper* clipper = new (std::nothrow) Clipper();
            if (!clipper) {
                *out = nullptr;
                return DDERR_OUTOFMEMORY;
            }
            *out = clipper;
            return DD_OK;
        }

        HRESULT FlipToGDISurface() override {
            HRESULT hr = PLATFORM_HOOK("IDirectDraw4::FlipToGDISurface", "%s", "");
            if (hr != 0)
                return hr;
            // Windowed, nothing is ever flipped away from the desktop.
            return DD_OK;
        }
    };

    DriverProfile driver_;
    HWND coopWindow_ = nullptr;
    DWORD coopFlags_ = 0;
    Four four_;
};

unsigned nextSurfaceId = 1;

}  // namespace

// ---- The emulated machine --------------------------------------------------------------

MachineProfile ProductionProfile() {
    MachineProfile profile;
    DriverProfile display;
    display.isDefault = true;
    display.description = "Software display driver";
    display.name = "display";
    DDCAPS& caps = display.driverCaps;
    caps.dwSize = sizeof(DDCAPS);
    caps.dwCaps = DDCAPS_BLT | DDCAPS_BLTCOLORFILL | DDCAPS_CANCLIP | DDCAPS_CANBLTSYSMEM |
                  DDCAPS_GDI | DDCAPS_COLORKEY;
    caps.dwCKeyCaps = DDCKEYCAPS_SRCBLT | DDCKEYCAPS_DESTBLT;
    caps.dwVidMemTotal = 0;
    caps.dwVidMemFree = 0;
    caps.ddsCaps.dwCaps =
        DDSCAPS_OFFSCREENPLAIN | DDSCAPS_PRIMARYSURFACE | DDSCAPS_SYSTEMMEMORY | DDSCAPS_3DDEVICE;
    display.emulationCaps = caps;  // everything is emulated, so both records agree
    profile.drivers.push_back(display);
    profile.displayFormat = PixelKind::RGB565;
    profile.creatableDevices = kDeviceRGB | kDeviceMMX;
    return profile;
}

void InstallProfile(const MachineProfile& profile) {
    Installed() = profile;
}

const MachineProfile& CurrentProfile() {
    std::optional<MachineProfile>& p = Installed();
    if (!p)
        p = ProductionProfile();
    return *p;
}

unsigned NextSurfaceId() {
    return nextSurfaceId;
}

unsigned TakeSurfaceId() {
    return nextSurfaceId++;
}

void DisplaySize(int* width, int* height) {
    *width = 0;
    *height = 0;
    CurrentBackend().ScreenSize(width, height);
}

void DescribePixelFormat(PixelKind kind, DDPIXELFORMAT* f) {
    std::memset(f, 0, sizeof *f);
    f->dwSize = sizeof(DDPIXELFORMAT);
    switch (kind) {
        case PixelKind::Pal8:
            f->dwFlags = DDPF_PALETTEINDEXED8;
            f->dwRGBBitCount = 8;
            break;
        case PixelKind::RGB555:
            f->dwFlags = DDPF_RGB;
            f->dwRGBBitCount = 16;
            f->dwRBitMask = 0x7C00;
            f->dwGBitMask = 0x03E0;
            f->dwBBitMask = 0x001F;
            break;
        case PixelKind::RGB565:
            f->dwFlags = DDPF_RGB;
            f->dwRGBBitCount = 16;
            f->dwRBitMask = 0xF800;
            f->dwGBitMask = 0x07E0;
            f->dwBBitMask = 0x001F;
            break;
        case PixelKind::XRGB8888:
            f->dwFlags = DDPF_RGB;
            f->dwRGBBitCount = 32;
            f->dwRBitMask = 0x00FF0000;
            f->dwGBitMask = 0x0000FF00;
            f->dwBBitMask = 0x000000FF;
            break;
    }
}

bool GetPixelBuffer(IDirectDrawSurface4* surface, PixelBuffer* out) {
    Surface* s = Surface::From(surface);
    if (!s || s->primary() || !out)
        return false;
    s->GiveRawAccess();
    *out = s->buffer();
    return true;
}

// ---- Clipper ---------------------------------------------------------------------------

HRESULT Clipper::SetHWnd(DWORD flags, HWND hwnd) {
    HRESULT hr = PLATFORM_HOOK("IDirectDrawClipper::SetHWnd", "flags=0x%08x hwnd=%p", flags,
                               static_cast<void*>(hwnd));
    if (hr != 0)
        return hr;
    if (flags != 0)
        return DDERR_INVALIDPARAMS;
    hwnd_ = hwnd;
    return DD_OK;
}

}  // namespace platform

// ---- Entry points ----------------------------------------------------------------------

HRESULT DirectDrawEnumerateA(LPDDENUMCALLBACKA callback, void* context) {
    const platform::MachineProfile& profile = platform::CurrentProfile();
    HRESULT hr = PLATFORM_HOOK("DirectDrawEnumerateA", "drivers=%zu", profile.drivers.size());
    if (hr != 0)
        return hr;
    if (!callback)
        return DDERR_INVALIDPARAMS;
    // The callback gets copies: it may create devices, and the strings are writable.
    const std::vector<platform::DriverProfile> drivers = profile.drivers;
    for (const platform::DriverProfile& d : drivers) {
        GUID guid = d.guid;
        std::string description = d.description;
        std::string name = d.name;
        if (!callback(d.isDefault ? nullptr : &guid, description.data(), name.data(), context))
            break;
    }
    return DD_OK;
}

HRESULT DirectDrawCreate(GUID* guid, IDirectDraw** out, IUnknown* outer) {
    HRESULT hr = PLATFORM_HOOK("DirectDrawCreate", "guid=%s", platform::GuidText(guid).text);
    if (hr != 0)
        return hr;
    if (!out || outer)
        return DDERR_INVALIDPARAMS;
    *out = nullptr;
    const platform::DriverProfile* found = nullptr;
    for (const platform::DriverProfile& d : platform::CurrentProfile().drivers) {
        if (guid ? (!d.isDefault && d.guid == *guid) : d.isDefault) {
            found = &d;
            break;
        }
    }
    if (!found)
        return guid ? DDERR_INVALIDDIRECTDRAWGUID : DDERR_NODIRECTDRAWHW;
    auto* dd = new (std::nothrow) platform::DirectDraw(*found);
    if (!dd)
        return DDERR_OUTOFMEMORY;
    *out = dd;
    return DD_OK;
}
