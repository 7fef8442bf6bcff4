// The platform conformance probe: drives DirectDraw, GDI and Direct3D the way the library
// does and writes what came back (result codes, pixels) to a text file of "name: values"
// lines. Built twice from this one source: against our platform layer on Linux (headless
// backend) and against the real interfaces for Windows, run under Wine. A comparison of
// the two files shows where our platform differs. Lines starting with "info " describe the
// machine (which device, the font's size) and are shown, not compared.
//
//   probe OUTPUT_FILE
#ifdef _WIN32
#define DIRECTDRAW_VERSION 0x0600
#define DIRECT3D_VERSION 0x0600
#include <math.h>
#include <windows.h>
#include <ddraw.h>
#include <d3d.h>
#else
#include "platform/backend.h"
#include "platform/d3d.h"
#include "platform/gdi.h"
#define CALLBACK
#endif

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "probe_output.h"

namespace {

using namespace probe;

void Result(const char* name, HRESULT hr) {
    Line(name, "0x%08lx", static_cast<unsigned long>(static_cast<uint32_t>(hr)));
}

LRESULT CALLBACK ProbeWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

constexpr int kWindowWidth = 160;
constexpr int kWindowHeight = 120;

IDirectDraw* dd = nullptr;
IDirectDraw4* dd4 = nullptr;

IDirectDrawSurface4* MakeSurface(int width, int height, DWORD caps) {
    DDSURFACEDESC2 desc = Desc();
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    desc.dwWidth = static_cast<DWORD>(width);
    desc.dwHeight = static_cast<DWORD>(height);
    desc.ddsCaps.dwCaps = caps;
    IDirectDrawSurface4* surface = nullptr;
    HRESULT hr = dd4->CreateSurface(&desc, &surface, nullptr);
    if (hr != DD_OK) {
        Result("error.CreateSurface", hr);
        return nullptr;
    }
    return surface;
}

// The 16-bit pixels of a surface's rectangle (whole surface when rect is null), row by row.
struct Pixels {
    int width = 0, height = 0;
    std::vector<uint16_t> p;
    uint16_t at(int x, int y) const { return p[static_cast<size_t>(y * width + x)]; }
};

bool Read(IDirectDrawSurface4* surface, int width, int height, Pixels* pixels) {
    DDSURFACEDESC2 desc = Desc();
    HRESULT hr = surface->Lock(nullptr, &desc, 0, nullptr);
    if (hr != DD_OK) {
        Result("error.Lock", hr);
        return false;
    }
    pixels->width = width;
    pixels->height = height;
    pixels->p.resize(static_cast<size_t>(width * height));
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint16_t*>(
            static_cast<const uint8_t*>(desc.lpSurface) + y * desc.lPitch);
        for (int x = 0; x < width; ++x)
            pixels->p[static_cast<size_t>(y * width + x)] = row[x];
    }
    surface->Unlock(nullptr);
    return true;
}

// Writes value(x, y) into every pixel through Lock.
template <class F>
void Write(IDirectDrawSurface4* surface, int width, int height, F value) {
    DDSURFACEDESC2 desc = Desc();
    HRESULT hr = surface->Lock(nullptr, &desc, 0, nullptr);
    if (hr != DD_OK) {
        Result("error.Lock", hr);
        return;
    }
    for (int y = 0; y < height; ++y) {
        auto* row =
            reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(desc.lpSurface) + y * desc.lPitch);
        for (int x = 0; x < width; ++x)
            row[x] = value(x, y);
    }
    surface->Unlock(nullptr);
}

uint16_t Pattern(int x, int y) {
    return static_cast<uint16_t>((x * 2113 + y * 977 + 0x2345) & 0xFFFF);
}

// Every row of the surface as hex pixels, one line a row.
void Dump(const char* name, IDirectDrawSurface4* surface, int width, int height) {
    Pixels px;
    if (!Read(surface, width, height, &px))
        return;
    for (int y = 0; y < height; ++y) {
        std::string row;
        char cell[8];
        for (int x = 0; x < width; ++x) {
            snprintf(cell, sizeof cell, x ? " %04x" : "%04x", px.at(x, y));
            row += cell;
        }
        char label[96];
        snprintf(label, sizeof label, "%s.row%02d", name, y);
        Line(label, "%s", row.c_str());
    }
}

