// Display start-up: device choice, the capability report, colour keys, surfaces, the sprite
// surface factory and every failure site.
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "directx/diag.h"
#include "directx/display.h"
#include "platform/ddraw.h"
#include "support/display_support.h"

using testing_support::Caps;
using testing_support::DirectDrawReport;
using testing_support::DisplayTest;
using testing_support::FileExists;
using testing_support::ProfileWithCaps;
using testing_support::ReadFile;
using testing_support::SecondaryDriver;
using Lines = std::vector<std::string>;

namespace {

DWORD SurfaceCaps(IDirectDrawSurface4* surface, DWORD* flags) {
    DDSURFACEDESC2 desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = kSurfaceDescSize;
    EXPECT_EQ(surface->GetSurfaceDesc(&desc), DD_OK);
    *flags = desc.dwFlags;
    return desc.ddsCaps.dwCaps;
}

int OpenFileCount() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count;
}

// The device without any capability: what the report shows when "caps.txt" cannot be made.
const Lines kEmptyReport = {
    "Free video memory = 0\n",
    "Not certified driver!\n",
    "Not capable of generating a vertical blank interrupt. \n",
    "Device does not support color fill\n",
    "Can't do color key in hardware!\n",
    "No 3D hardware present!\n",
};

}  // namespace

using CapabilityReport = DisplayTest;

TEST_F(CapabilityReport, ProductionMachine) {
    ASSERT_EQ(Start(platform::ProductionProfile(), 0), 1);
    EXPECT_EQ(LogLines(), (Lines{
                              "Free video memory = 0\n",
                              "Not certified driver!\n",
                              "Capable of blit operations. \n",
                              "Capable of blitting to or from system memory. \n",
                              "Capable of clipping with blitting. \n",
                              "Shared with GDI. \n",
                              "Not capable of generating a vertical blank interrupt. \n",
                              "Device supports color fill\n",
                              "Can do Src colorkey in hardware\n",
                              "Can do Dest colorkey in hardware\n",
                              "No 3D hardware present!\n",
                          }));
    EXPECT_EQ(DisplayContext.hardwareDestColorKey, 0);
    EXPECT_EQ(DisplayContext.bankSwitched, 0);
}

TEST_F(CapabilityReport, EveryFlagWritesItsLineInOrder) {
    DDCAPS caps = Caps(0xFFFFFFFFu, DDCAPS2_CERTIFIED, DDCKEYCAPS_SRCBLT, 8u << 20);
    caps.dwVidMemFree = 123456;
    caps.dwAlignBoundaryDest = 2;
    caps.dwAlignBoundarySrc = 4;
    caps.dwAlignSizeSrc = 8;
    caps.dwAlignSizeDest = 16;
    caps.dwAlignStrideAlign = 32;
    ASSERT_EQ(Start(ProfileWithCaps(caps), 0), 1);
    EXPECT_EQ(LogLines(), (Lines{
                              "Free video memory = 123456\n",
                              "Certified driver found!\n",
                              "No hardware support at all\n",
                              "Has 3D acceleration. \n",
                              "Dest rect x-axis must aligned to 2 boundaries\n",
                              "Src rect x-axis must aligned to 4 boundaries\n",
                              "Src rect x-axis size must aligned to 8 bytes\n",
                              "Dest rect x-axis size must aligned to 16 bytes\n",
                              "Display memory surfaces have a stride alignment of 32\n",
                              "Supports an alpha channel during blit operations. \n",
                              "Bank switched\n",
                              "Capable of blit operations. \n",
                              "Capable of depth filling z-buffers with blitter. \n",
                              "Capable of blitting to or from system memory. \n",
                              "Capable of clipping with blitting. \n",
                              "Color key is hardware assisted. \n",
                              "Shared with GDI. \n",
                              "Capable of generating a vertical blank interrupt. \n",
                              "Device supports color fill\n",
                              "Can do Src colorkey in hardware\n",
                              "3D hardware present!\n",
                          }));
    EXPECT_EQ(DisplayContext.bankSwitched, 1);
    EXPECT_EQ(DisplayContext.hardwareDestColorKey, 0);
}

