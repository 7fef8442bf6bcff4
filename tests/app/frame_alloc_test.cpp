// The frame path allocates nothing: every heap allocation during a run of frames is counted.
#include <cstdlib>
#include <cstring>
#include <new>

#include "app/frame.h"
#include "directx/display.h"
#include "support/alloc_counter.h"
#include "support/display_support.h"

using FrameAllocation = testing_support::DisplayTest;

TEST_F(FrameAllocation, FramesAllocateNothing) {
    memset(&clearFx, 0, sizeof clearFx);
    clearFx.dwSize = sizeof clearFx;
    ASSERT_EQ(Start(platform::ProductionProfile()), 1);
    platform::SetTimeGetTime(100);
    ASSERT_EQ(AppFrame(), 1);  // the first frame may set up lazily what the platform needs
    testing_support::StartCountingAllocations();
    for (int i = 0; i < 20; ++i) {
        platform::SetTimeGetTime(100 + 700 * i);  // the rate is recomputed on the way
        AppFrame();
    }
    EXPECT_EQ(testing_support::StopCountingAllocations(), 0);
}
