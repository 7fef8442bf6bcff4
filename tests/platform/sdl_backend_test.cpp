// The SDL2 backend on SDL's own offscreen video driver (asked for explicitly): window,
// events turned into window messages, and presentation into the window surface. SDL's video
// belongs to the backend's own thread: the test looks at SDL's window there (SdlCall), and
// pushes events from here (SDL's event queue takes them from any thread).
#include <SDL.h>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/backend.h"
#include "platform/sdl/sdl_internal.h"
#include "platform/win.h"

namespace {

LRESULT Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

class SdlBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        platform::UseSdlBackend();
        WNDCLASSA wc{};
        wc.lpfnWndProc = Proc;
        wc.lpszClassName = "SDL Test";
        RegisterClassA(&wc);
        width_ = GetSystemMetrics(SM_CXSCREEN);
        height_ = GetSystemMetrics(SM_CYSCREEN);
        ASSERT_GT(width_, 0);
        ASSERT_GT(height_, 0);
        hwnd_ = CreateWindowExA(0, "SDL Test", "Game Library", WS_POPUP, 0, 0, width_, height_,
                                nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(hwnd_, nullptr);
        ShowWindow(hwnd_, SW_SHOW);
    }
    // Only on the SDL thread.
    static SDL_Window* Window() {
        for (Uint32 id = 0; id < 16; ++id)
            if (SDL_Window* w = SDL_GetWindowFromID(id))
                return w;
        return nullptr;
    }
    static void Push(Uint32 type, SDL_Keycode key, Uint8 repeat = 0) {
        SDL_Event e{};
        e.type = type;
        e.key.keysym.sym = key;
        e.key.repeat = repeat;
        SDL_PushEvent(&e);
    }
    static void PushWindowEvent(Uint8 event) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.event = event;
        SDL_PushEvent(&e);
    }
    // The next message, waiting for it: events reach the queue from the SDL thread.
    static MSG Next() {
        MSG msg{};
        EXPECT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
        return msg;
    }
    int width_ = 0, height_ = 0;
    HWND hwnd_ = nullptr;
};

TEST_F(SdlBackendTest, WindowIsBorderlessAtTheOriginWithTheDisplaysSize) {
    platform::SdlCall([&] {
        SDL_Window* w = Window();
        ASSERT_NE(w, nullptr);
        EXPECT_STREQ(SDL_GetWindowTitle(w), "Game Library");
        EXPECT_TRUE(SDL_GetWindowFlags(w) & SDL_WINDOW_BORDERLESS);
        int x = -1, y = -1, cw = 0, ch = 0;
        SDL_GetWindowPosition(w, &x, &y);
        SDL_GetWindowSize(w, &cw, &ch);
        EXPECT_EQ(x, 0);
        EXPECT_EQ(y, 0);
        EXPECT_EQ(cw, width_);
        EXPECT_EQ(ch, height_);
    });
    DestroyWindow(hwnd_);
    bool gone = false;
    platform::SdlCall([&] { gone = Window() == nullptr; });
    EXPECT_TRUE(gone);
}

TEST_F(SdlBackendTest, KeysFocusAndCloseBecomeWindowMessages) {
    // Whatever the window's creation brought is skipped up to a marker key.
    Push(SDL_KEYDOWN, SDLK_F12);
    for (MSG m = Next(); !(m.message == WM_KEYDOWN && m.wParam == VK_F1 + 11); m = Next()) {
    }
    Push(SDL_KEYDOWN, SDLK_LEFT);
    Push(SDL_KEYDOWN, SDLK_LEFT, 1);  // auto-repeat: another key-down
    Push(SDL_KEYUP, SDLK_LEFT);
    Push(SDL_KEYDOWN, SDLK_ESCAPE);
    Push(SDL_KEYDOWN, SDLK_a);
    Push(SDL_KEYDOWN, SDLK_7);
    Push(SDL_KEYDOWN, SDLK_F5);
    Push(SDL_KEYDOWN, SDLK_PAGEDOWN);
    Push(SDL_KEYDOWN, SDLK_KP_3);
    Push(SDL_KEYDOWN, SDLK_SPACE);
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    PushWindowEvent(SDL_WINDOWEVENT_CLOSE);
    const struct {
        UINT message;
        WPARAM wParam;
    } expected[] = {
        {WM_KEYDOWN, VK_LEFT},     {WM_KEYDOWN, VK_LEFT}, {WM_KEYUP, VK_LEFT},
        {WM_KEYDOWN, VK_ESCAPE},   {WM_KEYDOWN, 'A'},     {WM_KEYDOWN, '7'},
        {WM_KEYDOWN, VK_F1 + 4},   {WM_KEYDOWN, VK_NEXT}, {WM_KEYDOWN, VK_NUMPAD0 + 3},
        {WM_KEYDOWN, VK_SPACE},    {WM_ACTIVATEAPP, 0},   {WM_ACTIVATEAPP, 1},
        {WM_SYSCOMMAND, SC_CLOSE},
    };
    for (const auto& e : expected) {
        MSG msg = Next();
        EXPECT_EQ(msg.message, e.message);
        EXPECT_EQ(msg.wParam, e.wParam);
        EXPECT_EQ(msg.hwnd, hwnd_);
    }
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    MSG msg = Next();
    EXPECT_EQ(msg.message, WM_SYSCOMMAND);
    EXPECT_EQ(msg.wParam, SC_CLOSE);
}

