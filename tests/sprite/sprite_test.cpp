// Sprites on a software display: loading, frames, destruction, error boxes, clipped draws,
// copies and fills.
#include <algorithm>
#include <string>
#include <vector>

#include "directx/diag.h"
#include "machine.h"
#include "platform/soft/gdi/gdi_internal.h"
#include "resources/resource_ids.h"
#include "support/test_support.h"

namespace {

std::vector<IDirectDrawSurface4*> FrameSurfaces(const Sprite& s) {
    std::vector<IDirectDrawSurface4*> out;
    for (SpriteFrame* f = s.frames; f; f = f->next)
        out.push_back(f->surface);
    return out;
}

// The strip as the surfaces see it: the embedded bitmap converted to 5-6-5.
uint32_t StripPixel(uint16_t id, int x, int y) {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    platform::Bitmap b;
    std::string why;
    EXPECT_TRUE(platform::FindEmbeddedBitmap(id, &bytes, &size));
    EXPECT_TRUE(platform::DecodeBmp(bytes, size, &b, &why));
    return platform::BitmapColourToPixel(platform::PixelKind::RGB565,
                                         b.pixels[static_cast<size_t>(y * b.width + x)]);
}

void ExpectBox(const char* text, const char* caption) {
    const auto& boxes = platform::MessageBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().text, text);
    EXPECT_EQ(boxes.back().caption, caption);
    EXPECT_EQ(boxes.back().type, MB_OK);
}

}  // namespace

using SpriteLoad = SpriteMachine;

TEST_F(SpriteLoad, StripIsCutIntoEqualFramesAndLeftoverColumnsAreUnused) {
    Sprite strip(IDB_FONT_749, 3, 4, 2, 0, 0, 94, 0);
    EXPECT_EQ(strip.width, 7);  // 749 / 94, 91 columns unused
    EXPECT_EQ(strip.height, 14);
    EXPECT_EQ(strip.frameCount, 94);
    const auto surfaces = FrameSurfaces(strip);
    ASSERT_EQ(surfaces.size(), 94u);
    EXPECT_EQ(strip.surface, surfaces[0]);
    for (int frame : {0, 1, 93})
        for (int y = 0; y < 14; ++y)
            for (int x = 0; x < 7; ++x)
                ASSERT_EQ(Pixel(surfaces[frame], x, y), StripPixel(IDB_FONT_749, frame * 7 + x, y))
                    << frame << " " << x << "," << y;
    EXPECT_EQ(strip.destRect.left, 3);
    EXPECT_EQ(strip.destRect.bottom, 18);
    EXPECT_EQ(strip.srcRect.right, 7);
    EXPECT_EQ(strip.frames->shareCount, 1);
}

TEST_F(SpriteLoad, LoadedSpriteWithZeroOrOneFrameTakesTheWholeBitmap) {
    for (uint16_t count : {0, 1}) {
        Sprite s(IDB_CROSSHAIR, 304, 224, 0, 5, 5, count, 0);
        EXPECT_EQ(s.frameCount, count);
        EXPECT_EQ(s.width, 64);  // the bitmap's size, not the arguments
        EXPECT_EQ(s.height, 64);
        EXPECT_EQ(FrameSurfaces(s).size(), 1u);
        EXPECT_EQ(s.source, SourceResource);
        EXPECT_EQ(s.clip.left, 0);
        EXPECT_EQ(s.clip.top, 0);
        EXPECT_EQ(s.clip.right, 639);
        EXPECT_EQ(s.clip.bottom, 479);
        EXPECT_EQ(SpriteMachine::Pixel(s.surface, 0, 0), kKey);
    }
}

