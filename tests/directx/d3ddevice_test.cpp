// The Direct3D device chain, the viewport, the fixed scene records, the scene objects and
// every failure site of the 3D set-up.
#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "directx/diag.h"
#include "directx/display.h"
#include "object3d/object3d.h"
#include "sprite/overlay.h"
#include "support/display_support.h"

using testing_support::Direct3DReport;
using testing_support::DirectDrawReport;
using testing_support::DisplayTest;
using Lines = std::vector<std::string>;

namespace {

uint32_t Bits(float f) {
    return std::bit_cast<uint32_t>(f);
}

}  // namespace

TEST(SceneRecords, ViewportClipRectangleCarriesTheAspect) {
    const D3DVIEWPORT2 v = SceneViewport(0, 0, 640, 480);
    EXPECT_EQ(v.dwSize, 44u);
    EXPECT_EQ(v.dwX, 0u);
    EXPECT_EQ(v.dwY, 0u);
    EXPECT_EQ(v.dwWidth, 640u);
    EXPECT_EQ(v.dwHeight, 480u);
    EXPECT_EQ(v.dvClipX, -1.0f);
    EXPECT_EQ(Bits(v.dvClipY), Bits(1.3333334f));
    EXPECT_EQ(v.dvClipWidth, 2.0f);
    EXPECT_EQ(Bits(v.dvClipHeight), Bits(2.6666667f));
    EXPECT_EQ(v.dvMinZ, 0.0f);
    EXPECT_EQ(v.dvMaxZ, 1.0f);

    const D3DVIEWPORT2 square = SceneViewport(16, 8, 0x10000 + 300, 300);  // low 16 bits count
    EXPECT_EQ(square.dwX, 16u);
    EXPECT_EQ(square.dwY, 8u);
    EXPECT_EQ(square.dwWidth, 300u);
    EXPECT_EQ(square.dvClipY, 1.0f);
    EXPECT_EQ(square.dvClipHeight, 2.0f);
}

TEST(SceneRecords, ProjectionHasTheExactConstants) {
    const D3DMATRIX m = SceneProjection();
    const float* e = &m._11;
    for (int i = 0; i < 16; ++i) {
        switch (i) {
            case 0:
            case 5:
                EXPECT_EQ(e[i], 2.0f) << i;
                break;
            case 10:
                EXPECT_EQ(Bits(e[i]), 0x3F86BCA2u);
                break;
            case 11:
                EXPECT_EQ(e[i], 1.0f);
                break;
            case 14:
                EXPECT_EQ(Bits(e[i]), 0xC25286BDu);
                break;
            default:
                EXPECT_EQ(Bits(e[i]), 0u) << i;
        }
    }
}

TEST(SceneRecords, MaterialAndLight) {
    const D3DMATERIAL m = SceneMaterial();
    EXPECT_EQ(m.dwSize, 80u);
    const float expected[] = {0.5f, 0.0f, 0.5f, 1.0f, 0.5f, 0.0f, 0.5f, 1.0f, 1.0f,
                              1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 50.0f};
    EXPECT_EQ(memcmp(&m.diffuse, expected, sizeof expected), 0);
    EXPECT_EQ(m.hTexture, 0u);
    EXPECT_EQ(m.dwRampSize, 0u);

    const D3DLIGHT2 l = SceneLight();
    EXPECT_EQ(l.dwSize, 80u);
    EXPECT_EQ(l.dltType, D3DLIGHT_POINT);
    const float colourAndPlace[] = {1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 100.0f, 100.0f, 0.0f, 0.0f, 0.0f};
    EXPECT_EQ(memcmp(&l.dcvColor, colourAndPlace, sizeof colourAndPlace), 0);
    EXPECT_EQ(Bits(l.dvRange), Bits(1.8446743e19f));
    EXPECT_EQ(l.dvFalloff, 0.0f);
    EXPECT_EQ(l.dvAttenuation0, 1.0f);
    EXPECT_EQ(l.dvAttenuation1, 0.0f);
    EXPECT_EQ(l.dvAttenuation2, 0.0f);
    EXPECT_EQ(l.dvTheta, 0.0f);
    EXPECT_EQ(l.dvPhi, 0.0f);
    EXPECT_EQ(l.dwFlags, D3DLIGHT_ACTIVE);
}

