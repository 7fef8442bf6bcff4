// The X-specific parts of the SDL backend: Xlib's entry points loaded beside SDL, the watch
// on the game's X window (destroyed by another client, errors, the lost connection) and the
// colour map that makes the picture right on an 8-bit palettised screen.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/sdl/sdl_internal.h"
#include "platform/soft/ddraw/pixels.h"

namespace platform {
namespace sdl {

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

std::atomic<unsigned long> watchedWindow{0};
std::atomic<bool> windowGone{false};

namespace {

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

}  // namespace

void CatchXErrors() {
    static bool installed = false;
    const Xlib& xlib = LoadedXlib();
    if (installed || !xlib.setErrorHandler)
        return;
    installed = true;
    previousErrorHandler = xlib.setErrorHandler(OnXError);
    // The connection can break while SDL is still opening the display.
    if (xlib.setIOErrorHandler)
        xlib.setIOErrorHandler([](Display*) -> int { DisplayLost(); });
}

void WatchX11() {
    // Every X event also comes as an SDL_SYSWMEVENT: SDL says nothing of a window destroyed
    // by another client, its DestroyNotify does.
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
}

Visual* SdlVideo::PalettisedDefaultVisual() {
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

bool SdlVideo::PrepareIndexed() {
    const Xlib& xlib = LoadedXlib();
    if (!xlib.allocColor || !xlib.defaultColormap || !xlib.defaultScreen || !xlib.setWindowColormap)
        return false;
    Display* display = display_;
    Colormap colormap = xlib.defaultColormap(display, xlib.defaultScreen(display));
    PaletteColour entries[256];
    int count = 0;
    auto allocate = [&](int r, int g, int b) {
        XColor c{};
        c.red = static_cast<unsigned short>(r * 257);
        c.green = static_cast<unsigned short>(g * 257);
        c.blue = static_cast<unsigned short>(b * 257);
        c.flags = DoRed | DoGreen | DoBlue;
        if (count < 256 && xlib.allocColor(display, colormap, &c) && c.pixel < 256)
            entries[count++] =
                PaletteColour{c.red >> 8, c.green >> 8, c.blue >> 8, static_cast<uint8_t>(c.pixel)};
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
    BuildIndexTable(entries, count, toIndex_.get());
    return true;
}

void BuildIndexTable(const PaletteColour* colours, int count, uint8_t* table) {
    for (uint32_t v = 0; v < 65536; ++v) {
        uint8_t r, g, b;
        UnpackRGB(PixelKind::RGB565, v, &r, &g, &b);
        int best = 0, bestDistance = 1 << 30;
        for (int i = 0; i < count; ++i) {
            int dr = colours[i].r - r, dg = colours[i].g - g, db = colours[i].b - b;
            int distance = dr * dr + dg * dg + db * db;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = i;
            }
        }
        table[v] = colours[best].pixel;
    }
}

void SdlVideo::ConvertToIndexed(const PixelView& src, uint8_t* dst, int dstPitch) const {
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

bool SdlVideo::PrepareDirectColor(std::string* refused) {
    const Xlib& xlib = LoadedXlib();
    if (!display_ || !xlib.defaultScreen || !xlib.defaultVisual)
        return false;
    const int screen = xlib.defaultScreen(display_);
    const Visual* visual = xlib.defaultVisual(display_, screen);
    if (!visual || visual->c_class != DirectColor)
        return false;
    XWindowAttributes attributes{};
    if (surface_->format->format != SDL_PIXELFORMAT_RGB888 || visual->red_mask != 0xFF0000 ||
        visual->green_mask != 0xFF00 || visual->blue_mask != 0xFF || !xlib.getWindowAttributes ||
        !xlib.getWindowAttributes(display_, watchedWindow.load(), &attributes) ||
        attributes.visual != visual || !xlib.allocColor || !xlib.defaultColormap ||
        !xlib.setWindowColormap) {
        *refused = "the window's DirectColor visual is not one whose colours can be set up";
        return false;
    }
    const Colormap colormap = xlib.defaultColormap(display_, screen);
    // Per channel: the allocated values (8-bit) and their cells, then nearest value -> cell.
    int value[3][256], cell[3][256], count = 0;
    for (int level = 0; level < 256; ++level) {
        XColor c{};
        c.red = c.green = c.blue = static_cast<unsigned short>(level * 257);
        c.flags = DoRed | DoGreen | DoBlue;
        if (!xlib.allocColor(display_, colormap, &c))
            continue;
        const unsigned short got[3] = {c.red, c.green, c.blue};
        for (int k = 0; k < 3; ++k) {
            value[k][count] = got[k] >> 8;
            cell[k][count] = static_cast<int>((c.pixel >> (16 - 8 * k)) & 0xFF);
        }
        ++count;
    }
    if (count == 0) {
        *refused = "no colour ramp can be set up on the DirectColor screen";
        return false;
    }
    for (int k = 0; k < 3; ++k)
        for (int v = 0; v < 256; ++v) {
            int best = 0;
            for (int i = 1; i < count; ++i)
                if (abs(value[k][i] - v) < abs(value[k][best] - v))
                    best = i;
            toCell_[k][v] = static_cast<uint8_t>(cell[k][best]);
        }
    xlib.setWindowColormap(display_, watchedWindow.load(), colormap);
    return true;
}

void SdlVideo::ApplyRamps(uint8_t* dst, int dstPitch, int width, int height) const {
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(dst + static_cast<ptrdiff_t>(y) * dstPitch);
        for (int x = 0; x < width; ++x) {
            const uint32_t p = row[x];
            row[x] = (static_cast<uint32_t>(toCell_[0][(p >> 16) & 0xFF]) << 16) |
                     (static_cast<uint32_t>(toCell_[1][(p >> 8) & 0xFF]) << 8) |
                     toCell_[2][p & 0xFF];
        }
    }
}

}  // namespace sdl

void DisplayLost() {
    static const char message[] = "The connection to the display was lost.\n";
    ssize_t written = write(STDERR_FILENO, message, sizeof message - 1);
    (void)written;
    _exit(1);
}

}  // namespace platform
