// The window system: window classes, the one top-level window, the message queue, cursor,
// message boxes and screen metrics, on top of the current backend (platform/backend.h).
//
// The queue is a fixed ring of messages, so posting and taking messages never allocates.
// The quit request is kept apart from the ring, as a flag with its exit code, and is
// delivered only when no other message is waiting: a full ring can never lose it.
#include "platform/win.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "platform/backend.h"
#include "platform/soft/user/window_internal.h"

namespace platform {
namespace {

constexpr int kQueueCapacity = 4096;

struct ClassRecord {
    std::string name;
    WNDCLASSA wc;
    std::string menuName;
};

struct WindowRecord {
    HWND handle = nullptr;  // null: no window
    WNDPROC proc = nullptr;
    RECT rect{};
    bool visible = false;
    std::string title;
};

struct WindowSystem {
    std::vector<ClassRecord> classes;
    WindowRecord window;
    uintptr_t serial = 0;  // windows created so far; makes every handle unique

    MSG ring[kQueueCapacity];
    int head = 0;  // oldest message
    int count = 0;

    bool quitPosted = false;
    int quitCode = 0;

    int waitCount = 0;
    int cursorCount = 0;
    HCURSOR cursor = nullptr;
    std::vector<MessageBoxRecord> boxes;

    Backend* openedBackend = nullptr;  // the backend Open() succeeded on
    Backend* failedBackend = nullptr;  // the backend Open() failed on (said once)
    PostFn post;                       // built once: pumping must not allocate
};

WindowSystem& Sys() {
    static WindowSystem* sys = new WindowSystem();  // never destroyed: usable at exit
    return *sys;
}

bool IsLive(HWND hwnd) {
    return hwnd != nullptr && Sys().window.handle == hwnd;
}

bool Enqueue(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowSystem& s = Sys();
    if (s.count == kQueueCapacity)
        return false;
    MSG& m = s.ring[(s.head + s.count) % kQueueCapacity];
    m.hwnd = hwnd;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = TimeGetTime();
    m.pt = POINT{0, 0};
    ++s.count;
    return true;
}

// Events from the backend go to the window (or to the thread when there is none); a quit
// request from the backend is the same as PostQuitMessage.
void PostFromBackend(UINT message, WPARAM wParam, LPARAM lParam) {
    WindowSystem& s = Sys();
    if (message == WM_QUIT) {
        s.quitPosted = true;
        s.quitCode = static_cast<int>(wParam);
        return;
    }
    Enqueue(s.window.handle, message, wParam, lParam);
}

// Opens the backend once. When no display can be opened, says so on standard error in
// one line (once per backend) and returns false.
bool EnsureOpen() {
    WindowSystem& s = Sys();
    Backend& backend = CurrentBackend();
    if (s.openedBackend == &backend)
        return true;
    if (s.failedBackend == &backend)
        return false;
    std::string why;
    if (!backend.Open(&why)) {
        s.failedBackend = &backend;
        fprintf(stderr, "Game Library: no display can be opened: %s\n",
                why.empty() ? "unknown reason" : why.c_str());
        return false;
    }
    s.openedBackend = &backend;
    return true;
}

void Pump() {
    WindowSystem& s = Sys();
    if (!EnsureOpen())
        return;
    if (!s.post)
        s.post = PostFromBackend;
    CurrentBackend().PumpEvents(s.post);
}

bool Matches(const MSG& m, HWND hwnd, UINT filterMin, UINT filterMax) {
    if (hwnd != nullptr && m.hwnd != hwnd)
        return false;
    if (filterMin == 0 && filterMax == 0)
        return true;
    return m.message >= filterMin && m.message <= filterMax;
}

// Finds the first waiting message that passes the filter, else the quit request.
bool Take(MSG* out, HWND hwnd, UINT filterMin, UINT filterMax, bool remove) {
    WindowSystem& s = Sys();
    for (int i = 0; i < s.count; ++i) {
        const MSG& m = s.ring[(s.head + i) % kQueueCapacity];
        if (!Matches(m, hwnd, filterMin, filterMax))
            continue;
        if (out)
            *out = m;
        if (remove) {
            // Close the gap: later messages keep their order.
            for (int j = i; j + 1 < s.count; ++j)
                s.ring[(s.head + j) % kQueueCapacity] = s.ring[(s.head + j + 1) % kQueueCapacity];
            --s.count;
        }
        return true;
    }
    // The quit request comes once no message this call could take waits, whatever the filter:
    // messages the filter leaves out do not hold it back, and no filter keeps it out.
    if (s.quitPosted) {
        if (out) {
            *out = MSG{};
            out->message = WM_QUIT;
            out->wParam = static_cast<WPARAM>(s.quitCode);
            out->time = TimeGetTime();
        }
        if (remove)
            s.quitPosted = false;
        return true;
    }
    return false;
}

// Handles of the stock objects: distinct, non-null, never dereferenced.
char stockIcon;
char stockCursor;
char stockBrushes[32];
char moduleInstance;

}  // namespace

HINSTANCE ModuleInstance() {
    return reinterpret_cast<HINSTANCE>(&moduleInstance);
}

const std::vector<MessageBoxRecord>& MessageBoxes() {
    return Sys().boxes;
}

int WaitMessageCount() {
    return Sys().waitCount;
}

void ForgetOpenedBackend() {
    Sys().openedBackend = nullptr;
    Sys().failedBackend = nullptr;
}

void ResetWindowSystem() {
    WindowSystem& s = Sys();
    if (s.window.handle != nullptr && s.openedBackend == &CurrentBackend())
        CurrentBackend().DestroyWindow();
    s.classes.clear();
    s.window = WindowRecord{};
    s.head = 0;
    s.count = 0;
    s.quitPosted = false;
    s.quitCode = 0;
    s.waitCount = 0;
    s.cursorCount = 0;
    s.cursor = nullptr;
    s.boxes.clear();
}

}  // namespace platform

