// The platform's foundation: integer types and result codes as the platform spells them,
// GUIDs, the reference-counted base of the COM-style objects, the fault and trace hooks
// that tests use to make platform calls fail and to record them, and the clocks.
//
// Built for Windows, the platform's own headers supply every name, and only the few things
// declared at the end of this file come from the thin Windows part (platform/win32/).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#if defined(_WIN32)

#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max, not the platform's macros
#endif
#ifndef DIRECTDRAW_VERSION
#define DIRECTDRAW_VERSION 0x0600  // the DirectDraw 6 records
#endif
#include <windows.h>

// There are no fault or trace hooks on Windows: every hook site reads "no fault", every
// trace note is nothing.
#define PLATFORM_HOOK(op, ...) (static_cast<HRESULT>(0))
#define PLATFORM_TRACE(op, ...) (void())

#else  // the software platform

typedef int32_t HRESULT;
typedef uint32_t DWORD;
typedef uint32_t ULONG;
typedef int32_t LONG;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef int BOOL;
typedef unsigned int UINT;
typedef void* HANDLE;
typedef int64_t LONGLONG;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)

// Generic COM results.
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

// DirectDraw and Direct3D share facility 0x876.
constexpr HRESULT MakeDDResult(uint32_t code) {
    return static_cast<HRESULT>(0x88760000u | code);
}

constexpr HRESULT DD_OK = 0;
constexpr HRESULT DDERR_GENERIC = E_FAIL;
constexpr HRESULT DDERR_UNSUPPORTED = E_NOTIMPL;
constexpr HRESULT DDERR_OUTOFMEMORY = E_OUTOFMEMORY;
constexpr HRESULT DDERR_INVALIDPARAMS = E_INVALIDARG;
constexpr HRESULT DDERR_CANNOTATTACHSURFACE = MakeDDResult(10);
constexpr HRESULT DDERR_INVALIDCAPS = MakeDDResult(100);
constexpr HRESULT DDERR_INVALIDOBJECT = MakeDDResult(130);
constexpr HRESULT DDERR_INVALIDPIXELFORMAT = MakeDDResult(145);
constexpr HRESULT DDERR_INVALIDRECT = MakeDDResult(150);
constexpr HRESULT DDERR_NOCLIPLIST = MakeDDResult(205);
constexpr HRESULT DDERR_NOCOLORKEY = MakeDDResult(215);
constexpr HRESULT DDERR_NOTFOUND = MakeDDResult(255);
constexpr HRESULT DDERR_OUTOFVIDEOMEMORY = MakeDDResult(380);
constexpr HRESULT DDERR_SURFACEALREADYATTACHED = MakeDDResult(410);
constexpr HRESULT DDERR_SURFACEBUSY = MakeDDResult(430);
constexpr HRESULT DDERR_SURFACELOST = MakeDDResult(450);
constexpr HRESULT DDERR_SURFACENOTATTACHED = MakeDDResult(460);
constexpr HRESULT DDERR_TOOBIGSIZE = MakeDDResult(480);
constexpr HRESULT DDERR_WASSTILLDRAWING = MakeDDResult(540);
constexpr HRESULT DDERR_INVALIDDIRECTDRAWGUID = MakeDDResult(561);
constexpr HRESULT DDERR_NODIRECTDRAWHW = MakeDDResult(563);
constexpr HRESULT DDERR_PRIMARYSURFACEALREADYEXISTS = MakeDDResult(564);
constexpr HRESULT DDERR_NOCLIPPERATTACHED = MakeDDResult(568);
constexpr HRESULT DDERR_NOHWND = MakeDDResult(569);
constexpr HRESULT DDERR_NOPALETTEATTACHED = MakeDDResult(572);
constexpr HRESULT DDERR_NOTLOCKED = MakeDDResult(584);
constexpr HRESULT DDERR_CANTCREATEDC = MakeDDResult(585);
constexpr HRESULT DDERR_NODC = MakeDDResult(586);
constexpr HRESULT DDERR_DCALREADYCREATED = MakeDDResult(620);