TEST_F(CapabilityReport, NoFlagWritesOnlyTheUnconditionalLines) {
    DDCAPS caps = Caps(0);
    caps.dwVidMemFree = 0xFFFFFFFFu;  // printed as a signed number
    ASSERT_EQ(Start(ProfileWithCaps(caps), 0), 1);
    Lines expected = kEmptyReport;
    expected[0] = "Free video memory = -1\n";
    EXPECT_EQ(LogLines(), expected);
    EXPECT_EQ(DisplayContext.bankSwitched, 0);
}

TEST_F(CapabilityReport, UnwritableCapsFileLeavesTheRecordsEmpty) {
    ASSERT_EQ(mkdir("caps.txt", 0700), 0);
    ASSERT_EQ(
        Start(ProfileWithCaps(Caps(0xFFFFFFFFu, DDCAPS2_CERTIFIED, DDCKEYCAPS_DESTBLT, 64u << 20)),
              0),
        1);
    EXPECT_EQ(LogLines(), kEmptyReport);
    EXPECT_EQ(DisplayContext.bankSwitched, 0);
    EXPECT_EQ(DisplayContext.hardwareDestColorKey, 0);
    EXPECT_EQ(fatalErrorOccurred, 0);
}

TEST_F(CapabilityReport, CapsFileIsCreatedOrEmptiedAndStaysEmpty) {
    testing_support::WriteFile("caps.txt", "left over from an earlier run\n");
    ASSERT_EQ(Start(platform::ProductionProfile(), 0), 1);
    EXPECT_TRUE(FileExists("caps.txt"));
    EXPECT_EQ(ReadFile("caps.txt"), "");
}

struct KeyCase {
    DWORD ckeyCaps;
    DWORD vidMemTotal;
    unsigned bpp;
    Lines keyLines;
    int destKey;
};

void PrintTo(const KeyCase& k, std::ostream* os) {
    *os << "key caps " << k.ckeyCaps << ", video memory " << k.vidMemTotal << ", " << k.bpp
        << " bits";
}

class ColourKeyDecision : public DisplayTest, public testing::WithParamInterface<KeyCase> {};

TEST_P(ColourKeyDecision, FollowsTheKeyCapsAndTheVideoMemory) {
    const KeyCase& k = GetParam();
    ASSERT_EQ(Start(ProfileWithCaps(Caps(DDCAPS_COLORKEY, 0, k.ckeyCaps, k.vidMemTotal)), 0, k.bpp),
              1);
    Lines expected = {"Free video memory = 0\n", "Not certified driver!\n",
                      "Not capable of generating a vertical blank interrupt. \n",
                      "Device does not support color fill\n"};
    expected.insert(expected.end(), k.keyLines.begin(), k.keyLines.end());
    expected.push_back("No 3D hardware present!\n");
    EXPECT_EQ(LogLines(), expected);
    EXPECT_EQ(DisplayContext.hardwareDestColorKey, k.destKey);
}

const char* kSrc = "Can do Src colorkey in hardware\n";
const char* kDest = "Can do Dest colorkey in hardware\n";
const char* kShort = "Not enough vram to do dest color key.\n";
const char* kUsing = "Using destination color key\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, ColourKeyDecision,
    testing::Values(
        KeyCase{DDCKEYCAPS_SRCBLT | DDCKEYCAPS_DESTBLT, 64u << 20, 16, {kSrc, kDest}, 0},
        KeyCase{DDCKEYCAPS_SRCBLT, 64u << 20, 16, {kSrc}, 0}, KeyCase{0, 64u << 20, 16, {}, 0},
        KeyCase{DDCKEYCAPS_DESTBLT, 4194303, 16, {kDest, kShort}, 0},
        KeyCase{DDCKEYCAPS_DESTBLT, 4194304, 16, {kDest, kUsing}, 1},
        KeyCase{DDCKEYCAPS_DESTBLT, 2097151, 8, {kDest, kShort}, 0},
        KeyCase{DDCKEYCAPS_DESTBLT, 2097152, 8, {kDest, kUsing}, 1},
        KeyCase{DDCKEYCAPS_DESTBLT, 8388607, 32, {kDest, kShort}, 0},
        KeyCase{DDCKEYCAPS_DESTBLT, 8388608, 32, {kDest, kUsing}, 1}),
    [](const auto& p) { return "Case" + std::to_string(p.index); });