HRESULT Fill(IDirectDrawSurface4* surface, RECT* rect, DWORD colour) {
    DDBLTFX fx;
    memset(&fx, 0, sizeof fx);
    fx.dwSize = sizeof fx;
    fx.dwFillColor = colour;
    return surface->Blt(rect, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
}

constexpr DWORD kKey = 0xF81F;  // magenta in 5-6-5, the library's transparent colour
constexpr int kW = 16, kH = 12;

void ProbeFormats() {
    DDSURFACEDESC2 mode = Desc();
    Result("display.GetDisplayMode", dd4->GetDisplayMode(&mode));
    Line("display.format", "bits %lu masks %04lx %04lx %04lx",
         static_cast<unsigned long>(mode.ddpfPixelFormat.dwRGBBitCount),
         static_cast<unsigned long>(mode.ddpfPixelFormat.dwRBitMask),
         static_cast<unsigned long>(mode.ddpfPixelFormat.dwGBitMask),
         static_cast<unsigned long>(mode.ddpfPixelFormat.dwBBitMask));
    for (int width : {16, 33, 640}) {
        IDirectDrawSurface4* s = MakeSurface(width, 4, DDSCAPS_OFFSCREENPLAIN);
        if (!s)
            continue;
        DDPIXELFORMAT format;
        memset(&format, 0, sizeof format);
        format.dwSize = sizeof format;
        char name[64];
        snprintf(name, sizeof name, "surface%d.GetPixelFormat", width);
        Result(name, s->GetPixelFormat(&format));
        snprintf(name, sizeof name, "surface%d.format", width);
        Line(name, "rgb %d bits %lu masks %04lx %04lx %04lx", (format.dwFlags & DDPF_RGB) ? 1 : 0,
             static_cast<unsigned long>(format.dwRGBBitCount),
             static_cast<unsigned long>(format.dwRBitMask),
             static_cast<unsigned long>(format.dwGBitMask),
             static_cast<unsigned long>(format.dwBBitMask));
        DDSURFACEDESC2 desc = Desc();
        snprintf(name, sizeof name, "surface%d.Lock", width);
        HRESULT hr = s->Lock(nullptr, &desc, 0, nullptr);
        Result(name, hr);
        if (hr == DD_OK) {
            // Rows start on 4-byte boundaries at least; what is beyond that is the platform's.
            snprintf(name, sizeof name, "surface%d.pitch", width);
            Line(name, "at least %d: %d, multiple of 4: %d", width * 2,
                 desc.lPitch >= width * 2 ? 1 : 0, desc.lPitch % 4 == 0 ? 1 : 0);
            snprintf(name, sizeof name, "info surface%d.pitch", width);
            Line(name, "%ld", static_cast<long>(desc.lPitch));
            s->Unlock(nullptr);
        }
        s->Release();
    }
}

void ProbeBlits() {
    IDirectDrawSurface4* src = MakeSurface(kW, kH, DDSCAPS_OFFSCREENPLAIN);
    IDirectDrawSurface4* dst = MakeSurface(kW, kH, DDSCAPS_OFFSCREENPLAIN);
    if (!src || !dst)
        return;

    // Fills: a rectangle (right and bottom exclusive), then the whole surface.
    Result("fill.all", Fill(dst, nullptr, 0x0841));
    RECT r{1, 2, 5, 4};
    Result("fill.rect", Fill(dst, &r, kKey));
    Dump("fill", dst, kW, kH);

    // A copy between rectangles with exclusive right and bottom edges.
    Write(src, kW, kH, Pattern);
    Fill(dst, nullptr, 0);
    RECT d{2, 3, 10, 8}, s{1, 1, 9, 6};
    Result("copy.Blt", dst->Blt(&d, src, &s, DDBLT_WAIT, nullptr));
    Dump("copy", dst, kW, kH);

    // Source key: magenta source pixels are not copied.
    Write(src, kW, kH, [](int x, int y) {
        return (x + y) % 3 == 0 ? static_cast<uint16_t>(kKey) : Pattern(x, y);
    });
    Result("keysrc.nokey", dst->Blt(nullptr, src, nullptr, DDBLT_KEYSRC | DDBLT_WAIT, nullptr));
    DDCOLORKEY key{kKey, kKey};
    Result("keysrc.SetColorKey", src->SetColorKey(DDCKEY_SRCBLT, &key));
    Fill(dst, nullptr, 0x0841);
    RECT kd{3, 2, 13, 10}, ks{0, 0, 10, 8};
    Result("keysrc.Blt", dst->Blt(&kd, src, &ks, DDBLT_KEYSRC | DDBLT_WAIT, nullptr));
    Dump("keysrc", dst, kW, kH);

    // Destination key: only destination pixels holding the key are replaced.
    Write(src, kW, kH, Pattern);
    Write(dst, kW, kH, [](int x, int y) {
        return (x * y) % 4 == 1 ? static_cast<uint16_t>(kKey) : static_cast<uint16_t>(0x0841);
    });
    Result("keydest.nokey", dst->Blt(nullptr, src, nullptr, DDBLT_KEYDEST | DDBLT_WAIT, nullptr));
    Result("keydest.SetColorKey", dst->SetColorKey(DDCKEY_DESTBLT, &key));
    Result("keydest.Blt", dst->Blt(nullptr, src, nullptr, DDBLT_KEYDEST | DDBLT_WAIT, nullptr));
    Dump("keydest", dst, kW, kH);

    // Rectangles without a clipper: anything not wholly inside the surface is refused by
    // blits (a destination of no width refused even with a source that has some); a lock
    // refuses a rectangle partly outside, takes an empty one and points at its corner.
    struct Case {
        const char* name;
        RECT rect;
    };
    const Case cases[] = {
        {"inside", {0, 0, kW, kH}},         {"past-right", {8, 0, kW + 1, 4}},
        {"past-bottom", {0, 8, 4, kH + 1}}, {"negative", {-1, 0, 3, 4}},
        {"flipped", {4, 0, 0, 4}},          {"empty", {3, 3, 3, 6}},
        {"outside", {20, 20, 24, 24}},      {"flipped-tall", {6, 2, 3, 8}},
        {"corner", {2, 1, 6, 5}},
    };
    IDirectDrawSurface4* plain = MakeSurface(kW, kH, DDSCAPS_OFFSCREENPLAIN);
    for (const Case& c : cases) {
        RECT rect = c.rect;
        char name[64];
        snprintf(name, sizeof name, "rect.fill.%s", c.name);
        Result(name, Fill(plain, &rect, 0x1111));
        DDSURFACEDESC2 whole = Desc(), desc = Desc();
        plain->Lock(nullptr, &whole, 0, nullptr);
        plain->Unlock(nullptr);
        snprintf(name, sizeof name, "rect.lock.%s", c.name);
        const HRESULT locked = plain->Lock(&rect, &desc, 0, nullptr);
        const long at = static_cast<long>(static_cast<uint8_t*>(desc.lpSurface) -
                                          static_cast<uint8_t*>(whole.lpSurface));
        Line(name, "0x%08lx row %ld byte %ld",
             static_cast<unsigned long>(static_cast<uint32_t>(locked)),
             locked == DD_OK ? at / whole.lPitch : -1, locked == DD_OK ? at % whole.lPitch : -1);
        if (locked == DD_OK)
            plain->Unlock(&rect);
        const int w = c.rect.right - c.rect.left, h = c.rect.bottom - c.rect.top;
        if (w >= 0 && h >= 0) {
            RECT from{0, 0, w ? w : 4, h ? h : 4};
            snprintf(name, sizeof name, "rect.copy-dest.%s", c.name);
            Result(name, plain->Blt(&rect, src, &from, DDBLT_WAIT, nullptr));
        }
        if (w > 0 && h > 0) {
            RECT to{0, 0, w, h};
            if (w <= kW && h <= kH) {
                snprintf(name, sizeof name, "rect.copy-src.%s", c.name);
                Result(name, plain->Blt(&to, src, &rect, DDBLT_WAIT, nullptr));
            }
        }
    }

    // A clipper with neither a window nor a clip list: every blit through it is refused.
    IDirectDrawClipper* bare = nullptr;
    Result("bareclip.CreateClipper", dd4->CreateClipper(0, &bare, nullptr));
    Fill(plain, nullptr, 0x2222);
    if (bare && plain->SetClipper(bare) == DD_OK) {
        RECT part{12, 8, 20, 16}, from{0, 0, 8, 8};
        Result("bareclip.fill", Fill(plain, nullptr, 0x3333));
        Result("bareclip.fill-part", Fill(plain, &part, 0x3333));
        Result("bareclip.copy", plain->Blt(&part, src, &from, DDBLT_WAIT, nullptr));
        RECT flipped{8, 0, 0, 8};
        Result("bareclip.fill-flipped", Fill(plain, &flipped, 0x3333));
        Result("bareclip.copy-flipped", plain->Blt(&flipped, src, &from, DDBLT_WAIT, nullptr));
        Dump("bareclip", plain, kW, kH);
        plain->SetClipper(nullptr);
    }
    if (bare)
        bare->Release();
    plain->Release();
    src->Release();
    dst->Release();
}

// The screen's 5-6-5 pixels in the rectangle (0, 0)-(width, height).
bool ReadScreen(IDirectDrawSurface4* primary, int width, int height, Pixels* pixels) {
#ifdef _WIN32
    return Read(primary, width, height, pixels);
#else
    (void)primary;
    auto& backend = static_cast<platform::HeadlessBackend&>(platform::CurrentBackend());
    const std::vector<uint32_t>& screen = backend.Screen();
    pixels->width = width;
    pixels->height = height;
    pixels->p.resize(static_cast<size_t>(width * height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t c = screen[static_cast<size_t>(y * backend.ScreenWidth() + x)];
            pixels->p[static_cast<size_t>(y * width + x)] = static_cast<uint16_t>(
                ((c >> 19) & 0x1F) << 11 | ((c >> 10) & 0x3F) << 5 | ((c >> 3) & 0x1F));
        }
    return true;
#endif
}

// A copy to the screen through the window's clipper lands only inside the window.
void ProbeClippedBlit(HWND window) {
    DDSURFACEDESC2 desc = Desc();
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    IDirectDrawSurface4* primary = nullptr;
    Result("primary.CreateSurface", dd4->CreateSurface(&desc, &primary, nullptr));
    IDirectDrawClipper* clipper = nullptr;
    Result("primary.CreateClipper", dd4->CreateClipper(0, &clipper, nullptr));
    if (!primary || !clipper)
        return;
    Result("primary.SetHWnd", clipper->SetHWnd(0, window));
    Result("primary.SetClipper", primary->SetClipper(clipper));
    clipper->Release();

    constexpr int kSw = 64, kSh = 48;
    IDirectDrawSurface4* src = MakeSurface(kSw, kSh, DDSCAPS_OFFSCREENPLAIN);
    if (!src)
        return;
    Write(src, kSw, kSh,
          [](int x, int y) { return static_cast<uint16_t>(Pattern(x, y) | 0x0821); });
    constexpr int kAreaW = 240, kAreaH = 180;
    Pixels before, after;
    // Everything in the window first, so what the clipped copy writes can be told apart.
    RECT whole{0, 0, kSw, kSh};
    for (int y = 0; y < kWindowHeight; y += kSh)
        for (int x = 0; x < kWindowWidth; x += kSw) {
            RECT to{x, y, x + kSw, y + kSh};
            primary->Blt(&to, src, &whole, DDBLT_WAIT, nullptr);
        }
    PumpMessages();
    if (!ReadScreen(primary, kAreaW, kAreaH, &before))
        return;
    Write(src, kSw, kSh,
          [](int x, int y) { return static_cast<uint16_t>(Pattern(y, x) & 0xF7DE); });
    RECT to{kWindowWidth - 40, kWindowHeight - 30, kWindowWidth - 40 + kSw,
            kWindowHeight - 30 + kSh};
    Result("primary.clipped.Blt", primary->Blt(&to, src, &whole, DDBLT_WAIT, nullptr));
    PumpMessages();
    if (!ReadScreen(primary, kAreaW, kAreaH, &after))
        return;
    int copied = 0, wrong = 0, strayOutside = 0, changedInside = 0;
    for (int y = 0; y < kAreaH; ++y)
        for (int x = 0; x < kAreaW; ++x) {
            const bool inWindow = x < kWindowWidth && y < kWindowHeight;
            const bool inRect = x >= to.left && x < to.right && y >= to.top && y < to.bottom;
            const uint16_t want = static_cast<uint16_t>(Pattern(y - to.top, x - to.left) & 0xF7DE);
            if (inWindow && inRect) {
                (after.at(x, y) == want ? copied : wrong) += 1;
            } else if (after.at(x, y) != before.at(x, y)) {
                (inWindow ? changedInside : strayOutside) += 1;
            }
        }
    Line("primary.clipped",
         "copied %d wrong %d changed-in-window-outside-rect %d outside-window %d", copied, wrong,
         changedInside, strayOutside);
    RECT none{8, 8, 8, 40};
    Result("primary.zero-width.Blt", primary->Blt(&none, src, &whole, DDBLT_WAIT, nullptr));
    IDirectDrawClipper* bare = nullptr;
    if (dd4->CreateClipper(0, &bare, nullptr) == DD_OK && primary->SetClipper(bare) == DD_OK)
        Result("primary.bareclip.Blt", primary->Blt(&to, src, &whole, DDBLT_WAIT, nullptr));
    if (bare)
        bare->Release();
    src->Release();
    primary->Release();
}

// Text through a surface's device context: what the text covers starts at its origin and
// nothing else changes; the device context's lock rules.
void ProbeText() {
    constexpr int kTw = 96, kTh = 40, kX = 8, kY = 6;
    IDirectDrawSurface4* s = MakeSurface(kTw, kTh, DDSCAPS_OFFSCREENPLAIN);
    if (!s)
        return;
    Fill(s, nullptr, 0x1234);
    HDC dc = nullptr;
    Result("text.GetDC", s->GetDC(&dc));
    HDC second = nullptr;
    Result("text.GetDC-again", s->GetDC(&second));
    DDSURFACEDESC2 desc = Desc();
    Result("text.Lock-while-dc", s->Lock(nullptr, &desc, 0, nullptr));
    SetBkColor(dc, RGB(0, 0, 128));
    SetTextColor(dc, RGB(255, 255, 0));
    Line("text.TextOutA", "%d", TextOutA(dc, kX, kY, "Hi 0", 4) ? 1 : 0);
    Result("text.ReleaseDC", s->ReleaseDC(dc));
    Result("text.ReleaseDC-again", s->ReleaseDC(dc));
    Pixels px;
    if (Read(s, kTw, kTh, &px)) {
        int x0 = kTw, y0 = kTh, x1 = -1, y1 = -1;
        for (int y = 0; y < kTh; ++y)
            for (int x = 0; x < kTw; ++x)
                if (px.at(x, y) != 0x1234) {
                    x0 = std::min(x0, x), y0 = std::min(y0, y);
                    x1 = std::max(x1, x), y1 = std::max(y1, y);
                }
        // The opaque cell fills a rectangle from the origin; inside it, only background
        // and text colours (and blends of them where the font is smoothed).
        int holes = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                holes += px.at(x, y) == 0x1234;
        Line("text.changed-from", "%d %d", x0, y0);
        Line("text.unchanged-inside-cell", "%d", holes);
        Line("info text.cell", "%d x %d", x1 - x0 + 1, y1 - y0 + 1);
    }
    s->Release();
}

// ---- Direct3D ---------------------------------------------------------------------------

constexpr int kRtW = 640, kRtH = 480;

struct Scene {
    IDirectDrawSurface4* target = nullptr;
    IDirect3D3* d3d = nullptr;
    IDirect3DDevice3* device = nullptr;
    IDirect3DViewport3* viewport = nullptr;
    IDirect3DMaterial3* material = nullptr;
    IDirect3DLight* light = nullptr;
};

D3DMATRIX Identity() {
    D3DMATRIX m;
    memset(&m, 0, sizeof m);
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

// The library's scene state: viewport, projection, camera, material, ambient level, light.
bool SetUpScene(Scene* scene) {
    scene->target = MakeSurface(kRtW, kRtH, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE);
    if (!scene->target)
        return false;
    Result("d3d.QueryInterface",
           dd->QueryInterface(IID_IDirect3D3, reinterpret_cast<void**>(&scene->d3d)));
    if (!scene->d3d)
        return false;
    // The library's order: hardware first, then the software devices.
    struct Choice {
        const char* name;
        const GUID* guid;
    };
    const Choice choices[] = {{"HAL", &IID_IDirect3DHALDevice},
                              {"RGB", &IID_IDirect3DRGBDevice},
                              {"RAMP", &IID_IDirect3DRampDevice},
                              {"MMX", &IID_IDirect3DMMXDevice}};
    for (const Choice& c : choices) {
        if (scene->d3d->CreateDevice(*c.guid, scene->target, &scene->device, nullptr) == D3D_OK) {
            Line("info d3d.device", "%s", c.name);
            break;
        }
    }
    if (!scene->device)
        return false;
    Result("d3d.CreateViewport", scene->d3d->CreateViewport(&scene->viewport, nullptr));
    Result("d3d.AddViewport", scene->device->AddViewport(scene->viewport));
    D3DVIEWPORT2 view;
    memset(&view, 0, sizeof view);
    view.dwSize = sizeof view;
    view.dwWidth = kRtW;
    view.dwHeight = kRtH;
    const float aspect = static_cast<float>(640.0 / 480.0);
    view.dvClipX = -1.0f;
    view.dvClipY = aspect;
    view.dvClipWidth = 2.0f;
    view.dvClipHeight = 2.0f * aspect;
    view.dvMinZ = 0.0f;
    view.dvMaxZ = 1.0f;
    Result("d3d.SetViewport2", scene->viewport->SetViewport2(&view));
    Result("d3d.SetCurrentViewport", scene->device->SetCurrentViewport(scene->viewport));

    D3DMATRIX projection;
    memset(&projection, 0, sizeof projection);
    projection._11 = 2.0f;
    projection._22 = 2.0f;
    const uint32_t q = 0x3F86BCA2u, qn = 0xC25286BDu;  // far/(far-near), -near*far/(far-near)
    memcpy(&projection._33, &q, 4);
    projection._34 = 1.0f;
    memcpy(&projection._43, &qn, 4);
    D3DMATRIX world = Identity();
    D3DMATRIX camera = Identity();  // the camera 200 units behind the origin, looking along +z
    camera._43 = 200.0f;
    Result("d3d.SetTransform.projection",
           scene->device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &projection));
    Result("d3d.SetTransform.view", scene->device->SetTransform(D3DTRANSFORMSTATE_VIEW, &camera));
    Result("d3d.SetTransform.world", scene->device->SetTransform(D3DTRANSFORMSTATE_WORLD, &world));

    IDirect3DMaterial3*& material = scene->material;
    Result("d3d.CreateMaterial", scene->d3d->CreateMaterial(&material, nullptr));
    if (!material)
        return false;
    D3DMATERIAL m;
    memset(&m, 0, sizeof m);
    m.dwSize = sizeof m;
    m.diffuse = D3DCOLORVALUE{0.5f, 0.0f, 0.5f, 1.0f};
    m.ambient = D3DCOLORVALUE{0.5f, 0.0f, 0.5f, 1.0f};
    m.specular = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 1.0f};
    m.power = 50.0f;
    Result("d3d.SetMaterial", material->SetMaterial(&m));
    D3DMATERIALHANDLE handle = 0;
    Result("d3d.GetHandle", material->GetHandle(scene->device, &handle));
    Result("d3d.SetLightState.material",
           scene->device->SetLightState(D3DLIGHTSTATE_MATERIAL, handle));
    Result("d3d.SetLightState.ambient",
           scene->device->SetLightState(D3DLIGHTSTATE_AMBIENT, 0xFFFFFFFF));

    IDirect3DLight*& light = scene->light;
    Result("d3d.CreateLight", scene->d3d->CreateLight(&light, nullptr));
    if (!light)
        return false;
    D3DLIGHT2 l;
    memset(&l, 0, sizeof l);
    l.dwSize = sizeof l;
    l.dltType = D3DLIGHT_POINT;
    l.dcvColor = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
    l.dvPosition = D3DVECTOR{0.0f, 100.0f, 100.0f};
    l.dvRange = D3DLIGHT_RANGE_MAX;
    l.dvAttenuation0 = 1.0f;
    l.dwFlags = D3DLIGHT_ACTIVE;
    Result("d3d.SetLight", light->SetLight(reinterpret_cast<D3DLIGHT*>(&l)));
    Result("d3d.AddLight", scene->viewport->AddLight(light));
    return true;
}

D3DVERTEX Vertex(float x, float y, float z, float nx = 0, float ny = 0, float nz = 1) {
    D3DVERTEX v;
    memset(&v, 0, sizeof v);
    v.x = x, v.y = y, v.z = z;
    v.nx = nx, v.ny = ny, v.nz = nz;
    return v;
}

// Black target, one scene with the triangles, the target read back.
HRESULT Draw(Scene* scene, D3DVERTEX* vertices, DWORD count, Pixels* pixels) {
    Fill(scene->target, nullptr, 0);
    HRESULT hr = scene->device->BeginScene();
    if (hr != D3D_OK)
        return hr;
    hr = scene->device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, vertices, count,
                                      D3DDP_WAIT);
    scene->device->EndScene();
    if (pixels)
        Read(scene->target, kRtW, kRtH, pixels);
    return hr;
}

