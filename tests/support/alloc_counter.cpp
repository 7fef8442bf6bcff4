#include "support/alloc_counter.h"

#include <cstddef>

namespace {
bool counting = false;
long allocations = 0;
}  // namespace

// Under a sanitizer, which owns malloc, allocations are counted through its hooks.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ALLOC_COUNTER_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ALLOC_COUNTER_SANITIZER 1
#endif

#ifdef ALLOC_COUNTER_SANITIZER
#include <sanitizer/allocator_interface.h>
namespace {
void CountMalloc(const volatile void*, size_t) {
    if (counting)
        ++allocations;
}
void IgnoreFree(const volatile void*) {}
bool hooksInstalled = false;
}  // namespace
#else
extern "C" void* __libc_malloc(size_t size) noexcept;
extern "C" void* malloc(size_t size) noexcept {
    if (counting)
        ++allocations;
    return __libc_malloc(size);
}
#endif

namespace testing_support {

void StartCountingAllocations() {
#ifdef ALLOC_COUNTER_SANITIZER
    if (!hooksInstalled)
        hooksInstalled = __sanitizer_install_malloc_and_free_hooks(CountMalloc, IgnoreFree) != 0;
#endif
    allocations = 0;
    counting = true;
}

void ResumeCountingAllocations() {
    counting = true;
}

long StopCountingAllocations() {
    counting = false;
    return allocations;
}

}  // namespace testing_support
