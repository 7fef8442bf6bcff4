// Turns of the message loop, frames included, allocate nothing.
#include <gtest/gtest.h>

#include <vector>

#include "app/app.h"
#include "app/appstate.h"
#include "directx/diag.h"
#include "platform/backend.h"
#include "support/alloc_counter.h"
#include "support/test_support.h"

namespace {

class LoopAllocationTest : public testing_support::TempDirTest {};

TEST_F(LoopAllocationTest, TurnsAndFramesOfTheLoopAllocateNothing) {
    // The counter sees an allocation made through operator new.
    testing_support::StartCountingAllocations();
    std::vector<int>* volatile probe = new std::vector<int>(100);
    long probeCount = testing_support::StopCountingAllocations();
    delete probe;
    ASSERT_GT(probeCount, 0);

    platform::SetClock(1000);
    platform::SetTimeGetTime(50000);
    auto& backend = platform::UseHeadlessBackend(1024, 768);
    testing_support::WriteFile("ship.xxx",
                               testing_support::ReadFile(GAME_SOURCE_DIR "/assets/ship.xxx"));
    AppState.mainWindow = CreateMainWindow(platform::ModuleInstance(), SW_SHOW);
    ASSERT_EQ(AppInit(), 1);
    ASSERT_NE(AppState.mainWindow, nullptr);
    int pumps = 0;
    long counted = -1;
    backend.onPump = [&] {
        ++pumps;
        if (pumps == 20) {
            // Warmed up; from here on one key message every 50 turns, frames in between.
            testing_support::StartCountingAllocations();
        } else if (pumps > 20 && pumps < 1020 && pumps % 50 == 0) {
            testing_support::StopCountingAllocations();  // the test's own script may allocate
            backend.Script(WM_KEYDOWN, VK_LEFT);
            backend.Script(WM_KEYUP, VK_LEFT);
            testing_support::ResumeCountingAllocations();
        } else if (pumps == 1020) {
            counted = testing_support::StopCountingAllocations();
            backend.Script(WM_KEYDOWN, VK_ESCAPE);
        }
    };
    EXPECT_EQ(RunMessageLoop(), 0);
    EXPECT_GE(pumps, 1020);
    EXPECT_EQ(counted, 0);
}

}  // namespace
