// The process's ends: SIGTERM and SIGINT end the run at once, whatever the program's thread
// is doing, with the streams flushed and any child process (a message box's) ended with it;
// a thread or memory that cannot be had ends it with one line on standard error.
#include <dirent.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <system_error>
#include <thread>

#include "platform/backend.h"

namespace platform {

namespace {

// SDL shows a message box from a child process it forks, which shares the window system's
// connection: a run that ends while a box is up takes the box with it, else the box (and,
// through the shared connection, the game's window) would stay on the screen.
void EndChildProcesses() {
    DIR* proc = opendir("/proc");
    if (!proc)
        return;
    const pid_t self = getpid();
    while (dirent* entry = readdir(proc)) {
        char* end = nullptr;
        long pid = strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        char path[64], stat[512];
        snprintf(path, sizeof path, "/proc/%ld/stat", pid);
        FILE* f = fopen(path, "r");
        if (!f)
            continue;
        size_t n = fread(stat, 1, sizeof stat - 1, f);
        fclose(f);
        stat[n] = '\0';
        // "pid (name) state ppid ...": the name may hold anything, so parse after its ')'.
        const char* close = strrchr(stat, ')');
        int parent = 0;
        if (close && sscanf(close + 1, " %*c %d", &parent) == 1 && parent == self)
            kill(static_cast<pid_t>(pid), SIGKILL);
    }
    closedir(proc);
}

// Nothing in the program catches an exception: one that escapes (memory or a thread that
// could not be had, on any thread) ends the run here instead of aborting. Telling what it
// was rethrows it, which may itself fail: a second entry ends without the detail.
void EndOnUncaught() {
    static std::atomic<bool> entered{false};
    if (entered.exchange(true))
        EndForFailure("an unexpected failure");
    char what[256] = "an unexpected failure";
    try {
        if (std::exception_ptr current = std::current_exception())
            std::rethrow_exception(current);
    } catch (const std::bad_alloc&) {
        snprintf(what, sizeof what, "out of memory");
    } catch (const std::exception& e) {
        snprintf(what, sizeof what, "%s", e.what());
    } catch (...) {
    }
    EndForFailure("%s", what);
}

}  // namespace

void EndForFailure(const char* format, ...) {
    char line[512] = "Game Library: ";
    size_t used = strlen(line);
    va_list ap;
    va_start(ap, format);
    vsnprintf(line + used, sizeof line - used, format, ap);
    va_end(ap);
    used = strlen(line);
    snprintf(line + used, sizeof line - used, "; the game ends.\n");
    fflush(nullptr);
    ssize_t written = write(STDERR_FILENO, line, strlen(line));
    (void)written;
    _exit(1);
}

void EndOnTerminationSignals() {
    static bool started = false;
    if (started)
        return;
    started = true;
    std::set_terminate(EndOnUncaught);
    // Signals ignored when the process started (a background job of a script) stay ignored.
    sigset_t signals;
    sigemptyset(&signals);
    for (int sig : {SIGTERM, SIGINT}) {
        struct sigaction current {};
        if (sigaction(sig, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
            sigaddset(&signals, sig);
    }
    // Blocked here, in the first thread, before any other exists: every later thread
    // inherits the mask, so only the watcher below ever takes these signals.
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread watcher;
    try {
        watcher = std::thread([signals] {
            int sig = 0;
            while (sigwait(&signals, &sig) != 0) {
            }
            // Whatever the program's thread is doing (drawing, sleeping for a message, inside
            // a modal box or still starting), the run ends now. The streams are flushed first
            // (their locks make that safe against a write in progress); no exit handler runs,
            // since they would call into SDL from this thread.
            fflush(nullptr);
            EndChildProcesses();
            _exit(128 + sig);
        });
    } catch (const std::system_error& e) {
        EndForFailure("cannot start a thread (%s)", e.what());
    }
    watcher.detach();
}

}  // namespace platform
