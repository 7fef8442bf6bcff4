// The frame path allocates nothing: every operator new and (without the address sanitizer,
// which owns malloc itself) every malloc during a run of frames is counted.
#include <cstdlib>
#include <cstring>
#include <new>

#include "app/frame.h"
#include "directx/display.h"
#include "support/display_support.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FRAME_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define FRAME_TEST_ASAN 1
#endif

namespace {
bool counting = false;
long allocations = 0;
}  // namespace

void* operator new(size_t size) {
    if (counting)
        ++allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}

#ifndef FRAME_TEST_ASAN
extern "C" void* __libc_malloc(size_t size);
extern "C" void* malloc(size_t size) {
    if (counting)
        ++allocations;
    return __libc_malloc(size);
}
#endif

using FrameAllocation = testing_support::DisplayTest;

TEST_F(FrameAllocation, FramesAllocateNothing) {
    memset(&clearFx, 0, sizeof clearFx);
    clearFx.dwSize = sizeof clearFx;
    ASSERT_EQ(Start(platform::ProductionProfile()), 1);
    platform::SetTimeGetTime(100);
    ASSERT_EQ(AppFrame(), 1);  // the first frame may set up lazily what the platform needs
    counting = true;
    for (int i = 0; i < 20; ++i) {
        platform::SetTimeGetTime(100 + 700 * i);  // the rate is recomputed on the way
        AppFrame();
    }
    counting = false;
    EXPECT_EQ(allocations, 0);
}
