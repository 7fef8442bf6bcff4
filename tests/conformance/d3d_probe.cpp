// The depth buffer and the drawing calls in the conformance probe: a 16- and a 32-bit depth
// buffer attached to the render target, the depth states and every comparison, depth clears,
// depth taken from the projected vertices within the viewport's depth range, triangle lists,
// strips and fans drawn directly and through indices, pre-lit and transformed vertices, and
// flat against Gouraud shading. Built into both probes like the rest of probe.cpp.
//
// Scenes avoid the known tolerances instead of widening the comparison: transformed vertices
// lie on a 1/16-pixel grid and no edge passes within 1/32 pixel of a pixel centre (so pixel
// counts and spans are exact on both platforms), colours are read at points well inside a
// triangle, flat colours use only full or empty channels (exact in 5-6-5), and the depth
// crossing of two triangles lies half a pixel from the nearest pixel centre.
#ifdef _WIN32
#define DIRECTDRAW_VERSION 0x0600
#define DIRECT3D_VERSION 0x0600
#include <windows.h>
#include <ddraw.h>
#include <d3d.h>
#else
#include "platform/d3d.h"
#endif

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "probe_output.h"

namespace {

using namespace probe;

std::string Name(const char* prefix, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
std::string Name(const char* prefix, const char* fmt, ...) {
    char tail[128];
    va_list args;
    va_start(args, fmt);
    vsnprintf(tail, sizeof tail, fmt, args);
    va_end(args);
    return std::string(prefix) + "." + tail;
}

constexpr int kW = 640, kH = 480;

// A surface's pixels (16 or 32 bits each), row by row.
struct Pixels {
    std::vector<uint32_t> p;
    uint32_t at(int x, int y) const { return p[static_cast<size_t>(y * kW + x)]; }
};

HRESULT Read(IDirectDrawSurface4* surface, int bytes, Pixels* pixels) {
    DDSURFACEDESC2 desc = Desc();
    const HRESULT hr = surface->Lock(nullptr, &desc, 0, nullptr);
    pixels->p.assign(static_cast<size_t>(kW * kH), 0);
    if (hr != DD_OK)
        return hr;
    for (int y = 0; y < kH; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(desc.lpSurface) + y * desc.lPitch;
        for (int x = 0; x < kW; ++x) {
            uint32_t v = 0;
            memcpy(&v, row + x * bytes, static_cast<size_t>(bytes));
            pixels->p[static_cast<size_t>(y * kW + x)] = v;
        }
    }
    surface->Unlock(nullptr);
    return DD_OK;
}

// Vertex colours with full or empty channels, each exact in 5-6-5, and their letters.
constexpr D3DCOLOR kColours[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00,
                                 0xFF00FFFF, 0xFFFF00FF, 0xFFFFFFFF};
constexpr D3DCOLOR kRed = kColours[0], kGreen = kColours[1];

uint16_t To565(D3DCOLOR c) {
    return static_cast<uint16_t>(((c >> 19) & 0x1F) << 11 | ((c >> 10) & 0x3F) << 5 |
                                 ((c >> 3) & 0x1F));
}

// The index of the vertex colour a pixel holds: '0'..'6', '.' for black, '*' for any other.
char Which(uint32_t pixel) {
    if (pixel == 0)
        return '.';
    for (size_t i = 0; i < sizeof kColours / sizeof kColours[0]; ++i)
        if (pixel == To565(kColours[i]))
            return static_cast<char>('0' + i);
    return '*';
}

struct Device {
    const char* name = nullptr;
    IDirectDrawSurface4* target = nullptr;
    IDirectDrawSurface4* depth = nullptr;
    int depthBytes = 0;
    IDirect3D3* d3d = nullptr;
    IDirect3DDevice3* device = nullptr;
    IDirect3DViewport3* viewport = nullptr;
};

HRESULT SetView(Device* d, DWORD width, DWORD height, float minZ, float maxZ) {
    D3DVIEWPORT2 view;
    memset(&view, 0, sizeof view);
    view.dwSize = sizeof view;
    view.dwWidth = width;
    view.dwHeight = height;
    view.dvClipX = -1.0f;
    view.dvClipY = 1.0f;
    view.dvClipWidth = 2.0f;
    view.dvClipHeight = 2.0f;
    view.dvMinZ = minZ;
    view.dvMaxZ = maxZ;
    return d->viewport->SetViewport2(&view);
}

// A 640 x 480 render target, a depth buffer of `bits` (none for 0) attached to it, the
// device the library's order gets, a viewport over the whole target (z/w 0..1) and identity
// transforms. One line gives each step's result.
bool Open(IDirectDraw* dd, IDirectDraw4* dd4, const char* name, int bits, Device* d) {
    d->name = name;
    DDSURFACEDESC2 desc = Desc();
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    desc.dwWidth = kW;
    desc.dwHeight = kH;
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
    HRESULT target = dd4->CreateSurface(&desc, &d->target, nullptr), depth = 0, attach = 0;
    if (bits && target == DD_OK) {
        desc.dwFlags |= DDSD_PIXELFORMAT;
        desc.ddsCaps.dwCaps = DDSCAPS_ZBUFFER;
        desc.ddpfPixelFormat.dwSize = sizeof desc.ddpfPixelFormat;
        desc.ddpfPixelFormat.dwFlags = DDPF_ZBUFFER;
        desc.ddpfPixelFormat.dwZBufferBitDepth = static_cast<DWORD>(bits);
        desc.ddpfPixelFormat.dwZBitMask = bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
        depth = dd4->CreateSurface(&desc, &d->depth, nullptr);
        if (depth == DD_OK) {
            attach = d->target->AddAttachedSurface(d->depth);
            DDPIXELFORMAT format;
            memset(&format, 0, sizeof format);
            format.dwSize = sizeof format;
            d->depth->GetPixelFormat(&format);
            d->depthBytes = static_cast<int>(format.dwZBufferBitDepth / 8);
            Line(Name(name, "format").c_str(), "flags %lx depth %lu mask %lx",
                 static_cast<unsigned long>(format.dwFlags),
                 static_cast<unsigned long>(format.dwZBufferBitDepth),
                 static_cast<unsigned long>(format.dwZBitMask));
        }
    }
    Line(Name(name, "setup").c_str(), "target 0x%08lx depth 0x%08lx attach 0x%08lx", Hex(target),
         Hex(depth), Hex(attach));
    if (target != DD_OK || depth != DD_OK || attach != DD_OK ||
        dd->QueryInterface(IID_IDirect3D3, reinterpret_cast<void**>(&d->d3d)) != DD_OK)
        return false;
    HRESULT created = D3D_OK;
    for (const GUID* guid : {&IID_IDirect3DHALDevice, &IID_IDirect3DRGBDevice})
        if ((created = d->d3d->CreateDevice(*guid, d->target, &d->device, nullptr)) == D3D_OK)
            break;
    if (!d->device) {
        Line(Name(name, "CreateDevice").c_str(), "0x%08lx", Hex(created));
        return false;
    }
    if (d->d3d->CreateViewport(&d->viewport, nullptr) != D3D_OK ||
        d->device->AddViewport(d->viewport) != D3D_OK || SetView(d, kW, kH, 0, 1) != D3D_OK ||
        d->device->SetCurrentViewport(d->viewport) != D3D_OK) {
        Line(Name(name, "device").c_str(), "failed");
        return false;
    }
    D3DMATRIX m;
    memset(&m, 0, sizeof m);
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    for (auto state :
         {D3DTRANSFORMSTATE_WORLD, D3DTRANSFORMSTATE_VIEW, D3DTRANSFORMSTATE_PROJECTION})
        d->device->SetTransform(state, &m);
    return true;
}

void Close(Device* d) {
    if (d->viewport)
        d->viewport->Release();
    if (d->device)
        d->device->Release();
    if (d->d3d)
        d->d3d->Release();
    if (d->depth)
        d->depth->Release();
    if (d->target)
        d->target->Release();
}

HRESULT Clear(Device* d, DWORD flags, float z, D3DCOLOR colour = 0) {
    D3DRECT whole{0, 0, kW, kH};
    return d->viewport->Clear2(1, &whole, flags, colour, z, 0);
}

void State(Device* d, D3DRENDERSTATETYPE state, DWORD value) {
    d->device->SetRenderState(state, value);
}

DWORD Fvf(const D3DTLVERTEX*) {
    return D3DFVF_TLVERTEX;
}
DWORD Fvf(const D3DLVERTEX*) {
    return D3DFVF_LVERTEX;
}

// One scene: the vertices drawn (through the indices when given), the target read back.
template <class V>
HRESULT Draw(Device* d, D3DPRIMITIVETYPE type, const V* vertices, DWORD count,
             Pixels* pixels = nullptr, const WORD* indices = nullptr, DWORD indexCount = 0) {
    const DWORD fvf = Fvf(vertices);
    HRESULT hr = d->device->BeginScene();
    if (hr == D3D_OK) {
        void* v = const_cast<V*>(vertices);
        hr = indices ? d->device->DrawIndexedPrimitive(
                           type, fvf, v, count, const_cast<WORD*>(indices), indexCount, D3DDP_WAIT)
                     : d->device->DrawPrimitive(type, fvf, v, count, D3DDP_WAIT);
        d->device->EndScene();
    }
    if (pixels)
        Read(d->target, 2, pixels);
    return hr;
}

D3DTLVERTEX TL(float x, float y, float z, D3DCOLOR colour) {
    D3DTLVERTEX v;
    memset(&v, 0, sizeof v);
    v.sx = x, v.sy = y, v.sz = z, v.rhw = 1.0f;
    v.color = colour;
    return v;
}

D3DLVERTEX LV(float x, float y, float z, D3DCOLOR colour) {
    D3DLVERTEX v;
    memset(&v, 0, sizeof v);
    v.x = x, v.y = y, v.z = z;
    v.color = colour;
    return v;
}

// A 40 x 40 pixel transformed triangle at column `x`, depth z; its inner point is (x+10, 110).
void Square(float x, float z, D3DCOLOR colour, D3DTLVERTEX* v) {
    v[0] = TL(x + 0.5f, 90.5f, z, colour);
    v[1] = TL(x + 40.5f, 90.5f, z, colour);
    v[2] = TL(x + 0.5f, 130.5f, z, colour);
}

// Transformed triangles at the given depths side by side, each drawn (1) or not (0).
std::string DrawnAt(Device* d, std::initializer_list<float> depths) {
    std::vector<D3DTLVERTEX> v(depths.size() * 3);
    int i = 0;
    for (float z : depths)
        Square(50.0f + 60.0f * i, z, kRed, &v[static_cast<size_t>(3 * i)]), ++i;
    Pixels px;
    Draw(d, D3DPT_TRIANGLELIST, v.data(), static_cast<DWORD>(v.size()), &px);
    std::string drawn;
    for (i = 0; i < static_cast<int>(depths.size()); ++i)
        drawn += px.at(60 + 60 * i, 110) ? '1' : '0';
    return drawn;
}

const char* const kFuncs[] = {"NEVER",   "LESS",     "EQUAL",        "LESSEQUAL",
                              "GREATER", "NOTEQUAL", "GREATEREQUAL", "ALWAYS"};

// Two triangles whose planes, z = 2 +- 0.5 (x - kCross) + 0.3 y in view space, cross along
// the line x = kCross, z = 2 + 0.3 y, seen through a perspective projection (w = z, z/w =
// 1.5 - 1.5/z). The first (red) is nearer on the left. Neither has a vertex on the crossing.
// On screen the crossing passes column 340.5 on row 240 (y = 0) and column 339.475 on row 200.
constexpr float kCross = 20.5f / 160.0f;
void Crossing(float slope, float shift, D3DCOLOR colour, D3DLVERTEX* v) {
    const float xs[3] = {kCross + shift - 0.8f, kCross + shift, kCross + shift + 0.8f};
    const float ys[3] = {-0.5f, 0.6f, -0.5f};
    for (int i = 0; i < 3; ++i)
        v[i] = LV(xs[i], ys[i], 2.0f + slope * (xs[i] - kCross) + 0.3f * ys[i], colour);
}

// A row's columns x0 to x1 (inside both triangles) as runs of vertex colours.
std::string Runs(const Pixels& px, int y, int x0, int x1) {
    std::string runs;
    for (int x = x0; x <= x1;) {
        int end = x;
        while (end < x1 && Which(px.at(end + 1, y)) == Which(px.at(x, y)))
            ++end;
        char run[32];
        snprintf(run, sizeof run, "%s%c %d-%d", runs.empty() ? "" : " ", Which(px.at(x, y)), x,
                 end);
        runs += run;
        x = end + 1;
    }
    return runs;
}

void ProbeDepth(Device* d) {
    const char* n = d->name;
    // Attaching the buffer turns the depth test on (LESSEQUAL): cleared to 0.25, the nearer
    // triangle and the one at the cleared depth show.
    Line(Name(n, "default.Clear2").c_str(), "0x%08lx",
         Hex(Clear(d, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0.25f)));
    Line(Name(n, "default.drawn(0.125,0.25,0.5)").c_str(), "%s",
         DrawnAt(d, {0.125f, 0.25f, 0.5f}).c_str());

    // What a clear stores, read back through Lock where the platform allows it.
    for (float z : {0.0f, 0.25f, 0.5f, 1.0f}) {
        Clear(d, D3DCLEAR_ZBUFFER, z);
        Pixels px;
        const HRESULT hr = Read(d->depth, d->depthBytes, &px);
        bool uniform = true;
        for (uint32_t v : px.p)
            uniform = uniform && v == px.p[0];
        Line(Name(n, "Clear2(%g).Lock", z).c_str(), "0x%08lx value %lx uniform %d", Hex(hr),
             static_cast<unsigned long>(px.p[0]), uniform ? 1 : 0);
    }

    // Every comparison against a buffer cleared to 0.5: triangles nearer and farther, then
    // one at exactly the cleared depth.
    for (DWORD f = D3DCMP_NEVER; f <= D3DCMP_ALWAYS; ++f) {
        State(d, D3DRENDERSTATE_ZFUNC, f);
        Clear(d, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0.5f);
        Line(Name(n, "func.%s.drawn(0.25,0.75)", kFuncs[f - 1]).c_str(), "%s",
             DrawnAt(d, {0.25f, 0.75f}).c_str());
        Clear(d, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0.5f);
        Line(Name(n, "func-tie.%s.drawn(0.5)", kFuncs[f - 1]).c_str(), "%s",
             DrawnAt(d, {0.5f}).c_str());
    }
    // Clears to the ends of the range, triangles at the ends and the middle.
    State(d, D3DRENDERSTATE_ZFUNC, D3DCMP_LESSEQUAL);
    for (float z : {0.0f, 1.0f}) {
        Clear(d, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, z);
        Line(Name(n, "Clear2(%g).lessequal.drawn(0,0.5,1)", z).c_str(), "%s",
             DrawnAt(d, {0.0f, 0.5f, 1.0f}).c_str());
    }

    // Interpenetrating triangles: which one shows along a row across their crossing.
    D3DMATRIX projection;
    memset(&projection, 0, sizeof projection);
    projection._11 = projection._22 = projection._34 = 1.0f;
    projection._33 = 1.5f, projection._43 = -1.5f;
    d->device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &projection);
    State(d, D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    D3DLVERTEX first[3], second[3], both[6];
    Crossing(0.5f, -0.1f, kRed, first);
    Crossing(-0.5f, 0.1f, kGreen, second);
    struct Variant {
        const char* name;
        DWORD func, write, enable;
        float clear;
        bool secondFirst;
    };
    const Variant variants[] = {
        {"lessequal", D3DCMP_LESSEQUAL, TRUE, D3DZB_TRUE, 1.0f, false},
        {"lessequal.reversed", D3DCMP_LESSEQUAL, TRUE, D3DZB_TRUE, 1.0f, true},
        {"greater", D3DCMP_GREATER, TRUE, D3DZB_TRUE, 0.0f, false},
        {"zwrite-off.reversed", D3DCMP_LESSEQUAL, FALSE, D3DZB_TRUE, 1.0f, true},
        {"zenable-off", D3DCMP_LESSEQUAL, TRUE, D3DZB_FALSE, 1.0f, false},
    };
    for (const Variant& v : variants) {
        State(d, D3DRENDERSTATE_ZFUNC, v.func);
        State(d, D3DRENDERSTATE_ZWRITEENABLE, v.write);
        State(d, D3DRENDERSTATE_ZENABLE, v.enable);
        Clear(d, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, v.clear);
        std::copy(v.secondFirst ? second : first, (v.secondFirst ? second : first) + 3, both);
        std::copy(v.secondFirst ? first : second, (v.secondFirst ? first : second) + 3, both + 3);
        Pixels px;
        Draw(d, D3DPT_TRIANGLELIST, both, 6, &px);
        Line(Name(n, "cross.%s.rows", v.name).c_str(), "240: %s; 200: %s",
             Runs(px, 240, 300, 380).c_str(), Runs(px, 200, 330, 348).c_str());
    }
    State(d, D3DRENDERSTATE_ZWRITEENABLE, TRUE);
    State(d, D3DRENDERSTATE_ZENABLE, D3DZB_TRUE);

    // The same triangle (depth varying across it) twice: red, then green under each
    // comparison. Which colour the triangle's pixels show.
    for (int i = 0; i < 3; ++i)
        both[i] = first[i], both[i].color = kGreen;
    for (DWORD f : {D3DCMP_LESS, D3DCMP_LESSEQUAL, D3DCMP_EQUAL, D3DCMP_GREATEREQUAL}) {
        State(d, D3DRENDERSTATE_ZFUNC, D3DCMP_LESSEQUAL);
        Clear(d, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 1.0f);
        Draw(d, D3DPT_TRIANGLELIST, first, 3);
        State(d, D3DRENDERSTATE_ZFUNC, f);
        Pixels px;
        Draw(d, D3DPT_TRIANGLELIST, both, 3, &px);
        long red = 0, green = 0;
        for (uint32_t p : px.p)
            red += p == To565(kRed), green += p == To565(kGreen);
        Line(Name(n, "same-twice.%s", kFuncs[f - 1]).c_str(), "%s",
             !green ? "first"
             : !red ? "second"
                    : "both");
    }

    // The viewport's depth range: z/w from 0.25 to 0.75 is depth 0 to 1 and the rest is
    // clipped away. Triangles at z/w 0.1, 0.6 and 0.9 (no perspective) against clears.
    State(d, D3DRENDERSTATE_ZFUNC, D3DCMP_LESS);
    D3DMATRIX identity;
    memset(&identity, 0, sizeof identity);
    identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
    d->device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &identity);
    SetView(d, kW, kH, 0.25f, 0.75f);
    D3DLVERTEX ranged[9];
    const float depths[3] = {0.1f, 0.6f, 0.9f};
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k)  // 40 pixels wide, at columns 50, 110 and 170
            ranged[3 * i + k] = LV((50.5f + 60 * i + (k == 1 ? 40 : 0)) / 320.0f - 1.0f,
                                   (240.0f - (k == 2 ? 130.5f : 90.5f)) / 240.0f, depths[i], kRed);
    for (float z : {0.5f, 0.625f, 0.75f, 0.875f, 1.0f}) {
        Clear(d, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, z);
        Pixels px;
        Draw(d, D3DPT_TRIANGLELIST, ranged, 9, &px);
        Line(Name(n, "range(0.25,0.75).Clear2(%g).less.drawn(0.1,0.6,0.9)", z).c_str(), "%d%d%d",
             px.at(60, 110) ? 1 : 0, px.at(120, 110) ? 1 : 0, px.at(180, 110) ? 1 : 0);
    }
    SetView(d, kW, kH, 0, 1);
    // Back to the defaults: under Wine the next device of this DirectDraw object starts
    // with the states this one left.
    State(d, D3DRENDERSTATE_ZFUNC, D3DCMP_LESSEQUAL);
    State(d, D3DRENDERSTATE_CULLMODE, D3DCULL_CCW);
}

