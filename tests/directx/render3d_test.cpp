// The 3D step of a frame and the teardown.
#include <cstring>
#include <string>
#include <vector>

#include "app/appstate.h"
#include "directx/diag.h"
#include "directx/display.h"
#include "object3d/object3d.h"
#include "sprite/overlay.h"
#include "support/display_support.h"

using testing_support::Direct3DReport;
using testing_support::DisplayTest;
using Lines = std::vector<std::string>;

namespace {

const char* const kSceneOps[] = {"IDirect3DViewport3::Clear2", "IDirect3DDevice3::BeginScene",
                                 "IDirect3DDevice3::SetTransform",
                                 "IDirect3DDevice3::DrawPrimitive", "IDirect3DDevice3::EndScene"};

// The trace reduced to the scene's operations, with their arguments.
std::vector<platform::TraceEntry> SceneTrace() {
    std::vector<platform::TraceEntry> out;
    for (const platform::TraceEntry& e : platform::Trace())
        for (const char* op : kSceneOps)
            if (e.op == op)
                out.push_back(e);
    return out;
}

uint32_t BackPixel(int x, int y) {
    platform::PixelBuffer b{};
    EXPECT_TRUE(platform::GetPixelBuffer(DisplayContext.backBuffer, &b));
    uint16_t v = 0;
    memcpy(&v, static_cast<const uint8_t*>(b.pixels) + y * b.pitch + 2 * x, 2);
    return v;
}

}  // namespace

using Render3D = DisplayTest;

TEST_F(Render3D, ClearsBeginsUpdatesCameraThenShipAndEnds) {
    ASSERT_EQ(Start(platform::ProductionProfile()), 1);
    DDBLTFX white{};
    white.dwSize = sizeof white;
    white.dwFillColor = 0xFFFF;
    ASSERT_EQ(DisplayContext.backBuffer->Blt(nullptr, nullptr, nullptr,
                                             DDBLT_COLORFILL | DDBLT_WAIT, &white),
              DD_OK);
    platform::StartTrace();
    SceneClock = 1.5f;
    EXPECT_EQ(Render3DFrame(), 0);
    const std::vector<platform::TraceEntry> trace = SceneTrace();
    ASSERT_EQ(trace.size(), 6u);
    EXPECT_EQ(trace[0].op, "IDirect3DViewport3::Clear2");
    // One rectangle, the render target only, black. Its right and bottom edges are
    // exclusive: the last column and row keep what they held.
    EXPECT_EQ(trace[0].args, "count=1 flags=0x1 colour=0x00000000");
    EXPECT_EQ(BackPixel(0, 0), 0u);
    EXPECT_EQ(BackPixel(638, 478), 0u);
    EXPECT_EQ(BackPixel(639, 0), 0xFFFFu);
    EXPECT_EQ(BackPixel(0, 479), 0xFFFFu);
    EXPECT_EQ(trace[1].op, "IDirect3DDevice3::BeginScene");
    // The camera's view first, then the ship's world transform and its triangles.
    EXPECT_EQ(trace[2].op, "IDirect3DDevice3::SetTransform");
    EXPECT_NE(trace[2].args.find("state=2"), std::string::npos) << trace[2].args;
    EXPECT_EQ(trace[3].op, "IDirect3DDevice3::SetTransform");
    EXPECT_NE(trace[3].args.find("state=1"), std::string::npos) << trace[3].args;
    EXPECT_EQ(trace[4].op, "IDirect3DDevice3::DrawPrimitive");
    EXPECT_EQ(trace[5].op, "IDirect3DDevice3::EndScene");
    EXPECT_EQ(DisplayContext.lastFrameTime, 1.5f);
    EXPECT_EQ(fatalErrorOccurred, 0);
}

struct EarlyEnd {
    const char* op;
    int line;
    size_t sceneOps;  // scene operations that still ran
};

void PrintTo(const EarlyEnd& f, std::ostream* os) {
    *os << f.op << " -> line " << f.line;
}

class Render3DFailure : public DisplayTest, public testing::WithParamInterface<EarlyEnd> {};