constexpr HRESULT D3D_OK = 0;
constexpr HRESULT D3DERR_BADMAJORVERSION = MakeDDResult(700);
constexpr HRESULT D3DERR_INVALID_DEVICE = MakeDDResult(705);
constexpr HRESULT D3DERR_INITFAILED = MakeDDResult(706);
constexpr HRESULT D3DERR_MATERIAL_CREATE_FAILED = MakeDDResult(740);
constexpr HRESULT D3DERR_MATERIAL_SETDATA_FAILED = MakeDDResult(742);
constexpr HRESULT D3DERR_SURFACENOTINVIDMEM = MakeDDResult(747);
constexpr HRESULT D3DERR_LIGHT_SET_FAILED = MakeDDResult(750);
constexpr HRESULT D3DERR_LIGHTHASVIEWPORT = MakeDDResult(751);
constexpr HRESULT D3DERR_INVALIDPRIMITIVETYPE = MakeDDResult(736);
constexpr HRESULT D3DERR_INVALIDVERTEXTYPE = MakeDDResult(737);
constexpr HRESULT D3DERR_SETVIEWPORTDATA_FAILED = MakeDDResult(734);
constexpr HRESULT D3DERR_INVALIDCURRENTVIEWPORT = MakeDDResult(735);
constexpr HRESULT D3DERR_SCENE_IN_SCENE = MakeDDResult(760);
constexpr HRESULT D3DERR_SCENE_NOT_IN_SCENE = MakeDDResult(761);
constexpr HRESULT D3DERR_SCENE_BEGIN_FAILED = MakeDDResult(762);
constexpr HRESULT D3DERR_SCENE_END_FAILED = MakeDDResult(763);
constexpr HRESULT D3DERR_NOTINBEGIN = MakeDDResult(771);
constexpr HRESULT D3DERR_NOVIEWPORTS = MakeDDResult(772);
constexpr HRESULT D3DERR_VIEWPORTDATANOTSET = MakeDDResult(773);
constexpr HRESULT D3DERR_VIEWPORTHASNODEVICE = MakeDDResult(774);
constexpr HRESULT D3DERR_NOCURRENTVIEWPORT = MakeDDResult(775);
constexpr HRESULT D3DERR_INVALIDMATRIX = MakeDDResult(2084);

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFIID;
typedef const GUID& REFCLSID;

inline bool IsEqualGUID(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}
inline bool operator==(const GUID& a, const GUID& b) {
    return IsEqualGUID(a, b);
}

extern const IID IID_IUnknown;

// A 64-bit count, also reachable as its low and high halves.
union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    };
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};

// The root of every COM-style interface. Objects are reference counted: they start with
// one reference, held by whoever created them, and delete themselves on the last Release.
struct IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, void** out) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};