using DeviceChoice = DisplayTest;

TEST_F(DeviceChoice, FirstSecondaryWith3DWinsAndTheDefaultIsNeverCreated) {
    platform::MachineProfile profile = platform::ProductionProfile();
    profile.drivers.push_back(SecondaryDriver(1, DDCAPS_BLT));
    profile.drivers.push_back(SecondaryDriver(2, DDCAPS_3D | DDCAPS_BLT));
    platform::InstallProfile(profile);
    platform::StartTrace();
    DisplayContext.want3D = 1;
    EXPECT_EQ(DirectDrawEnumerateA(DeviceEnumCallback, &DisplayContext.directDraw), DD_OK);
    EXPECT_EQ(platform::TraceOps("DirectDrawCreate"),
              (Lines{"DirectDrawCreate", "DirectDrawCreate"}));
    EXPECT_EQ(platform::TraceOps("IDirectDraw::"),
              (Lines{"IDirectDraw::GetCaps", "IDirectDraw::Release", "IDirectDraw::GetCaps"}));
    ASSERT_NE(DisplayContext.directDraw, nullptr);
    DDCAPS driver = Caps(0), emulation = Caps(0);
    ASSERT_EQ(DisplayContext.directDraw->GetCaps(&driver, &emulation), DD_OK);
    EXPECT_EQ(driver.dwCaps, DDCAPS_3D | DDCAPS_BLT);
}

TEST_F(DeviceChoice, WithoutThreeDEverySecondaryIsTriedOnceAndTheDefaultIsUsed) {
    platform::MachineProfile profile = platform::ProductionProfile();
    const DWORD defaultCaps = profile.drivers[0].driverCaps.dwCaps;
    profile.drivers.push_back(SecondaryDriver(1, DDCAPS_3D));
    profile.drivers.push_back(SecondaryDriver(2, DDCAPS_3D | DDCAPS_BLT));
    platform::StartTrace();
    ASSERT_EQ(Start(profile, 0), 1);
    EXPECT_EQ(platform::CallCount("DirectDrawCreate"), 3);
    EXPECT_EQ(platform::TraceOps("IDirectDraw::"),
              (Lines{"IDirectDraw::GetCaps", "IDirectDraw::Release", "IDirectDraw::GetCaps",
                     "IDirectDraw::Release", "IDirectDraw::QueryInterface"}));
    DDCAPS driver = Caps(0), emulation = Caps(0);
    ASSERT_EQ(DisplayContext.directDraw->GetCaps(&driver, &emulation), DD_OK);
    EXPECT_EQ(driver.dwCaps, defaultCaps);
    EXPECT_EQ(DisplayContext.device, nullptr);
}

struct FormatCase {
    platform::PixelKind kind;
    uint32_t colorKey;
};

void PrintTo(const FormatCase& f, std::ostream* os) {
    *os << "key " << f.colorKey;
}

class BackBufferFormat : public DisplayTest, public testing::WithParamInterface<FormatCase> {};

TEST_P(BackBufferFormat, ColourKeyIsMagentaOrIndex255) {
    platform::MachineProfile profile = platform::ProductionProfile();
    profile.displayFormat = GetParam().kind;
    ASSERT_EQ(Start(profile, 0), 1);
    EXPECT_EQ(DisplayContext.colorKey, GetParam().colorKey);
    // The requested depth is kept whatever the display's.
    EXPECT_EQ(DisplayContext.bitsPerPixel, 16);
    EXPECT_EQ(DisplayContext.width, 640);
    EXPECT_EQ(DisplayContext.height, 480);
    EXPECT_EQ(DisplayContext.screenRect.left, 0);
    EXPECT_EQ(DisplayContext.screenRect.top, 0);
    EXPECT_EQ(DisplayContext.screenRect.right, 639);
    EXPECT_EQ(DisplayContext.screenRect.bottom, 479);
}

