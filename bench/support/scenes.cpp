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

IndexedMesh IndexedSphere(int slices, int stacks) {
    auto point = [&](int i, int j) {
        const double theta = M_PI * j / stacks;
        const double phi = 2 * M_PI * i / slices;
        const float nx = static_cast<float>(std::sin(theta) * std::cos(phi));
        const float ny = static_cast<float>(std::cos(theta));
        const float nz = static_cast<float>(std::sin(theta) * std::sin(phi));
        return D3DVERTEX{50 * nx, 50 * ny, 50 * nz, nx, ny, nz, 0, 0};
    };
    IndexedMesh mesh;
    for (int j = 0; j <= stacks; ++j)
        for (int i = 0; i <= slices; ++i)
            mesh.vertices.push_back(point(i, j));
    auto at = [&](int i, int j) { return static_cast<WORD>(j * (slices + 1) + i); };
    auto add = [&](WORD a, WORD b, WORD c) {
        // Outward cross product means clockwise from outside in this left-handed space.
        const D3DVERTEX &p = mesh.vertices[a], &q = mesh.vertices[b], &r = mesh.vertices[c];
        const float ux = q.x - p.x, uy = q.y - p.y, uz = q.z - p.z;
        const float vx = r.x - p.x, vy = r.y - p.y, vz = r.z - p.z;
        const float cx = uy * vz - uz * vy, cy = uz * vx - ux * vz, cz = ux * vy - uy * vx;
        if (cx * (p.x + q.x + r.x) + cy * (p.y + q.y + r.y) + cz * (p.z + q.z + r.z) < 0)
            std::swap(b, c);
        mesh.indices.insert(mesh.indices.end(), {a, b, c});
    };
    for (int j = 0; j < stacks; ++j)
        for (int i = 0; i < slices; ++i) {
            if (j != 0)
                add(at(i, j), at(i + 1, j), at(i + 1, j + 1));
            if (j != stacks - 1)
                add(at(i, j), at(i + 1, j + 1), at(i, j + 1));
        }
    return mesh;
}

std::vector<D3DVERTEX> Sphere(int slices, int stacks) {
    const IndexedMesh mesh = IndexedSphere(slices, stacks);
    std::vector<D3DVERTEX> list;
    list.reserve(mesh.indices.size());
    for (WORD i : mesh.indices)
        list.push_back(mesh.vertices[i]);
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
