// The headless backend: an in-memory XRGB8888 screen, a scripted event queue and a
// recorded window, for tests and benchmarks. Also the choice of the current backend.
//
// A present of a 16-bit picture is only copied, as it is, into a screen-sized copy in its own
// format (made once, at the first such present); the conversion into the 32-bit screen waits
// until the screen is read. The rectangles presented since the last read are remembered in
// order, so the read converts exactly the pixels presented, each from its latest picture.
#include <deque>
#include <memory>

#include "platform/backend.h"
#include "platform/soft/ddraw/blit.h"
#include "platform/soft/ddraw/pixels.h"
#include "platform/soft/user/window_internal.h"

namespace platform {

namespace {

std::unique_ptr<Backend>& Installed() {
    static std::unique_ptr<Backend>* installed = new std::unique_ptr<Backend>();
    return *installed;
}

struct ScriptedEvent {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

}  // namespace

struct HeadlessBackend::Impl {
    int width;
    int height;
    std::vector<uint32_t> screen;
    std::deque<ScriptedEvent> script;
    bool windowExists = false;
    bool windowVisible = false;
    bool cursorShown = true;
    std::string title;
    RECT windowRect{};
    int presentCount = 0;
    RECT lastPresent{};

    // Presented 16-bit pixels not yet converted into `screen`: `pending` (oldest first)
    // lists where, `held` holds them in `heldKind` at their screen position.
    static constexpr int kMaxPending = 8;
    std::unique_ptr<uint16_t[]> held;
    PixelKind heldKind = PixelKind::RGB565;
    RECT pending[kMaxPending];
    int pendingCount = 0;

