// The library's calls for a game of its own: the display set up without the test scene and
// torn down again, and the frame that composes and presents in one call.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "directx/game.h"
#include "sprite/overlay.h"
#include "support/alloc_counter.h"
#include "support/display_support.h"

using testing_support::Direct3DReport;
using testing_support::DirectDrawReport;
using testing_support::DisplayTest;
using testing_support::ReadFile;
using testing_support::WriteFile;
using Lines = std::vector<std::string>;

namespace {

// Every object the set-up made, released in the teardown's order until none is left.
const Lines kTeardownReleases = {
    "IDirect3DDevice3::Release",   "IDirect3DViewport3::Release",  "IDirectDrawSurface4::Release",
    "IDirect3D3::Release",         "IDirect3DViewport3::Release",  "IDirect3DLight::Release",
    "IDirect3D3::Release",         "IDirectDraw::Release",         "IDirect3DLight::Release",
    "IDirect3DMaterial3::Release", "IDirectDrawSurface4::Release", "IDirectDrawSurface4::Release",
    "IDirectDrawClipper::Release", "IDirectDraw::Release",         "IDirectDraw::Release"};

std::vector<std::string> TraceLines() {
    std::vector<std::string> lines;
    for (const platform::TraceEntry& e : platform::Trace())
        lines.push_back(e.op + " " + e.args);
    return lines;
}

// Pixels of a 24-bit bottom-up BMP without a palette that are not magenta, read straight
// from its bytes.
long OpaquePixels(const std::string& bmp) {
    auto at = [&](size_t i) { return uint32_t{static_cast<uint8_t>(bmp.at(i))}; };
    auto u32 = [&](size_t i) { return at(i) | at(i + 1) << 8 | at(i + 2) << 16 | at(i + 3) << 24; };
    const size_t offset = u32(10), width = u32(18), height = u32(22);
    const size_t stride = (width * 3 + 3) / 4 * 4;
    EXPECT_EQ(at(28), 24u);
    long opaque = 0;
    for (size_t y = 0; y < height; ++y)
        for (size_t x = 0; x < width; ++x) {
            const size_t i = offset + y * stride + x * 3;  // blue, green, red
            opaque += !(at(i) == 255 && at(i + 1) == 0 && at(i + 2) == 255);
        }
    return opaque;
}

}  // namespace

using GameSetUp = DisplayTest;

// The set-up stops at the scene state: it reads no mesh (there is none to read here), makes
// no scene object and no sprite, and its calls are exactly the test application's start-up
// up to where that one goes on into its scene. The teardown then releases every object.
TEST_F(GameSetUp, MakesNoSceneAndTheTeardownReleasesEverything) {
    platform::InstallProfile(platform::ProductionProfile());
    platform::StartTrace();
    ASSERT_EQ(InitDisplay(window_, 640, 480, 16, 1, 0, 0, 640, 480), 1);
    const Lines withScene = platform::TraceOps();
    DestroyOverlay();
    ReleaseDisplay();
    DisplayContext = DisplayContextRecord{};

    std::remove("ship.xxx");
    platform::StartTrace();
    ASSERT_EQ(OpenGame(window_, 640, 480), 1);
    const Lines alone = platform::TraceOps();
    EXPECT_EQ(fatalErrorOccurred, 0) << fatalMessage;
    EXPECT_EQ(shipObject, nullptr);
    EXPECT_EQ(cameraObject, nullptr);
    const OverlayObjects overlay = GetOverlayObjects();
    EXPECT_EQ(overlay.fonts[0], nullptr);
    EXPECT_EQ(overlay.crosshair, nullptr);
    ASSERT_LT(alone.size(), withScene.size());
    EXPECT_EQ(alone, Lines(withScene.begin(), withScene.begin() + alone.size()));
    // What the test application does next is its scene, which loads the overlay's bitmaps.
    EXPECT_NE(std::find(withScene.begin() + static_cast<long>(alone.size()), withScene.end(),
                        "LoadImageA"),
              withScene.end());
    EXPECT_EQ(std::find(alone.begin(), alone.end(), "LoadImageA"), alone.end());
    // The scene state is in place: the projection set, the light added.
    EXPECT_EQ(platform::Trace().back().args, "state=3");
    EXPECT_EQ(DisplayContext.viewportClearRect.x2, 639);
    EXPECT_EQ(DisplayContext.viewportClearRect.y2, 479);
    EXPECT_EQ(AppState.mainWindow, window_);

    platform::StartTrace();
    ReleaseDisplay();
    EXPECT_EQ(platform::TraceOps(), kTeardownReleases);
    // Each object's last release leaves it no reference (surfaces told apart by their id).
    std::map<std::string, std::string> lastRelease;
    for (const platform::TraceEntry& e : platform::Trace())
        lastRelease[e.op + " " + e.args.substr(0, e.args.find("refs="))] = e.args;
    EXPECT_EQ(lastRelease.size(), 9u);
    for (const auto& [object, args] : lastRelease)
        EXPECT_NE(args.find("refs=0"), std::string::npos) << object << args;
    EXPECT_EQ(DisplayContext.directDraw, nullptr);
    EXPECT_EQ(DisplayContext.device, nullptr);
}