TEST_F(SdlBackendTest, PresentConvertsTheRectangleIntoTheWindowSurface) {
    uint16_t pixels[3 * 2];
    for (auto& p : pixels)
        p = 0x07E0;  // pure green in 5-6-5
    platform::PixelView view{pixels, 6, 3, 2, platform::PixelKind::RGB565};
    platform::CurrentBackend().Present(view, 10, 20);
    // The picture is copied when handed over: the caller may clear its buffer at once.
    for (auto& p : pixels)
        p = 0;
    // The colour at (x, y) of the window surface, read on the SDL thread once every picture
    // handed over is shown.
    auto at = [&](int x, int y) {
        int colour = -1;
        platform::SdlCall([&] {
            SDL_Surface* s = SDL_GetWindowSurface(Window());
            ASSERT_NE(s, nullptr);
            ASSERT_EQ(s->format->BytesPerPixel, 4);
            const auto* row = static_cast<const uint8_t*>(s->pixels) + y * s->pitch;
            Uint32 v = reinterpret_cast<const Uint32*>(row)[x];
            Uint8 r, g, b;
            SDL_GetRGB(v, s->format, &r, &g, &b);
            colour = (r << 16) | (g << 8) | b;
        });
        return colour;
    };
    EXPECT_EQ(at(10, 20), 0x00FF00);
    EXPECT_EQ(at(12, 21), 0x00FF00);
    EXPECT_EQ(at(13, 21), 0);
    EXPECT_EQ(at(10, 22), 0);
    // A rectangle reaching past the window is clipped, not written outside.
    for (auto& p : pixels)
        p = 0xF800;  // pure red
    platform::CurrentBackend().Present(view, width_ - 1, height_ - 1);
    EXPECT_EQ(at(width_ - 1, height_ - 1), 0xFF0000);
    // Pictures handed over faster than they are shown are all shown, in order: the last
    // one is on the surface.
    for (int i = 0; i < 50; ++i) {
        for (auto& p : pixels)
            p = static_cast<uint16_t>(i % 2 ? 0x001F : 0x07E0);
        platform::CurrentBackend().Present(view, 100, 100);
    }
    EXPECT_EQ(at(100, 100), 0x0000FF);
    EXPECT_EQ(at(102, 101), 0x0000FF);
}

TEST_F(SdlBackendTest, AWindowThatCannotShowThePictureSaysSoOnceAndEndsTheRun) {
    MSG drain;
    while (PeekMessageA(&drain, nullptr, 0, 0, PM_REMOVE)) {
    }
    platform::FailCall("SDL_GetWindowSurface", 1, E_FAIL);
    uint16_t pixel = 0x07E0;
    platform::PixelView view{&pixel, 2, 1, 1, platform::PixelKind::RGB565};
    testing::internal::CaptureStderr();
    platform::CurrentBackend().Present(view, 0, 0);
    platform::CurrentBackend().Present(view, 0, 0);  // said once
    platform::SdlCall([] {});                        // both pictures have been taken up
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Game Library: the window cannot show the picture: the window has no surface\n");
    platform::ResetHooks();
    // The next pump posts the quit message with exit code 1.
    MSG msg{};
    bool quit = false;
    while (!quit && GetMessageA(&msg, nullptr, 0, 0) >= 0)
        quit = msg.message == WM_QUIT;
    EXPECT_TRUE(quit);
    EXPECT_EQ(msg.wParam, 1u);
}

// Without room for a thread's stack, starting the signal watcher or the backend's thread
// ends the process with one line and exit code 1; so does an exception escaping on SDL's
// thread while the program's thread waits for it, and an exit called there, which cannot
// wait for that thread to shut SDL down (the alarm ends a run that waits).
TEST_F(SdlBackendTest, NoThreadOrAFailureOnItEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // the child needs the backend's thread
    const auto noRoomForAThread = [] {
        platform::UseSdlBackend();              // the old backend's thread ends; its stack is kept
        std::thread([] { pause(); }).detach();  // and taken here
        long pages = 0;  // the address space in use, and 1 MB more: no room for a stack
        FILE* statm = fopen("/proc/self/statm", "r");
        if (fscanf(statm, "%ld", &pages) != 1)
            exit(2);
        const rlimit limit{static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE) + (1 << 20)),
                           RLIM_INFINITY};
        setrlimit(RLIMIT_AS, &limit);
    };
    const char* const noThread = "Game Library: cannot start a thread \\(.*\\); the game ends.";
    EXPECT_EXIT((noRoomForAThread(), platform::EndOnTerminationSignals()),
                ::testing::ExitedWithCode(1), noThread);
    EXPECT_EXIT((noRoomForAThread(), GetSystemMetrics(SM_CXSCREEN)), ::testing::ExitedWithCode(1),
                noThread);
    EXPECT_EXIT(
        (platform::EndOnTerminationSignals(), platform::SdlCall([] { throw std::bad_alloc(); })),
        ::testing::ExitedWithCode(1), "Game Library: out of memory; the game ends.");
    EXPECT_EXIT((alarm(10), platform::SdlCall([] { exit(3); })), ::testing::ExitedWithCode(1), "");
}

