// The blitter beside SDL2 and the C library: colour fill, copy, 5-6-5 to XRGB8888
// conversion and colour-keyed blits of the sprite shapes the application draws. Our side goes
// through IDirectDrawSurface4::Blt as the application calls it. After the run a summary
// prints each ratio next to its target.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/soft/ddraw/blit.h"
#include "platform/ddraw.h"
#include "platform/gdi.h"
#include "support/instructions.h"

namespace {

constexpr int kScreenW = 640;
constexpr int kScreenH = 480;
constexpr uint16_t kKey = 0xF81F;  // magenta, the application's transparent colour

struct Shape {
    const char* name;
    int width, height;
    IDirectDrawSurface4* surface = nullptr;
    SDL_Surface* sdl = nullptr;     // colour key, no RLE
    SDL_Surface* sdlRle = nullptr;  // colour key with SDL_RLEACCEL
};

struct World {
    IDirectDraw* dd = nullptr;
    IDirectDraw4* dd4 = nullptr;
    IDirectDrawSurface4* back = nullptr;
    IDirectDrawSurface4* picture = nullptr;  // a full-screen source for copies
    SDL_Surface* sdlBack = nullptr;
    SDL_Surface* sdlPicture = nullptr;
    SDL_Surface* sdlXrgb = nullptr;
    std::vector<uint32_t> xrgb = std::vector<uint32_t>(kScreenW * kScreenH);
    std::vector<uint8_t> plainA = std::vector<uint8_t>(kScreenW * kScreenH * 2);
    std::vector<uint8_t> plainB = std::vector<uint8_t>(kScreenW * kScreenH * 2);
    Shape stripes{"stripes 100x10", 100, 10};
    Shape sparse{"sparse 64x64", 64, 64};
    Shape text{"text 49x11", 49, 11};
    Shape full{"sprite 640x480", 640, 480};
};

IDirectDrawSurface4* MakeSurface(IDirectDraw4* dd4, int w, int h) {
    DDSURFACEDESC2 d{};
    d.dwSize = kSurfaceDescSize;
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    d.dwWidth = static_cast<DWORD>(w);
    d.dwHeight = static_cast<DWORD>(h);
    d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    IDirectDrawSurface4* s = nullptr;
    if (dd4->CreateSurface(&d, &s, nullptr) != DD_OK)
        std::abort();
    return s;
}

// Sprite pixels are written and read through Lock, as an application would: direct buffer
// access would stop the surface from caching its opaque runs.
struct Locked {
    IDirectDrawSurface4* surface;
    DDSURFACEDESC2 desc{};
    explicit Locked(IDirectDrawSurface4* s) : surface(s) {
        desc.dwSize = kSurfaceDescSize;
        if (s->Lock(nullptr, &desc, 0, nullptr) != DD_OK)
            std::abort();
    }
    ~Locked() { surface->Unlock(nullptr); }
    uint16_t* Row(int y) const {
        return reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(desc.lpSurface) + y * desc.lPitch);
    }
};

SDL_Surface* SdlCopy(IDirectDrawSurface4* from) {
    Locked l(from);
    const int w = static_cast<int>(l.desc.dwWidth), h = static_cast<int>(l.desc.dwHeight);
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, w, h, 16, SDL_PIXELFORMAT_RGB565);
    for (int y = 0; y < h; ++y)
        std::memcpy(static_cast<uint8_t*>(s->pixels) + y * s->pitch, l.Row(y),
                    static_cast<size_t>(w) * 2);
    return s;
}

template <typename F>
void Paint(IDirectDrawSurface4* s, F pixel) {
    Locked l(s);
    for (int y = 0; y < static_cast<int>(l.desc.dwHeight); ++y)
        for (int x = 0; x < static_cast<int>(l.desc.dwWidth); ++x)
            l.Row(y)[x] = pixel(x, y);
}

