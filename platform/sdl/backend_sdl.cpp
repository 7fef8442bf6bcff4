// The SDL2 backend: a real borderless window, keyboard and focus events turned into window
// messages, modal message boxes, and presentation of screen rectangles into the window's
// surface (software, no renderer).
#include <SDL.h>
#include <SDL_syswm.h>
#include <dirent.h>
#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/backend.h"
#include "platform/soft/ddraw/blit.h"
#include "platform/soft/ddraw/pixels.h"
#include "platform/soft/user/window_internal.h"

namespace platform {
namespace {

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

const Xlib& LoadedXlib() {
    static const Xlib xlib = [] {
        Xlib x;
        void* lib = dlopen("libX11.so.6", RTLD_LAZY);
        if (!lib)
            return x;
        x.setIOErrorHandler =
            reinterpret_cast<decltype(x.setIOErrorHandler)>(dlsym(lib, "XSetIOErrorHandler"));
        x.setErrorHandler =
            reinterpret_cast<decltype(x.setErrorHandler)>(dlsym(lib, "XSetErrorHandler"));
        x.defaultScreen = reinterpret_cast<decltype(x.defaultScreen)>(dlsym(lib, "XDefaultScreen"));
        x.defaultColormap =
            reinterpret_cast<decltype(x.defaultColormap)>(dlsym(lib, "XDefaultColormap"));
        x.allocColor = reinterpret_cast<decltype(x.allocColor)>(dlsym(lib, "XAllocColor"));
        x.setWindowColormap =
            reinterpret_cast<decltype(x.setWindowColormap)>(dlsym(lib, "XSetWindowColormap"));
        x.sync = reinterpret_cast<decltype(x.sync)>(dlsym(lib, "XSync"));
        x.defaultVisual = reinterpret_cast<decltype(x.defaultVisual)>(dlsym(lib, "XDefaultVisual"));
        x.visualId = reinterpret_cast<decltype(x.visualId)>(dlsym(lib, "XVisualIDFromVisual"));
        x.getWindowAttributes =
            reinterpret_cast<decltype(x.getWindowAttributes)>(dlsym(lib, "XGetWindowAttributes"));
        return x;
    }();
    return xlib;
}

// The X window behind the game's window, and whether another client destroyed it. Xlib
// reports errors from whichever call reads the connection, so both are atomics.
std::atomic<unsigned long> watchedWindow{0};
std::atomic<bool> windowGone{false};
Xlib::ErrorHandler previousErrorHandler = nullptr;

// A request on the game's window that fails because the window no longer exists means
// another client destroyed it: that is noted (the backend then ends the run as a close
// request would) instead of letting Xlib's default handler exit in the middle of SDL.
// Every other error goes to the handler that was there before.
int OnXError(Display* display, XErrorEvent* error) {
    unsigned long window = watchedWindow.load();
    if (window != 0 && error->resourceid == window &&
        (error->error_code == BadWindow || error->error_code == BadDrawable)) {
        windowGone.store(true);
        return 0;
    }
    return previousErrorHandler ? previousErrorHandler(display, error) : 0;
}

// Installed before SDL opens the display: SDL keeps the handler it finds, passes it the
// errors its own does not take, and puts it back when it shuts down, so errors that only
// arrive while SDL closes its connections (a request on the destroyed window still on its
// way) are caught too.
void CatchXErrors() {
    static bool installed = false;
    const Xlib& xlib = LoadedXlib();
    if (installed || !xlib.setErrorHandler)
        return;
    installed = true;
    previousErrorHandler = xlib.setErrorHandler(OnXError);
}

// Xlib ends the process with exit() when its connection to the server breaks; the exit
// handlers (SDL's shutdown among them) then call into the broken connection again and never
// return, leaving a process that spins for ever. The lost connection ends the process at
// once instead.
void WatchX11() {
    const Xlib& xlib = LoadedXlib();
    if (xlib.setIOErrorHandler)
        xlib.setIOErrorHandler([](Display*) -> int { DisplayLost(); });
    // Every X event also comes as an SDL_SYSWMEVENT: SDL says nothing of a window destroyed
    // by another client, its DestroyNotify does.
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
}

// Windows virtual-key code of an SDL key; 0 for keys the platform has no code for.
WPARAM VirtualKey(const SDL_Keysym& key) {
    SDL_Keycode k = key.sym;
    if (k >= SDLK_a && k <= SDLK_z)
        return 'A' + (k - SDLK_a);
    if (k >= SDLK_0 && k <= SDLK_9)
        return '0' + (k - SDLK_0);
    if (k >= SDLK_F1 && k <= SDLK_F12)
        return VK_F1 + (k - SDLK_F1);
    if (k >= SDLK_F13 && k <= SDLK_F24)
        return VK_F1 + 12 + (k - SDLK_F13);
    if (k >= SDLK_KP_1 && k <= SDLK_KP_9)
        return VK_NUMPAD0 + 1 + (k - SDLK_KP_1);
    switch (k) {
        case SDLK_ESCAPE:
            return VK_ESCAPE;
        case SDLK_SPACE:
            return VK_SPACE;
        case SDLK_LEFT:
            return VK_LEFT;
        case SDLK_RIGHT:
            return VK_RIGHT;
        case SDLK_UP:
            return VK_UP;
        case SDLK_DOWN:
            return VK_DOWN;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            return VK_RETURN;
        case SDLK_BACKSPACE:
            return VK_BACK;
        case SDLK_TAB:
            return VK_TAB;
        case SDLK_PAGEUP:
            return VK_PRIOR;
        case SDLK_PAGEDOWN:
            return VK_NEXT;
        case SDLK_HOME:
            return VK_HOME;
        case SDLK_END:
            return VK_END;
        case SDLK_INSERT:
            return VK_INSERT;
        case SDLK_DELETE:
            return VK_DELETE;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT:
            return VK_SHIFT;
        case SDLK_LCTRL:
        case SDLK_RCTRL:
            return VK_CONTROL;
        case SDLK_LALT:
        case SDLK_RALT:
            return VK_MENU;
        case SDLK_KP_0:
            return VK_NUMPAD0;
        case SDLK_KP_MULTIPLY:
            return 0x6A;
        case SDLK_KP_PLUS:
            return 0x6B;
        case SDLK_KP_MINUS:
            return 0x6D;
        case SDLK_KP_PERIOD:
            return 0x6E;
        case SDLK_KP_DIVIDE:
            return 0x6F;
        case SDLK_PAUSE:
            return 0x13;
        case SDLK_CAPSLOCK:
            return 0x14;
        case SDLK_NUMLOCKCLEAR:
            return 0x90;
        case SDLK_SCROLLLOCK:
            return 0x91;
        case SDLK_PRINTSCREEN:
            return 0x2C;
        case SDLK_SEMICOLON:
            return 0xBA;
        case SDLK_EQUALS:
            return 0xBB;
        case SDLK_COMMA:
            return 0xBC;
        case SDLK_MINUS:
            return 0xBD;
        case SDLK_PERIOD:
            return 0xBE;
        case SDLK_SLASH:
            return 0xBF;
        case SDLK_BACKQUOTE:
            return 0xC0;
        case SDLK_LEFTBRACKET:
            return 0xDB;
        case SDLK_BACKSLASH:
            return 0xDC;
        case SDLK_RIGHTBRACKET:
            return 0xDD;
        case SDLK_QUOTE:
            return 0xDE;
        default:
            return 0;
    }
}

// The key-message lParam: repeat count 1, scan code, previous state and transition bits.
LPARAM KeyLParam(const SDL_KeyboardEvent& e) {
    uint32_t lp = 1u | ((static_cast<uint32_t>(e.keysym.scancode) & 0xFF) << 16);
    if (e.type == SDL_KEYUP)
        lp |= 0xC0000000u;
    else if (e.repeat)
        lp |= 0x40000000u;
    return static_cast<LPARAM>(lp);
}

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
    void Close() {
        if (!window_ && !opened_)
            return;
        OnOwnerThread("Close");
        if (window_)
            DestroyWindow();
        if (opened_)
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
        opened_ = false;
    }

