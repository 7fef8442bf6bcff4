#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/soft/pixels.h"
#include "platform/win.h"

namespace {

std::vector<UINT> seen;
std::vector<bool> aliveInDestroy;

LRESULT RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back(message);
    if (message == WM_DESTROY) {
        aliveInDestroy.push_back(IsWindow(hwnd) != FALSE);
        PostQuitMessage(7);
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::ResetHooks();
        backend_ = &platform::UseHeadlessBackend(800, 600);
        seen.clear();
        aliveInDestroy.clear();
    }
    HWND Create() {
        WNDCLASSA wc{};
        wc.lpfnWndProc = RecordingProc;
        wc.lpszClassName = "Test Class";
        EXPECT_NE(RegisterClassA(&wc), 0);
        return CreateWindowExA(0, "Test Class", "Test Title", WS_POPUP, 0, 0,
                               GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                               nullptr, nullptr, platform::ModuleInstance(), nullptr);
    }
    platform::HeadlessBackend* backend_;
};

TEST_F(WindowTest, PopupCoversTheBackendScreenAndIsHiddenUntilShown) {
    HWND hwnd = Create();
    ASSERT_NE(hwnd, nullptr);
    RECT r{};
    ASSERT_TRUE(GetWindowRect(hwnd, &r));
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 800);
    EXPECT_EQ(r.bottom, 600);
    EXPECT_EQ(backend_->WindowTitle(), "Test Title");
    EXPECT_FALSE(backend_->WindowVisible());
    EXPECT_FALSE(ShowWindow(hwnd, SW_SHOWDEFAULT));
    EXPECT_TRUE(backend_->WindowVisible());
    EXPECT_TRUE(seen.empty());  // creation sends nothing
    EXPECT_NE(LoadIconA(nullptr, IDI_APPLICATION), nullptr);
    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
    EXPECT_NE(GetStockObject(BLACK_BRUSH), nullptr);
}

TEST_F(WindowTest, UnknownClassDuplicateClassAndHookedFailuresGiveNoWindow) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "A";
    EXPECT_NE(RegisterClassA(&wc), 0);
    EXPECT_EQ(RegisterClassA(&wc), 0);
    EXPECT_EQ(
        CreateWindowExA(0, "B", "t", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    platform::FailCall("CreateWindowExA", 1, E_FAIL);
    EXPECT_EQ(
        CreateWindowExA(0, "A", "t", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_FALSE(backend_->WindowExists());
    HWND hwnd =
        CreateWindowExA(0, "A", "t", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(hwnd, nullptr);
    platform::FailCall("RegisterClassA", 1, E_FAIL);
    wc.lpszClassName = "C";
    EXPECT_EQ(RegisterClassA(&wc), 0);
}

TEST_F(WindowTest, DestroyWindowSendsDestroyInsideAndOnlyOnce) {
    HWND hwnd = Create();
    ShowWindow(hwnd, SW_SHOW);
    EXPECT_TRUE(DestroyWindow(hwnd));
    ASSERT_EQ(seen, std::vector<UINT>{WM_DESTROY});
    EXPECT_EQ(aliveInDestroy, std::vector<bool>{true});
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(backend_->WindowExists());
    EXPECT_FALSE(DestroyWindow(hwnd));
    EXPECT_EQ(seen.size(), 1u);
    RECT r;
    EXPECT_FALSE(GetWindowRect(hwnd, &r));
    // The quit request posted inside WM_DESTROY ends GetMessageA with its code.
    MSG msg;
    EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(WindowTest, QueueKeepsOrderPeekLeavesMessageAndQuitComesLast) {
    HWND hwnd = Create();
    PostQuitMessage(3);
    PostMessageA(hwnd, WM_KEYDOWN, VK_LEFT, 0);
    backend_->Script(WM_KEYUP, VK_LEFT);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_KEYDOWN);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_KEYDOWN);
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, WM_KEYDOWN);
    EXPECT_EQ(msg.hwnd, hwnd);
    DispatchMessageA(&msg);
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, WM_KEYUP);
    EXPECT_EQ(msg.hwnd, hwnd);  // backend events go to the window
    DispatchMessageA(&msg);
    EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_EQ(seen, (std::vector<UINT>{WM_KEYDOWN, WM_KEYUP}));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(WindowTest, FiltersIncludeBothBoundsAndTheQuitComesWhenNothingTheFilterTakesWaits) {
    HWND hwnd = Create();
    PostMessageA(hwnd, WM_KEYDOWN, VK_LEFT, 0);  // 0x100
    PostMessageA(hwnd, WM_KEYUP, VK_LEFT, 0);    // 0x101
    PostMessageA(hwnd, WM_ACTIVATEAPP, 1, 0);    // 0x1C
    PostQuitMessage(5);                          // 0x12
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_KEYUP, WM_KEYUP, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_KEYUP);
    // The quit passes the filter, but the messages waiting before it come first...
    ASSERT_TRUE(GetMessageA(&msg, nullptr, WM_QUIT, WM_KEYDOWN));
    EXPECT_EQ(msg.message, WM_KEYDOWN);
    ASSERT_TRUE(GetMessageA(&msg, nullptr, WM_QUIT, WM_KEYDOWN));
    EXPECT_EQ(msg.message, WM_ACTIVATEAPP);
    // ...but not one the filter leaves out; a filter that leaves out WM_QUIT itself does not
    // keep it back either.
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_KEYDOWN, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);
    ASSERT_TRUE(GetMessageA(&msg, nullptr, WM_PAINT, WM_PAINT) == FALSE);
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 5u);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_KEYUP);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(WindowTest, MessagesForADestroyedWindowReachNoProcedure) {
    HWND hwnd = Create();
    PostMessageA(hwnd, WM_KEYDOWN, VK_SPACE, 0);
    DestroyWindow(hwnd);
    seen.clear();
    MSG msg;
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(DispatchMessageA(&msg), 0);
    EXPECT_TRUE(seen.empty());
    EXPECT_FALSE(PostMessageA(hwnd, WM_KEYDOWN, VK_SPACE, 0));
    EXPECT_EQ(SendMessageA(hwnd, WM_CLOSE, 0, 0), 0);
    // A new window gets a new handle: the old one stays dead.
    HWND again = CreateWindowExA(0, "Test Class", "t", WS_POPUP, 0, 0, 5, 5, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again, hwnd);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(WindowTest, SystemCloseGoesThroughCloseToDestroy) {
    HWND hwnd = Create();
    SendMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE | 0x2, 0);
    EXPECT_EQ(seen, (std::vector<UINT>{WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY}));
    EXPECT_FALSE(IsWindow(hwnd));
    seen.clear();
    HWND other = CreateWindowExA(0, "Test Class", "t", WS_POPUP, 0, 0, 5, 5, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(DefWindowProcA(other, WM_SYSCOMMAND, SC_SCREENSAVE, 0), 0);
    EXPECT_EQ(DefWindowProcA(other, WM_KEYDOWN, VK_ESCAPE, 0), 0);
    EXPECT_TRUE(IsWindow(other));
}

TEST_F(WindowTest, FullQueueRefusesPostsButNeverLosesTheQuit) {
    HWND hwnd = Create();
    int accepted = 0;
    while (PostMessageA(hwnd, WM_NULL, 0, 0) && accepted < 100000)
        ++accepted;
    EXPECT_GT(accepted, 100);
    EXPECT_LT(accepted, 100000);
    PostQuitMessage(0);
    MSG msg;
    int taken = 0;
    while (GetMessageA(&msg, nullptr, 0, 0))
        ++taken;
    EXPECT_EQ(taken, accepted);
    EXPECT_EQ(msg.message, WM_QUIT);
}

TEST_F(WindowTest, WaitMessageSleepsInTheBackendUntilAnEventArrives) {
    HWND hwnd = Create();
    int idle = 0;
    backend_->onIdleWait = [&] {
        ++idle;
        backend_->Script(WM_ACTIVATEAPP, 1);
    };
    EXPECT_TRUE(WaitMessage());
    EXPECT_EQ(idle, 1);
    EXPECT_EQ(platform::WaitMessageCount(), 1);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_ACTIVATEAPP);
    // With a message already waiting it returns at once.
    PostMessageA(hwnd, WM_NULL, 0, 0);
    EXPECT_TRUE(WaitMessage());
    EXPECT_EQ(idle, 1);
    EXPECT_EQ(platform::WaitMessageCount(), 2);
}

