#include "support/scenes.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include "app/app.h"
#include "app/appstate.h"
#include "app/frame.h"
#include "directx/display.h"
#include "platform/backend.h"
#include "platform/ddraw.h"
#include "platform/win.h"

namespace bench {

std::vector<D3DVERTEX> Sphere(int slices, int stacks) {
    auto point = [&](int i, int j) {
        const double theta = M_PI * j / stacks;
        const double phi = 2 * M_PI * i / slices;
        const float nx = static_cast<float>(std::sin(theta) * std::cos(phi));
        const float ny = static_cast<float>(std::cos(theta));
        const float nz = static_cast<float>(std::sin(theta) * std::sin(phi));
        return D3DVERTEX{50 * nx, 50 * ny, 50 * nz, nx, ny, nz, 0, 0};
    };
    std::vector<D3DVERTEX> list;
    auto add = [&](D3DVERTEX a, D3DVERTEX b, D3DVERTEX c) {
        // Outward cross product means clockwise from outside in this left-handed space.
        const float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
        const float vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
        const float cx = uy * vz - uz * vy, cy = uz * vx - ux * vz, cz = ux * vy - uy * vx;
        if (cx * (a.x + b.x + c.x) + cy * (a.y + b.y + c.y) + cz * (a.z + b.z + c.z) < 0)
            std::swap(b, c);
        list.push_back(a);
        list.push_back(b);
        list.push_back(c);
    };
    for (int j = 0; j < stacks; ++j)
        for (int i = 0; i < slices; ++i) {
            D3DVERTEX p00 = point(i, j), p10 = point(i + 1, j);
            D3DVERTEX p01 = point(i, j + 1), p11 = point(i + 1, j + 1);
            if (j != 0)
                add(p00, p10, p11);
            if (j != stacks - 1)
                add(p00, p11, p01);
        }
    return list;
}

D3DMATRIX SphereView() {
    D3DMATRIX view{};
    view._11 = view._22 = view._33 = view._44 = 1;
    view._43 = 200;
    return view;
}

namespace {

LRESULT BenchWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

int StartOnce() {
    namespace fs = std::filesystem;
    char folder[] = "/tmp/game_bench_XXXXXX";
    if (!mkdtemp(folder)) {
        std::fprintf(stderr, "bench: cannot make a working folder\n");
        return 0;
    }
    std::error_code error;
    fs::copy_file(fs::path(GAME_SOURCE_DIR) / "assets" / "ship.xxx", fs::path(folder) / "ship.xxx",
                  error);
    if (error || chdir(folder) != 0) {
        std::fprintf(stderr, "bench: cannot put ship.xxx into %s\n", folder);
        return 0;
    }
    platform::UseHeadlessBackend(1024, 768);
    platform::InstallProfile(platform::ProductionProfile());
    WNDCLASSA wc{};
    wc.lpfnWndProc = BenchWindowProc;
    wc.lpszClassName = "Game Library";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, "Game Library", "Game Library", WS_POPUP, 0, 0, 1024, 768,
                                  nullptr, nullptr, nullptr, nullptr);
    ShowWindow(window, SW_SHOW);
    AppState.mainWindow = window;
    if (!AppInit() || !DisplayContext.device || !shipObject || !cameraObject) {
        std::fprintf(stderr, "bench: the application did not start\n");
        return 0;
    }
    AppFrame();
    return 1;
}

}  // namespace

bool StartApplication() {
    static const int started = StartOnce();
    return started != 0;
}

}  // namespace bench
