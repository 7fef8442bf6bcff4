// Where the window system really comes from. One small interface, two implementations:
// SDL2 (a real window, keyboard, focus, message boxes, presentation) and headless (an
// in-memory screen and a scripted message queue, for tests and benchmarks).
#pragma once

#include "platform/win.h"

// Built for Windows the window system is the platform's own: there is no backend to choose.
#if !defined(_WIN32)

#include <functional>

namespace platform {

// Pixel formats the emulated display and surfaces can have.
enum class PixelKind : uint8_t {
    Pal8,      // 8 bits, palette indices
    RGB555,    // 16 bits, x1 r5 g5 b5
    RGB565,    // 16 bits, r5 g6 b5
    XRGB8888,  // 32 bits, x8 r8 g8 b8
};
int BytesPerPixel(PixelKind kind);

// A rectangle of pixels somewhere in memory, in one of the formats above.
struct PixelView {
    const void* pixels;  // first pixel of the rectangle
    int pitch;           // bytes from one row to the next
    int width;
    int height;
    PixelKind kind;
};

// A message the backend hands to the window layer's queue.
using PostFn = std::function<void(UINT message, WPARAM wParam, LPARAM lParam)>;

class Backend {
public:
    virtual ~Backend() = default;

    // Make the window system usable; false (with a one-line reason in `why`) when no
    // display can be opened.
    virtual bool Open(std::string* why) = 0;
    // Size of the screen the window opens on.
    virtual void ScreenSize(int* width, int* height) = 0;
    // The one top-level window: borderless, at (x, y), width x height, titled `title`.
    virtual bool CreateWindow(const char* title, int x, int y, int width, int height) = 0;
    virtual void ShowWindow(bool show) = 0;
    virtual void DestroyWindow() = 0;
    virtual void ShowCursor(bool show) = 0;
    // Move every pending window-system event into the message queue through `post`.
    virtual void PumpEvents(const PostFn& post) = 0;
    // Sleep until an event is pending (then the caller pumps).
    virtual void WaitEvent() = 0;
    // Put `src` on the screen with its top-left corner at (x, y) (screen coordinates; the
    // caller has already clipped it to the window) and make that rectangle visible.
    virtual void Present(const PixelView& src, int x, int y) = 0;
    // A modal box; returns when dismissed. False when no box can be shown.
    virtual bool MessageBox(const char* text, const char* caption) = 0;
};

// Ends the process at once, with exit code 1 and one line on standard error, when the
// connection to the display server is lost. No exit handler runs: shutting the window system
// down in order would call into the broken connection again. The SDL2 backend installs it
// as the X11 connection-loss handler; the run log is flushed line by line, so none of it is
// lost.
[[noreturn]] void DisplayLost();

// Ends the process promptly on SIGTERM or SIGINT, in every state of the program (frames
// running, waiting for messages, a modal box up, still starting): standard streams are
// flushed and the exit code is 128 + the signal's number (143 and 130), as a shell reports
// a process the signal ended. Signals the process inherited as ignored stay ignored. Any
// exception that escapes on any thread ends the process through EndForFailure (one line,
// exit code 1). Call it first thing in main, before any thread exists.
void EndOnTerminationSignals();

// The backend in use. Production uses SDL2; tests install the headless one before WinMain.
Backend& CurrentBackend();
void UseSdlBackend();
// Runs `call` on the thread that owns SDL's video, once every picture handed to the SDL
// backend before it is on the screen, and waits for it (tests look at SDL's window there).
// Does nothing when the SDL backend is not the current one.
void SdlCall(const std::function<void()>& call);

// The headless backend's screen and script, for tests.
class HeadlessBackend : public Backend {
public:
    HeadlessBackend(int screenWidth, int screenHeight);
    ~HeadlessBackend() override;
    bool Open(std::string* why) override;
    void ScreenSize(int* width, int* height) override;
    bool CreateWindow(const char* title, int x, int y, int width, int height) override;
    void ShowWindow(bool show) override;
    void DestroyWindow() override;
    void ShowCursor(bool show) override;
    void PumpEvents(const PostFn& post) override;
    void WaitEvent() override;
    void Present(const PixelView& src, int x, int y) override;
    bool MessageBox(const char* text, const char* caption) override;

    // Queue a window-system event for the next pump (key presses, focus, close requests).
    void Script(UINT message, WPARAM wParam, LPARAM lParam = 0);
    // Called when the loop would sleep with nothing scripted: tests use it to feed the
    // next events or to stop a run (e.g. by scripting a close). Without one, a wait with
    // nothing scripted posts WM_SYSCOMMAND/SC_CLOSE so a test can never hang.
    std::function<void()> onIdleWait;
    // Called at every pump (every turn of the message loop): tests use it to count turns,
    // script events at a given frame, or end a run after N frames.
    std::function<void()> onPump;
    // Called when the window goes, after its WM_DESTROY has been handled: tests use it to
    // see what had happened by then (files written, objects released).
    std::function<void()> onDestroyWindow;

    // The screen in the 32-bit XRGB8888 format whatever the display's format, with every
    // present made so far (read it again after further presents).
    const std::vector<uint32_t>& Screen() const;
    int ScreenWidth() const;
    int ScreenHeight() const;
    bool WindowExists() const;
    bool WindowVisible() const;
    std::string WindowTitle() const;
    RECT WindowRect() const;
    int PresentCount() const;
    RECT LastPresentRect() const;

private:
    struct Impl;
    Impl* impl_;
};
// Install a new headless backend of the given screen size and return it.
HeadlessBackend& UseHeadlessBackend(int screenWidth = 1024, int screenHeight = 768);

}  // namespace platform

#endif  // !_WIN32
