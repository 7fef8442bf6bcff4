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

}  // namespace platform