struct Covered {
    int count = 0, x0 = kRtW, y0 = kRtH, x1 = -1, y1 = -1;
    long sumX = 0, sumY = 0;
};

Covered Coverage(const Pixels& px) {
    Covered c;
    for (int y = 0; y < px.height; ++y)
        for (int x = 0; x < px.width; ++x)
            if (px.at(x, y) != 0) {
                ++c.count;
                c.sumX += x, c.sumY += y;
                c.x0 = std::min(c.x0, x), c.y0 = std::min(c.y0, y);
                c.x1 = std::max(c.x1, x), c.y1 = std::max(c.y1, y);
            }
    return c;
}

// A small triangle at a point, clockwise on screen: the point, one step right, one step down.
void SmallTriangle(float x, float y, float z, float nx, float ny, float nz, D3DVERTEX* v) {
    // About 20 x 11 pixels at any distance; an odd size, so that edges seldom pass exactly
    // through pixel centres (where rasterisers may break the tie differently).
    const float step = (z + 200.0f) / 31.3f;
    v[0] = Vertex(x, y, z, nx, ny, nz);
    v[1] = Vertex(x + step, y, z, nx, ny, nz);
    v[2] = Vertex(x, y - step, z, nx, ny, nz);
}

void ProbeDirect3D() {
    Scene scene;
    if (!SetUpScene(&scene)) {
        Line("d3d.setup", "failed");
        return;
    }
    Pixels px;

    // Where the viewport puts points: the covered pixels of a small triangle at each.
    const float points[][3] = {
        {0, 10, 0},        {-10, -10, 10},         {10, -10, 10}, {0, -10, -10}, {90, 60, 0},
        {-150, -100, 100}, {37.5f, -21.25f, -120}, {0, 0, 600},   {-60, 75, 40}};
    for (const auto& p : points) {
        D3DVERTEX v[3];
        SmallTriangle(p[0], p[1], p[2], 0, 0, 1, v);
        HRESULT hr = Draw(&scene, v, 3, &px);
        const Covered c = Coverage(px);
        char name[96];
        snprintf(name, sizeof name, "d3d.map(%g,%g,%g)", p[0], p[1], p[2]);
        Line(name, "hr 0x%08lx box %d %d %d %d",
             static_cast<unsigned long>(static_cast<uint32_t>(hr)), c.x0, c.y0, c.x1, c.y1);
        // The pixel count and each covered row as first-last column.
        std::string spans;
        for (int y = c.y0; y <= c.y1; ++y) {
            int first = -1, last = -1;
            for (int x = c.x0; x <= c.x1; ++x)
                if (px.at(x, y) != 0) {
                    if (first < 0)
                        first = x;
                    last = x;
                }
            char span[48];
            snprintf(span, sizeof span, "%s%d:%d-%d", spans.empty() ? "" : " ", y, first, last);
            spans += span;
        }
        snprintf(name, sizeof name, "d3d.map(%g,%g,%g).rows", p[0], p[1], p[2]);
        Line(name, "%d %s", c.count, spans.c_str());
    }

    // Which faces of the library's sample tetrahedron survive culling (default cull mode).
    const D3DVERTEX tetra[4] = {Vertex(0, 10, 0), Vertex(-10, -10, 10), Vertex(10, -10, 10),
                                Vertex(0, -10, -10)};
    const int faces[4][3] = {{0, 1, 2}, {0, 2, 3}, {0, 3, 1}, {1, 3, 2}};
    std::vector<D3DVERTEX> all;
    for (const auto& f : faces) {
        D3DVERTEX v[3] = {tetra[f[0]], tetra[f[1]], tetra[f[2]]};
        all.insert(all.end(), v, v + 3);
        Draw(&scene, v, 3, &px);
        char name[64];
        snprintf(name, sizeof name, "d3d.cull.face%d%d%d", f[0], f[1], f[2]);
        Line(name, "%s", Coverage(px).count > 0 ? "drawn" : "culled");
    }
    Draw(&scene, all.data(), static_cast<DWORD>(all.size()), &px);
    const Covered t = Coverage(px);
    Line("d3d.tetrahedron", "box %d %d %d %d", t.x0, t.y0, t.x1, t.y1);
    Line("d3d.tetrahedron.pixels", "%d", t.count);

    // Lighting: the colour in the middle of a small triangle, at several normals and places.
    const float normals[][3] = {{0, 0, 1},
                                {0, 0, -1},
                                {0, 1, 0},
                                {0, -1, 0},
                                {1, 0, 0},
                                {0, 0.70710678f, 0.70710678f},
                                {0, 0.70710678f, -0.70710678f},
                                {0.57735027f, 0.57735027f, -0.57735027f}};
    const float places[][3] = {{0, 0, 0}, {0, 90, 90}, {50, -50, 300}, {-40, 40, -100}};
    for (const auto& p : places)
        for (const auto& n : normals) {
            D3DVERTEX v[3];
            SmallTriangle(p[0], p[1], p[2], n[0], n[1], n[2], v);
            Draw(&scene, v, 3, &px);
            const Covered c = Coverage(px);
            char name[128];
            snprintf(name, sizeof name, "d3d.light.at(%g,%g,%g).n(%.2f,%.2f,%.2f)", p[0], p[1],
                     p[2], n[0], n[1], n[2]);
            if (c.count == 0) {
                Line(name, "nothing drawn");
                continue;
            }
            // The covered pixel nearest the triangle's first vertex's corner, one pixel in.
            const uint16_t colour = px.at(c.x0 + 1, c.y0 + 1);
            Line(name, "%d %d %d", colour >> 11, (colour >> 5) & 0x3F, colour & 0x1F);
        }

    // Clear2: right and bottom edges exclusive, rectangles clipped to the viewport.
    struct ClearCase {
        const char* name;
        std::vector<D3DRECT> rects;
    };
    const ClearCase clears[] = {
        {"screen", {{0, 0, 639, 479}}},
        {"two-overlapping", {{10, 10, 20, 20}, {15, 15, 30, 25}}},
        {"past-the-edge", {{600, 460, 700, 500}}},
    };
    for (const ClearCase& c : clears) {
        Fill(scene.target, nullptr, 0x07E0);
        std::vector<D3DRECT> rects = c.rects;
        HRESULT hr = scene.viewport->Clear2(static_cast<DWORD>(rects.size()), rects.data(),
                                            D3DCLEAR_TARGET, 0, 0.0f, 0);
        Read(scene.target, kRtW, kRtH, &px);
        int cleared = 0, x0 = kRtW, y0 = kRtH, x1 = -1, y1 = -1;
        for (int y = 0; y < kRtH; ++y)
            for (int x = 0; x < kRtW; ++x)
                if (px.at(x, y) == 0) {
                    ++cleared;
                    x0 = std::min(x0, x), y0 = std::min(y0, y);
                    x1 = std::max(x1, x), y1 = std::max(y1, y);
                }
        char name[64];
        snprintf(name, sizeof name, "d3d.Clear2.%s", c.name);
        Line(name, "hr 0x%08lx cleared %d box %d %d %d %d",
             static_cast<unsigned long>(static_cast<uint32_t>(hr)), cleared, x0, y0, x1, y1);
    }

    // A triangle list of no vertices.
    Result("d3d.DrawPrimitive.0", Draw(&scene, all.data(), 0, nullptr));

    // The platform keeps one device per DirectDraw object: this one goes before the next.
    scene.light->Release();
    scene.material->Release();
    scene.viewport->Release();
    scene.device->Release();
    scene.d3d->Release();
    scene.target->Release();
}

}  // namespace

