// Process entry: the real window system (SDL2), then the application's own entry point.
#include "platform/backend.h"
#include "platform/win.h"

int main() {
    platform::UseSdlBackend();
    char commandLine[] = "";
    return WinMain(platform::ModuleInstance(), nullptr, commandLine, SW_SHOWDEFAULT);
}