using DeviceSetup = DisplayTest;

TEST_F(DeviceSetup, FallsBackFromHardwareToTheFirstSoftwareDevice) {
    platform::StartTrace();
    ASSERT_EQ(Start(platform::ProductionProfile()), 1);
    EXPECT_EQ(platform::CallCount("IDirect3D3::CreateDevice"), 2);  // HAL, then RGB
    const Lines log = LogLines();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "D3D device using RGB\n");
    EXPECT_NE(DisplayContext.device, nullptr);
    EXPECT_EQ(fatalErrorOccurred, 0);
}

TEST_F(DeviceSetup, EachDeviceOfTheChainLogsItsName) {
    const struct {
        DWORD devices;
        const char* line;
    } cases[] = {{platform::kDeviceHAL | platform::kDeviceRGB, "D3D device using HAL\n"},
                 {platform::kDeviceMMX, "D3D device using MMX\n"}};
    for (const auto& c : cases) {
        DisplayContext = DisplayContextRecord{};
        platform::MachineProfile profile = platform::ProductionProfile();
        profile.creatableDevices = c.devices;
        ASSERT_EQ(Start(profile), 1) << c.line;
        EXPECT_EQ(LogLines().back(), c.line);
        DestroyOverlay();
        ReleaseDisplay();
        DisplayContext = DisplayContextRecord{};
    }
}

TEST_F(DeviceSetup, RampDeviceIsTriedThird) {
    // The platform never makes the monochromatic device, so the third attempt is only seen
    // in the trace and the fourth device is the one used.
    platform::MachineProfile profile = platform::ProductionProfile();
    profile.creatableDevices = platform::kDeviceMMX;
    platform::StartTrace();
    ASSERT_EQ(Start(profile), 1);
    std::vector<std::string> tried;
    for (const platform::TraceEntry& e : platform::Trace())
        if (e.op == "IDirect3D3::CreateDevice")
            tried.push_back(e.args);
    EXPECT_EQ(tried, (Lines{"device=HAL", "device=RGB", "device=RAMP", "device=MMX"}));
    EXPECT_EQ(LogLines().back(), "D3D device using MMX\n");
}

TEST_F(DeviceSetup, NoDeviceAtAllEndsTheStartWithoutAFatalReport) {
    platform::MachineProfile profile = platform::ProductionProfile();
    profile.creatableDevices = 0;
    EXPECT_EQ(Start(profile), 0);
    EXPECT_EQ(LogLines().back(), "D3D could not create device\n");
    EXPECT_EQ(fatalErrorOccurred, 0);
    EXPECT_EQ(DisplayContext.device, nullptr);
    EXPECT_EQ(shipObject, nullptr);
}

TEST_F(DeviceSetup, SceneObjectsStandOnTheirStartPoses) {
    platform::StartTrace();
    ASSERT_EQ(InitDisplay(window_, 640, 480, 16, 1, 16, 8, 320, 240), 1);
    ASSERT_NE(shipObject, nullptr);
    ASSERT_NE(cameraObject, nullptr);
    EXPECT_EQ(cameraObject->target, shipObject);
    EXPECT_EQ(cameraObject->pos.z, 200.0f);
    EXPECT_EQ(cameraObject->pos.x, 0.0f);
    EXPECT_EQ(shipObject->pos.z, 0.0f);
    EXPECT_EQ(shipObject->faceCount, 4);
    EXPECT_EQ(cameraObject->faceCount, 0);
    // The clear rectangle is the screen's, not the smaller viewport's.
    const D3DRECT& r = DisplayContext.viewportClearRect;
    EXPECT_EQ(r.x1, 0);
    EXPECT_EQ(r.y1, 0);
    EXPECT_EQ(r.x2, 639);
    EXPECT_EQ(r.y2, 479);
    // Shading, viewport, material and light, then the projection.
    EXPECT_EQ(platform::TraceOps("IDirect3DDevice3::SetTransform").size(), 1u);
    EXPECT_EQ(platform::CallCount("IDirect3DViewport3::AddLight"), 1);
    // The viewport where it was asked for; the material, then the ambient level full white.
    Lines viewport, lightStates;
    for (const platform::TraceEntry& e : platform::Trace()) {
        if (e.op == "IDirect3DViewport3::SetViewport2")
            viewport.push_back(e.args);
        if (e.op == "IDirect3DDevice3::SetLightState")
            lightStates.push_back(e.args);
    }
    EXPECT_EQ(viewport, Lines{"x=16 y=8 w=320 h=240"});
    ASSERT_EQ(lightStates.size(), 2u);
    EXPECT_EQ(lightStates[0].rfind("state=1 ", 0), 0u);
    EXPECT_EQ(lightStates[1], "state=2 value=0xffffffff");
}

