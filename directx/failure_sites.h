// Every failure the application reports, one entry per site, in the order a run reaches
// them: which hooked platform call fails (the operation and which of its calls, counted from
// the start of the process on the standard machine), who reports it and with which source
// file and line, the text the user then sees, and how far the run log got. The table is the
// one place that says what each failure looks like from outside; the whole-run fault tests
// run the application once per entry with that call made to fail and check the result
// against it. The device fallback and the failed window are listed too: they end or change a
// run without a fatal report.
#pragma once

#include "platform/base.h"

enum class FailureReporter {
    DirectDraw,  // ReportDirectDrawError: "DirectDraw Error <name>\nin file <file> at line <line>"
    Direct3D,    // ReportDirect3DError: "Direct3D Error <name>\nin file <file> at line <line>"
    File,        // ReportFileError: "File Error <message>\nin file <file> at line <line>"
    None,        // no fatal report (sprite error boxes, device fallback, no window)
};

struct FailureSite {
    const char* op;  // hooked operation; null: the mesh file "ship.xxx" is missing
    int nth;         // which call of `op` fails (1-based)
    bool repeat;     // every call of `op` from the nth on fails
    HRESULT code;    // the result the call fails with
    FailureReporter reporter;
    const char* file;  // source module named in the report
    int line;          // source line named in the report
    const char* name;  // result-code name or file-error message in the report
    // A sprite error box shown after the report (or alone): its text and caption.
    const char* spriteBoxText;
    const char* spriteBoxCaption;
    bool startupFails;  // InitDisplay fails: the start-up failure box follows
    // The run log: how many lines of a complete run's log it holds, and the line that
    // follows them instead of the rest (null when none does).
    int logLines;
    const char* logLineAfter;
    bool noWindow;  // the window was never created: no file is written at all
    // The machine the run needs: null for the standard one, "secondary-3d" for the standard
    // one with a second display driver that has 3D (start-up then tries that one first).
    const char* machine;
};

inline constexpr HRESULT kSiteDDCode = DDERR_SURFACELOST;
inline constexpr HRESULT kSiteD3DCode = D3DERR_INITFAILED;

// The run log of a complete run on the standard machine has this many lines: eleven of the
// capability report and the device line.
inline constexpr int kCompleteRunLogLines = 12;

#define DD_SITE(op, nth, file, line, startupFails, logLines) \
    DD_SITE_ON(nullptr, op, nth, file, line, startupFails, logLines)
#define DD_SITE_ON(machine, op, nth, file, line, startupFails, logLines)                           \
    FailureSite {                                                                                  \
        op, nth, false, kSiteDDCode, FailureReporter::DirectDraw, file, line, "DDERR_SURFACELOST", \
            nullptr, nullptr, startupFails, logLines, nullptr, false, machine                      \
    }
#define D3D_SITE(op, nth, file, line, startupFails, logLines)                                     \
    FailureSite {                                                                                 \
        op, nth, false, kSiteD3DCode, FailureReporter::Direct3D, file, line, "D3DERR_INITFAILED", \
            nullptr, nullptr, startupFails, logLines, nullptr, false, nullptr                     \
    }

