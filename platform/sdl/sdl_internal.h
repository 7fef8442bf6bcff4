// What the SDL backend's files share with each other: the Xlib entry points loaded beside
// SDL and the watch on the game's X window (x11.cpp), the translation of SDL's input into
// window messages (input.cpp), and SdlVideo, SDL itself as used from the one thread that owns
// its video (video.cpp; the thread and the hand-offs are in presenter.cpp).
#pragma once

#include <SDL.h>
#include <SDL_syswm.h>
#include <pthread.h>

#include <atomic>
#include <memory>
#include <string>

#include "platform/backend.h"

namespace platform::sdl {

// The few Xlib entry points the backend needs beyond SDL, taken from the library SDL's X11
// driver loads (the platform does not link Xlib itself). The library stays loaded.
struct Xlib {
    using IOErrorHandler = int (*)(Display*);
    using ErrorHandler = int (*)(Display*, XErrorEvent*);
    IOErrorHandler (*setIOErrorHandler)(IOErrorHandler) = nullptr;
    ErrorHandler (*setErrorHandler)(ErrorHandler) = nullptr;
    int (*defaultScreen)(Display*) = nullptr;
    Colormap (*defaultColormap)(Display*, int) = nullptr;
    Status (*allocColor)(Display*, Colormap, XColor*) = nullptr;
    int (*setWindowColormap)(Display*, Window, Colormap) = nullptr;
    int (*sync)(Display*, Bool) = nullptr;
    Visual* (*defaultVisual)(Display*, int) = nullptr;
    VisualID (*visualId)(Visual*) = nullptr;
    Status (*getWindowAttributes)(Display*, Window, XWindowAttributes*) = nullptr;
};

// The Xlib entry points, loaded once from the library SDL's x11 driver uses.
const Xlib& LoadedXlib();

// The X window behind the game's window, and whether another client destroyed it. Xlib
// reports errors from whichever call reads the connection, so both are atomics.
extern std::atomic<unsigned long> watchedWindow;
extern std::atomic<bool> windowGone;

// Installed before SDL opens the display: SDL keeps the handler it finds, passes it the
// errors its own does not take, and puts it back when it shuts down, so errors that only
// arrive while SDL closes its connections (a request on the destroyed window still on its
// way) are caught too.
void CatchXErrors();
// Xlib ends the process with exit() when its connection to the server breaks; the exit
// handlers (SDL's shutdown among them) then call into the broken connection again and never
// return, leaving a process that spins for ever. The lost connection ends the process at
// once instead.
void WatchX11();

// Windows virtual-key code of an SDL key; 0 for keys the platform has no code for.
WPARAM VirtualKey(const SDL_Keysym& key);
// The key-message lParam: repeat count 1, scan code, previous state and transition bits.
LPARAM KeyLParam(const SDL_KeyboardEvent& e);

// SDL itself, used from the one thread that owns SDL's video (see SdlBackend below): the
// window, its events, presentation into the window surface, message boxes. Every entry point
// checks that it runs on that thread: SDL called from two threads fails rarely and far from
// the cause (inside libX11), so a call from the wrong thread ends the run at once, saying so.
class SdlVideo {
public:
    ~SdlVideo() { Close(); }

    // The thread that owns SDL's video from now on.
    void Adopt() {
        owner_ = pthread_self();
        adopted_ = true;
    }

    bool IsOpen() const { return opened_; }

    // The window goes and SDL's video is shut down (it can be opened again).
    void Close();
    bool Open(std::string* why);

    void ScreenSize(int* width, int* height) {
        *width = screenWidth_;
        *height = screenHeight_;
    }

    bool CreateWindow(const char* title, int x, int y, int width, int height);
    void ShowWindow(bool show);
    void DestroyWindow();
    void ShowCursor(bool show);
    void PumpEvents(const PostFn& post);

    // `refuseSurface` makes the window surface's acquisition fail (a fault hook's answer,
    // taken on the program's thread), so the path that ends the run can be tested.
    void Present(const PixelView& src, int x, int y, bool refuseSurface = false);
    bool MessageBox(const char* text, const char* caption);

private:
    void OnOwnerThread(const char* what) const;
    static Uint32 SdlFormat(PixelKind kind);

    // The window shows nothing of what is presented: one line on standard error, and the
    // next pump ends the run with exit code 1 (a picture nobody can see is no run).
    void CannotPresent(const char* why);

    // The X connection and window behind the SDL window (SDL's x11 driver only).
    void ReadX11Window();

    // The screen's default visual when the screen is 8-bit palettised and the window was
    // given another visual; null otherwise.
    Visual* PalettisedDefaultVisual();

    // An 8-bit palettised window shows X pixel values through the screen's colormap.
    // The picture's colours are brought to a fixed palette (a 6 x 6 x 6 colour cube, which
    // holds the overlay's pure colours exactly, and a ramp of greys for the shading)
    // allocated in the screen's default colormap, which is the one shown when no window
    // manager installs another; the window is given that colormap too. A table maps every
    // 5-6-5 value to the pixel value of its nearest allocated colour.
    bool PrepareIndexed();
    void ConvertToIndexed(const PixelView& src, uint8_t* dst, int dstPitch) const;

    // SDL's input events as window messages (input.cpp). A key-down is held back until the
    // text it produces is known (SDL's text event comes right after it); FlushKey posts it.
    void Translate(const SDL_Event& e, const PostFn& post);
    void FlushKey(const PostFn& post);
    WPARAM MouseKeys() const;  // the MK_ flags of the buttons and modifiers down
    Uint16 mods_ = KMOD_NONE;
    WPARAM buttons_ = 0;
    bool keyHeld_ = false;
    SDL_KeyboardEvent heldKey_{};
    WPARAM heldVk_ = 0;
    uint32_t heldText_ = 0;
    int heldCount_ = 0;  // -1: the text event decides
    pthread_t owner_{};
    bool adopted_ = false;
    bool opened_ = false;
    int screenWidth_ = 0;
    int screenHeight_ = 0;
    SDL_Window* window_ = nullptr;
    SDL_Surface* surface_ = nullptr;
    int windowX_ = 0;
    int windowY_ = 0;
    Display* display_ = nullptr;          // the X connection, with SDL's x11 driver
    bool goneReported_ = false;           // the destroyed window's close was posted
    bool cannotPresent_ = false;          // presentation is impossible (said on standard error)
    bool endReported_ = false;            // ... and the run's end was posted
    std::unique_ptr<uint8_t[]> toIndex_;  // 5-6-5 value -> pixel value on 8-bit windows
};

}  // namespace platform::sdl
