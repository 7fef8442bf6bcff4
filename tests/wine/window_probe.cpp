// A game window smaller than the screen, at a position from the command line ("X Y", default
// 200 100): 640 x 480, its picture a 600 x 400 sprite at (10, 20) filled with
// ColorToPixel(RGB(255, 130, 0)) (a colour both a 5-6-5 and a 32-bit back buffer hold, and
// nothing else on the screen shows), presented with PresentFrame. With "box" it shows a
// message box ("Probe Box") over the picture and presents 150 more frames after it is
// dismissed. It then hides its window, presents once more (a late picture must not show),
// writes "shown" to standard output and waits for a line on standard input before it ends.
#include <cstdio>
#include <cstring>

#include "directx/game.h"
#ifndef _WIN32
#include "platform/gdi.h"
#endif

namespace {

bool ended = false;
Sprite* sheet = nullptr;  // the whole picture, in one colour

LRESULT CALLBACK ProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        ended = true;
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Puts the picture on the display list and presents it `frames` times, handling messages in
// between.
bool Present(int frames) {
    for (int i = 0; i < frames && !ended; i++) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (ended)
            return false;
        sheet->AddToDisplayList(0);
        PresentFrame(nullptr, nullptr, 0);
    }
    return !ended;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    int x = 200, y = 100;
    sscanf(commandLine, "%d %d", &x, &y);
    const bool box = strstr(commandLine, "box") != nullptr;
    AppState.instance = instance;
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ProbeProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "Window Probe";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "Window Probe", "Window Probe", WS_POPUP, x, y, 640, 480,
                                  nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    ShowWindow(window, SW_SHOW);
    if (!OpenGame(window, 640, 480)) {
        CloseGame();
        return 1;
    }
    SetFrameRateCap(30);
    sheet = new Sprite(0, 10, 20, 0, 600, 400, 1, 0);
    if (!sheet->surface || !sheet->Fill(ColorToPixel(sheet->surface, RGB(255, 130, 0)))) {
        fprintf(stderr, "window_probe: the picture could not be made\n");
        return 1;
    }
    bool going = Present(30);
    if (going && box) {
        MessageBoxA(window, "Dismiss me", "Probe Box", MB_OK);
        going = Present(150);
    }
    if (going) {
        ShowWindow(window, SW_HIDE);
        Present(1);
        printf("shown\n");
        fflush(stdout);
        char line[8];
        if (!fgets(line, sizeof line, stdin))  // the screen is looked at until a line comes
            line[0] = '\0';
        DestroyWindow(window);
    }
    delete sheet;
    CloseGame();
    return 0;
}

#ifndef _WIN32
int main(int argc, char** argv) {
    char commandLine[64] = "";
    for (int i = 1; i < argc; i++) {
        strncat(commandLine, argv[i], sizeof commandLine - strlen(commandLine) - 2);
        strncat(commandLine, " ", sizeof commandLine - strlen(commandLine) - 1);
    }
    platform::UseSdlBackend();
    return WinMain(platform::ModuleInstance(), nullptr, commandLine, SW_SHOWDEFAULT);
}
#endif
