// SDL's input as the window system's messages: the virtual-key codes and key-message
// parameters, the characters keys produce, and the translation of SDL's events into window
// messages on the video thread.
#include "platform/sdl/sdl_internal.h"
#include "platform/soft/user/window_internal.h"

namespace platform::sdl {
namespace {

// The platform's scan code (the PC keyboard's first set) of SDL's scan codes 4 (A) to 0x64,
// 0x100 marking the keys that come with the extended-key prefix. 0: no such key.
constexpr uint16_t kExtended = 0x100;
constexpr uint16_t kScanCodes[] = {
    // A to Z, 1 to 0
    0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19,
    0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
    0x08, 0x09, 0x0A, 0x0B,
    // Return, Escape, Backspace, Tab, Space, - = [ ] \ # ; ' ` , . /, Caps Lock
    0x1C, 0x01, 0x0E, 0x0F, 0x39, 0x0C, 0x0D, 0x1A, 0x1B, 0x2B, 0x2B, 0x27, 0x28, 0x29, 0x33, 0x34,
    0x35, 0x3A,
    // F1 to F12, Print Screen, Scroll Lock, Pause
    0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x41, 0x42, 0x43, 0x44, 0x57, 0x58, kExtended | 0x37, 0x46,
    0x45,
    // Insert, Home, Page Up, Delete, End, Page Down, Right, Left, Down, Up
    kExtended | 0x52, kExtended | 0x47, kExtended | 0x49, kExtended | 0x53, kExtended | 0x4F,
    kExtended | 0x51, kExtended | 0x4D, kExtended | 0x4B, kExtended | 0x50, kExtended | 0x48,
    // Num Lock, keypad / * - + Enter 1 2 3 4 5 6 7 8 9 0 ., the key beside left Shift
    kExtended | 0x45, kExtended | 0x35, 0x37, 0x4A, 0x4E, kExtended | 0x1C, 0x4F, 0x50, 0x51, 0x4B,
    0x4C, 0x4D, 0x47, 0x48, 0x49, 0x52, 0x53, 0x56};
static_assert(sizeof kScanCodes / sizeof kScanCodes[0] ==
              SDL_SCANCODE_NONUSBACKSLASH - SDL_SCANCODE_A + 1);
// SDL's scan codes 0xE0 to 0xE7: left Control, Shift, Alt, GUI, then the right ones.
constexpr uint16_t kModifierScanCodes[] = {
    0x1D, 0x2A, 0x38, kExtended | 0x5B, kExtended | 0x1D, 0x36, kExtended | 0x38, kExtended | 0x5C,
};

uint16_t PlatformScanCode(SDL_Scancode code) {
    const int c = static_cast<int>(code);
    constexpr int kCount = static_cast<int>(sizeof kScanCodes / sizeof kScanCodes[0]);
    if (c >= SDL_SCANCODE_A && c < SDL_SCANCODE_A + kCount)
        return kScanCodes[c - SDL_SCANCODE_A];
    if (c >= SDL_SCANCODE_LCTRL && c <= SDL_SCANCODE_RGUI)
        return kModifierScanCodes[c - SDL_SCANCODE_LCTRL];
    return 0;
}

// The characters 0x80 to 0x9F of the ANSI code page (Western), as Unicode.
constexpr uint16_t kAnsiHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

uint8_t AnsiChar(uint32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return static_cast<uint8_t>(codePoint);
    for (int i = 0; i < 32; ++i)
        if (kAnsiHigh[i] != 0 && kAnsiHigh[i] == codePoint)
            return static_cast<uint8_t>(0x80 + i);
    return '?';
}

// UTF-8 text as up to kMaxKeyText characters of the ANSI code page, the first in the low
// byte; returns how many. Malformed sequences give '?'.
int AnsiText(const char* utf8, uint32_t* text) {
    *text = 0;
    int count = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8);
    while (*p && count < kMaxKeyText) {
        uint32_t c = *p++;
        int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (c >= 0x80 && more == 0) {
            c = 0xFFFD;
        } else {
            c &= 0x7Fu >> more;
            for (; more > 0; --more) {
                if ((*p & 0xC0) != 0x80) {
                    c = 0xFFFD;
                    break;
                }
                c = (c << 6) | (*p++ & 0x3F);
            }
        }
        *text |= static_cast<uint32_t>(AnsiChar(c)) << (8 * count++);
    }
    return count;
}

// The character a key-down gives by itself with the modifiers held, as the platform's
// keyboard translation does: Control with a letter or [ \ ] gives the control character,
// Enter, Backspace, Tab and Escape their own. -1: what the layout makes of the key (SDL's
// text event) decides; 0 characters: none (left Alt makes system keys, which give none).
int OwnText(WPARAM vk, Uint16 mods, uint32_t* text) {
    const bool control = (mods & KMOD_CTRL) != 0, alt = (mods & KMOD_ALT) != 0;
    *text = 0;
    // AltGr (right Alt on X, Control with Alt on the platform): the layout's third level.
    if ((control && alt) || (mods & KMOD_RALT))
        return -1;
    if (alt)
        return 0;
    if (control) {
        if (vk >= 'A' && vk <= 'Z')
            *text = static_cast<uint32_t>(vk - 'A' + 1);
        else if (vk >= 0xDB && vk <= 0xDD)  // [ \ ]
            *text = static_cast<uint32_t>(vk - 0xDB + 0x1B);
        else if (vk == VK_SPACE)
            *text = ' ';
        else if (vk == VK_RETURN)
            *text = '\n';
        else if (vk == VK_BACK || vk == VK_ESCAPE)
            *text = static_cast<uint32_t>(vk);
        return *text != 0 ? 1 : 0;
    }
    if (vk == VK_RETURN)
        *text = '\r';
    else if (vk == VK_BACK || vk == VK_TAB || vk == VK_ESCAPE)
        *text = static_cast<uint32_t>(vk);
    return *text != 0 ? 1 : -1;
}

// Client or screen coordinates as a mouse message's lParam: two signed 16-bit values.
LPARAM PointLParam(int x, int y) {
    return static_cast<LPARAM>(MAKELONG(x, y));
}

}  // namespace

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
    const uint32_t scan = PlatformScanCode(e.keysym.scancode);
    uint32_t lp = 1u | ((scan & 0x1FF) << 16);
    if (e.type == SDL_KEYUP)
        lp |= 0xC0000000u;
    else if (e.repeat)
        lp |= 0x40000000u;
    return static_cast<LPARAM>(lp);
}

