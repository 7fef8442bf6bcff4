// DirectDraw surfaces: system-memory pixels in one of the display formats, blits with
// colour keys and fills, device contexts for GDI, locks, and the primary surface, whose
// blits go to the screen through the backend.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>
#include <typeinfo>

#include "platform/backend.h"
#include "platform/soft/ddraw/blit.h"
#include "platform/soft/ddraw/ddraw_internal.h"

namespace platform {

namespace {

int primaryCount = 0;  // the screen has one primary surface at a time

bool InsideSurface(const RECT& r, int width, int height) {
    return r.left >= 0 && r.top >= 0 && r.right > r.left && r.bottom > r.top && r.right <= width &&
           r.bottom <= height;
}

bool Intersect(const RECT& a, const RECT& b, RECT* out) {
    out->left = std::max(a.left, b.left);
    out->top = std::max(a.top, b.top);
    out->right = std::min(a.right, b.right);
    out->bottom = std::min(a.bottom, b.bottom);
    return out->right > out->left && out->bottom > out->top;
}

// A clipper with neither a window nor a clip list clips to nothing: blits through it fail.
bool WithoutClipList(const Clipper* clipper) {
    return clipper && !clipper->window();
}

bool Overlap(const RECT& a, const RECT& b) {
    RECT r;
    return Intersect(a, b, &r);
}

inline uint32_t LoadPixel(const uint8_t* p, int bpp) {
    switch (bpp) {
        case 1:
            return *p;
        case 2: {
            uint16_t v;
            std::memcpy(&v, p, 2);
            return v;
        }
        default: {
            uint32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }
    }
}

inline void StorePixel(uint8_t* p, int bpp, uint32_t v) {
    switch (bpp) {
        case 1:
            *p = static_cast<uint8_t>(v);
            return;
        case 2: {
            const uint16_t s = static_cast<uint16_t>(v);
            std::memcpy(p, &s, 2);
            return;
        }
        default:
            std::memcpy(p, &v, 4);
            return;
    }
}

// The careful path: a blit within one surface whose rectangles overlap, or with both keys.
// Rows and pixels are visited in the order that reads every source pixel before it is
// overwritten.
void BltGeneric(uint8_t* dstBase, int dstPitch, const uint8_t* srcBase, int srcPitch, int width,
                int height, int bpp, bool keySrc, uint32_t srcKey, bool keyDest, uint32_t destKey,
                bool bottomUp, bool rightToLeft) {
    const uint32_t mask = bpp == 4 ? 0xFFFFFFFFu : ((1u << (8 * bpp)) - 1);
    srcKey &= mask;
    destKey &= mask;
    for (int i = 0; i < height; ++i) {
        const int y = bottomUp ? height - 1 - i : i;
        uint8_t* d = dstBase + static_cast<ptrdiff_t>(y) * dstPitch;
        const uint8_t* s = srcBase + static_cast<ptrdiff_t>(y) * srcPitch;
        if (!keySrc && !keyDest) {
            std::memmove(d, s, static_cast<size_t>(width) * static_cast<size_t>(bpp));
            continue;
        }
        for (int j = 0; j < width; ++j) {
            const int x = rightToLeft ? width - 1 - j : j;
            const uint32_t sp = LoadPixel(s + x * bpp, bpp);
            if (keySrc && sp == srcKey)
                continue;
            if (keyDest && LoadPixel(d + x * bpp, bpp) != destKey)
                continue;
            StorePixel(d + x * bpp, bpp, sp);
        }
    }
}

}  // namespace

// Surface is final, so comparing the dynamic type is exact and cheaper than a cast search.
Surface* Surface::From(IDirectDrawSurface4* surface) {
    if (!surface || typeid(*surface) != typeid(Surface))
        return nullptr;
    return static_cast<Surface*>(surface);
}

HRESULT Surface::Create(bool primary, DWORD caps, int width, int height, PixelKind kind,
                        Surface** out) {
    *out = nullptr;
    if (primary && primaryCount > 0)
        return DDERR_PRIMARYSURFACEALREADYEXISTS;
    Surface* s = new (std::nothrow) Surface();
    if (!s)
        return DDERR_OUTOFMEMORY;
    s->primary_ = primary;
    s->caps_ = caps;
    s->width_ = width;
    s->height_ = height;
    s->kind_ = kind;
    const int bpp = BytesPerPixel(kind);
    s->pitch_ = (width * bpp + 3) & ~3;  // rows start on 4-byte boundaries
    if (!primary) {
        const size_t bytes = static_cast<size_t>(s->pitch_) * static_cast<size_t>(height);
        s->pixels_.reset(new (std::nothrow) uint8_t[bytes]());
        if (!s->pixels_) {
            delete s;
            return DDERR_OUTOFMEMORY;
        }
    } else {
        ++primaryCount;
    }
    s->id_ = TakeSurfaceId();
    *out = s;
    return DD_OK;
}

Surface::~Surface() {
    if (primary_)
        --primaryCount;
    if (clipper_)
        clipper_->Release();
    if (depth_)
        depth_->Release();
}

void Surface::TraceRelease(ULONG left) {
    // Release cannot fail; the hook only records it (with what will be left).
    (void)PLATFORM_HOOK("IDirectDrawSurface4::Release", "id=%u refs=%u", id_, left);
}

HRESULT Surface::Blt(RECT* destRect, IDirectDrawSurface4* srcInterface, RECT* srcRect, DWORD flags,
                     DDBLTFX* fx) {
    Surface* src = srcInterface ? From(srcInterface) : nullptr;
    HRESULT hr = PLATFORM_HOOK("IDirectDrawSurface4::Blt", "id=%u src=%u flags=0x%08x", id_,
                               src ? src->id_ : 0, flags);
    if (hr != 0)
        return hr;
    constexpr DWORD kKnown = DDBLT_COLORFILL | DDBLT_KEYDEST | DDBLT_KEYSRC | DDBLT_WAIT;
    if (flags & ~kKnown)
        return DDERR_UNSUPPORTED;
    if (srcInterface && !src)
        return DDERR_INVALIDPARAMS;
    // Depth buffers hold depths, not colours: they are written by the 3D device only.
    if (depthBits_ || (src && src->depthBits_))
        return DDERR_UNSUPPORTED;
    const int bpp = BytesPerPixel(kind_);

    if (flags & DDBLT_COLORFILL) {
        if (!fx || fx->dwSize != sizeof(DDBLTFX) || (flags & (DDBLT_KEYSRC | DDBLT_KEYDEST)))
            return DDERR_INVALIDPARAMS;
        if (primary_)
            return DDERR_UNSUPPORTED;
        if (busy())
            return DDERR_SURFACEBUSY;
        RECT d{0, 0, width_, height_};
        if (destRect && (destRect->right <= destRect->left || destRect->bottom <= destRect->top))
            return DDERR_INVALIDRECT;
        if (WithoutClipList(clipper_))
            return DDERR_NOCLIPLIST;
        if (destRect) {
            d = *destRect;
            if (clipper_) {
                if (!Intersect(d, RECT{0, 0, width_, height_}, &d))
                    return DD_OK;
            } else if (!InsideSurface(d, width_, height_)) {
                return DDERR_INVALIDRECT;
            }
        }
        if (Holds(d, fx->dwFillColor))
            return DD_OK;
        blit::Fill(blit::Rows{pixels_.get() + d.top * pitch_ + d.left * bpp, pitch_},
                   d.right - d.left, d.bottom - d.top, bpp, fx->dwFillColor);
        Filled(d, fx->dwFillColor);
        return DD_OK;
    }

    if (!src)
        return DDERR_INVALIDPARAMS;
    if (src->primary_)
        return DDERR_UNSUPPORTED;  // the screen cannot be read back
    if (busy() || src->busy())
        return DDERR_SURFACEBUSY;
    const bool keySrc = (flags & DDBLT_KEYSRC) != 0;
    const bool keyDest = (flags & DDBLT_KEYDEST) != 0;
    if ((keySrc && !src->hasSrcKey_) || (keyDest && !hasDestKey_))
        return DDERR_INVALIDPARAMS;
    RECT s{0, 0, src->width_, src->height_};
    if (srcRect) {
        s = *srcRect;
        if (!InsideSurface(s, src->width_, src->height_))
            return DDERR_INVALIDRECT;
    }
    if (primary_) {
        if (keySrc || keyDest)
            return DDERR_UNSUPPORTED;
        return BltToScreen(destRect, src, s, flags);
    }
    if (src->kind_ != kind_)
        return DDERR_INVALIDPIXELFORMAT;

    RECT d{0, 0, width_, height_};
    if (destRect)
        d = *destRect;
    if (d.right <= d.left || d.bottom <= d.top)
        return DDERR_INVALIDRECT;
    if (WithoutClipList(clipper_))
        return DDERR_NOCLIPLIST;
    if (d.right - d.left != s.right - s.left || d.bottom - d.top != s.bottom - s.top)
        return DDERR_UNSUPPORTED;  // no stretching
    if (clipper_) {
        // A clipper confines the blit to the surface instead of rejecting the rectangle.
        RECT c;
        if (!Intersect(d, RECT{0, 0, width_, height_}, &c))
            return DD_OK;
        s.left += c.left - d.left;
        s.top += c.top - d.top;
        s.right -= d.right - c.right;
        s.bottom -= d.bottom - c.bottom;
        d = c;
    } else if (!InsideSurface(d, width_, height_)) {
        return DDERR_INVALIDRECT;
    }

    const int w = d.right - d.left;
    const int h = d.bottom - d.top;
    uint8_t* dp = pixels_.get() + d.top * pitch_ + d.left * bpp;
    const uint8_t* sp = src->pixels_.get() + s.top * src->pitch_ + s.left * bpp;
    Touched();
    if ((src == this && Overlap(d, s)) || (keySrc && keyDest)) {
        BltGeneric(dp, pitch_, sp, src->pitch_, w, h, bpp, keySrc, src->srcKey_, keyDest, destKey_,
                   src == this && d.top > s.top, src == this && d.left > s.left);
        return DD_OK;
    }
    const blit::Rows dr{dp, pitch_};
    const blit::ConstRows sr{sp, src->pitch_};
    if (keySrc && src != this && src->UseOpaqueRuns())
        src->CopyOpaqueRuns(dp, pitch_, s);
    else if (keySrc)
        blit::CopyKeySrc(dr, sr, w, h, bpp, src->srcKey_);
    else if (keyDest)
        blit::CopyKeyDest(dr, sr, w, h, bpp, destKey_);
    else
        blit::Copy(dr, sr, w, h, bpp);
    return DD_OK;
}

uint32_t Surface::PixelValue(uint32_t value) const {
    const int bpp = BytesPerPixel(kind_);
    return bpp >= 4 ? value : value & ((1u << (8 * bpp)) - 1);
}

bool Surface::Holds(const RECT& r, uint32_t value) const {
    return solid_ && solidValue_ == PixelValue(value) && r.left >= solidRect_.left &&
           r.top >= solidRect_.top && r.right <= solidRect_.right && r.bottom <= solidRect_.bottom;
}

void Surface::Filled(const RECT& r, uint32_t value) {
    Touched();
    // Pixels given out raw can change behind the surface's back: nothing is known of them.
    if (rawAccess_)
        return;
    solid_ = true;
    solidRect_ = r;
    solidValue_ = PixelValue(value);
}

void Surface::GiveRawAccess() {
    rawAccess_ = true;
    Touched();
}

bool Surface::UseOpaqueRuns() {
    if (rawAccess_ || !runs_)
        return false;
    if (!runsBuilt_) {
        // A surface that changes between every two blits is not worth the scan.
        if (++keyedSinceChange_ < 2)
            return false;
        BuildOpaqueRuns();
    }
    return runsWorthIt_;
}

void Surface::BuildOpaqueRuns() {
    const int bpp = BytesPerPixel(kind_);
    const uint32_t mask = bpp == 4 ? 0xFFFFFFFFu : ((1u << (8 * bpp)) - 1);
    const uint32_t key = srcKey_ & mask;
    uint32_t n = 0;
    uint64_t opaque = 0;
    for (int y = 0; y < height_; ++y) {
        rowRuns_[y] = n;
        const uint8_t* row = pixels_.get() + static_cast<ptrdiff_t>(y) * pitch_;
        int x = 0;
        while (x < width_) {
            while (x < width_ && LoadPixel(row + x * bpp, bpp) == key)
                ++x;
            const int start = x;
            while (x < width_ && LoadPixel(row + x * bpp, bpp) != key)
                ++x;
            if (x > start) {
                runs_[n++] =
                    static_cast<uint32_t>(start) | (static_cast<uint32_t>(x - start) << 16);
                opaque += static_cast<uint64_t>(x - start);
            }
        }
    }
    rowRuns_[height_] = n;
    runsBuilt_ = true;
    // Each run costs about as much as comparing 64 pixels (measured with the benchmark's
    // sprites); where runs are short and many, comparing every pixel is faster.
    runsWorthIt_ = opaque + 64u * n < static_cast<uint64_t>(width_) * height_;
}

void Surface::CopyOpaqueRuns(uint8_t* dst, int dstPitch, const RECT& s) const {
    blit::CopyRuns(blit::Rows{dst, dstPitch}, blit::ConstRows{pixels_.get(), pitch_},
                   blit::RunTable{runs_.get(), rowRuns_.get()}, s.left, s.top, s.right, s.bottom,
                   BytesPerPixel(kind_));
}

// The primary surface is the screen: the part of the destination inside the window the
// clipper is bound to (or inside the screen, without a clipper) is handed to the backend.
HRESULT Surface::BltToScreen(RECT* destRect, Surface* src, const RECT& s, DWORD flags) {
    int sw = 0, sh = 0;
    DisplaySize(&sw, &sh);
    const RECT screen{0, 0, sw, sh};
    RECT d = destRect ? *destRect : screen;
    if (d.right <= d.left || d.bottom <= d.top)
        return DDERR_INVALIDRECT;
    if (WithoutClipList(clipper_))
        return DDERR_NOCLIPLIST;
    if (d.right - d.left != s.right - s.left || d.bottom - d.top != s.bottom - s.top)
        return DDERR_UNSUPPORTED;
    RECT clip = screen;
    if (clipper_) {
        RECT window;
        if (!GetWindowRect(clipper_->window(), &window))
            return DD_OK;  // the window is gone: nothing of it is visible
        if (!Intersect(clip, window, &clip))
            return DD_OK;
    } else if (!InsideSurface(d, sw, sh)) {
        return DDERR_INVALIDRECT;
    }
    // A picture larger than the screen shows only in part: said once (with the size of the
    // surface it comes from), the run goes on.
    static bool toldTooSmall = false;
    if (!toldTooSmall && (d.right - d.left > sw || d.bottom - d.top > sh)) {
        toldTooSmall = true;
        fprintf(stderr,
                "Game Library: the screen (%dx%d) is smaller than the %ldx%ld picture; only part "
                "of it is shown\n",
                sw, sh, static_cast<long>(src->width_), static_cast<long>(src->height_));
    }
    RECT c;
    if (!Intersect(d, clip, &c))
        return DD_OK;
    const int bpp = BytesPerPixel(src->kind_);
    const int sx = s.left + (c.left - d.left);
    const int sy = s.top + (c.top - d.top);
    const PixelView view{src->pixels_.get() + sy * src->pitch_ + sx * bpp, src->pitch_,
                         c.right - c.left, c.bottom - c.top, src->kind_};
    CurrentBackend().Present(view, c.left, c.top);
    return DD_OK;
}

HRESULT Surface::GetDC(HDC* dc) {
    HRESULT hr = PLATFORM_HOOK("IDirectDrawSurface4::GetDC", "id=%u", id_);
    if (hr != 0)
        return hr;
    if (!dc)
        return DDERR_INVALIDPARAMS;
    if (dcHeld_)
        return DDERR_DCALREADYCREATED;
    if (locked_)
        return DDERR_SURFACEBUSY;
    if (primary_ || depthBits_)
        return DDERR_CANTCREATEDC;
    // A fresh device context each time, with GDI's defaults.
    dc_ = DeviceContext{};
    dc_.kind = DcKind::Surface;
    dc_.target = buffer();
    dcHeld_ = true;
    Touched();
    *dc = ToHandle(&dc_);
    return DD_OK;
}

HRESULT Surface::ReleaseDC(HDC dc) {
    HRESULT hr = PLATFORM_HOOK("IDirectDrawSurface4::ReleaseDC", "id=%u", id_);
    if (hr != 0)
        return hr;
    if (!dcHeld_)
        return DDERR_NODC;
    if (dc != ToHandle(&dc_))
        return DDERR_INVALIDPARAMS;
    dcHeld_ = false;
    Touched();
    dc_.target = PixelBuffer{};  // a stale handle draws nothing
    return DD_OK;
}

HRESULT Surface::GetPixelFormat(DDPIXELFORMAT* format) {
    HRESULT hr = PLATFORM_HOOK("IDirectDrawSurface4::GetPixelFormat", "id=%u", id_);
    if (hr != 0)
        return hr;
    if (!format || format->dwSize != sizeof(DDPIXELFORMAT))
        return DDERR_INVALIDPARAMS;
    DescribeFormat(format);
    return DD_OK;
}

void Surface::DescribeFormat(DDPIXELFORMAT* format) const {
    if (!depthBits_) {
        DescribePixelFormat(kind_, format);
        return;
    }
    std::memset(format, 0, sizeof *format);
    format->dwSize = sizeof(DDPIXELFORMAT);
    format->dwFlags = DDPF_ZBUFFER;
    format->dwZBufferBitDepth = static_cast<DWORD>(depthBits_);
    format->dwZBitMask = depthBits_ == 32 ? 0xFFFFFFFFu : 0xFFFFu;
}

HRESULT Surface::AddAttachedSurface(IDirectDrawSurface4* surface) {
    Surface* s = From(surface);
    HRESULT hr = PLATFORM_HOOK("IDirectDrawSurface4::AddAttachedSurface", "id=%u surface=%u", id_,
                               s ? s->id_ : 0);
    if (hr != 0)
        return hr;
    if (!s)
        return DDERR_INVALIDPARAMS;
    // Only a depth buffer of the same size, onto a surface of colours, once.
    if (s == this || !s->depthBits_ || depthBits_ || primary_ || s->width_ != width_ ||
        s->height_ != height_)
        return DDERR_CANNOTATTACHSURFACE;
    if (depth_)
        return DDERR_SURFACEALREADYATTACHED;
    s->AddRef();
    depth_ = s;
    return DD_OK;
}

HRESULT Surface::DeleteAttachedSurface(DWORD flags, IDirectDrawSurface4* surface) {
    Surface* s = From(surface);
    HRESULT hr = PLATFORM_HOOK("IDirectDrawSurface4::DeleteAttachedSurface", "id=%u surface=%u",
                               id_, s ? s->id_ : 0);
    if (hr != 0)
        return hr;
    if (flags != 0 || (surface && !s))
        return DDERR_INVALIDPARAMS;
    // Null detaches whatever is attached.
    if (!depth_ || (s && s != depth_))
        return DDERR_SURFACENOTATTACHED;
    depth_->Release();
    depth_ = nullptr;
    return DD_OK;
}

HRESULT Surface::GetAttachedSurface(DDSCAPS2* caps, IDirectDrawSurface4** surface) {
    HRESULT hr = PLATFORM_HOOK("IDirectDrawSurface4::GetAttachedSurface", "id=%u caps=0x%08x", id_,
                               caps ? caps->dwCaps : 0);
    if (hr != 0)
        return hr;
    if (!caps || !surface)
        return DDERR_INVALIDPARAMS;
    *surface = nullptr;
    if (!depth_ || (caps->dwCaps & ~depth_->caps_) != 0)
        return DDERR_NOTFOUND;
    depth_->AddRef();
    *surface = depth_;
    return DD_OK;
}

HRESULT Surface::SetColorKey(DWORD flags, DDCOLORKEY* key) {
    HRESULT hr = PLATFORM_HOOK("IDirectDrawSurface4::SetColorKey", "id=%u flags=0x%08x key=0x%08x",
                               id_, flags, key ? key->dwColorSpaceLowValue : 0);
    if (hr != 0)
        return hr;
    // Only the low value counts: keys are single pixel values here.
    if (flags == DDCKEY_SRCBLT) {
        hasSrcKey_ = key != nullptr;
        srcKey_ = key ? key->dwColorSpaceLowValue : 0;
        Touched();
        if (hasSrcKey_ && !runs_ && !primary_) {
            // At most one run per two pixels, plus the row table.
            const size_t perRow = static_cast<size_t>(width_ + 1) / 2;
            runs_.reset(new (std::nothrow) uint32_t[perRow * static_cast<size_t>(height_)]);
            rowRuns_.reset(new (std::nothrow) uint32_t[static_cast<size_t>(height_) + 1]);
            if (!runs_ || !rowRuns_) {
                runs_.reset();
                rowRuns_.reset();
            }
        }
        return DD_OK;
    }
    if (flags == DDCKEY_DESTBLT) {
        hasDestKey_ = key != nullptr;
        destKey_ = key ? key->dwColorSpaceLowValue : 0;
        return DD_OK;
    }
    return DDERR_INVALIDPARAMS;
}

HRESULT Surface::SetClipper(IDirectDrawClipper* clipper) {
    HRESULT hr = PLATFORM_HOOK("IDirectDrawSurface4::SetClipper", "id=%u clipper=%p", id_,
                               static_cast<void*>(clipper));
    if (hr != 0)
        return hr;
    Clipper* c = clipper ? dynamic_cast<Clipper*>(clipper) : nullptr;
    if (clipper && !c)
        return DDERR_INVALIDPARAMS;
    if (c)
        c->AddRef();
    if (clipper_)
        clipper_->Release();
    clipper_ = c;
    return DD_OK;
}

void Surface::DescribeInto(DDSURFACEDESC2* desc) const {
    std::memset(desc, 0, sizeof *desc);
    desc->dwSize = kSurfaceDescSize;
    desc->dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT;
    desc->dwWidth = static_cast<DWORD>(width_);
    desc->dwHeight = static_cast<DWORD>(height_);
    desc->lPitch = pitch_;
    DescribeFormat(&desc->ddpfPixelFormat);
    // Every surface lives in system memory; a request for video memory is only recorded.
    desc->ddsCaps.dwCaps = caps_;
    if (!(caps_ & (DDSCAPS_SYSTEMMEMORY | DDSCAPS_VIDEOMEMORY)))
        desc->ddsCaps.dwCaps |= DDSCAPS_SYSTEMMEMORY;
    if (hasSrcKey_) {
        desc->dwFlags |= DDSD_CKSRCBLT;
        desc->ddckCKSrcBlt = DDCOLORKEY{srcKey_, srcKey_};
    }
    if (hasDestKey_) {
        desc->dwFlags |= DDSD_CKDESTBLT;
        desc->ddckCKDestBlt = DDCOLORKEY{destKey_, destKey_};
    }
}

HRESULT Surface::GetSurfaceDesc(DDSURFACEDESC2* desc) {
    HRESULT hr = PLATFORM_HOOK("IDirectDrawSurface4::GetSurfaceDesc", "id=%u", id_);
    if (hr != 0)
        return hr;
    if (!desc || desc->dwSize != kSurfaceDescSize)
        return DDERR_INVALIDPARAMS;
    DescribeInto(desc);
    return DD_OK;
}

HRESULT Surface::Lock(RECT* rect, DDSURFACEDESC2* desc, DWORD flags, HANDLE event) {
    HRESULT hr = PLATFORM_HOOK("IDirectDrawSurface4::Lock", "id=%u flags=0x%08x", id_, flags);
    if (hr != 0)
        return hr;
    if (!desc || desc->dwSize != kSurfaceDescSize)
        return DDERR_INVALIDPARAMS;
    if (primary_)
        return DDERR_UNSUPPORTED;  // the screen's pixels are the backend's
    if (busy())
        return DDERR_SURFACEBUSY;
    RECT r{0, 0, width_, height_};
    if (rect) {
        // An empty rectangle inside the surface is taken (the pointer lands on its corner);
        // one reaching outside, or turned over, is a bad parameter rather than a bad rectangle.
        r = *rect;
        if (r.left < 0 || r.top < 0 || r.right < r.left || r.bottom < r.top || r.right > width_ ||
            r.bottom > height_)
            return DDERR_INVALIDPARAMS;
    }
    DescribeInto(desc);
    desc->lpSurface = pixels_.get() + r.top * pitch_ + r.left * BytesPerPixel(kind_);
    locked_ = true;
    Touched();
    return DD_OK;
}

HRESULT Surface::Unlock(RECT* rect) {
    HRESULT hr = PLATFORM_HOOK("IDirectDrawSurface4::Unlock", "id=%u", id_);
    if (hr != 0)
        return hr;
    if (!locked_)
        return DDERR_NOTLOCKED;
    locked_ = false;
    Touched();
    return DD_OK;
}

}  // namespace platform
