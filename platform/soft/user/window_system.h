// What the window system's files share: its records (the classes, the one window, the
// message queue, the input state, the cursor and the boxes shown) and the calls that reach
// them. window.cpp holds the window, the queue and message boxes; input.cpp the calls that
// read the pointer, the keys and the capture, and the cursor.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/win.h"

namespace platform {

constexpr int kQueueCapacity = 4096;
// The platform's default double-click time (ms) and the box (pixels) both clicks must be in.
constexpr DWORD kDoubleClickTime = 500;
constexpr int kDoubleClickWidth = 4;
constexpr int kDoubleClickHeight = 4;

struct ClassRecord {
    std::string name;
    WNDCLASSA wc;
    std::string menuName;
};

struct WindowRecord {
    HWND handle = nullptr;  // null: no window
    WNDPROC proc = nullptr;
    UINT classStyle = 0;
    RECT rect{};
    bool visible = false;
    std::string title;
};

struct WindowSystem {
    std::vector<ClassRecord> classes;
    WindowRecord window;
    uintptr_t serial = 0;  // windows created so far; makes every handle unique

    struct Queued {
        MSG msg;
        bool input;         // keyboard or mouse, from the backend (not posted by the program)
        uint8_t textCount;  // WM_KEYDOWN: the characters it produces, first in the low byte
        uint32_t text;
    };
    Queued ring[kQueueCapacity];
    int head = 0;  // oldest message
    int count = 0;

    uint8_t keyState[256] = {};    // as of the messages taken: 0x80 down, 0x01 toggled
    uint8_t asyncState[256] = {};  // now: 0x80 down
    POINT pointer{0, 0};           // the pointer's last known screen position
    HWND capture = nullptr;
    uint32_t noteText = 0;  // from a kKeyTextNote, for the WM_KEYDOWN right after it
    int noteCount = 0;
    struct {
        UINT message;
        DWORD time;
        POINT pt;
    } lastClick{};  // the last button-down that can start a double click
    struct {
        MSG msg;
        uint32_t text;
        int count;
    } lastKey{};  // the last WM_KEYDOWN taken from the queue, with its text

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

// The one window system, never destroyed: usable at exit.
WindowSystem& Sys();
// Whether `hwnd` is the live window.
bool IsLive(HWND hwnd);
// Opens the backend when needed and moves its pending events into the queue.
void Pump();

}  // namespace platform
