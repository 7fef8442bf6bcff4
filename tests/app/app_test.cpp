// The whole application on the headless backend: start-up, the message loop's frame and
// sleep rules, and every way out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/appstate.h"
#include "app/frame.h"
#include "directx/diag.h"
#include "directx/display.h"
#include "platform/backend.h"
#include "platform/ddraw.h"
#include "sprite/overlay.h"
#include "support/test_support.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;

const char* kStartupText =
    "Unable to initialize DirectDraw.  Please make sure you are running version 6 or greater.";

class AppTest : public testing_support::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        platform::ResetHooks();
        platform::SetClock(5000);
        platform::SetTimeGetTime(100000);
        backend_ = &platform::UseHeadlessBackend(1280, 1024);
    }
    // The window and the loop without the display start-up (whose result the loop does not
    // depend on).
    HWND StartWindow() {
        HWND hwnd = CreateMainWindow(platform::ModuleInstance(), SW_SHOWDEFAULT);
        AppState.mainWindow = hwnd;
        AppState.instance = platform::ModuleInstance();
        return hwnd;
    }
    // The application started for the loop's tests. When the display layer cannot come up
    // in this build, the loop's rules are tested on a fresh window without it.
    // Starts the application as a user would: the scene's mesh in the working folder.
    HWND StartApp() {
        testing_support::WriteFile("ship.xxx",
                                   testing_support::ReadFile(GAME_SOURCE_DIR "/assets/ship.xxx"));
        StartWindow();
        EXPECT_EQ(AppInit(), 1);
        return AppState.mainWindow;
    }
    platform::HeadlessBackend* backend_;
};

std::vector<platform::TraceEntry> OwnTrace() {
    static const char* const own[] = {"RegisterClassA", "CreateWindowExA", "ShowWindow",
                                      "MessageBoxA",    "DestroyWindow",   "PostQuitMessage"};
    std::vector<platform::TraceEntry> out;
    for (const auto& e : platform::Trace())
        for (const char* name : own)
            if (e.op == name)
                out.push_back(e);
    return out;
}

TEST_F(AppTest, FailedStartupShowsItsBoxDestroysTheWindowAndExitsWithZero) {
    // A machine on which no Direct3D device can be made: start-up fails without a report.
    platform::MachineProfile profile = platform::ProductionProfile();
    profile.creatableDevices = 0;
    platform::InstallProfile(profile);
    platform::StartTrace();
    char cmdLine[] = "";
    EXPECT_EQ(WinMain(platform::ModuleInstance(), nullptr, cmdLine, SW_SHOWDEFAULT), 0);

    ASSERT_FALSE(platform::MessageBoxes().empty());
    const auto& box = platform::MessageBoxes().back();
    EXPECT_EQ(box.text, kStartupText);
    EXPECT_EQ(box.caption, "Korvel Initialization Error");
    EXPECT_EQ(box.type, MB_OK);
    EXPECT_FALSE(backend_->WindowExists());
    EXPECT_TRUE(FileExists("info.txt"));

    auto trace = OwnTrace();
    ASSERT_GE(trace.size(), 5u);
    EXPECT_EQ(trace[0].op, "RegisterClassA");
    EXPECT_EQ(trace[0].args, "class=Game Library");
    EXPECT_EQ(trace[1].op, "CreateWindowExA");
    EXPECT_EQ(trace[1].args,
              "class=Game Library title=Game Library style=0x80000000 x=0 y=0 width=1280 "
              "height=1024");
    EXPECT_EQ(trace[2].op, "ShowWindow");
    EXPECT_EQ(trace[2].args.substr(trace[2].args.find("cmd=")), "cmd=10");
    // The start-up box comes before the window goes; WM_DESTROY posts the quit.
    EXPECT_EQ(trace[trace.size() - 3].op, "MessageBoxA");
    EXPECT_EQ(trace[trace.size() - 2].op, "DestroyWindow");
    EXPECT_EQ(trace[trace.size() - 1].op, "PostQuitMessage");
    EXPECT_EQ(trace[trace.size() - 1].args, "code=0");
}

TEST_F(AppTest, NoWindowMeansExitAtOnceWithoutFiles) {
    platform::FailCall("CreateWindowExA", 1, E_FAIL);
    char cmdLine[] = "";
    EXPECT_EQ(WinMain(platform::ModuleInstance(), nullptr, cmdLine, SW_SHOWDEFAULT), 0);
    EXPECT_FALSE(FileExists("info.txt"));
    EXPECT_TRUE(platform::MessageBoxes().empty());
}

TEST_F(AppTest, WindowIsTheScreenSizedPopupOfItsClass) {
    HWND hwnd = StartWindow();
    ASSERT_NE(hwnd, nullptr);
    RECT r{};
    ASSERT_TRUE(GetWindowRect(hwnd, &r));
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 1280);
    EXPECT_EQ(r.bottom, 1024);
    EXPECT_EQ(backend_->WindowTitle(), "Game Library");
    EXPECT_TRUE(backend_->WindowVisible());
    EXPECT_NE(AppState.arrowCursor, nullptr);
    // The class is taken: a second registration under the same name fails.
    WNDCLASSA wc{};
    wc.lpfnWndProc = MainWindowProc;
    wc.lpszClassName = "Game Library";
    EXPECT_EQ(RegisterClassA(&wc), 0);
}

