// The application's life: WinMain builds the screen-sized popup window, starts the
// application and runs the message loop, which produces a frame whenever no message waits
// and the application is active. Every way out destroys the window; WM_DESTROY posts the
// quit message, and the loop returns its code (0).
#include "app/app.h"

#include <cstring>

#include "app/appstate.h"
#include "app/frame.h"
#include "app/input.h"
#include "directx/diag.h"
#include "directx/display.h"
#include "object3d/math3d.h"
#include "sprite/overlay.h"

namespace {

constexpr const char* kAppName = "Game Library";

}  // namespace

HWND CreateMainWindow(HINSTANCE instance, int cmdShow) {
    WNDCLASSA wc;
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = MainWindowProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, IDI_APPLICATION);
    wc.hCursor = AppState.arrowCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszMenuName = kAppName;
    wc.lpszClassName = kAppName;
    RegisterClassA(&wc);

    int width = static_cast<WORD>(GetSystemMetrics(SM_CXSCREEN));
    int height = static_cast<WORD>(GetSystemMetrics(SM_CYSCREEN));
    HWND hwnd = CreateWindowExA(0, kAppName, kAppName, WS_POPUP, 0, 0, width, height, nullptr,
                                nullptr, instance, nullptr);
    if (hwnd == nullptr)
        return nullptr;
    SetCursor(AppState.arrowCursor);
    ShowWindow(hwnd, cmdShow);
    UpdateWindow(hwnd);
    return hwnd;
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            if (fatalErrorOccurred)
                MessageBoxA(nullptr, fatalMessage, "Error", MB_OK);
            PostQuitMessage(0);
            break;
        case WM_ACTIVATEAPP:
            AppState.appActive = static_cast<int>(wParam);
            break;
        case WM_SETCURSOR:
            ShowCursor(TRUE);
            return TRUE;
        case WM_KEYDOWN:
        case WM_KEYUP:
            HandleKey(message, wParam);
            break;
        case WM_SYSCOMMAND:
            // Neither the screen saver nor monitor power-down may start while we run.
            if ((wParam & 0xFFF0) == SC_SCREENSAVE || (wParam & 0xFFF0) == SC_MONITORPOWER)
                return 0;
            break;
        default:
            break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

int AppInit() {
    OpenRunLog();
    BuildTrigTables();
    memset(&clearFx, 0, sizeof clearFx);
    clearFx.dwSize = sizeof clearFx;
    clearFx.dwFillColor = 0;
    SceneClock = static_cast<float>(platform::Clock()) * 0.001f;
    if (InitDisplay(AppState.mainWindow, 640, 480, 16, 1, 0, 0, 640, 480))
        return 1;
    MessageBoxA(nullptr,
                "Unable to initialize DirectDraw.  Please make sure you are running version 6 "
                "or greater.",
                "Korvel Initialization Error", MB_OK);
    DestroyWindow(AppState.mainWindow);
    return 0;
}

int AppShutdown() {
    DestroyOverlay();
    ReleaseDisplay();
    DestroyWindow(AppState.mainWindow);
    CloseRunLog();
    return 1;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE prevInstance, LPSTR cmdLine, int cmdShow) {
    CoInitialize(nullptr);
    HWND hwnd = CreateMainWindow(instance, cmdShow);
    if (hwnd == nullptr)
        return 0;
    AppState.mainWindow = hwnd;
    AppState.instance = instance;
    AppInit();
    SetCursor(AppState.arrowCursor);
    ShowCursor(TRUE);

    return RunMessageLoop();
}

int RunMessageLoop() {
    MSG msg;
    for (;;) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!GetMessageA(&msg, nullptr, 0, 0))
                return static_cast<int>(msg.wParam);
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else if (AppState.appActive) {
            AppFrame();
        } else {
            WaitMessage();
        }
    }
}
