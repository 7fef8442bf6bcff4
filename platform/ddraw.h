// Software DirectDraw: drivers and their capability records, the display device, surfaces
// in system memory in the display's pixel format, blits with colour keys and fills, and
// the clipper that binds the primary surface (the screen) to the window.
#pragma once

#if defined(_WIN32)

#include "platform/win.h"
#include <ddraw.h>

#else  // the software platform

#include "platform/soft/ddraw/pixels.h"
#include "platform/win.h"

extern const IID IID_IDirectDraw;
extern const IID IID_IDirectDraw4;
extern const IID IID_IDirectDrawSurface4;
extern const IID IID_IDirectDrawClipper;

struct DDCOLORKEY {
    DWORD dwColorSpaceLowValue;
    DWORD dwColorSpaceHighValue;
};

struct DDSCAPS2 {
    DWORD dwCaps;
    DWORD dwCaps2;
    DWORD dwCaps3;
    DWORD dwCaps4;
};

// A colour format fills the RGB fields; a depth-buffer format (DDPF_ZBUFFER) the Z ones.
struct DDPIXELFORMAT {
    DWORD dwSize;  // 32
    DWORD dwFlags;
    DWORD dwFourCC;
    union {
        DWORD dwRGBBitCount;
        DWORD dwZBufferBitDepth;
    };
    union {
        DWORD dwRBitMask;
        DWORD dwStencilBitDepth;
    };
    union {
        DWORD dwGBitMask;
        DWORD dwZBitMask;
    };
    union {
        DWORD dwBBitMask;
        DWORD dwStencilBitMask;
    };
    union {
        DWORD dwRGBAlphaBitMask;
        DWORD dwRGBZBitMask;
    };
};
static_assert(sizeof(DDPIXELFORMAT) == 32);

constexpr DWORD DDPF_PALETTEINDEXED8 = 0x00000020;
constexpr DWORD DDPF_RGB = 0x00000040;
constexpr DWORD DDPF_ZBUFFER = 0x00000400;

// The surface description. Callers set dwSize to the record's size: 124 bytes with 4-byte
// pointers, 136 with 8-byte ones (lpSurface is aligned to 8).
struct DDSURFACEDESC2 {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwHeight;
    DWORD dwWidth;
    LONG lPitch;
    DWORD dwBackBufferCount;
    DWORD dwMipMapCount;
    DWORD dwAlphaBitDepth;
    DWORD dwReserved;
    void* lpSurface;
    DDCOLORKEY ddckCKDestOverlay;
    DDCOLORKEY ddckCKDestBlt;
    DDCOLORKEY ddckCKSrcOverlay;
    DDCOLORKEY ddckCKSrcBlt;
    DDPIXELFORMAT ddpfPixelFormat;
    DDSCAPS2 ddsCaps;
    DWORD dwTextureStage;
};
constexpr DWORD kSurfaceDescSize = sizeof(DDSURFACEDESC2);
static_assert(kSurfaceDescSize == (sizeof(void*) == 4 ? 124 : 136));

constexpr DWORD DDSD_CAPS = 0x00000001;
constexpr DWORD DDSD_HEIGHT = 0x00000002;
constexpr DWORD DDSD_WIDTH = 0x00000004;
constexpr DWORD DDSD_PITCH = 0x00000008;
constexpr DWORD DDSD_CKDESTBLT = 0x00004000;
constexpr DWORD DDSD_CKSRCBLT = 0x00010000;
constexpr DWORD DDSD_PIXELFORMAT = 0x00001000;

constexpr DWORD DDSCAPS_3DDEVICE = 0x00002000;
constexpr DWORD DDSCAPS_OFFSCREENPLAIN = 0x00000040;
constexpr DWORD DDSCAPS_PRIMARYSURFACE = 0x00000200;
constexpr DWORD DDSCAPS_SYSTEMMEMORY = 0x00000800;
constexpr DWORD DDSCAPS_VIDEOMEMORY = 0x00004000;
constexpr DWORD DDSCAPS_ZBUFFER = 0x00020000;