TEST_F(SpriteLoad, BlankSpritesGetTheirFramesAndZeroFramesMeansOne) {
    Sprite blank(0, 5, 6, 2, 30, 20, 3, 0);
    EXPECT_EQ(blank.source, SourceNone);
    EXPECT_EQ(blank.frameCount, 3);
    const auto surfaces = FrameSurfaces(blank);
    ASSERT_EQ(surfaces.size(), 3u);
    for (IDirectDrawSurface4* s : surfaces) {
        DDSURFACEDESC2 desc{};
        desc.dwSize = kSurfaceDescSize;
        ASSERT_EQ(s->GetSurfaceDesc(&desc), DD_OK);
        EXPECT_EQ(desc.dwWidth, 30u);
        EXPECT_EQ(desc.dwHeight, 20u);
    }
    EXPECT_EQ(blank.surface, surfaces[0]);
    EXPECT_EQ(blank.layer, 2);
    EXPECT_EQ(blank.destRect.right, 35);
    EXPECT_EQ(blank.destRect.bottom, 26);

    Sprite none(0, 0, 0, 0, 8, 8, 0, 0);
    EXPECT_EQ(FrameSurfaces(none).size(), 1u);
    EXPECT_NE(none.surface, nullptr);
}

TEST_F(SpriteLoad, DestructionReleasesEverySurfaceOnceAndLeavesTheListAlone) {
    Sprite* strip = new Sprite(IDB_GAUGE_RED, 0, 0, 0, 0, 0, 4, 0);
    Sprite other(0, 0, 0, 0, 4, 4, 1, 0);
    other.AddToDisplayList(0);
    const auto surfaces = FrameSurfaces(*strip);
    ASSERT_EQ(surfaces.size(), 4u);
    for (IDirectDrawSurface4* s : surfaces)
        s->AddRef();  // keep them alive to count what the sprite gives back
    platform::StartTrace();
    delete strip;
    platform::StopTrace();
    EXPECT_EQ(platform::TraceOps("IDirectDrawSurface4::Release").size(), 4u);
    for (IDirectDrawSurface4* s : surfaces)
        EXPECT_EQ(s->Release(), 0u);  // the sprite had released its own reference
    EXPECT_EQ(displayList::head, &other);
    EXPECT_EQ(displayList::tail, &other);
}

TEST_F(SpriteLoad, SharedFramesAreReleasedByTheLastOwner) {
    Sprite* first = new Sprite(IDB_CROSSHAIR, 0, 0, 0, 0, 0, 1, 0);
    Sprite* second = new Sprite();
    second->frames = first->frames;
    first->frames->shareCount = 2;
    ASSERT_EQ(second->Init(0, 10, 20, 0, 5, 5, 1, 0), 1);
    EXPECT_EQ(second->width, 0);  // shared frames keep the size the list was built with
    EXPECT_EQ(second->surface, first->surface);
    IDirectDrawSurface4* surface = first->surface;
    surface->AddRef();
    delete first;
    EXPECT_EQ(OtherRefs(surface), 2u);  // still held by the list
    delete second;
    EXPECT_EQ(surface->Release(), 0u);
}

class SpriteFileTest : public testing_support::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        SpriteMachine::StartMachine();
        IDirectDrawSurface4* probe = CreateSpriteSurface(1, 1, 0);
        if (!probe)
            GTEST_SKIP() << "CreateSpriteSurface makes no surfaces in this build";
        probe->Release();
    }
    void TearDown() override {
        SpriteMachine::StopMachine();
        TempDirTest::TearDown();
    }
};

TEST_F(SpriteFileTest, LoadsAFileNamedBeforeInit) {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    ASSERT_TRUE(platform::FindEmbeddedBitmap(IDB_GAUGE_GREEN, &bytes, &size));
    testing_support::WriteFile("bar.bmp", std::string(reinterpret_cast<const char*>(bytes), size));
    Sprite s;
    s.source = SourceFile;
    std::strcpy(s.fileName, "bar.bmp");
    ASSERT_EQ(s.Init(0, 0, 0, 0, 0, 0, 2, 0), 1);
    EXPECT_EQ(s.source, SourceFile);
    EXPECT_EQ(s.width, 50);
    EXPECT_EQ(FrameSurfaces(s).size(), 2u);

    Sprite missing;
    missing.source = SourceFile;
    std::strcpy(missing.fileName, "nothere.bmp");
    EXPECT_EQ(missing.Init(0, 0, 0, 0, 0, 0, 1, 0), 0);
    EXPECT_EQ(missing.surface, nullptr);
}