INSTANTIATE_TEST_SUITE_P(Formats, BackBufferFormat,
                         testing::Values(FormatCase{platform::PixelKind::Pal8, 255},
                                         FormatCase{platform::PixelKind::RGB555, 0x7C1F},
                                         FormatCase{platform::PixelKind::RGB565, 0xF81F},
                                         FormatCase{platform::PixelKind::XRGB8888, 0x00FF00FF}),
                         [](const auto& p) { return "Key" + std::to_string(p.param.colorKey); });

using Surfaces = DisplayTest;

TEST_F(Surfaces, BackBufferIsAnOffscreenRenderTargetWithoutKeyBySourceKeying) {
    ASSERT_EQ(Start(platform::ProductionProfile(), 0), 1);
    ASSERT_NE(DisplayContext.primarySurface, nullptr);
    ASSERT_NE(DisplayContext.backBuffer, nullptr);
    DWORD flags = 0;
    const DWORD caps = SurfaceCaps(DisplayContext.backBuffer, &flags);
    EXPECT_EQ(caps & (DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE),
              DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE);
    EXPECT_EQ(flags & DDSD_CKDESTBLT, 0u);
    EXPECT_NE(SurfaceCaps(DisplayContext.primarySurface, &flags) & DDSCAPS_PRIMARYSURFACE, 0u);
}

TEST_F(Surfaces, SpriteSurfacesCarryTheSourceKey) {
    ASSERT_EQ(Start(ProfileWithCaps(Caps(DDCAPS_COLORKEY, 0, DDCKEYCAPS_SRCBLT, 64u << 20)), 0), 1);
    platform::StartTrace();
    IDirectDrawSurface4* sprite = CreateSpriteSurface(32, 16, 0);
    ASSERT_NE(sprite, nullptr);
    DDSURFACEDESC2 desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = kSurfaceDescSize;
    ASSERT_EQ(sprite->GetSurfaceDesc(&desc), DD_OK);
    EXPECT_EQ(desc.dwWidth, 32u);
    EXPECT_EQ(desc.dwHeight, 16u);
    ASSERT_NE(desc.dwFlags & DDSD_CKSRCBLT, 0u);
    EXPECT_EQ(desc.ddckCKSrcBlt.dwColorSpaceLowValue, 0xF81Fu);
    EXPECT_EQ(desc.ddckCKSrcBlt.dwColorSpaceHighValue, 0xF81Fu);
    sprite->Release();
}

TEST_F(Surfaces, DestinationKeyingPutsTheKeyOnTheBackBufferOnly) {
    ASSERT_EQ(Start(ProfileWithCaps(Caps(DDCAPS_COLORKEY, 0, DDCKEYCAPS_DESTBLT, 64u << 20)), 0),
              1);
    ASSERT_EQ(DisplayContext.hardwareDestColorKey, 1);
    DDSURFACEDESC2 desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = kSurfaceDescSize;
    ASSERT_EQ(DisplayContext.backBuffer->GetSurfaceDesc(&desc), DD_OK);
    ASSERT_NE(desc.dwFlags & DDSD_CKDESTBLT, 0u);
    EXPECT_EQ(desc.ddckCKDestBlt.dwColorSpaceLowValue, 0xF81Fu);
    EXPECT_EQ(desc.ddckCKDestBlt.dwColorSpaceHighValue, 0xF81Fu);

    IDirectDrawSurface4* sprite = CreateSpriteSurface(8, 8, 0);
    ASSERT_NE(sprite, nullptr);
    DWORD flags = 0;
    SurfaceCaps(sprite, &flags);
    EXPECT_EQ(flags & (DDSD_CKSRCBLT | DDSD_CKDESTBLT), 0u);
    sprite->Release();
}

