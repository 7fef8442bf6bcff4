// The application run for many frames headless: no heap allocation in any frame and a
// resident set that stays flat. 3,000 frames by default; 1,000,000 with GAME_LONG_TESTS=1.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app.h"
#include "app/appstate.h"
#include "platform/backend.h"
#include "support/alloc_counter.h"
#include "support/test_support.h"

namespace {

// Resident pages of this process.
long ResidentPages() {
    long size = 0, resident = -1;
    if (FILE* f = fopen("/proc/self/statm", "r")) {
        if (fscanf(f, "%ld %ld", &size, &resident) != 2)
            resident = -1;
        fclose(f);
    }
    return resident;
}

class Soak : public testing_support::TempDirTest {};

TEST_F(Soak, FramesAllocateNothingAndMemoryStaysFlat) {
    const char* longTests = getenv("GAME_LONG_TESTS");
    const long frames = longTests && strcmp(longTests, "1") == 0 ? 1000000 : 3000;
    const long warmUp = 200;

    platform::UseRealTime();
    auto& backend = platform::UseHeadlessBackend(1024, 768);
    testing_support::WriteFile("ship.xxx",
                               testing_support::ReadFile(GAME_SOURCE_DIR "/assets/ship.xxx"));
    AppState.mainWindow = CreateMainWindow(platform::ModuleInstance(), SW_SHOW);
    ASSERT_NE(AppState.mainWindow, nullptr);
    ASSERT_EQ(AppInit(), 1);

    long residentAtStart = -1, residentPeak = -1, allocations = -1;
    std::chrono::steady_clock::time_point start;
    bool counting = false;
    bool ended = false;
    bool turning = false;
    backend.onPump = [&] {
        const int shown = backend.PresentCount();
        if (!turning && shown == 1) {
            turning = true;
            // Left arrow held for the whole run: the camera turns every frame.
            backend.Script(WM_KEYDOWN, VK_LEFT);
        } else if (!counting && shown >= warmUp) {
            counting = true;
            residentAtStart = residentPeak = ResidentPages();
            start = std::chrono::steady_clock::now();
            testing_support::StartCountingAllocations();
        } else if (counting && !ended) {
            if (shown % 1000 == 0) {
                // Reading the figure opens a file: not counted as the frames' own.
                testing_support::StopCountingAllocations();
                const long resident = ResidentPages();
                if (resident > residentPeak)
                    residentPeak = resident;
                testing_support::ResumeCountingAllocations();
            }
            if (shown >= warmUp + frames) {
                allocations = testing_support::StopCountingAllocations();
                ended = true;
                backend.Script(WM_KEYDOWN, VK_ESCAPE);
            }
        }
    };
    EXPECT_EQ(RunMessageLoop(), 0);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    ASSERT_TRUE(ended);
    EXPECT_EQ(allocations, 0) << "heap allocations in " << frames << " frames";
    ASSERT_GT(residentAtStart, 0);
    // Flat: at most 64 KiB more resident at any check than after the warm-up.
    EXPECT_LE(residentPeak - residentAtStart, 16) << "pages";
    printf(
        "%ld frames in %.1f s (%.0f frames/s), 0 allocations expected, %ld seen; resident "
        "pages %ld after warm-up, %ld at most\n",
        frames, seconds, frames / seconds, allocations, residentAtStart, residentPeak);
}

}  // namespace
