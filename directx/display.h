// The display layer: choice of the DirectDraw device, the capability report, the colour-key
// decision, primary surface, back buffer and clipper, sprite surfaces, the Direct3D device
// with its viewport, material, light and projection, the scene objects, the 3D step of
// every frame and the teardown.
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
    D3DRECT viewportClearRect{};

    float lastFrameTime = 0.0f;
};
extern DisplayContextRecord DisplayContext;

// The scene's one light, held from its creation until the teardown releases it.
extern IDirect3DLight* sceneLight;

extern Object3D* shipObject;
extern Object3D* cameraObject;

int InitDisplay(HWND window, unsigned width, unsigned height, unsigned bitsPerPixel, int want3D,
                unsigned viewportX, unsigned viewportY, unsigned viewportWidth,
                unsigned viewportHeight);
BOOL WINAPI DeviceEnumCallback(GUID* guid, LPSTR driverDescription, LPSTR driverName, void* context);
int CreateDisplaySurfaces(HWND window, unsigned width, unsigned height, unsigned bitsPerPixel);
IDirectDrawSurface4* CreateSpriteSurface(unsigned width, unsigned height, int systemMemory);

int CreateDirect3DDevice(unsigned viewportX, unsigned viewportY, unsigned viewportWidth,
                         unsigned viewportHeight);
void CreateSceneObjects();
void SetupSceneState();
void SetupMaterial();
void SetupLight();

// The fixed records the scene state is built from: the viewport description for a viewport
// at (x, y) of the given size, the projection, the material and the light.
D3DVIEWPORT2 SceneViewport(unsigned viewportX, unsigned viewportY, unsigned viewportWidth,
                           unsigned viewportHeight);
D3DMATRIX SceneProjection();
D3DMATERIAL SceneMaterial();
D3DLIGHT2 SceneLight();

int Render3DFrame();
void ReleaseDisplay();
