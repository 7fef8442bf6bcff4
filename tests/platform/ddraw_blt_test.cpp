// Blt on off-screen surfaces (copies, keys, fills, rectangles, overlap, clippers), device
// context and lock rules, and presentation through the primary surface.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "ddraw_test_support.h"
#include "platform/backend.h"
#include "platform/soft/ddraw/blit.h"
#include "platform/gdi.h"

using namespace ddtest;
using platform::blit::Isa;

namespace {

enum class Op { Copy, KeySrc, KeyDest, Fill };

// What a blit must produce, computed pixel by pixel from snapshots.
std::vector<uint32_t> Reference(std::vector<uint32_t> dst, int dstWidth,
                                const std::vector<uint32_t>& src, int srcWidth, RECT d, RECT s,
                                Op op, uint32_t key, uint32_t fill, uint32_t mask) {
    for (int y = 0; y < d.bottom - d.top; ++y)
        for (int x = 0; x < d.right - d.left; ++x) {
            uint32_t& out = dst[(d.top + y) * dstWidth + d.left + x];
            if (op == Op::Fill) {
                out = fill & mask;
                continue;
            }
            const uint32_t in = src[(s.top + y) * srcWidth + s.left + x];
            if (op == Op::KeySrc && in == key)
                continue;
            if (op == Op::KeyDest && out != key)
                continue;
            out = in;
        }
    return dst;
}

RECT RandomRect(std::mt19937& rng, int width, int height, int w, int h) {
    const int x = static_cast<int>(rng() % static_cast<unsigned>(width - w + 1));
    const int y = static_cast<int>(rng() % static_cast<unsigned>(height - h + 1));
    return RECT{x, y, x + w, y + h};
}

std::vector<Isa> Paths() {
    std::vector<Isa> paths{Isa::Scalar};
    if (platform::blit::DetectIsa() >= Isa::SSE2)
        paths.push_back(Isa::SSE2);
    if (platform::blit::DetectIsa() >= Isa::AVX2)
        paths.push_back(Isa::AVX2);
    return paths;
}

}  // namespace

// Random surfaces of odd sizes, random rectangles, every format and every blitter path.
TEST(DirectDrawBlt, CopiesKeysAndFillsMatchTheReferenceOnRandomSurfaces) {
    Device dev;
    std::mt19937 rng(1234);
    for (Isa isa : Paths()) {
        platform::blit::ForceIsa(isa);
        for (PixelKind kind : kAllKinds) {
            for (int round = 0; round < 40; ++round) {
                const int dw = 1 + static_cast<int>(rng() % 90),
                          dh = 1 + static_cast<int>(rng() % 12);
                const int sw = 1 + static_cast<int>(rng() % 90),
                          sh = 1 + static_cast<int>(rng() % 12);
                IDirectDrawSurface4* dst = MakeSurface(dev.dd4, dw, dh, kind);
                IDirectDrawSurface4* src = MakeSurface(dev.dd4, sw, sh, kind);
                const uint32_t key = rng() & Mask(kind);
                Randomise(Pixels(dst), rng, key);
                Randomise(Pixels(src), rng, key);
                DDCOLORKEY ck{key, key};
                ASSERT_EQ(src->SetColorKey(DDCKEY_SRCBLT, &ck), DD_OK);
                ASSERT_EQ(dst->SetColorKey(DDCKEY_DESTBLT, &ck), DD_OK);
                const Op op = static_cast<Op>(rng() % 4);
                const int w = 1 + static_cast<int>(rng() % static_cast<unsigned>(std::min(dw, sw)));
                const int h = 1 + static_cast<int>(rng() % static_cast<unsigned>(std::min(dh, sh)));
                RECT d = RandomRect(rng, dw, dh, w, h);
                RECT s = RandomRect(rng, sw, sh, w, h);
                const uint32_t fill = rng();
                const std::vector<uint32_t> expected = Reference(
                    Snapshot(dst), dw, Snapshot(src), sw, d, s, op, key, fill, Mask(kind));
                DDBLTFX fx{};
                fx.dwSize = sizeof fx;
                fx.dwFillColor = fill;
                HRESULT hr = DD_OK;
                switch (op) {
                    case Op::Copy:
                        hr = dst->Blt(&d, src, &s, DDBLT_WAIT, nullptr);
                        break;
                    case Op::KeySrc:
                        hr = dst->Blt(&d, src, &s, DDBLT_WAIT | DDBLT_KEYSRC, nullptr);
                        break;
                    case Op::KeyDest:
                        hr = dst->Blt(&d, src, &s, DDBLT_WAIT | DDBLT_KEYDEST, nullptr);
                        break;
                    case Op::Fill:
                        hr = dst->Blt(&d, nullptr, nullptr, DDBLT_WAIT | DDBLT_COLORFILL, &fx);
                        break;
                }
                ASSERT_EQ(hr, DD_OK);
                ASSERT_EQ(Snapshot(dst), expected)
                    << KindName(kind) << " op " << static_cast<int>(op) << " path "
                    << static_cast<int>(isa) << " " << dw << "x" << dh << " rect " << d.left << ","
                    << d.top << " " << w << "x" << h;
                dst->Release();
                src->Release();
            }
        }
    }
}