// The capability record as DirectDraw 6 lays it out: 380 bytes.
struct DDCAPS {
    DWORD dwSize;  // 0
    DWORD dwCaps;  // 4
    DWORD dwCaps2;
    DWORD dwCKeyCaps;  // 12
    DWORD dwFXCaps;
    DWORD dwFXAlphaCaps;
    DWORD dwPalCaps;
    DWORD dwSVCaps;
    DWORD dwAlphaBltConstBitDepths;
    DWORD dwAlphaBltPixelBitDepths;
    DWORD dwAlphaBltSurfaceBitDepths;
    DWORD dwAlphaOverlayConstBitDepths;
    DWORD dwAlphaOverlayPixelBitDepths;
    DWORD dwAlphaOverlaySurfaceBitDepths;
    DWORD dwZBufferBitDepths;
    DWORD dwVidMemTotal;  // 60
    DWORD dwVidMemFree;   // 64
    DWORD dwMaxVisibleOverlays;
    DWORD dwCurrVisibleOverlays;
    DWORD dwNumFourCCCodes;
    DWORD dwAlignBoundarySrc;   // 80
    DWORD dwAlignSizeSrc;       // 84
    DWORD dwAlignBoundaryDest;  // 88
    DWORD dwAlignSizeDest;      // 92
    DWORD dwAlignStrideAlign;   // 96
    DWORD dwRops[8];            // 100
    DWORD ddsOldCaps;           // 132
    DWORD dwOther[57];          // 136: overlay, stretch, system-memory blit caps
    DDSCAPS2 ddsCaps;           // 364
};
static_assert(sizeof(DDCAPS) == 380);
static_assert(offsetof(DDCAPS, dwVidMemTotal) == 60);
static_assert(offsetof(DDCAPS, dwAlignStrideAlign) == 96);
static_assert(offsetof(DDCAPS, ddsCaps) == 364);

// dwCaps
constexpr DWORD DDCAPS_3D = 0x00000001;
constexpr DWORD DDCAPS_ALIGNBOUNDARYDEST = 0x00000002;
constexpr DWORD DDCAPS_ALIGNSIZEDEST = 0x00000004;
constexpr DWORD DDCAPS_ALIGNBOUNDARYSRC = 0x00000008;
constexpr DWORD DDCAPS_ALIGNSIZESRC = 0x00000010;
constexpr DWORD DDCAPS_ALIGNSTRIDE = 0x00000020;
constexpr DWORD DDCAPS_BLT = 0x00000040;
constexpr DWORD DDCAPS_GDI = 0x00000400;
constexpr DWORD DDCAPS_VBI = 0x00080000;
constexpr DWORD DDCAPS_COLORKEY = 0x00400000;
constexpr DWORD DDCAPS_ALPHA = 0x00800000;
constexpr DWORD DDCAPS_COLORKEYHWASSIST = 0x01000000;
constexpr DWORD DDCAPS_NOHARDWARE = 0x02000000;
constexpr DWORD DDCAPS_BLTCOLORFILL = 0x04000000;
constexpr DWORD DDCAPS_BANKSWITCHED = 0x08000000;
constexpr DWORD DDCAPS_BLTDEPTHFILL = 0x10000000;
constexpr DWORD DDCAPS_CANCLIP = 0x20000000;
constexpr DWORD DDCAPS_CANBLTSYSMEM = 0x80000000u;
// dwCaps2
constexpr DWORD DDCAPS2_CERTIFIED = 0x00000001;
// dwCKeyCaps
constexpr DWORD DDCKEYCAPS_DESTBLT = 0x00000001;
constexpr DWORD DDCKEYCAPS_SRCBLT = 0x00000200;

// Blt. Five members are unions of a value and a surface pointer, so the record is 100 bytes
// with 4-byte pointers and 128 with 8-byte ones (the fill colour at 80 or 104). Only the size,
// the fill colour and the two colour keys are used here; the other members keep the layout.
struct DDBLTFX {
    DWORD dwSize;
    DWORD dwDDFX;
    DWORD dwROP;
    DWORD dwDDROP;
    DWORD dwRotationAngle;
    DWORD dwZBufferOpCode;
    DWORD dwZBufferLow;
    DWORD dwZBufferHigh;
    DWORD dwZBufferBaseDest;
    DWORD dwZDestConstBitDepth;
    union {
        DWORD dwZDestConst;
        void* lpDDSZBufferDest;
    };
    DWORD dwZSrcConstBitDepth;
    union {
        DWORD dwZSrcConst;
        void* lpDDSZBufferSrc;
    };
    DWORD dwAlphaEdgeBlendBitDepth;
    DWORD dwAlphaEdgeBlend;
    DWORD dwReserved;
    DWORD dwAlphaDestConstBitDepth;
    union {
        DWORD dwAlphaDestConst;
        void* lpDDSAlphaDest;
    };
    DWORD dwAlphaSrcConstBitDepth;
    union {
        DWORD dwAlphaSrcConst;
        void* lpDDSAlphaSrc;
    };
    union {
        DWORD dwFillColor;
        DWORD dwFillDepth;
        DWORD dwFillPixel;
        void* lpDDSPattern;
    };
    DDCOLORKEY ddckDestColorkey;
    DDCOLORKEY ddckSrcColorkey;
};
static_assert(sizeof(DDBLTFX) == (sizeof(void*) == 4 ? 100 : 128));
static_assert(offsetof(DDBLTFX, dwFillColor) == (sizeof(void*) == 4 ? 80 : 104));

constexpr DWORD DDBLT_COLORFILL = 0x00000400;
constexpr DWORD DDBLT_KEYDEST = 0x00002000;
constexpr DWORD DDBLT_KEYSRC = 0x00008000;
constexpr DWORD DDBLT_WAIT = 0x01000000;

