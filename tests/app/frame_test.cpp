// The frame driver and the HUD: step order, the copy to the screen, the clear and its
// failure, and the HUD's texts, positions, colours, character counts and frame rate.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "app/appstate.h"
#include "app/frame.h"
#include "directx/diag.h"
#include "directx/display.h"
#include "object3d/object3d.h"
#include "platform/gdi.h"
#include "support/display_support.h"

using testing_support::DirectDrawReport;
using testing_support::DisplayTest;

namespace {

class Frame : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        memset(&clearFx, 0, sizeof clearFx);
        clearFx.dwSize = sizeof clearFx;
        ASSERT_EQ(Start(platform::ProductionProfile()), 1);
    }

    // The pixels of a surface, row by row, as raw values.
    static std::vector<uint32_t> Pixels(IDirectDrawSurface4* surface) {
        platform::PixelBuffer buffer;
        EXPECT_TRUE(platform::GetPixelBuffer(surface, &buffer));
        std::vector<uint32_t> out;
        const int bytes = platform::BytesPerPixel(buffer.kind);
        for (int y = 0; y < buffer.height; ++y) {
            const uint8_t* row = static_cast<const uint8_t*>(buffer.pixels) + y * buffer.pitch;
            for (int x = 0; x < buffer.width; ++x) {
                uint32_t v = 0;
                memcpy(&v, row + x * bytes, bytes);
                out.push_back(v);
            }
        }
        return out;
    }

    struct HudLine {
        int x, y;
        std::string text;
        int count;
    };

    // What the HUD should look like: the lines drawn by hand on a blank surface of the
    // back buffer's size and format, in the HUD's colours.
    std::vector<uint32_t> Expected(const std::vector<HudLine>& lines) {
        IDirectDrawSurface4* reference = CreateSpriteSurface(640, 480, 1);
        EXPECT_NE(reference, nullptr);
        HDC dc = nullptr;
        EXPECT_EQ(reference->GetDC(&dc), DD_OK);
        SetBkColor(dc, 0x00FF0000);
        SetTextColor(dc, 0x0000FFFF);
        for (const HudLine& line : lines)
            TextOutA(dc, line.x, line.y, line.text.c_str(), line.count);
        reference->ReleaseDC(dc);
        std::vector<uint32_t> pixels = Pixels(reference);
        reference->Release();
        return pixels;
    }

    std::vector<HudLine> RestingHud(const char* fps) {
        return {{20, 0, fps, static_cast<int>(strlen(fps))},
                {200, 0, "pos x: 00000   y: 00000   y: 00200", 34},
                {200, 20, "dir x: 00000   y: 00000   y: 00000", 34},
                {200, 40, "pitch: 000   roll: 000   yaw: 000", 33},
                {500, 0, "mode: 640x480x16", 16}};
    }

    // The back buffer as the HUD leaves it on a black buffer.
    std::vector<uint32_t> DrawnHud() {
        DDBLTFX black;
        memset(&black, 0, sizeof black);
        black.dwSize = sizeof black;
        EXPECT_EQ(DisplayContext.backBuffer->Blt(nullptr, nullptr, nullptr,
                                                 DDBLT_COLORFILL | DDBLT_WAIT, &black),
                  DD_OK);
        EXPECT_EQ(DrawHud(), DD_OK);
        return Pixels(DisplayContext.backBuffer);
    }
};

size_t IndexOf(const std::vector<std::string>& ops, const std::string& op, size_t from = 0) {
    for (size_t i = from; i < ops.size(); ++i)
        if (ops[i] == op)
            return i;
    return std::string::npos;
}

}  // namespace