using platform::Sys;

HRESULT CoInitialize(void*) {
    return S_OK;
}

ATOM RegisterClassA(const WNDCLASSA* wc) {
    HRESULT hr = PLATFORM_HOOK(
        "RegisterClassA", "class=%s",
        wc && wc->lpszClassName && !IS_INTRESOURCE(wc->lpszClassName) ? wc->lpszClassName : "");
    if (hr != 0)
        return 0;
    if (wc == nullptr || wc->lpszClassName == nullptr || IS_INTRESOURCE(wc->lpszClassName) ||
        wc->lpfnWndProc == nullptr)
        return 0;
    auto& classes = Sys().classes;
    for (const auto& c : classes)
        if (strcasecmp(c.name.c_str(), wc->lpszClassName) == 0)
            return 0;  // already registered
    platform::ClassRecord rec;
    rec.name = wc->lpszClassName;
    rec.wc = *wc;
    if (wc->lpszMenuName && !IS_INTRESOURCE(wc->lpszMenuName))
        rec.menuName = wc->lpszMenuName;
    rec.wc.lpszClassName = nullptr;  // the record's own copies are used instead
    rec.wc.lpszMenuName = nullptr;
    classes.push_back(std::move(rec));
    return static_cast<ATOM>(0xC000 + classes.size() - 1);
}

HICON LoadIconA(HINSTANCE, LPCSTR) {
    return reinterpret_cast<HICON>(&platform::stockIcon);
}

HCURSOR LoadCursorA(HINSTANCE, LPCSTR) {
    return reinterpret_cast<HCURSOR>(&platform::stockCursor);
}

HGDIOBJ GetStockObject(int object) {
    if (object < 0 || object >= static_cast<int>(sizeof platform::stockBrushes))
        return nullptr;
    return reinterpret_cast<HGDIOBJ>(&platform::stockBrushes[object]);
}

int GetSystemMetrics(int index) {
    if (index != SM_CXSCREEN && index != SM_CYSCREEN)
        return 0;
    if (!platform::EnsureOpen())
        return 0;
    int width = 0, height = 0;
    platform::CurrentBackend().ScreenSize(&width, &height);
    return index == SM_CXSCREEN ? width : height;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     void* param) {
    bool namedClass = className != nullptr && !IS_INTRESOURCE(className);
    HRESULT hr = PLATFORM_HOOK("CreateWindowExA",
                               "class=%s title=%s style=0x%08x x=%d y=%d width=%d height=%d",
                               namedClass ? className : "", windowName ? windowName : "",
                               static_cast<unsigned>(style), x, y, width, height);
    if (hr != 0)
        return nullptr;
    auto& s = Sys();
    if (!namedClass || s.window.handle != nullptr)
        return nullptr;  // unknown class, or the one window already exists
    const platform::ClassRecord* cls = nullptr;
    for (const auto& c : s.classes)
        if (strcasecmp(c.name.c_str(), className) == 0)
            cls = &c;
    if (cls == nullptr || width <= 0 || height <= 0)
        return nullptr;
    if (!platform::EnsureOpen())
        return nullptr;
    const char* title = windowName ? windowName : "";
    if (!platform::CurrentBackend().CreateWindow(title, x, y, width, height))
        return nullptr;
    ++s.serial;
    s.window.handle = reinterpret_cast<HWND>(0x10000 + s.serial * 0x10);
    s.window.proc = cls->wc.lpfnWndProc;
    s.window.rect = RECT{x, y, x + width, y + height};
    s.window.title = title;
    s.window.visible = false;
    if (style & WS_VISIBLE) {
        platform::CurrentBackend().ShowWindow(true);
        s.window.visible = true;
    }
    return s.window.handle;
}

