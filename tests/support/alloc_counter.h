// Counts heap allocations while switched on: every malloc (and so every operator new) in
// the process. Under AddressSanitizer through its allocation hook, otherwise by standing in
// for malloc in front of the C library's own allocator.
#pragma once

namespace testing_support {

void StartCountingAllocations();
// Stops counting and returns the number of allocations seen since the start.
long StopCountingAllocations();
// Counts on from where the last stop left off.
void ResumeCountingAllocations();

}  // namespace testing_support
