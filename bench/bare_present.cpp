// The bare presentation loop: a borderless window covering the screen that presents one
// 640 x 480 rectangle per turn exactly as the platform's SDL backend does (software window
// surface, 5-6-5 pixels converted into it, SDL_UpdateWindowSurfaceRects), with nothing else
// to draw. Runs for the given seconds (default 5) after a one-second warm-up and prints
// "<frames> <seconds>".
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/backend.h"
#include "platform/soft/ddraw/pixels.h"

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "bare_present: %s\n", SDL_GetError());
        return 1;
    }
    SDL_DisplayMode mode{};
    SDL_GetDesktopDisplayMode(0, &mode);
    SDL_Window* window = SDL_CreateWindow("Bare Present", 0, 0, mode.w, mode.h,
                                          SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
    if (!window) {
        std::fprintf(stderr, "bare_present: %s\n", SDL_GetError());
        return 1;
    }
    SDL_ShowWindow(window);
    SDL_RaiseWindow(window);
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (!surface || surface->w < 640 || surface->h < 480) {
        std::fprintf(stderr, "bare_present: no window surface of 640 x 480\n");
        return 1;
    }
    std::vector<uint16_t> back(640 * 480, 0x1234);
    const platform::PixelView view{back.data(), 640 * 2, 640, 480, platform::PixelKind::RGB565};
    const Uint64 frequency = SDL_GetPerformanceFrequency();
    const Uint64 start = SDL_GetPerformanceCounter();
    Uint64 measureFrom = 0;
    long frames = 0;
    for (;;) {
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
        }
        const bool locked = SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) == 0;
        if (surface->format->format == SDL_PIXELFORMAT_RGB888 ||
            surface->format->format == SDL_PIXELFORMAT_ARGB8888)
            platform::ConvertToXRGB8888(view, static_cast<uint32_t*>(surface->pixels),
                                        surface->pitch);
        else
            SDL_ConvertPixels(640, 480, SDL_PIXELFORMAT_RGB565, back.data(), 640 * 2,
                              surface->format->format, surface->pixels, surface->pitch);
        if (locked)
            SDL_UnlockSurface(surface);
        SDL_Rect rect{0, 0, 640, 480};
        SDL_UpdateWindowSurfaceRects(window, &rect, 1);
        const Uint64 now = SDL_GetPerformanceCounter();
        const double elapsed = static_cast<double>(now - start) / static_cast<double>(frequency);
        if (measureFrom == 0) {
            if (elapsed >= 1.0)
                measureFrom = now;
            continue;
        }
        ++frames;
        const double measured =
            static_cast<double>(now - measureFrom) / static_cast<double>(frequency);
        if (measured >= seconds) {
            std::printf("%ld %.3f\n", frames, measured);
            break;
        }
    }
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
