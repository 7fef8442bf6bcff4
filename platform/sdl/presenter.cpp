// The SDL2 backend the program's thread uses: a real borderless window, keyboard and focus
// events turned into window messages, modal message boxes, and presentation of screen
// rectangles. SDL's video runs on a thread of its own (the presenter); this file holds that
// thread and its hand-offs.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/sdl/sdl_internal.h"
#include "platform/soft/ddraw/blit.h"
#include "platform/soft/user/window_internal.h"

namespace platform {
namespace {

using sdl::SdlVideo;

// The backend the program's thread uses. SDL's video belongs to one thread, so a thread of
// the backend's own owns all of it (opening, the window, events, presentation, message
// boxes, shutting down); the program's thread talks to it through three hand-offs, all under
// one lock:
// - commands (open, create, show, destroy, cursor, message box), run one at a time while
//   the program's thread waits for the result, after every picture handed over before them;
// - window messages, which the video thread translates from SDL's events into a fixed ring
//   and the program's pump moves into the message queue;
// - pictures: Present copies the rectangle into the one of two preallocated buffers the
//   presenter is not reading and hands it over; the presenter converts it into the window
//   surface and shows it while the program draws the next one. A frame waits only when the
//   previous picture has not been taken up yet (the presenter is still busy with the one
//   before). Only the presenter writes the window surface, one whole picture at a time.
// The application still runs on one thread and sees the same calls and results.
class SdlBackend : public Backend {
public:
    SdlBackend() = default;
    ~SdlBackend() override { Stop(); }

    bool Open(std::string* why) override {
        if (!thread_.joinable()) {
            try {
                thread_ = std::thread([this] { Loop(); });
            } catch (const std::system_error& e) {
                EndForFailure("cannot start a thread (%s)", e.what());
            }
            // At exit SDL is shut down on its own thread, which then ends. An exit called on
            // that thread itself (Xlib's handler of a broken connection calls it there) cannot
            // wait for it: the process ends at once, with code 1 (Xlib's handler exits with 1).
            Running().push_back(this);
            static bool registered = false;
            if (!registered) {
                registered = true;
                atexit([] {
                    for (SdlBackend* backend : Running())
                        if (backend->thread_.get_id() == std::this_thread::get_id()) {
                            fflush(nullptr);
                            _exit(1);
                        }
                    while (!Running().empty())
                        Running().back()->Stop();
                });
            }
        }
        Command open;
        open.kind = Command::DoOpen;
        Run(open);
        if (!open.result && why)
            *why = open.why;
        if (open.result) {
            screenWidth_ = open.width;
            screenHeight_ = open.height;
        }
        return open.result;
    }

    void ScreenSize(int* width, int* height) override {
        *width = screenWidth_;
        *height = screenHeight_;
    }

    bool CreateWindow(const char* title, int x, int y, int width, int height) override {
        Command create;
        create.kind = Command::DoCreate;
        create.text = title;
        create.x = x;
        create.y = y;
        create.width = width;
        create.height = height;
        Run(create);
        surfaceAsked_ = false;
        // The picture buffers are made here, once: presenting never allocates. The presenter
        // holds no picture now (a command runs only after every picture handed over).
        const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
        if (create.result && bytes > capacity_) {
            for (auto& buffer : buffers_)
                buffer.reset(new uint8_t[bytes]);
            capacity_ = bytes;
        }
        return create.result;
    }

    void ShowWindow(bool show) override {
        Command command;
        command.kind = Command::DoShow;
        command.x = show ? 1 : 0;
        Run(command);
    }

    void DestroyWindow() override {
        Command command;
        command.kind = Command::DoDestroy;
        Run(command);
    }

    void ShowCursor(bool show) override {
        Command command;
        command.kind = Command::DoCursor;
        command.x = show ? 1 : 0;
        Run(command);
    }