void Finish(Shape& shape) {
    DDCOLORKEY key{kKey, kKey};
    shape.surface->SetColorKey(DDCKEY_SRCBLT, &key);
    shape.sdl = SdlCopy(shape.surface);
    SDL_SetColorKey(shape.sdl, SDL_TRUE, kKey);
    shape.sdlRle = SdlCopy(shape.surface);
    SDL_SetColorKey(shape.sdlRle, SDL_TRUE, kKey);
    SDL_SetSurfaceRLE(shape.sdlRle, 1);
}

World& TheWorld() {
    static World* w = [] {
        World* world = new World;
        platform::MachineProfile p = platform::ProductionProfile();
        platform::InstallProfile(p);
        DirectDrawCreate(nullptr, &world->dd, nullptr);
        world->dd->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&world->dd4));
        world->back = MakeSurface(world->dd4, kScreenW, kScreenH);
        world->picture = MakeSurface(world->dd4, kScreenW, kScreenH);
        Paint(world->picture, [](int x, int y) { return static_cast<uint16_t>(x * 37 + y * 101); });

        world->stripes.surface = MakeSurface(world->dd4, 100, 10);
        Paint(world->stripes.surface,
              [](int x, int) { return static_cast<uint16_t>(x % 2 ? 0x07E0 : kKey); });

        // A crosshair: two bars and a ring, the rest transparent.
        world->sparse.surface = MakeSurface(world->dd4, 64, 64);
        Paint(world->sparse.surface, [](int x, int y) {
            const double r = std::hypot(x - 31.5, y - 31.5);
            const bool ink = x == 31 || x == 32 || y == 31 || y == 32 || (r > 20 && r < 22.5);
            return static_cast<uint16_t>(ink ? 0xFFE0 : kKey);
        });

        // Text over a transparent background, drawn with the platform's own font.
        world->text.surface = MakeSurface(world->dd4, 49, 11);
        Paint(world->text.surface, [](int, int) { return kKey; });
        HDC dc = nullptr;
        world->text.surface->GetDC(&dc);
        SetBkColor(dc, RGB(255, 0, 255));
        SetTextColor(dc, RGB(255, 255, 255));
        TextOutA(dc, 0, -2, "TESTING", 7);
        world->text.surface->ReleaseDC(dc);

        // Round shapes across the whole screen, about half of it transparent.
        world->full.surface = MakeSurface(world->dd4, kScreenW, kScreenH);
        Paint(world->full.surface, [](int x, int y) {
            const double r = std::hypot((x % 160) - 80.0, (y % 120) - 60.0);
            return static_cast<uint16_t>(r < 52 ? (x * 3 + y) & 0x07FF : kKey);
        });
        for (Shape* s : {&world->stripes, &world->sparse, &world->text, &world->full})
            Finish(*s);

        world->sdlBack = SdlCopy(world->back);
        world->sdlPicture = SdlCopy(world->picture);
        world->sdlXrgb =
            SDL_CreateRGBSurfaceWithFormat(0, kScreenW, kScreenH, 32, SDL_PIXELFORMAT_RGB888);
        return world;
    }();
    return *w;
}

// ---- Fill and copy ------------------------------------------------------------------------

void FillOurs(benchmark::State& state) {
    World& w = TheWorld();
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwFillColor = 0x1234;
    // Two colours in turn: a surface skips a fill with the colour its pixels already hold.
    auto fill = [&] {
        fx.dwFillColor ^= 0x0101;
        w.back->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
    };
    for (auto _ : state)
        fill();
    bench::CountInstructions("fill/ours", fill);
    state.SetBytesProcessed(state.iterations() * kScreenW * kScreenH * 2);
}