    uint32_t* ScreenAt(int x, int y) { return screen.data() + static_cast<size_t>(y) * width + x; }
    // Converts the pending rectangles into the screen. Where they overlap, the held pixels
    // are the later picture's, which the screen would show after converting each present.
    void Convert() {
        for (int i = 0; i < pendingCount; ++i) {
            const RECT& r = pending[i];
            const PixelView part{held.get() + static_cast<size_t>(r.top) * width + r.left,
                                 width * 2, r.right - r.left, r.bottom - r.top, heldKind};
            ConvertToXRGB8888(part, ScreenAt(r.left, r.top), width * 4);
        }
        pendingCount = 0;
    }
    // Keeps a clipped 16-bit rectangle to be converted when the screen is read.
    void Hold(const PixelView& part, const RECT& r) {
        if (pendingCount > 0 && heldKind != part.kind)
            Convert();
        if (!held)
            held.reset(new uint16_t[static_cast<size_t>(width) * height]);
        heldKind = part.kind;
        blit::Copy(blit::Rows{reinterpret_cast<uint8_t*>(
                                  held.get() + static_cast<size_t>(r.top) * width + r.left),
                              width * 2},
                   blit::ConstRows{static_cast<const uint8_t*>(part.pixels), part.pitch},
                   part.width, part.height, 2);
        // Rectangles the new one covers need no conversion of their own any more.
        int kept = 0;
        for (int i = 0; i < pendingCount; ++i) {
            const RECT& p = pending[i];
            if (!(p.left >= r.left && p.top >= r.top && p.right <= r.right && p.bottom <= r.bottom))
                pending[kept++] = p;
        }
        pendingCount = kept;
        if (pendingCount == kMaxPending)
            Convert();
        pending[pendingCount++] = r;
    }
};

HeadlessBackend::HeadlessBackend(int screenWidth, int screenHeight) : impl_(new Impl) {
    impl_->width = screenWidth > 0 ? screenWidth : 1;
    impl_->height = screenHeight > 0 ? screenHeight : 1;
    impl_->screen.assign(static_cast<size_t>(impl_->width) * impl_->height, 0u);
}

HeadlessBackend::~HeadlessBackend() {
    delete impl_;
}

bool HeadlessBackend::Open(std::string*) {
    return true;
}

void HeadlessBackend::ScreenSize(int* width, int* height) {
    *width = impl_->width;
    *height = impl_->height;
}

bool HeadlessBackend::CreateWindow(const char* title, int x, int y, int width, int height) {
    impl_->windowExists = true;
    impl_->windowVisible = false;
    impl_->title = title ? title : "";
    impl_->windowRect = RECT{x, y, x + width, y + height};
    return true;
}

void HeadlessBackend::ShowWindow(bool show) {
    impl_->windowVisible = show && impl_->windowExists;
}

void HeadlessBackend::DestroyWindow() {
    impl_->windowExists = false;
    impl_->windowVisible = false;
    if (onDestroyWindow)
        onDestroyWindow();
}

void HeadlessBackend::ShowCursor(bool show) {
    impl_->cursorShown = show;
}

void HeadlessBackend::PumpEvents(const PostFn& post) {
    if (onPump)
        onPump();
    // Only the events present now: anything scripted by a handler waits for the next pump.
    size_t n = impl_->script.size();
    for (size_t i = 0; i < n && !impl_->script.empty(); ++i) {
        ScriptedEvent e = impl_->script.front();
        impl_->script.pop_front();
        post(e.message, e.wParam, e.lParam);
    }
}

void HeadlessBackend::WaitEvent() {
    if (!impl_->script.empty())
        return;
    if (onIdleWait) {
        onIdleWait();
        return;
    }
    // Nothing will ever arrive: ask the window to close so a run cannot hang. With no
    // window left to close, end the loop with a code that tells the run stalled.
    if (impl_->windowExists)
        Script(WM_SYSCOMMAND, SC_CLOSE, 0);
    else
        Script(WM_QUIT, 99, 0);
}

void HeadlessBackend::Present(const PixelView& src, int x, int y) {
    // Clip to the screen (the caller normally has already).
    int left = x < 0 ? 0 : x, top = y < 0 ? 0 : y;
    int right = x + src.width, bottom = y + src.height;
    if (right > impl_->width)
        right = impl_->width;
    if (bottom > impl_->height)
        bottom = impl_->height;
    ++impl_->presentCount;
    if (right <= left || bottom <= top) {
        impl_->lastPresent = RECT{left, top, left, top};
        return;
    }
    int bpp = BytesPerPixel(src.kind);
    PixelView part = src;
    part.pixels = static_cast<const uint8_t*>(src.pixels) +
                  static_cast<ptrdiff_t>(top - y) * src.pitch + (left - x) * bpp;
    part.width = right - left;
    part.height = bottom - top;
    const RECT rect{left, top, right, bottom};
    impl_->lastPresent = rect;
    if (bpp == 2) {
        impl_->Hold(part, rect);
        return;
    }
    impl_->Convert();  // earlier pictures first
    ConvertToXRGB8888(part, impl_->ScreenAt(left, top), impl_->width * 4);
}

bool HeadlessBackend::MessageBox(const char*, const char*) {
    return true;  // the window layer has recorded it; a headless box is dismissed at once
}

void HeadlessBackend::Script(UINT message, WPARAM wParam, LPARAM lParam) {
    impl_->script.push_back(ScriptedEvent{message, wParam, lParam});
}

const std::vector<uint32_t>& HeadlessBackend::Screen() const {
    impl_->Convert();
    return impl_->screen;
}
int HeadlessBackend::ScreenWidth() const {
    return impl_->width;
}
int HeadlessBackend::ScreenHeight() const {
    return impl_->height;
}
bool HeadlessBackend::WindowExists() const {
    return impl_->windowExists;
}
bool HeadlessBackend::WindowVisible() const {
    return impl_->windowVisible;
}
std::string HeadlessBackend::WindowTitle() const {
    return impl_->title;
}
RECT HeadlessBackend::WindowRect() const {
    return impl_->windowRect;
}
int HeadlessBackend::PresentCount() const {
    return impl_->presentCount;
}
RECT HeadlessBackend::LastPresentRect() const {
    return impl_->lastPresent;
}

void InstallBackend(std::unique_ptr<Backend> backend) {
    // The old backend's window belongs to the old run: forget it with the window system.
    ResetWindowSystem();
    ForgetOpenedBackend();
    Installed() = std::move(backend);
}

Backend& CurrentBackend() {
    auto& installed = Installed();
    if (!installed)
        installed = std::make_unique<HeadlessBackend>(1024, 768);
    return *installed;
}

HeadlessBackend& UseHeadlessBackend(int screenWidth, int screenHeight) {
    auto backend = std::make_unique<HeadlessBackend>(screenWidth, screenHeight);
    HeadlessBackend& ref = *backend;
    InstallBackend(std::move(backend));
    return ref;
}

}  // namespace platform
