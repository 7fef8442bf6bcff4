// Set-up, frame and teardown for a game of its own, built from the display layer's pieces.
#include "directx/game.h"

#include <cstring>
#include <new>

#include "object3d/math3d.h"

namespace {

constexpr const char* kModule = "directx";

}  // namespace

int OpenGame(HWND window, unsigned width, unsigned height) {
    if (!RunLog)
        OpenRunLog();
    BuildTrigTables();
    AppState.mainWindow = window;
    SceneClock = static_cast<float>(platform::Clock()) * 0.001f;
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

    // The whole back buffer, right and bottom edges exclusive.
    RECT whole{0, 0, DisplayContext.width, DisplayContext.height};
    primary->Blt(&whole, back, &whole, DDBLT_WAIT, nullptr);

    DDBLTFX black;
    memset(&black, 0, sizeof black);
    black.dwSize = sizeof black;
    HRESULT hr = back->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &black);
    if (hr != DD_OK) {
        ReportDirectDrawError(hr, kModule, 615);
        return 0;
    }
    return fatalErrorOccurred ? 0 : 1;
}

Sprite* LoadSpriteFile(const char* path, int32_t x, int32_t y, int32_t layer, uint16_t frameCount) {
    if (!path)
        return nullptr;
    Sprite* sprite = new (std::nothrow) Sprite();
    if (!sprite)
        return nullptr;
    const size_t length = strlen(path);
    if (length == 0 || length >= sizeof sprite->fileName) {
        RunLogPrintf("Sprite file name too long or empty: \"%s\"\n", path);
        delete sprite;
        return nullptr;
    }
    memcpy(sprite->fileName, path, length + 1);
    sprite->source = SourceFile;
    if (!sprite->Init(0, x, y, layer, 0, 0, frameCount, 0)) {
        delete sprite;
        return nullptr;
    }
    return sprite;
}

void CloseGame() {
    ReleaseDisplay();
    CloseRunLog();
}