void FillMemset(benchmark::State& state) {
    World& w = TheWorld();
    for (auto _ : state) {
        std::memset(w.plainA.data(), 0x12, w.plainA.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kScreenW * kScreenH * 2);
}

void FillSdl(benchmark::State& state) {
    World& w = TheWorld();
    for (auto _ : state)
        SDL_FillRect(w.sdlBack, nullptr, 0x1234);
    state.SetBytesProcessed(state.iterations() * kScreenW * kScreenH * 2);
}

void CopyOurs(benchmark::State& state) {
    World& w = TheWorld();
    auto copy = [&] { w.back->Blt(nullptr, w.picture, nullptr, DDBLT_WAIT, nullptr); };
    for (auto _ : state)
        copy();
    bench::CountInstructions("copy/ours", copy);
    state.SetBytesProcessed(state.iterations() * kScreenW * kScreenH * 2);
}

void CopyMemcpy(benchmark::State& state) {
    World& w = TheWorld();
    for (auto _ : state) {
        std::memcpy(w.plainA.data(), w.plainB.data(), w.plainA.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kScreenW * kScreenH * 2);
}

void CopySdl(benchmark::State& state) {
    World& w = TheWorld();
    for (auto _ : state)
        SDL_BlitSurface(w.sdlPicture, nullptr, w.sdlBack, nullptr);
    state.SetBytesProcessed(state.iterations() * kScreenW * kScreenH * 2);
}

// ---- Presentation's conversion --------------------------------------------------------------

void ConvertOurs(benchmark::State& state) {
    World& w = TheWorld();
    platform::PixelBuffer b;
    platform::GetPixelBuffer(w.picture, &b);
    const platform::PixelView view{b.pixels, b.pitch, b.width, b.height, b.kind};
    for (auto _ : state) {
        platform::ConvertToXRGB8888(view, w.xrgb.data(), kScreenW * 4);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kScreenW * kScreenH);
}

void ConvertSdl(benchmark::State& state) {
    World& w = TheWorld();
    for (auto _ : state)
        SDL_BlitSurface(w.sdlPicture, nullptr, w.sdlXrgb, nullptr);
    state.SetItemsProcessed(state.iterations() * kScreenW * kScreenH);
}

// ---- Colour-keyed sprites --------------------------------------------------------------

Shape& ShapeOf(World& w, int index) {
    Shape* shapes[] = {&w.stripes, &w.sparse, &w.text, &w.full};
    return *shapes[index];
}

void KeyedOurs(benchmark::State& state) {
    World& w = TheWorld();
    Shape& s = ShapeOf(w, static_cast<int>(state.range(0)));
    const int x = s.width == kScreenW ? 0 : 37, y = s.height == kScreenH ? 0 : 21;
    RECT d{x, y, x + s.width, y + s.height};
    auto blit = [&] { w.back->Blt(&d, s.surface, nullptr, DDBLT_WAIT | DDBLT_KEYSRC, nullptr); };
    for (auto _ : state)
        blit();
    bench::CountInstructions("keyed/ours/" + std::to_string(state.range(0)), blit);
    state.SetItemsProcessed(state.iterations() * s.width * s.height);
    state.SetLabel(s.name);
}

void KeyedSdl(benchmark::State& state) {
    World& w = TheWorld();
    Shape& s = ShapeOf(w, static_cast<int>(state.range(0)));
    SDL_Surface* src = state.range(1) ? s.sdlRle : s.sdl;
    const int x = s.width == kScreenW ? 0 : 37, y = s.height == kScreenH ? 0 : 21;
    for (auto _ : state) {
        SDL_Rect d{x, y, s.width, s.height};
        SDL_BlitSurface(src, nullptr, w.sdlBack, &d);
    }
    state.SetItemsProcessed(state.iterations() * s.width * s.height);
    state.SetLabel(s.name);
}

// The fixed cost of one call: a keyed blit of a single pixel.
void KeyedOursOnePixel(benchmark::State& state) {
    World& w = TheWorld();
    RECT d{5, 5, 6, 6};
    RECT s{0, 0, 1, 1};
    for (auto _ : state)
        w.back->Blt(&d, w.sparse.surface, &s, DDBLT_WAIT | DDBLT_KEYSRC, nullptr);
}

BENCHMARK(KeyedOursOnePixel)->Name("keyed/ours_1x1");
BENCHMARK(FillOurs)->Name("fill/ours");
BENCHMARK(FillMemset)->Name("fill/memset");
BENCHMARK(FillSdl)->Name("fill/sdl");
BENCHMARK(CopyOurs)->Name("copy/ours");
BENCHMARK(CopyMemcpy)->Name("copy/memcpy");
BENCHMARK(CopySdl)->Name("copy/sdl");
BENCHMARK(ConvertOurs)->Name("convert/ours");
BENCHMARK(ConvertSdl)->Name("convert/sdl");
BENCHMARK(KeyedOurs)->Name("keyed/ours")->DenseRange(0, 3);
BENCHMARK(KeyedSdl)->Name("keyed/sdl")->ArgsProduct({{0, 1, 2, 3}, {0}});
BENCHMARK(KeyedSdl)->Name("keyed/sdl_rle")->ArgsProduct({{0, 1, 2, 3}, {1}});

// Keeps every run's time per iteration for the summary.
class Collector : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ns;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.error_occurred == false)
                ns[r.benchmark_name()] = r.GetAdjustedCPUTime();  // all in one unit
        ConsoleReporter::ReportRuns(runs);
    }
};