class GameFrame : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        WriteFile("ring.bmp", ReadFile(GAME_SOURCE_DIR "/examples/sprite_demo/ring.bmp"));
        platform::InstallProfile(platform::ProductionProfile());
        platform::SetClock(2000);
        ASSERT_EQ(OpenGame(window_, 640, 480), 1);
    }

    // The 640 x 480 picture at the screen's top left.
    std::vector<uint32_t> Picture() const {
        std::vector<uint32_t> out;
        const std::vector<uint32_t>& screen = backend_->Screen();
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                out.push_back(screen[static_cast<size_t>(y * backend_->ScreenWidth() + x)]);
        return out;
    }

    static void Copy() {
        RECT whole{0, 0, 640, 480};
        DisplayContext.primarySurface->Blt(&whole, DisplayContext.backBuffer, &whole, DDBLT_WAIT,
                                           nullptr);
    }

    static void Clear() {
        DDBLTFX black{};
        black.dwSize = sizeof black;
        DisplayContext.backBuffer->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT,
                                       &black);
    }
};

// PresentFrame against the same frame made by hand from the device's scene calls, the
// display list, the copy to the screen and the clear: the same calls and the same picture,
// which holds two meshes seen by the game's camera, a sprite from a file on disk and a
// gauge.
TEST_F(GameFrame, PresentsWhatTheFourStepsByHandPresent) {
    Object3D near(nullptr, 0.0f, 0.0f, 0.0f);
    ASSERT_EQ(LoadMesh(&near, "ship.xxx"), 1);
    Object3D beside(nullptr, 0.0f, 0.0f, 0.0f);
    ASSERT_EQ(LoadMesh(&beside, "ship.xxx"), 1);
    beside.pos = Vec3(-60.0f, 10.0f, 0.0f);
    beside.yaw = 30;
    Object3D camera(nullptr, 10.0f, 20.0f, 150.0f);
    camera.target = &near;
    camera.roll = 5;
    Object3D* const objects[] = {&near, &beside};
    Sprite* ring = LoadSpriteFile("ring.bmp", 300, 200, 0);
    ASSERT_NE(ring, nullptr);
    ASSERT_NE(ring->surface, nullptr);
    Gauge gauge(0, 470, IDB_GAUGE_RED, 50, 100);

    platform::StartTrace();
    ring->AddToDisplayList(0);
    gauge.Update();
    SceneClock = static_cast<float>(platform::Clock()) * 0.001f;
    ASSERT_EQ(DisplayContext.viewport->Clear2(1, &DisplayContext.viewportClearRect, D3DCLEAR_TARGET,
                                              0, 0.0f, 0),
              D3D_OK);
    ASSERT_EQ(DisplayContext.device->BeginScene(), D3D_OK);
    camera.UpdateView();
    for (Object3D* object : objects) {
        object->UpdateWorld();
        object->Draw();
    }
    ASSERT_EQ(DisplayContext.device->EndScene(), D3D_OK);
    DisplayContext.lastFrameTime = SceneClock;
    DrawDisplayList();
    Copy();
    Clear();
    const Lines byHand = TraceLines();
    const std::vector<uint32_t> handPicture = Picture();

    // A black screen in between, so that only PresentFrame can draw the second picture.
    Copy();
    for (uint32_t pixel : Picture())
        ASSERT_EQ(pixel & 0xFFFFFF, 0u);

    platform::StartTrace();
    ring->AddToDisplayList(0);
    gauge.Update();
    EXPECT_EQ(PresentFrame(&camera, objects, 2), 1);
    EXPECT_EQ(TraceLines(), byHand);
    const std::vector<uint32_t> presented = Picture();
    EXPECT_TRUE(presented == handPicture);

    // The picture holds the whole ring and both meshes (lit: red and blue, no green), and
    // the last column and row of the back buffer reach the screen.
    long cyan = 0;
    long meshLeft = 0;
    long meshRight = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const uint32_t p = presented[static_cast<size_t>(y * 640 + x)];
            const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            cyan += p == 0x00FFFFu;
            if (r != 0 && g == 0 && b != 0)
                ++(x < 320 ? meshLeft : meshRight);
        }
    EXPECT_EQ(cyan, OpaquePixels(ReadFile("ring.bmp")));
    EXPECT_GT(meshLeft, 200);
    EXPECT_GT(meshRight, 200);
    EXPECT_NE(presented[479 * 640 + 48] & 0xFFFFFF, 0u);  // the gauge's bottom row
    EXPECT_EQ(fatalErrorOccurred, 0) << fatalMessage;

    // Later frames allocate nothing.
    platform::ResetHooks();
    testing_support::StartCountingAllocations();
    for (int i = 0; i < 5; ++i) {
        ring->AddToDisplayList(0);
        gauge.Update();
        PresentFrame(&camera, objects, 2);
    }
    EXPECT_EQ(testing_support::StopCountingAllocations(), 0);
    delete ring;
}