// bitmap_probe.cpp: the bitmap files, written into `dir` and loaded.
void ProbeBitmaps(IDirectDraw4* dd4, FILE* file, const std::string& dir);
// d3d_probe.cpp: depth buffers, the depth states, lists, strips and fans, shading.
void ProbeDirect3DDepthAndShapes(IDirectDraw* dd, IDirectDraw4* dd4, FILE* file);

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: probe OUTPUT_FILE\n");
        return 2;
    }
    out = fopen(argv[1], "wb");
    if (!out) {
        fprintf(stderr, "probe: cannot write %s\n", argv[1]);
        return 2;
    }
#ifndef _WIN32
    platform::UseHeadlessBackend(1024, 768);
    HINSTANCE instance = platform::ModuleInstance();
#else
    HINSTANCE instance = GetModuleHandleA(nullptr);
#endif
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = ProbeWindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = "probe";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, "probe", "probe", WS_POPUP | WS_VISIBLE, 0, 0, kWindowWidth,
                                  kWindowHeight, nullptr, nullptr, instance, nullptr);
    if (!window) {
        fprintf(stderr, "probe: no window\n");
        return 1;
    }
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    PumpMessages();

    Result("DirectDrawCreate", DirectDrawCreate(nullptr, &dd, nullptr));
    if (!dd)
        return 1;
    Result("QueryInterface.IDirectDraw4",
           dd->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&dd4)));
    if (!dd4)
        return 1;
    Result("SetCooperativeLevel", dd4->SetCooperativeLevel(window, DDSCL_NORMAL));

    ProbeFormats();
    ProbeBlits();
    ProbeClippedBlit(window);
    ProbeText();
    ProbeDirect3D();
    ProbeDirect3DDepthAndShapes(dd, dd4, out);
    {
        const std::string path = argv[1];
        ProbeBitmaps(dd4, out, path.substr(0, path.find_last_of("/\\") + 1));
    }

    dd4->Release();
    dd->Release();
    DestroyWindow(window);
    fclose(out);
    return 0;
}
