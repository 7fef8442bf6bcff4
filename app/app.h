// The application's entry, its one window and window procedure, start-up and orderly end.
#pragma once

#include "platform/win.h"

HWND CreateMainWindow(HINSTANCE instance, int cmdShow);
LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
int AppInit();
int AppShutdown();
// The message loop: every waiting message first; when none waits, one frame while the
// application is active, else sleep until a message arrives. Returns the quit code.
int RunMessageLoop();