TEST_F(AppTest, FramesRunBeforeActivationNoneWhileInactiveAndTheyResume) {
    StartApp();
    int pumps = 0, idleWaits = 0, waitsAtReactivation = -1, waitsBeforeDeactivation = -1;
    backend_->onPump = [&] {
        ++pumps;
        if (pumps == 50) {
            // Fifty turns without any activation message: every idle turn ran a frame.
            waitsBeforeDeactivation = platform::WaitMessageCount();
            backend_->Script(WM_ACTIVATEAPP, 0);
        }
        if (pumps == 500)
            backend_->Script(WM_KEYDOWN, VK_ESCAPE);
    };
    backend_->onIdleWait = [&] {
        ++idleWaits;
        EXPECT_EQ(AppState.appActive, 0);
        if (idleWaits == 3) {
            waitsAtReactivation = platform::WaitMessageCount();
            backend_->Script(WM_ACTIVATEAPP, 1);
        }
    };
    EXPECT_EQ(RunMessageLoop(), 0);
    EXPECT_EQ(waitsBeforeDeactivation, 0);
    EXPECT_EQ(idleWaits, 3);
    EXPECT_EQ(waitsAtReactivation, 3);  // each inactive idle turn slept once
    EXPECT_EQ(platform::WaitMessageCount(), 3);
    EXPECT_EQ(AppState.appActive, 1);
    EXPECT_GE(pumps, 500);
}

TEST_F(AppTest, EscapeEndsTheRunWithZeroAndNoFurtherTurn) {
    StartApp();
    int pumps = 0, pumpsAfterShutdown = 0;
    backend_->onPump = [&] {
        ++pumps;
        if (!backend_->WindowExists())
            ++pumpsAfterShutdown;
        if (pumps == 3) {
            backend_->Script(WM_KEYDOWN, VK_ESCAPE);
            backend_->Script(WM_KEYDOWN, VK_ESCAPE);  // auto-repeat: reaches no handler
            backend_->Script(WM_KEYDOWN, VK_LEFT);
        }
    };
    EXPECT_EQ(RunMessageLoop(), 0);
    EXPECT_FALSE(backend_->WindowExists());
    EXPECT_EQ(InputState.leftHeld, 0);  // queued for a window that is gone
    EXPECT_EQ(RunLog, nullptr);         // closed by the shutdown
    EXPECT_TRUE(platform::MessageBoxes().empty());
    // Only the turns that take the two dead keys and the quit message: no idle turn.
    EXPECT_LE(pumpsAfterShutdown, 6);
    EXPECT_EQ(platform::WaitMessageCount(), 0);
}

