// The library's calls for a game of its own: the display set up without the test scene and
// torn down again, and the frame that composes and presents in one call.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "directx/game.h"
#include "platform/gdi.h"
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
        platform::SetPerformanceCounter(123456789);
        ASSERT_EQ(OpenGame(window_, 640, 480), 1);
    }

    void TearDown() override {
        SetFrameRateCap(0);
        CloseGame();
        platform::UseRealTime();
        DisplayTest::TearDown();
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

// The loads a game makes fail quietly with the file's name and the reason: no box, nothing
// fatal, the window kept. Paths of any length load; the platform loader's own reason is
// passed on for a bitmap it refuses.
TEST_F(GameFrame, FailedLoadsLeaveTheirReasonAndNothingElse) {
    std::string bmp = ReadFile("ring.bmp");
    WriteFile("a-path-of-thirty-characters.bmp", bmp);
    bmp[30] = 7;  // the compression field: no such method
    WriteFile("odd.bmp", bmp);
    WriteFile("text.bmp", "3\n0 0 0\n");
    mkdir("folder.bmp", 0755);
    Sprite* loaded = LoadSpriteFile("a-path-of-thirty-characters.bmp", 5, 6, 3, 2);
    ASSERT_NE(loaded, nullptr) << LastLoadError();
    EXPECT_EQ(loaded->width, 20);  // two frames cut from the 40-pixel strip
    EXPECT_EQ(loaded->layer, 3);
    delete loaded;

    const std::pair<const char*, std::string> sprites[] = {
        {"missing.bmp", "no such file"},
        {"text.bmp", "not a BMP file"},
        {"folder.bmp", "not a file that can be read"},
        {"odd.bmp", ""},  // the loader's reason
    };
    for (const auto& [path, reason] : sprites) {
        ClearLoadError();
        EXPECT_EQ(LoadSpriteFile(path, 0, 0, 0), nullptr) << path;
        const std::string want = reason.empty() ? platform::LastImageError() : reason;
        EXPECT_FALSE(want.empty());
        EXPECT_EQ(LastLoadError(), std::string(path) + ": " + want);
    }
    const std::pair<const char*, const char*> meshes[] = {
        {"gem.xxx", "gem.xxx: no such file"},
        {"ring.bmp", "ring.bmp: not a mesh file"},
        {"folder.bmp", "folder.bmp: not a file that can be read"},
    };
    for (const auto& [path, reason] : meshes) {
        EXPECT_EQ(LoadObject(path, 0.0f, 0.0f, 0.0f), nullptr);
        EXPECT_EQ(std::string(LastLoadError()), reason);
        Object3D object(path, 0.0f, 0.0f, 0.0f);  // no mesh, and nothing fatal
        EXPECT_EQ(object.vertexCount, 0);
    }
    Object3D* gem = LoadObject("ship.xxx", 1.0f, 2.0f, 3.0f);
    ASSERT_NE(gem, nullptr);
    EXPECT_EQ(gem->vertexCount, 4);
    delete gem;

    FontSprite font(IDB_FONT_7X12, 7, 12);
    EXPECT_EQ(font.RenderText("TOO LONG", 0, 0, 4, 1), nullptr);
    EXPECT_EQ(std::string(LastLoadError()),
              "text: \"TOO LONG\" does not fit in 4 columns and 1 rows");
    EXPECT_EQ(platform::MessageBoxes().size(), 0u);
    EXPECT_EQ(fatalErrorOccurred, 0) << fatalMessage;
    EXPECT_TRUE(IsWindow(window_));

    // The test application's loads keep their box.
    CloseGame();
    Sprite missing;
    strcpy(missing.fileName, "missing.bmp");
    missing.source = SourceFile;
    EXPECT_EQ(missing.Init(0, 0, 0, 0, 0, 0, 1, 0), 0);
    ASSERT_EQ(platform::MessageBoxes().size(), 1u);
    EXPECT_EQ(platform::MessageBoxes().back().text, "Error: sprite:217");
}

// The frame time against a model of the schedule, in the tests' own time (the counter is
// pinned; Sleep moves it on): without a cap a frame takes what its work took; with a cap of
// 60 every frame with less work than a period lasts a period to the millisecond, the sum
// keeps the exact rate, and a stall starts the schedule afresh instead of a burst.
TEST_F(GameFrame, FrameTimesFollowTheCounterAndTheCap) {
    const LONGLONG second = platform::kPerformanceFrequency;
    auto frame = [&](LONGLONG work) {
        LARGE_INTEGER c;
        QueryPerformanceCounter(&c);
        platform::SetPerformanceCounter(c.QuadPart + work);
        EXPECT_EQ(PresentFrame(nullptr, nullptr, 0), 1);
        return FrameSeconds();
    };
    EXPECT_DOUBLE_EQ(frame(12345), 12345.0 / second);
    SetFrameRateCap(60);
    srand(7);
    double total = 0.0;
    for (int i = 0; i < 600; ++i) {
        const double seconds = frame(rand() % (second / 70));
        EXPECT_NEAR(seconds, 1.0 / 60, 0.001) << i;
        total += seconds;
    }
    EXPECT_NEAR(total, 10.0, 0.001);
    EXPECT_DOUBLE_EQ(frame(second / 10), 0.1);  // a stall: no sleep
    EXPECT_NEAR(frame(0), 1.0 / 60, 0.001);     // then a whole period again
    SetFrameRateCap(0);
    EXPECT_DOUBLE_EQ(frame(1), 1.0 / second);

    // The real counter: ten million ticks a second, moving in steps under a microsecond.
    platform::UseRealTime();
    LARGE_INTEGER frequency, a, b;
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(frequency.QuadPart, 10000000);
    LONGLONG smallest = second;
    for (int i = 0; i < 100; ++i) {
        QueryPerformanceCounter(&a);
        do
            QueryPerformanceCounter(&b);
        while (b.QuadPart == a.QuadPart);
        smallest = std::min(smallest, b.QuadPart - a.QuadPart);
    }
    EXPECT_LT(smallest, 10);
}

// The picture is presented at the window's client area wherever the window is, and the
// display context tells the back buffer's real format, on a 5-6-5 and on a 32-bit display.
TEST_F(GameSetUp, ThePictureFillsTheWindowInTheColourAsked) {
    for (platform::PixelKind kind : {platform::PixelKind::RGB565, platform::PixelKind::XRGB8888}) {
        DestroyWindow(window_);
        window_ = CreateWindowExA(0, "Display Test", "Game", WS_POPUP | WS_VISIBLE, 200, 100, 640,
                                  480, nullptr, nullptr, nullptr, nullptr);
        platform::MachineProfile profile = platform::ProductionProfile();
        profile.displayFormat = kind;
        platform::InstallProfile(profile);
        ASSERT_EQ(OpenGame(window_, 320, 240), 1);
        DDPIXELFORMAT format{};
        format.dwSize = sizeof format;
        DisplayContext.backBuffer->GetPixelFormat(&format);
        EXPECT_EQ(memcmp(&format, &DisplayContext.pixelFormat, sizeof format), 0);
        EXPECT_EQ(DisplayContext.pixelFormat.dwRGBBitCount,
                  kind == platform::PixelKind::RGB565 ? 16u : 32u);

        Sprite grey(0, 0, 0, 0, 320, 240, 1, 0);
        ASSERT_EQ(grey.Fill(ColorToPixel(grey.surface, RGB(128, 64, 200))), 1);
        grey.AddToDisplayList(0);
        ASSERT_EQ(PresentFrame(nullptr, nullptr, 0), 1);
        const RECT shown = backend_->LastPresentRect();
        EXPECT_EQ(shown.left, 200);
        EXPECT_EQ(shown.top, 100);
        EXPECT_EQ(shown.right, 520);
        EXPECT_EQ(shown.bottom, 340);
        // The pixels on the screen, inside and outside the window, are compared with the
        // real platform's by tests/wine/window.sh.
        CloseGame();
    }
}

// Every colour through each format's masks and back, against a plain reference: each
// channel rounded to the nearest step of its width and widened back.
TEST(GameColours, ConvertThroughTheMasksOfEachFormat) {
    struct Masks {
        DWORD bits, r, g, b;
    } formats[] = {
        {16, 0xF800, 0x07E0, 0x001F}, {16, 0x7C00, 0x03E0, 0x001F}, {32, 0xFF0000, 0xFF00, 0xFF}};
    for (const Masks& m : formats) {
        DDPIXELFORMAT format{};
        format.dwFlags = DDPF_RGB;
        format.dwRGBBitCount = m.bits;
        format.dwRBitMask = m.r, format.dwGBitMask = m.g, format.dwBBitMask = m.b;
        for (unsigned v = 0; v < 256; ++v) {
            const uint32_t pixel = ColorToPixel(format, RGB(v, 255 - v, v / 2));
            uint32_t want = 0, back = 0;
            for (auto [mask, value] : {std::pair{m.r, v}, {m.g, 255 - v}, {m.b, v / 2}}) {
                const int shift = __builtin_ctz(mask);
                const double max = mask >> shift;
                const unsigned step = static_cast<unsigned>(value * max / 255 + 0.5);
                want |= step << shift;
                back = back << 8 | static_cast<unsigned>(step * 255 / max + 0.5);
            }
            EXPECT_EQ(pixel, want);
            const COLORREF colour = PixelToColor(format, pixel);
            EXPECT_EQ((GetRValue(colour) << 16 | GetGValue(colour) << 8 | GetBValue(colour)), back);
        }
    }
}
