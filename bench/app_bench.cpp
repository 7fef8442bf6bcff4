// The application's own frame work on the headless window system, beside the memory floor
// of a frame: Render3DFrame with the ship, a whole AppFrame, and two memsets and one memcpy
// of one 640 x 480 16-bit buffer (the least a frame that clears, composes and copies out can
// cost).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "app/frame.h"
#include "directx/display.h"
#include "platform/ddraw.h"
#include "support/instructions.h"
#include "support/scenes.h"

namespace {

void BM_AppRender3DShip(benchmark::State& state) {
    if (!bench::StartApplication()) {
        state.SkipWithError("the application did not start");
        return;
    }
    for (auto _ : state) {
        Render3DFrame();
        benchmark::ClobberMemory();
    }
    bench::CountInstructions("app/render3d_ship", [] { Render3DFrame(); });
    // Pixels that are not black: the frame really drew the ship.
    platform::PixelBuffer b{};
    platform::GetPixelBuffer(DisplayContext.backBuffer, &b);
    size_t drawn = 0;
    for (int y = 0; y < b.height; ++y) {
        const auto* row =
            reinterpret_cast<const uint16_t*>(static_cast<const uint8_t*>(b.pixels) + y * b.pitch);
        for (int x = 0; x < b.width; ++x)
            drawn += row[x] != 0;
    }
    state.counters["pixels"] = static_cast<double>(drawn);
}

void BM_AppFrame(benchmark::State& state) {
    if (!bench::StartApplication()) {
        state.SkipWithError("the application did not start");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(AppFrame());
    bench::CountInstructions("app/frame", [] { AppFrame(); });
}

void BM_FrameMemoryFloor(benchmark::State& state) {
    const size_t bytes = 640 * 480 * 2;
    std::vector<uint8_t> back(bytes, 1), screen(bytes, 2);
    for (auto _ : state) {
        std::memset(back.data(), 0, bytes);              // the scene's clear
        std::memcpy(screen.data(), back.data(), bytes);  // out to the screen
        std::memset(back.data(), 0, bytes);              // the clear for the next frame
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_AppRender3DShip)->Name("app/render3d_ship")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AppFrame)->Name("app/frame")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameMemoryFloor)->Name("floor/frame")->Unit(benchmark::kMicrosecond);

}  // namespace
