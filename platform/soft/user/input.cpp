// The window system's input calls: where the pointer is, coordinates between the window and
// the screen, the capture, the keys' state, and the cursor.
#include "platform/soft/user/window_system.h"

using platform::Sys;

HCURSOR SetCursor(HCURSOR cursor) {
    HCURSOR previous = Sys().cursor;
    Sys().cursor = cursor;
    return previous;
}

int ShowCursor(BOOL show) {
    auto& s = Sys();
    int before = s.cursorCount;
    s.cursorCount += show ? 1 : -1;
    // The cursor is visible while the display count is zero or more.
    bool wasShown = before >= 0, isShown = s.cursorCount >= 0;
    if (wasShown != isShown && s.openedBackend == &platform::CurrentBackend())
        platform::CurrentBackend().ShowCursor(isShown);
    return s.cursorCount;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
    if (!platform::IsLive(hwnd) || rect == nullptr)
        return FALSE;
    const RECT& r = Sys().window.rect;
    *rect = RECT{0, 0, r.right - r.left, r.bottom - r.top};
    return TRUE;
}

BOOL GetCursorPos(POINT* point) {
    if (point == nullptr)
        return FALSE;
    *point = Sys().pointer;
    return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* point) {
    if (!platform::IsLive(hwnd) || point == nullptr)
        return FALSE;
    point->x -= Sys().window.rect.left;
    point->y -= Sys().window.rect.top;
    return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* point) {
    if (!platform::IsLive(hwnd) || point == nullptr)
        return FALSE;
    point->x += Sys().window.rect.left;
    point->y += Sys().window.rect.top;
    return TRUE;
}

HWND SetCapture(HWND hwnd) {
    auto& s = Sys();
    HWND previous = s.capture;
    if (platform::IsLive(hwnd))
        s.capture = hwnd;
    return previous;
}

BOOL ReleaseCapture() {
    Sys().capture = nullptr;
    return TRUE;
}

HWND GetCapture() {
    return Sys().capture;
}

SHORT GetKeyState(int virtualKey) {
    if (virtualKey < 0 || virtualKey > 255)
        return 0;
    const uint8_t state = Sys().keyState[virtualKey];
    return static_cast<SHORT>(((state & 0x80) ? 0x8000 : 0) | (state & 0x01));
}

SHORT GetAsyncKeyState(int virtualKey) {
    auto& s = Sys();
    if (virtualKey < 0 || virtualKey > 255)
        return 0;
    // What the window system has seen by now: its pending events come in first.
    if (s.openedBackend == &platform::CurrentBackend())
        platform::Pump();
    return static_cast<SHORT>((s.asyncState[virtualKey] & 0x80) ? 0x8000 : 0);
}
