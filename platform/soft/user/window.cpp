// The window system: window classes, the one top-level window, the message queue, cursor,
// message boxes and screen metrics, on top of the current backend (platform/backend.h).
//
// The queue is a fixed ring of messages, so posting and taking messages never allocates.
// The quit request is kept apart from the ring, as a flag with its exit code, and is
// delivered only when no other message is waiting: a full ring can never lose it.
//
// Keyboard and mouse messages come from the backend, which posts them as the window is to
// receive them (mouse points in client coordinates, WM_MOUSEWHEEL's in screen coordinates).
// On their way into the queue the window system keeps the keys' state now (for
// GetAsyncKeyState) and the pointer's position, leaves out the mouse messages of a pointer
// outside the window unless the window holds the capture, turns a second click into a
// double click where the window's class asks for it, and folds a move into a move still
// waiting. Taking one from the queue updates the thread's key state (GetKeyState).
#include "platform/win.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/backend.h"
#include "platform/soft/user/window_internal.h"
#include "platform/soft/user/window_system.h"

namespace platform {

WindowSystem& Sys() {
    static WindowSystem* sys = new WindowSystem();  // never destroyed: usable at exit
    return *sys;
}

bool IsLive(HWND hwnd) {
    return hwnd != nullptr && Sys().window.handle == hwnd;
}

namespace {

WindowSystem::Queued& At(int i) {
    WindowSystem& s = Sys();
    return s.ring[(s.head + i) % kQueueCapacity];
}

bool Enqueue(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool input = false,
             DWORD time = TimeGetTime(), uint32_t text = 0, int textCount = 0) {
    WindowSystem& s = Sys();
    if (s.count == kQueueCapacity)
        return false;
    WindowSystem::Queued& q = At(s.count);
    q.msg = MSG{hwnd, message, wParam, lParam, time, s.pointer};
    q.input = input;
    q.text = text;
    q.textCount = static_cast<uint8_t>(textCount);
    ++s.count;
    return true;
}

bool IsMouseMessage(UINT message) {
    return message >= WM_MOUSEMOVE && message <= WM_MOUSEWHEEL;
}

// Sets a key's down bit in a state table; `toggle` flips the toggled bit on a press.
void SetKey(uint8_t* state, int vk, bool down, bool toggle) {
    if (down && toggle && !(state[vk] & 0x80))
        state[vk] ^= 0x01;
    state[vk] = static_cast<uint8_t>(down ? state[vk] | 0x80 : state[vk] & ~0x80);
}

// What a keyboard or mouse message says about the keys and buttons, into a state table.
// Shift, Control and Alt are kept per side (the scan code and the extended-key bit tell
// which); the key for both is down while either is.
void ApplyInput(uint8_t* state, UINT message, WPARAM wParam, LPARAM lParam, bool toggle) {
    if (message == WM_KEYDOWN || message == WM_KEYUP) {
        const int vk = static_cast<int>(wParam & 0xFF);
        const bool down = message == WM_KEYDOWN;
        const int scan = static_cast<int>((lParam >> 16) & 0xFF);
        const bool extended = ((lParam >> 24) & 1) != 0;
        int side = 0;
        if (vk == static_cast<int>(VK_SHIFT))
            side = static_cast<int>(scan == 0x36 ? VK_RSHIFT : VK_LSHIFT);
        else if (vk == static_cast<int>(VK_CONTROL))
            side = static_cast<int>(extended ? VK_RCONTROL : VK_LCONTROL);
        else if (vk == static_cast<int>(VK_MENU))
            side = static_cast<int>(extended ? VK_RMENU : VK_LMENU);
        if (side == 0) {
            SetKey(state, vk, down, toggle);
            return;
        }
        SetKey(state, side, down, toggle);
        const int other = side ^ 1;  // the left and right codes differ in the lowest bit
        SetKey(state, vk, ((state[side] | state[other]) & 0x80) != 0, toggle);
        return;
    }
    if (IsMouseMessage(message)) {
        const WPARAM keys = LOWORD(wParam);
        SetKey(state, VK_LBUTTON, (keys & MK_LBUTTON) != 0, toggle);
        SetKey(state, VK_RBUTTON, (keys & MK_RBUTTON) != 0, toggle);
        SetKey(state, VK_MBUTTON, (keys & MK_MBUTTON) != 0, toggle);
    }
}

// A mouse message from the backend on its way into the queue: false when the window does
// not receive it. May turn a button-down into a double click.
bool RouteMouse(UINT* message, LPARAM lParam, DWORD time) {
    WindowSystem& s = Sys();
    if (s.window.handle == nullptr)
        return false;
    const RECT& r = s.window.rect;
    if (*message == WM_MOUSEWHEEL) {
        s.pointer = POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        return true;
    }
    const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    s.pointer = POINT{p.x + r.left, p.y + r.top};
    if (s.capture == nullptr &&
        (p.x < 0 || p.y < 0 || p.x >= r.right - r.left || p.y >= r.bottom - r.top))
        return false;  // over whatever is beside the window
    if (*message != WM_LBUTTONDOWN && *message != WM_RBUTTONDOWN && *message != WM_MBUTTONDOWN)
        return true;
    auto& last = s.lastClick;
    if ((s.window.classStyle & CS_DBLCLKS) && last.message == *message &&
        time - last.time < kDoubleClickTime && abs(p.x - last.pt.x) < kDoubleClickWidth / 2 &&
        abs(p.y - last.pt.y) < kDoubleClickHeight / 2) {
        *message += WM_LBUTTONDBLCLK - WM_LBUTTONDOWN;
        last.message = 0;  // a third click starts again
    } else {
        last.message = *message;
        last.time = time;
        last.pt = p;
    }
    return true;
}

// Events from the backend go to the window (or to the thread when there is none); a quit
// request from the backend is the same as PostQuitMessage.
void PostFromBackend(UINT message, WPARAM wParam, LPARAM lParam) {
    WindowSystem& s = Sys();
    if (message == kKeyTextNote) {
        s.noteText = static_cast<uint32_t>(wParam);
        s.noteCount = lParam < 0             ? 0
                      : lParam > kMaxKeyText ? kMaxKeyText
                                             : static_cast<int>(lParam);
        return;
    }
    const int textCount = message == WM_KEYDOWN ? s.noteCount : 0;
    s.noteCount = 0;  // a note is for the message right after it only
    if (message == WM_QUIT) {
        s.quitPosted = true;
        s.quitCode = static_cast<int>(wParam);
        return;
    }
    ApplyInput(s.asyncState, message, wParam, lParam, false);
    const DWORD time = TimeGetTime();
    if (IsMouseMessage(message)) {
        if (!RouteMouse(&message, lParam, time))
            return;
        // A move folds into a move still waiting at the end of the queue.
        if (message == WM_MOUSEMOVE && s.count > 0) {
            WindowSystem::Queued& last = At(s.count - 1);
            if (last.input && last.msg.message == WM_MOUSEMOVE &&
                last.msg.hwnd == s.window.handle) {
                last.msg = MSG{s.window.handle, message, wParam, lParam, time, s.pointer};
                return;
            }
        }
    }
    const bool input = message == WM_KEYDOWN || message == WM_KEYUP || IsMouseMessage(message);
    Enqueue(s.window.handle, message, wParam, lParam, input, time, s.noteText, textCount);
}

// The program's name for its messages: the window class it registered last (the test
// application's is "Game Library"), else the executable's name.
const char* ProgramName() {
    const auto& classes = Sys().classes;
    return classes.empty() ? program_invocation_short_name : classes.back().name.c_str();
}

// Opens the backend once. When no display can be opened, says so on standard error in
// one line (once per backend), under the program's name, and returns false.
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
        fprintf(stderr, "%s: no display can be opened: %s\n", ProgramName(),
                why.empty() ? "unknown reason" : why.c_str());
        return false;
    }
    s.openedBackend = &backend;
    return true;
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
        const WindowSystem::Queued q = At(i);
        if (!Matches(q.msg, hwnd, filterMin, filterMax))
            continue;
        if (out)
            *out = q.msg;
        if (remove) {
            // Close the gap: later messages keep their order.
            for (int j = i; j + 1 < s.count; ++j)
                At(j) = At(j + 1);
            --s.count;
            if (q.input) {
                ApplyInput(s.keyState, q.msg.message, q.msg.wParam, q.msg.lParam, true);
                if (q.msg.message == WM_KEYDOWN)
                    s.lastKey = {q.msg, q.text, q.textCount};
                // A mouse message lets the window set the cursor first, unless it holds the
                // capture; the message named is the button's press even for a double click.
                UINT m = q.msg.message;
                if (m == WM_LBUTTONDBLCLK || m == WM_RBUTTONDBLCLK || m == WM_MBUTTONDBLCLK)
                    m -= WM_LBUTTONDBLCLK - WM_LBUTTONDOWN;
                if (IsMouseMessage(m) && s.capture == nullptr && IsLive(q.msg.hwnd))
                    s.window.proc(q.msg.hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(q.msg.hwnd),
                                  MAKELPARAM(HTCLIENT, m));
            }
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

void Pump() {
    WindowSystem& s = Sys();
    if (!EnsureOpen())
        return;
    if (!s.post)
        s.post = PostFromBackend;
    CurrentBackend().PumpEvents(s.post);
}

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
    memset(s.keyState, 0, sizeof s.keyState);
    memset(s.asyncState, 0, sizeof s.asyncState);
    s.pointer = POINT{0, 0};
    s.capture = nullptr;
    s.noteCount = 0;
    s.lastClick = {};
    s.lastKey = {};
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
    s.window.classStyle = cls->wc.style;
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
        s.capture = nullptr;
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
    if (msg == nullptr || (msg->message != WM_KEYDOWN && msg->message != WM_KEYUP))
        return FALSE;
    // The key-down taken last is translated into the characters its key gave: they come
    // next, before any keyboard or mouse message that waits.
    auto& s = Sys();
    const MSG& key = s.lastKey.msg;
    if (msg->message == WM_KEYDOWN && key.message == WM_KEYDOWN && key.hwnd == msg->hwnd &&
        key.wParam == msg->wParam && key.lParam == msg->lParam && key.time == msg->time) {
        int at = 0;
        while (at < s.count && !platform::At(at).input)
            ++at;
        for (int i = 0; i < s.lastKey.count && s.count < platform::kQueueCapacity; ++i, ++at) {
            for (int j = s.count; j > at; --j)
                platform::At(j) = platform::At(j - 1);
            ++s.count;
            const WPARAM ch = (s.lastKey.text >> (8 * i)) & 0xFF;
            platform::At(at) = {
                MSG{msg->hwnd, WM_CHAR, ch, msg->lParam, platform::TimeGetTime(), s.pointer}, false,
                0, 0};
        }
    }
    return TRUE;
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
