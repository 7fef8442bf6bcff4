// Key messages keep InputState: each arrow's flag clears the opposite one on key-down, so
// left/right and up/down are never held together; key-up clears only its own flag.
#include "app/input.h"

#include "app/app.h"
#include "app/appstate.h"

void HandleKey(UINT message, WPARAM key) {
    if (message == WM_KEYDOWN) {
        switch (key) {
            case VK_ESCAPE:
                AppShutdown();
                break;
            case VK_SPACE:
                InputState.spaceHeld = 1;
                break;
            case VK_LEFT:
                InputState.leftHeld = 1;
                InputState.rightHeld = 0;
                break;
            case VK_UP:
                InputState.upHeld = 1;
                InputState.downHeld = 0;
                break;
            case VK_RIGHT:
                InputState.rightHeld = 1;
                InputState.leftHeld = 0;
                break;
            case VK_DOWN:
                InputState.downHeld = 1;
                InputState.upHeld = 0;
                break;
            default:
                break;
        }
    } else if (message == WM_KEYUP) {
        switch (key) {
            case VK_SPACE:
                InputState.spaceHeld = 0;
                break;
            case VK_LEFT:
                InputState.leftHeld = 0;
                break;
            case VK_UP:
                InputState.upHeld = 0;
                break;
            case VK_RIGHT:
                InputState.rightHeld = 0;
                break;
            case VK_DOWN:
                InputState.downHeld = 0;
                break;
            default:
                break;
        }
    }
}
