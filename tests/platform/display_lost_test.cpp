// A lost display connection ends the process at once: exit code 1, one line on standard
// error, and no exit handler (those would call into the broken connection again).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "platform/backend.h"

namespace {

void SayExitHandlerRan() {
    fputs("exit handler ran\n", stderr);
}

TEST(DisplayLostDeathTest, EndsWithCodeOneAndOneLineWithoutRunningExitHandlers) {
    EXPECT_EXIT(
        {
            atexit(SayExitHandlerRan);
            platform::DisplayLost();
        },
        ::testing::ExitedWithCode(1), "^The connection to the display was lost\\.\n$");
}

}  // namespace