// A top-down file is read into a DIB section: right side up, and its header may ask for
// a longer palette than the file holds before its rows (the rest reads as black).
TEST_F(SpriteFileTest, TopDownFileIsReadRightSideUp) {
    std::string file = "BM" + std::string(68, '\0');
    const auto put = [&](size_t at, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            file[at + i] = static_cast<char>(v >> (8 * i));
    };
    put(2, 70, 4), put(10, 62, 4), put(14, 40, 4), put(18, 2, 4);
    put(22, static_cast<uint32_t>(-2), 4), put(26, 1, 2), put(28, 8, 2);
    put(54, 0x000000FF, 4), put(58, 0x00FF0000, 4);  // blue, red; no more colours
    put(62, 0x0001, 2);                              // top row: red, blue; bottom: blue
    testing_support::WriteFile("top.bmp", file);
    Sprite s;
    s.source = SourceFile;
    std::strcpy(s.fileName, "top.bmp");
    ASSERT_EQ(s.Init(0, 0, 0, 0, 0, 0, 1, 0), 1);
    ASSERT_EQ(s.height, 2);
    EXPECT_EQ(SpriteMachine::Pixel(s.surface, 0, 0), 0xF800u);
    EXPECT_EQ(SpriteMachine::Pixel(s.surface, 1, 0), 0x001Fu);
    EXPECT_EQ(SpriteMachine::Pixel(s.surface, 0, 1), 0x001Fu);
}

using SpriteErrors = SpriteMachine;

TEST_F(SpriteErrors, LoadFailuresShowTheirBoxes) {
    platform::FailCall("LoadImageA", 1, E_FAIL);
    platform::StartTrace();
    Sprite a(IDB_CROSSHAIR, 0, 0, 0, 0, 0, 1, 0);
    platform::StopTrace();
    ExpectBox("Error: sprite:217", "ERROR");
    EXPECT_EQ(a.surface, nullptr);
    // The display goes back to GDI before the box, so the box can be seen.
    const auto ops = platform::TraceOps();
    const auto flip = std::find(ops.begin(), ops.end(), "IDirectDraw4::FlipToGDISurface");
    const auto box = std::find(ops.begin(), ops.end(), "MessageBoxA");
    EXPECT_TRUE(flip < box && box != ops.end());

    platform::FailCall("LoadImageA", 1, E_FAIL);
    Sprite b(IDB_FONT_7X11, 0, 0, 0, 0, 0, 94, 0);
    ExpectBox("Error loading image sprite:272", "ERROR");

    // A failed copy lets go of the memory DC and the bitmap before its box waits on the user.
    auto expectReleasedBeforeTheBox = [] {
        const auto traced = platform::TraceOps();
        platform::StopTrace();
        const auto boxAt = std::find(traced.begin(), traced.end(), "MessageBoxA");
        ASSERT_NE(boxAt, traced.end());
        EXPECT_EQ(std::count(traced.begin(), boxAt, "DeleteDC"), 1);
        EXPECT_EQ(std::count(traced.begin(), boxAt, "DeleteObject"), 1);
        EXPECT_EQ(std::count(boxAt, traced.end(), "DeleteDC"), 0);
    };
    platform::FailCall("StretchBlt", 1, E_FAIL);
    platform::StartTrace();
    Sprite c(IDB_CROSSHAIR, 0, 0, 0, 0, 0, 1, 0);
    expectReleasedBeforeTheBox();
    ExpectBox("ERROR", "Error: sprite:245");
    EXPECT_EQ(c.surface, nullptr);  // never drawn

    // The strip stops at the frame whose copy failed.
    platform::FailCall("StretchBlt", 2, E_FAIL);
    platform::StartTrace();
    Sprite d(IDB_GAUGE_BLUE, 0, 0, 0, 0, 0, 5, 0);
    expectReleasedBeforeTheBox();
    ExpectBox("ERROR", "Error: sprite:324");
    EXPECT_EQ(FrameSurfaces(d).size(), 2u);

    // A memory DC that cannot be made fails quietly.
    const size_t shown = platform::MessageBoxes().size();
    platform::FailCall("CreateCompatibleDC", 1, E_FAIL);
    Sprite e(IDB_CROSSHAIR, 0, 0, 0, 0, 0, 1, 0);
    EXPECT_EQ(e.surface, nullptr);
    EXPECT_EQ(platform::MessageBoxes().size(), shown);
    EXPECT_EQ(fatalErrorOccurred, 0);
}