    void PumpEvents(const PostFn& post) override {
        std::unique_lock<std::mutex> lock(mutex_);
        Events::Event e;
        while (events_.Pop(&e)) {
            lock.unlock();
            post(e.message, e.wParam, e.lParam);
            lock.lock();
        }
    }

    void WaitEvent() override {
        std::unique_lock<std::mutex> lock(mutex_);
        programWakes_.wait(lock, [this] { return events_.Count() > 0 || stopped_; });
    }

    void Present(const PixelView& src, int x, int y) override {
        const int bpp = BytesPerPixel(src.kind);
        int height = src.height;
        const size_t row = static_cast<size_t>(src.width) * static_cast<size_t>(bpp);
        if (src.width <= 0 || height <= 0 || capacity_ == 0)
            return;
        if (row * static_cast<size_t>(height) > capacity_)
            height = static_cast<int>(capacity_ / row);
        std::unique_lock<std::mutex> lock(mutex_);
        programWakes_.wait(lock, [this] { return pending_ < 0 || stopped_; });
        if (stopped_)
            return;
        const int slot = busy_ == 0 ? 1 : 0;
        lock.unlock();
        // The window surface is asked for with the first picture after the window's
        // creation; the fault hook is answered here, on the program's thread.
        bool refuse = false;
        if (!surfaceAsked_) {
            surfaceAsked_ = true;
            refuse = PLATFORM_HOOK("SDL_GetWindowSurface", "width=%d height=%d", src.width,
                                   src.height) != 0;
        }
        // The presenter reads only the other buffer (or none) until this one is handed over.
        blit::Copy(blit::Rows{buffers_[slot].get(), static_cast<int>(row)},
                   blit::ConstRows{static_cast<const uint8_t*>(src.pixels), src.pitch}, src.width,
                   height, bpp);
        lock.lock();
        pictures_[slot] = Picture{src.width, height, static_cast<int>(row), src.kind, x, y, refuse};
        pending_ = slot;
        lock.unlock();
        videoWakes_.notify_one();
    }

    bool MessageBox(const char* text, const char* caption) override {
        Command command;
        command.kind = Command::DoBox;
        command.text = text;
        command.caption = caption;
        Run(command);
        return command.result;
    }

    // Runs `call` on the thread that owns SDL's video, after every picture handed over.
    void Call(const std::function<void()>& call) {
        Command command;
        command.kind = Command::DoCall;
        command.call = &call;
        Run(command);
    }

private:
    struct Command {
        enum Kind {
            DoNothing,
            DoOpen,
            DoCreate,
            DoShow,
            DoDestroy,
            DoCursor,
            DoBox,
            DoCall,
            DoQuit
        };
        Kind kind = DoNothing;
        const char* text = nullptr;
        const char* caption = nullptr;
        int x = 0, y = 0, width = 0, height = 0;
        const std::function<void()>* call = nullptr;
        bool result = false;
        std::string why;
    };
    struct Picture {
        int width, height, pitch;
        PixelKind kind;
        int x, y;
        bool refuseSurface;
    };
    using Events = sdl::EventRing<1024>;

    static std::vector<SdlBackend*>& Running() {
        static auto* running = new std::vector<SdlBackend*>();  // never destroyed: used at exit
        return *running;
    }

    // Hands a command to the video thread and waits until it has run. Pictures handed over
    // before it are shown first.
    void Run(Command& command) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (stopped_)
            return;
        programWakes_.wait(lock, [this] { return (pending_ < 0 && busy_ < 0) || stopped_; });
        if (stopped_)
            return;
        command_ = &command;
        videoWakes_.notify_one();
        programWakes_.wait(lock, [this] { return command_ == nullptr; });
    }

    // Shuts SDL down on its thread and waits for the thread to end. Called on that thread
    // itself (a library under SDL called exit there), nothing can be waited for: the thread
    // is let go and the exit goes on.
    void Stop() {
        auto& running = Running();
        if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
        } else if (thread_.joinable()) {
            Command quit;
            quit.kind = Command::DoQuit;
            Run(quit);
            thread_.join();
        }
        for (size_t i = 0; i < running.size(); ++i)
            if (running[i] == this)
                running.erase(running.begin() + static_cast<ptrdiff_t>(i));
    }

