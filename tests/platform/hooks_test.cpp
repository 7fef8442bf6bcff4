#include <gtest/gtest.h>

#include "platform/base.h"

namespace {

HRESULT Operation(int arg) {
    HRESULT hr = PLATFORM_HOOK("Test::Operation", "arg=%d", arg);
    if (hr != 0)
        return hr;
    return S_OK;
}

HRESULT Other() {
    return PLATFORM_HOOK("Test::Other", "%s", "");
}

TEST(Hooks, OffMeansEveryCallSucceedsAndNothingIsCounted) {
    platform::ResetHooks();
    EXPECT_FALSE(platform::hooksActive);
    EXPECT_EQ(Operation(1), S_OK);
    EXPECT_EQ(platform::CallCount("Test::Operation"), 0);
}

TEST(Hooks, NthCallFailsOnceWithTheGivenCode) {
    platform::ResetHooks();
    platform::FailCall("Test::Operation", 2, DDERR_SURFACELOST);
    EXPECT_EQ(Operation(1), S_OK);
    EXPECT_EQ(Other(), S_OK);
    EXPECT_EQ(Operation(2), DDERR_SURFACELOST);
    EXPECT_EQ(Operation(3), S_OK);
    EXPECT_EQ(platform::CallCount("Test::Operation"), 3);
    EXPECT_EQ(platform::TotalCallCount(), 4);
}

TEST(Hooks, RepeatFailsFromTheNthCallOn) {
    platform::ResetHooks();
    platform::FailCall("Test::Operation", 1, E_FAIL, true);
    EXPECT_EQ(Operation(1), E_FAIL);
    EXPECT_EQ(Operation(2), E_FAIL);
    platform::ResetHooks();
    EXPECT_EQ(Operation(3), S_OK);
}

TEST(Hooks, AnyCallCountsAcrossOperations) {
    platform::ResetHooks();
    platform::FailAnyCall(3, E_OUTOFMEMORY);
    EXPECT_EQ(Operation(1), S_OK);
    EXPECT_EQ(Other(), S_OK);
    EXPECT_EQ(Other(), E_OUTOFMEMORY);
    EXPECT_EQ(Operation(2), S_OK);
}

TEST(Hooks, TraceRecordsOperationsAndArgumentsInOrder) {
    platform::ResetHooks();
    platform::StartTrace();
    Operation(7);
    Other();
    Operation(9);
    const auto& trace = platform::Trace();
    ASSERT_EQ(trace.size(), 3u);
    EXPECT_EQ(trace[0].op, "Test::Operation");
    EXPECT_EQ(trace[0].args, "arg=7");
    EXPECT_EQ(trace[2].args, "arg=9");
    EXPECT_EQ(platform::TraceOps("Test::Op"),
              (std::vector<std::string>{"Test::Operation", "Test::Operation"}));
    platform::StopTrace();
    Operation(1);
    EXPECT_EQ(platform::Trace().size(), 3u);
}

TEST(Clock, PinnedValuesAreReturnedUntilReleased) {
    platform::SetClock(1234);
    platform::SetTimeGetTime(0xFFFFFFF0u);
    EXPECT_EQ(platform::Clock(), 1234);
    EXPECT_EQ(timeGetTime(), 0xFFFFFFF0u);
    platform::UseRealTime();
    EXPECT_GE(platform::Clock(), 0);
}

}  // namespace
