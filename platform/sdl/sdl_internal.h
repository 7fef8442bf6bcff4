// What the SDL backend's files share with each other: the Xlib entry points loaded beside
// SDL and the watch on the game's X window (x11.cpp), the translation of SDL's input into
// window messages (input.cpp), and SdlVideo, SDL itself as used from the one thread that owns
// its video (video.cpp; the thread and the hand-offs are in presenter.cpp).
#pragma once

#include <SDL.h>
#include <SDL_syswm.h>
#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "platform/backend.h"
#include "platform/soft/user/window_internal.h"

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
// way) are caught too. Xlib ends the process with exit() when its connection to the server
// breaks; the exit handlers (SDL's shutdown among them) then call into the broken connection
// again and never return. The lost connection (from SDL's first request on) ends the process
// at once instead (DisplayLost).
void CatchXErrors();
// Every X event is also seen by the backend (a window destroyed by another client).
void WatchX11();

// Window messages from the video thread to the program's, in order, in a fixed ring (nothing
// is allocated). A full ring makes room rather than lose what matters: a key repeat for the
// key whose repeat ends the ring is counted in that message's repeat count, as the window
// system does for a program that falls behind; otherwise the oldest message of the lowest
// rank goes: key repeats, then key presses and releases, then focus changes, then the rest
// (close requests, quits), which give way only to a newer one of their own rank. A new
// message of a lower rank than everything held is the one dropped.
template <int Capacity>
class EventRing {
public:
    struct Event {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };

    int Count() const { return count_; }

    void Push(const Event& e) {
        const int rank = Rank(e);
        if (count_ == Capacity) {
            Event& last = At(count_ - 1);
            // A move when the last message is a move replaces it (the pointer's latest place
            // is what counts); a repeat of the last key adds to its repeat count.
            if (e.message == WM_MOUSEMOVE && last.message == WM_MOUSEMOVE) {
                last = e;
                return;
            }
            if (rank == 0 && e.message == WM_KEYDOWN && last.message == WM_KEYDOWN &&
                Rank(last) == 0 && last.wParam == e.wParam) {
                const uint32_t lp = static_cast<uint32_t>(last.lParam);
                uint32_t repeats = (lp & 0xFFFFu) + (static_cast<uint32_t>(e.lParam) & 0xFFFFu);
                repeats = repeats > 0xFFFFu ? 0xFFFFu : repeats;
                last.lParam = static_cast<LPARAM>((lp & 0xFFFF0000u) | repeats);
                return;
            }
            int victim = 0;
            for (int i = 1; i < count_; ++i)
                if (Rank(At(i)) < Rank(At(victim)))
                    victim = i;
            if (Rank(At(victim)) > rank)
                return;
            for (int i = victim; i + 1 < count_; ++i)
                At(i) = At(i + 1);
            --count_;
        }
        At(count_) = e;
        ++count_;
    }

    bool Pop(Event* e) {
        if (count_ == 0)
            return false;
        *e = events_[head_];
        head_ = (head_ + 1) % Capacity;
        --count_;
        return true;
    }

private:
    // What a full ring gives up first: moves and key repeats, then keys, buttons, the wheel
    // and the text a key brings, then focus changes; closes and quits never.
    static int Rank(const Event& e) {
        if (e.message == WM_MOUSEMOVE)
            return 0;
        if ((e.message > WM_MOUSEMOVE && e.message <= WM_MOUSEWHEEL) || e.message == kKeyTextNote)
            return 1;
        switch (e.message) {
            case WM_KEYDOWN:
                return (static_cast<uint32_t>(e.lParam) & 0x40000000u) ? 0 : 1;
            case WM_KEYUP:
                return 1;
            case WM_ACTIVATEAPP:
                return 2;
            default:
                return 3;
        }
    }
    Event& At(int i) { return events_[(head_ + i) % Capacity]; }

    Event events_[Capacity]{};
    int head_ = 0;
    int count_ = 0;
};

// A colour allocated on an 8-bit screen (8 bits per channel) and the pixel value showing it.
struct PaletteColour {
    int r, g, b;
    uint8_t pixel;
};
// Fills `table` (65,536 entries) with the pixel value of the colour nearest to each 5-6-5
// value (the first of equally near ones); `count` > 0.
void BuildIndexTable(const PaletteColour* colours, int count, uint8_t* table);

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

    // The thread that owns SDL's video from now on, and where the window messages go.
    void Adopt(PostFn post) {
        owner_ = pthread_self();
        adopted_ = true;
        post_ = std::move(post);
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
    // SDL's events become window messages as SDL reports them (an event filter), never
    // waiting in SDL's own queue: a burst of input larger than that queue would push out
    // what follows it (a key pressed after it, a close).
    void PumpEvents();

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

    // On a screen whose default visual is DirectColor, pixels show each channel's value
    // through that channel's ramp in the colormap shown, the screen's default one when no
    // window manager installs another (SDL's own map for the window, an identity ramp, is
    // never installed). As on the 8-bit screen, the window is given the default colormap, in
    // which a grey ramp is allocated; a table per channel maps 8-bit values to the cell
    // holding the nearest allocated value. False when the default visual is not DirectColor
    // (nothing to do); `refused` says why the picture cannot be made right on one.
    bool PrepareDirectColor(std::string* refused);
    void ApplyRamps(uint8_t* dst, int dstPitch, int width, int height) const;
    // SDL's input events as window messages (input.cpp), taken by an event filter as SDL
    // reports them. A key-down is held back until the text it produces is known (SDL's text
    // event comes right after it); FlushKey posts it.
    void Translate(const SDL_Event& e);
    static int Filter(void* self, SDL_Event* e);
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
    PostFn post_;
    std::atomic<bool> surfaceStale_{false};  // the window was resized: its surface is remade
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
    bool directColor_ = false;            // presented pixels go through the ramps below
    uint8_t toCell_[3][256]{};            // red, green, blue value -> cell on DirectColor
};

}  // namespace platform::sdl
