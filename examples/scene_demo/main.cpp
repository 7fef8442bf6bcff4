// A scene on the game library with the depth buffer on: four objects of different colours
// turning in place, a cube and a pyramid each drawn once with flat normals (one shade a face)
// and once with smooth ones (shades blending across the edges). The two cubes overlap on the
// screen: the red one is near the camera and drawn first, the blue one farther away and drawn
// after it, so only the depth buffer keeps the red cube in front. A left click stops and
// starts the turning; Escape ends it. Its meshes, cube.xxx and pyramid.xxx, are read from the
// working folder; when one cannot be loaded a box says which and why.
// With --frames N it runs N frames (on Linux on the headless backend), then draws the red
// cube alone, the blue cube alone and the whole scene, each into the back buffer instead of
// presenting it, and prints how many pixels of the two cubes' overlap show red and how many
// blue in the whole scene, how many of each cube show outside the overlap, and the two
// pyramids' pixels; then it exits. --no-depth opens the game without a depth buffer, to see
// the blue cube drawn over the red one.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "directx/game.h"

namespace {

bool turning = true;  // a left click stops the objects, the next one starts them again

LRESULT CALLBACK DemoWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN && wParam == VK_ESCAPE) {
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_LBUTTONDOWN) {
        turning = !turning;
        return 0;
    }
    if (message == WM_DESTROY) {
        if (fatalErrorOccurred)  // a failure was reported: show it before leaving
            MessageBoxA(nullptr, fatalMessage, "Error", MB_OK);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// One object of the scene: its mesh, place, normals, colour and turning speeds.
struct Part {
    const char* mesh;
    float x, y, z;
    MeshNormals normals;
    float r, g, b;
    double yawSpeed, pitchSpeed;  // degrees a second
};

// The camera stands at (0, 0, -200) and looks at the origin, which with the library's look-at
// shows the scene as a camera at (0, 0, 200) would see it: from the side the light is on,
// with +x to the left, a point's depth being 200 - z. So the red cube (depth 160) is nearer
// than the blue one (depth 240). Each material's ambient part is lit by the white ambient
// level: a colour of 0.5 is shaded from half to full brightness by the light.
constexpr Part kParts[] = {
    {"cube.xxx", 12.0f, 20.0f, 40.0f, MeshNormals::Flat, 0.5f, 0.0f, 0.0f, 50.0, 20.0},
    {"cube.xxx", -12.0f, 20.0f, -40.0f, MeshNormals::Smooth, 0.0f, 0.0f, 0.5f, -40.0, 30.0},
    {"pyramid.xxx", 40.0f, -45.0f, 0.0f, MeshNormals::Flat, 0.0f, 0.5f, 0.0f, 60.0, 15.0},
    {"pyramid.xxx", -40.0f, -45.0f, 0.0f, MeshNormals::Smooth, 0.5f, 0.5f, 0.0f, 60.0, 15.0},
};
constexpr unsigned kPartCount = sizeof kParts / sizeof kParts[0];
enum { NearCube, FarCube, FlatPyramid, SmoothPyramid };

// A pixel's hue: a channel below a quarter of the strongest one counts as absent, so the
// shading's brightness (and a platform's rounding of it) does not change the answer.
enum Hue : uint8_t { Black, Red, Green, Blue, Yellow, Mixed };

Hue HueOf(COLORREF color) {
    const int r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;  // 0x00BBGGRR
    const int top = std::max({r, g, b});
    if (top < 64)
        return Black;
    const bool hasR = r * 4 > top, hasG = g * 4 > top, hasB = b * 4 > top;
    if (hasR && !hasG && !hasB)
        return Red;
    if (hasG && !hasR && !hasB)
        return Green;
    if (hasB && !hasR && !hasG)
        return Blue;
    if (hasR && hasG && !hasB)
        return Yellow;
    return Mixed;
}

// The back buffer's pixels as hues, row after row, through the surface's own pixel format.
bool ReadHues(std::vector<Hue>& hues) {
    IDirectDrawSurface4* back = DisplayContext.backBuffer;
    DDSURFACEDESC2 desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    if (!back || back->Lock(nullptr, &desc, 0, nullptr) != DD_OK)
        return false;
    const DWORD bytes = desc.ddpfPixelFormat.dwRGBBitCount / 8;
    hues.assign(static_cast<size_t>(desc.dwWidth) * desc.dwHeight, Black);
    for (DWORD y = 0; y < desc.dwHeight; y++) {
        const auto* row =
            static_cast<const uint8_t*>(desc.lpSurface) + static_cast<ptrdiff_t>(y) * desc.lPitch;
        for (DWORD x = 0; x < desc.dwWidth; x++) {
            uint32_t pixel = 0;
            memcpy(&pixel, row + x * bytes, bytes);  // little-endian, as on both platforms
            hues[y * desc.dwWidth + x] = HueOf(PixelToColor(desc.ddpfPixelFormat, pixel));
        }
    }
    back->Unlock(nullptr);
    return true;
}

// Draws the near cube alone, the far cube alone and the whole scene, and counts the whole
// scene's pixels where the two cubes alone cover the same spot (the overlap) and elsewhere.
void PrintPicture(long frames, bool depth, Object3D* camera, Object3D* const* objects) {
    std::vector<Hue> nearAlone, farAlone, scene;
    const bool read = RenderScene(camera, &objects[NearCube], 1) && ReadHues(nearAlone) &&
                      RenderScene(camera, &objects[FarCube], 1) && ReadHues(farAlone) &&
                      RenderScene(camera, objects, kPartCount) && ReadHues(scene);
    if (!read) {
        fprintf(stderr, "scene_demo: the back buffer could not be drawn or read\n");
        return;
    }
    long overlap = 0, nearInOverlap = 0, farInOverlap = 0;
    long count[Mixed + 1] = {};
    for (size_t i = 0; i < scene.size(); i++) {
        if (nearAlone[i] == Red && farAlone[i] == Blue) {
            overlap++;
            nearInOverlap += scene[i] == Red;
            farInOverlap += scene[i] == Blue;
        } else {
            count[scene[i]]++;
        }
    }
    printf(
        "scene_demo: %ld frames, depth buffer %s, %ld overlap pixels: %ld near red, %ld far "
        "blue; elsewhere %ld red, %ld blue, %ld green, %ld yellow pixels\n",
        frames, depth ? "on" : "off", overlap, nearInOverlap, farInOverlap, count[Red], count[Blue],
        count[Green], count[Yellow]);
    fflush(stdout);
}

// The number N of "--frames N" at the start of the command line, or 0.
long FramesToRun(const char* commandLine) {
    long frames = 0;
    return sscanf(commandLine, "--frames %ld", &frames) == 1 && frames > 0 ? frames : 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    const long framesToRun = FramesToRun(commandLine);
    GameOptions options;
    options.depthBuffer = strstr(commandLine, "--no-depth") == nullptr;
    AppState.instance = instance;

    // A borderless window over the whole screen; the picture is 640 x 480 at its top left.
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DemoWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "Scene Demo";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "Scene Demo", "Scene Demo", WS_POPUP, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                  nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    ShowWindow(window, SW_SHOW);
    if (!OpenGame(window, 640, 480, options)) {
        fprintf(stderr, "scene_demo: the display could not be set up (see info.txt)\n");
        CloseGame();
        return 1;
    }
    SetFrameRateCap(60);

    Object3D* objects[kPartCount] = {};
    for (unsigned i = 0; i < kPartCount; i++) {
        const Part& part = kParts[i];
        objects[i] = LoadObject(part.mesh, part.x, part.y, part.z, part.normals);
        if (!objects[i]) {  // LastLoadError names the file and says what was wrong with it
            MessageBoxA(nullptr, LastLoadError(), "Scene Demo", MB_OK);
            for (Object3D* object : objects)
                delete object;
            CloseGame();
            return 1;
        }
        objects[i]->SetColor(part.r, part.g, part.b);
    }
    // The camera and the point it looks at, the origin: two objects without a mesh.
    Object3D* focus = new Object3D(nullptr, 0.0f, 0.0f, 0.0f);
    Object3D* camera = new Object3D(nullptr, 0.0f, 0.0f, -200.0f);
    camera->target = focus;

    // The angles in degrees, each object at its own speeds.
    double yaw[kPartCount] = {}, pitch[kPartCount] = {};
    long frame = 0;
    MSG msg;
    for (;;) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!GetMessageA(&msg, nullptr, 0, 0))
                break;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            continue;
        }
        const double seconds = turning ? std::min(FrameSeconds(), 0.1) : 0.0;
        for (unsigned i = 0; i < kPartCount; i++) {
            yaw[i] = std::fmod(yaw[i] + kParts[i].yawSpeed * seconds + 360.0, 360.0);
            pitch[i] = std::fmod(pitch[i] + kParts[i].pitchSpeed * seconds + 360.0, 360.0);
            objects[i]->yaw = static_cast<int>(yaw[i]);
            objects[i]->pitch = static_cast<int>(pitch[i]);
        }
        if (framesToRun > 0 && frame == framesToRun) {
            PrintPicture(frame, options.depthBuffer, camera, objects);
            DestroyWindow(window);
        } else {
            PresentFrame(camera, objects, kPartCount);
        }
        frame++;
    }

    delete camera;
    delete focus;
    for (Object3D* object : objects)
        delete object;
    CloseGame();
    return fatalErrorOccurred ? 1 : 0;
}

#ifndef _WIN32
// The Linux entry: the window system (the headless one when frames are counted), then
// WinMain with the arguments as one command line, as the Windows runtime passes them.
int main(int argc, char** argv) {
    std::string commandLine;
    for (int i = 1; i < argc; i++)
        commandLine += std::string(i > 1 ? " " : "") + argv[i];
    if (FramesToRun(commandLine.c_str()) > 0)
        platform::UseHeadlessBackend(800, 600);
    else
        platform::UseSdlBackend();
    return WinMain(platform::ModuleInstance(), nullptr, commandLine.data(), SW_SHOWDEFAULT);
}
#endif