TEST_F(Frame, RunsThreeDThenHudThenOverlayThenCopyThenClear) {
    platform::StartTrace();
    EXPECT_EQ(AppFrame(), 1);
    std::vector<std::string> ops;
    std::vector<std::string> args;
    for (const platform::TraceEntry& e : platform::Trace()) {
        ops.push_back(e.op);
        args.push_back(e.args);
    }
    const size_t endScene = IndexOf(ops, "IDirect3DDevice3::EndScene");
    const size_t getDC = IndexOf(ops, "IDirectDrawSurface4::GetDC");
    const size_t releaseDC = IndexOf(ops, "IDirectDrawSurface4::ReleaseDC");
    ASSERT_NE(endScene, std::string::npos);
    ASSERT_NE(getDC, std::string::npos);
    ASSERT_NE(releaseDC, std::string::npos);
    EXPECT_LT(IndexOf(ops, "IDirect3DViewport3::Clear2"), endScene);
    EXPECT_LT(endScene, getDC);
    EXPECT_LT(getDC, releaseDC);
    // After the HUD: the overlay's sprite blits, the copy (DDBLT_WAIT only), then the fill.
    std::vector<std::string> bltArgs;
    for (size_t i = releaseDC; i < ops.size(); ++i)
        if (ops[i] == "IDirectDrawSurface4::Blt")
            bltArgs.push_back(args[i]);
    ASSERT_GE(bltArgs.size(), 2u);
    EXPECT_NE(bltArgs[bltArgs.size() - 2].find("flags=0x01000000"), std::string::npos)
        << bltArgs[bltArgs.size() - 2];
    EXPECT_NE(bltArgs.back().find("flags=0x01000400"), std::string::npos) << bltArgs.back();
    EXPECT_EQ(IndexOf(ops, "IDirectDrawSurface4::Blt"),
              IndexOf(ops, "IDirectDrawSurface4::Blt", releaseDC));
}

TEST_F(Frame, CopiesAllButTheLastColumnAndRowToTheScreen) {
    const int before = backend_->PresentCount();
    EXPECT_EQ(AppFrame(), 1);
    EXPECT_EQ(backend_->PresentCount(), before + 1);
    const RECT r = backend_->LastPresentRect();
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 639);
    EXPECT_EQ(r.bottom, 479);
    // The HUD's blue reached the screen; the back buffer is black again.
    const uint32_t hudCell = backend_->Screen()[20];
    EXPECT_EQ(hudCell & 0x000000FFu, 0xFFu);
    for (uint32_t p : Pixels(DisplayContext.backBuffer))
        ASSERT_EQ(p, 0u);
}

TEST_F(Frame, FailedClearIsReportedAfterTheCopy) {
    platform::CountCalls();
    EXPECT_EQ(AppFrame(), 1);
    const int bltsPerFrame = platform::CallCount("IDirectDrawSurface4::Blt");
    platform::ResetHooks();
    platform::FailCall("IDirectDrawSurface4::Blt", bltsPerFrame, DDERR_SURFACELOST);
    const int before = backend_->PresentCount();
    EXPECT_EQ(AppFrame(), 0);
    EXPECT_EQ(backend_->PresentCount(), before + 1);
    EXPECT_EQ(std::string(fatalMessage), DirectDrawReport("DDERR_SURFACELOST", "app", 173));
}

TEST_F(Frame, HudShowsTheFiveLinesInPlace) {
    platform::SetTimeGetTime(500);  // within the first second: no rate yet
    EXPECT_EQ(DrawnHud(), Expected(RestingHud("Avg fps 000")));
    EXPECT_EQ(FpsCounter.framesDrawn, 1u);
    EXPECT_EQ(FpsCounter.markTime, 0u);
}

TEST_F(Frame, HudShowsEveryDigitOfTheRate) {
    const struct {
        uint32_t framesIn2000Ms;
        const char* line;
    } cases[] = {
        {1998, "Avg fps 999"},      // the widest rate of three digits, as it always was
        {2468, "Avg fps 1234"},     // four digits
        {4068, "Avg fps 2034"},     // the last digit is not lost
        {200000, "Avg fps 100000"}  // six
    };
    DWORD now = 10000;
    for (const auto& c : cases) {
        FpsCounter.markTime = now;
        FpsCounter.markFramesDrawn = FpsCounter.framesDrawn;
        FpsCounter.framesDrawn += c.framesIn2000Ms - 1;  // the HUD's own frame makes the rest
        now += 2000;
        platform::SetTimeGetTime(now);
        EXPECT_EQ(DrawnHud(), Expected(RestingHud(c.line))) << c.line;
    }
}

