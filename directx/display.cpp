// Display start-up: the choice of the DirectDraw device, the capability report in the run
// log, the colour-key decision, the primary surface, the back buffer and its clipper, and
// the factory of sprite surfaces.
#include "directx/display.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "directx/diag.h"
#include "platform/gdi.h"

DisplayContextRecord DisplayContext;
Object3D* shipObject = nullptr;
Object3D* cameraObject = nullptr;

namespace {

constexpr const char* kModule = "directx";

// Start-up goes on without "caps.txt" (the report then shows a device without
// capabilities); standard error says so once.
bool capsFileMissingSaid = false;

void SayCapsFileMissing(int error) {
    if (capsFileMissingSaid)
        return;
    capsFileMissingSaid = true;
    fprintf(stderr, "Game Library: cannot create \"caps.txt\" (%s); going on without it.\n",
            OpenErrorText(error));
}
// Video memory a destination-keyed back buffer needs per byte of pixel depth.
constexpr uint64_t kDestKeyMemoryPerByte = 2097152;

void PrepareCaps(DDCAPS* driverCaps, DDCAPS* emulationCaps) {
    memset(driverCaps, 0, sizeof *driverCaps);
    memset(emulationCaps, 0, sizeof *emulationCaps);
    driverCaps->dwSize = sizeof *driverCaps;
    emulationCaps->dwSize = sizeof *emulationCaps;
}

// Writes the driver's capabilities to the run log and decides the colour keying: hardware
// destination keys only for a device that keys destinations but not sources and has the
// video memory for it; every other device gets a source key on each sprite surface.
void WriteCapabilityReport(const DDCAPS& caps, uint16_t bitsPerPixel) {
    const DWORD c = caps.dwCaps;
    RunLogPrintf("Free video memory = %d\n", static_cast<int>(caps.dwVidMemFree));
    if (caps.dwCaps2 & DDCAPS2_CERTIFIED)
        RunLogPrintf("Certified driver found!\n");
    else
        RunLogPrintf("Not certified driver!\n");
    if (c & DDCAPS_NOHARDWARE)
        RunLogPrintf("No hardware support at all\n");
    if (c & DDCAPS_3D)
        RunLogPrintf("Has 3D acceleration. \n");
    if (c & DDCAPS_ALIGNBOUNDARYDEST)
        RunLogPrintf("Dest rect x-axis must aligned to %d boundaries\n",
                     static_cast<int>(caps.dwAlignBoundaryDest));
    if (c & DDCAPS_ALIGNBOUNDARYSRC)
        RunLogPrintf("Src rect x-axis must aligned to %d boundaries\n",
                     static_cast<int>(caps.dwAlignBoundarySrc));
    if (c & DDCAPS_ALIGNSIZESRC)
        RunLogPrintf("Src rect x-axis size must aligned to %d bytes\n",
                     static_cast<int>(caps.dwAlignSizeSrc));
    if (c & DDCAPS_ALIGNSIZEDEST)
        RunLogPrintf("Dest rect x-axis size must aligned to %d bytes\n",
                     static_cast<int>(caps.dwAlignSizeDest));
    if (c & DDCAPS_ALIGNSTRIDE)
        RunLogPrintf("Display memory surfaces have a stride alignment of %d\n",
                     static_cast<int>(caps.dwAlignStrideAlign));
    if (c & DDCAPS_ALPHA)
        RunLogPrintf("Supports an alpha channel during blit operations. \n");
    if (c & DDCAPS_BANKSWITCHED) {
        RunLogPrintf("Bank switched\n");
        DisplayContext.bankSwitched = 1;
    } else {
        DisplayContext.bankSwitched = 0;
    }
    if (c & DDCAPS_BLT)
        RunLogPrintf("Capable of blit operations. \n");
    if (c & DDCAPS_BLTDEPTHFILL)
        RunLogPrintf("Capable of depth filling z-buffers with blitter. \n");
    if (c & DDCAPS_CANBLTSYSMEM)
        RunLogPrintf("Capable of blitting to or from system memory. \n");
    if (c & DDCAPS_CANCLIP)
        RunLogPrintf("Capable of clipping with blitting. \n");
    if (c & DDCAPS_COLORKEYHWASSIST)
        RunLogPrintf("Color key is hardware assisted. \n");
    if (c & DDCAPS_GDI)
        RunLogPrintf("Shared with GDI. \n");
    if (c & DDCAPS_VBI)
        RunLogPrintf("Capable of generating a vertical blank interrupt. \n");
    else
        RunLogPrintf("Not capable of generating a vertical blank interrupt. \n");
    if (c & DDCAPS_BLTCOLORFILL)
        RunLogPrintf("Device supports color fill\n");
    else
        RunLogPrintf("Device does not support color fill\n");
    if (c & DDCAPS_COLORKEY) {
        const bool srcKey = (caps.dwCKeyCaps & DDCKEYCAPS_SRCBLT) != 0;
        if (srcKey)
            RunLogPrintf("Can do Src colorkey in hardware\n");
        if (caps.dwCKeyCaps & DDCKEYCAPS_DESTBLT) {
            RunLogPrintf("Can do Dest colorkey in hardware\n");
            if (!srcKey) {
                // 64-bit so that no requested depth can wrap the product.
                const uint64_t need = (bitsPerPixel / 8u) * kDestKeyMemoryPerByte;
                if (caps.dwVidMemTotal < need) {
                    RunLogPrintf("Not enough vram to do dest color key.\n");
                } else {
                    RunLogPrintf("Using destination color key\n");
                    DisplayContext.hardwareDestColorKey = 1;
                }
            }
        }
    } else {
        RunLogPrintf("Can't do color key in hardware!\n");
    }
    if (c & DDCAPS_3D)
        RunLogPrintf("3D hardware present!\n");
    else
        RunLogPrintf("No 3D hardware present!\n");
}

DDSURFACEDESC2 SurfaceDesc() {
    DDSURFACEDESC2 desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    return desc;
}

}  // namespace