// A device without a depth buffer: a depth clear is refused, and drawing ignores depth.
void ProbeNoDepth(Device* d) {
    const char* n = d->name;
    Line(Name(n, "Clear2.zbuffer").c_str(), "0x%08lx", Hex(Clear(d, D3DCLEAR_ZBUFFER, 0.5f)));
    Clear(d, D3DCLEAR_TARGET, 0, kGreen);
    const HRESULT hr = Clear(d, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0.5f);
    Pixels px;
    Read(d->target, 2, &px);
    Line(Name(n, "Clear2.target-zbuffer").c_str(), "0x%08lx pixel %c", Hex(hr), Which(px.at(5, 5)));
    Clear(d, D3DCLEAR_TARGET, 0);
    Line(Name(n, "default.drawn(0.5,0.25)").c_str(), "%s", DrawnAt(d, {0.5f, 0.25f}).c_str());
}

// ---- Lists, strips and fans -------------------------------------------------------------

// A strip of four triangles over the rectangle (40.5, 40.5)-(160.5, 100.5), each clockwise
// on screen; a fan of five around (480.3125, 245.5), clockwise. Their outer edges keep
// 1/32 pixel or more from every pixel centre.
const D3DTLVERTEX kStrip[] = {
    TL(40.5f, 100.5f, 0.5f, kColours[0]),  TL(40.5f, 40.5f, 0.5f, kColours[1]),
    TL(100.5f, 100.5f, 0.5f, kColours[2]), TL(100.5f, 40.5f, 0.5f, kColours[3]),
    TL(160.5f, 100.5f, 0.5f, kColours[4]), TL(160.5f, 40.5f, 0.5f, kColours[5])};
