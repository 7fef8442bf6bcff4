// The overlay's per-frame work allocates nothing: every operator new in this test program
// is counted, and a run of frames must not add to the count.
#include <cstdlib>
#include <new>

#include "machine.h"
#include "sprite/overlay.h"

namespace {
long allocations = 0;
}

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

using FrameAllocation = SpriteMachine;

TEST_F(FrameAllocation, OverlayFramesAllocateNothing) {
    CreateOverlay();
    UpdateOverlay();
    DrawDisplayList();
    const long before = allocations;
    for (int frame = 0; frame < 250; ++frame) {
        UpdateOverlay();
        DrawDisplayList();
    }
    EXPECT_EQ(allocations, before);
    DestroyOverlay();
}