int InitDisplay(HWND window, unsigned width, unsigned height, unsigned bitsPerPixel, int want3D,
                unsigned viewportX, unsigned viewportY, unsigned viewportWidth,
                unsigned viewportHeight) {
    if (!SetUpDisplay(window, width, height, bitsPerPixel, want3D, viewportX, viewportY,
                      viewportWidth, viewportHeight))
        return 0;
    // The test scene needs the 3D device; without one there is none.
    if (DisplayContext.want3D)
        CreateSceneObjects();
    return 1;
}

int SetUpDisplay(HWND window, unsigned width, unsigned height, unsigned bitsPerPixel, int want3D,
                 unsigned viewportX, unsigned viewportY, unsigned viewportWidth,
                 unsigned viewportHeight) {
    const uint16_t w = static_cast<uint16_t>(width);
    const uint16_t h = static_cast<uint16_t>(height);
    const uint16_t bpp = static_cast<uint16_t>(bitsPerPixel);
    DisplayContext.want3D = want3D != 0;

    HRESULT hr = DirectDrawEnumerateA(DeviceEnumCallback, &DisplayContext.directDraw);
    if (hr != DD_OK) {
        ReportDirectDrawError(hr, kModule, 416);
        return 0;
    }
    // No secondary device was chosen: use the default display driver.
    if (!DisplayContext.directDraw) {
        hr = DirectDrawCreate(nullptr, &DisplayContext.directDraw, nullptr);
        if (hr != DD_OK) {
            ReportDirectDrawError(hr, kModule, 419);
            return 0;
        }
    }
    hr = DisplayContext.directDraw->QueryInterface(
        IID_IDirectDraw4, reinterpret_cast<void**>(&DisplayContext.directDraw4));
    if (hr != DD_OK) {
        ReportDirectDrawError(hr, kModule, 423);
        return 0;
    }
    DDSURFACEDESC2 mode = SurfaceDesc();
    hr = DisplayContext.directDraw4->GetDisplayMode(&mode);
    if (hr != DD_OK) {
        ReportDirectDrawError(hr, kModule, 436);
        return 0;
    }

    // "caps.txt" is created (or emptied) and stays empty; the report goes to the run log.
    // When the file cannot be created the records stay zero and the report shows a device
    // without capabilities.
    DDCAPS driverCaps;
    DDCAPS emulationCaps;
    memset(&driverCaps, 0, sizeof driverCaps);
    memset(&emulationCaps, 0, sizeof emulationCaps);
    FILE* capsFile = platform::OpenWritableFile("caps.txt", "w+");
    if (capsFile == nullptr)
        SayCapsFileMissing(errno);
    if (capsFile) {
        PrepareCaps(&driverCaps, &emulationCaps);
        hr = DisplayContext.directDraw4->GetCaps(&driverCaps, &emulationCaps);
        if (hr != DD_OK) {
            CloseCapsFile(capsFile);
            ReportDirectDrawError(hr, kModule, 443);
            return 0;
        }
    }
    WriteCapabilityReport(driverCaps, bpp);
    if (capsFile)
        CloseCapsFile(capsFile);

    if (!CreateDisplaySurfaces(window, w, h, bpp))
        return 0;
    if (!DisplayContext.want3D)
        return 1;
    // The device takes the depth buffer attached to its render target when it is made.
    if (DisplayContext.wantDepthBuffer && !CreateDepthBuffer())
        return 0;
    return CreateDirect3DDevice(viewportX, viewportY, viewportWidth, viewportHeight) ? 1 : 0;
}