TEST_F(SpriteErrors, SurfaceCreationFailuresShowTheirBoxesAfterTheReport) {
    platform::FailCall("IDirectDraw4::CreateSurface", 2, DDERR_OUTOFVIDEOMEMORY);
    Sprite blank(0, 0, 0, 0, 10, 10, 3, 0);
    ExpectBox("ERROR", "Error: sprite:149");
    EXPECT_EQ(blank.surface, nullptr);
    EXPECT_EQ(fatalErrorOccurred, 1);
    EXPECT_NE(std::string(errorReport).find("DDERR_OUTOFVIDEOMEMORY"), std::string::npos);

    // A load lets go of its memory DC and bitmap before the report, whose box comes from the
    // fatal path's DestroyWindow.
    auto expectReleasedBeforeTheReport = [] {
        const auto traced = platform::TraceOps();
        platform::StopTrace();
        const auto reportAt = std::find(traced.begin(), traced.end(), "DestroyWindow");
        ASSERT_NE(reportAt, traced.end());
        EXPECT_EQ(std::count(traced.begin(), reportAt, "DeleteDC"), 1);
        EXPECT_EQ(std::count(traced.begin(), reportAt, "DeleteObject"), 1);
    };
    platform::FailCall("IDirectDraw4::CreateSurface", 3, DDERR_OUTOFVIDEOMEMORY);
    platform::StartTrace();
    Sprite strip(IDB_FONT_7X11, 0, 0, 0, 0, 0, 94, 0);
    expectReleasedBeforeTheReport();
    ExpectBox("ERROR", "Error: sprite:307");

    platform::FailCall("IDirectDraw4::CreateSurface", 1, DDERR_OUTOFVIDEOMEMORY);
    platform::StartTrace();
    Sprite single(IDB_CROSSHAIR, 0, 0, 0, 0, 0, 1, 0);
    expectReleasedBeforeTheReport();
    EXPECT_EQ(single.surface, nullptr);
}

TEST_F(SpriteErrors, DeviceContextFailuresAreReportedWithTheirLines) {
    const struct {
        const char* op;
        uint16_t frames;
        const char* report;
    } cases[] = {
        {"IDirectDrawSurface4::GetDC", 1,
         "DirectDraw Error DDERR_CANTCREATEDC\nin file sprite at line 234"},
        {"IDirectDrawSurface4::ReleaseDC", 1,
         "DirectDraw Error DDERR_CANTCREATEDC\nin file sprite at line 237"},
        {"IDirectDrawSurface4::GetDC", 3,
         "DirectDraw Error DDERR_CANTCREATEDC\nin file sprite at line 311"},
        {"IDirectDrawSurface4::ReleaseDC", 3,
         "DirectDraw Error DDERR_CANTCREATEDC\nin file sprite at line 314"},
    };
    for (const auto& c : cases) {
        platform::FailCall(c.op, 1, DDERR_CANTCREATEDC);
        Sprite s(IDB_GAUGE_GREEN, 0, 0, 0, 0, 0, c.frames, 0);
        EXPECT_EQ(s.surface, nullptr);
        EXPECT_EQ(std::string(errorReport), c.report);
        platform::ResetHooks();
    }
}

using SpriteDraw = SpriteMachine;

