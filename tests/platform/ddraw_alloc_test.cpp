// The frame's platform work allocates nothing: blits, fills, device contexts, text and
// presentation are counted through a replaced operator new.
#include <gtest/gtest.h>

#include <vector>

#include "ddraw_test_support.h"
#include "platform/backend.h"
#include "platform/gdi.h"

#include "support/alloc_counter.h"

using namespace ddtest;

TEST(DirectDrawAllocation, AFramesPlatformWorkAllocatesNothing) {
    // The counter sees a heap allocation made through operator new.
    testing_support::StartCountingAllocations();
    std::vector<int>* volatile probe = new std::vector<int>(100);
    long probeCount = testing_support::StopCountingAllocations();
    delete probe;
    ASSERT_GT(probeCount, 0);
    long allocations = 0;

    platform::UseHeadlessBackend(640, 480);
    Device dev;
    IDirectDrawSurface4* primary = MakePrimary(dev.dd4);
    IDirectDrawSurface4* back = MakeSurface(dev.dd4, 640, 480, PixelKind::RGB565);
    IDirectDrawSurface4* sprite = MakeSurface(dev.dd4, 64, 64, PixelKind::RGB565);
    IDirectDrawClipper* clipper = nullptr;
    ASSERT_EQ(dev.dd4->CreateClipper(0, &clipper, nullptr), DD_OK);
    TestWindow window(0, 0, 640, 480);
    clipper->SetHWnd(0, window.hwnd);
    primary->SetClipper(clipper);
    clipper->Release();
    DDCOLORKEY key{0xF81F, 0xF81F};
    sprite->SetColorKey(DDCKEY_SRCBLT, &key);
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    RECT screen{0, 0, 639, 479};
    RECT at{100, 100, 164, 164};

    // One frame first (lazy set-up anywhere is fine), then count the next ones.
    for (int frame = 0; frame < 3; ++frame) {
        if (frame > 0)
            testing_support::StartCountingAllocations();
        HDC dc = nullptr;
        ASSERT_EQ(back->GetDC(&dc), DD_OK);
        SetBkColor(dc, RGB(0, 0, 255));
        SetTextColor(dc, RGB(255, 255, 0));
        TextOutA(dc, 20, 0, "Avg fps 060", 11);
        ASSERT_EQ(back->ReleaseDC(dc), DD_OK);
        ASSERT_EQ(back->Blt(&at, sprite, nullptr, DDBLT_WAIT | DDBLT_KEYSRC, nullptr), DD_OK);
        ASSERT_EQ(primary->Blt(&screen, back, &screen, DDBLT_WAIT, nullptr), DD_OK);
        ASSERT_EQ(back->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
        if (frame > 0)
            allocations += testing_support::StopCountingAllocations();
    }
    EXPECT_EQ(allocations, 0);
    sprite->Release();
    back->Release();
    primary->Release();
}