const D3DTLVERTEX kFan[] = {
    TL(480.3125f, 245.5f, 0.5f, kColours[0]), TL(473.5f, 177.5f, 0.5f, kColours[1]),
    TL(529.75f, 200.5f, 0.5f, kColours[2]),   TL(544.125f, 246.5f, 0.5f, kColours[3]),
    TL(520.5f, 305.5f, 0.5f, kColours[4]),    TL(452.4375f, 300.5f, 0.5f, kColours[5]),
    TL(428.9375f, 230.5f, 0.5f, kColours[6])};
// The strip's triangles as a list, each clockwise (the odd ones with their first two
// vertices swapped, as a strip orders them).
const WORD kStripAsList[] = {0, 1, 2, 2, 1, 3, 2, 3, 4, 4, 3, 5};

struct Shape {
    D3DPRIMITIVETYPE type;
    std::vector<D3DTLVERTEX> vertices;  // in drawing order
    int triangles;
};

// The points sampled: each triangle's centroid.
std::vector<std::pair<int, int>> Centroids(const Shape& s) {
    const D3DPRIMITIVETYPE type = s.type;
    std::vector<std::pair<int, int>> points;
    for (int t = 0; t < s.triangles; ++t) {
        const int a = type == D3DPT_TRIANGLELIST ? 3 * t : type == D3DPT_TRIANGLEFAN ? 0 : t;
        const int b = type == D3DPT_TRIANGLELIST ? 3 * t + 1 : t + 1;
        const int c = type == D3DPT_TRIANGLELIST ? 3 * t + 2 : t + 2;
        const auto& v = s.vertices;
        points.emplace_back(static_cast<int>((v[a].sx + v[b].sx + v[c].sx) / 3),
                            static_cast<int>((v[a].sy + v[b].sy + v[c].sy) / 3));
    }
    return points;
}