// The message ring against a plain model of its policy, on random traffic (keys of three
// codes pressed, repeated and released, focus changes, closes) with the program taking
// messages at random moments, so the ring is often full and wraps around.
TEST(SdlEventRingTest, AFullRingGivesUpRepeatsFirstAndKeepsClosesAgainstAModel) {
    using Ring = platform::sdl::EventRing<8>;
    using E = Ring::Event;
    auto rank = [](const E& e) {
        if (e.message == WM_MOUSEMOVE)
            return 0;
        if (e.message == WM_KEYDOWN)
            return (e.lParam & 0x40000000) ? 0 : 1;
        return e.message == WM_KEYUP ? 1 : e.message == WM_ACTIVATEAPP ? 2 : 3;
    };
    auto fields = [](const E& e) { return std::make_tuple(e.message, e.wParam, e.lParam); };
    std::mt19937 random(17);
    for (int run = 0; run < 200; ++run) {
        Ring ring;
        std::deque<E> model;
        for (int step = 0; step < 300; ++step) {
            const int what = static_cast<int>(random() % 19);
            if (what < 3) {
                E got{};
                ASSERT_EQ(ring.Pop(&got), !model.empty());
                if (!model.empty()) {
                    ASSERT_EQ(fields(got), fields(model.front()));
                    model.pop_front();
                }
                continue;
            }
            const WPARAM key = 'A' + random() % 3;
            const E e = what < 9    ? E{WM_KEYDOWN, key, 0x40000001}
                        : what < 12 ? E{WM_KEYDOWN, key, 1}
                        : what < 14 ? E{WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u)}
                        : what < 15 ? E{WM_ACTIVATEAPP, key & 1, 0}
                        : what < 16 ? E{WM_SYSCOMMAND, SC_CLOSE, step}
                                    : E{WM_MOUSEMOVE, key & 1, step};
            ring.Push(e);
            if (model.size() == 8) {
                E& last = model.back();
                if (e.message == WM_MOUSEMOVE && last.message == WM_MOUSEMOVE) {
                    last = e;
                    continue;
                }
                if (rank(e) == 0 && e.message == WM_KEYDOWN && last.message == WM_KEYDOWN &&
                    rank(last) == 0 && last.wParam == e.wParam) {
                    last.lParam = std::min<LPARAM>(last.lParam + 1, 0x4000FFFF);
                    continue;
                }
                auto victim =
                    std::min_element(model.begin(), model.end(),
                                     [&](const E& a, const E& b) { return rank(a) < rank(b); });
                if (rank(*victim) > rank(e))
                    continue;
                model.erase(victim);
            }
            model.push_back(e);
        }
    }
}

// SDL's video used from a thread other than its owner ends the run at once, saying where.
TEST(SdlBackendDeathTest, SdlVideoUsedOffItsThreadEndsTheRun) {
    EXPECT_DEATH(
        {
            platform::sdl::SdlVideo video;
            std::thread([&] { video.Adopt(nullptr); }).join();
            video.ShowCursor(true);
        },
        "SDL's video used from a thread that does not own it \\(ShowCursor\\)");
}

// The 8-bit screen's table against a plain model: for every 5-6-5 value (red in the top
// five bits, green in the middle six), the colour chosen is one of the nearest of a random
// palette.
TEST(SdlIndexTableTest, EveryValueGetsANearestColour) {
    std::mt19937 random(8);
    platform::sdl::PaletteColour colours[40];
    for (int i = 0; i < 40; ++i)
        colours[i] = {static_cast<int>(random() % 256), static_cast<int>(random() % 256),
                      static_cast<int>(random() % 256), static_cast<uint8_t>(200 - i)};
    std::vector<uint8_t> table(65536);
    platform::sdl::BuildIndexTable(colours, 40, table.data());
    // Channels widened to 8 bits by repeating their top bits, as the screen's colours are.
    auto expand = [](uint32_t v, int bits) {
        return static_cast<int>((v << (8 - bits)) | (v >> (2 * bits - 8)));
    };
    for (uint32_t v = 0; v < 65536; ++v) {
        const int r = expand(v >> 11, 5), g = expand((v >> 5) & 63, 6), b = expand(v & 31, 5);
        auto distance = [&](const platform::sdl::PaletteColour& c) {
            return (c.r - r) * (c.r - r) + (c.g - g) * (c.g - g) + (c.b - b) * (c.b - b);
        };
        int nearest = 1 << 30, chosen = -1;
        for (const auto& c : colours) {
            nearest = std::min(nearest, distance(c));
            if (c.pixel == table[v])
                chosen = distance(c);
        }
        ASSERT_EQ(chosen, nearest) << "value " << v;
    }
}

}  // namespace
