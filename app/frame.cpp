// The frame driver: one picture composed in the back buffer (3D scene, HUD, overlay),
// copied to the screen, then the back buffer cleared for the next one. Nothing here
// allocates.
#include "app/frame.h"

#include <cmath>
#include <cstring>

#include "app/appstate.h"
#include "directx/diag.h"
#include "directx/display.h"
#include "object3d/object3d.h"
#include "platform/gdi.h"
#include "sprite/overlay.h"

FpsCounterRecord FpsCounter;
DDBLTFX clearFx;  // filled by AppInit: its own size, fill colour 0 (black)

namespace {

constexpr COLORREF kHudBackground = 0x00FF0000;  // blue
constexpr COLORREF kHudText = 0x0000FFFF;        // yellow
constexpr DWORD kRateInterval = 1000;            // milliseconds between rate updates

// A coordinate as the HUD prints it: truncated toward zero, held within the range of an int
// so that no position, however far out, makes the conversion undefined.
int HudInt(float value) {
    if (std::isnan(value))
        return 0;
    if (value >= 2147483647.0f)
        return 2147483647;
    if (value <= -2147483648.0f)
        return -2147483647 - 1;
    return static_cast<int>(value);
}

}  // namespace

int AppFrame() {
    IDirectDrawSurface4* primary = DisplayContext.primarySurface;
    IDirectDrawSurface4* back = DisplayContext.backBuffer;
    if (!primary || !back)
        return 0;  // no display: nothing to compose or show

    SceneClock = static_cast<float>(platform::Clock()) * 0.001f;
    Render3DFrame();
    DrawHud();
    UpdateOverlay();
    DrawDisplayList();

    // The rectangle's right and bottom edges are exclusive, so the last column and row of
    // the back buffer do not reach the screen.
    primary->Blt(&DisplayContext.screenRect, back, &DisplayContext.screenRect, DDBLT_WAIT, nullptr);

    HRESULT hr = back->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &clearFx);
    if (hr != DD_OK) {
        ReportDirectDrawError(hr, "app", 173);
        return 0;
    }
    return 1;
}

HRESULT DrawHud() {
    HDC dc = nullptr;
    HRESULT hr = DisplayContext.backBuffer->GetDC(&dc);
    if (hr != DD_OK)
        return hr;

    FpsCounterRecord& counter = FpsCounter;
    counter.framesDrawn += 1;
    // Unsigned differences keep working across the wrap of the millisecond counter.
    const DWORD now = timeGetTime();
    if (now - counter.markTime > kRateInterval) {
        counter.fps =
            (counter.framesDrawn - counter.markFramesDrawn) * 1000u / (now - counter.markTime);
        counter.markTime = now;
        counter.markFramesDrawn = counter.framesDrawn;
    }

    SetBkColor(dc, kHudBackground);
    SetTextColor(dc, kHudText);

    char text[60];
    // The whole rate: from 1000 frames a second on it needs more than three digits.
    wsprintfA(text, "Avg fps %03d", static_cast<int>(counter.fps));
    TextOutA(dc, 20, 0, text, static_cast<int>(strlen(text)));

    // The camera's lines need a camera; without one (no 3D scene) they are left out.
    if (const Object3D* camera = cameraObject) {
        wsprintfA(text, "pos x: %05d   y: %05d   y: %05d", HudInt(camera->pos.x),
                  HudInt(camera->pos.y), HudInt(camera->pos.z));
        TextOutA(dc, 200, 0, text, static_cast<int>(strlen(text)));
        wsprintfA(text, "dir x: %05d   y: %05d   y: %05d", HudInt(camera->dir.x),
                  HudInt(camera->dir.y), HudInt(camera->dir.z));
        TextOutA(dc, 200, 20, text, static_cast<int>(strlen(text)));
        wsprintfA(text, "pitch: %03d   roll: %03d   yaw: %03d", camera->pitch, camera->roll,
                  camera->yaw);
        TextOutA(dc, 200, 40, text, static_cast<int>(strlen(text)));
    }

    wsprintfA(text, "mode: %03dx%03dx%02d", static_cast<int>(DisplayContext.width),
              static_cast<int>(DisplayContext.height),
              static_cast<int>(DisplayContext.bitsPerPixel));
    TextOutA(dc, 500, 0, text, 16);

    return DisplayContext.backBuffer->ReleaseDC(dc);
}
