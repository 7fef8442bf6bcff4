// Whole runs of the application on the headless backend: start-up with the real display
// layer, a few frames, and the end by Escape or by a failed start.
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/appstate.h"
#include "directx/display.h"
#include "platform/backend.h"
#include "platform/ddraw.h"
#include "support/display_support.h"

using testing_support::FileExists;
using testing_support::ReadFile;

namespace {

class FrameRun : public testing_support::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        platform::ResetHooks();
        platform::SetClock(2000);
        platform::SetTimeGetTime(500);
        backend_ = &platform::UseHeadlessBackend(800, 600);
        testing_support::WriteShipMesh();
    }

    // Runs the application until `frames` pictures have reached the screen, then presses
    // Escape. Returns the exit code.
    int Run(int frames) {
        backend_->onPump = [this, frames] {
            if (backend_->PresentCount() == frames && !escaped_) {
                escaped_ = true;
                backend_->Script(WM_KEYDOWN, VK_ESCAPE);
            }
        };
        char cmdLine[] = "";
        return WinMain(platform::ModuleInstance(), nullptr, cmdLine, SW_SHOWDEFAULT);
    }

    platform::HeadlessBackend* backend_ = nullptr;
    bool escaped_ = false;
};

}  // namespace

TEST_F(FrameRun, StartsDrawsFramesAndEndsOnEscape) {
    EXPECT_EQ(Run(3), 0);
    EXPECT_EQ(backend_->PresentCount(), 3);
    EXPECT_TRUE(platform::MessageBoxes().empty());

    EXPECT_EQ(ReadFile("info.txt"),
              "Free video memory = 0\n"
              "Not certified driver!\n"
              "Capable of blit operations. \n"
              "Capable of blitting to or from system memory. \n"
              "Capable of clipping with blitting. \n"
              "Shared with GDI. \n"
              "Not capable of generating a vertical blank interrupt. \n"
              "Device supports color fill\n"
              "Can do Src colorkey in hardware\n"
              "Can do Dest colorkey in hardware\n"
              "No 3D hardware present!\n"
              "D3D device using RGB\n");
    EXPECT_TRUE(FileExists("caps.txt"));
    EXPECT_EQ(ReadFile("caps.txt"), "");
    EXPECT_FALSE(FileExists("out.err"));

    // 639 x 479 pixels of the back buffer reach the window at the screen's corner.
    const RECT r = backend_->LastPresentRect();
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 639);
    EXPECT_EQ(r.bottom, 479);
    // The HUD's first cell, blue background, is on the screen.
    EXPECT_EQ(backend_->Screen()[20] & 0x00FFFFFFu, 0x000000FFu);

    // Shutdown tore the display down.
    EXPECT_EQ(DisplayContext.backBuffer, nullptr);
    EXPECT_EQ(DisplayContext.primarySurface, nullptr);
    EXPECT_EQ(DisplayContext.device, nullptr);
    EXPECT_EQ(shipObject, nullptr);
    EXPECT_EQ(cameraObject, nullptr);
}

TEST_F(FrameRun, MachineWithoutAnyThreeDDeviceShowsOnlyTheStartupBox) {
    platform::MachineProfile profile = platform::ProductionProfile();
    profile.creatableDevices = 0;
    platform::InstallProfile(profile);
    EXPECT_EQ(Run(1), 0);
    EXPECT_EQ(backend_->PresentCount(), 0);
    ASSERT_EQ(platform::MessageBoxes().size(), 1u);
    EXPECT_EQ(platform::MessageBoxes()[0].caption, "Korvel Initialization Error");
    const std::string log = ReadFile("info.txt");
    const std::string last = "D3D could not create device\n";
    ASSERT_GE(log.size(), last.size());
    EXPECT_EQ(log.substr(log.size() - last.size()), last);
    EXPECT_FALSE(FileExists("out.err"));
}

TEST_F(FrameRun, FailedClearEndsTheRunWithItsReport) {
    // The third frame's colour fill of the back buffer fails: its picture has already been
    // copied, the report names the frame driver's line, and the run ends.
    platform::CountCalls();
    int blitsBefore = 0;
    backend_->onPump = [this, &blitsBefore] {
        const int blits = platform::CallCount("IDirectDrawSurface4::Blt");
        if (backend_->PresentCount() == 1 && blitsBefore == 0) {
            blitsBefore = blits;
        } else if (backend_->PresentCount() == 2 && !escaped_) {
            escaped_ = true;
            // The clear is the last of a frame's blits.
            platform::FailCall("IDirectDrawSurface4::Blt", blits - blitsBefore, DDERR_SURFACELOST);
        }
    };
    char cmdLine[] = "";
    EXPECT_EQ(WinMain(platform::ModuleInstance(), nullptr, cmdLine, SW_SHOWDEFAULT), 0);
    const std::string report = "DirectDraw Error DDERR_SURFACELOST\nin file app at line 173\r\n";
    ASSERT_EQ(platform::MessageBoxes().size(), 1u);
    EXPECT_EQ(platform::MessageBoxes()[0].caption, "Error");
    EXPECT_EQ(platform::MessageBoxes()[0].text, report);
    EXPECT_EQ(ReadFile("out.err"), report);
    EXPECT_EQ(backend_->PresentCount(), 3);
}
