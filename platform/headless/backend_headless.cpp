// The headless backend: an in-memory XRGB8888 screen, a scripted event queue and a
// recorded window, for tests and benchmarks. Also the choice of the current backend.
#include <cstring>
#include <deque>
#include <memory>

#include "platform/backend.h"
#include "platform/soft/pixels.h"
#include "platform/soft/window_internal.h"

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
    uint32_t* dst = impl_->screen.data() + static_cast<size_t>(top) * impl_->width + left;
    ConvertToXRGB8888(part, dst, impl_->width * 4);
    impl_->lastPresent = RECT{left, top, right, bottom};
}

bool HeadlessBackend::MessageBox(const char*, const char*) {
    return true;  // the window layer has recorded it; a headless box is dismissed at once
}

void HeadlessBackend::Script(UINT message, WPARAM wParam, LPARAM lParam) {
    impl_->script.push_back(ScriptedEvent{message, wParam, lParam});
}

const std::vector<uint32_t>& HeadlessBackend::Screen() const {
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
