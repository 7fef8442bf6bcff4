// The input probe: a window that writes down the input messages it receives, one line each,
// with their parameters, and what the input calls (cursor position, coordinate conversion,
// key states) answer at chosen moments. input.sh drives it with synthetic input (xdotool)
// on our platform (SDL backend) and, built for Windows, under Wine, and compares the logs.
// F12 ends the run.
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

constexpr int kLeft = 100, kTop = 80, kWidth = 320, kHeight = 240;

FILE* out = nullptr;
int moves = 0, setCursors = 0;

const char* Name(UINT m) {
    switch (m) {
        case WM_MOUSEMOVE:
            return "WM_MOUSEMOVE";
        case WM_LBUTTONDOWN:
            return "WM_LBUTTONDOWN";
        case WM_LBUTTONUP:
            return "WM_LBUTTONUP";
        case WM_LBUTTONDBLCLK:
            return "WM_LBUTTONDBLCLK";
        case WM_RBUTTONDOWN:
            return "WM_RBUTTONDOWN";
        case WM_RBUTTONUP:
            return "WM_RBUTTONUP";
        case WM_RBUTTONDBLCLK:
            return "WM_RBUTTONDBLCLK";
        case WM_MBUTTONDOWN:
            return "WM_MBUTTONDOWN";
        case WM_MBUTTONUP:
            return "WM_MBUTTONUP";
        case WM_MBUTTONDBLCLK:
            return "WM_MBUTTONDBLCLK";
        case WM_MOUSEWHEEL:
            return "WM_MOUSEWHEEL";
        case WM_KEYDOWN:
            return "WM_KEYDOWN";
        case WM_KEYUP:
            return "WM_KEYUP";
        case WM_CHAR:
            return "WM_CHAR";
        case WM_SETCURSOR:
            return "WM_SETCURSOR";
        default:
            return nullptr;
    }
}

// The parameters as the platform packs them (full width: a sign extension shows), and the
// coordinates read back the documented way.
void Log(HWND hwnd, UINT m, WPARAM w, LPARAM l) {
    const char* name = Name(m);
    if (!name)
        return;
    if (m == WM_SETCURSOR && w == reinterpret_cast<WPARAM>(hwnd))
        fprintf(out, "%s w=hwnd l=0x%llx", name, static_cast<unsigned long long>(l));
    else
        fprintf(out, "%s w=0x%llx l=0x%llx", name, static_cast<unsigned long long>(w),
                static_cast<unsigned long long>(l));
    if (m >= WM_MOUSEMOVE && m <= WM_MOUSEWHEEL)
        fprintf(out, " x=%d y=%d", static_cast<int>(static_cast<short>(LOWORD(l))),
                static_cast<int>(static_cast<short>(HIWORD(l))));
    if (m == WM_MOUSEWHEEL)
        fprintf(out, " delta=%d", static_cast<int>(static_cast<short>(HIWORD(w))));
    fputc('\n', out);
}

// Whether a key is down and toggled for the thread (as of the messages taken), and, when
// the script holds things still long enough to know, whether it is down now.
void LogKeyState(const char* name, int vk, bool async = false) {
    const SHORT state = GetKeyState(vk);
    fprintf(out, "  state %s down=%d toggled=%d", name, (state & 0x8000) != 0, state & 1);
    if (async)
        fprintf(out, " now=%d", (GetAsyncKeyState(vk) & 0x8000) != 0);
    fputc('\n', out);
}

void LogCursor(HWND hwnd) {
    POINT p{0, 0};
    GetCursorPos(&p);
    POINT c = p;
    ScreenToClient(hwnd, &c);
    POINT s{-5, 7};
    ClientToScreen(hwnd, &s);
    fprintf(out, "  cursor screen=%ld,%ld client=%ld,%ld client(-5,7)=%ld,%ld\n",
            static_cast<long>(p.x), static_cast<long>(p.y), static_cast<long>(c.x),
            static_cast<long>(c.y), static_cast<long>(s.x), static_cast<long>(s.y));
}

LRESULT CALLBACK ProbeProc(HWND hwnd, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_SETCURSOR)
        ++setCursors;
    if (m == WM_MOUSEMOVE)
        ++moves;
    Log(hwnd, m, w, l);
    // Button messages follow the pointer out of the window while a button is down.
    if (m == WM_LBUTTONDOWN || m == WM_RBUTTONDOWN || m == WM_MBUTTONDOWN)
        SetCapture(hwnd);
    if ((m == WM_LBUTTONUP || m == WM_RBUTTONUP || m == WM_MBUTTONUP) &&
        !(w & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)))
        ReleaseCapture();
    if (m == WM_LBUTTONDOWN || m == WM_RBUTTONDOWN) {
        LogCursor(hwnd);
        LogKeyState("lbutton", VK_LBUTTON);
        LogKeyState("rbutton", VK_RBUTTON);
        LogKeyState("shift", VK_SHIFT);
        LogKeyState("control", VK_CONTROL);
    }
    if (m == WM_KEYDOWN && w == 'Z') {
        LogKeyState("shift", VK_SHIFT);
        LogKeyState("lshift", VK_LSHIFT);
        LogKeyState("rshift", VK_RSHIFT);
    }
    if (m == WM_KEYDOWN && w == 'X' && !(l & 0x40000000)) {  // X and the left button held
        LogKeyState("x", 'X', true);
        LogKeyState("lbutton", VK_LBUTTON, true);
        LogKeyState("rbutton", VK_RBUTTON, true);
        LogKeyState("shift", VK_SHIFT, true);
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
    if (argc != 2) {
        fprintf(stderr, "usage: input_probe OUTPUT_FILE\n");
        return 2;
    }
    out = fopen(argv[1], "wb");
    if (!out) {
        fprintf(stderr, "input_probe: cannot write %s\n", argv[1]);
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
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = "input probe";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, "input probe", "input probe", WS_POPUP | WS_VISIBLE, kLeft, kTop,
                                kWidth, kHeight, nullptr, nullptr, instance, nullptr);
    if (!hwnd) {
        fprintf(stderr, "input_probe: no window\n");
        return 1;
    }
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    fprintf(out, "info moves=%d setcursor=%d\n", moves, setCursors);
    fclose(out);
    return 0;
}
