#include <gtest/gtest.h>

#include "app/app.h"
#include "app/appstate.h"
#include "app/input.h"
#include "platform/backend.h"

namespace {

struct Flags {
    int left, right, up, down, space;
    bool operator==(const Flags&) const = default;
};

Flags Held() {
    return Flags{InputState.leftHeld, InputState.rightHeld, InputState.upHeld, InputState.downHeld,
                 InputState.spaceHeld};
}

void Down(WPARAM key) {
    HandleKey(WM_KEYDOWN, key);
}
void Up(WPARAM key) {
    HandleKey(WM_KEYUP, key);
}

TEST(HandleKey, OppositeArrowTakesOverAndReleaseLeavesNeither) {
    Down(VK_LEFT);
    Down(VK_LEFT);  // auto-repeat changes nothing
    EXPECT_EQ(Held(), (Flags{1, 0, 0, 0, 0}));
    Down(VK_RIGHT);
    EXPECT_EQ(Held(), (Flags{0, 1, 0, 0, 0}));
    Down(VK_LEFT);
    EXPECT_EQ(Held(), (Flags{1, 0, 0, 0, 0}));
    Down(VK_RIGHT);
    Up(VK_RIGHT);  // Left is still physically down, but nothing sets it again
    EXPECT_EQ(Held(), (Flags{0, 0, 0, 0, 0}));
    Down(VK_UP);
    Down(VK_DOWN);
    EXPECT_EQ(Held(), (Flags{0, 0, 0, 1, 0}));
    Up(VK_UP);  // releasing the other key never sets anything
    EXPECT_EQ(Held(), (Flags{0, 0, 0, 1, 0}));
    Up(VK_DOWN);
    Down(VK_DOWN);
    Down(VK_UP);
    EXPECT_EQ(Held(), (Flags{0, 0, 1, 0, 0}));
}

TEST(HandleKey, SpaceIsHeldBesideAnArrow) {
    Down(VK_RIGHT);
    Down(VK_SPACE);
    EXPECT_EQ(Held(), (Flags{0, 1, 0, 0, 1}));
    Up(VK_SPACE);
    EXPECT_EQ(Held(), (Flags{0, 1, 0, 0, 0}));
}

TEST(HandleKey, OtherKeysAndMessagesChangeNothing) {
    Down(VK_LEFT);
    Down(VK_UP);
    Down(VK_SPACE);
    const Flags before = Held();
    for (WPARAM key :
         {WPARAM{'A'}, WPARAM{'Z'}, WPARAM{'0'}, WPARAM{'9'}, VK_F1, VK_PRIOR, VK_NEXT, VK_NUMPAD0,
          VK_NUMPAD0 + 4, VK_RETURN, VK_SHIFT, WPARAM{0}, WPARAM{0xFFFF}}) {
        Down(key);
        Up(key);
    }
    Up(VK_ESCAPE);
    HandleKey(WM_CHAR, VK_LEFT);
    HandleKey(WM_SYSCOMMAND, VK_UP);
    EXPECT_EQ(Held(), before);
}

TEST(HandleKey, EscapeRunsTheShutdownOnce) {
    auto& backend = platform::UseHeadlessBackend(640, 480);
    HWND hwnd = CreateMainWindow(platform::ModuleInstance(), SW_SHOW);
    AppState.mainWindow = hwnd;
    platform::CountCalls();
    SendMessageA(hwnd, WM_KEYUP, VK_ESCAPE, 0);
    EXPECT_TRUE(backend.WindowExists());
    SendMessageA(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(backend.WindowExists());
    EXPECT_EQ(platform::CallCount("DestroyWindow"), 1);
    EXPECT_EQ(platform::CallCount("PostQuitMessage"), 1);
    // The window is gone: a repeated Escape reaches no handler.
    SendMessageA(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(platform::CallCount("DestroyWindow"), 1);
    EXPECT_EQ(platform::CallCount("PostQuitMessage"), 1);
}

}  // namespace
