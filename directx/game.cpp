// Set-up, frame and teardown for a game of its own, built from the display layer's pieces.
#include "directx/game.h"

#include <cstring>
#include <new>

#include "object3d/math3d.h"

namespace {

constexpr const char* kModule = "directx";

// The frame clock: performance-counter ticks of the latest present and of the next frame's
// due time under the cap.
struct FrameClock {
    LONGLONG frequency = 1;
    LONGLONG last = 0;
    LONGLONG due = 0;
    unsigned cap = 0;     // frames a second; 0: none
    LONGLONG period = 0;  // ticks a frame under the cap
    double seconds = 0.0;
} frameClock;

LONGLONG Now() {
    LARGE_INTEGER count;
    count.QuadPart = 0;
    QueryPerformanceCounter(&count);
    return count.QuadPart;
}

void ReadFrequency() {
    LARGE_INTEGER frequency;
    frequency.QuadPart = 0;
    QueryPerformanceFrequency(&frequency);
    frameClock.frequency = frequency.QuadPart > 0 ? frequency.QuadPart : 1;
    frameClock.period = frameClock.cap ? frameClock.frequency / frameClock.cap : 0;
}

// Sleeps until the frame is due (under a cap), then takes the frame time.
void PaceFrame() {
    FrameClock& c = frameClock;
    LONGLONG now = Now();
    if (c.period > 0) {
        c.due += c.period;
        if (now - c.due > c.period) {
            c.due = now;  // far behind (a stall): a new schedule rather than a burst of frames
        } else if (c.due > now) {
            // To the nearest millisecond: a frame a little early or late is evened out by the
            // next one, whose due time does not move.
            const LONGLONG ms = ((c.due - now) * 1000 + c.frequency / 2) / c.frequency;
            if (ms > 0) {
                Sleep(static_cast<DWORD>(ms));
                now = Now();
            }
        }
    }
    c.seconds = static_cast<double>(now - c.last) / static_cast<double>(c.frequency);
    c.last = now;
}

// Sleeps as short as a millisecond while a cap is set (the Windows default tick is longer).
void FineSleeps(bool on) {
    static bool fine = false;
    if (on && !fine)
        timeBeginPeriod(1);
    else if (!on && fine)
        timeEndPeriod(1);
    fine = on;
}

// Quiet load errors for the length of one call, whatever the setting outside it.
struct QuietLoads {
    int before = quietLoadErrors;
    QuietLoads() { quietLoadErrors = 1; }
    ~QuietLoads() { quietLoadErrors = before; }
};

}  // namespace

int OpenGame(HWND window, unsigned width, unsigned height) {
    return OpenGame(window, width, height, GameOptions{});
}

int OpenGame(HWND window, unsigned width, unsigned height, const GameOptions& options) {
    if (!RunLog)
        OpenRunLog();
    BuildTrigTables();
    AppState.mainWindow = window;
    quietLoadErrors = 1;
    SceneClock = static_cast<float>(platform::Clock()) * 0.001f;
    ReadFrequency();
    frameClock.last = frameClock.due = Now();
    frameClock.seconds = 0.0;
    DisplayContext.wantDepthBuffer = options.depthBuffer ? 1 : 0;
    DisplayContext.squarePixels = 1;
    return SetUpDisplay(window, width, height, 16, 1, 0, 0, width, height);
}

int PresentFrame(Object3D* camera, Object3D* const* objects, unsigned count) {
    IDirectDrawSurface4* primary = DisplayContext.primarySurface;
    IDirectDrawSurface4* back = DisplayContext.backBuffer;
    if (!primary || !back)
        return 0;

    SceneClock = static_cast<float>(platform::Clock()) * 0.001f;
    RenderScene(camera, objects, count);
    DrawDisplayList();

    // The whole back buffer (right and bottom edges exclusive) to the window's client area,
    // in screen coordinates: the primary surface is the whole screen.
    POINT origin{0, 0};
    ClientToScreen(AppState.mainWindow, &origin);
    RECT whole{0, 0, DisplayContext.width, DisplayContext.height};
    RECT client{origin.x, origin.y, origin.x + DisplayContext.width,
                origin.y + DisplayContext.height};
    primary->Blt(&client, back, &whole, DDBLT_WAIT, nullptr);

    DDBLTFX black;
    memset(&black, 0, sizeof black);
    black.dwSize = sizeof black;
    HRESULT hr = back->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &black);
    if (hr != DD_OK) {
        ReportDirectDrawError(hr, kModule, 615);
        return 0;
    }
    PaceFrame();
    return fatalErrorOccurred ? 0 : 1;
}

double FrameSeconds() {
    return frameClock.seconds;
}

void SetFrameRateCap(unsigned framesPerSecond) {
    frameClock.cap = framesPerSecond;
    ReadFrequency();
    frameClock.due = frameClock.last;
    FineSleeps(framesPerSecond != 0);
}

Sprite* LoadSpriteFile(const char* path, int32_t x, int32_t y, int32_t layer, uint16_t frameCount) {
    QuietLoads quiet;
    Sprite* sprite = new (std::nothrow) Sprite();
    if (!sprite) {
        SetLoadError(path ? path : "", "out of memory");
        return nullptr;
    }
    if (!sprite->LoadFile(path, x, y, layer, frameCount)) {
        delete sprite;
        return nullptr;
    }
    return sprite;
}

Object3D* LoadObject(const char* meshPath, float x, float y, float z, MeshNormals normals) {
    QuietLoads quiet;
    if (!meshPath || meshPath[0] == '\0') {
        SetLoadError("", "no file name given");
        return nullptr;
    }
    Object3D* object = new (std::nothrow) Object3D(nullptr, x, y, z);
    if (!object) {
        SetLoadError(meshPath, "out of memory");
        return nullptr;
    }
    if (!LoadMesh(object, meshPath)) {
        delete object;
        return nullptr;
    }
    const char* reason = nullptr;
    if (!ApplyNormals(object, normals, &reason)) {
        SetLoadError(meshPath, "%s", reason);
        delete object;
        return nullptr;
    }
    if (!BuildIndices(object)) {
        SetLoadError(meshPath, "out of memory");
        delete object;
        return nullptr;
    }
    object->turnsInPlace = true;
    object->drawIndexed = true;
    return object;
}

void CloseGame() {
    ReleaseDisplay();
    quietLoadErrors = 0;
    FineSleeps(false);
    CloseRunLog();
}