    void Execute(Command& c) {
        switch (c.kind) {
            case Command::DoOpen:
                c.result = video_.Open(&c.why);
                if (c.result)
                    video_.ScreenSize(&c.width, &c.height);
                break;
            case Command::DoCreate:
                c.result = video_.CreateWindow(c.text, c.x, c.y, c.width, c.height);
                break;
            case Command::DoShow:
                video_.ShowWindow(c.x != 0);
                break;
            case Command::DoDestroy:
                video_.DestroyWindow();
                break;
            case Command::DoCursor:
                video_.ShowCursor(c.x != 0);
                break;
            case Command::DoBox:
                c.result = video_.MessageBox(c.text, c.caption);
                break;
            case Command::DoCall:
                (*c.call)();
                break;
            case Command::DoQuit:
                video_.Close();
                SDL_Quit();
                break;
            case Command::DoNothing:
                break;
        }
    }

    // Events go into the ring (a full one makes room as EventRing says). SDL calls this
    // from the thread that reports the event: the video thread for the window system's.
    void PostFromVideo(UINT message, WPARAM wParam, LPARAM lParam) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            events_.Push(Events::Event{message, wParam, lParam});
        }
        programWakes_.notify_one();
    }

    // The video thread: commands, pictures, and SDL's events every few milliseconds while
    // there is nothing else to do.
    void Loop() {
        video_.Adopt([this](UINT m, WPARAM w, LPARAM l) { PostFromVideo(m, w, l); });
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (command_) {
                Command* command = command_;
                lock.unlock();
                Execute(*command);
                lock.lock();
                const bool quit = command->kind == Command::DoQuit;
                command_ = nullptr;
                if (quit)
                    stopped_ = true;
                programWakes_.notify_all();
                if (quit)
                    return;
                continue;
            }
            if (pending_ >= 0) {
                busy_ = pending_;
                pending_ = -1;
                const Picture p = pictures_[busy_];
                const uint8_t* pixels = buffers_[busy_].get();
                lock.unlock();
                programWakes_.notify_all();  // a frame waiting to hand over can go on
                video_.Present(PixelView{pixels, p.pitch, p.width, p.height, p.kind}, p.x, p.y,
                               p.refuseSurface);
                if (video_.IsOpen())
                    video_.PumpEvents();
                lock.lock();
                busy_ = -1;
                programWakes_.notify_all();
                continue;
            }
            lock.unlock();
            if (video_.IsOpen())
                video_.PumpEvents();
            lock.lock();
            if (!command_ && pending_ < 0)
                videoWakes_.wait_for(lock, std::chrono::milliseconds(4));
        }
    }

    SdlVideo video_;  // used on the video thread only
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable videoWakes_;    // the video thread has something to do
    std::condition_variable programWakes_;  // a command ended, a buffer or an event came
    Command* command_ = nullptr;
    bool stopped_ = false;
    Events events_;
    std::unique_ptr<uint8_t[]> buffers_[2];
    size_t capacity_ = 0;  // bytes in each buffer
    Picture pictures_[2]{};
    int pending_ = -1;  // buffer handed over and not yet taken up by the presenter
    int busy_ = -1;     // buffer the presenter is showing
    int screenWidth_ = 0;
    int screenHeight_ = 0;
    bool surfaceAsked_ = false;  // the first picture since the window's creation went out
};

}  // namespace

void SdlCall(const std::function<void()>& call) {
    if (auto* backend = dynamic_cast<SdlBackend*>(&CurrentBackend()))
        backend->Call(call);
}

void UseSdlBackend() {
    InstallBackend(std::make_unique<SdlBackend>());
}

}  // namespace platform