void SdlVideo::FlushKey(const PostFn& post) {
    if (!keyHeld_)
        return;
    keyHeld_ = false;
    if (heldCount_ > 0)
        post(kKeyTextNote, heldText_, heldCount_);
    post(WM_KEYDOWN, heldVk_, KeyLParam(heldKey_));
}

WPARAM SdlVideo::MouseKeys() const {
    WPARAM keys = buttons_;
    if (mods_ & KMOD_SHIFT)
        keys |= MK_SHIFT;
    if (mods_ & KMOD_CTRL)
        keys |= MK_CONTROL;
    return keys;
}

// Called by SDL on the thread that reports the event, before its queue: every event the
// video thread reports is taken here, none is queued. An event pushed from another thread
// waits in SDL's queue for the video thread's next pump, so only that thread translates.
int SdlVideo::Filter(void* self, SDL_Event* e) {
    auto* video = static_cast<SdlVideo*>(self);
    if (!video->adopted_ || !pthread_equal(video->owner_, pthread_self()))
        return 1;
    video->Translate(*e);
    return 0;
}

void SdlVideo::Translate(const SDL_Event& e) {
    const PostFn& post = post_;
    // A key-down waits for the text it produces: SDL sends that as the next event.
    if (e.type != SDL_TEXTINPUT)
        FlushKey(post);
    switch (e.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            mods_ = e.key.keysym.mod;
            WPARAM vk = VirtualKey(e.key.keysym);
            if (vk == 0)
                break;
            if (e.type == SDL_KEYUP) {
                post(WM_KEYUP, vk, KeyLParam(e.key));
                break;
            }
            keyHeld_ = true;
            heldKey_ = e.key;
            heldVk_ = vk;
            heldCount_ = OwnText(vk, e.key.keysym.mod, &heldText_);
            break;
        }
        case SDL_TEXTINPUT: {
            uint32_t text = 0;
            const int count = AnsiText(e.text.text, &text);
            if (keyHeld_) {
                // The key's own characters win (Control's): the layout's text goes.
                if (heldCount_ < 0) {
                    heldText_ = text;
                    heldCount_ = count;
                }
                FlushKey(post);
                break;
            }
            for (int i = 0; i < count; ++i)  // text no key-down brought
                post(WM_CHAR, (text >> (8 * i)) & 0xFF, 1);
            break;
        }
        case SDL_MOUSEMOTION:
            post(WM_MOUSEMOVE, MouseKeys(), PointLParam(e.motion.x, e.motion.y));
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            const bool down = e.type == SDL_MOUSEBUTTONDOWN;
            UINT message;
            WPARAM key;
            switch (e.button.button) {
                case SDL_BUTTON_LEFT:
                    message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
                    key = MK_LBUTTON;
                    break;
                case SDL_BUTTON_RIGHT:
                    message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
                    key = MK_RBUTTON;
                    break;
                case SDL_BUTTON_MIDDLE:
                    message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
                    key = MK_MBUTTON;
                    break;
                default:
                    return;
            }
            buttons_ = down ? buttons_ | key : buttons_ & ~key;
            post(message, MouseKeys(), PointLParam(e.button.x, e.button.y));
            break;
        }
        case SDL_MOUSEWHEEL: {
            int notches = e.wheel.y;
            if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED)
                notches = -notches;
            if (notches == 0)
                break;
#if SDL_VERSION_ATLEAST(2, 26, 0)
            const int x = e.wheel.mouseX, y = e.wheel.mouseY;
#else
            int x = 0, y = 0;
            SDL_GetMouseState(&x, &y);
#endif
            post(WM_MOUSEWHEEL, MAKEWPARAM(MouseKeys(), notches * WHEEL_DELTA),
                 PointLParam(windowX_ + x, windowY_ + y));
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
