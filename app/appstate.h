// The application's small process-wide records that the library's layers read: the window
// and instance handles, the held-key flags that steer the camera, and the scene clock.
#pragma once

#include "platform/win.h"

struct AppStateRecord {
    HWND mainWindow = nullptr;     // the popup window, set right after creation
    HINSTANCE instance = nullptr;  // the module instance given to WinMain
    HCURSOR arrowCursor = nullptr;
    int appActive = 1;  // frames run while non-zero; replaced by every WM_ACTIVATEAPP
};
extern AppStateRecord AppState;

struct InputStateRecord {
    int leftHeld = 0;
    int rightHeld = 0;
    int upHeld = 0;
    int downHeld = 0;
    int spaceHeld = 0;
};
extern InputStateRecord InputState;

// Seconds since process start: the clock's milliseconds times 0.001, refreshed at the start
// of every frame.
extern float SceneClock;