TEST(DirectDrawBlt, NullRectanglesMeanTheWholeSurface) {
    Device dev;
    IDirectDrawSurface4* dst = MakeSurface(dev.dd4, 13, 5, PixelKind::RGB565);
    IDirectDrawSurface4* src = MakeSurface(dev.dd4, 13, 5, PixelKind::RGB565);
    std::mt19937 rng(7);
    Randomise(Pixels(src), rng, 0);
    ASSERT_EQ(dst->Blt(nullptr, src, nullptr, DDBLT_WAIT, nullptr), DD_OK);
    EXPECT_EQ(Snapshot(dst), Snapshot(src));
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwFillColor = 0xF81F;
    ASSERT_EQ(dst->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
    EXPECT_EQ(Snapshot(dst), std::vector<uint32_t>(13 * 5, 0xF81F));
    // A source rectangle given with a fill is not looked at.
    RECT bogus{-5, -5, -10, -10};
    fx.dwFillColor = 0;
    EXPECT_EQ(dst->Blt(nullptr, nullptr, &bogus, DDBLT_COLORFILL, &fx), DD_OK);
    EXPECT_EQ(Snapshot(dst), std::vector<uint32_t>(13 * 5, 0));
    // Different sizes would stretch, which is not offered.
    IDirectDrawSurface4* small = MakeSurface(dev.dd4, 4, 4, PixelKind::RGB565);
    EXPECT_EQ(dst->Blt(nullptr, small, nullptr, DDBLT_WAIT, nullptr), DDERR_UNSUPPORTED);
    small->Release();
    dst->Release();
    src->Release();
}

TEST(DirectDrawBlt, BadRectanglesAreRefusedWithoutTouchingPixels) {
    Device dev;
    IDirectDrawSurface4* dst = MakeSurface(dev.dd4, 16, 8, PixelKind::RGB565);
    IDirectDrawSurface4* src = MakeSurface(dev.dd4, 16, 8, PixelKind::RGB565);
    std::mt19937 rng(3);
    Randomise(Pixels(dst), rng, 1);
    Randomise(Pixels(src), rng, 1);
    const std::vector<uint32_t> before = Snapshot(dst);
    const RECT bad[] = {
        {4, 2, 2, 6},    // right < left
        {2, 6, 6, 2},    // bottom < top
        {3, 3, 3, 6},    // empty
        {3, 3, 7, 3},    // empty
        {-1, 0, 3, 3},   // negative
        {0, -2, 3, 3},   // negative
        {10, 0, 17, 3},  // past the right edge
        {0, 5, 3, 9},    // past the bottom
        {20, 20, 23, 23},
    };
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwFillColor = 0xFFFF;
    for (RECT r : bad) {
        SCOPED_TRACE(testing::Message()
                     << r.left << "," << r.top << "," << r.right << "," << r.bottom);
        EXPECT_EQ(dst->Blt(&r, nullptr, nullptr, DDBLT_COLORFILL, &fx), DDERR_INVALIDRECT);
        // The other rectangle is never empty: an empty one is refused before sizes differ.
        RECT ok{0, 0, std::max(r.right - r.left, 1), std::max(r.bottom - r.top, 1)};
        if (ok.right <= 16 && ok.bottom <= 8) {
            EXPECT_EQ(dst->Blt(&r, src, &ok, 0, nullptr), DDERR_INVALIDRECT);
            EXPECT_EQ(dst->Blt(&ok, src, &r, 0, nullptr), DDERR_INVALIDRECT);
        }
        EXPECT_EQ(dst->Blt(&r, src, &r, 0, nullptr), DDERR_INVALIDRECT);
    }
    EXPECT_EQ(Snapshot(dst), before);
    dst->Release();
    src->Release();
}

TEST(DirectDrawBlt, KeyedBlitsNeedTheKeyTheyUse) {
    Device dev;
    IDirectDrawSurface4* dst = MakeSurface(dev.dd4, 8, 8, PixelKind::RGB565);
    IDirectDrawSurface4* src = MakeSurface(dev.dd4, 8, 8, PixelKind::RGB565);
    EXPECT_EQ(dst->Blt(nullptr, src, nullptr, DDBLT_KEYSRC, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dst->Blt(nullptr, src, nullptr, DDBLT_KEYDEST, nullptr), DDERR_INVALIDPARAMS);
    DDCOLORKEY key{0xF81F, 0xF81F};
    EXPECT_EQ(src->SetColorKey(DDCKEY_DESTBLT | DDCKEY_SRCBLT, &key), DDERR_INVALIDPARAMS);
    ASSERT_EQ(src->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
    EXPECT_EQ(dst->Blt(nullptr, src, nullptr, DDBLT_KEYSRC, nullptr), DD_OK);
    // A null key removes it again.
    ASSERT_EQ(src->SetColorKey(DDCKEY_SRCBLT, nullptr), DD_OK);
    EXPECT_EQ(dst->Blt(nullptr, src, nullptr, DDBLT_KEYSRC, nullptr), DDERR_INVALIDPARAMS);
    // Fills need their effects record; unknown flags are not offered.
    EXPECT_EQ(dst->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dst->Blt(nullptr, nullptr, nullptr, 0, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dst->Blt(nullptr, src, nullptr, 0x00000800, nullptr), DDERR_UNSUPPORTED);
    dst->Release();
    src->Release();
}

// Within one surface the result is as if the source had been read before any write.
TEST(DirectDrawBlt, OverlappingBlitsWithinOneSurfaceReadTheSourceFirst) {
    Device dev;
    std::mt19937 rng(99);
    for (DWORD flags : {DWORD{0}, DWORD{DDBLT_KEYSRC}}) {
        for (int dx : {-3, 0, 2}) {
            for (int dy : {-2, 0, 1}) {
                IDirectDrawSurface4* s = MakeSurface(dev.dd4, 20, 10, PixelKind::RGB565);
                DDCOLORKEY key{7, 7};
                s->SetColorKey(DDCKEY_SRCBLT, &key);
                Randomise(Pixels(s), rng, 7);
                RECT src{4, 3, 16, 8};
                RECT dst{src.left + dx, src.top + dy, src.right + dx, src.bottom + dy};
                const std::vector<uint32_t> before = Snapshot(s);
                const std::vector<uint32_t> expected = Reference(
                    before, 20, before, 20, dst, src, flags ? Op::KeySrc : Op::Copy, 7, 0, 0xFFFF);
                ASSERT_EQ(s->Blt(&dst, s, &src, flags, nullptr), DD_OK);
                EXPECT_EQ(Snapshot(s), expected) << flags << " " << dx << "," << dy;
                s->Release();
            }
        }
    }
}

// A clipper with no window clips to nothing: blits through it are refused. Bound to a
// window, it confines the blit to the surface instead of rejecting the rectangle.
TEST(DirectDrawBlt, AClipperWithAWindowConfinesTheBlitToTheSurfaceOneWithoutRefusesIt) {
    Device dev;
    TestWindow window(0, 0, 8, 8);
    HWND hwnd = window.hwnd;
    IDirectDrawSurface4* dst = MakeSurface(dev.dd4, 10, 10, PixelKind::RGB565);
    IDirectDrawSurface4* src = MakeSurface(dev.dd4, 6, 6, PixelKind::RGB565);
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwFillColor = 0x1111;
    src->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx);
    IDirectDrawClipper* clipper = nullptr;
    ASSERT_EQ(dev.dd4->CreateClipper(0, &clipper, nullptr), DD_OK);
    ASSERT_EQ(dst->SetClipper(clipper), DD_OK);
    clipper->Release();
    RECT d{7, -2, 13, 4};
    EXPECT_EQ(dst->Blt(&d, src, nullptr, 0, nullptr), DDERR_NOCLIPLIST);
    EXPECT_EQ(dst->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DDERR_NOCLIPLIST);
    ASSERT_EQ(clipper->SetHWnd(0, hwnd), DD_OK);
    ASSERT_EQ(dst->Blt(&d, src, nullptr, 0, nullptr), DD_OK);
    const platform::PixelBuffer b = Pixels(dst);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(Get(b, x, y), (x >= 7 && y < 4) ? 0x1111u : 0u) << x << "," << y;
    RECT backwards{5, 5, 2, 8};
    EXPECT_EQ(dst->Blt(&backwards, src, nullptr, 0, nullptr), DDERR_INVALIDRECT);
    dst->Release();
    src->Release();
}

TEST(DirectDrawSurface, DeviceContextsAndLocksExcludeEachOther) {
    Device dev;
    IDirectDrawSurface4* s = MakeSurface(dev.dd4, 8, 8, PixelKind::RGB565);
    IDirectDrawSurface4* other = MakeSurface(dev.dd4, 8, 8, PixelKind::RGB565);
    HDC dc = nullptr;
    EXPECT_EQ(s->ReleaseDC(nullptr), DDERR_NODC);
    ASSERT_EQ(s->GetDC(&dc), DD_OK);
    ASSERT_NE(dc, nullptr);
    HDC second = reinterpret_cast<HDC>(0x5);
    EXPECT_EQ(s->GetDC(&second), DDERR_DCALREADYCREATED);
    EXPECT_EQ(second, reinterpret_cast<HDC>(0x5));
    DDSURFACEDESC2 desc{};
    desc.dwSize = kSurfaceDescSize;
    EXPECT_EQ(s->Lock(nullptr, &desc, 0, nullptr), DDERR_SURFACEBUSY);
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    EXPECT_EQ(s->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DDERR_SURFACEBUSY);
    EXPECT_EQ(other->Blt(nullptr, s, nullptr, 0, nullptr), DDERR_SURFACEBUSY);
    EXPECT_EQ(s->ReleaseDC(second), DDERR_INVALIDPARAMS);
    EXPECT_EQ(s->ReleaseDC(dc), DD_OK);
    EXPECT_EQ(s->ReleaseDC(dc), DDERR_NODC);

    // A lock hands out the pixels at the rectangle and holds the surface in the same way.
    RECT r{2, 3, 5, 6};
    ASSERT_EQ(s->Lock(&r, &desc, 0, nullptr), DD_OK);
    const platform::PixelBuffer b = Pixels(s);
    EXPECT_EQ(desc.lpSurface, static_cast<uint8_t*>(b.pixels) + 3 * b.pitch + 2 * 2);
    EXPECT_EQ(desc.lPitch, b.pitch);
    EXPECT_EQ(s->GetDC(&dc), DDERR_SURFACEBUSY);
    EXPECT_EQ(s->Lock(nullptr, &desc, 0, nullptr), DDERR_SURFACEBUSY);
    EXPECT_EQ(other->Blt(nullptr, s, nullptr, 0, nullptr), DDERR_SURFACEBUSY);
    EXPECT_EQ(s->Unlock(nullptr), DD_OK);
    EXPECT_EQ(s->Unlock(nullptr), DDERR_NOTLOCKED);
    // A rectangle reaching outside is a bad parameter; an empty one is taken.
    RECT outside{6, 6, 9, 9};
    EXPECT_EQ(s->Lock(&outside, &desc, 0, nullptr), DDERR_INVALIDPARAMS);
    RECT empty{3, 3, 3, 6};
    ASSERT_EQ(s->Lock(&empty, &desc, 0, nullptr), DD_OK);
    EXPECT_EQ(desc.lpSurface, static_cast<uint8_t*>(b.pixels) + 3 * b.pitch + 3 * 2);
    EXPECT_EQ(s->Unlock(nullptr), DD_OK);
    EXPECT_EQ(other->Blt(nullptr, s, nullptr, 0, nullptr), DD_OK);
    s->Release();
    other->Release();
}

TEST(DirectDrawPrimary, WithoutAClipperTheWholeScreenIsTheLimit) {
    platform::HeadlessBackend& screen = platform::UseHeadlessBackend(40, 30);
    Device dev;
    IDirectDrawSurface4* primary = MakePrimary(dev.dd4);
    IDirectDrawSurface4* back = MakeSurface(dev.dd4, 40, 30, PixelKind::RGB565);
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwFillColor = 0xF800;  // full red
    back->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx);
    RECT r{0, 0, 39, 29};
    ASSERT_EQ(primary->Blt(&r, back, &r, DDBLT_WAIT, nullptr), DD_OK);
    EXPECT_EQ(screen.PresentCount(), 1);
    const std::vector<uint32_t>& px = screen.Screen();
    EXPECT_EQ(px[0] & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(px[28 * 40 + 38] & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(px[29 * 40 + 39] & 0xFFFFFF, 0u);  // exclusive edges: the last row stays
    RECT past{10, 10, 50, 40};
    RECT src{0, 0, 40, 30};
    EXPECT_EQ(primary->Blt(&past, back, &src, 0, nullptr), DDERR_INVALIDRECT);
    // The screen cannot be a source, filled or locked.
    EXPECT_EQ(back->Blt(nullptr, primary, nullptr, 0, nullptr), DDERR_UNSUPPORTED);
    EXPECT_EQ(primary->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DDERR_UNSUPPORTED);
    HDC dc = nullptr;
    EXPECT_EQ(primary->GetDC(&dc), DDERR_CANTCREATEDC);
    platform::PixelBuffer pb;
    EXPECT_FALSE(platform::GetPixelBuffer(primary, &pb));
    primary->Release();
    back->Release();
}

// A clipper bound to a window confines the copy to the window's rectangle on the screen.
TEST(DirectDrawPrimary, BlitsAreClippedToTheClippersWindow) {
    platform::HeadlessBackend& screen = platform::UseHeadlessBackend(64, 48);
    TestWindow window(10, 8, 30, 20);
    HWND hwnd = window.hwnd;
    Device dev;
    IDirectDrawSurface4* primary = MakePrimary(dev.dd4);
    IDirectDrawSurface4* back = MakeSurface(dev.dd4, 64, 48, PixelKind::RGB565);
    std::mt19937 rng(11);
    Randomise(Pixels(back), rng, 0);
    IDirectDrawClipper* clipper = nullptr;
    ASSERT_EQ(dev.dd4->CreateClipper(0, &clipper, nullptr), DD_OK);
    ASSERT_EQ(clipper->SetHWnd(0, hwnd), DD_OK);
    ASSERT_EQ(primary->SetClipper(clipper), DD_OK);
    clipper->Release();

    // Destination and source both start at (4, 2); the rectangle runs past the screen, which
    // a clipper allows.
    RECT d{4, 2, 70, 40};
    RECT s{0, 0, 66, 38};
    IDirectDrawSurface4* wide = MakeSurface(dev.dd4, 66, 38, PixelKind::RGB565);
    Randomise(Pixels(wide), rng, 0);
    ASSERT_EQ(primary->Blt(&d, wide, &s, DDBLT_WAIT, nullptr), DD_OK);
    EXPECT_EQ(screen.PresentCount(), 1);
    const RECT last = screen.LastPresentRect();
    EXPECT_EQ(last.left, 10);
    EXPECT_EQ(last.top, 8);
    EXPECT_EQ(last.right, 40);
    EXPECT_EQ(last.bottom, 28);
    const platform::PixelBuffer src = Pixels(wide);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool inside = x >= 10 && x < 40 && y >= 8 && y < 28;
            uint32_t want = 0;
            if (inside) {
                uint8_t r, g, b;
                platform::UnpackRGB(PixelKind::RGB565, Get(src, x - 4, y - 2), &r, &g, &b);
                want = (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
            }
            ASSERT_EQ(screen.Screen()[static_cast<size_t>(y) * 64 + x] & 0xFFFFFF, want)
                << x << "," << y;
        }
    // A window entirely off the destination rectangle gets nothing, and that is no error.
    RECT corner{0, 0, 5, 5};
    ASSERT_EQ(primary->Blt(&corner, back, &corner, 0, nullptr), DD_OK);
    EXPECT_EQ(screen.PresentCount(), 1);
    // Once the window is gone nothing of it is visible.
    DestroyWindow(hwnd);
    ASSERT_EQ(primary->Blt(&d, wide, &s, 0, nullptr), DD_OK);
    EXPECT_EQ(screen.PresentCount(), 1);
    wide->Release();
    back->Release();
    primary->Release();
}

namespace {
// Pixels read and written through Lock, which keeps the surface's change tracking intact.
std::vector<uint32_t> LockedRead(IDirectDrawSurface4* s, int w, int h) {
    DDSURFACEDESC2 desc{};
    desc.dwSize = kSurfaceDescSize;
    EXPECT_EQ(s->Lock(nullptr, &desc, 0, nullptr), DD_OK);
    std::vector<uint32_t> out;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            out.push_back(reinterpret_cast<const uint16_t*>(
                static_cast<const uint8_t*>(desc.lpSurface) + y * desc.lPitch)[x]);
    EXPECT_EQ(s->Unlock(nullptr), DD_OK);
    return out;
}

template <typename F>
void LockedWrite(IDirectDrawSurface4* s, int w, int h, F pixel) {
    DDSURFACEDESC2 desc{};
    desc.dwSize = kSurfaceDescSize;
    ASSERT_EQ(s->Lock(nullptr, &desc, 0, nullptr), DD_OK);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(desc.lpSurface) +
                                        y * desc.lPitch)[x] = static_cast<uint16_t>(pixel(x, y));
    ASSERT_EQ(s->Unlock(nullptr), DD_OK);
}
}  // namespace

// A sprite that does not change is drawn from its cached opaque runs; every way of changing
// it (a lock, a blit into it, GDI text) is seen by the next blits.
TEST(DirectDrawBlt, CachedOpaqueRunsFollowEveryChangeOfTheSprite) {
    Device dev;
    constexpr int kSw = 150, kSh = 23, kDw = 120, kDh = 40;
    constexpr uint32_t kKey = 0xF81F;
    IDirectDrawSurface4* sprite = MakeSurface(dev.dd4, kSw, kSh, PixelKind::RGB565);
    IDirectDrawSurface4* dst = MakeSurface(dev.dd4, kDw, kDh, PixelKind::RGB565);
    IDirectDrawClipper* clipper = nullptr;
    ASSERT_EQ(dev.dd4->CreateClipper(0, &clipper, nullptr), DD_OK);
    TestWindow window(0, 0, 8, 8);
    clipper->SetHWnd(0, window.hwnd);
    dst->SetClipper(clipper);
    clipper->Release();
    DDCOLORKEY key{kKey, kKey};
    ASSERT_EQ(sprite->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
    std::mt19937 rng(21);
    const platform::Surface* cache = platform::Surface::From(sprite);

    auto check = [&](const char* stage, bool cached) {
        const std::vector<uint32_t> src = LockedRead(sprite, kSw, kSh);
        for (int round = 0; round < 4; ++round) {
            // Partly outside the destination, so the clipper trims the source rectangle.
            const int x = static_cast<int>(rng() % 60) - 20, y = static_cast<int>(rng() % 30) - 8;
            RECT s{static_cast<LONG>(rng() % 10), static_cast<LONG>(rng() % 5), kSw, kSh};
            RECT d{x, y, x + s.right - s.left, y + s.bottom - s.top};
            RECT dc{std::max(0, x), std::max(0, y), std::min<LONG>(kDw, d.right),
                    std::min<LONG>(kDh, d.bottom)};
            RECT sc{s.left + (dc.left - d.left), s.top + (dc.top - d.top), 0, 0};
            sc.right = sc.left + (dc.right - dc.left);
            sc.bottom = sc.top + (dc.bottom - dc.top);
            Randomise(Pixels(dst), rng, 0);
            const std::vector<uint32_t> expected =
                Reference(Snapshot(dst), kDw, src, kSw, dc, sc, Op::KeySrc, kKey, 0, 0xFFFF);
            ASSERT_EQ(dst->Blt(&d, sprite, &s, DDBLT_KEYSRC, nullptr), DD_OK);
            ASSERT_EQ(Snapshot(dst), expected) << stage << " round " << round;
            if (round >= 1) {
                EXPECT_EQ(cache->CopiesOpaqueRuns(), cached) << stage;
            }
        }
    };

    // One long run of colour per row in a wide transparent field.
    LockedWrite(sprite, kSw, kSh,
                [](int x, int y) { return x >= 10 + y % 7 && x < 35 + y % 7 ? x * 9 + y : kKey; });
    check("first picture", true);
    // Runs that go on past the right edge the clipper cuts at: the trimmed part is opaque.
    LockedWrite(sprite, kSw, kSh, [](int x, int y) {
        return x >= 60 + y % 5 && x < 140 + y % 5 ? 0x0800 + x + y : kKey;
    });
    check("runs cut on the right", true);
    LockedWrite(sprite, kSw, kSh,
                [](int x, int y) { return x >= 50 - y && x < 70 - y ? 0x0400 + x : kKey; });
    check("after a lock", true);
    IDirectDrawSurface4* patch = MakeSurface(dev.dd4, 30, 10, PixelKind::RGB565);
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwFillColor = 0x1234;
    patch->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx);
    RECT at{40, 5, 70, 15};
    ASSERT_EQ(sprite->Blt(&at, patch, nullptr, 0, nullptr), DD_OK);
    fx.dwFillColor = kKey;
    RECT hole{0, 0, 20, 20};
    ASSERT_EQ(sprite->Blt(&hole, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
    check("after blits into it", true);
    HDC dc = nullptr;
    ASSERT_EQ(sprite->GetDC(&dc), DD_OK);
    SetBkColor(dc, RGB(255, 0, 255));
    SetTextColor(dc, RGB(255, 255, 255));
    TextOutA(dc, 2, 3, "TESTING", 7);
    ASSERT_EQ(sprite->ReleaseDC(dc), DD_OK);
    check("after text", false);  // short runs: compared instead
    patch->Release();
    sprite->Release();
    dst->Release();
}