// SetColorKey
constexpr DWORD DDCKEY_DESTBLT = 0x00000002;
constexpr DWORD DDCKEY_SRCBLT = 0x00000008;

// SetCooperativeLevel
constexpr DWORD DDSCL_FULLSCREEN = 0x00000001;
constexpr DWORD DDSCL_NORMAL = 0x00000008;
constexpr DWORD DDSCL_EXCLUSIVE = 0x00000010;

// DirectDrawEnumerateA callback results
constexpr BOOL DDENUMRET_CANCEL = 0;
constexpr BOOL DDENUMRET_OK = 1;

struct IDirectDrawClipper : IUnknown {
    virtual HRESULT SetHWnd(DWORD flags, HWND hwnd) = 0;
};

struct IDirectDrawSurface4 : IUnknown {
    virtual HRESULT Blt(RECT* destRect, IDirectDrawSurface4* src, RECT* srcRect, DWORD flags,
                        DDBLTFX* fx) = 0;
    virtual HRESULT GetDC(HDC* dc) = 0;
    virtual HRESULT ReleaseDC(HDC dc) = 0;
    virtual HRESULT GetPixelFormat(DDPIXELFORMAT* format) = 0;
    virtual HRESULT SetColorKey(DWORD flags, DDCOLORKEY* key) = 0;
    virtual HRESULT SetClipper(IDirectDrawClipper* clipper) = 0;
    virtual HRESULT GetSurfaceDesc(DDSURFACEDESC2* desc) = 0;
    virtual HRESULT Lock(RECT* rect, DDSURFACEDESC2* desc, DWORD flags, HANDLE event) = 0;
    virtual HRESULT Unlock(RECT* rect) = 0;
    // Attachments: a depth buffer to a 3D render target (the device made on the target
    // uses the one attached at its creation).
    virtual HRESULT AddAttachedSurface(IDirectDrawSurface4* surface) = 0;
    virtual HRESULT DeleteAttachedSurface(DWORD flags, IDirectDrawSurface4* surface) = 0;
    virtual HRESULT GetAttachedSurface(DDSCAPS2* caps, IDirectDrawSurface4** surface) = 0;
};

struct IDirectDraw : IUnknown {
    virtual HRESULT GetCaps(DDCAPS* driverCaps, DDCAPS* emulationCaps) = 0;
};

struct IDirectDraw4 : IUnknown {
    virtual HRESULT GetCaps(DDCAPS* driverCaps, DDCAPS* emulationCaps) = 0;
    virtual HRESULT GetDisplayMode(DDSURFACEDESC2* desc) = 0;
    virtual HRESULT SetCooperativeLevel(HWND hwnd, DWORD flags) = 0;
    virtual HRESULT CreateSurface(DDSURFACEDESC2* desc, IDirectDrawSurface4** surface,
                                  IUnknown* outer) = 0;
    virtual HRESULT CreateClipper(DWORD flags, IDirectDrawClipper** clipper, IUnknown* outer) = 0;
    virtual HRESULT FlipToGDISurface() = 0;
};

typedef BOOL (*LPDDENUMCALLBACKA)(GUID* guid, LPSTR driverDescription, LPSTR driverName,
                                  void* context);

HRESULT DirectDrawEnumerateA(LPDDENUMCALLBACKA callback, void* context);
HRESULT DirectDrawCreate(GUID* guid, IDirectDraw** out, IUnknown* outer);

namespace platform {

// The pixels of a surface, for the platform's own use (the 3D device renders into its
// render target through this, GDI draws into a surface's DC through it, tests read it).
bool GetPixelBuffer(IDirectDrawSurface4* surface, PixelBuffer* out);

// ---- The emulated machine --------------------------------------------------------------

struct DriverProfile {
    bool isDefault = false;  // the primary display driver, enumerated with a null GUID
    GUID guid{};             // secondary drivers' own GUID
    std::string description;
    std::string name;
    DDCAPS driverCaps{};
    DDCAPS emulationCaps{};
};

// Which Direct3D devices CreateDevice can make on this machine.
enum DeviceBits : DWORD {
    kDeviceHAL = 1,
    kDeviceRGB = 2,
    kDeviceRamp = 4,
    kDeviceMMX = 8,
};

struct MachineProfile {
    std::vector<DriverProfile> drivers;  // in enumeration order
    PixelKind displayFormat = PixelKind::RGB565;
    DWORD creatableDevices = kDeviceRGB | kDeviceMMX;
};

// What this implementation really is: one default driver, system memory, software blits
// with colour fill, clipping and source and destination keys, no 3D hardware, 5-6-5.
MachineProfile ProductionProfile();
void InstallProfile(const MachineProfile& profile);
const MachineProfile& CurrentProfile();

}  // namespace platform

#endif  // _WIN32