    bool Open(std::string* why) {
        OnOwnerThread("Open");
        // SDL would fall back to its invisible offscreen driver; a window nobody can see is
        // no display. Its own drivers stay available when asked for by SDL_VIDEODRIVER.
        const char* driver = getenv("SDL_VIDEODRIVER");
        bool explicitDriver = driver != nullptr && *driver != '\0';
        if (!explicitDriver && !getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY")) {
            if (why)
                *why = "neither DISPLAY nor WAYLAND_DISPLAY is set";
            return false;
        }
        // Termination signals are the process's business (EndOnTerminationSignals), not
        // close requests.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (getenv("DISPLAY") && (!explicitDriver || strcmp(driver, "x11") == 0))
            CatchXErrors();
        if (SDL_Init(SDL_INIT_VIDEO) != 0) {
            if (why)
                *why = SDL_GetError();
            return false;
        }
        opened_ = true;
        const char* current = SDL_GetCurrentVideoDriver();
        if (current && strcmp(current, "x11") == 0)
            WatchX11();
        if (!explicitDriver && current &&
            (strcmp(current, "offscreen") == 0 || strcmp(current, "dummy") == 0)) {
            if (why)
                *why = "no X11 or Wayland display could be opened";
            return false;
        }
        SDL_DisplayMode mode;
        if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
            screenWidth_ = mode.w;
            screenHeight_ = mode.h;
        } else {
            SDL_Rect bounds;
            if (SDL_GetDisplayBounds(0, &bounds) != 0) {
                if (why)
                    *why = SDL_GetError();
                return false;
            }
            screenWidth_ = bounds.w;
            screenHeight_ = bounds.h;
        }
        return true;
    }

