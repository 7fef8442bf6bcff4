#include "support/display_support.h"

#include <cstdio>
#include <cstring>
#include <sstream>

#include "directx/diag.h"
#include "directx/load_error.h"
#include "platform/ddraw.h"
#include "platform/win.h"

namespace testing_support {

namespace {

LRESULT TestWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

void DisplayTest::SetUp() {
    TempDirTest::SetUp();
    platform::ResetHooks();
    DisplayContext = DisplayContextRecord{};
    fatalErrorOccurred = 0;
    fatalMessage[0] = '\0';
    quietLoadErrors = 0;
    backend_ = &platform::UseHeadlessBackend(1024, 768);
    platform::ResetWindowSystem();
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = TestWindowProc;
    wc.lpszClassName = "Display Test";
    RegisterClassA(&wc);
    window_ = CreateWindowExA(0, "Display Test", "Display Test", WS_POPUP, 0, 0, 1024, 768, nullptr,
                              nullptr, nullptr, nullptr);
    ASSERT_NE(window_, nullptr);
    ShowWindow(window_, SW_SHOW);
    RunLog = fopen("info.txt", "w");
    ASSERT_NE(RunLog, nullptr);
    WriteShipMesh();
}

void DisplayTest::TearDown() {
    platform::ResetHooks();
    if (RunLog) {
        fclose(RunLog);
        RunLog = nullptr;
    }
    TempDirTest::TearDown();
}

int DisplayTest::Start(const platform::MachineProfile& profile, int want3D, unsigned bpp) {
    platform::InstallProfile(profile);
    return InitDisplay(window_, 640, 480, bpp, want3D, 0, 0, 640, 480);
}

std::vector<std::string> DisplayTest::LogLines() {
    if (RunLog)
        fflush(RunLog);
    std::vector<std::string> lines;
    std::string text = ReadFile("info.txt");
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start + 1));
        start = end + 1;
    }
    return lines;
}

void WriteShipMesh() {
    WriteFile("ship.xxx", "4\n0 0 0\n20 0 0\n0 20 0\n0 0 20\n-\n4\n0 1 2\n0 2 3\n0 3 1\n1 3 2\n");
}

DDCAPS Caps(DWORD caps, DWORD caps2, DWORD ckeyCaps, DWORD vidMemTotal) {
    DDCAPS c;
    memset(&c, 0, sizeof c);
    c.dwSize = sizeof c;
    c.dwCaps = caps;
    c.dwCaps2 = caps2;
    c.dwCKeyCaps = ckeyCaps;
    c.dwVidMemTotal = vidMemTotal;
    return c;
}

platform::MachineProfile ProfileWithCaps(const DDCAPS& caps, platform::PixelKind kind) {
    platform::MachineProfile profile = platform::ProductionProfile();
    profile.displayFormat = kind;
    for (platform::DriverProfile& driver : profile.drivers)
        if (driver.isDefault)
            driver.driverCaps = caps;
    return profile;
}

platform::DriverProfile SecondaryDriver(int n, DWORD caps) {
    platform::DriverProfile driver;
    driver.isDefault = false;
    driver.guid = GUID{0x5ec0d000u + static_cast<uint32_t>(n),
                       0x1234,
                       0x5678,
                       {1, 2, 3, 4, 5, 6, 7, static_cast<uint8_t>(n)}};
    driver.description = "Secondary " + std::to_string(n);
    driver.name = "secondary" + std::to_string(n);
    driver.driverCaps = Caps(caps);
    driver.emulationCaps = Caps(0);
    return driver;
}

std::string DirectDrawReport(const char* name, const char* file, int line) {
    std::ostringstream s;
    s << "DirectDraw Error " << name << "\nin file " << file << " at line " << line << "\r\n";
    return s.str();
}

std::string Direct3DReport(const char* name, const char* file, int line) {
    std::ostringstream s;
    s << "Direct3D Error " << name << "\nin file " << file << " at line " << line << "\r\n";
    return s.str();
}

}  // namespace testing_support
