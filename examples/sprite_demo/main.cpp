// A small game on the game library: a lit gem turning in the middle of the screen, a ring
// sprite sliding across it, a gauge counting down and a line of bitmap-font text. Escape
// ends it. Its own files, gem.xxx (the mesh) and ring.bmp (the sprite), are read from the
// working folder. With --frames N it runs N frames on the headless backend instead, counts
// the ring's and the gem's pixels in the last picture, prints them and exits.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "directx/game.h"

namespace {

LRESULT DemoWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN && wParam == VK_ESCAPE) {
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        if (fatalErrorOccurred)  // a failure was reported: show it before leaving
            MessageBoxA(nullptr, fatalMessage, "Error", MB_OK);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The headless screen's pixels in the ring's cyan, and in the gem's lit material (red and
// blue without green).
void PrintPicture(long frames) {
    auto& backend = static_cast<platform::HeadlessBackend&>(platform::CurrentBackend());
    long ringPixels = 0;
    long gemPixels = 0;
    for (uint32_t pixel : backend.Screen()) {
        const uint32_t r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
        ringPixels += r == 0 && g == 0xFF && b == 0xFF;
        gemPixels += r != 0 && g == 0 && b != 0;
    }
    printf("sprite_demo: %ld frames, %ld ring pixels, %ld gem pixels\n", frames, ringPixels,
           gemPixels);
}

}  // namespace

int main(int argc, char** argv) {
    const long framesToRun = argc == 3 && strcmp(argv[1], "--frames") == 0 ? atol(argv[2]) : 0;
    if (framesToRun > 0)
        platform::UseHeadlessBackend(800, 600);
    else
        platform::UseSdlBackend();

    // A borderless window over the whole screen; the picture is 640 x 480 at its top left.
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DemoWindowProc;
    windowClass.lpszClassName = "Sprite Demo";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "Sprite Demo", "Sprite Demo", WS_POPUP, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                  nullptr, nullptr, nullptr, nullptr);
    if (!window)
        return 1;
    ShowWindow(window, SW_SHOW);
    if (!OpenGame(window, 640, 480)) {
        fprintf(stderr, "sprite_demo: the display could not be set up (see info.txt)\n");
        CloseGame();
        return 1;
    }

    Object3D* gem = new Object3D("gem.xxx", 0.0f, 0.0f, 0.0f);
    Object3D* camera = new Object3D(nullptr, 0.0f, 0.0f, 200.0f);
    camera->target = gem;
    Sprite* ring = LoadSpriteFile("ring.bmp", 0, 300, 0);
    Gauge* gauge = new Gauge(20, 20, IDB_GAUGE_GREEN, 100, 100);
    FontSprite* font = new FontSprite(IDB_FONT_7X12, 7, 11);
    const char caption[] = "HELLO FROM THE GAME LIBRARY";
    Sprite* text = font->RenderText(caption, 20, 450, sizeof caption - 1, 1);

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
        gem->yaw = (gem->yaw + 1) % 360;
        if (ring) {
            ring->x = static_cast<int32_t>(frame * 3 % 680) - 40;
            ring->AddToDisplayList(0);
        }
        gauge->SetValue(static_cast<uint16_t>(100 - frame % 101));
        gauge->Update();
        if (text)
            text->AddToDisplayList(0);
        PresentFrame(camera, &gem, 1);
        if (++frame == framesToRun) {
            PrintPicture(frame);
            DestroyWindow(window);
        }
    }

    delete text;
    delete font;
    delete gauge;
    delete ring;
    delete camera;
    delete gem;
    CloseGame();
    return fatalErrorOccurred ? 1 : 0;
}
