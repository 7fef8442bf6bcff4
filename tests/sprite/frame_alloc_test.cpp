// The overlay's per-frame work allocates nothing: every heap allocation during a run of
// frames is counted.
#include "machine.h"
#include "sprite/overlay.h"
#include "support/alloc_counter.h"

using FrameAllocation = SpriteMachine;

TEST_F(FrameAllocation, OverlayFramesAllocateNothing) {
    CreateOverlay();
    UpdateOverlay();
    DrawDisplayList();
    testing_support::StartCountingAllocations();
    for (int frame = 0; frame < 250; ++frame) {
        UpdateOverlay();
        DrawDisplayList();
    }
    EXPECT_EQ(testing_support::StopCountingAllocations(), 0);
    DestroyOverlay();
}
