// Process entry: termination signals end the run, the real window system (SDL2), then the
// application's own entry point.
#include "platform/backend.h"
#include "platform/win.h"

int main() {
    platform::EndOnTerminationSignals();
    platform::UseSdlBackend();
    char commandLine[] = "";
    return WinMain(platform::ModuleInstance(), nullptr, commandLine, SW_SHOWDEFAULT);
}
