// The frame-rate cap measured: a small game's frame (a lit mesh and a sprite, composed and
// presented by PresentFrame) run for a while under SetFrameRateCap, timed by the wall clock
// (std::chrono::steady_clock, independent of the performance counter the cap reads) and by
// the process's CPU time (a cap that sleeps leaves the processor mostly idle; one that spins
// would use it all).
//
//   frame_pacing [frames-per-second [seconds [--sdl]]]   (defaults: 60, 10, headless)
//
// Prints the rate reached, its error against the cap, the spread of FrameSeconds and the
// share of one processor the run used. Run it from a folder holding gem.xxx and ring.bmp
// (examples/sprite_demo).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "directx/game.h"

namespace {

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned cap = argc > 1 ? static_cast<unsigned>(atoi(argv[1])) : 60;
    const double seconds = argc > 2 ? atof(argv[2]) : 10.0;
    if (argc > 3 && strcmp(argv[3], "--sdl") == 0)
        platform::UseSdlBackend();
    else
        platform::UseHeadlessBackend(800, 600);

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = Proc;
    windowClass.lpszClassName = "Frame Pacing";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "Frame Pacing", "Frame Pacing", WS_POPUP | WS_VISIBLE, 0, 0,
                                  640, 480, nullptr, nullptr, nullptr, nullptr);
    if (!window || !OpenGame(window, 640, 480)) {
        fprintf(stderr, "frame_pacing: no display\n");
        return 1;
    }
    Object3D* gem = LoadObject("gem.xxx", 0.0f, 0.0f, 0.0f);
    Sprite* ring = LoadSpriteFile("ring.bmp", 100, 300, 0);
    if (!gem || !ring) {
        fprintf(stderr, "frame_pacing: %s\n", LastLoadError());
        return 1;
    }
    Object3D camera(nullptr, 0.0f, 0.0f, 200.0f);
    camera.target = gem;
    SetFrameRateCap(cap);

    // A second of frames first, so that start-up is not measured.
    const size_t frames = static_cast<size_t>(seconds * cap);
    std::vector<double> frameSeconds;
    frameSeconds.reserve(frames);
    auto run = [&](size_t count, bool keep) {
        MSG msg;
        for (size_t i = 0; i < count; ++i) {
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
            gem->yaw = (gem->yaw + 1) % 360;
            ring->AddToDisplayList(0);
            PresentFrame(&camera, &gem, 1);
            if (keep)
                frameSeconds.push_back(FrameSeconds());
        }
    };
    run(cap, false);
    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = CpuSeconds();
    run(frames, true);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const double cpu = CpuSeconds() - cpuStart;

    const double rate = static_cast<double>(frames) / wall;
    double mean = 0.0;
    for (double s : frameSeconds)
        mean += s;
    mean /= static_cast<double>(frameSeconds.size());
    double variance = 0.0;
    for (double s : frameSeconds)
        variance += (s - mean) * (s - mean);
    const auto [low, high] = std::minmax_element(frameSeconds.begin(), frameSeconds.end());
    printf("cap %u fps, %zu frames in %.3f s: %.2f fps (%+.2f %%)\n", cap, frames, wall, rate,
           (rate / cap - 1.0) * 100.0);
    printf("FrameSeconds: mean %.3f ms, min %.3f ms, max %.3f ms, deviation %.3f ms\n", mean * 1e3,
           *low * 1e3, *high * 1e3,
           std::sqrt(variance / static_cast<double>(frameSeconds.size())) * 1e3);
    printf("CPU: %.3f s of %.3f s (%.1f %% of one processor)\n", cpu, wall, cpu / wall * 100.0);

    delete ring;
    delete gem;
    CloseGame();
    return 0;
}
