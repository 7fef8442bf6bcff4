// The overlay's per-frame work allocates nothing: every operator new in this test program
// is counted, and a run of frames must not add to the count.
#include <cstdlib>
#include <new>

#include "machine.h"
#include "sprite/overlay.h"

namespace {
long allocations = 0;

void* Allocate(std::size_t size) noexcept {
    ++allocations;
    return std::malloc(size ? size : 1);
}
}  // namespace

// Every plain form goes to malloc and free, so allocation and release always match.
void* operator new(std::size_t size) {
    if (void* p = Allocate(size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
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