// A failure anywhere in the frame (the scene's viewport clear, the back buffer's clear) is
// reported and answered with 0; closing the game then closes the run log.
TEST_F(GameFrame, AFailedFrameIsReportedAndAnsweredWithZero) {
    platform::FailCall("IDirect3DViewport3::Clear2", 1, D3DERR_VIEWPORTHASNODEVICE);
    EXPECT_EQ(PresentFrame(nullptr, nullptr, 0), 0);
    EXPECT_EQ(std::string(fatalMessage),
              Direct3DReport("D3DERR_VIEWPORTHASNODEVICE", "directx", 601));
    fatalErrorOccurred = 0;
    platform::FailCall("IDirectDrawSurface4::Blt", 2, DDERR_SURFACELOST);
    EXPECT_EQ(PresentFrame(nullptr, nullptr, 0), 0);
    EXPECT_EQ(std::string(fatalMessage), DirectDrawReport("DDERR_SURFACELOST", "directx", 615));
    ASSERT_NE(RunLog, nullptr);
    CloseGame();
    EXPECT_EQ(RunLog, nullptr);
}

// A sprite from a file: the name may have 20 characters; a longer one is refused with a
// run-log line, a file that cannot be loaded shows the loader's box; neither gives a sprite.
TEST_F(GameFrame, SpriteFilesLoadByNamesOfTwentyCharacters) {
    WriteFile("twenty-letter-ring.b", ReadFile("ring.bmp"));
    Sprite* loaded = LoadSpriteFile("twenty-letter-ring.b", 5, 6, 3, 2);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->width, 20);  // two frames cut from the 40-pixel strip
    EXPECT_EQ(loaded->layer, 3);
    delete loaded;

    const size_t boxes = platform::MessageBoxes().size();
    EXPECT_EQ(LoadSpriteFile("twenty-one-letter-rin", 0, 0, 0), nullptr);
    EXPECT_EQ(platform::MessageBoxes().size(), boxes);
    EXPECT_EQ(LogLines().back(), "Sprite file name too long or empty: \"twenty-one-letter-rin\"\n");

    EXPECT_EQ(LoadSpriteFile("missing.bmp", 0, 0, 0), nullptr);
    ASSERT_EQ(platform::MessageBoxes().size(), boxes + 1);
    EXPECT_EQ(platform::MessageBoxes().back().text, "Error: sprite:217");
}