TEST_F(SpriteDraw, PartlyClippedBarsKeepSourceAndDestinationTheSameSize) {
    constexpr uint32_t kGreen = 0x07E0, kRed = 0xF800, kBlue = 0x001F;
    // The 57-pixel bar.
    Sprite bar(0, 0, 400, 0, 100, 10, 1, 0);
    bar.Fill(kGreen);
    bar.SetClipRect(0, 400, 57, 410);
    // Wider than its clip on both sides: source columns 10 to 60 land on 0 to 50.
    Sprite wide(0, -10, 0, 0, 100, 10, 1, 0);
    wide.Fill(kGreen);
    FillRect(wide.surface, RECT{10, 0, 11, 10}, kRed);
    FillRect(wide.surface, RECT{59, 0, 60, 10}, kBlue);
    wide.SetClipRect(0, 0, 50, 479);
    bar.AddToDisplayList(0);
    wide.AddToDisplayList(0);
    DrawDisplayList();
    EXPECT_EQ(Back(0, 405), kGreen);
    EXPECT_EQ(Back(56, 409), kGreen);
    EXPECT_EQ(Back(57, 405), 0u);
    EXPECT_EQ(Back(0, 410), 0u);
    EXPECT_EQ(Back(0, 5), kRed);
    EXPECT_EQ(Back(49, 5), kBlue);
    EXPECT_EQ(Back(50, 5), 0u);
}

TEST_F(SpriteDraw, TheScreensLastColumnAndRowAreNeverCovered) {
    constexpr uint32_t kWhite = 0xFFFF, kRed = 0xF800;
    Sprite inside(0, 629, 100, 0, 10, 10, 1, 0);  // x + width = 639: wholly inside
    Sprite edge(0, 630, 200, 0, 10, 10, 1, 0);    // x + width = 640: loses its last column
    Sprite top(0, 100, -5, 0, 10, 10, 1, 0);      // its rows 5 to 9 land on rows 0 to 4
    Sprite bottom(0, 200, 470, 0, 10, 10, 1, 0);  // y + height = 480: loses its last row
    for (Sprite* s : {&inside, &edge, &top, &bottom}) {
        s->Fill(kWhite);
        FillRect(s->surface, RECT{0, 5, 10, 6}, kRed);  // row 5 tells the rows apart
    }
    EXPECT_EQ(inside.ClassifyClip(inside.clip), ClipInside);
    for (Sprite* s : {&inside, &edge, &top, &bottom})
        s->AddToDisplayList(0);
    DrawDisplayList();
    EXPECT_EQ(Back(638, 104), kWhite);
    EXPECT_EQ(Back(638, 204), kWhite);
    EXPECT_EQ(Back(639, 204), 0u);
    EXPECT_EQ(Back(630, 209), kWhite);
    EXPECT_EQ(Back(100, 0), kRed);
    EXPECT_EQ(Back(109, 4), kWhite);
    EXPECT_EQ(Back(100, 5), 0u);
    EXPECT_EQ(Back(200, 475), kRed);
    EXPECT_EQ(Back(209, 478), kWhite);
    EXPECT_EQ(Back(200, 479), 0u);
}

TEST_F(SpriteDraw, DestinationKeyingDrawsAndCopiesOnlyOverTheKey) {
    // The display keys the destination: the back buffer carries the key, sprites none.
    DisplayContext.hardwareDestColorKey = 1;
    DDCOLORKEY key{kKey, kKey};
    ASSERT_EQ(DisplayContext.backBuffer->SetColorKey(DDCKEY_DESTBLT, &key), DD_OK);
    FillRect(DisplayContext.backBuffer, RECT{10, 10, 15, 20}, kKey);
    Sprite white(0, 10, 10, 0, 10, 10, 1, 0);
    white.Fill(0xFFFF);
    white.AddToDisplayList(0);
    DrawDisplayList();
    EXPECT_EQ(Back(14, 19), 0xFFFFu);
    EXPECT_EQ(Back(15, 10), 0u);

    Sprite target(0, 0, 0, 0, 8, 4, 1, 0);
    target.Fill(0x001F);
    FillRect(target.surface, RECT{0, 0, 4, 4}, kKey);
    ASSERT_EQ(target.surface->SetColorKey(DDCKEY_DESTBLT, &key), DD_OK);
    EXPECT_EQ(white.CopyTo(&target, 0, 0, 8, 4, 0, 0), 0);
    EXPECT_EQ(Pixel(target.surface, 3, 3), 0xFFFFu);
    EXPECT_EQ(Pixel(target.surface, 4, 0), 0x001Fu);
    EXPECT_EQ(fatalErrorOccurred, 0);
}

