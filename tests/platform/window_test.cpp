#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/soft/ddraw/pixels.h"
#include "platform/soft/user/window_internal.h"
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

// A program stalled under a moving mouse: the moves fold into one, so no key after them is
// lost to a full queue; a key-down's characters come before the input waiting after it.
TEST_F(WindowTest, MovesFoldAndCharactersComeBeforeLaterInput) {
    Create();
    for (int i = 0; i < 10000; ++i)
        backend_->Script(WM_MOUSEMOVE, 0, MAKELPARAM(i % 800, 5));
    backend_->Script(platform::kKeyTextNote, 'a' | 'b' << 8, 2);
    backend_->Script(WM_KEYDOWN, 'A', 0x1e0001);
    backend_->Script(WM_KEYUP, 'A', 0xc01e0001);
    MSG msg;
    std::vector<UINT> got;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) && got.size() < 20) {
        got.push_back(msg.message == WM_CHAR ? static_cast<UINT>(msg.wParam) : msg.message);
        TranslateMessage(&msg);
    }
    EXPECT_EQ(got, (std::vector<UINT>{WM_MOUSEMOVE, WM_KEYDOWN, 'a', 'b', WM_KEYUP}));
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

// Whatever the backend does with a present before the screen is read, every read must show
// what converting each present at once would have: random rectangles (partly off the screen,
// overlapping, many between two reads), every format, the source changed after each present.
TEST_F(WindowTest, HeadlessScreenShowsEachPresentAsAnEagerConversionWould) {
    constexpr int kW = 67, kH = 45;
    platform::HeadlessBackend& backend = platform::UseHeadlessBackend(kW, kH);
    std::vector<uint32_t> expected(kW * kH, 0u);
    std::mt19937 rng(11);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const platform::PixelKind kinds[] = {platform::PixelKind::RGB565, platform::PixelKind::RGB555,
                                         platform::PixelKind::XRGB8888, platform::PixelKind::Pal8};
    std::vector<uint8_t> source(4 * (kW + 9) * (kH + 9));
    RECT previous{0, 0, kW, kH};
    for (int read = 0; read < 300; ++read) {
        const int presents = pick(0, 13);
        // Mostly one 16-bit format between two reads, as a game presents.
        const platform::PixelKind usual = kinds[pick(0, 1)];
        for (int i = 0; i < presents; ++i) {
            const int choice = pick(0, 9);
            const platform::PixelKind kind = choice < 7 ? usual : kinds[pick(0, 3)];
            RECT r{pick(-8, kW), pick(-8, kH), 0, 0};
            r.right = r.left + pick(0, kW + 8);
            r.bottom = r.top + pick(0, kH + 8);
            if (choice == 7)
                r = RECT{0, 0, kW, kH};
            else if (choice == 8)
                r = previous;
            previous = r;
            const int bpp = platform::BytesPerPixel(kind);
            const int width = static_cast<int>(r.right - r.left);
            const int height = static_cast<int>(r.bottom - r.top);
            const int pitch = width * bpp + pick(0, 2) * 4;
            for (auto& b : source)
                b = static_cast<uint8_t>(rng());
            platform::PixelView view{source.data(), pitch, width, height, kind};
            backend.Present(view, r.left, r.top);
            // The reference: the clipped part converted now by the scalar conversion.
            const int left = std::max(0, static_cast<int>(r.left));
            const int top = std::max(0, static_cast<int>(r.top));
            const int right = std::min(kW, static_cast<int>(r.right));
            const int bottom = std::min(kH, static_cast<int>(r.bottom));
            if (right > left && bottom > top) {
                platform::PixelView part{
                    source.data() + (top - r.top) * pitch + (left - r.left) * bpp, pitch,
                    right - left, bottom - top, kind};
                platform::ConvertToXRGB8888Scalar(part, &expected[top * kW + left], kW * 4);
            }
            for (auto& b : source)
                b = static_cast<uint8_t>(~b);  // the picture is gone once presented
        }
        const std::vector<uint32_t>& screen = backend.Screen();
        ASSERT_EQ(screen.size(), expected.size());
        for (int k = 0; k < kW * kH; ++k)
            ASSERT_EQ(screen[k] & 0xFFFFFFu, expected[k] & 0xFFFFFFu)
                << "read " << read << " at (" << k % kW << ", " << k / kW << ")";
    }
}

}  // namespace