    void ScreenSize(int* width, int* height) {
        *width = screenWidth_;
        *height = screenHeight_;
    }

    bool CreateWindow(const char* title, int x, int y, int width, int height) {
        OnOwnerThread("CreateWindow");
        if (window_)
            return false;
        window_ =
            SDL_CreateWindow(title, x, y, width, height, SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
        if (!window_)
            return false;
        windowX_ = x;
        windowY_ = y;
        surface_ = nullptr;
        ReadX11Window();
        // On an 8-bit screen SDL prefers a DirectColor visual, whose colours only show
        // when its colormap is installed; the window is made again with the screen's own
        // palettised visual, drawn through the default colormap.
        if (Visual* visual = PalettisedDefaultVisual()) {
            char id[32];
            snprintf(id, sizeof id, "%lu", LoadedXlib().visualId(visual));
            SDL_SetHint(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, id);
            SDL_DestroyWindow(window_);
            window_ = SDL_CreateWindow(title, x, y, width, height,
                                       SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
            if (!window_)
                return false;
            ReadX11Window();
        }
        windowGone.store(false);
        goneReported_ = false;
        return true;
    }

    void ShowWindow(bool show) {
        OnOwnerThread("ShowWindow");
        if (!window_ || windowGone.load())
            return;
        if (show) {
            SDL_ShowWindow(window_);
            SDL_RaiseWindow(window_);
        } else {
            SDL_HideWindow(window_);
        }
    }

    void DestroyWindow() {
        OnOwnerThread("DestroyWindow");
        if (window_) {
            SDL_DestroyWindow(window_);
            // The errors about a window that was already gone are collected now, while
            // the handler that expects them is in place (SDL puts Xlib's default back when
            // it shuts down, which would exit on them).
            if (windowGone.load() && display_ && LoadedXlib().sync)
                LoadedXlib().sync(display_, False);
        }
        window_ = nullptr;
        surface_ = nullptr;
    }

    void ShowCursor(bool show) {
        OnOwnerThread("ShowCursor");
        SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
    }

    void PumpEvents(const PostFn& post) {
        OnOwnerThread("PumpEvents");
        SDL_Event e;
        while (SDL_PollEvent(&e))
            Translate(e, post);
        // Another client destroyed the window: the run ends as on a close request.
        if (window_ && windowGone.load() && !goneReported_) {
            goneReported_ = true;
            post(WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        if (cannotPresent_ && !endReported_) {
            endReported_ = true;
            post(WM_QUIT, 1, 0);
        }
    }

    // `refuseSurface` makes the window surface's acquisition fail (a fault hook's answer,
    // taken on the program's thread), so the path that ends the run can be tested.
    void Present(const PixelView& src, int x, int y, bool refuseSurface = false) {
        OnOwnerThread("Present");
        if (!window_ || windowGone.load() || cannotPresent_)
            return;
        if (!surface_) {
            // Software presentation: the window surface is plain memory, no GL context.
            SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
            if (refuseSurface) {
                CannotPresent("the window has no surface");
                return;
            }
            surface_ = SDL_GetWindowSurface(window_);
            if (!surface_) {
                CannotPresent(SDL_GetError());
                return;
            }
            if (surface_->format->format == SDL_PIXELFORMAT_INDEX8 && !PrepareIndexed()) {
                surface_ = nullptr;
                CannotPresent("no palette can be set up on the 8-bit screen");
                return;
            }
        }
        // Screen coordinates into the window, clipped to it.
        const int targetWidth = surface_->w;
        const int targetHeight = surface_->h;
        int left = x - windowX_, top = y - windowY_;
        int srcX = 0, srcY = 0, width = src.width, height = src.height;
        if (left < 0) {
            srcX = -left;
            width += left;
            left = 0;
        }
        if (top < 0) {
            srcY = -top;
            height += top;
            top = 0;
        }
        if (left + width > targetWidth)
            width = targetWidth - left;
        if (top + height > targetHeight)
            height = targetHeight - top;
        if (width <= 0 || height <= 0)
            return;
        PixelView part = src;
        part.pixels = static_cast<const uint8_t*>(src.pixels) +
                      static_cast<ptrdiff_t>(srcY) * src.pitch + srcX * BytesPerPixel(src.kind);
        part.width = width;
        part.height = height;
        bool locked = SDL_MUSTLOCK(surface_) && SDL_LockSurface(surface_) == 0;
        uint8_t* dst = static_cast<uint8_t*>(surface_->pixels) +
                       static_cast<ptrdiff_t>(top) * surface_->pitch +
                       left * surface_->format->BytesPerPixel;
        bool converted = true;
        switch (surface_->format->format) {
            case SDL_PIXELFORMAT_RGB888:
            case SDL_PIXELFORMAT_ARGB8888:
                ConvertToXRGB8888(part, reinterpret_cast<uint32_t*>(dst), surface_->pitch);
                break;
            case SDL_PIXELFORMAT_INDEX8:
                ConvertToIndexed(part, dst, surface_->pitch);
                break;
            default:
                converted =
                    SDL_ConvertPixels(width, height, SdlFormat(src.kind), part.pixels, part.pitch,
                                      surface_->format->format, dst, surface_->pitch) == 0;
                break;
        }
        if (locked)
            SDL_UnlockSurface(surface_);
        if (!converted) {
            CannotPresent(SDL_GetError());
            return;
        }
        SDL_Rect rect{left, top, width, height};
        SDL_UpdateWindowSurfaceRects(window_, &rect, 1);
    }

    bool MessageBox(const char* text, const char* caption) {
        OnOwnerThread("MessageBox");
        // Modal: returns when the user dismisses it (Return or Escape, or the button). Line
        // ends are shown as plain line feeds: a carriage return would print as a glyph.
        std::string shown;
        for (const char* p = text; *p; ++p)
            if (*p != '\r')
                shown += *p;
        return SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, caption, shown.c_str(),
                                        nullptr) == 0;
    }

private:
    void OnOwnerThread(const char* what) const {
        if (adopted_ && pthread_equal(owner_, pthread_self()))
            return;
        fprintf(stderr, "Game Library: SDL's video used from a thread that does not own it (%s)\n",
                what);
        abort();
    }

    static Uint32 SdlFormat(PixelKind kind) {
        switch (kind) {
            case PixelKind::RGB555:
                return SDL_PIXELFORMAT_RGB555;
            case PixelKind::RGB565:
                return SDL_PIXELFORMAT_RGB565;
            case PixelKind::XRGB8888:
                return SDL_PIXELFORMAT_RGB888;
            case PixelKind::Pal8:
                break;
        }
        return SDL_PIXELFORMAT_INDEX8;
    }

    // The window shows nothing of what is presented: one line on standard error, and the
    // next pump ends the run with exit code 1 (a picture nobody can see is no run).
    void CannotPresent(const char* why) {
        cannotPresent_ = true;
        fprintf(stderr, "Game Library: the window cannot show the picture: %s\n",
                why && *why ? why : "unknown reason");
    }

    // The X connection and window behind the SDL window (SDL's x11 driver only).
    void ReadX11Window() {
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (SDL_GetWindowWMInfo(window_, &info) && info.subsystem == SDL_SYSWM_X11) {
            display_ = info.info.x11.display;
            watchedWindow.store(info.info.x11.window);
        }
    }

    // The screen's default visual when the screen is 8-bit palettised and the window was
    // given another visual; null otherwise.
    Visual* PalettisedDefaultVisual() {
        const Xlib& xlib = LoadedXlib();
        XWindowAttributes attributes{};
        if (!display_ || !xlib.defaultVisual || !xlib.defaultScreen || !xlib.visualId ||
            !xlib.getWindowAttributes ||
            !xlib.getWindowAttributes(display_, watchedWindow.load(), &attributes) ||
            attributes.depth != 8)
            return nullptr;
        Visual* visual = xlib.defaultVisual(display_, xlib.defaultScreen(display_));
        if (!visual || visual->c_class != PseudoColor || visual == attributes.visual)
            return nullptr;
        return visual;
    }

    // An 8-bit palettised window shows X pixel values through the screen's colormap.
    // The picture's colours are brought to a fixed palette (a 6 x 6 x 6 colour cube, which
    // holds the overlay's pure colours exactly, and a ramp of greys for the shading)
    // allocated in the screen's default colormap, which is the one shown when no window
    // manager installs another; the window is given that colormap too. A table maps every
    // 5-6-5 value to the pixel value of its nearest allocated colour.
    bool PrepareIndexed() {
        const Xlib& xlib = LoadedXlib();
        if (!xlib.allocColor || !xlib.defaultColormap || !xlib.defaultScreen ||
            !xlib.setWindowColormap)
            return false;
        Display* display = display_;
        Colormap colormap = xlib.defaultColormap(display, xlib.defaultScreen(display));
        struct Entry {
            int r, g, b;
            uint8_t pixel;
        };
        Entry entries[256];
        int count = 0;
        auto allocate = [&](int r, int g, int b) {
            XColor c{};
            c.red = static_cast<unsigned short>(r * 257);
            c.green = static_cast<unsigned short>(g * 257);
            c.blue = static_cast<unsigned short>(b * 257);
            c.flags = DoRed | DoGreen | DoBlue;
            if (count < 256 && xlib.allocColor(display, colormap, &c) && c.pixel < 256)
                entries[count++] =
                    Entry{c.red >> 8, c.green >> 8, c.blue >> 8, static_cast<uint8_t>(c.pixel)};
        };
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    allocate(r * 51, g * 51, b * 51);
        for (int grey = 11; grey < 255; grey += 11)
            allocate(grey, grey, grey);
        if (count == 0)
            return false;
        xlib.setWindowColormap(display, watchedWindow.load(), colormap);
        if (!toIndex_)
            toIndex_.reset(new uint8_t[65536]);
        for (uint32_t v = 0; v < 65536; ++v) {
            uint8_t r, g, b;
            UnpackRGB(PixelKind::RGB565, v, &r, &g, &b);
            int best = 0, bestDistance = 1 << 30;
            for (int i = 0; i < count; ++i) {
                int dr = entries[i].r - r, dg = entries[i].g - g, db = entries[i].b - b;
                int distance = dr * dr + dg * dg + db * db;
                if (distance < bestDistance) {
                    bestDistance = distance;
                    best = i;
                }
            }
            toIndex_[v] = entries[best].pixel;
        }
        return true;
    }

    void ConvertToIndexed(const PixelView& src, uint8_t* dst, int dstPitch) const {
        for (int y = 0; y < src.height; ++y) {
            const uint8_t* row = static_cast<const uint8_t*>(src.pixels) + y * src.pitch;
            uint8_t* out = dst + static_cast<ptrdiff_t>(y) * dstPitch;
            if (src.kind == PixelKind::RGB565) {
                const auto* p = reinterpret_cast<const uint16_t*>(row);
                for (int x = 0; x < src.width; ++x)
                    out[x] = toIndex_[p[x]];
                continue;
            }
            for (int x = 0; x < src.width; ++x) {
                uint32_t p = 0;
                memcpy(&p, row + x * BytesPerPixel(src.kind),
                       static_cast<size_t>(BytesPerPixel(src.kind)));
                uint8_t r, g, b;
                UnpackRGB(src.kind, p, &r, &g, &b);
                out[x] = toIndex_[((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)];
            }
        }
    }

    void Translate(const SDL_Event& e, const PostFn& post) {
        switch (e.type) {
            case SDL_KEYDOWN:
            case SDL_KEYUP: {
                WPARAM vk = VirtualKey(e.key.keysym);
                if (vk != 0)
                    post(e.type == SDL_KEYDOWN ? WM_KEYDOWN : WM_KEYUP, vk, KeyLParam(e.key));
                break;
            }
            case SDL_WINDOWEVENT:
                switch (e.window.event) {
                    case SDL_WINDOWEVENT_FOCUS_GAINED:
                        post(WM_ACTIVATEAPP, 1, 0);
                        break;
                    case SDL_WINDOWEVENT_FOCUS_LOST:
                        post(WM_ACTIVATEAPP, 0, 0);
                        break;
                    case SDL_WINDOWEVENT_CLOSE:
                        post(WM_SYSCOMMAND, SC_CLOSE, 0);
                        break;
                    case SDL_WINDOWEVENT_SIZE_CHANGED:
                    case SDL_WINDOWEVENT_RESIZED:
                        surface_ = nullptr;  // the window surface is remade on next use
                        break;
                    default:
                        break;
                }
                break;
            case SDL_QUIT:
                post(WM_SYSCOMMAND, SC_CLOSE, 0);
                break;
            case SDL_SYSWMEVENT:
                if (e.syswm.msg && e.syswm.msg->subsystem == SDL_SYSWM_X11) {
                    const XEvent& x = e.syswm.msg->msg.x11.event;
                    if (x.type == DestroyNotify && x.xdestroywindow.window != 0 &&
                        x.xdestroywindow.window == watchedWindow.load())
                        windowGone.store(true);
                }
                break;
            default:
                break;
        }
    }

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

// The backend the program's thread uses. SDL's video belongs to one thread, so a thread of
// the backend's own owns all of it (opening, the window, events, presentation, message
// boxes, shutting down); the program's thread talks to it through three hand-offs, all under
// one lock:
// - commands (open, create, show, destroy, cursor, message box), run one at a time while
//   the program's thread waits for the result, after every picture handed over before them;
// - window messages, which the video thread translates from SDL's events into a fixed ring
//   and the program's pump moves into the message queue;
// - pictures: Present copies the rectangle into the one of two preallocated buffers the
//   presenter is not reading and hands it over; the presenter converts it into the window
//   surface and shows it while the program draws the next one. A frame waits only when the
//   previous picture has not been taken up yet (the presenter is still busy with the one
//   before). Only the presenter writes the window surface, one whole picture at a time.
// The application still runs on one thread and sees the same calls and results.
class SdlBackend : public Backend {
public:
    SdlBackend() = default;
    ~SdlBackend() override { Stop(); }

    bool Open(std::string* why) override {
        if (!thread_.joinable()) {
            thread_ = std::thread([this] { Loop(); });
            // At exit SDL is shut down on its own thread, which then ends.
            Running().push_back(this);
            static bool registered = false;
            if (!registered) {
                registered = true;
                atexit([] {
                    while (!Running().empty())
                        Running().back()->Stop();
                });
            }
        }
        Command open;
        open.kind = Command::DoOpen;
        Run(open);
        if (!open.result && why)
            *why = open.why;
        if (open.result) {
            screenWidth_ = open.width;
            screenHeight_ = open.height;
        }
        return open.result;
    }

    void ScreenSize(int* width, int* height) override {
        *width = screenWidth_;
        *height = screenHeight_;
    }

    bool CreateWindow(const char* title, int x, int y, int width, int height) override {
        Command create;
        create.kind = Command::DoCreate;
        create.text = title;
        create.x = x;
        create.y = y;
        create.width = width;
        create.height = height;
        Run(create);
        surfaceAsked_ = false;
        // The picture buffers are made here, once: presenting never allocates. The presenter
        // holds no picture now (a command runs only after every picture handed over).
        const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
        if (create.result && bytes > capacity_) {
            for (auto& buffer : buffers_)
                buffer.reset(new uint8_t[bytes]);
            capacity_ = bytes;
        }
        return create.result;
    }

    void ShowWindow(bool show) override {
        Command command;
        command.kind = Command::DoShow;
        command.x = show ? 1 : 0;
        Run(command);
    }

    void DestroyWindow() override {
        Command command;
        command.kind = Command::DoDestroy;
        Run(command);
    }

    void ShowCursor(bool show) override {
        Command command;
        command.kind = Command::DoCursor;
        command.x = show ? 1 : 0;
        Run(command);
    }

    void PumpEvents(const PostFn& post) override {
        std::unique_lock<std::mutex> lock(mutex_);
        while (eventCount_ > 0) {
            const Event e = events_[eventHead_];
            eventHead_ = (eventHead_ + 1) % kEvents;
            --eventCount_;
            lock.unlock();
            post(e.message, e.wParam, e.lParam);
            lock.lock();
        }
    }

    void WaitEvent() override {
        std::unique_lock<std::mutex> lock(mutex_);
        programWakes_.wait(lock, [this] { return eventCount_ > 0 || stopped_; });
    }

    void Present(const PixelView& src, int x, int y) override {
        const int bpp = BytesPerPixel(src.kind);
        int height = src.height;
        const size_t row = static_cast<size_t>(src.width) * static_cast<size_t>(bpp);
        if (src.width <= 0 || height <= 0 || capacity_ == 0)
            return;
        if (row * static_cast<size_t>(height) > capacity_)
            height = static_cast<int>(capacity_ / row);
        std::unique_lock<std::mutex> lock(mutex_);
        programWakes_.wait(lock, [this] { return pending_ < 0 || stopped_; });
        if (stopped_)
            return;
        const int slot = busy_ == 0 ? 1 : 0;
        lock.unlock();
        // The window surface is asked for with the first picture after the window's
        // creation; the fault hook is answered here, on the program's thread.
        bool refuse = false;
        if (!surfaceAsked_) {
            surfaceAsked_ = true;
            refuse = PLATFORM_HOOK("SDL_GetWindowSurface", "width=%d height=%d", src.width,
                                   src.height) != 0;
        }
        // The presenter reads only the other buffer (or none) until this one is handed over.
        blit::Copy(blit::Rows{buffers_[slot].get(), static_cast<int>(row)},
                   blit::ConstRows{static_cast<const uint8_t*>(src.pixels), src.pitch}, src.width,
                   height, bpp);
        lock.lock();
        pictures_[slot] = Picture{src.width, height, static_cast<int>(row), src.kind, x, y, refuse};
        pending_ = slot;
        lock.unlock();
        videoWakes_.notify_one();
    }

    bool MessageBox(const char* text, const char* caption) override {
        Command command;
        command.kind = Command::DoBox;
        command.text = text;
        command.caption = caption;
        Run(command);
        return command.result;
    }

    // Runs `call` on the thread that owns SDL's video, after every picture handed over.
    void Call(const std::function<void()>& call) {
        Command command;
        command.kind = Command::DoCall;
        command.call = &call;
        Run(command);
    }

private:
    struct Command {
        enum Kind {
            DoNothing,
            DoOpen,
            DoCreate,
            DoShow,
            DoDestroy,
            DoCursor,
            DoBox,
            DoCall,
            DoQuit
        };
        Kind kind = DoNothing;
        const char* text = nullptr;
        const char* caption = nullptr;
        int x = 0, y = 0, width = 0, height = 0;
        const std::function<void()>* call = nullptr;
        bool result = false;
        std::string why;
    };
    struct Event {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    struct Picture {
        int width, height, pitch;
        PixelKind kind;
        int x, y;
        bool refuseSurface;
    };
    static constexpr int kEvents = 1024;

    static std::vector<SdlBackend*>& Running() {
        static auto* running = new std::vector<SdlBackend*>();  // never destroyed: used at exit
        return *running;
    }

    // Hands a command to the video thread and waits until it has run. Pictures handed over
    // before it are shown first.
    void Run(Command& command) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (stopped_)
            return;
        programWakes_.wait(lock, [this] { return (pending_ < 0 && busy_ < 0) || stopped_; });
        if (stopped_)
            return;
        command_ = &command;
        videoWakes_.notify_one();
        programWakes_.wait(lock, [this] { return command_ == nullptr; });
    }

    // Shuts SDL down on its thread and waits for the thread to end.
    void Stop() {
        auto& running = Running();
        if (thread_.joinable()) {
            Command quit;
            quit.kind = Command::DoQuit;
            Run(quit);
            thread_.join();
        }
        for (size_t i = 0; i < running.size(); ++i)
            if (running[i] == this)
                running.erase(running.begin() + static_cast<ptrdiff_t>(i));
    }

    void Execute(Command& c) {
        switch (c.kind) {
            case Command::DoOpen:
                c.result = video_.Open(&c.why);
                if (c.result)
                    video_.ScreenSize(&c.width, &c.height);
                break;
            case Command::DoCreate:
                c.result = video_.CreateWindow(c.text, c.x, c.y, c.width, c.height);
                break;
            case Command::DoShow:
                video_.ShowWindow(c.x != 0);
                break;
            case Command::DoDestroy:
                video_.DestroyWindow();
                break;
            case Command::DoCursor:
                video_.ShowCursor(c.x != 0);
                break;
            case Command::DoBox:
                c.result = video_.MessageBox(c.text, c.caption);
                break;
            case Command::DoCall:
                (*c.call)();
                break;
            case Command::DoQuit:
                video_.Close();
                SDL_Quit();
                break;
            case Command::DoNothing:
                break;
        }
    }

    // Events go into the ring; a full ring drops them, as a full message queue would.
    void PostFromVideo(UINT message, WPARAM wParam, LPARAM lParam) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (eventCount_ == kEvents)
                return;
            events_[(eventHead_ + eventCount_) % kEvents] = Event{message, wParam, lParam};
            ++eventCount_;
        }
        programWakes_.notify_one();
    }

    // The video thread: commands, pictures, and SDL's events every few milliseconds while
    // there is nothing else to do.
    void Loop() {
        video_.Adopt();
        const PostFn post = [this](UINT m, WPARAM w, LPARAM l) { PostFromVideo(m, w, l); };
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (command_) {
                Command* command = command_;
                lock.unlock();
                Execute(*command);
                lock.lock();
                const bool quit = command->kind == Command::DoQuit;
                command_ = nullptr;
                if (quit)
                    stopped_ = true;
                programWakes_.notify_all();
                if (quit)
                    return;
                continue;
            }
            if (pending_ >= 0) {
                busy_ = pending_;
                pending_ = -1;
                const Picture p = pictures_[busy_];
                const uint8_t* pixels = buffers_[busy_].get();
                lock.unlock();
                programWakes_.notify_all();  // a frame waiting to hand over can go on
                video_.Present(PixelView{pixels, p.pitch, p.width, p.height, p.kind}, p.x, p.y,
                               p.refuseSurface);
                if (video_.IsOpen())
                    video_.PumpEvents(post);
                lock.lock();
                busy_ = -1;
                programWakes_.notify_all();
                continue;
            }
            lock.unlock();
            if (video_.IsOpen())
                video_.PumpEvents(post);
            lock.lock();
            if (!command_ && pending_ < 0)
                videoWakes_.wait_for(lock, std::chrono::milliseconds(4));
        }
    }

    SdlVideo video_;  // used on the video thread only
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable videoWakes_;    // the video thread has something to do
    std::condition_variable programWakes_;  // a command ended, a buffer or an event came
    Command* command_ = nullptr;
    bool stopped_ = false;
    Event events_[kEvents];
    int eventHead_ = 0;
    int eventCount_ = 0;
    std::unique_ptr<uint8_t[]> buffers_[2];
    size_t capacity_ = 0;  // bytes in each buffer
    Picture pictures_[2]{};
    int pending_ = -1;  // buffer handed over and not yet taken up by the presenter
    int busy_ = -1;     // buffer the presenter is showing
    int screenWidth_ = 0;
    int screenHeight_ = 0;
    bool surfaceAsked_ = false;  // the first picture since the window's creation went out
};

}  // namespace

void SdlCall(const std::function<void()>& call) {
    if (auto* backend = dynamic_cast<SdlBackend*>(&CurrentBackend()))
        backend->Call(call);
}

void DisplayLost() {
    static const char message[] = "The connection to the display was lost.\n";
    ssize_t written = write(STDERR_FILENO, message, sizeof message - 1);
    (void)written;
    _exit(1);
}

namespace {

// SDL shows a message box from a child process it forks, which shares the window system's
// connection: a run that ends while a box is up takes the box with it, else the box (and,
// through the shared connection, the game's window) would stay on the screen.
void EndChildProcesses() {
    DIR* proc = opendir("/proc");
    if (!proc)
        return;
    const pid_t self = getpid();
    while (dirent* entry = readdir(proc)) {
        char* end = nullptr;
        long pid = strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        char path[64], stat[512];
        snprintf(path, sizeof path, "/proc/%ld/stat", pid);
        FILE* f = fopen(path, "r");
        if (!f)
            continue;
        size_t n = fread(stat, 1, sizeof stat - 1, f);
        fclose(f);
        stat[n] = '\0';
        // "pid (name) state ppid ...": the name may hold anything, so parse after its ')'.
        const char* close = strrchr(stat, ')');
        int parent = 0;
        if (close && sscanf(close + 1, " %*c %d", &parent) == 1 && parent == self)
            kill(static_cast<pid_t>(pid), SIGKILL);
    }
    closedir(proc);
}

}  // namespace

void EndOnTerminationSignals() {
    static bool started = false;
    if (started)
        return;
    started = true;
    // Signals ignored when the process started (a background job of a script) stay ignored.
    sigset_t signals;
    sigemptyset(&signals);
    for (int sig : {SIGTERM, SIGINT}) {
        struct sigaction current {};
        if (sigaction(sig, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
            sigaddset(&signals, sig);
    }
    // Blocked here, in the first thread, before any other exists: every later thread
    // inherits the mask, so only the watcher below ever takes these signals.
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread([signals] {
        int sig = 0;
        while (sigwait(&signals, &sig) != 0) {
        }
        // Whatever the program's thread is doing (drawing, sleeping for a message, inside
        // a modal box or still starting), the run ends now. The streams are flushed first
        // (their locks make that safe against a write in progress); no exit handler runs,
        // since they would call into SDL from this thread.
        fflush(nullptr);
        EndChildProcesses();
        _exit(128 + sig);
    }).detach();
}

void UseSdlBackend() {
    InstallBackend(std::make_unique<SdlBackend>());
}

}  // namespace platform
