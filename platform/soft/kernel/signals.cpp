// Termination signals: SIGTERM and SIGINT end the run at once, whatever the program's thread
// is doing, with the streams flushed and any child process (a message box's) ended with it.
#include <dirent.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

}  // namespace

void EndOnTerminationSignals() {
    static bool started = false;
    if (started)
        return;
    started = true;
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
    std::thread([signals] {
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
    }).detach();
}

}  // namespace platform
