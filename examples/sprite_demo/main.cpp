// A small game on the game library: a lit gem turning in the middle of the screen, a ring
// sprite sliding across it, both at a speed in seconds whatever the frame rate (capped at
// 60), a gauge counting down and a line of bitmap-font text. A left click stops and starts
// the gem; the mouse wheel speeds the ring up or slows it down. Escape ends it. Its own files,
// gem.xxx (the mesh) and ring.bmp (the sprite), are read from the working folder; when one
// cannot be loaded a box says which and why. With --frames N it runs N frames (on Linux on the
// headless backend), composes one more, counts the ring's and the gem's pixels in the back buffer
// instead of presenting it, prints them and exits. The same code builds for Linux and for Windows:
// WinMain is the program's entry on both, and only the Linux entry at the end differs.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "directx/game.h"

namespace {

bool gemTurning = true;    // a left click stops the gem, the next one starts it again
double ringSpeed = 180.0;  // pixels a second; each notch of the wheel adds or takes 30

LRESULT CALLBACK DemoWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN && wParam == VK_ESCAPE) {
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_LBUTTONDOWN) {
        gemTurning = !gemTurning;
        return 0;
    }
    if (message == WM_MOUSEWHEEL) {
        const double notches = GET_WHEEL_DELTA_WPARAM(wParam) / static_cast<double>(WHEEL_DELTA);
        ringSpeed = std::clamp(ringSpeed + 30.0 * notches, 0.0, 600.0);
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

// Counts the back buffer's pixels in the ring's cyan, and in the gem's lit material (red
// and blue without green), through the surface's own pixel format, and prints them.
void PrintPicture(long frames) {
    IDirectDrawSurface4* back = DisplayContext.backBuffer;
    DDSURFACEDESC2 desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    if (!back || back->Lock(nullptr, &desc, 0, nullptr) != DD_OK) {
        fprintf(stderr, "sprite_demo: the back buffer could not be read\n");
        return;
    }
    const DDPIXELFORMAT& format = desc.ddpfPixelFormat;
    const DWORD bytes = format.dwRGBBitCount / 8;
    long ringPixels = 0;
    long gemPixels = 0;
    for (DWORD y = 0; y < desc.dwHeight; y++) {
        const auto* row = static_cast<const uint8_t*>(desc.lpSurface) + y * desc.lPitch;
        for (DWORD x = 0; x < desc.dwWidth; x++) {
            uint32_t pixel = 0;
            memcpy(&pixel, row + x * bytes, bytes);  // little-endian, as on both platforms
            const uint32_t r = pixel & format.dwRBitMask, g = pixel & format.dwGBitMask,
                           b = pixel & format.dwBBitMask;
            ringPixels += r == 0 && g == format.dwGBitMask && b == format.dwBBitMask;
            gemPixels += r != 0 && g == 0 && b != 0;
        }
    }
    back->Unlock(nullptr);
    printf("sprite_demo: %ld frames, %ld ring pixels, %ld gem pixels\n", frames, ringPixels,
           gemPixels);
    fflush(stdout);
}

// The number N of "--frames N" in the command line, or 0.
long FramesToRun(const char* commandLine) {
    long frames = 0;
    return sscanf(commandLine, "--frames %ld", &frames) == 1 && frames > 0 ? frames : 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    const long framesToRun = FramesToRun(commandLine);
    AppState.instance = instance;  // the module whose resources hold the gauge and the font

    // A borderless window over the whole screen; the picture is 640 x 480 at its top left.
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DemoWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "Sprite Demo";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "Sprite Demo", "Sprite Demo", WS_POPUP, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                  nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    ShowWindow(window, SW_SHOW);
    if (!OpenGame(window, 640, 480)) {
        fprintf(stderr, "sprite_demo: the display could not be set up (see info.txt)\n");
        CloseGame();
        return 1;
    }
    SetFrameRateCap(60);

    Object3D* gem = LoadObject("gem.xxx", 0.0f, 0.0f, 0.0f);
    Sprite* ring = gem ? LoadSpriteFile("ring.bmp", 0, 300, 0) : nullptr;
    if (!ring) {  // LastLoadError names the file and says what was wrong with it
        MessageBoxA(nullptr, LastLoadError(), "Sprite Demo", MB_OK);
        delete gem;
        CloseGame();
        return 1;
    }
    Object3D* camera = new Object3D(nullptr, 0.0f, 0.0f, 200.0f);
    camera->target = gem;
    Gauge* gauge = new Gauge(20, 20, IDB_GAUGE_GREEN, 100, 100);
    FontSprite* font = new FontSprite(IDB_FONT_7X12, 7, 12);
    const char caption[] = "HELLO FROM THE GAME LIBRARY";
    Sprite* text = font->RenderText(caption, 20, 450, sizeof caption - 1, 1);

    long frame = 0;
    double turn = 0.0;   // the gem's angle in degrees: 60 a second
    double ringX = 0.0;  // the ring's left edge: ringSpeed pixels a second, round and back in
    MSG msg;
    for (;;) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!GetMessageA(&msg, nullptr, 0, 0))
                break;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            continue;
        }
        // The latest frame's seconds, at most a tenth: after a stall things go on from where
        // they were rather than jump.
        const double seconds = std::min(FrameSeconds(), 0.1);
        if (gemTurning)
            turn = std::fmod(turn + 60.0 * seconds, 360.0);
        gem->yaw = static_cast<int>(turn);
        ringX += ringSpeed * seconds;
        if (ringX > 640.0)
            ringX -= 680.0;
        ring->x = static_cast<int32_t>(ringX);
        ring->AddToDisplayList(0);
        gauge->SetValue(static_cast<uint16_t>(100 - frame % 101));
        gauge->Update();
        if (text)
            text->AddToDisplayList(0);
        if (framesToRun > 0 && frame == framesToRun) {
            // One more picture, composed as PresentFrame does, counted instead of shown.
            RenderScene(camera, &gem, 1);
            DrawDisplayList();
            PrintPicture(frame);
            DestroyWindow(window);
        } else {
            PresentFrame(camera, &gem, 1);
        }
        frame++;
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

#ifndef _WIN32
// The Linux entry: the window system (the headless one when frames are counted), then
// WinMain with the arguments as one command line, as the Windows runtime passes them.
int main(int argc, char** argv) {
    std::string commandLine;
    for (int i = 1; i < argc; i++)
        commandLine += std::string(i > 1 ? " " : "") + argv[i];
    if (FramesToRun(commandLine.c_str()) > 0)
        platform::UseHeadlessBackend(800, 600);
    else
        platform::UseSdlBackend();
    return WinMain(platform::ModuleInstance(), nullptr, commandLine.data(), SW_SHOWDEFAULT);
}
#endif
