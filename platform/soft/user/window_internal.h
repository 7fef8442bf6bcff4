// Between the window system and the backends: installing a backend replaces the machine
// the window system runs on.
#pragma once

#include <memory>

#include "platform/backend.h"

namespace platform {

// Makes `backend` the current one. The window system is reset (the old backend's window,
// queue and classes belong to the old run) and will open the new backend on first use.
void InstallBackend(std::unique_ptr<Backend> backend);
// Forgets which backend was opened (called when the backend is replaced).
void ForgetOpenedBackend();

// A note a backend posts just before a WM_KEYDOWN: the text that key-down produces, which
// TranslateMessage turns into WM_CHAR messages when the program translates that key-down.
// wParam holds up to four characters of the ANSI code page, the first in the low byte;
// lParam their number. The note itself never reaches the queue. A backend posts a WM_CHAR
// itself for text no key-down brings (an input method's).
constexpr UINT kKeyTextNote = 0x7FFF0001;
constexpr int kMaxKeyText = 4;

}  // namespace platform