TEST_F(WindowTest, IdleWaitWithoutScriptClosesTheWindowSoRunsCannotHang) {
    HWND hwnd = Create();
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0))
        DispatchMessageA(&msg);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(msg.wParam, 7u);  // posted by the window's WM_DESTROY
}

TEST_F(WindowTest, MessageBoxesAreRecordedAndHookable) {
    EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_OK), IDOK);
    platform::FailCall("MessageBoxA", 1, E_FAIL);
    EXPECT_EQ(MessageBoxA(nullptr, "failed", "x", MB_OK), 0);
    ASSERT_EQ(platform::MessageBoxes().size(), 1u);
    EXPECT_EQ(platform::MessageBoxes()[0].text, "text");
    EXPECT_EQ(platform::MessageBoxes()[0].caption, "caption");
    platform::ResetWindowSystem();
    EXPECT_TRUE(platform::MessageBoxes().empty());
}

TEST_F(WindowTest, ShowCursorKeepsADisplayCount) {
    EXPECT_EQ(ShowCursor(TRUE), 1);
    EXPECT_EQ(ShowCursor(TRUE), 2);
    EXPECT_EQ(ShowCursor(FALSE), 1);
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    EXPECT_EQ(SetCursor(arrow), nullptr);
    EXPECT_EQ(SetCursor(nullptr), arrow);
}

TEST_F(WindowTest, HeadlessPresentConvertsAndClipsToTheScreen) {
    uint16_t pixels[4 * 2];
    for (auto& p : pixels)
        p = 0xF800;  // pure red in 5-6-5
    platform::PixelView view{pixels, 8, 4, 2, platform::PixelKind::RGB565};
    backend_->Present(view, 798, 599);
    EXPECT_EQ(backend_->PresentCount(), 1);
    RECT r = backend_->LastPresentRect();
    EXPECT_EQ(r.left, 798);
    EXPECT_EQ(r.top, 599);
    EXPECT_EQ(r.right, 800);
    EXPECT_EQ(r.bottom, 600);
    EXPECT_EQ(backend_->Screen()[599 * 800 + 799] & 0xFFFFFFu, 0xFF0000u);
    EXPECT_EQ(backend_->Screen()[598 * 800 + 799], 0u);
}

}  // namespace
