// SDL's input as the window system's messages: the virtual-key codes and key-message
// parameters, and the translation of SDL's events into window messages on the video thread.
#include "platform/sdl/sdl_internal.h"

namespace platform::sdl {

WPARAM VirtualKey(const SDL_Keysym& key) {
    SDL_Keycode k = key.sym;
    if (k >= SDLK_a && k <= SDLK_z)
        return 'A' + (k - SDLK_a);
    if (k >= SDLK_0 && k <= SDLK_9)
        return '0' + (k - SDLK_0);
    if (k >= SDLK_F1 && k <= SDLK_F12)
        return VK_F1 + (k - SDLK_F1);
    if (k >= SDLK_F13 && k <= SDLK_F24)
        return VK_F1 + 12 + (k - SDLK_F13);
    if (k >= SDLK_KP_1 && k <= SDLK_KP_9)
        return VK_NUMPAD0 + 1 + (k - SDLK_KP_1);
    switch (k) {
        case SDLK_ESCAPE:
            return VK_ESCAPE;
        case SDLK_SPACE:
            return VK_SPACE;
        case SDLK_LEFT:
            return VK_LEFT;
        case SDLK_RIGHT:
            return VK_RIGHT;
        case SDLK_UP:
            return VK_UP;
        case SDLK_DOWN:
            return VK_DOWN;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            return VK_RETURN;
        case SDLK_BACKSPACE:
            return VK_BACK;
        case SDLK_TAB:
            return VK_TAB;
        case SDLK_PAGEUP:
            return VK_PRIOR;
        case SDLK_PAGEDOWN:
            return VK_NEXT;
        case SDLK_HOME:
            return VK_HOME;
        case SDLK_END:
            return VK_END;
        case SDLK_INSERT:
            return VK_INSERT;
        case SDLK_DELETE:
            return VK_DELETE;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT:
            return VK_SHIFT;
        case SDLK_LCTRL:
        case SDLK_RCTRL:
            return VK_CONTROL;
        case SDLK_LALT:
        case SDLK_RALT:
            return VK_MENU;
        case SDLK_KP_0:
            return VK_NUMPAD0;
        case SDLK_KP_MULTIPLY:
            return 0x6A;
        case SDLK_KP_PLUS:
            return 0x6B;
        case SDLK_KP_MINUS:
            return 0x6D;
        case SDLK_KP_PERIOD:
            return 0x6E;
        case SDLK_KP_DIVIDE:
            return 0x6F;
        case SDLK_PAUSE:
            return 0x13;
        case SDLK_CAPSLOCK:
            return 0x14;
        case SDLK_NUMLOCKCLEAR:
            return 0x90;
        case SDLK_SCROLLLOCK:
            return 0x91;
        case SDLK_PRINTSCREEN:
            return 0x2C;
        case SDLK_SEMICOLON:
            return 0xBA;
        case SDLK_EQUALS:
            return 0xBB;
        case SDLK_COMMA:
            return 0xBC;
        case SDLK_MINUS:
            return 0xBD;
        case SDLK_PERIOD:
            return 0xBE;
        case SDLK_SLASH:
            return 0xBF;
        case SDLK_BACKQUOTE:
            return 0xC0;
        case SDLK_LEFTBRACKET:
            return 0xDB;
        case SDLK_BACKSLASH:
            return 0xDC;
        case SDLK_RIGHTBRACKET:
            return 0xDD;
        case SDLK_QUOTE:
            return 0xDE;
        default:
            return 0;
    }
}

LPARAM KeyLParam(const SDL_KeyboardEvent& e) {
    uint32_t lp = 1u | ((static_cast<uint32_t>(e.keysym.scancode) & 0xFF) << 16);
    if (e.type == SDL_KEYUP)
        lp |= 0xC0000000u;
    else if (e.repeat)
        lp |= 0x40000000u;
    return static_cast<LPARAM>(lp);
}

// Called by SDL on the thread that reports the event, before its queue: every event is
// taken here, none is queued.
int SdlVideo::Filter(void* self, SDL_Event* e) {
    static_cast<SdlVideo*>(self)->Translate(*e);
    return 0;
}

void SdlVideo::Translate(const SDL_Event& e) {
    const PostFn& post = post_;
    switch (e.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            WPARAM vk = VirtualKey(e.key.keysym);
            if (vk != 0)
                post(e.type == SDL_KEYDOWN ? WM_KEYDOWN : WM_KEYUP, vk, KeyLParam(e.key));
            break;
        }
        case SDL_WINDOWEVENT:
            switch (e.window.event) {
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                    post(WM_ACTIVATEAPP, 1, 0);
                    break;
                case SDL_WINDOWEVENT_FOCUS_LOST:
                    post(WM_ACTIVATEAPP, 0, 0);
                    break;
                case SDL_WINDOWEVENT_CLOSE:
                    post(WM_SYSCOMMAND, SC_CLOSE, 0);
                    break;
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                case SDL_WINDOWEVENT_RESIZED:
                    surfaceStale_.store(true);  // the window surface is remade on next use
                    break;
                default:
                    break;
            }
            break;
        case SDL_QUIT:
            post(WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        case SDL_SYSWMEVENT:
            if (e.syswm.msg && e.syswm.msg->subsystem == SDL_SYSWM_X11) {
                const XEvent& x = e.syswm.msg->msg.x11.event;
                if (x.type == DestroyNotify && x.xdestroywindow.window != 0 &&
                    x.xdestroywindow.window == watchedWindow.load())
                    windowGone.store(true);
            }
            break;
        default:
            break;
    }
}

}  // namespace platform::sdl