// Draws a shape directly or through indices (the vertices stored in reverse, the indices
// pointing back) and writes: the result, which vertex's colour each triangle's centroid has
// ('.' none, '*' a blend), the covered pixels and their box.
void DrawShape(Device* d, const std::string& name, const Shape& s, bool indexed, DWORD count) {
    const D3DPRIMITIVETYPE type = s.type;
    std::vector<D3DTLVERTEX> pool(s.vertices.rbegin(), s.vertices.rend());
    std::vector<WORD> indices;
    for (size_t i = 0; i < s.vertices.size(); ++i)
        indices.push_back(static_cast<WORD>(s.vertices.size() - 1 - i));
    Clear(d, D3DCLEAR_TARGET, 0);
    Pixels px;
    const HRESULT hr = indexed ? Draw(d, type, pool.data(), static_cast<DWORD>(pool.size()), &px,
                                      indices.data(), count)
                               : Draw(d, type, s.vertices.data(), count, &px);
    std::string which;
    for (const auto& p : Centroids(s))
        which += Which(px.at(p.first, p.second));
    int covered = 0, x0 = kW, y0 = kH, x1 = -1, y1 = -1;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            if (px.at(x, y)) {
                ++covered;
                x0 = std::min(x0, x), y0 = std::min(y0, y);
                x1 = std::max(x1, x), y1 = std::max(y1, y);
            }
    Line(name.c_str(), "0x%08lx triangles %s pixels %d box %d %d %d %d", Hex(hr), which.c_str(),
         covered, x0, y0, x1, y1);
}