TEST_F(AppTest, ShutdownReleasesTheOverlayThenTheDisplayThenTheWindowThenTheLog) {
    StartApp();
    ASSERT_NE(GetOverlayObjects().crosshair, nullptr);
    bool overlayGone = false, displayGone = false, logOpen = false;
    backend_->onDestroyWindow = [&] {
        overlayGone = GetOverlayObjects().crosshair == nullptr;
        displayGone = DisplayContext.primarySurface == nullptr;
        logOpen = RunLog != nullptr;
    };
    platform::StartTrace();
    SendMessageA(AppState.mainWindow, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(overlayGone);
    EXPECT_TRUE(displayGone);
    EXPECT_TRUE(logOpen);
    EXPECT_EQ(RunLog, nullptr);
    // The overlay's surfaces are given back before the display's device.
    const std::vector<std::string> ops = platform::TraceOps();
    const auto device = std::find(ops.begin(), ops.end(), "IDirect3DDevice3::Release");
    ASSERT_NE(device, ops.end());
    EXPECT_GT(std::count(ops.begin(), device, "IDirectDrawSurface4::Release"), 0);
}

TEST_F(AppTest, SystemCloseEndsTheRunWithZeroAndNoBox) {
    StartApp();
    backend_->Script(WM_SYSCOMMAND, SC_CLOSE);
    EXPECT_EQ(RunMessageLoop(), 0);
    EXPECT_FALSE(backend_->WindowExists());
    EXPECT_TRUE(platform::MessageBoxes().empty());
}

TEST_F(AppTest, FatalErrorInTheLoopShowsTheErrorBoxAndExitsWithZero) {
    StartApp();
    int pumps = 0;
    backend_->onPump = [&] {
        if (++pumps == 4)
            ReportDirectDrawError(DDERR_SURFACELOST, "app", 173);
    };
    EXPECT_EQ(RunMessageLoop(), 0);
    const char* expected = "DirectDraw Error DDERR_SURFACELOST\nin file app at line 173\r\n";
    ASSERT_EQ(platform::MessageBoxes().size(), 1u);
    EXPECT_EQ(platform::MessageBoxes()[0].text, expected);
    EXPECT_EQ(platform::MessageBoxes()[0].caption, "Error");
    EXPECT_EQ(ReadFile("out.err"), expected);
    EXPECT_FALSE(backend_->WindowExists());
}

TEST_F(AppTest, FatalErrorInsideStartupShowsTheErrorBoxFirst) {
    HWND hwnd = StartWindow();
    ASSERT_NE(hwnd, nullptr);
    // A report from inside the display start-up, as InitDisplay makes it, then the rest of
    // the failed start-up.
    platform::FailCall("DirectDrawCreate", 1, DDERR_NODIRECTDRAWHW, true);
    ReportDirectDrawError(DDERR_NODIRECTDRAWHW, "directx", 1);
    EXPECT_EQ(AppInit(), 0);
    ASSERT_EQ(platform::MessageBoxes().size(), 2u);
    EXPECT_EQ(platform::MessageBoxes()[0].caption, "Error");
    EXPECT_EQ(platform::MessageBoxes()[0].text,
              "DirectDraw Error DDERR_NODIRECTDRAWHW\nin file directx at line 1\r\n");
    EXPECT_EQ(platform::MessageBoxes()[1].caption, "Korvel Initialization Error");
    EXPECT_EQ(platform::MessageBoxes()[1].text, kStartupText);
    EXPECT_EQ(RunMessageLoop(), 0);
}

TEST_F(AppTest, ScreenSaverAndMonitorPowerAreSwallowedOtherCommandsAreNot) {
    HWND hwnd = StartWindow();
    platform::StartTrace();
    EXPECT_EQ(SendMessageA(hwnd, WM_SYSCOMMAND, SC_SCREENSAVE, 0), 0);
    EXPECT_EQ(SendMessageA(hwnd, WM_SYSCOMMAND, SC_MONITORPOWER | 2, 0), 0);
    EXPECT_EQ(SendMessageA(hwnd, WM_SYSCOMMAND, SC_SCREENSAVE | 0xF, 0), 0);
    EXPECT_TRUE(IsWindow(hwnd));
    // Default processing of the close command destroys the window.
    SendMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE | 0x3, 0);
    EXPECT_FALSE(IsWindow(hwnd));
    // Of the four commands only the close reached default processing.
    std::vector<std::string> commands;
    for (const platform::TraceEntry& e : platform::Trace())
        if (e.op == "DefWindowProcA" && e.args.rfind("message=0x0112 ", 0) == 0)
            commands.push_back(e.args);
    EXPECT_EQ(commands, std::vector<std::string>{"message=0x0112 wParam=0xf063"});
}

TEST_F(AppTest, ActivationAndCursorMessages) {
    HWND hwnd = StartWindow();
    SendMessageA(hwnd, WM_ACTIVATEAPP, 0, 0);
    EXPECT_EQ(AppState.appActive, 0);
    SendMessageA(hwnd, WM_ACTIVATEAPP, 1, 0);
    EXPECT_EQ(AppState.appActive, 1);
    // Every WM_SETCURSOR shows the cursor once more: the display count only grows.
    int before = ShowCursor(TRUE);
    EXPECT_EQ(SendMessageA(hwnd, WM_SETCURSOR, 0, 0), TRUE);
    EXPECT_EQ(SendMessageA(hwnd, WM_SETCURSOR, 0, 0), TRUE);
    EXPECT_EQ(ShowCursor(TRUE), before + 3);
}

TEST_F(AppTest, StartupPreparesTheClearRecordAndTheSceneClock) {
    StartWindow();
    platform::SetClock(1234);
    AppInit();
    EXPECT_FLOAT_EQ(SceneClock, 1.234f);
    EXPECT_EQ(clearFx.dwSize, sizeof(DDBLTFX));
    EXPECT_EQ(clearFx.dwFillColor, 0u);
}

}  // namespace

namespace {

class NoDisplayTest : public testing_support::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("SDL_VIDEODRIVER");
        platform::UseSdlBackend();
    }
};

TEST_F(NoDisplayTest, TheRunSaysSoInOneLineAndExitsWithZero) {
    ::testing::internal::CaptureStderr();
    char cmdLine[] = "";
    EXPECT_EQ(WinMain(platform::ModuleInstance(), nullptr, cmdLine, SW_SHOWDEFAULT), 0);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(err.rfind("Game Library: no display can be opened: ", 0), 0u) << err;
    EXPECT_FALSE(testing_support::FileExists("info.txt"));
}

TEST_F(NoDisplayTest, TheLineNamesTheProgramByItsWindowClass) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.lpszClassName = "Sprite Demo";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 0);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("Sprite Demo: no display can be opened: ", 0), 0u) << err;
}

TEST_F(NoDisplayTest, BoxesThatCannotBeShownGoToStandardErrorLineByLine) {
    GetSystemMetrics(SM_CXSCREEN);  // the one line about the display, before capturing
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "DirectDraw Error X\nin file app at line 1\r\n", "Error", MB_OK),
              IDOK);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Error: DirectDraw Error X\nError: in file app at line 1\n");
    ASSERT_EQ(platform::MessageBoxes().size(), 1u);
}

}  // namespace