BOOL WINAPI DeviceEnumCallback(GUID* guid, LPSTR, LPSTR, void* context) {
    // The default display driver is taken only when no secondary device qualifies.
    if (!guid)
        return DDENUMRET_OK;
    IDirectDraw** chosen = static_cast<IDirectDraw**>(context);
    IDirectDraw* device = nullptr;
    HRESULT hr = DirectDrawCreate(guid, &device, nullptr);
    if (hr != DD_OK) {
        ReportDirectDrawError(hr, kModule, 133);
        return DDENUMRET_CANCEL;
    }
    DDCAPS driverCaps;
    DDCAPS emulationCaps;
    PrepareCaps(&driverCaps, &emulationCaps);
    hr = device->GetCaps(&driverCaps, &emulationCaps);
    if (hr != DD_OK) {
        ReportDirectDrawError(hr, kModule, 142);
        device->Release();
        return DDENUMRET_CANCEL;
    }
    if (DisplayContext.want3D && (driverCaps.dwCaps & DDCAPS_3D)) {
        *chosen = device;
        return DDENUMRET_CANCEL;
    }
    *chosen = nullptr;
    device->Release();
    return DDENUMRET_OK;
}

int CreateDisplaySurfaces(HWND window, unsigned width, unsigned height, unsigned bitsPerPixel) {
    const uint16_t w = static_cast<uint16_t>(width);
    const uint16_t h = static_cast<uint16_t>(height);
    IDirectDraw4* dd = DisplayContext.directDraw4;
    if (DisplayContext.primarySurface) {
        DisplayContext.primarySurface->Release();
        DisplayContext.primarySurface = nullptr;
    }
    HRESULT hr = dd->SetCooperativeLevel(window, DDSCL_NORMAL);
    if (hr != DD_OK) {
        ReportDirectDrawError(hr, kModule, 58);
        return 0;
    }

    DDSURFACEDESC2 desc = SurfaceDesc();
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    hr = dd->CreateSurface(&desc, &DisplayContext.primarySurface, nullptr);
    if (hr != DD_OK) {
        ReportDirectDrawError(hr, kModule, 65);
        return 0;
    }

    // The back buffer takes the display's pixel format; it is always a possible render
    // target, whether or not 3D is wanted.
    desc = SurfaceDesc();
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    desc.dwWidth = w;
    desc.dwHeight = h;
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
    hr = dd->CreateSurface(&desc, &DisplayContext.backBuffer, nullptr);
    if (hr != DD_OK) {
        ReportDirectDrawError(hr, kModule, 73);
        return 0;
    }

    // The clipper confines the primary surface to the window; once attached, the surface
    // holds the only reference to it.
    IDirectDrawClipper* clipper = nullptr;
    hr = dd->CreateClipper(0, &clipper, nullptr);
    if (hr != DD_OK) {
        ReportDirectDrawError(hr, kModule, 77);
        return 0;
    }
    clipper->SetHWnd(0, window);
    DisplayContext.primarySurface->SetClipper(clipper);
    clipper->Release();

    // Transparent pixels are magenta (full red plus full blue) in the back buffer's format,
    // or palette index 255 on an 8-bit display.
    DDPIXELFORMAT format;
    memset(&format, 0, sizeof format);
    format.dwSize = sizeof format;
    DisplayContext.backBuffer->GetPixelFormat(&format);
    DisplayContext.pixelFormat = format;
    if (format.dwRGBBitCount == 8)
        DisplayContext.colorKey = 255;
    else
        DisplayContext.colorKey = format.dwRBitMask | format.dwBBitMask;

    if (DisplayContext.hardwareDestColorKey) {
        DDCOLORKEY key{DisplayContext.colorKey, DisplayContext.colorKey};
        DisplayContext.backBuffer->SetColorKey(DDCKEY_DESTBLT, &key);
    }

    DisplayContext.bitsPerPixel = static_cast<uint16_t>(bitsPerPixel);
    DisplayContext.width = w;
    DisplayContext.height = h;
    DisplayContext.screenRect = RECT{0, 0, static_cast<LONG>(w) - 1, static_cast<LONG>(h) - 1};
    return 1;
}