// A shape whose vertices carry colours by position (colour i on the strip's or fan's vertex
// i; the list's vertices keep their strip vertex's colour), so a sample tells which vertex
// coloured a triangle. Mirrored: every triangle turned counter-clockwise.
Shape MakeShape(D3DPRIMITIVETYPE type, bool mirrored) {
    Shape s;
    s.type = type;
    if (type == D3DPT_TRIANGLEFAN) {
        s.vertices.assign(kFan, kFan + 7);
        if (mirrored)
            std::reverse(s.vertices.begin() + 1, s.vertices.end());
        s.triangles = 5;
    } else if (type == D3DPT_TRIANGLESTRIP) {
        s.vertices.assign(kStrip, kStrip + 6);
        if (mirrored)
            for (size_t i = 0; i < 6; i += 2)
                std::swap(s.vertices[i].sy, s.vertices[i + 1].sy);
        s.triangles = 4;
    } else {
        for (WORD i : kStripAsList)
            s.vertices.push_back(kStrip[i]);
        s.triangles = 4;
    }
    return s;
}

void ProbeShapes(Device* d) {
    const char* n = d->name;
    const D3DPRIMITIVETYPE types[] = {D3DPT_TRIANGLELIST, D3DPT_TRIANGLESTRIP, D3DPT_TRIANGLEFAN};
    const char* const typeNames[] = {"list", "strip", "fan"};
    for (DWORD shade : {D3DSHADE_FLAT, D3DSHADE_GOURAUD}) {
        State(d, D3DRENDERSTATE_SHADEMODE, shade);
        for (int t = 0; t < 3; ++t)
            for (bool indexed : {false, true}) {
                const Shape s = MakeShape(types[t], false);
                DrawShape(d,
                          Name(n, "%s.%s.%s", indexed ? "indexed" : "direct", typeNames[t],
                               shade == D3DSHADE_FLAT ? "flat" : "gouraud"),
                          s, indexed, static_cast<DWORD>(s.vertices.size()));
            }
    }
    State(d, D3DRENDERSTATE_SHADEMODE, D3DSHADE_FLAT);
    // Mirrored strip and fan: every triangle counter-clockwise, so all culled by default.
    for (int t = 1; t < 3; ++t) {
        const Shape s = MakeShape(types[t], true);
        DrawShape(d, Name(n, "direct.%s.mirrored", typeNames[t]), s, false,
                  static_cast<DWORD>(s.vertices.size()));
    }
    // Culling of transformed and of pre-lit vertices: a clockwise and a counter-clockwise
    // triangle under each cull mode.
    for (DWORD cull : {D3DCULL_NONE, D3DCULL_CW, D3DCULL_CCW}) {
        State(d, D3DRENDERSTATE_CULLMODE, cull);
        D3DTLVERTEX tl[6];
        Square(50, 0.5f, kRed, tl);
        Square(110, 0.5f, kRed, tl + 3);
        std::swap(tl[4], tl[5]);
        D3DLVERTEX lv[6];
        for (int i = 0; i < 6; ++i)
            lv[i] = LV(tl[i].sx / 320.0f - 1.0f, 1.0f - tl[i].sy / 240.0f, 0.5f, kRed);
        const char* const names[] = {"none", "cw", "ccw"};
        Pixels px;
        Clear(d, D3DCLEAR_TARGET, 0);
        Draw(d, D3DPT_TRIANGLELIST, tl, 6, &px);
        Line(Name(n, "cull.%s.tlvertex.drawn(cw,ccw)", names[cull - 1]).c_str(), "%d%d",
             px.at(60, 110) ? 1 : 0, px.at(120, 110) ? 1 : 0);
        Clear(d, D3DCLEAR_TARGET, 0);
        Draw(d, D3DPT_TRIANGLELIST, lv, 6, &px);
        Line(Name(n, "cull.%s.lvertex.drawn(cw,ccw)", names[cull - 1]).c_str(), "%d%d",
             px.at(60, 110) ? 1 : 0, px.at(120, 110) ? 1 : 0);
    }
    State(d, D3DRENDERSTATE_CULLMODE, D3DCULL_CCW);

    // Too few vertices or indices for a triangle, and a list with a partial triangle.
    for (int t = 0; t < 3; ++t)
        for (DWORD count : {0u, 1u, 2u, 4u, 5u})
            for (bool indexed : {false, true}) {
                if (t != 0 && count > 2)
                    continue;
                const Shape s = MakeShape(types[t], false);
                DrawShape(d,
                          Name(n, "%s.%s.count%lu", indexed ? "indexed" : "direct", typeNames[t],
                               static_cast<unsigned long>(count)),
                          s, indexed, count);
            }
    // Indices past the vertex count: the strip's list drawn with only four vertices declared.
    {
        Clear(d, D3DCLEAR_TARGET, 0);
        Pixels px;
        const Shape s = MakeShape(D3DPT_TRIANGLELIST, false);
        const HRESULT hr = Draw(d, D3DPT_TRIANGLELIST, kStrip, 4, &px, kStripAsList, 12);
        std::string which;
        for (const auto& p : Centroids(s))
            which += Which(px.at(p.first, p.second));
        Line(Name(n, "indexed.list.past-count").c_str(), "0x%08lx triangles %s", Hex(hr),
             which.c_str());
    }

    // A transformed triangle's rows, and one crossing the edge of a smaller viewport.
    D3DTLVERTEX tri[3] = {TL(302.0f, 298.5f, 0.5f, kRed), TL(386.4375f, 326.5f, 0.5f, kRed),
                          TL(324.1875f, 409.5f, 0.5f, kRed)};
    Clear(d, D3DCLEAR_TARGET, 0);
    Pixels px;
    Line(Name(n, "tl.Draw").c_str(), "0x%08lx", Hex(Draw(d, D3DPT_TRIANGLELIST, tri, 3, &px)));
    std::string rows;
    for (int y = 290; y < 420; ++y) {
        int first = -1, last = -1;
        for (int x = 290; x < 400; ++x)
            if (px.at(x, y))
                last = x, first = first < 0 ? x : first;
        if (first >= 0)
            rows +=
                std::to_string(y) + ":" + std::to_string(first) + "-" + std::to_string(last) + " ";
    }
    Line(Name(n, "tl.rows").c_str(), "%s", rows.c_str());
    SetView(d, 600, 450, 0, 1);
    D3DTLVERTEX edge[3] = {TL(563.0625f, 386.5f, 0.5f, kRed), TL(702.4375f, 417.5f, 0.5f, kRed),
                           TL(597.0625f, 522.5f, 0.5f, kRed)};
    Clear(d, D3DCLEAR_TARGET, 0);
    const HRESULT hr = Draw(d, D3DPT_TRIANGLELIST, edge, 3, &px);
    int inside = 0, outside = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            if (px.at(x, y))
                ++(x < 600 && y < 450 ? inside : outside);
    Line(Name(n, "tl.past-viewport").c_str(), "0x%08lx inside %d outside %d", Hex(hr), inside,
         outside);
    SetView(d, kW, kH, 0, 1);

    // Gouraud shading of pre-lit vertices: red, green and blue corners, colours inside (5-6-5
    // units; compared within one 5-bit step).
    State(d, D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD);
    D3DLVERTEX lit[3] = {LV(-0.5f, 0.5f, 0.5f, kColours[0]), LV(0.5f, 0.5f, 0.5f, kColours[1]),
                         LV(-0.5f, -0.5f, 0.5f, kColours[2])};
    Clear(d, D3DCLEAR_TARGET, 0);
    Line(Name(n, "lvertex.Draw").c_str(), "0x%08lx", Hex(Draw(d, D3DPT_TRIANGLELIST, lit, 3, &px)));
    const int samples[][2] = {{200, 150}, {300, 200}, {200, 300}, {400, 140}, {170, 350}};
    for (const auto& s : samples) {
        const uint32_t c = px.at(s[0], s[1]);
        Line(Name("d3d.shade.gouraud", "at(%d,%d)", s[0], s[1]).c_str(), "%lu %lu %lu",
             static_cast<unsigned long>(c >> 11), static_cast<unsigned long>((c >> 5) & 0x3F),
             static_cast<unsigned long>(c & 0x1F));
    }
}

}  // namespace

void ProbeDirect3DDepthAndShapes(IDirectDraw* dd, IDirectDraw4* dd4, FILE* file) {
    out = file;
    for (int bits : {16, 32}) {
        Device d;
        const std::string name = "d3d.depth" + std::to_string(bits);
        if (Open(dd, dd4, name.c_str(), bits, &d))
            ProbeDepth(&d);
        Close(&d);
    }
    Device d;
    if (Open(dd, dd4, "d3d.nodepth", 0, &d)) {
        ProbeNoDepth(&d);
        ProbeShapes(&d);
    }
    Close(&d);
}
