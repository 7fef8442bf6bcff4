// Shared set-up of the display-layer and frame tests: a fresh working folder with an open
// run log, the headless window system with one window, and an installed machine profile.
#pragma once

#include <string>
#include <vector>

#include "directx/display.h"
#include "platform/backend.h"
#include "support/test_support.h"

namespace testing_support {

class DisplayTest : public TempDirTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Installs `profile` and runs InitDisplay as start-up does: 640 x 480 at `bpp` bits,
    // viewport 640 x 480 at (0, 0).
    int Start(const platform::MachineProfile& profile, int want3D = 1, unsigned bpp = 16);
    // The run log's lines so far, each with its line feed.
    std::vector<std::string> LogLines();

    platform::HeadlessBackend* backend_ = nullptr;
    HWND window_ = nullptr;
};

// Writes a small tetrahedron as "ship.xxx" into the working folder.
void WriteShipMesh();

// The production machine with the default driver's capability record given, on a display
// of the given pixel format.
platform::MachineProfile ProfileWithCaps(const DDCAPS& caps,
                                         platform::PixelKind kind = platform::PixelKind::RGB565);
DDCAPS Caps(DWORD caps, DWORD caps2 = 0, DWORD ckeyCaps = 0, DWORD vidMemTotal = 0);

// A secondary driver with its own GUID (`n` makes it unique) and the given dwCaps.
platform::DriverProfile SecondaryDriver(int n, DWORD caps);

// The exact text a fatal report leaves in fatalMessage.
std::string DirectDrawReport(const char* name, const char* file, int line);
std::string Direct3DReport(const char* name, const char* file, int line);

}  // namespace testing_support