namespace platform {

// ---- Fault and trace hooks ------------------------------------------------------------
//
// Every platform operation that the application tests for failure begins with
//     HRESULT hr = PLATFORM_HOOK("IDirectDrawSurface4::Blt", "flags=0x%08x", flags);
//     if (hr != 0) return hr;
// When no test has armed a hook this is one predictable branch on `hooksActive`. When a
// hook is armed the call is counted, recorded in the trace (if tracing), and made to fail
// with a result code when its number comes up.

extern bool hooksActive;
HRESULT HookEnter(const char* op, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

#define PLATFORM_HOOK(op, ...) \
    (__builtin_expect(::platform::hooksActive, 0) ? ::platform::HookEnter(op, __VA_ARGS__) : 0)

// Make the nth call (1-based, counted from now) of operation `op` fail with `code`.
// With `repeat` set every call from the nth on fails.
void FailCall(const char* op, int nth, HRESULT code, bool repeat = false);
// Make the nth hooked call of any operation fail with `code` (start-up sweeps).
void FailAnyCall(int nth, HRESULT code);
// Number of calls of `op` seen since hooks were last reset (counted only while hooks are on).
int CallCount(const char* op);
// Number of hooked calls of any operation seen since hooks were last reset.
int TotalCallCount();
// Turn counting on without arming a fault (so CallCount works).
void CountCalls();

struct TraceEntry {
    std::string op;    // operation name, e.g. "IDirectDrawSurface4::Release"
    std::string args;  // its key arguments as formatted by the operation
};
// Records `op` in the trace, while tracing, without counting it as a call that can fail:
// for steps a test wants to see in order but never makes fail (what reaches default
// message processing, for instance).
void TraceNote(const char* op, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
#define PLATFORM_TRACE(op, ...) \
    (__builtin_expect(::platform::hooksActive, 0) ? ::platform::TraceNote(op, __VA_ARGS__) : void())

void StartTrace();
void StopTrace();
const std::vector<TraceEntry>& Trace();
// The trace's operation names in order, optionally only those starting with `prefix`.
std::vector<std::string> TraceOps(const char* prefix = "");

// Disarm every fault, stop tracing and forget counts.
void ResetHooks();

// ---- COM-style objects -----------------------------------------------------------------
//
// The reference counting every platform object shares. An object starts with one reference,
// its creator's; the last Release deletes it; a Release past zero does nothing. Every
// Release is recorded under `releaseName` (e.g. "IDirectDrawSurface4::Release") with the
// count left, so tests can check release orders. QueryInterface answers IUnknown and the
// object's own interface (`ownIid`); objects with more interfaces override it.
template <class Interface>
class ComObject : public Interface {
public:
    ComObject(const char* releaseName, const IID* ownIid)
        : releaseName_(releaseName), ownIid_(ownIid) {}

    HRESULT QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        if (iid == IID_IUnknown || (ownIid_ && iid == *ownIid_)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        TraceRelease(refs_ ? refs_ - 1 : 0);
        if (refs_ == 0)
            return 0;
        const ULONG left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    ~ComObject() override = default;
    // Records a Release; objects with more to say (a surface's number) override it.
    virtual void TraceRelease(ULONG left) { (void)PLATFORM_HOOK(releaseName_, "refs=%u", left); }
    ULONG refs() const { return refs_; }

private:
    ULONG refs_ = 1;
    const char* releaseName_;
    const IID* ownIid_;
};

// ---- Time ------------------------------------------------------------------------------
//
// Clock() (declared at the end of this file): milliseconds since process start (as the
// runtime's clock with 1000 ticks a second); TimeGetTime(): milliseconds since "system start",
// wrapping at 2^32; the performance counter: kPerformanceFrequency ticks a second since
// "system start". Tests can pin each to a value.

constexpr LONGLONG kPerformanceFrequency = 10000000;  // 100 ns ticks, as the platform's

DWORD TimeGetTime();
void SetClock(long ms);         // pin clock() to ms
void SetTimeGetTime(DWORD ms);  // pin timeGetTime() to ms
// Pins QueryPerformanceCounter to `ticks`. While it is pinned, Sleep does not sleep: it moves
// the pinned counter on by the time asked for and returns, so that code which paces itself
// runs in the tests' own time.
void SetPerformanceCounter(LONGLONG ticks);
void UseRealTime();  // unpin all three

// ---- The end for what cannot be had ----------------------------------------------------
//
// Ends the process at once with exit code 1 after one line on standard error, "Game
// Library: <what the format says>; the game ends.", for a failure nothing can recover from
// (a thread or memory that cannot be had). The standard streams are flushed; no exit handler
// runs, since it could wait for a thread that is gone or is the caller.
// EndOnTerminationSignals (platform/backend.h) makes every exception that escapes end so.
[[noreturn]] void EndForFailure(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace platform

// The multimedia timer, routed through the platform's clock.
inline DWORD timeGetTime() {
    return platform::TimeGetTime();
}

// The multimedia timer's resolution: a millisecond here always, so a request for a finer
// period is accepted and changes nothing.
typedef UINT MMRESULT;
constexpr MMRESULT TIMERR_NOERROR = 0;
inline MMRESULT timeBeginPeriod(UINT) {
    return TIMERR_NOERROR;
}
inline MMRESULT timeEndPeriod(UINT) {
    return TIMERR_NOERROR;
}

// The high-resolution counter: ticks since system start (monotonic, never wrapping), and
// the ticks in a second (kPerformanceFrequency). Both succeed unless given no record.
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);

// Suspends the calling thread for at least `milliseconds` (0: gives up the rest of its turn).
void Sleep(DWORD milliseconds);

#endif  // _WIN32

namespace platform {

// The runtime's clock: milliseconds since process start (on the software platform tests can
// pin it, see SetClock).
long Clock();

// Opens `path` for reading as a regular file and returns a readable file descriptor, or -1
// with errno set. The open never blocks: a FIFO, a device or a socket at the path is
// refused with EACCES, as is a folder (as the Windows runtime refuses a folder). Every other
// failure keeps the open's own error number.
int OpenRegularFile(const char* path);

// Opens `path` for writing as fopen(path, mode) does (mode "w" or "w+": created or emptied),
// for the files a run writes. The open never blocks: anything at the path that is neither a
// regular file nor a device (a FIFO, with or without a reader, or a socket) is refused with
// EOPNOTSUPP; a device (/dev/null, /dev/full) is written as a file is. Every other failure
// keeps the open's own error number. The stream blocks on writes as fopen's does.
FILE* OpenWritableFile(const char* path, const char* mode);

}  // namespace platform