TEST_F(SpriteDraw, MagentaIsTransparentAndLowerLayersCoverHigherOnes) {
    Sprite bar(IDB_GAUGE_RED, 10, 10, 1, 0, 0, 1, 0);
    Sprite under(0, 10, 10, 5, 100, 10, 1, 0);
    under.Fill(0x001F);
    under.AddToDisplayList(0);
    bar.AddToDisplayList(0);
    DrawDisplayList();
    EXPECT_EQ(Back(10, 12), 0xF800u);  // red stripe on top
    EXPECT_EQ(Back(11, 12), 0x001Fu);  // magenta column shows the blue sprite below
}

TEST_F(SpriteDraw, FailedSpritesAreSkippedAndBlitErrorsReported) {
    platform::FailCall("LoadImageA", 1, E_FAIL);
    Sprite failed(IDB_CROSSHAIR, 0, 0, 0, 0, 0, 1, 0);
    Sprite target(0, 0, 0, 0, 20, 20, 1, 0);
    EXPECT_EQ(failed.Fill(0), 0);
    EXPECT_EQ(failed.CopyTo(&target, 0, 0, 5, 5, 0, 0), 0);
    failed.Draw();
    EXPECT_EQ(fatalErrorOccurred, 0);

    platform::FailCall("IDirectDrawSurface4::Blt", 1, DDERR_SURFACELOST);
    target.AddToDisplayList(0);
    DrawDisplayList();
    EXPECT_EQ(std::string(errorReport),
              "DirectDraw Error DDERR_SURFACELOST\nin file sprite at line 550");
    platform::FailCall("IDirectDrawSurface4::Blt", 1, DDERR_SURFACELOST);
    Sprite source(0, 0, 0, 0, 5, 5, 1, 0);
    EXPECT_EQ(source.CopyTo(&target, 0, 0, 5, 5, 0, 0), 0);
    EXPECT_EQ(std::string(errorReport),
              "DirectDraw Error DDERR_SURFACELOST\nin file sprite at line 689");
    platform::FailCall("IDirectDrawSurface4::Blt", 1, DDERR_SURFACELOST);
    EXPECT_EQ(target.Fill(0), 0);
    EXPECT_EQ(std::string(errorReport),
              "DirectDraw Error DDERR_SURFACELOST\nin file sprite at line 875");
}

TEST_F(SpriteDraw, CopyToRefusesToOverrunItsTarget) {
    Sprite font(0, 0, 0, 0, 70, 11, 1, 0);
    Sprite text(0, 0, 0, 0, 49, 11, 1, 0);
    font.Fill(0xFFFF);
    text.Fill(kKey);
    EXPECT_EQ(font.CopyTo(&text, 0, 0, 7, 11, 42, 0), 0);
    EXPECT_EQ(Pixel(text.surface, 48, 10), 0xFFFFu);
    EXPECT_EQ(font.destRect.left, 42);
    EXPECT_EQ(font.destRect.right, 49);
    EXPECT_EQ(font.CopyTo(&text, 0, 0, 7, 11, 49, 0), -99);
    ExpectBox("Source sprite overran dest sprite", "ERROR");
    EXPECT_EQ(font.CopyTo(&text, 0, 0, 7, 11, 0, 11), -99);
    EXPECT_EQ(platform::MessageBoxes().size(), 2u);
}