TEST_P(Render3DFailure, EndsTheFrameAndKeepsTheLastFrameTime) {
    const EarlyEnd& f = GetParam();
    ASSERT_EQ(Start(platform::ProductionProfile()), 1);
    SceneClock = 0.25f;
    Render3DFrame();
    ASSERT_EQ(DisplayContext.lastFrameTime, 0.25f);

    platform::FailCall(f.op, 1, D3DERR_SCENE_END_FAILED);
    platform::StartTrace();
    SceneClock = 0.5f;
    EXPECT_EQ(Render3DFrame(), 0);
    EXPECT_EQ(SceneTrace().size(), f.sceneOps);
    EXPECT_EQ(DisplayContext.lastFrameTime, 0.25f);
    EXPECT_EQ(std::string(fatalMessage),
              Direct3DReport("D3DERR_SCENE_END_FAILED", "directx", f.line));
}

INSTANTIATE_TEST_SUITE_P(Sites, Render3DFailure,
                         testing::Values(EarlyEnd{"IDirect3DViewport3::Clear2", 601, 1},
                                         EarlyEnd{"IDirect3DDevice3::BeginScene", 603, 2},
                                         EarlyEnd{"IDirect3DDevice3::EndScene", 609, 6}),
                         [](const auto& p) { return "Line" + std::to_string(p.param.line); });

TEST_F(Render3D, WithoutADeviceThereIsNoScene) {
    ASSERT_EQ(Start(platform::ProductionProfile(), 0), 1);
    platform::StartTrace();
    SceneClock = 1.0f;
    EXPECT_EQ(Render3DFrame(), 0);
    EXPECT_TRUE(SceneTrace().empty());
    EXPECT_EQ(fatalErrorOccurred, 0);
}

using Teardown = DisplayTest;

TEST_F(Teardown, ReleasesTheDeviceChainThenTheSurfacesThenTheObjects) {
    ASSERT_EQ(Start(platform::ProductionProfile()), 1);
    DestroyOverlay();
    platform::StartTrace();
    ReleaseDisplay();
    // Each object lets go of what it holds when its last reference goes, so the releases
    // nested in the device's, the viewport's and Direct3D's own appear right after them.
    EXPECT_EQ(
        platform::TraceOps(),
        (Lines{// the device: its viewport, its render target and its Direct3D
               "IDirect3DDevice3::Release", "IDirect3DViewport3::Release",
               "IDirectDrawSurface4::Release", "IDirect3D3::Release",
               // the viewport, which lets go of its light
               "IDirect3DViewport3::Release", "IDirect3DLight::Release",
               // Direct3D, which lets go of its DirectDraw
               "IDirect3D3::Release", "IDirectDraw::Release",
               // the light and the material
               "IDirect3DLight::Release", "IDirect3DMaterial3::Release",
               // back buffer, primary surface with its clipper, the two interfaces
               "IDirectDrawSurface4::Release", "IDirectDrawSurface4::Release",
               "IDirectDrawClipper::Release", "IDirectDraw::Release", "IDirectDraw::Release"}));
    EXPECT_EQ(shipObject, nullptr);
    EXPECT_EQ(cameraObject, nullptr);
    EXPECT_EQ(DisplayContext.device, nullptr);
    EXPECT_EQ(DisplayContext.backBuffer, nullptr);
    EXPECT_EQ(DisplayContext.primarySurface, nullptr);
    EXPECT_EQ(DisplayContext.directDraw, nullptr);
    // A second teardown finds nothing left to release.
    platform::StartTrace();
    ReleaseDisplay();
    EXPECT_TRUE(platform::TraceOps().empty());
}

TEST_F(Teardown, WithoutThreeDReleasesOnlyTheSurfacesAndTheDevice) {
    ASSERT_EQ(Start(platform::ProductionProfile(), 0), 1);
    platform::StartTrace();
    ReleaseDisplay();
    EXPECT_EQ(
        platform::TraceOps(),
        (Lines{"IDirectDrawSurface4::Release", "IDirectDrawSurface4::Release",
               "IDirectDrawClipper::Release", "IDirectDraw::Release", "IDirectDraw::Release"}));
}