inline constexpr FailureSite kFailureSites[] = {
    // The window: WinMain returns 0 at once, nothing is opened.
    {"CreateWindowExA", 1, false, E_FAIL, FailureReporter::None, nullptr, 0, nullptr, nullptr,
     nullptr, false, 0, nullptr, true, nullptr},

    // A second display driver with 3D that cannot be created or asked for its capabilities:
    // the enumeration ends and the default driver is used.
    DD_SITE_ON("secondary-3d", "DirectDrawCreate", 1, "directx", 133, false, 12),
    DD_SITE_ON("secondary-3d", "IDirectDraw::GetCaps", 1, "directx", 142, false, 12),

    // Display set-up.
    DD_SITE("DirectDrawEnumerateA", 1, "directx", 416, true, 0),
    DD_SITE("DirectDrawCreate", 1, "directx", 419, true, 0),
    DD_SITE("IDirectDraw::QueryInterface", 1, "directx", 423, true, 0),
    DD_SITE("IDirectDraw4::GetDisplayMode", 1, "directx", 436, true, 0),
    DD_SITE("IDirectDraw4::GetCaps", 1, "directx", 443, true, 0),
    DD_SITE("IDirectDraw4::SetCooperativeLevel", 1, "directx", 58, true, 11),
    DD_SITE("IDirectDraw4::CreateSurface", 1, "directx", 65, true, 11),  // primary
    DD_SITE("IDirectDraw4::CreateSurface", 2, "directx", 73, true, 11),  // back buffer
    DD_SITE("IDirectDraw4::CreateClipper", 1, "directx", 77, true, 11),

    // The 3D device, its viewport, material and light.
    DD_SITE("IDirectDraw::QueryInterface", 2, "directx", 351, true, 11),  // IID_IDirect3D3
    // The HAL device fails: the next one, RGB, is used and logged; nothing is reported.
    {"IDirect3D3::CreateDevice", 1, false, kSiteD3DCode, FailureReporter::None, nullptr, 0, nullptr,
     nullptr, nullptr, false, kCompleteRunLogLines, nullptr, false, nullptr},
    // All four devices fail: only the start-up failure box.
    {"IDirect3D3::CreateDevice", 1, true, kSiteD3DCode, FailureReporter::None, nullptr, 0, nullptr,
     nullptr, nullptr, true, 11, "D3D could not create device\n", false, nullptr},
    DD_SITE("IDirect3DDevice3::SetRenderState", 1, "directx", 379, true, 12),
    D3D_SITE("IDirect3D3::CreateViewport", 1, "directx", 396, true, 12),
    D3D_SITE("IDirect3DDevice3::AddViewport", 1, "directx", 398, true, 12),
    D3D_SITE("IDirect3DViewport3::SetViewport2", 1, "directx", 400, true, 12),
    D3D_SITE("IDirect3DDevice3::SetCurrentViewport", 1, "directx", 403, true, 12),
    // Material and light failures do not stop the scene's set-up.
    D3D_SITE("IDirect3D3::CreateMaterial", 1, "directx", 211, false, 12),
    D3D_SITE("IDirect3DMaterial3::SetMaterial", 1, "directx", 240, false, 12),
    D3D_SITE("IDirect3DMaterial3::GetHandle", 1, "directx", 242, false, 12),
    D3D_SITE("IDirect3DDevice3::SetLightState", 1, "directx", 244, false, 12),  // material
    D3D_SITE("IDirect3DDevice3::SetLightState", 2, "directx", 246, false, 12),  // ambient
    D3D_SITE("IDirect3D3::CreateLight", 1, "directx", 255, false, 12),
    D3D_SITE("IDirect3DLight::SetLight", 1, "directx", 283, false, 12),
    D3D_SITE("IDirect3DViewport3::AddLight", 1, "directx", 285, false, 12),

    // The scene's mesh file is missing.
    {nullptr, 0, false, 0, FailureReporter::File, "object3d", 182, "File or path not found",
     nullptr, nullptr, false, 12, nullptr, false, nullptr},

    // The overlay's sprites: the first font's bitmap, its surface and the copy into it.
    {"LoadImageA", 1, false, E_FAIL, FailureReporter::None, nullptr, 0, nullptr,
     "Error: sprite:217", "ERROR", false, 12, nullptr, false, nullptr},
    DD_SITE("IDirectDraw4::CreateSurface", 3, "directx", 648, false, 12),
    DD_SITE("IDirectDrawSurface4::GetDC", 1, "sprite", 234, false, 12),
    {"StretchBlt", 1, false, E_FAIL, FailureReporter::None, nullptr, 0, nullptr, "ERROR",
     "Error: sprite:245", false, 12, nullptr, false, nullptr},
    DD_SITE("IDirectDrawSurface4::ReleaseDC", 1, "sprite", 237, false, 12),
    // The caption's blank sprite: its surface, its fill and the first glyph copied into it.
    {"IDirectDraw4::CreateSurface", 12, false, kSiteDDCode, FailureReporter::DirectDraw, "directx",
     648, "DDERR_SURFACELOST", "ERROR", "Error: sprite:149", false, 12, nullptr, false, nullptr},
    DD_SITE("IDirectDrawSurface4::Blt", 1, "sprite", 875, false, 12),
    DD_SITE("IDirectDrawSurface4::Blt", 2, "sprite", 689, false, 12),

    // The first frame: the 3D step, the overlay's first blit, the clear of the back buffer.
    D3D_SITE("IDirect3DViewport3::Clear2", 1, "directx", 601, false, 12),
    D3D_SITE("IDirect3DDevice3::BeginScene", 1, "directx", 603, false, 12),
    D3D_SITE("IDirect3DDevice3::SetTransform", 2, "object3d", 134, false, 12),  // VIEW
    D3D_SITE("IDirect3DDevice3::SetTransform", 3, "object3d", 141, false, 12),  // WORLD
    D3D_SITE("IDirect3DDevice3::DrawPrimitive", 1, "object3d", 168, false, 12),
    D3D_SITE("IDirect3DDevice3::EndScene", 1, "directx", 609, false, 12),
    DD_SITE("IDirectDrawSurface4::Blt", 9, "sprite", 550, false, 12),
    DD_SITE("IDirectDrawSurface4::Blt", 16, "app", 173, false, 12),
};

#undef DD_SITE
#undef D3D_SITE
#undef DD_SITE_ON
