// The input probe: a window at (100, 80), 320 x 240, that writes down the input messages it
// receives with their parameters, and what the input calls answer at chosen moments. input.sh
// drives it with xdotool on our platform (SDL backend) and, built for Windows, under Wine,
// and compares the logs. F12 ends the run.
//
//   input_probe OUTPUT_FILE
#ifdef _WIN32
#include <windows.h>
#else
#include "platform/backend.h"
#endif

#include <cstdio>
#include <cstring>

namespace {

FILE* out = nullptr;
int moves = 0, setCursors = 0;

#define NAMED(m) \
    { m, #m }
const struct {
    UINT message;
    const char* name;
} kNames[] = {NAMED(WM_MOUSEMOVE),     NAMED(WM_LBUTTONDOWN), NAMED(WM_LBUTTONUP),
              NAMED(WM_LBUTTONDBLCLK), NAMED(WM_RBUTTONDOWN), NAMED(WM_RBUTTONUP),
              NAMED(WM_RBUTTONDBLCLK), NAMED(WM_MBUTTONDOWN), NAMED(WM_MBUTTONUP),
              NAMED(WM_MBUTTONDBLCLK), NAMED(WM_MOUSEWHEEL),  NAMED(WM_KEYDOWN),
              NAMED(WM_KEYUP),         NAMED(WM_CHAR),        NAMED(WM_SETCURSOR)};

// A key's state for the thread (as of the messages taken) and, where the script holds things
// still long enough to know, now.
void LogKey(const char* name, int vk, bool now = false) {
    const SHORT state = GetKeyState(vk);
    fprintf(out, "  state %s down=%d toggled=%d", name, (state & 0x8000) != 0, state & 1);
    if (now)
        fprintf(out, " now=%d", (GetAsyncKeyState(vk) & 0x8000) != 0);
    fputc('\n', out);
}

void LogCursor(HWND hwnd) {
    POINT p{0, 0}, s{-5, 7};
    GetCursorPos(&p);
    POINT c = p;
    ScreenToClient(hwnd, &c);
    ClientToScreen(hwnd, &s);
    fprintf(out, "  cursor screen=%ld,%ld client=%ld,%ld client(-5,7)=%ld,%ld\n", long(p.x),
            long(p.y), long(c.x), long(c.y), long(s.x), long(s.y));
}

LRESULT CALLBACK ProbeProc(HWND hwnd, UINT m, WPARAM w, LPARAM l) {
    moves += m == WM_MOUSEMOVE;
    setCursors += m == WM_SETCURSOR;
    for (const auto& n : kNames) {
        if (n.message != m)
            continue;
        // Full-width parameters (a sign extension shows), the point read back as documented.
        if (m == WM_SETCURSOR && w == reinterpret_cast<WPARAM>(hwnd))
            fprintf(out, "%s w=hwnd l=0x%llx", n.name, static_cast<unsigned long long>(l));
        else
            fprintf(out, "%s w=0x%llx l=0x%llx", n.name, static_cast<unsigned long long>(w),
                    static_cast<unsigned long long>(l));
        if (m >= WM_MOUSEMOVE && m <= WM_MOUSEWHEEL)
            fprintf(out, " x=%d y=%d", short(LOWORD(l)), short(HIWORD(l)));
        if (m == WM_MOUSEWHEEL)
            fprintf(out, " delta=%d", short(HIWORD(w)));
        fputc('\n', out);
    }
    // Left and right button messages follow the pointer out of the window while the button
    // is down; the middle button's do not (no capture).
    if (m == WM_LBUTTONDOWN || m == WM_RBUTTONDOWN)
        SetCapture(hwnd);
    if ((m == WM_LBUTTONUP || m == WM_RBUTTONUP) && !(w & (MK_LBUTTON | MK_RBUTTON)))
        ReleaseCapture();
    if (m == WM_LBUTTONDOWN || m == WM_RBUTTONDOWN) {
        LogCursor(hwnd);
        LogKey("lbutton", VK_LBUTTON);
        LogKey("rbutton", VK_RBUTTON);
        LogKey("shift", VK_SHIFT);
        LogKey("control", VK_CONTROL);
    }
    if (m == WM_KEYDOWN && w == 'Z') {
        LogKey("shift", VK_SHIFT);
        LogKey("lshift", VK_LSHIFT);
        LogKey("rshift", VK_RSHIFT);
    }
    if (m == WM_KEYDOWN && w == 'X' && !(l & 0x40000000)) {  // X and the left button held
        LogKey("x", 'X', true);
        LogKey("lbutton", VK_LBUTTON, true);
        LogKey("rbutton", VK_RBUTTON, true);
        LogKey("shift", VK_SHIFT, true);
        LogCursor(hwnd);
    }
    fflush(out);
    if (m == WM_KEYDOWN && w == VK_F12)
        DestroyWindow(hwnd);
    if (m == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(hwnd, m, w, l);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || !(out = fopen(argv[1], "wb"))) {
        fprintf(stderr, "usage: input_probe OUTPUT_FILE (writable)\n");
        return 2;
    }
#ifdef _WIN32
    HINSTANCE instance = GetModuleHandleA(nullptr);
#else
    platform::UseSdlBackend();
    HINSTANCE instance = platform::ModuleInstance();
#endif
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = ProbeProc;
    wc.hInstance = instance;
    wc.lpszClassName = "input probe";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, "input probe", "input probe", WS_POPUP | WS_VISIBLE, 100, 80,
                                320, 240, nullptr, nullptr, instance, nullptr);
    if (!hwnd)
        return 1;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    fprintf(out, "info moves=%d setcursor=%d\n", moves, setCursors);
    fclose(out);
    return 0;
}
