// The display layer: choice of the DirectDraw device, the capability report, the colour-key
// decision, primary surface, back buffer and clipper, sprite surfaces, the Direct3D device
// with its viewport, material, light and projection, the test application's scene, the 3D
// step of every frame and the teardown.
#pragma once

#include "platform/d3d.h"

class Object3D;

struct DisplayContextRecord {
    IDirectDraw* directDraw = nullptr;
    IDirectDraw4* directDraw4 = nullptr;
    IDirectDrawSurface4* primarySurface = nullptr;
    IDirectDrawSurface4* backBuffer = nullptr;
    uint16_t width = 0;
    uint16_t height = 0;
    uint16_t bitsPerPixel = 0;
    RECT screenRect{};
    uint32_t colorKey = 0;
    int hardwareDestColorKey = 0;
    int bankSwitched = 0;
    int want3D = 0;

    IDirect3D3* direct3D = nullptr;
    IDirect3DDevice3* device = nullptr;
    IDirect3DViewport3* viewport = nullptr;
    IDirect3DMaterial3* material = nullptr;
    D3DMATERIALHANDLE materialHandle = 0;  // the scene material's handle on the device
    D3DRECT viewportClearRect{};
    uint16_t viewportWidth = 0;  // the viewport's size as the device was set up with it
    uint16_t viewportHeight = 0;

    // A game's choices for the next set-up (OpenGame sets them, the teardown clears them):
    // a 16-bit depth buffer attached to the back buffer before the device is made, and a
    // projection of square pixels (GameViewport, GameProjection) instead of the test
    // application's.
    int wantDepthBuffer = 0;
    int squarePixels = 0;
    IDirectDrawSurface4* depthBuffer = nullptr;

    float lastFrameTime = 0.0f;

    // The back buffer's pixel format as the surface reports it (the display's format, which
    // sprites share; `bitsPerPixel` is only what the set-up asked for). Zero before the set-up.
    DDPIXELFORMAT pixelFormat{};
};
extern DisplayContextRecord DisplayContext;

// The scene's one light, held from its creation until the teardown releases it.
extern IDirect3DLight* sceneLight;

extern Object3D* shipObject;
extern Object3D* cameraObject;

// The test application's start-up: SetUpDisplay, then, with 3D, its scene (the ship from
// "ship.xxx", the camera and the overlay). 1 on success, 0 on failure.
int InitDisplay(HWND window, unsigned width, unsigned height, unsigned bitsPerPixel, int want3D,
                unsigned viewportX, unsigned viewportY, unsigned viewportWidth,
                unsigned viewportHeight);
// The display alone: device choice, capability report, primary surface, back buffer of
// width x height and clipper, and with want3D the Direct3D device on the back buffer with
// its viewport, material, light and projection. No mesh is read and no scene object or
// sprite is made. 1 on success, 0 on failure (a failing call has been reported). The
// values are taken as unsigned 16-bit.
int SetUpDisplay(HWND window, unsigned width, unsigned height, unsigned bitsPerPixel, int want3D,
                 unsigned viewportX, unsigned viewportY, unsigned viewportWidth,
                 unsigned viewportHeight);
BOOL WINAPI DeviceEnumCallback(GUID* guid, LPSTR driverDescription, LPSTR driverName,
                               void* context);
int CreateDisplaySurfaces(HWND window, unsigned width, unsigned height, unsigned bitsPerPixel);
// With `failure` given, a surface that cannot be created is not reported here: its result
// code goes to `*failure` and the caller reports it with ReportSpriteSurfaceError once it
// has let go of what it holds (a bitmap load's memory DC and bitmap).
IDirectDrawSurface4* CreateSpriteSurface(unsigned width, unsigned height, int systemMemory,
                                         HRESULT* failure = nullptr);
// The report of a sprite surface that could not be created.
void ReportSpriteSurfaceError(HRESULT hr);

// The pixel value of `colour` (an RGB(r, g, b) COLORREF) in `format`: each channel scaled to
// its mask's width, rounded, and moved into place. A format without colour masks (a
// palette) gives 0.
uint32_t ColorToPixel(const DDPIXELFORMAT& format, COLORREF colour);
// The colour of `pixel` in `format`, each channel widened to 0 .. 255 (RGB(r, g, b)).
COLORREF PixelToColor(const DDPIXELFORMAT& format, uint32_t pixel);
// The same through `surface`'s own pixel format (GetPixelFormat); 0 when it cannot be read.
uint32_t ColorToPixel(IDirectDrawSurface4* surface, COLORREF colour);
COLORREF PixelToColor(IDirectDrawSurface4* surface, uint32_t pixel);

// The device, its viewport and the scene state (SetupSceneState). 1 or 0.
int CreateDirect3DDevice(unsigned viewportX, unsigned viewportY, unsigned viewportWidth,
                         unsigned viewportHeight);
// The test scene: `shipObject`, `cameraObject` looking at it, and the overlay.
void CreateSceneObjects();
void SetupSceneState();
void SetupMaterial();
void SetupLight();

// The fixed records the scene state is built from: the viewport description for a viewport
// at (x, y) of the given size, the projection, the material and the light.
D3DVIEWPORT2 SceneViewport(unsigned viewportX, unsigned viewportY, unsigned viewportWidth,
                           unsigned viewportHeight);
D3DMATRIX SceneProjection();
// A game's viewport and projection: the clip rectangle is the plain -1 .. 1 square and the
// projection scales y by width / height more than x, so a unit of height covers as many
// pixels as a unit of width. The near and far planes and the horizontal scale are the
// scene's.
D3DVIEWPORT2 GameViewport(unsigned viewportX, unsigned viewportY, unsigned viewportWidth,
                          unsigned viewportHeight);
D3DMATRIX GameProjection(unsigned viewportWidth, unsigned viewportHeight);
// Creates the 16-bit depth buffer of the back buffer's size and attaches it to the back
// buffer (DisplayContext.depthBuffer). 1, or 0 after a reported failure.
int CreateDepthBuffer();
D3DMATERIAL SceneMaterial();
D3DLIGHT2 SceneLight();

// The test scene's 3D step: RenderScene with `cameraObject` and `shipObject`. Returns 0.
int Render3DFrame();
// One 3D step into the back buffer: clear the viewport to black, begin the scene, update
// `camera` (steering, view transform), then set the world transform of each of the
// `count` objects and draw its mesh, end the scene. Null entries and the camera itself in
// the list are passed over. 1; 0 without a device, or when the clear, the begin or the end
// of the scene failed (reported). The objects report their own failures and the scene goes
// on past them.
int RenderScene(Object3D* camera, Object3D* const* objects, unsigned count);
// Releases everything the set-up made, either way it was made, and deletes `shipObject`
// and `cameraObject` when they exist. Sprites go first, while the display still exists.
void ReleaseDisplay();
