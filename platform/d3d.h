// Software Direct3D immediate mode: the interfaces, records and constants of the device,
// viewport, material and light, implemented by a software pipeline (transform, per-vertex
// lighting, clipping, viewport mapping, culling, Gouraud rasterisation) that renders into
// a DirectDraw surface.
#pragma once

#include "platform/ddraw.h"

#if defined(_WIN32)

#include <cmath>  // the platform's D3DLIGHT_RANGE_MAX calls sqrt

#include <d3d.h>

#else  // the software platform

typedef float D3DVALUE;
typedef DWORD D3DCOLOR;
typedef DWORD D3DMATERIALHANDLE;

extern const IID IID_IDirect3D3;
extern const IID IID_IDirect3DHALDevice;
extern const IID IID_IDirect3DRGBDevice;
extern const IID IID_IDirect3DRampDevice;
extern const IID IID_IDirect3DMMXDevice;

struct D3DVECTOR {
    D3DVALUE x, y, z;
};

struct D3DCOLORVALUE {
    D3DVALUE r, g, b, a;
};

struct D3DMATRIX {
    D3DVALUE _11, _12, _13, _14;
    D3DVALUE _21, _22, _23, _24;
    D3DVALUE _31, _32, _33, _34;
    D3DVALUE _41, _42, _43, _44;
};

struct D3DVERTEX {
    D3DVALUE x, y, z;
    D3DVALUE nx, ny, nz;
    D3DVALUE tu, tv;
};
static_assert(sizeof(D3DVERTEX) == 32);

// A vertex with its colour given: transformed, not lit.
struct D3DLVERTEX {
    D3DVALUE x, y, z;
    DWORD dwReserved;
    D3DCOLOR color;
    D3DCOLOR specular;
    D3DVALUE tu, tv;
};
static_assert(sizeof(D3DLVERTEX) == 32);

// A vertex already on screen: pixel position, depth 0..1 and 1/w; neither transformed nor
// lit.
struct D3DTLVERTEX {
    D3DVALUE sx, sy, sz;
    D3DVALUE rhw;
    D3DCOLOR color;
    D3DCOLOR specular;
    D3DVALUE tu, tv;
};
static_assert(sizeof(D3DTLVERTEX) == 32);

struct D3DRECT {
    LONG x1, y1, x2, y2;
};

struct D3DVIEWPORT2 {
    DWORD dwSize;  // 44
    DWORD dwX;
    DWORD dwY;
    DWORD dwWidth;
    DWORD dwHeight;
    D3DVALUE dvClipX;
    D3DVALUE dvClipY;
    D3DVALUE dvClipWidth;
    D3DVALUE dvClipHeight;
    D3DVALUE dvMinZ;
    D3DVALUE dvMaxZ;
};
static_assert(sizeof(D3DVIEWPORT2) == 44);

struct D3DMATERIAL {
    DWORD dwSize;  // 80
    D3DCOLORVALUE diffuse;
    D3DCOLORVALUE ambient;
    D3DCOLORVALUE specular;
    D3DCOLORVALUE emissive;
    D3DVALUE power;
    DWORD hTexture;
    DWORD dwRampSize;
};
static_assert(sizeof(D3DMATERIAL) == 80);

enum D3DLIGHTTYPE : DWORD {
    D3DLIGHT_POINT = 1,
    D3DLIGHT_SPOT = 2,
    D3DLIGHT_DIRECTIONAL = 3,
};

struct D3DLIGHT2 {
    DWORD dwSize;  // 80
    D3DLIGHTTYPE dltType;
    D3DCOLORVALUE dcvColor;
    D3DVECTOR dvPosition;
    D3DVECTOR dvDirection;
    D3DVALUE dvRange;
    D3DVALUE dvFalloff;
    D3DVALUE dvAttenuation0;
    D3DVALUE dvAttenuation1;
    D3DVALUE dvAttenuation2;
    D3DVALUE dvTheta;
    D3DVALUE dvPhi;
    DWORD dwFlags;
};
static_assert(sizeof(D3DLIGHT2) == 80);

// The first light record: D3DLIGHT2 without dwFlags. SetLight takes a pointer to this type;
// callers pass a D3DLIGHT2 through it and dwSize tells which record it is.
struct D3DLIGHT {
    DWORD dwSize;  // 76
    D3DLIGHTTYPE dltType;
    D3DCOLORVALUE dcvColor;
    D3DVECTOR dvPosition;
    D3DVECTOR dvDirection;
    D3DVALUE dvRange;
    D3DVALUE dvFalloff;
    D3DVALUE dvAttenuation0;
    D3DVALUE dvAttenuation1;
    D3DVALUE dvAttenuation2;
    D3DVALUE dvTheta;
    D3DVALUE dvPhi;
};
static_assert(sizeof(D3DLIGHT) == 76);

constexpr DWORD D3DLIGHT_ACTIVE = 0x00000001;
constexpr DWORD D3DLIGHT_NO_SPECULAR = 0x00000002;
// The square root of the largest float.
constexpr D3DVALUE D3DLIGHT_RANGE_MAX = 1.8446743e19f;

enum D3DRENDERSTATETYPE : DWORD {
    D3DRENDERSTATE_ZENABLE = 7,
    D3DRENDERSTATE_SHADEMODE = 9,
    D3DRENDERSTATE_ZWRITEENABLE = 14,
    D3DRENDERSTATE_ZFUNC = 23,
    D3DRENDERSTATE_CULLMODE = 22,
    D3DRENDERSTATE_SPECULARENABLE = 29,
};
constexpr DWORD D3DSHADE_FLAT = 1;
constexpr DWORD D3DSHADE_GOURAUD = 2;
constexpr DWORD D3DCULL_NONE = 1;
constexpr DWORD D3DCULL_CW = 2;
constexpr DWORD D3DCULL_CCW = 3;

