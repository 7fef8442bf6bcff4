// Instruction counts of a benchmark's body, for figures that hold still on a busy machine.
// Under valgrind's callgrind (started with --instr-atstart=no, as bench/run.sh does) the body
// runs twice to warm caches and lazily built tables, then kCounted times with counting on;
// the counts are dumped under `name` with the repetition count, "<name> x<count>". Outside
// valgrind, or where its headers are missing, this does nothing.
#pragma once

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define BENCH_HAVE_CALLGRIND 1
#endif

#include <cstdio>
#include <string>

namespace bench {

constexpr int kCounted = 10;

template <class Body>
void CountInstructions(const std::string& name, Body&& body) {
#ifdef BENCH_HAVE_CALLGRIND
    if (!RUNNING_ON_VALGRIND)
        return;
    body();
    body();
    CALLGRIND_START_INSTRUMENTATION;
    CALLGRIND_ZERO_STATS;
    for (int i = 0; i < kCounted; ++i)
        body();
    char label[200];
    std::snprintf(label, sizeof label, "%s x%d", name.c_str(), kCounted);
    CALLGRIND_DUMP_STATS_AT(label);
    CALLGRIND_STOP_INSTRUMENTATION;
#else
    (void)name;
    (void)body;
#endif
}

}  // namespace bench
