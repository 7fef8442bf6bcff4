// The SDL2 backend: a real borderless window, keyboard and focus events turned into window
// messages, modal message boxes, and presentation of screen rectangles into the window's
// surface (software, no renderer).
#include <SDL.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/backend.h"
#include "platform/soft/pixels.h"
#include "platform/soft/window_internal.h"

namespace platform {
namespace {

// Xlib ends the process with exit() when its connection to the server breaks; the exit
// handlers (SDL's shutdown among them) then call into the broken connection again and never
// return, leaving a process that spins for ever. SDL's X11 driver has Xlib loaded already:
// its connection-loss hook is taken from there, so the platform does not link Xlib itself.
void CatchLostX11Connection() {
    void* xlib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (!xlib)
        return;
    using IOErrorHandler = int (*)(void* display);
    using SetIOErrorHandler = IOErrorHandler (*)(IOErrorHandler);
    if (auto set = reinterpret_cast<SetIOErrorHandler>(dlsym(xlib, "XSetIOErrorHandler")))
        set([](void*) -> int { DisplayLost(); });
    dlclose(xlib);  // drops only the reference taken above; SDL keeps Xlib loaded
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

class SdlBackend : public Backend {
public:
    ~SdlBackend() override {
        if (window_)
            SDL_DestroyWindow(window_);
        if (opened_)
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    bool Open(std::string* why) override {
        // SDL would fall back to its invisible offscreen driver; a window nobody can see is
        // no display. Its own drivers stay available when asked for by SDL_VIDEODRIVER.
        const char* driver = getenv("SDL_VIDEODRIVER");
        bool explicitDriver = driver != nullptr && *driver != '\0';
        if (!explicitDriver && !getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY")) {
            if (why)
                *why = "neither DISPLAY nor WAYLAND_DISPLAY is set";
            return false;
        }
        if (SDL_Init(SDL_INIT_VIDEO) != 0) {
            if (why)
                *why = SDL_GetError();
            return false;
        }
        opened_ = true;
        // The backend lives until the process ends; SDL is shut down then, which gives
        // the display back in order and frees what SDL's helpers hold.
        static bool quitRegistered = false;
        if (!quitRegistered) {
            quitRegistered = true;
            atexit(SDL_Quit);
        }
        const char* current = SDL_GetCurrentVideoDriver();
        if (current && strcmp(current, "x11") == 0)
            CatchLostX11Connection();
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

    void ScreenSize(int* width, int* height) override {
        *width = screenWidth_;
        *height = screenHeight_;
    }

    bool CreateWindow(const char* title, int x, int y, int width, int height) override {
        if (window_)
            return false;
        window_ =
            SDL_CreateWindow(title, x, y, width, height, SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
        if (!window_)
            return false;
        windowX_ = x;
        windowY_ = y;
        surface_ = nullptr;
        return true;
    }

    void ShowWindow(bool show) override {
        if (!window_)
            return;
        if (show) {
            SDL_ShowWindow(window_);
            SDL_RaiseWindow(window_);
        } else {
            SDL_HideWindow(window_);
        }
    }

    void DestroyWindow() override {
        if (window_)
            SDL_DestroyWindow(window_);
        window_ = nullptr;
        surface_ = nullptr;
    }

    void ShowCursor(bool show) override { SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE); }

    void PumpEvents(const PostFn& post) override {
        SDL_Event e;
        while (SDL_PollEvent(&e))
            Translate(e, post);
    }

    void WaitEvent() override {
        // Leaves the event queued: the next pump takes it.
        SDL_WaitEvent(nullptr);
    }

    void Present(const PixelView& src, int x, int y) override {
        if (!window_)
            return;
        if (!surface_) {
            // Software presentation: the window surface is plain memory, no GL context.
            SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
            surface_ = SDL_GetWindowSurface(window_);
            if (!surface_)
                return;
        }
        // Screen coordinates into the window, clipped to the surface.
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
        if (left + width > surface_->w)
            width = surface_->w - left;
        if (top + height > surface_->h)
            height = surface_->h - top;
        if (width <= 0 || height <= 0)
            return;
        PixelView part = src;
        part.pixels = static_cast<const uint8_t*>(src.pixels) +
                      static_cast<ptrdiff_t>(srcY) * src.pitch + srcX * BytesPerPixel(src.kind);
        part.width = width;
        part.height = height;
        bool locked = SDL_MUSTLOCK(surface_) && SDL_LockSurface(surface_) == 0;
        uint8_t* dst = static_cast<uint8_t*>(surface_->pixels) +
                       static_cast<ptrdiff_t>(top) * surface_->pitch + left * 4;
        if (surface_->format->format == SDL_PIXELFORMAT_RGB888 ||
            surface_->format->format == SDL_PIXELFORMAT_ARGB8888) {
            ConvertToXRGB8888(part, reinterpret_cast<uint32_t*>(dst), surface_->pitch);
        } else {
            Uint32 srcFormat = SDL_PIXELFORMAT_RGB565;
            switch (src.kind) {
                case PixelKind::RGB555:
                    srcFormat = SDL_PIXELFORMAT_RGB555;
                    break;
                case PixelKind::RGB565:
                    srcFormat = SDL_PIXELFORMAT_RGB565;
                    break;
                case PixelKind::XRGB8888:
                    srcFormat = SDL_PIXELFORMAT_RGB888;
                    break;
                case PixelKind::Pal8:
                    srcFormat = SDL_PIXELFORMAT_INDEX8;
                    break;
            }
            dst = static_cast<uint8_t*>(surface_->pixels) +
                  static_cast<ptrdiff_t>(top) * surface_->pitch +
                  left * surface_->format->BytesPerPixel;
            SDL_ConvertPixels(width, height, srcFormat, part.pixels, part.pitch,
                              surface_->format->format, dst, surface_->pitch);
        }
        if (locked)
            SDL_UnlockSurface(surface_);
        SDL_Rect rect{left, top, width, height};
        SDL_UpdateWindowSurfaceRects(window_, &rect, 1);
    }

    bool MessageBox(const char* text, const char* caption) override {
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
            default:
                break;
        }
    }

    bool opened_ = false;
    int screenWidth_ = 0;
    int screenHeight_ = 0;
    SDL_Window* window_ = nullptr;
    SDL_Surface* surface_ = nullptr;
    int windowX_ = 0;
    int windowY_ = 0;
};

}  // namespace

void DisplayLost() {
    static const char message[] = "The connection to the display was lost.\n";
    ssize_t written = write(STDERR_FILENO, message, sizeof message - 1);
    (void)written;
    _exit(1);
}

void UseSdlBackend() {
    InstallBackend(std::make_unique<SdlBackend>());
}

}  // namespace platform
