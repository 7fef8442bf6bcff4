// SDL itself, on the thread that owns its video: opening it, the borderless window, events,
// presentation of pictures into the window's surface (software, no renderer) and message
// boxes.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/sdl/sdl_internal.h"
#include "platform/soft/ddraw/pixels.h"

namespace platform::sdl {

namespace {

// A display connection takes descriptors (SDL's x11 driver opens the display twice): when
// opening it failed with fewer than that free, the limit is the cause, not a missing display.
bool FewDescriptors(std::string* why) {
    constexpr int kNeeded = 4;
    int probes[kNeeded], free = 0;
    while (free < kNeeded && (probes[free] = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0)
        ++free;
    const bool exhausted = free < kNeeded && (errno == EMFILE || errno == ENFILE);
    const int error = errno;
    for (int i = 0; i < free; ++i)
        close(probes[i]);
    if (!exhausted)
        return false;
    struct rlimit limit {};
    getrlimit(RLIMIT_NOFILE, &limit);
    char text[160];
    if (error == ENFILE)
        snprintf(text, sizeof text, "the system's open files are used up (%s)", strerror(error));
    else
        snprintf(text, sizeof text,
                 "too few file descriptors are free (%d of the limit of %llu; a display "
                 "connection needs more)",
                 free, static_cast<unsigned long long>(limit.rlim_cur));
    *why = text;
    return true;
}

}  // namespace

void SdlVideo::Close() {
    if (!window_ && !opened_)
        return;
    OnOwnerThread("Close");
    if (window_)
        DestroyWindow();
    if (opened_) {
        SDL_SetEventFilter(nullptr, nullptr);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    opened_ = false;
}

bool SdlVideo::Open(std::string* why) {
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
        if (why && !FewDescriptors(why))
            *why = SDL_GetError();
        return false;
    }
    opened_ = true;
    SDL_StartTextInput();  // key-downs bring the text they produce
    SDL_SetEventFilter(&SdlVideo::Filter, this);
    const char* current = SDL_GetCurrentVideoDriver();
    if (current && strcmp(current, "x11") == 0)
        WatchX11();
    if (!explicitDriver && current &&
        (strcmp(current, "offscreen") == 0 || strcmp(current, "dummy") == 0)) {
        if (why && !FewDescriptors(why))
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

bool SdlVideo::CreateWindow(const char* title, int x, int y, int width, int height) {
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
        window_ =
            SDL_CreateWindow(title, x, y, width, height, SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
        if (!window_)
            return false;
        ReadX11Window();
    }
    windowGone.store(false);
    goneReported_ = false;
    return true;
}

void SdlVideo::ShowWindow(bool show) {
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

void SdlVideo::DestroyWindow() {
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

void SdlVideo::ShowCursor(bool show) {
    OnOwnerThread("ShowCursor");
    SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

void SdlVideo::PumpEvents() {
    OnOwnerThread("PumpEvents");
    SDL_PumpEvents();
    SDL_Event e;
    while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1)
        Translate(e);  // pushed from other threads
    const PostFn& post = post_;
    FlushKey(post);
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

void SdlVideo::Present(const PixelView& src, int x, int y, bool refuseSurface) {
    OnOwnerThread("Present");
    if (!window_ || windowGone.load() || cannotPresent_)
        return;
    if (surfaceStale_.exchange(false))
        surface_ = nullptr;
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
        std::string refused;
        directColor_ = PrepareDirectColor(&refused);
        if (!refused.empty()) {
            surface_ = nullptr;
            CannotPresent(refused.c_str());
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
            if (directColor_)
                ApplyRamps(dst, surface_->pitch, width, height);
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

namespace {

// SDL shows a message box from a child process it forks. A child forked while a box is
// being shown ends when the thread that forked it (this one, which lives as long as the
// process) ends, whatever ends the process: no box outlives the game. A parent already gone
// by then is seen at once.
std::atomic<pid_t> boxParent{0};

void EndWithParent() {
    const pid_t parent = boxParent.load();
    if (parent == 0)
        return;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(1);
}

}  // namespace

bool SdlVideo::MessageBox(const char* text, const char* caption) {
    OnOwnerThread("MessageBox");
    static const bool watched = pthread_atfork(nullptr, nullptr, EndWithParent) == 0;
    (void)watched;
    // Modal: returns when the user dismisses it (Return or Escape, or the button). Line
    // ends are shown as plain line feeds: a carriage return would print as a glyph.
    std::string lines;
    for (const char* p = text; *p; ++p)
        if (*p != '\r')
            lines += *p;
    boxParent.store(getpid());
    const bool shown =
        SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, caption, lines.c_str(), nullptr) == 0;
    boxParent.store(0);
    return shown;
}

void SdlVideo::OnOwnerThread(const char* what) const {
    if (adopted_ && pthread_equal(owner_, pthread_self()))
        return;
    fprintf(stderr, "Game Library: SDL's video used from a thread that does not own it (%s)\n",
            what);
    abort();
}

Uint32 SdlVideo::SdlFormat(PixelKind kind) {
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

void SdlVideo::CannotPresent(const char* why) {
    cannotPresent_ = true;
    fprintf(stderr, "Game Library: the window cannot show the picture: %s\n",
            why && *why ? why : "unknown reason");
}

void SdlVideo::ReadX11Window() {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window_, &info) && info.subsystem == SDL_SYSWM_X11) {
        display_ = info.info.x11.display;
        watchedWindow.store(info.info.x11.window);
    }
}

}  // namespace platform::sdl