BOOL DestroyWindow(HWND hwnd) {
    HRESULT hr = PLATFORM_HOOK("DestroyWindow", "hwnd=%p", static_cast<void*>(hwnd));
    if (hr != 0)
        return FALSE;
    auto& s = Sys();
    if (!platform::IsLive(hwnd))
        return FALSE;
    // Hidden first, so a box shown while WM_DESTROY is handled is not under the window.
    if (s.window.visible) {
        platform::CurrentBackend().ShowWindow(false);
        s.window.visible = false;
    }
    WNDPROC proc = s.window.proc;
    proc(hwnd, WM_DESTROY, 0, 0);
    // The procedure may have destroyed the window itself (nested DestroyWindow).
    if (s.window.handle == hwnd) {
        s.window = platform::WindowRecord{};
        platform::CurrentBackend().DestroyWindow();
    }
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    return platform::IsLive(hwnd) ? TRUE : FALSE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
    if (!platform::IsLive(hwnd) || rect == nullptr)
        return FALSE;
    *rect = Sys().window.rect;
    return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* point) {
    if (!platform::IsLive(hwnd) || point == nullptr)
        return FALSE;
    point->x += Sys().window.rect.left;
    point->y += Sys().window.rect.top;
    return TRUE;
}

BOOL ShowWindow(HWND hwnd, int cmdShow) {
    HRESULT hr = PLATFORM_HOOK("ShowWindow", "hwnd=%p cmd=%d", static_cast<void*>(hwnd), cmdShow);
    if (hr != 0)
        return FALSE;
    if (!platform::IsLive(hwnd))
        return FALSE;
    auto& w = Sys().window;
    BOOL wasVisible = w.visible ? TRUE : FALSE;
    bool show = cmdShow != SW_HIDE;
    if (show != w.visible) {
        platform::CurrentBackend().ShowWindow(show);
        w.visible = show;
    }
    return wasVisible;
}

BOOL UpdateWindow(HWND hwnd) {
    return platform::IsLive(hwnd) ? TRUE : FALSE;
}

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

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
    platform::Pump();
    return platform::Take(msg, hwnd, filterMin, filterMax, (removeMsg & PM_REMOVE) != 0) ? TRUE
                                                                                         : FALSE;
}

BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    MSG local;
    MSG* out = msg ? msg : &local;
    for (;;) {
        platform::Pump();
        if (platform::Take(out, hwnd, filterMin, filterMax, true))
            return out->message == WM_QUIT ? FALSE : TRUE;
        if (!platform::EnsureOpen()) {
            // No window system to wait on: nothing can ever arrive.
            *out = MSG{};
            out->message = WM_QUIT;
            return FALSE;
        }
        platform::CurrentBackend().WaitEvent();
    }
}

BOOL TranslateMessage(const MSG* msg) {
    // Key messages are not turned into character messages: nothing here reads WM_CHAR.
    return FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (msg == nullptr || !platform::IsLive(msg->hwnd))
        return 0;
    return Sys().window.proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WaitMessage() {
    auto& s = Sys();
    ++s.waitCount;
    platform::Pump();
    if (s.count > 0 || s.quitPosted)
        return TRUE;
    if (!platform::EnsureOpen())
        return FALSE;
    platform::CurrentBackend().WaitEvent();
    platform::Pump();
    return TRUE;
}

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (hwnd != nullptr && !platform::IsLive(hwnd))
        return FALSE;
    return platform::Enqueue(hwnd, message, wParam, lParam) ? TRUE : FALSE;
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!platform::IsLive(hwnd))
        return 0;
    return Sys().window.proc(hwnd, message, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
    HRESULT hr = PLATFORM_HOOK("PostQuitMessage", "code=%d", exitCode);
    if (hr != 0)
        return;
    Sys().quitPosted = true;
    Sys().quitCode = exitCode;
}

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    PLATFORM_TRACE("DefWindowProcA", "message=0x%04x wParam=0x%lx", message,
                   static_cast<unsigned long>(wParam));
    switch (message) {
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_CLOSE)
                SendMessageA(hwnd, WM_CLOSE, 0, 0);
            return 0;
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        default:
            return 0;
    }
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    const char* t = text ? text : "";
    const char* c = caption ? caption : "Error";
    HRESULT hr = PLATFORM_HOOK("MessageBoxA", "caption=%s text=%s", c, t);
    if (hr != 0)
        return 0;
    Sys().boxes.push_back(platform::MessageBoxRecord{t, c, type});
    bool shown = platform::EnsureOpen() && platform::CurrentBackend().MessageBox(t, c);
    if (!shown) {
        // No box can be shown: the text goes to standard error, one line per text line.
        const char* line = t;
        for (;;) {
            const char* end = line + strcspn(line, "\r\n");
            fprintf(stderr, "%s: %.*s\n", c, static_cast<int>(end - line), line);
            if (*end == '\0')
                break;
            line = end + (end[0] == '\r' && end[1] == '\n' ? 2 : 1);
            if (*line == '\0')
                break;
        }
    }
    return IDOK;
}