namespace {

// A channel's mask: where its lowest bit is and how many bits it has.
struct Channel {
    unsigned shift = 0;
    uint32_t max = 0;  // the largest value the channel holds, unshifted
    explicit Channel(uint32_t mask) {
        if (mask == 0)
            return;
        while (!(mask & 1u)) {
            mask >>= 1;
            ++shift;
        }
        max = mask;
    }
    uint32_t Pack(unsigned value) const { return (value * max + 127) / 255 << shift; }
    unsigned Unpack(uint32_t pixel) const {
        return max ? static_cast<unsigned>(((pixel >> shift & max) * 255 + max / 2) / max) : 0;
    }
};

bool ReadFormat(IDirectDrawSurface4* surface, DDPIXELFORMAT* format) {
    memset(format, 0, sizeof *format);
    format->dwSize = sizeof *format;
    return surface && surface->GetPixelFormat(format) == DD_OK;
}

}  // namespace

uint32_t ColorToPixel(const DDPIXELFORMAT& format, COLORREF colour) {
    if (!(format.dwFlags & DDPF_RGB) || (format.dwFlags & DDPF_PALETTEINDEXED8))
        return 0;
    return Channel(format.dwRBitMask).Pack(GetRValue(colour)) |
           Channel(format.dwGBitMask).Pack(GetGValue(colour)) |
           Channel(format.dwBBitMask).Pack(GetBValue(colour));
}

COLORREF PixelToColor(const DDPIXELFORMAT& format, uint32_t pixel) {
    if (!(format.dwFlags & DDPF_RGB) || (format.dwFlags & DDPF_PALETTEINDEXED8))
        return 0;
    return RGB(Channel(format.dwRBitMask).Unpack(pixel), Channel(format.dwGBitMask).Unpack(pixel),
               Channel(format.dwBBitMask).Unpack(pixel));
}

uint32_t ColorToPixel(IDirectDrawSurface4* surface, COLORREF colour) {
    DDPIXELFORMAT format;
    return ReadFormat(surface, &format) ? ColorToPixel(format, colour) : 0;
}

COLORREF PixelToColor(IDirectDrawSurface4* surface, uint32_t pixel) {
    DDPIXELFORMAT format;
    return ReadFormat(surface, &format) ? PixelToColor(format, pixel) : 0;
}

int CreateDepthBuffer() {
    DDSURFACEDESC2 desc = SurfaceDesc();
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    desc.dwWidth = DisplayContext.width;
    desc.dwHeight = DisplayContext.height;
    desc.ddsCaps.dwCaps = DDSCAPS_ZBUFFER;
    desc.ddpfPixelFormat.dwSize = sizeof desc.ddpfPixelFormat;
    desc.ddpfPixelFormat.dwFlags = DDPF_ZBUFFER;
    desc.ddpfPixelFormat.dwZBufferBitDepth = 16;
    desc.ddpfPixelFormat.dwZBitMask = 0xFFFF;
    HRESULT hr =
        DisplayContext.directDraw4->CreateSurface(&desc, &DisplayContext.depthBuffer, nullptr);
    if (hr != DD_OK) {
        DisplayContext.depthBuffer = nullptr;
        ReportDirectDrawError(hr, kModule, 84);
        return 0;
    }
    hr = DisplayContext.backBuffer->AddAttachedSurface(DisplayContext.depthBuffer);
    if (hr != DD_OK) {
        ReportDirectDrawError(hr, kModule, 86);
        return 0;
    }
    return 1;
}

void ReportSpriteSurfaceError(HRESULT hr) {
    ReportDirectDrawError(hr, kModule, 648);
}

IDirectDrawSurface4* CreateSpriteSurface(unsigned width, unsigned height, int systemMemory,
                                         HRESULT* failure) {
    if (!DisplayContext.directDraw4)
        return nullptr;  // no display yet: nothing to create surfaces with
    DDSURFACEDESC2 desc = SurfaceDesc();
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    desc.dwWidth = static_cast<uint16_t>(width);
    desc.dwHeight = static_cast<uint16_t>(height);
    // Bank-switched display memory is slow at random access: keep sprites out of it.
    desc.ddsCaps.dwCaps = (DisplayContext.bankSwitched || systemMemory) ? DDSCAPS_SYSTEMMEMORY : 0;
    IDirectDrawSurface4* surface = nullptr;
    HRESULT hr = DisplayContext.directDraw4->CreateSurface(&desc, &surface, nullptr);
    if (hr != DD_OK) {
        if (failure)
            *failure = hr;
        else
            ReportSpriteSurfaceError(hr);
        return nullptr;
    }
    if (!DisplayContext.hardwareDestColorKey) {
        DDCOLORKEY key{DisplayContext.colorKey, DisplayContext.colorKey};
        surface->SetColorKey(DDCKEY_SRCBLT, &key);
    }
    return surface;
}
