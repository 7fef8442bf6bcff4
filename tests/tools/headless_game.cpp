// Runs the real application (WinMain) on the headless backend in the current folder, for
// tests that need a whole run in a process of its own: a fault armed on a platform call, the
// clocks pinned, a given number of frames and then Escape. The message boxes the run showed
// are written out, one a line; the exit code is WinMain's.
//
//   headless_game [--fail OP:N:CODE] [--fail-from OP:N:CODE] [--fail-any N[:CODE]]
//                 [--clock MS] [--time MS] [--frames K] [--boxes FILE|-] [--trace FILE]
//                 [--count FILE] [--machine secondary-3d]
//
//   --fail       the Nth call (1-based) of the hooked operation OP fails with CODE
//   --fail-from  every call of OP from the Nth on fails with CODE
//   --fail-any   the Nth hooked call of any operation fails with CODE (default E_FAIL)
//   --clock      pin clock() to MS milliseconds; --time pins timeGetTime() the same way
//   --frames     press Escape once K pictures have reached the screen (default 3)
//   --boxes      write each box as "caption<TAB>text", CR and LF written as \r and \n
//   --trace      write every hooked call as "op<TAB>args"
//   --count      write the number of hooked calls made before the message loop's first
//                turn (the start-up's calls) and in the whole run
//   --machine    secondary-3d: the standard machine plus a second display driver with 3D,
//                which start-up then picks
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/app.h"
#include "platform/backend.h"
#include "platform/base.h"
#include "platform/ddraw.h"
#include "platform/win.h"

namespace {

void Usage() {
    fprintf(stderr,
            "usage: headless_game [--fail OP:N:CODE] [--fail-from OP:N:CODE] "
            "[--fail-any N[:CODE]] [--clock MS] [--time MS] [--frames K] [--boxes FILE|-] "
            "[--trace FILE] [--count FILE] [--machine secondary-3d]\n");
}

// "OP:N:CODE" -> its parts; the operation name itself contains "::", so split from the end.
bool ParseFault(const char* arg, std::string* op, int* nth, HRESULT* code) {
    std::string s = arg;
    size_t last = s.rfind(':');
    if (last == std::string::npos || last == 0)
        return false;
    size_t middle = s.rfind(':', last - 1);
    if (middle == std::string::npos || middle == 0)
        return false;
    *op = s.substr(0, middle);
    *nth = atoi(s.substr(middle + 1, last - middle - 1).c_str());
    *code = static_cast<HRESULT>(strtoul(s.substr(last + 1).c_str(), nullptr, 0));
    return !op->empty() && *nth > 0;
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

FILE* OpenOut(const char* path) {
    if (strcmp(path, "-") == 0)
        return stdout;
    FILE* f = fopen(path, "w");
    if (f == nullptr)
        fprintf(stderr, "headless_game: cannot write %s\n", path);
    return f;
}

void CloseOut(FILE* f) {
    if (f != nullptr && f != stdout)
        fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
    int frames = 3;
    const char* boxesPath = nullptr;
    const char* tracePath = nullptr;
    const char* countPath = nullptr;
    bool armed = false;

    platform::ResetHooks();
    for (int i = 1; i < argc; ++i) {
        const char* opt = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (value == nullptr) {
            Usage();
            return 2;
        }
        ++i;
        if (strcmp(opt, "--fail") == 0 || strcmp(opt, "--fail-from") == 0) {
            std::string op;
            int nth = 0;
            HRESULT code = 0;
            if (!ParseFault(value, &op, &nth, &code)) {
                Usage();
                return 2;
            }
            platform::FailCall(op.c_str(), nth, code, strcmp(opt, "--fail-from") == 0);
            armed = true;
        } else if (strcmp(opt, "--fail-any") == 0) {
            const char* colon = strchr(value, ':');
            HRESULT code = colon ? static_cast<HRESULT>(strtoul(colon + 1, nullptr, 0)) : E_FAIL;
            platform::FailAnyCall(atoi(value), code);
            armed = true;
        } else if (strcmp(opt, "--clock") == 0) {
            platform::SetClock(atol(value));
        } else if (strcmp(opt, "--time") == 0) {
            platform::SetTimeGetTime(static_cast<DWORD>(strtoul(value, nullptr, 0)));
        } else if (strcmp(opt, "--frames") == 0) {
            frames = atoi(value);
        } else if (strcmp(opt, "--boxes") == 0) {
            boxesPath = value;
        } else if (strcmp(opt, "--trace") == 0) {
            tracePath = value;
        } else if (strcmp(opt, "--machine") == 0) {
            if (strcmp(value, "secondary-3d") != 0) {
                Usage();
                return 2;
            }
            platform::MachineProfile profile = platform::ProductionProfile();
            platform::DriverProfile card = profile.drivers.front();
            card.isDefault = false;
            card.guid = GUID{0x5ec0d001u, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 1}};
            card.description = "Secondary 3D";
            card.name = "secondary3d";
            card.driverCaps.dwCaps |= DDCAPS_3D;
            profile.drivers.push_back(card);
            platform::InstallProfile(profile);
        } else if (strcmp(opt, "--count") == 0) {
            countPath = value;
        } else {
            Usage();
            return 2;
        }
    }
    if (!armed)
        platform::CountCalls();
    if (tracePath != nullptr)
        platform::StartTrace();

    platform::HeadlessBackend& backend = platform::UseHeadlessBackend(1024, 768);
    // Escape once K pictures are on the screen. A run whose copies to the screen keep failing
    // is ended after a generous number of loop turns instead, so it can never spin forever.
    int startupCalls = -1;
    long turns = 0;
    bool escaped = false;
    backend.onPump = [&] {
        if (startupCalls < 0)
            startupCalls = platform::TotalCallCount();
        ++turns;
        if (!escaped && (backend.PresentCount() >= frames || turns > 100L * frames + 1000)) {
            escaped = true;
            backend.Script(WM_KEYDOWN, VK_ESCAPE);
        }
    };

    char cmdLine[] = "";
    const int code = WinMain(platform::ModuleInstance(), nullptr, cmdLine, SW_SHOWDEFAULT);
    const int totalCalls = platform::TotalCallCount();

    if (boxesPath != nullptr) {
        if (FILE* out = OpenOut(boxesPath)) {
            for (const platform::MessageBoxRecord& box : platform::MessageBoxes())
                fprintf(out, "%s\t%s\n", Escaped(box.caption).c_str(), Escaped(box.text).c_str());
            CloseOut(out);
        }
    }
    if (tracePath != nullptr) {
        if (FILE* out = OpenOut(tracePath)) {
            for (const platform::TraceEntry& entry : platform::Trace())
                fprintf(out, "%s\t%s\n", entry.op.c_str(), entry.args.c_str());
            CloseOut(out);
        }
    }
    if (countPath != nullptr) {
        if (FILE* out = OpenOut(countPath)) {
            fprintf(out, "%d %d\n", startupCalls < 0 ? totalCalls : startupCalls, totalCalls);
            CloseOut(out);
        }
    }
    return code;
}