enum D3DZBUFFERTYPE : DWORD {
    D3DZB_FALSE = 0,
    D3DZB_TRUE = 1,
    D3DZB_USEW = 2,
};

// The depth test: a pixel is drawn when (its depth) FUNC (the stored depth).
enum D3DCMPFUNC : DWORD {
    D3DCMP_NEVER = 1,
    D3DCMP_LESS = 2,
    D3DCMP_EQUAL = 3,
    D3DCMP_LESSEQUAL = 4,
    D3DCMP_GREATER = 5,
    D3DCMP_NOTEQUAL = 6,
    D3DCMP_GREATEREQUAL = 7,
    D3DCMP_ALWAYS = 8,
};

enum D3DLIGHTSTATETYPE : DWORD {
    D3DLIGHTSTATE_MATERIAL = 1,
    D3DLIGHTSTATE_AMBIENT = 2,
};

enum D3DTRANSFORMSTATETYPE : DWORD {
    D3DTRANSFORMSTATE_WORLD = 1,
    D3DTRANSFORMSTATE_VIEW = 2,
    D3DTRANSFORMSTATE_PROJECTION = 3,
};

enum D3DPRIMITIVETYPE : DWORD {
    D3DPT_POINTLIST = 1,
    D3DPT_LINELIST = 2,
    D3DPT_LINESTRIP = 3,
    D3DPT_TRIANGLELIST = 4,
    D3DPT_TRIANGLESTRIP = 5,
    D3DPT_TRIANGLEFAN = 6,
};

constexpr DWORD D3DFVF_XYZ = 0x002;
constexpr DWORD D3DFVF_XYZRHW = 0x004;
constexpr DWORD D3DFVF_NORMAL = 0x010;
constexpr DWORD D3DFVF_RESERVED1 = 0x020;
constexpr DWORD D3DFVF_DIFFUSE = 0x040;
constexpr DWORD D3DFVF_SPECULAR = 0x080;
constexpr DWORD D3DFVF_TEX1 = 0x100;
constexpr DWORD D3DFVF_VERTEX = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;  // 0x112
constexpr DWORD D3DFVF_LVERTEX =
    D3DFVF_XYZ | D3DFVF_RESERVED1 | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;  // 0x1e2
constexpr DWORD D3DFVF_TLVERTEX =
    D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;  // 0x1c4

// The most vertices (and indices) one drawing call takes.
constexpr DWORD D3DMAXNUMVERTICES = (1 << 16) - 1;

constexpr DWORD D3DDP_WAIT = 0x00000001;
constexpr DWORD D3DCLEAR_TARGET = 0x00000001;
constexpr DWORD D3DCLEAR_ZBUFFER = 0x00000002;
constexpr DWORD D3DCLEAR_STENCIL = 0x00000004;

// Clear2 of a depth or stencil buffer on a device that has none.
constexpr HRESULT D3DERR_ZBUFFER_NOTPRESENT = MakeDDResult(2070);
constexpr HRESULT D3DERR_STENCILBUFFER_NOTPRESENT = MakeDDResult(2071);

struct IDirect3DDevice3;

struct IDirect3DLight : IUnknown {
    virtual HRESULT SetLight(D3DLIGHT* light) = 0;
};

struct IDirect3DMaterial3 : IUnknown {
    virtual HRESULT SetMaterial(D3DMATERIAL* material) = 0;
    virtual HRESULT GetHandle(IDirect3DDevice3* device, D3DMATERIALHANDLE* handle) = 0;
};

struct IDirect3DViewport3 : IUnknown {
    virtual HRESULT SetViewport2(D3DVIEWPORT2* viewport) = 0;
    virtual HRESULT AddLight(IDirect3DLight* light) = 0;
    virtual HRESULT Clear2(DWORD count, D3DRECT* rects, DWORD flags, D3DCOLOR color, D3DVALUE z,
                           DWORD stencil) = 0;
};

struct IDirect3DDevice3 : IUnknown {
    virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
    virtual HRESULT AddViewport(IDirect3DViewport3* viewport) = 0;
    virtual HRESULT SetCurrentViewport(IDirect3DViewport3* viewport) = 0;
    virtual HRESULT SetLightState(D3DLIGHTSTATETYPE state, DWORD value) = 0;
    virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) = 0;
    virtual HRESULT BeginScene() = 0;
    virtual HRESULT EndScene() = 0;
    virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, DWORD vertexFormat, void* vertices,
                                  DWORD vertexCount, DWORD flags) = 0;
    virtual HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, DWORD vertexFormat, void* vertices,
                                         DWORD vertexCount, WORD* indices, DWORD indexCount,
                                         DWORD flags) = 0;
};

struct IDirect3D3 : IUnknown {
    virtual HRESULT CreateDevice(REFCLSID deviceGuid, IDirectDrawSurface4* renderTarget,
                                 IDirect3DDevice3** device, IUnknown* outer) = 0;
    virtual HRESULT CreateViewport(IDirect3DViewport3** viewport, IUnknown* outer) = 0;
    virtual HRESULT CreateMaterial(IDirect3DMaterial3** material, IUnknown* outer) = 0;
    virtual HRESULT CreateLight(IDirect3DLight** light, IUnknown* outer) = 0;
};

namespace platform {
// Creates the IDirect3D3 of a DirectDraw device (what QueryInterface(IID_IDirect3D3) on
// the IDirectDraw returns). Implemented by the software 3D device.
HRESULT CreateDirect3D(IDirectDraw* owner, IDirect3D3** out);
}  // namespace platform

#endif  // _WIN32