TEST_F(Frame, HudPrintsTruncatedSignedCoordinatesAndTheAngles) {
    platform::SetTimeGetTime(500);
    cameraObject->pos = Vec3(-12.9f, 7.99f, 200.5f);
    cameraObject->dir = Vec3(0.5f, -0.5f, -3.0f);
    cameraObject->pitch = 5;
    cameraObject->roll = 359;
    cameraObject->yaw = 1;
    EXPECT_EQ(DrawnHud(), Expected({{20, 0, "Avg fps 000", 11},
                                    {200, 0, "pos x: -0012   y: 00007   y: 00200", 34},
                                    {200, 20, "dir x: 00000   y: 00000   y: -0003", 34},
                                    {200, 40, "pitch: 005   roll: 359   yaw: 001", 33},
                                    {500, 0, "mode: 640x480x16", 16}}));
}

TEST_F(Frame, HudHoldsCoordinatesWithinTheIntegerRangeAndPrintsNaNAsZero) {
    platform::SetTimeGetTime(500);
    cameraObject->pos = Vec3(1e20f, -1e20f, NAN);
    std::vector<HudLine> lines = RestingHud("Avg fps 000");
    lines[1] = {200, 0, "pos x: 2147483647   y: -2147483648   y: 00000", 45};
    EXPECT_EQ(DrawnHud(), Expected(lines));
}

TEST_F(Frame, RateIsRecomputedOnlyPastOneSecond) {
    platform::SetTimeGetTime(5000);
    DrawHud();  // first frame: 1 frame in 5000 ms
    EXPECT_EQ(FpsCounter.fps, 0u);
    EXPECT_EQ(FpsCounter.markTime, 5000u);
    EXPECT_EQ(FpsCounter.markFramesDrawn, 1u);
    for (int i = 0; i < 9; ++i)
        DrawHud();
    platform::SetTimeGetTime(6000);  // exactly one second: not yet
    DrawHud();
    EXPECT_EQ(FpsCounter.fps, 0u);
    EXPECT_EQ(FpsCounter.markTime, 5000u);
    platform::SetTimeGetTime(6001);
    DrawHud();  // 11 frames since the mark in 1001 ms
    EXPECT_EQ(FpsCounter.fps, 10u);
    EXPECT_EQ(FpsCounter.markTime, 6001u);
    EXPECT_EQ(FpsCounter.markFramesDrawn, 12u);
}

TEST_F(Frame, RateSurvivesTheWrapOfTheMillisecondCounter) {
    platform::SetTimeGetTime(0xFFFFFC00u);
    DrawHud();
    ASSERT_EQ(FpsCounter.markTime, 0xFFFFFC00u);
    for (int i = 0; i < 49; ++i)
        DrawHud();
    platform::SetTimeGetTime(0x00000100u);  // 1280 ms later, across the wrap
    DrawHud();
    EXPECT_EQ(FpsCounter.fps, 50u * 1000u / 1280u);
    EXPECT_EQ(FpsCounter.markTime, 0x100u);
}

TEST_F(Frame, FailedGetDCSkipsTheHudAndItsCount) {
    platform::FailCall("IDirectDrawSurface4::GetDC", 1, DDERR_CANTCREATEDC);
    EXPECT_EQ(DrawHud(), DDERR_CANTCREATEDC);
    EXPECT_EQ(FpsCounter.framesDrawn, 0u);
    EXPECT_EQ(fatalErrorOccurred, 0);
}