TEST_F(Surfaces, SpriteSurfacesGoToSystemMemoryWhenAskedOrBankSwitched) {
    ASSERT_EQ(Start(ProfileWithCaps(Caps(DDCAPS_BLT, 0, 0, 64u << 20)), 0), 1);
    platform::StartTrace();
    IDirectDrawSurface4* placed = CreateSpriteSurface(8, 8, 0);
    IDirectDrawSurface4* asked = CreateSpriteSurface(8, 8, 1);
    DisplayContext.bankSwitched = 1;
    IDirectDrawSurface4* banked = CreateSpriteSurface(8, 8, 0);
    ASSERT_TRUE(placed && asked && banked);
    const std::vector<platform::TraceEntry>& trace = platform::Trace();
    std::vector<std::string> createArgs;
    for (const platform::TraceEntry& entry : trace)
        if (entry.op == "IDirectDraw4::CreateSurface")
            createArgs.push_back(entry.args);
    ASSERT_EQ(createArgs.size(), 3u);
    EXPECT_EQ(createArgs[0].find("caps=0x00000800"), std::string::npos) << createArgs[0];
    EXPECT_NE(createArgs[1].find("caps=0x00000800"), std::string::npos) << createArgs[1];
    EXPECT_NE(createArgs[2].find("caps=0x00000800"), std::string::npos) << createArgs[2];
    placed->Release();
    asked->Release();
    banked->Release();
}

struct FailureCase {
    const char* op;
    int nth;
    int line;
    bool secondary;  // the failure needs a secondary driver
    bool startSucceeds;
};

void PrintTo(const FailureCase& f, std::ostream* os) {
    *os << f.op << " #" << f.nth << " -> line " << f.line;
}

class DisplayFailureSite : public DisplayTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(DisplayFailureSite, IsReportedWithItsFileAndLine) {
    const FailureCase& f = GetParam();
    platform::MachineProfile profile = platform::ProductionProfile();
    if (f.secondary)
        profile.drivers.push_back(SecondaryDriver(1, DDCAPS_3D));
    platform::FailCall(f.op, f.nth, DDERR_SURFACELOST);
    EXPECT_EQ(Start(profile, 0), f.startSucceeds ? 1 : 0);
    EXPECT_EQ(fatalErrorOccurred, 1);
    const std::string report = DirectDrawReport("DDERR_SURFACELOST", "directx", f.line);
    EXPECT_EQ(std::string(fatalMessage), report);
    EXPECT_EQ(ReadFile("out.err"), report);
}

INSTANTIATE_TEST_SUITE_P(
    Sites, DisplayFailureSite,
    testing::Values(FailureCase{"DirectDrawEnumerateA", 1, 416, false, false},
                    FailureCase{"DirectDrawCreate", 1, 419, false, false},
                    // A failure inside the enumeration falls back to the default driver.
                    FailureCase{"DirectDrawCreate", 1, 133, true, true},
                    FailureCase{"IDirectDraw::GetCaps", 1, 142, true, true},
                    FailureCase{"IDirectDraw::QueryInterface", 1, 423, false, false},
                    FailureCase{"IDirectDraw4::GetDisplayMode", 1, 436, false, false},
                    FailureCase{"IDirectDraw4::GetCaps", 1, 443, false, false},
                    FailureCase{"IDirectDraw4::SetCooperativeLevel", 1, 58, false, false},
                    FailureCase{"IDirectDraw4::CreateSurface", 1, 65, false, false},
                    FailureCase{"IDirectDraw4::CreateSurface", 2, 73, false, false},
                    FailureCase{"IDirectDraw4::CreateClipper", 1, 77, false, false}),
    [](const auto& p) { return "Line" + std::to_string(p.param.line); });

using DisplayFailure = DisplayTest;

TEST_F(DisplayFailure, SpriteSurfaceFailureIsReportedAndGivesNull) {
    ASSERT_EQ(Start(platform::ProductionProfile(), 0), 1);
    platform::FailCall("IDirectDraw4::CreateSurface", 1, DDERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(CreateSpriteSurface(16, 16, 0), nullptr);
    EXPECT_EQ(std::string(fatalMessage),
              DirectDrawReport("DDERR_OUTOFVIDEOMEMORY", "directx", 648));
}

TEST_F(DisplayFailure, FailedCapsQueryStillClosesTheCapsFile) {
    const int openBefore = OpenFileCount();
    platform::FailCall("IDirectDraw4::GetCaps", 1, DDERR_SURFACELOST);
    EXPECT_EQ(Start(platform::ProductionProfile(), 0), 0);
    EXPECT_EQ(OpenFileCount(), openBefore);
    EXPECT_EQ(ReadFile("caps.txt"), "");
    EXPECT_EQ(LogLines(), Lines{});
}