void Line(const char* what, double ratio, const char* target, bool ok) {
    std::printf("  %-46s %7.2fx   target %-8s %s\n", what, ratio, target, ok ? "met" : "MISSED");
}

void Summary(const std::map<std::string, double>& t) {
    auto get = [&](const std::string& n) {
        auto it = t.find(n);
        return it == t.end() ? 0.0 : it->second;
    };
    auto present = [&](const std::string& n) { return t.count(n) != 0; };
    std::printf(
        "\nSummary (CPU-time ratios from this run; blitter path %s)\n",
        platform::blit::ActiveIsa() == platform::blit::Isa::AVX2
            ? "AVX2"
            : (platform::blit::ActiveIsa() == platform::blit::Isa::SSE2 ? "SSE2" : "scalar"));
    if (present("fill/ours") && present("fill/memset")) {
        const double r = get("fill/ours") / get("fill/memset");
        Line("640x480 fill, time / memset", r, "<= 1.2", r <= 1.2);
    }
    if (present("copy/ours") && present("copy/memcpy")) {
        const double r = get("copy/ours") / get("copy/memcpy");
        Line("640x480 copy, time / memcpy", r, "<= 1.2", r <= 1.2);
    }
    if (present("fill/ours") && present("fill/sdl"))
        Line("640x480 fill, speed-up over SDL_FillRect", get("fill/sdl") / get("fill/ours"), "-",
             true);
    if (present("copy/ours") && present("copy/sdl"))
        Line("640x480 copy, speed-up over SDL_BlitSurface", get("copy/sdl") / get("copy/ours"), "-",
             true);
    if (present("convert/ours") && present("convert/sdl")) {
        const double r = get("convert/sdl") / get("convert/ours");
        Line("5-6-5 to XRGB8888, speed-up over SDL", r, ">= 3", r >= 3);
    }
    const char* names[] = {"stripes 100x10", "sparse 64x64", "text 49x11", "sprite 640x480"};
    for (int i = 0; i < 4; ++i) {
        const std::string ours = "keyed/ours/" + std::to_string(i);
        const std::string sdl = "keyed/sdl/" + std::to_string(i) + "/0";
        const std::string rle = "keyed/sdl_rle/" + std::to_string(i) + "/1";
        if (!present(ours))
            continue;
        char what[80];
        if (present(sdl)) {
            const double r = get(sdl) / get(ours);
            std::snprintf(what, sizeof what, "keyed %s, speed-up over SDL", names[i]);
            Line(what, r, ">= 4", r >= 4);
        }
        if (present(rle)) {
            // The whole-screen sprite moves as many bytes as SDL's RLE blit does, at the
            // store bandwidth: parity is its target.
            const double r = get(rle) / get(ours);
            const double target = i == 3 ? 0.95 : 1.5;
            std::snprintf(what, sizeof what, "keyed %s, speed-up over SDL RLE", names[i]);
            Line(what, r, i == 3 ? ">= 0.95" : ">= 1.5", r >= target);
        }
    }
    if (present("keyed/ours/3") && present("copy/memcpy")) {
        const double r = get("copy/memcpy") / get("keyed/ours/3");
        Line("keyed 640x480, throughput / memcpy", r, ">= 0.7", r >= 0.7);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();
    Summary(collector.ns);
    return 0;
}
