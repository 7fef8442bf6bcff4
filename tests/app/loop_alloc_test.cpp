// Turns of the message loop, frames included, allocate nothing. Allocations are counted
// below operator new: through the sanitizer's allocation hook in sanitized builds, otherwise
// by standing in for malloc in front of the C library's allocator.
#include <gtest/gtest.h>

#include <vector>

#include "app/app.h"
#include "app/appstate.h"
#include "directx/diag.h"
#include "platform/backend.h"
#include "support/test_support.h"

namespace {
bool counting = false;
long allocations = 0;
}  // namespace

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LOOP_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define LOOP_TEST_ASAN 1
#endif

#ifdef LOOP_TEST_ASAN
#include <sanitizer/allocator_interface.h>
namespace {
void CountMalloc(const volatile void*, size_t) {
    if (counting)
        ++allocations;
}
void IgnoreFree(const volatile void*) {}
[[maybe_unused]] const int hooksInstalled =
    __sanitizer_install_malloc_and_free_hooks(CountMalloc, IgnoreFree);
}  // namespace
#else
extern "C" void* __libc_malloc(size_t size) noexcept;
extern "C" void* malloc(size_t size) noexcept {
    if (counting)
        ++allocations;
    return __libc_malloc(size);
}
#endif

namespace {

class LoopAllocationTest : public testing_support::TempDirTest {};

TEST_F(LoopAllocationTest, TurnsAndFramesOfTheLoopAllocateNothing) {
    // The counter sees an allocation made through operator new.
    counting = true;
    std::vector<int>* volatile probe = new std::vector<int>(100);
    counting = false;
    delete probe;
    ASSERT_GT(allocations, 0);
    allocations = 0;

    platform::SetClock(1000);
    platform::SetTimeGetTime(50000);
    auto& backend = platform::UseHeadlessBackend(1024, 768);
    AppState.mainWindow = CreateMainWindow(platform::ModuleInstance(), SW_SHOW);
    if (!AppInit()) {
        // No display in this build: the loop turns on a fresh window, frames do nothing.
        platform::ResetWindowSystem();
        fatalErrorOccurred = 0;
        AppState.mainWindow = CreateMainWindow(platform::ModuleInstance(), SW_SHOW);
    }
    ASSERT_NE(AppState.mainWindow, nullptr);
    int pumps = 0;
    long counted = -1;
    backend.onPump = [&] {
        ++pumps;
        if (pumps == 20) {
            // Warmed up; from here on one key message every 50 turns, frames in between.
            counting = true;
        } else if (pumps > 20 && pumps < 1020 && pumps % 50 == 0) {
            counting = false;  // the test's own script queue may allocate
            backend.Script(WM_KEYDOWN, VK_LEFT);
            backend.Script(WM_KEYUP, VK_LEFT);
            counting = true;
        } else if (pumps == 1020) {
            counting = false;
            counted = allocations;
            backend.Script(WM_KEYDOWN, VK_ESCAPE);
        }
    };
    EXPECT_EQ(RunMessageLoop(), 0);
    EXPECT_GE(pumps, 1020);
    EXPECT_EQ(counted, 0);
}

}  // namespace