struct D3DFailure {
    const char* op;
    int nth;
    int line;
    bool direct3DReporter;
    int startResult;
};

void PrintTo(const D3DFailure& f, std::ostream* os) {
    *os << f.op << " #" << f.nth << " -> line " << f.line;
}

class DeviceFailure : public DisplayTest, public testing::WithParamInterface<D3DFailure> {};

TEST_P(DeviceFailure, IsReportedWithItsFileAndLine) {
    const D3DFailure& f = GetParam();
    const HRESULT code = f.direct3DReporter ? D3DERR_SCENE_BEGIN_FAILED : DDERR_SURFACELOST;
    platform::FailCall(f.op, f.nth, code);
    platform::StartTrace();
    EXPECT_EQ(Start(platform::ProductionProfile()), f.startResult);
    const std::string report = f.direct3DReporter
                                   ? Direct3DReport("D3DERR_SCENE_BEGIN_FAILED", "directx", f.line)
                                   : DirectDrawReport("DDERR_SURFACELOST", "directx", f.line);
    EXPECT_EQ(std::string(fatalMessage), report);
    EXPECT_EQ(testing_support::ReadFile("out.err"), report);
    if (f.startResult == 1) {
        // Material and light failures do not stop the scene: projection, objects, overlay.
        EXPECT_EQ(platform::CallCount("IDirect3DDevice3::SetTransform"), 1);
        EXPECT_NE(shipObject, nullptr);
        EXPECT_NE(cameraObject, nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sites, DeviceFailure,
    testing::Values(D3DFailure{"IDirectDraw::QueryInterface", 2, 351, false, 0},
                    D3DFailure{"IDirect3DDevice3::SetRenderState", 1, 379, false, 0},
                    D3DFailure{"IDirect3D3::CreateViewport", 1, 396, true, 0},
                    D3DFailure{"IDirect3DDevice3::AddViewport", 1, 398, true, 0},
                    D3DFailure{"IDirect3DViewport3::SetViewport2", 1, 400, true, 0},
                    D3DFailure{"IDirect3DDevice3::SetCurrentViewport", 1, 403, true, 0},
                    D3DFailure{"IDirect3D3::CreateMaterial", 1, 211, true, 1},
                    D3DFailure{"IDirect3DMaterial3::SetMaterial", 1, 240, true, 1},
                    D3DFailure{"IDirect3DMaterial3::GetHandle", 1, 242, true, 1},
                    D3DFailure{"IDirect3DDevice3::SetLightState", 1, 244, true, 1},
                    D3DFailure{"IDirect3DDevice3::SetLightState", 2, 246, true, 1},
                    D3DFailure{"IDirect3D3::CreateLight", 1, 255, true, 1},
                    D3DFailure{"IDirect3DLight::SetLight", 1, 283, true, 1},
                    D3DFailure{"IDirect3DViewport3::AddLight", 1, 285, true, 1}),
    [](const auto& p) { return "Line" + std::to_string(p.param.line); });
