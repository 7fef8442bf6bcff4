// A small game on the game library: a window over the screen, a lit mesh turning in the
// middle, a crosshair sprite sliding across it and a line of bitmap-font text. Escape ends
// it. With --frames N it runs N frames on the headless backend instead, prints how many
// pixels of the last picture are lit, and exits (this is how the package is tested).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/appstate.h"
#include "directx/diag.h"
#include "directx/display.h"
#include "object3d/object3d.h"
#include "platform/backend.h"
#include "resources/resource_ids.h"
#include "sprite/overlay.h"
#include "sprite/sprite.h"

namespace {

// A small pyramid, wound so that the default culling shows its outside.
const char kPyramid[] =
    "5\n0 40 0\n-40 -30 -40\n40 -30 -40\n40 -30 40\n-40 -30 40\n-\n"
    "6\n0 2 1\n0 3 2\n0 4 3\n0 1 4\n1 2 3\n1 3 4\n";

LRESULT DemoWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN && wParam == VK_ESCAPE) {
        DestroyWindow(hwnd);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
    long framesToRun = 0;
    if (argc == 3 && strcmp(argv[1], "--frames") == 0)
        framesToRun = atol(argv[2]);
    if (framesToRun > 0)
        platform::UseHeadlessBackend(800, 600);
    else
        platform::UseSdlBackend();

    // The scene set-up loads its mesh from "ship.xxx" in the working folder.
    if (FILE* f = fopen("ship.xxx", "r")) {
        fclose(f);
    } else if (FILE* out = fopen("ship.xxx", "w")) {
        fputs(kPyramid, out);
        fclose(out);
    }

    WNDCLASSA wc{};
    wc.lpfnWndProc = DemoWindowProc;
    wc.hInstance = platform::ModuleInstance();
    wc.lpszClassName = "Sprite Demo";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, "Sprite Demo", "Sprite Demo", WS_POPUP, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                  nullptr, nullptr, wc.hInstance, nullptr);
    if (!window)
        return 1;
    ShowWindow(window, SW_SHOW);
    AppState.mainWindow = window;
    AppState.instance = wc.hInstance;

    OpenRunLog();
    BuildTrigTables();
    if (!InitDisplay(window, 640, 480, 16, 1, 0, 0, 640, 480)) {
        fprintf(stderr, "sprite_demo: the display could not be set up (see info.txt)\n");
        return 1;
    }
    DestroyOverlay();  // the demo draws its own sprites

    Sprite* mover = new Sprite(IDB_CROSSHAIR, 0, 208, 0, 0, 0, 1, 0);
    FontSprite* font = new FontSprite(IDB_FONT_7X12, 7, 11);
    const char caption[] = "HELLO FROM THE GAME LIBRARY";
    Sprite* text = font->RenderText(caption, 20, 450, sizeof caption - 1, 1);

    DDBLTFX fill{};
    fill.dwSize = sizeof fill;
    long frame = 0;
    MSG msg;
    for (;;) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!GetMessageA(&msg, nullptr, 0, 0))
                break;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            continue;
        }
        SceneClock = static_cast<float>(platform::Clock()) * 0.001f;
        if (shipObject)
            shipObject->yaw = (shipObject->yaw + 1) % 360;
        Render3DFrame();
        mover->x = static_cast<int32_t>((frame * 3) % 700) - 64;
        mover->AddToDisplayList(2);
        if (text)
            text->AddToDisplayList(1);
        DrawDisplayList();
        DisplayContext.primarySurface->Blt(&DisplayContext.screenRect, DisplayContext.backBuffer,
                                           &DisplayContext.screenRect, DDBLT_WAIT, nullptr);
        DisplayContext.backBuffer->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT,
                                       &fill);
        if (++frame == framesToRun) {
            auto& screen = static_cast<platform::HeadlessBackend&>(platform::CurrentBackend());
            long lit = 0;
            for (uint32_t p : screen.Screen())
                lit += (p & 0xFFFFFF) != 0;
            printf("sprite_demo: %ld frames, %ld lit pixels\n", frame, lit);
            DestroyWindow(window);
        }
    }

    delete text;
    delete font;
    delete mover;
    ReleaseDisplay();
    CloseRunLog();
    return 0;
}
