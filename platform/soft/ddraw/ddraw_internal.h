// What lies behind IDirectDrawSurface4: shared by the DirectDraw objects, the surface code
// and the tests that look inside surfaces.
#pragma once

#include <memory>

#include "platform/ddraw.h"
#include "platform/soft/gdi/gdi_internal.h"

namespace platform {

class Clipper final : public ComObject<IDirectDrawClipper> {
public:
    Clipper() : ComObject("IDirectDrawClipper::Release", &IID_IDirectDrawClipper) {}
    HRESULT SetHWnd(DWORD flags, HWND hwnd) override;

    HWND window() const { return hwnd_; }

private:
    ~Clipper() override = default;
    HWND hwnd_ = nullptr;
};

class Surface final : public ComObject<IDirectDrawSurface4> {
public:
    // An off-screen surface of width x height in `kind`, or the primary surface (the screen,
    // which has no memory of its own: what is blitted onto it goes to the backend).
    static HRESULT Create(bool primary, DWORD caps, int width, int height, PixelKind kind,
                          Surface** out);

    HRESULT Blt(RECT* destRect, IDirectDrawSurface4* src, RECT* srcRect, DWORD flags,
                DDBLTFX* fx) override;
    HRESULT GetDC(HDC* dc) override;
    HRESULT ReleaseDC(HDC dc) override;
    HRESULT GetPixelFormat(DDPIXELFORMAT* format) override;
    HRESULT SetColorKey(DWORD flags, DDCOLORKEY* key) override;
    HRESULT SetClipper(IDirectDrawClipper* clipper) override;
    HRESULT GetSurfaceDesc(DDSURFACEDESC2* desc) override;
    HRESULT Lock(RECT* rect, DDSURFACEDESC2* desc, DWORD flags, HANDLE event) override;
    HRESULT Unlock(RECT* rect) override;
    HRESULT AddAttachedSurface(IDirectDrawSurface4* surface) override;
    HRESULT DeleteAttachedSurface(DWORD flags, IDirectDrawSurface4* surface) override;
    HRESULT GetAttachedSurface(DDSCAPS2* caps, IDirectDrawSurface4** surface) override;

    unsigned id() const { return id_; }
    bool primary() const { return primary_; }
    PixelKind kind() const { return kind_; }
    int width() const { return width_; }
    int height() const { return height_; }
    int pitch() const { return pitch_; }
    uint8_t* pixels() const { return pixels_.get(); }
    bool busy() const { return dcHeld_ || locked_; }
    DWORD caps() const { return caps_; }
    // A depth buffer's bits per value (16 or 32; its pixels hold the depths), 0 for a
    // surface of colours.
    int depthBits() const { return depthBits_; }
    // The depth buffer attached to this surface, or null.
    Surface* attachedDepth() const { return depth_; }
    // Makes this surface a depth buffer of `bits` (right after Create, with a kind of that
    // size).
    void MakeDepth(int bits) { depthBits_ = bits; }
    PixelBuffer buffer() const {
        return PixelBuffer{pixels_.get(), pitch_, width_, height_, kind_};
    }

    // The surface behind an interface this platform made, or null.
    static Surface* From(IDirectDrawSurface4* surface);

    // Raw access to the pixels (GetPixelBuffer): changes can no longer be tracked, so the
    // surface stops caching its opaque runs.
    void GiveRawAccess();
    // Whether keyed blits from this surface currently copy cached opaque runs.
    bool CopiesOpaqueRuns() const { return runsBuilt_ && runsWorthIt_ && !rawAccess_; }

    // Fills are skipped where the pixels are known to hold the value already: the last fill
    // covered the rectangle with it and nothing has written to the surface since (a frame
    // that clears its back buffer after showing it and again before drawing pays for one
    // clear). Whether rectangle `r` holds only `value`:
    bool Holds(const RECT& r, uint32_t value) const;
    // Records a fill of `r` with `value` that has just been made.
    void Filled(const RECT& r, uint32_t value);
    // Records a write to the pixels made outside the surface's own calls (the 3D device).
    void Written() { Touched(); }
    // Records a write confined to `r` made outside the surface's own calls: the last fill's
    // rectangle still holds its value outside the rectangles so written since.
    void WrittenWithin(const RECT& r);
    // Whether rectangle `r` held only `value` before the writes since the last fill; then
    // `*stale` is the part of `r` they may have changed (empty when none).
    bool HeldBeforeWrites(const RECT& r, uint32_t value, RECT* stale) const;

private:
    Surface() : ComObject("IDirectDrawSurface4::Release", &IID_IDirectDrawSurface4) {}
    ~Surface() override;
    // A surface's Release is recorded with its number: "id=N refs=R".
    void TraceRelease(ULONG left) override;
    HRESULT BltToScreen(RECT* destRect, Surface* src, const RECT& srcRect, DWORD flags);
    void DescribeInto(DDSURFACEDESC2* desc) const;
    void DescribeFormat(DDPIXELFORMAT* format) const;
    // The pixels may have changed: the cached runs are stale.
    void Touched() {
        runsBuilt_ = false;
        keyedSinceChange_ = 0;
        solid_ = false;
        dirty_ = RECT{};
    }
    // A fill value as the pixels hold it (the low bytes of the surface's pixel size).
    uint32_t PixelValue(uint32_t value) const;
    bool UseOpaqueRuns();
    void BuildOpaqueRuns();
    void CopyOpaqueRuns(uint8_t* dst, int dstPitch, const RECT& s) const;

    unsigned id_ = 0;
    bool primary_ = false;
    DWORD caps_ = 0;
    int width_ = 0;
    int height_ = 0;
    int pitch_ = 0;
    PixelKind kind_ = PixelKind::RGB565;
    int depthBits_ = 0;
    Surface* depth_ = nullptr;  // attached depth buffer, held
    std::unique_ptr<uint8_t[]> pixels_;
    bool hasSrcKey_ = false;
    bool hasDestKey_ = false;
    DWORD srcKey_ = 0;
    DWORD destKey_ = 0;
    Clipper* clipper_ = nullptr;
    bool dcHeld_ = false;
    bool locked_ = false;
    DeviceContext dc_{};

    // The opaque runs of a source-keyed surface, row by row (start | length << 16), so that a
    // keyed blit of a sprite that does not change copies only what it shows. Storage is
    // reserved when the source key is set (never during a frame); the runs are rebuilt on
    // the second keyed blit after a change and used only when runs are long on average.
    std::unique_ptr<uint32_t[]> runs_;
    std::unique_ptr<uint32_t[]> rowRuns_;  // height + 1 offsets into runs_
    bool runsBuilt_ = false;
    bool runsWorthIt_ = false;
    bool rawAccess_ = false;
    int keyedSinceChange_ = 0;

    // The rectangle the last fill covered and its value, while nothing else has written.
    bool solid_ = false;
    RECT dirty_{};  // written since the last fill (empty: nothing)
    RECT solidRect_{};
    uint32_t solidValue_ = 0;
};

// The display's size: the backend's screen.
void DisplaySize(int* width, int* height);
// The number the next surface will get (surfaces are numbered from 1 in creation order).
unsigned NextSurfaceId();
unsigned TakeSurfaceId();
// Fill a DDPIXELFORMAT for a pixel kind (dwSize 32).
void DescribePixelFormat(PixelKind kind, DDPIXELFORMAT* format);

}  // namespace platform
