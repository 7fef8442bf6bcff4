#include "platform/base.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>

const IID IID_IUnknown = {
    0x4b1e0000, 0x7a31, 0x4c02, {0x90, 0x00, 0x47, 0x4c, 0x49, 0x42, 0x00, 0x00}};

namespace platform {

bool hooksActive = false;

namespace {

struct OpFault {
    int calls = 0;
    int failAt = 0;  // 0: not armed
    bool repeat = false;
    HRESULT code = 0;
};

struct HookState {
    std::map<std::string, OpFault> ops;
    int totalCalls = 0;
    int anyFailAt = 0;
    HRESULT anyCode = 0;
    bool tracing = false;
    bool counting = false;
    std::vector<TraceEntry> trace;
};

HookState& State() {
    static HookState* state = new HookState();  // never destroyed: usable from static destructors
    return *state;
}

void UpdateActive() {
    HookState& s = State();
    hooksActive = s.tracing || s.counting || s.anyFailAt > 0 || !s.ops.empty();
}

// Appends `op` with its formatted arguments to the trace.
void Record(HookState& s, const char* op, const char* fmt, va_list ap) {
    char args[256];
    vsnprintf(args, sizeof args, fmt, ap);
    s.trace.push_back(TraceEntry{op, args});
}

}  // namespace

HRESULT HookEnter(const char* op, const char* fmt, ...) {
    HookState& s = State();
    ++s.totalCalls;
    if (s.tracing) {
        va_list ap;
        va_start(ap, fmt);
        Record(s, op, fmt, ap);
        va_end(ap);
    }
    OpFault& f = s.ops[op];
    ++f.calls;
    if (s.anyFailAt > 0 && s.totalCalls == s.anyFailAt)
        return s.anyCode;
    if (f.failAt > 0 && (f.calls == f.failAt || (f.repeat && f.calls > f.failAt)))
        return f.code;
    return 0;
}

void TraceNote(const char* op, const char* fmt, ...) {
    HookState& s = State();
    if (!s.tracing)
        return;
    va_list ap;
    va_start(ap, fmt);
    Record(s, op, fmt, ap);
    va_end(ap);
}

void FailCall(const char* op, int nth, HRESULT code, bool repeat) {
    OpFault& f = State().ops[op];
    f.failAt = f.calls + nth;
    f.code = code;
    f.repeat = repeat;
    UpdateActive();
}

void FailAnyCall(int nth, HRESULT code) {
    HookState& s = State();
    s.anyFailAt = s.totalCalls + nth;
    s.anyCode = code;
    UpdateActive();
}

int CallCount(const char* op) {
    auto& ops = State().ops;
    auto it = ops.find(op);
    return it == ops.end() ? 0 : it->second.calls;
}

int TotalCallCount() {
    return State().totalCalls;
}

void CountCalls() {
    State().counting = true;
    UpdateActive();
}

void StartTrace() {
    HookState& s = State();
    s.trace.clear();
    s.tracing = true;
    UpdateActive();
}

void StopTrace() {
    State().tracing = false;
    UpdateActive();
}

const std::vector<TraceEntry>& Trace() {
    return State().trace;
}

std::vector<std::string> TraceOps(const char* prefix) {
    std::vector<std::string> out;
    size_t n = strlen(prefix);
    for (const TraceEntry& e : State().trace)
        if (e.op.compare(0, n, prefix) == 0)
            out.push_back(e.op);
    return out;
}

void ResetHooks() {
    HookState& s = State();
    s.ops.clear();
    s.trace.clear();
    s.totalCalls = 0;
    s.anyFailAt = 0;
    s.tracing = false;
    s.counting = false;
    UpdateActive();
}

// ---- Time ------------------------------------------------------------------------------

namespace {
using SteadyClock = std::chrono::steady_clock;
const SteadyClock::time_point processStart = SteadyClock::now();
bool clockPinned = false;
long pinnedClock = 0;
bool tgtPinned = false;
DWORD pinnedTgt = 0;
bool counterPinned = false;
LONGLONG pinnedCounter = 0;
}  // namespace

long Clock() {
    if (clockPinned)
        return pinnedClock;
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - processStart)
            .count());
}

DWORD TimeGetTime() {
    if (tgtPinned)
        return pinnedTgt;
    // Milliseconds since the system started, wrapping at 2^32 like the multimedia timer.
    auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now().time_since_epoch())
            .count();
    return static_cast<DWORD>(static_cast<uint64_t>(ms));
}

void SetClock(long ms) {
    clockPinned = true;
    pinnedClock = ms;
}

void SetTimeGetTime(DWORD ms) {
    tgtPinned = true;
    pinnedTgt = ms;
}

void SetPerformanceCounter(LONGLONG ticks) {
    counterPinned = true;
    pinnedCounter = ticks;
}

void UseRealTime() {
    clockPinned = false;
    tgtPinned = false;
    counterPinned = false;
}

int OpenRegularFile(const char* path) {
    // Non-blocking, so that a FIFO without a writer (or a device that waits) cannot hold the
    // open; only once the path is known to be a regular file does the descriptor block again.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat info;
    if (fd < 0) {
        // A socket, or a device without its driver, cannot be opened at all: it is refused
        // like every other thing that is not a regular file.
        const int error = errno;
        errno = stat(path, &info) == 0 && !S_ISREG(info.st_mode) ? EACCES : error;
        return -1;
    }
    if (fstat(fd, &info) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (!S_ISREG(info.st_mode) || flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int error = S_ISREG(info.st_mode) ? errno : EACCES;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

FILE* OpenWritableFile(const char* path, const char* mode) {
    const bool update = strchr(mode, '+') != nullptr;
    // Non-blocking, so that a FIFO cannot hold the open; it is refused once its kind is known.
    const int fd = open(
        path, (update ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
        0666);
    struct stat info;
    if (fd < 0) {
        // A FIFO without a reader and a socket cannot be opened for writing at all.
        const int error = errno;
        errno = stat(path, &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode))
                    ? EOPNOTSUPP
                    : error;
        return nullptr;
    }
    int error = 0;
    if (fstat(fd, &info) != 0) {
        error = errno;
    } else if (!S_ISREG(info.st_mode) && !S_ISCHR(info.st_mode) && !S_ISBLK(info.st_mode)) {
        error = EOPNOTSUPP;
    } else {
        const int flags = fcntl(fd, F_GETFL);
        if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
            error = errno;
    }
    FILE* file = error == 0 ? fdopen(fd, mode) : nullptr;
    if (file == nullptr) {
        if (error == 0)
            error = errno;
        close(fd);
        errno = error;
    }
    return file;
}

}  // namespace platform

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
    if (!count)
        return FALSE;
    if (platform::counterPinned) {
        count->QuadPart = platform::pinnedCounter;
        return TRUE;
    }
    // The steady clock counts from system start on this platform, in nanoseconds.
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                        platform::SteadyClock::now().time_since_epoch())
                        .count();
    count->QuadPart = static_cast<LONGLONG>(ns / (1000000000 / platform::kPerformanceFrequency));
    return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (!frequency)
        return FALSE;
    frequency->QuadPart = platform::kPerformanceFrequency;
    return TRUE;
}

void Sleep(DWORD milliseconds) {
    if (platform::counterPinned) {
        platform::pinnedCounter +=
            LONGLONG{milliseconds} * (platform::kPerformanceFrequency / 1000);
        return;
    }
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    struct timespec left {
        static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L
    };
    // A signal that interrupts the sleep does not shorten it.
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}
